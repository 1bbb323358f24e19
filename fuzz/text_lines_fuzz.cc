// The line reader's rules over any bytes: splitting and joining agree.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines = platform::SplitTextLines(bytes);
  size_t total = 0;
  for (const std::string& line : lines) {
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    total += line.size();
  }
  FUZZ_CHECK(total <= bytes.size());
  std::string joined = platform::JoinTextLines(lines);
  FUZZ_CHECK(joined.size() == total + 2 * lines.size());
  FUZZ_CHECK(platform::SplitTextLines(joined) == lines);
  // Without line breaks to normalise, the bytes survive whole.
  if (bytes.find('\n') == std::string_view::npos && !bytes.empty()) {
    FUZZ_CHECK(lines.size() == 1 && lines[0] == bytes);
  }
  return 0;
}
