// The resource-script rewriter over any bytes in any encoding: rewriting is idempotent, keeps
// the encoding, and changes nothing but version lines.
//
// Input: a product version, a line feed, a file version, a line feed, then the script's bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/text_file.h"
#include "stampwell/resource_script.h"
#include "stampwell/script_encoding.h"

namespace {

std::string TakeLine(std::string_view& input) {
  size_t lf = input.find('\n');
  if (lf == std::string_view::npos) lf = input.size();
  std::string line(input.substr(0, lf));
  input.remove_prefix(std::min(lf + 1, input.size()));
  return line;
}

bool IsVersionLine(std::string_view line) {
  for (std::string_view text : {" PRODUCTVERSION ", "VALUE \"ProductVersion\",", " FILEVERSION ",
                                "VALUE \"FileVersion\","}) {
    if (line.find(text) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string product = TakeLine(input);
  std::string file = TakeLine(input);
  // Versions come from the command line or the form, which refuse NUL and line breaks.
  for (const std::string& version : {product, file}) {
    if (version.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return 0;
  }
  std::string once, reason;
  if (!RewriteScript(input, product, file, &once, &reason)) {
    FUZZ_CHECK(!reason.empty());
    return 0;
  }
  ScriptEncoding before, after;
  FUZZ_CHECK(DetectScriptEncoding(input, &before, &reason));
  FUZZ_CHECK(DetectScriptEncoding(once, &after, &reason));
  FUZZ_CHECK(before == after);
  FUZZ_CHECK(once.starts_with(ByteOrderMark(before)));

  std::string twice;
  FUZZ_CHECK(RewriteScript(once, product, file, &twice, &reason));
  FUZZ_CHECK(twice == once);

  if (!IsUtf16(before)) {
    // 8-bit text: line for line after the byte-order mark, only version lines differ.
    std::string_view mark = ByteOrderMark(before);
    std::vector<std::string> old_lines = platform::SplitTextLines(input.substr(mark.size()));
    std::vector<std::string> new_lines =
        platform::SplitTextLines(std::string_view(once).substr(mark.size()));
    FUZZ_CHECK(old_lines.size() == new_lines.size());
    for (size_t i = 0; i < old_lines.size(); ++i) {
      FUZZ_CHECK(old_lines[i] == new_lines[i] || IsVersionLine(old_lines[i]));
    }
    std::string untouched;
    FUZZ_CHECK(RewriteScript(input, "", "", &untouched, &reason));
    FUZZ_CHECK(untouched == std::string(mark) + platform::JoinTextLines(old_lines));
  }
  return 0;
}
