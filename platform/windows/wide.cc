#include "platform/windows/wide.h"

#include <windows.h>

namespace platform {
namespace {

void AppendUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(char32_t c, std::wstring* out) {
  if (c < 0x10000) {
    out->push_back(static_cast<wchar_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<wchar_t>(0xD800 | (c >> 10)));
    out->push_back(static_cast<wchar_t>(0xDC00 | (c & 0x3FF)));
  }
}

// Decodes the sequence at `i`; `*length` is 0 when the bytes there start no valid sequence.
// Encoded surrogates are accepted, as ToUtf8 writes them for lone ones.
char32_t DecodeUtf8(std::string_view s, size_t i, size_t* length) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char lead = byte(i);
  size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5) n = 0;
  *length = 0;
  if (n == 0 || i + n > s.size()) return lead;
  char32_t c = lead & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return lead;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[n] || c > 0x10FFFF) return lead;
  *length = n;
  return c;
}

bool IsDrivePath(std::wstring_view path) {
  return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

}  // namespace

std::string ToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char16_t>(wide[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
      char32_t low = static_cast<char16_t>(wide[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(c, &out);
  }
  return out;
}

std::wstring ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 0;
    char32_t c = DecodeUtf8(utf8, i, &length);
    AppendUtf16(c, &out);
    i += length == 0 ? 1 : length;
  }
  return out;
}

std::wstring LongPath(std::string_view path) {
  std::wstring wide = ToWide(path);
  if (wide.starts_with(L"\\\\?\\")) return wide;
  if (IsDrivePath(wide)) return L"\\\\?\\" + wide;
  if (wide.starts_with(L"\\\\") && !wide.starts_with(L"\\\\.\\")) {
    return L"\\\\?\\UNC\\" + wide.substr(2);
  }
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  DWORD got = size == 0 ? 0 : GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return wide;
  full.resize(got);
  if (IsDrivePath(full)) return L"\\\\?\\" + full;
  if (full.starts_with(L"\\\\") && !full.starts_with(L"\\\\?\\") && !full.starts_with(L"\\\\.\\")) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return full;
}

std::wstring WithoutLongPrefix(std::wstring_view path) {
  std::wstring_view rest = path;
  if (!rest.starts_with(L"\\\\?\\")) return std::wstring(path);
  rest.remove_prefix(4);
  if (rest.starts_with(L"UNC\\")) return L"\\\\" + std::wstring(rest.substr(4));
  if (IsDrivePath(rest)) return std::wstring(rest);
  return std::wstring(path);
}

size_t WholeCharacters(std::wstring_view text, size_t most) {
  if (most >= text.size()) return text.size();
  bool splits = most > 1 && text[most - 1] >= 0xD800 && text[most - 1] < 0xDC00 &&
                text[most] >= 0xDC00 && text[most] < 0xE000;
  return splits ? most - 1 : most;
}

}  // namespace platform
