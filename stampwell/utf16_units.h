// 16-bit code units as a script stores them: read from and written to bytes in either byte
// order without any change, and the UTF-16 form of a typed UTF-8 text.
#pragma once

#include <string>
#include <string_view>

// The unit with index `unit` of `bytes`, in the given byte order.
inline char16_t Utf16UnitAt(std::string_view bytes, size_t unit, bool big_endian) {
  const unsigned first = static_cast<unsigned char>(bytes[2 * unit]);
  const unsigned second = static_cast<unsigned char>(bytes[2 * unit + 1]);
  return static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
}

// The 16-bit units of UTF-16 bytes, read where they are.
class Utf16Units {
 public:
  Utf16Units(std::string_view bytes, bool big_endian) : bytes_(bytes), big_endian_(big_endian) {}
  size_t size() const { return bytes_.size() / 2; }
  char16_t operator[](size_t unit) const { return Utf16UnitAt(bytes_, unit, big_endian_); }

 private:
  std::string_view bytes_;
  bool big_endian_;
};

// The units of `bytes` (a trailing odd byte is ignored), unchanged.
std::u16string ReadUtf16Units(std::string_view bytes, bool big_endian);
// Appends the bytes of `units` in the given byte order.
void AppendUtf16Units(std::u16string_view units, bool big_endian, std::string* bytes);

// Encodes UTF-8 text as UTF-16. Each byte that does not belong to a valid UTF-8 sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// Decodes UTF-16 units as UTF-8 text. Each unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);
