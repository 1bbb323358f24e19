#include "stampwell/resource_script.h"

#include <array>
#include <type_traits>

#include "platform/text_file.h"
#include "stampwell/script_encoding.h"
#include "stampwell/split_string.h"
#include "stampwell/utf16_units.h"

namespace {

// An ASCII text as code units of CharT, made at compile time.
template <typename CharT, size_t N>
constexpr std::array<CharT, N - 1> Units(const char (&ascii)[N]) {
  std::array<CharT, N - 1> units{};
  for (size_t i = 0; i + 1 < N; ++i) units[i] = static_cast<CharT>(ascii[i]);
  return units;
}

template <typename CharT, size_t N>
constexpr std::basic_string_view<CharT> View(const std::array<CharT, N>& units) {
  return {units.data(), N};
}

// One version pass: the statement text and the string-value text it looks for, and the
// beginnings of their replacements.
template <typename CharT>
struct VersionPass {
  std::basic_string_view<CharT> statement;
  std::basic_string_view<CharT> value;
  std::basic_string_view<CharT> value_replacement;
};

// The texts of both passes in the code units of CharT.
template <typename CharT>
struct PassTexts {
  static constexpr auto kProductStatement = Units<CharT>(" PRODUCTVERSION ");
  static constexpr auto kProductValue = Units<CharT>("VALUE \"ProductVersion\",");
  static constexpr auto kProductValueLine =
      Units<CharT>("            VALUE \"ProductVersion\", \"");
  static constexpr auto kFileStatement = Units<CharT>(" FILEVERSION ");
  static constexpr auto kFileValue = Units<CharT>("VALUE \"FileVersion\",");
  static constexpr auto kFileValueLine = Units<CharT>("            VALUE \"FileVersion\", \"");
  static constexpr auto kValueEnd = Units<CharT>("\\0\"");

  static constexpr VersionPass<CharT> kProduct = {View(kProductStatement), View(kProductValue),
                                                  View(kProductValueLine)};
  static constexpr VersionPass<CharT> kFile = {View(kFileStatement), View(kFileValue),
                                               View(kFileValueLine)};
};

// The normalised version in the code units of CharT.
template <typename CharT>
std::basic_string<CharT> VersionUnits(std::string_view version) {
  if constexpr (std::is_same_v<CharT, char>) {
    return FormatVersion(version);
  } else {
    return Utf8ToUtf16(FormatVersion(version));
  }
}

template <typename CharT>
void ApplyVersion(const VersionPass<CharT>& pass, std::vector<std::basic_string<CharT>>& lines,
                  std::string_view version) {
  const std::basic_string<CharT> ver = VersionUnits<CharT>(version);
  const std::basic_string_view<CharT> value_end = View(PassTexts<CharT>::kValueEnd);
  for (std::basic_string<CharT>& line : lines) {
    if (line.find(pass.statement) != line.npos) {
      line.assign(pass.statement).append(ver);
    }
    if (line.find(pass.value) != line.npos) {
      line.assign(pass.value_replacement).append(ver).append(value_end);
    }
  }
}

template <typename CharT>
void ApplyVersions(std::vector<std::basic_string<CharT>>& lines, const std::string& product_version,
                   const std::string& file_version) {
  if (!product_version.empty()) ApplyProductVersion(lines, product_version);
  if (!file_version.empty()) ApplyFileVersion(lines, file_version);
}

// Rewrites the 16-bit units of a UTF-16 script body, appending the result's bytes.
void RewriteUtf16(std::string_view body, bool big_endian, const std::string& product_version,
                  const std::string& file_version, std::string* rewritten) {
  const std::u16string units = ReadUtf16Units(body, big_endian);
  std::vector<std::u16string> lines = platform::SplitTextLines(units);
  ApplyVersions(lines, product_version, file_version);
  std::u16string joined;
  platform::AppendTextLines(lines, &joined);
  AppendUtf16Units(joined, big_endian, rewritten);
}

std::string Displayed(const std::string& line) { return line; }
std::string Displayed(const std::u16string& line) { return Utf16ToUtf8(line); }

template <typename CharT>
void CollectChanges(const std::vector<std::basic_string<CharT>>& lines,
                    const std::string& product_version, const std::string& file_version,
                    std::vector<LineChange>* changes) {
  std::vector<std::basic_string<CharT>> stamped = lines;
  ApplyVersions(stamped, product_version, file_version);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (stamped[i] != lines[i]) changes->push_back({Displayed(lines[i]), Displayed(stamped[i])});
  }
}

}  // namespace

void ApplyProductVersion(std::vector<std::string>& lines, std::string_view version) {
  ApplyVersion(PassTexts<char>::kProduct, lines, version);
}

void ApplyProductVersion(std::vector<std::u16string>& lines, std::string_view version) {
  ApplyVersion(PassTexts<char16_t>::kProduct, lines, version);
}

void ApplyFileVersion(std::vector<std::string>& lines, std::string_view version) {
  ApplyVersion(PassTexts<char>::kFile, lines, version);
}

void ApplyFileVersion(std::vector<std::u16string>& lines, std::string_view version) {
  ApplyVersion(PassTexts<char16_t>::kFile, lines, version);
}

bool RewriteScript(std::string_view bytes, const std::string& product_version,
                   const std::string& file_version, std::vector<std::string>& lines,
                   std::string* rewritten, std::string* reason) {
  ScriptEncoding encoding;
  if (!DetectScriptEncoding(bytes, &encoding, reason)) return false;
  const std::string_view mark = ByteOrderMark(encoding);
  const std::string_view body = bytes.substr(mark.size());
  rewritten->assign(mark);
  if (IsUtf16(encoding)) {
    lines.clear();
    RewriteUtf16(body, IsBigEndian(encoding), product_version, file_version, rewritten);
    // Without a byte-order mark, UTF-16 is recognised only while every character is ASCII: a
    // version beyond ASCII would leave a file that no later run could read as UTF-16.
    ScriptEncoding after;
    std::string ignored;
    if (mark.empty() && (!DetectScriptEncoding(*rewritten, &after, &ignored) ||
                         after != encoding)) {
      *reason = "UTF-16 text without byte-order mark cannot take a version beyond ASCII; left "
                "untouched";
      return false;
    }
    return true;
  }
  lines = platform::SplitTextLines(body);
  ApplyVersions(lines, product_version, file_version);
  platform::AppendTextLines(lines, rewritten);
  return true;
}

bool PreviewScript(std::string_view bytes, const std::string& product_version,
                   const std::string& file_version, std::vector<LineChange>* changes,
                   std::string* reason) {
  std::vector<std::string> lines;
  std::string rewritten;
  if (!RewriteScript(bytes, product_version, file_version, lines, &rewritten, reason)) {
    return false;
  }
  ScriptEncoding encoding;
  std::string ignored;
  DetectScriptEncoding(bytes, &encoding, &ignored);
  const std::string_view body = bytes.substr(ByteOrderMark(encoding).size());
  changes->clear();
  if (IsUtf16(encoding)) {
    CollectChanges(platform::SplitTextLines(ReadUtf16Units(body, IsBigEndian(encoding))),
                   product_version, file_version, changes);
  } else {
    CollectChanges(platform::SplitTextLines(body), product_version, file_version, changes);
  }
  return true;
}
