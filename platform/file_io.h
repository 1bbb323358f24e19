// Reading a whole file and replacing one safely.
#pragma once

#include <string>
#include <string_view>

#include "platform/file_ref.h"

namespace platform {

// What went wrong, ready for a message "<what> '<path>': <reason>".
struct FileFailure {
  std::string what;
  std::string reason;
};

// A regular file as it was seen: while all of these match, it is the same file with the same
// contents and attributes.
struct FileIdentity {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  unsigned long long size = 0;
  long long modified_ns = 0;  // last change of the contents
  long long changed_ns = 0;   // last change of the contents or of an attribute
  bool operator==(const FileIdentity&) const = default;
};

// Each call takes the file through the folder it was found in (see FileRef), or, for a path
// alone, through its path.

// Looks at the regular file `file` without opening it. Symbolic links are not followed;
// a link and anything that is not a regular file are failures.
bool InspectRegularFile(const FileRef& file, FileIdentity* identity, FileFailure* failure);

// Reads the whole regular file `file`, and what it was when the reading began. Symbolic
// links are not followed and anything that is not a regular file (FIFO, socket, device) is
// never opened: both are failures.
bool ReadRegularFile(const FileRef& file, std::string* bytes, FileIdentity* identity,
                     FileFailure* failure);

// Checks that `file` may be written, by opening it for writing without truncating
// it. A file that nobody may write (no write permission bit at all) is refused even to the
// superuser. A replace must not become a way around a read-only file.
bool CheckWritable(const FileRef& file, FileFailure* failure);

// Predicts, without opening anything for writing, what CheckWritable would find: the mode bits
// and the user's permission (Linux), the read-only attribute (Windows). False, with the failure
// the real check would report, when it would refuse the file.
bool PredictWritable(const FileRef& file, FileFailure* failure);

// Predicts likewise whether ReplaceFile could put new contents in place: PredictWritable, and a
// folder in which the user may make the temporary file (Linux; on Windows a folder's read-only
// attribute does not keep files out).
bool PredictReplaceable(const FileRef& file, FileFailure* failure);

// Replaces the contents of the regular file `file` with `bytes`: writes them to a temporary
// file in the same directory and renames it over the original, keeping the original's
// permission bits, access control list and other extended attributes and, where allowed, its
// owner. Afterwards the file is either entirely old or entirely new. The file must still be
// `read`, the one whose contents `bytes` were made from: a file that changed meanwhile, or
// whose attributes cannot all be kept, is left as it is. The temporary file is named
// "<name>.<program>-XXXXXX.tmp"; it is removed if anything fails and when the run is
// interrupted by a signal.
bool ReplaceFile(const FileRef& file, std::string_view bytes, const FileIdentity& read,
                 FileFailure* failure);

// The path that `path` leads to once the symbolic links in its last component are followed:
// `path` itself when it is not a link. The file there need not exist. A link that cannot be
// read, or a chain too long, gives the last link reached, which no later step follows.
std::string FollowFileLinks(const std::string& path);

}  // namespace platform
