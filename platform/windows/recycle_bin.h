// What the shell's Recycle Bin needs to know before a file is handed to it: the volume a path
// really lies on, whether that volume has a bin the file fits into, whether the shell can take
// the path as it is, and whether a path lies in a bin.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace platform {

// A volume as the Recycle Bin sees it.
struct RecycleVolume {
  std::string refusal;      // why nothing on it is recycled; empty when it has a bin
  ULONGLONG max_bytes = 0;  // what the bin holds at most

  // Why a file of `size` bytes would not be recycled but deleted for good; empty when it fits.
  std::string Refuses(ULONGLONG size) const;
};

// The plain form of a path given in the "\\?\" form ("\\?\C:\a" is "C:\a"); others unchanged.
std::wstring PlainPath(const std::wstring& path);

// Where a path on a drive made by `subst` lies: the drive replaced by its target, level after
// level; any other path as it is. Nothing when a drive's target cannot be read.
std::optional<std::wstring> ResolveSubst(const std::wstring& path);

// The root of the volume that holds `path` ("C:\", a mounted folder, "\\server\share\").
std::wstring VolumeRoot(const std::wstring& path);

// Finds out whether files on the volume at `root` can go to its Recycle Bin, and how much the
// bin holds: a fixed drive whose bin the shell can query and whose settings can be read, not
// turned off by policy or by the volume's own setting.
RecycleVolume CheckRecycleVolume(const std::wstring& root);

// The size the shell gives the Recycle Bin of a volume of `volume_bytes` when nothing sets it:
// a tenth of the first 40 GB and a twentieth of the rest.
ULONGLONG DefaultBinSize(ULONGLONG volume_bytes);

// True when `path` lies in the Recycle Bin folder at the top of its volume `root`.
bool IsInRecycleBin(const std::wstring& path, const std::wstring& root);

// Why the shell cannot be given the plain path `path` as it is: it refuses the "\\?\" form,
// takes a reserved device name ("NUL.obj") for the device, stops at MAX_PATH, and drops a
// trailing dot or blank from a name, so it would act on another file. Empty when it can.
std::string ShellRefusal(const std::wstring& path);

}  // namespace platform
