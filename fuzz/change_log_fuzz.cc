// A comment on its way into the change log: block insertion keeps lines whole and in order.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "stampwell/line_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string comment(reinterpret_cast<const char*>(data), size);
  CLineFile log("/nonexistent/dir/Version.txt", 0);  // never loaded, never saved
  log.AddLine("old entry");
  log.InsertLine(0, std::string(79, '-'));
  log.InsertLine(1, "07-Dec-2026 - v. 2.1  build 2.1.7");
  log.InsertLine(2, "");
  log.InsertText(3, comment);

  const std::vector<std::string>& lines = log.Lines();
  FUZZ_CHECK(lines.size() >= 5);
  FUZZ_CHECK(lines[0] == std::string(79, '-'));
  FUZZ_CHECK(lines.back() == "old entry");
  size_t text = 0;
  for (size_t i = 3; i + 1 < lines.size(); ++i) {
    FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(!lines[i].empty() || lines.size() == 5 || i == lines.size() - 2);
    text += lines[i].size();
  }
  FUZZ_CHECK(text <= comment.size());
  FUZZ_CHECK(log.Save() == 0);
  return 0;
}
