// The tools' standard output and standard error: UTF-8 text with "\n" line breaks, written the
// way the system shows text (on Windows: wide characters on a console, UTF-8 with CR LF line
// breaks when redirected).
#pragma once

#include <string_view>

namespace platform {

// Writes `text` to standard output. It may be held in a buffer until FlushOutput.
void WriteOutput(std::string_view text);

// Flushes standard output, then writes `text` to standard error, so that a combined stream
// keeps the order of the lines.
void WriteError(std::string_view text);

// Writes out what standard output holds. False when standard output has failed.
bool FlushOutput();

}  // namespace platform
