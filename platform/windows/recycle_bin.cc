#include "platform/windows/recycle_bin.h"

// <windows.h> comes first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <vector>

#include "platform/error_text.h"

namespace platform {
namespace {

constexpr wchar_t kExtended[] = L"\\\\?\\";
constexpr wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The plain form of a path given in the "\\?\" form.
std::wstring PlainPath(const std::wstring& path) {
  if (StartsWith(path, kExtendedUnc)) return L"\\\\" + path.substr(wcslen(kExtendedUnc));
  if (StartsWith(path, kExtended)) return path.substr(wcslen(kExtended));
  return path;
}

bool EqualsIgnoreCase(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

// A DWORD value of the registry; false when it is not there.
bool ReadDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD* value) {
  DWORD size = sizeof *value;
  return RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, value, &size) ==
         ERROR_SUCCESS;
}

bool TurnedOffByPolicy() {
  const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  DWORD value = 0;
  return (ReadDword(HKEY_CURRENT_USER, key, L"NoRecycleFiles", &value) && value != 0) ||
         (ReadDword(HKEY_LOCAL_MACHINE, key, L"NoRecycleFiles", &value) && value != 0);
}

const char* DriveWithoutBin(UINT type) {
  switch (type) {
    case DRIVE_FIXED:
      return nullptr;
    case DRIVE_REMOTE:
      return "a network drive has no Recycle Bin";
    case DRIVE_REMOVABLE:
      return "a removable drive has no Recycle Bin";
    case DRIVE_CDROM:
      return "a CD or DVD drive has no Recycle Bin";
    case DRIVE_RAMDISK:
      return "a RAM disk has no Recycle Bin";
    default:
      return "the volume is of no known kind, so it may have no Recycle Bin";
  }
}

// The volume's own settings: its bin turned off, or its largest size.
void ReadVolumeSettings(const std::wstring& root, RecycleVolume* volume) {
  wchar_t name[MAX_PATH];
  if (!GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH)) return;
  std::wstring guid = name;
  size_t open = guid.find(L'{');
  size_t close = guid.find(L'}');
  if (open == std::wstring::npos || close == std::wstring::npos) return;
  std::wstring key =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket\\Volume\\" +
      guid.substr(open, close - open + 1);
  DWORD value = 0;
  if (ReadDword(HKEY_CURRENT_USER, key, L"NukeOnDelete", &value) && value != 0) {
    volume->refusal = "the Recycle Bin is turned off for this volume";
  } else if (ReadDword(HKEY_CURRENT_USER, key, L"MaxCapacity", &value)) {
    volume->max_bytes = ULONGLONG{value} << 20;
  }
}

}  // namespace

std::string RecycleVolume::Refuses(ULONGLONG size) const {
  if (!refusal.empty()) return refusal;
  if (max_bytes != 0 && size > max_bytes) return "the file is larger than the Recycle Bin";
  return {};
}

std::wstring VolumeRoot(const std::wstring& path) {
  std::vector<wchar_t> root(path.size() + 2);
  if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) return {};
  return root.data();
}

RecycleVolume CheckRecycleVolume(const std::wstring& root) {
  RecycleVolume volume;
  std::wstring plain = PlainPath(root);
  if (root.empty()) {
    volume.refusal = "its volume cannot be found";
  } else if (const char* reason = DriveWithoutBin(GetDriveTypeW(plain.c_str()))) {
    volume.refusal = reason;
  } else if (TurnedOffByPolicy()) {
    volume.refusal = "the Recycle Bin is turned off by policy";
  } else {
    SHQUERYRBINFO info = {};
    info.cbSize = sizeof info;
    HRESULT queried = SHQueryRecycleBinW(plain.c_str(), &info);
    if (FAILED(queried)) {
      volume.refusal =
          "the volume's Recycle Bin cannot be used: " + ErrorText(static_cast<int>(queried));
    } else {
      ReadVolumeSettings(plain, &volume);
    }
  }
  return volume;
}

bool IsInRecycleBin(const std::wstring& path, const std::wstring& root) {
  if (root.empty() || path.size() <= root.size() ||
      CompareStringOrdinal(path.c_str(), static_cast<int>(root.size()), root.c_str(),
                           static_cast<int>(root.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  std::wstring top = path.substr(root.size());
  top = top.substr(0, top.find_first_of(L"\\/"));
  return EqualsIgnoreCase(top, L"$Recycle.Bin") || EqualsIgnoreCase(top, L"RECYCLER") ||
         EqualsIgnoreCase(top, L"RECYCLED");
}

std::wstring ShellPath(const std::wstring& path) {
  std::wstring plain = PlainPath(path);
  if (plain.size() < MAX_PATH) return plain;
  if (StartsWith(plain, L"\\\\")) return kExtendedUnc + plain.substr(2);
  return kExtended + plain;
}

}  // namespace platform
