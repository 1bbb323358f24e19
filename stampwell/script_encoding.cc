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
