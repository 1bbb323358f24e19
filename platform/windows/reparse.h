// Which reparse points stand for another entry.
#pragma once

#include <windows.h>

namespace platform {

// True for an entry that stands for another one and is never followed: a symbolic link, a
// junction or a mount point (a name-surrogate tag). Other reparse points, such as cloud-file
// placeholders, ProjFS folders and deduplicated files, are the folders and files they present.
// Wine shows a Linux link to a directory as a reparse point with tag 0.
inline bool IsLinkEntry(DWORD attributes, DWORD reparse_tag) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return IsReparseTagNameSurrogate(reparse_tag) ||
         (reparse_tag == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace platform
