#include "stampwell/utf16_units.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// What a UTF-8 lead byte says: the length of its sequence (0 when no sequence starts with it),
// the smallest code point such a sequence may encode, and the code point bits it carries.
struct Lead {
  size_t length;
  char32_t minimum;
  char32_t bits;
};

Lead ReadLead(unsigned char lead) {
  if (lead < 0x80) return {1, 0, lead};
  if (lead >= 0xC2 && lead < 0xE0) return {2, 0x80, lead & 0x1Fu};
  if (lead >= 0xE0 && lead < 0xF0) return {3, 0x800, lead & 0x0Fu};
  if (lead >= 0xF0 && lead < 0xF5) return {4, 0x10000, lead & 0x07u};
  return {0, 0, 0};
}

// Decodes the sequence at `text[at]`; returns its length, or 0 when it is not valid UTF-8.
size_t DecodeUtf8(std::string_view text, size_t at, char32_t* code_point) {
  const Lead lead = ReadLead(static_cast<unsigned char>(text[at]));
  if (lead.length == 0 || text.size() - at < lead.length) return 0;
  char32_t value = lead.bits;
  for (size_t i = 1; i < lead.length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3Fu);
  }
  const bool surrogate = value >= 0xD800 && value < 0xE000;
  if (value < lead.minimum || value > 0x10FFFF || surrogate) return 0;
  *code_point = value;
  return lead.length;
}

void AppendCodePoint(char32_t code_point, std::u16string* units) {
  if (code_point < 0x10000) {
    units->push_back(static_cast<char16_t>(code_point));
    return;
  }
  code_point -= 0x10000;
  units->push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
  units->push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
}

void AppendUtf8(char32_t code_point, std::string* text) {
  if (code_point < 0x80) {
    text->push_back(static_cast<char>(code_point));
    return;
  }
  const size_t length = code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
  static constexpr unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
  char bytes[4];
  for (size_t i = length - 1; i > 0; --i) {
    bytes[i] = static_cast<char>(0x80 | (code_point & 0x3F));
    code_point >>= 6;
  }
  bytes[0] = static_cast<char>(kLeadMarks[length] | code_point);
  text->append(bytes, length);
}

}  // namespace

std::u16string ReadUtf16Units(std::string_view bytes, bool big_endian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = Utf16UnitAt(bytes, i, big_endian);
  return units;
}

void AppendUtf16Units(std::u16string_view units, bool big_endian, std::string* bytes) {
  size_t at = bytes->size();
  bytes->resize(at + 2 * units.size());
  const unsigned high = big_endian ? 0 : 1;
  for (char16_t unit : units) {
    (*bytes)[at + high] = static_cast<char>(unit >> 8);
    (*bytes)[at + 1 - high] = static_cast<char>(unit & 0xFF);
    at += 2;
  }
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    char32_t code_point = kReplacement;
    const size_t length = DecodeUtf8(text, at, &code_point);
    AppendCodePoint(code_point, &units);
    at += length == 0 ? 1 : length;
  }
  return units;
}

std::string Utf16ToUtf8(std::u16string_view units) {
  std::string text;
  text.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t code_point = units[i];
    const bool high = code_point >= 0xD800 && code_point < 0xDC00;
    const bool low_next = i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
    if (high && low_next) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (code_point >= 0xD800 && code_point < 0xE000) {
      code_point = kReplacement;
    }
    AppendUtf8(code_point, &text);
  }
  return text;
}
