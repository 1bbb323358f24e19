#include "stampwell/script_encoding.h"

#include "stampwell/utf16_units.h"

namespace {

struct Mark {
  std::string_view bytes;
  ScriptEncoding encoding;
};

constexpr Mark kMarks[] = {
    {"\xEF\xBB\xBF", ScriptEncoding::kUtf8Bom},
    {"\xFF\xFE", ScriptEncoding::kUtf16LeBom},
    {"\xFE\xFF", ScriptEncoding::kUtf16BeBom},
};

constexpr char kNulBytes[] = "holds NUL bytes, not 8-bit text; left untouched";
constexpr char kNulUnits[] = "UTF-16 text holding NUL characters; left untouched";
constexpr char kOddByte[] = "UTF-16 text with an odd trailing byte; left untouched";
constexpr char kOutOfStep[] =
    "UTF-16 text damaged by a line-ending conversion (a CR or LF byte out of step with the "
    "text); mark it as binary or set working-tree-encoding in .gitattributes; left untouched";

// True when every whole unit is an ASCII character other than NUL.
bool IsAsciiUtf16(std::string_view bytes, bool big_endian) {
  const size_t units = bytes.size() / 2;
  if (units == 0) return false;
  for (size_t i = 0; i < units; ++i) {
    const char16_t unit = Utf16UnitAt(bytes, i, big_endian);
    if (unit == 0 || unit > 0x7F) return false;
  }
  return true;
}

// A line-ending conversion that takes UTF-16 for 8-bit text (`*.rc text eol=crlf` in
// .gitattributes) puts a CR byte before every LF byte that has none. Each byte put in shifts the
// rest of the text by one byte: an odd number of them leaves an odd trailing byte, an even number
// leaves stretches whose line breaks are not whole units, where one line hides the next.

// True when the bytes are ASCII UTF-16 once each CR byte right before an LF byte is taken out,
// and there was one: ASCII UTF-16 never has those two bytes side by side.
bool IsAsciiUtf16WithCrsPutIn(std::string_view bytes, bool big_endian) {
  size_t kept = 0;
  bool put_in = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      put_in = true;
      continue;
    }
    const bool high = (kept++ % 2 == 0) == big_endian;
    if (high ? byte != 0 : (byte == 0 || byte > 0x7F)) return false;
  }
  return put_in && kept % 2 == 0;
}

// True for UTF-16 that such a conversion has been through. Without a mark, UTF-16 that is not
// ASCII was found only through the CR bytes put in. With one: the conversion leaves no LF byte
// without a CR byte before it, and where a line feed first puts the text out of step, its LF
// byte lands in the high byte of a unit, between the CR byte put in and a zero byte: U+0A0D
// (little-endian) or U+0A00 (big-endian), neither of them a character. Real text never counts:
// it would need one of those, and no line feed of its own (every big-endian one, and every
// little-endian one but right after U+0D00 to U+0DFF, has a zero byte before its LF byte).
bool IsOutOfStep(std::string_view body, ScriptEncoding encoding) {
  const bool big_endian = IsBigEndian(encoding);
  if (ByteOrderMark(encoding).empty()) return !IsAsciiUtf16(body, big_endian);
  bool out_of_step = false;
  for (size_t lf = body.find('\n'); lf != body.npos; lf = body.find('\n', lf + 1)) {
    if (lf == 0 || body[lf - 1] != '\r') return false;
    const bool high = (lf % 2 == 1) != big_endian;
    if (high && lf + 1 < body.size() && body[lf + 1] == '\0') out_of_step = true;
  }
  return out_of_step;
}

bool HasNulUnit(std::string_view bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == '\0' && bytes[i + 1] == '\0') return true;
  }
  return false;
}

// Checks the bytes after the mark (if any) against what the encoding can hold unchanged.
bool CheckBody(std::string_view body, ScriptEncoding encoding, std::string* reason) {
  if (!IsUtf16(encoding)) {
    if (body.find('\0') == std::string_view::npos) return true;
    *reason = kNulBytes;
  } else if (body.size() % 2 != 0) {
    *reason = kOddByte;
  } else if (IsOutOfStep(body, encoding)) {
    *reason = kOutOfStep;
  } else if (HasNulUnit(body)) {
    *reason = kNulUnits;
  } else {
    return true;
  }
  return false;
}

ScriptEncoding FindEncoding(std::string_view bytes) {
  for (const Mark& mark : kMarks) {
    if (bytes.starts_with(mark.bytes)) return mark.encoding;
  }
  if (IsAsciiUtf16(bytes, false)) return ScriptEncoding::kUtf16Le;
  if (IsAsciiUtf16(bytes, true)) return ScriptEncoding::kUtf16Be;
  // Refused later, but as the UTF-16 it is, not as 8-bit text with NUL bytes.
  if (IsAsciiUtf16WithCrsPutIn(bytes, false)) return ScriptEncoding::kUtf16Le;
  if (IsAsciiUtf16WithCrsPutIn(bytes, true)) return ScriptEncoding::kUtf16Be;
  return ScriptEncoding::kEightBit;
}

}  // namespace

bool IsUtf16(ScriptEncoding encoding) {
  return encoding != ScriptEncoding::kEightBit && encoding != ScriptEncoding::kUtf8Bom;
}

bool IsBigEndian(ScriptEncoding encoding) {
  return encoding == ScriptEncoding::kUtf16BeBom || encoding == ScriptEncoding::kUtf16Be;
}

std::string_view ByteOrderMark(ScriptEncoding encoding) {
  for (const Mark& mark : kMarks) {
    if (mark.encoding == encoding) return mark.bytes;
  }
  return {};
}

bool DetectScriptEncoding(std::string_view bytes, ScriptEncoding* encoding, std::string* reason) {
  *encoding = FindEncoding(bytes);
  return CheckBody(bytes.substr(ByteOrderMark(*encoding).size()), *encoding, reason);
}
