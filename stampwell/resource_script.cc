#include "stampwell/resource_script.h"

#include "platform/text_file.h"
#include "stampwell/split_string.h"

namespace {

// One version pass: the statement text and the string-value text it looks for, and the
// beginnings of their replacements.
struct VersionPass {
  std::string_view statement;
  std::string_view value;
  std::string_view value_replacement;
};

constexpr VersionPass kProductPass = {" PRODUCTVERSION ", "VALUE \"ProductVersion\",",
                                      "            VALUE \"ProductVersion\", \""};
constexpr VersionPass kFilePass = {" FILEVERSION ", "VALUE \"FileVersion\",",
                                   "            VALUE \"FileVersion\", \""};

void ApplyVersion(const VersionPass& pass, std::vector<std::string>& lines,
                  std::string_view version) {
  const std::string ver = FormatVersion(version);
  for (std::string& line : lines) {
    if (line.find(pass.statement) != std::string::npos) {
      line.assign(pass.statement).append(ver);
    }
    if (line.find(pass.value) != std::string::npos) {
      line.assign(pass.value_replacement).append(ver).append("\\0\"");
    }
  }
}

}  // namespace

void ApplyProductVersion(std::vector<std::string>& lines, std::string_view version) {
  ApplyVersion(kProductPass, lines, version);
}

void ApplyFileVersion(std::vector<std::string>& lines, std::string_view version) {
  ApplyVersion(kFilePass, lines, version);
}

bool RewriteScript(std::string_view bytes, const std::string& product_version,
                   const std::string& file_version, std::vector<std::string>& lines,
                   std::string* rewritten, std::string* reason) {
  if (bytes.find('\0') != std::string_view::npos) {
    *reason = "holds NUL bytes, not 8-bit text; left untouched";
    return false;
  }
  lines = platform::SplitTextLines(bytes);
  if (!product_version.empty()) ApplyProductVersion(lines, product_version);
  if (!file_version.empty()) ApplyFileVersion(lines, file_version);
  *rewritten = platform::JoinTextLines(lines);
  return true;
}
