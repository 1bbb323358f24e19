#include "platform/windows/recycle_bin.h"

#include <algorithm>
#include <vector>

#include "platform/error_text.h"
#include "platform/windows/system_calls.h"

namespace platform {
namespace {

constexpr wchar_t kExtended[] = L"\\\\?\\";
constexpr wchar_t kExtendedUnc[] = L"\\\\?\\UNC\\";
constexpr wchar_t kPolicies[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr wchar_t kVolumes[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket\\Volume\\";
constexpr char kUnreadable[] = "the Recycle Bin's settings for its drive cannot be read";
constexpr char kUseDelete[] = "; -d removes it for good";
constexpr int kMaxSubstLevels = 8;  // a subst drive may point into another
constexpr ULONGLONG kFirstTier = 40ULL << 30;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool EqualsIgnoreCase(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

// A registry value is set, not set (its key or itself missing), or cannot be read.
enum class Value { kSet, kUnset, kUnreadable };

Value ReadDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD* value) {
  DWORD size = sizeof *value;
  LSTATUS status =
      Sys().RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, value, &size);
  if (status == ERROR_SUCCESS) return Value::kSet;
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) return Value::kUnset;
  return Value::kUnreadable;
}

// A policy value, the machine's before the user's.
Value ReadPolicy(const wchar_t* name, DWORD* value) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    Value read = ReadDword(root, kPolicies, name, value);
    if (read != Value::kUnset) return read;
  }
  return Value::kUnset;
}

// The NoRecycleFiles policy turns the bin off when the machine's or the user's value is set.
std::string PolicyRefusal() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    DWORD off = 0;
    Value read = ReadDword(root, kPolicies, L"NoRecycleFiles", &off);
    if (read == Value::kUnreadable) return kUnreadable;
    if (read == Value::kSet && off != 0) return "the Recycle Bin is turned off by policy";
  }
  return {};
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

// The registry key of the volume's own bin settings, named by the volume's GUID.
std::optional<std::wstring> VolumeKey(const std::wstring& root) {
  wchar_t name[MAX_PATH];
  if (!Sys().GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH)) return {};
  std::wstring guid = name;
  size_t open = guid.find(L'{');
  size_t close = guid.find(L'}');
  if (open == std::wstring::npos || close == std::wstring::npos || close < open) return {};
  return kVolumes + guid.substr(open, close - open + 1);
}

// The volume's own settings and the bin's size: the RecycleBinSize policy (a percentage of the
// volume), else the volume's MaxCapacity (in MB), else the shell's default. A setting that
// cannot be read leaves the size unknown, so the volume is refused.
void ReadBinSettings(const std::wstring& root, RecycleVolume* volume) {
  std::optional<std::wstring> key = VolumeKey(root);
  ULARGE_INTEGER total = {};
  if (!key || !Sys().GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr)) {
    volume->refusal = kUnreadable;
    return;
  }
  DWORD off = 0, capacity = 0, percent = 0;
  Value off_read = ReadDword(HKEY_CURRENT_USER, *key, L"NukeOnDelete", &off);
  Value capacity_read = ReadDword(HKEY_CURRENT_USER, *key, L"MaxCapacity", &capacity);
  Value policy_read = ReadPolicy(L"RecycleBinSize", &percent);
  if (off_read == Value::kUnreadable || capacity_read == Value::kUnreadable ||
      policy_read == Value::kUnreadable) {
    volume->refusal = kUnreadable;
  } else if (off_read == Value::kSet && off != 0) {
    volume->refusal = "the Recycle Bin is turned off for this volume";
  } else if (policy_read == Value::kSet) {
    volume->max_bytes = total.QuadPart / 100 * std::min<DWORD>(percent, 100);
  } else if (capacity_read == Value::kSet) {
    volume->max_bytes = ULONGLONG{capacity} << 20;
  } else {
    volume->max_bytes = DefaultBinSize(total.QuadPart);
  }
}

// True when a name in `path` ends in a dot or a blank, which the shell would drop.
bool HasNameTheShellChanges(const std::wstring& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = std::min(path.find_first_of(L"\\/", start), path.size());
    std::wstring name = path.substr(start, end - start);
    if (!name.empty() && name != L"." && name != L".." &&
        (name.back() == L'.' || name.back() == L' ')) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// True when the last name in `path` is a reserved device name, alone or followed by an
// extension ("NUL", "con.pdb", "Com1.tar.gz"): the path would name the device, not the file.
bool IsDeviceName(const std::wstring& path) {
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ') name.pop_back();
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL"}) {
    if (EqualsIgnoreCase(name, device)) return true;
  }
  if (name.size() != 4) return false;
  std::wstring stem = name.substr(0, 3);
  wchar_t digit = name[3];
  bool numbered = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
                  digit == L'\u00B3';  // superscript one, two and three
  return numbered && (EqualsIgnoreCase(stem, L"COM") || EqualsIgnoreCase(stem, L"LPT"));
}

}  // namespace

std::string RecycleVolume::Refuses(ULONGLONG size) const {
  if (!refusal.empty()) return refusal;
  if (size > max_bytes) return "the file is larger than the Recycle Bin";
  return {};
}

std::wstring PlainPath(const std::wstring& path) {
  if (StartsWith(path, kExtendedUnc)) return L"\\\\" + path.substr(wcslen(kExtendedUnc));
  if (StartsWith(path, kExtended) && path.size() > 5 && path[5] == L':') {
    return path.substr(wcslen(kExtended));
  }
  return path;
}

std::optional<std::wstring> ResolveSubst(const std::wstring& path) {
  std::wstring resolved = path;
  for (int level = 0; level < kMaxSubstLevels; ++level) {
    if (resolved.size() < 2 || resolved[1] != L':') return resolved;
    std::wstring drive = resolved.substr(0, 2);
    std::vector<wchar_t> target(32768, L'\0');
    if (Sys().QueryDosDeviceW(drive.c_str(), target.data(), static_cast<DWORD>(target.size())) ==
        0) {
      return {};
    }
    // A subst drive's target is "\??\C:\src" or "\??\UNC\server\share\src"; a volume's is a
    // device ("\Device\HarddiskVolume3").
    std::wstring to = target.data();
    if (!StartsWith(to, L"\\??\\")) return resolved;
    to = PlainPath(kExtended + to.substr(4));
    while (!to.empty() && to.back() == L'\\') to.pop_back();
    resolved = to + resolved.substr(2);
  }
  return {};
}

std::wstring VolumeRoot(const std::wstring& path) {
  std::vector<wchar_t> root(path.size() + 2);
  if (!Sys().GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
    return {};
  }
  return root.data();
}

RecycleVolume CheckRecycleVolume(const std::wstring& root) {
  RecycleVolume volume;
  std::wstring plain = PlainPath(root);
  if (root.empty()) {
    volume.refusal = "its volume cannot be found";
  } else if (const char* reason = DriveWithoutBin(Sys().GetDriveTypeW(plain.c_str()))) {
    volume.refusal = reason;
  } else if (std::string policy = PolicyRefusal(); !policy.empty()) {
    volume.refusal = policy;
  } else {
    SHQUERYRBINFO info = {};
    info.cbSize = sizeof info;
    HRESULT queried = Sys().SHQueryRecycleBinW(plain.c_str(), &info);
    if (FAILED(queried)) {
      volume.refusal =
          "the volume's Recycle Bin cannot be used: " + ErrorText(static_cast<int>(queried));
    } else {
      ReadBinSettings(plain, &volume);
    }
  }
  return volume;
}

ULONGLONG DefaultBinSize(ULONGLONG volume_bytes) {
  ULONGLONG first = std::min(volume_bytes, kFirstTier);
  return first / 10 + (volume_bytes - first) / 20;
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

std::string ShellRefusal(const std::wstring& path) {
  if (StartsWith(path, kExtended) || StartsWith(path, L"\\\\.\\")) {
    return std::string("the Recycle Bin takes no \\\\?\\ path") + kUseDelete;
  }
  if (IsDeviceName(path)) {
    return std::string("a reserved device name the Recycle Bin cannot take") + kUseDelete;
  }
  if (path.size() >= MAX_PATH) return std::string("too long for the Recycle Bin") + kUseDelete;
  if (HasNameTheShellChanges(path)) {
    return std::string("a name the Recycle Bin would change") + kUseDelete;
  }
  return {};
}

}  // namespace platform
