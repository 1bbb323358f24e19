// What the shell's Recycle Bin needs to know before a file is handed to it: the volume a path
// lies on, whether that volume has a bin the file fits into, and whether a path lies in a bin.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// A volume as the Recycle Bin sees it.
struct RecycleVolume {
  std::string refusal;      // why nothing on it is recycled; empty when it has a bin
  ULONGLONG max_bytes = 0;  // what the bin holds at most; 0 when not set

  // Why a file of `size` bytes would not be recycled but deleted for good; empty when it fits.
  std::string Refuses(ULONGLONG size) const;
};

// The root of the volume that holds `path` ("C:\", a mounted folder, "\\server\share\").
std::wstring VolumeRoot(const std::wstring& path);

// Finds out whether files on the volume at `root` can go to its Recycle Bin: a fixed drive
// whose bin the shell can query, not turned off by policy or by the volume's own setting.
RecycleVolume CheckRecycleVolume(const std::wstring& root);

// True when `path` lies in the Recycle Bin folder at the top of its volume `root`.
bool IsInRecycleBin(const std::wstring& path, const std::wstring& root);

// The path in the form the shell takes: as it is up to MAX_PATH, in the "\\?\" form beyond.
std::wstring ShellPath(const std::wstring& path);

}  // namespace platform
