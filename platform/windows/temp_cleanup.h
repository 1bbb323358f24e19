// The temporary files being written, removed when the run is interrupted.
#pragma once

#include <string>

namespace platform {

// Marks `path` as the calling thread's temporary file until DisarmTempFile. Arm before the file
// is created, so that an interruption in between finds nothing to remove rather than missing a
// file. The file must be opened with FILE_SHARE_DELETE, so that it can be removed while open.
void ArmTempFile(const std::wstring& path);
void DisarmTempFile();

}  // namespace platform
