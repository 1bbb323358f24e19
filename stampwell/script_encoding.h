// How a resource script is stored on disk: its code units, their byte order and its byte-order
// mark, so that a rewritten script can be stored exactly the way it came.
#pragma once

#include <string>
#include <string_view>

enum class ScriptEncoding {
  kEightBit,    // bytes: ASCII, UTF-8 without a mark, or an ANSI code page
  kUtf8Bom,     // bytes after EF BB BF
  kUtf16LeBom,  // 16-bit units, low byte first, after FF FE
  kUtf16BeBom,  // 16-bit units, high byte first, after FE FF
  kUtf16Le,     // 16-bit units, low byte first, no mark
  kUtf16Be,     // 16-bit units, high byte first, no mark
};

bool IsUtf16(ScriptEncoding encoding);
bool IsBigEndian(ScriptEncoding encoding);
// The byte-order mark the encoding starts with, empty for none.
std::string_view ByteOrderMark(ScriptEncoding encoding);

// Finds the encoding of a script's bytes. Fails, with the reason, for bytes that no encoding
// here can hold unchanged: NUL bytes outside UTF-16, UTF-16 with an odd trailing byte, and
// UTF-16 whose line breaks a line-ending conversion has put out of step with its units. A
// script without a mark counts as UTF-16 only when every unit is an ASCII character other than
// NUL, so that its zero bytes leave no doubt about the byte order (or would be, but for CR bytes
// such a conversion put in; it is then refused).
bool DetectScriptEncoding(std::string_view bytes, ScriptEncoding* encoding, std::string* reason);
