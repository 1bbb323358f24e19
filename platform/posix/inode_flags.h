// The flags some file systems keep beside the permission bits (append-only, immutable), which
// refuse a change the bits allow, even to the superuser.
#pragma once

#include "platform/path_anchor.h"

namespace platform {

struct InodeFlags {
  bool immutable = false;   // no change at all: no write, no new entry in a folder
  bool append_only = false;  // a file only grows; a folder takes new entries but loses none
};

// The flags of the open file or folder `fd`; none where the file system keeps none.
InodeFlags FlagsOf(int fd);

// The flags of the folder the anchor's name lies in.
InodeFlags FolderFlagsOf(const ParentAnchor& anchor);

}  // namespace platform
