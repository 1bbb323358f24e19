// Version normalisation and the token splitter over any text.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "stampwell/split_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  std::string version = FormatVersion(text);
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t comma; (comma = version.find(", ", start)) != std::string::npos;) {
    parts.push_back(version.substr(start, comma - start));
    start = comma + 2;
  }
  parts.push_back(version.substr(start));
  FUZZ_CHECK(parts.size() == 4);
  for (const std::string& part : parts) {
    FUZZ_CHECK(part.find_first_of(kVersionDelimiters) == std::string::npos);
  }
  // A version that passes the check is four numbers a version resource holds, in plain decimal.
  if (VersionProblem(text).empty()) {
    for (const std::string& part : parts) {
      FUZZ_CHECK(!part.empty() && part.find_first_not_of("0123456789") == std::string::npos);
      FUZZ_CHECK(std::stoul(part) <= 65535 && (part == "0" || part[0] != '0'));
    }
  }

  std::vector<std::string> lines;
  SplitString(lines, text, kLineDelimiters);
  FUZZ_CHECK(!lines.empty());
  size_t kept = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    FUZZ_CHECK(lines[i].find_first_of(kLineDelimiters) == std::string::npos);
    FUZZ_CHECK(!lines[i].empty() || i == lines.size() - 1);
    kept += lines[i].size();
  }
  FUZZ_CHECK(kept <= text.size());
  return 0;
}
