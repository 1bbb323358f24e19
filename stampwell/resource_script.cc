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

// Replaces `line` when it holds the statement or the string value of `pass`.
template <typename CharT>
void ApplyToLine(const VersionPass<CharT>& pass, const std::basic_string<CharT>& ver,
                 std::basic_string<CharT>& line) {
  if (line.find(pass.statement) != line.npos) {
    line.assign(pass.statement).append(ver);
  }
  if (line.find(pass.value) != line.npos) {
    line.assign(pass.value_replacement).append(ver).append(View(PassTexts<CharT>::kValueEnd));
  }
}

template <typename CharT>
void ApplyVersion(const VersionPass<CharT>& pass, std::vector<std::basic_string<CharT>>& lines,
                  std::string_view version) {
  const std::basic_string<CharT> ver = VersionUnits<CharT>(version);
  for (std::basic_string<CharT>& line : lines) ApplyToLine(pass, ver, line);
}

// The versions of one rewrite in the code units of CharT, and the lines it takes as given.
template <typename CharT>
struct Versions {
  Versions(const std::string& product_version, const std::string& file_version,
           const LineEdits* line_edits)
      : edits(line_edits),
        product(product_version.empty() ? std::basic_string<CharT>()
                                        : VersionUnits<CharT>(product_version)),
        file(file_version.empty() ? std::basic_string<CharT>() : VersionUnits<CharT>(file_version)),
        apply_product(!product_version.empty()),
        apply_file(!file_version.empty()) {}

  // Applies the product version to line `number`, then the file version, as whole passes would;
  // an edited line takes its given text instead.
  void Apply(size_t number, std::basic_string<CharT>& line) const {
    if (edits != nullptr) {
      auto edit = edits->find(number);
      if (edit != edits->end()) {
        line.assign(edit->second.begin(), edit->second.end());
        return;
      }
    }
    if (apply_product) ApplyToLine(PassTexts<CharT>::kProduct, product, line);
    if (apply_file) ApplyToLine(PassTexts<CharT>::kFile, file, line);
  }

  const LineEdits* edits;
  std::basic_string<CharT> product, file;
  bool apply_product, apply_file;
};

void CopyUnits(std::string_view text, size_t start, size_t end, std::string* line) {
  line->assign(text.substr(start, end - start));
}

void CopyUnits(const Utf16Units& units, size_t start, size_t end, std::u16string* line) {
  line->clear();
  for (size_t i = start; i < end; ++i) line->push_back(units[i]);
}

// Gives every line of `text`, rewritten and followed by CR LF, to `take`. One line at a time,
// so that a script is never held as lines besides its bytes and its new bytes.
template <typename CharT, typename Text, typename Take>
void ForEachNewLine(const Text& text, const Versions<CharT>& versions, Take take) {
  static constexpr CharT kCrLf[] = {'\r', '\n', 0};
  std::basic_string<CharT> line;
  size_t number = 0;
  platform::ForEachTextLine(text, [&](size_t start, size_t end) {
    CopyUnits(text, start, end, &line);
    versions.Apply(++number, line);
    line.append(kCrLf);
    take(line);
  });
}

// Appends the rewritten lines of `text` to `rewritten`, measured first so that the new bytes
// take no more memory than they need.
template <typename CharT, typename Text>
void AppendRewritten(const Text& text, const Versions<CharT>& versions, bool big_endian,
                     std::string* rewritten) {
  size_t units = 0;
  ForEachNewLine(text, versions,
                 [&](const std::basic_string<CharT>& line) { units += line.size(); });
  rewritten->reserve(rewritten->size() + units * sizeof(CharT));
  ForEachNewLine(text, versions, [&](const std::basic_string<CharT>& line) {
    if constexpr (std::is_same_v<CharT, char>) {
      rewritten->append(line);
    } else {
      AppendUtf16Units(line, big_endian, rewritten);
    }
  });
}

std::string Displayed(const std::string& line) { return line; }
std::string Displayed(const std::u16string& line) { return Utf16ToUtf8(line); }

// Calls `each` with each line of `text` that the versions change, before and after.
template <typename CharT, typename Text>
void ForEachChange(const Text& text, const Versions<CharT>& versions,
                   const std::function<void(const LineChange&)>& each) {
  std::basic_string<CharT> line, stamped;
  size_t number = 0;
  platform::ForEachTextLine(text, [&](size_t start, size_t end) {
    CopyUnits(text, start, end, &line);
    stamped = line;
    versions.Apply(++number, stamped);
    if (stamped != line) each({Displayed(line), Displayed(stamped)});
  });
}

// Calls `use` with the text of a script RewriteScript accepts: the bytes after its mark, or
// their 16-bit units.
template <typename Use>
void WithScriptText(std::string_view bytes, Use use) {
  ScriptEncoding encoding;
  std::string ignored;
  DetectScriptEncoding(bytes, &encoding, &ignored);
  const std::string_view body = bytes.substr(ByteOrderMark(encoding).size());
  if (IsUtf16(encoding)) {
    use(Utf16Units(body, IsBigEndian(encoding)));
  } else {
    use(body);
  }
}

char16_t Widened(char byte) { return static_cast<unsigned char>(byte); }
char16_t Widened(char16_t unit) { return unit; }

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
                   const std::string& file_version, std::string* rewritten, std::string* reason,
                   const LineEdits* edits) {
  ScriptEncoding encoding;
  if (!DetectScriptEncoding(bytes, &encoding, reason)) return false;
  const std::string_view mark = ByteOrderMark(encoding);
  const std::string_view body = bytes.substr(mark.size());
  rewritten->assign(mark);
  if (!IsUtf16(encoding)) {
    AppendRewritten(body, Versions<char>(product_version, file_version, edits), false, rewritten);
    return true;
  }
  const bool big_endian = IsBigEndian(encoding);
  AppendRewritten(Utf16Units(body, big_endian),
                  Versions<char16_t>(product_version, file_version, edits), big_endian, rewritten);
  // Without a byte-order mark, UTF-16 is recognised only while every character is ASCII: a
  // version beyond ASCII would leave a file that no later run could read as UTF-16.
  ScriptEncoding after;
  std::string ignored;
  if (mark.empty() && (!DetectScriptEncoding(*rewritten, &after, &ignored) || after != encoding)) {
    *reason =
        "UTF-16 text without byte-order mark cannot take a version beyond ASCII; left "
        "untouched";
    return false;
  }
  return true;
}

void ForEachScriptChange(std::string_view bytes, const std::string& product_version,
                         const std::string& file_version,
                         const std::function<void(const LineChange&)>& each,
                         const LineEdits* edits) {
  WithScriptText(bytes, [&](const auto& text) {
    using CharT = std::remove_cvref_t<decltype(text[0])>;
    ForEachChange(text, Versions<CharT>(product_version, file_version, edits), each);
  });
}

void ForEachScriptLine(std::string_view bytes,
                       const std::function<void(std::u16string_view)>& each) {
  std::u16string line;
  WithScriptText(bytes, [&](const auto& text) {
    platform::ForEachTextLine(text, [&](size_t start, size_t end) {
      line.clear();
      for (size_t i = start; i < end; ++i) line.push_back(Widened(text[i]));
      each(line);
    });
  });
}

std::string SpliceScriptLines(std::string_view bytes, const LineEdits& edits) {
  ScriptEncoding encoding;
  std::string ignored;
  DetectScriptEncoding(bytes, &encoding, &ignored);
  const size_t mark = ByteOrderMark(encoding).size();
  const size_t unit = IsUtf16(encoding) ? 2 : 1;
  std::string spliced;
  size_t copied = 0, number = 0;  // bytes of `bytes` already in `spliced`
  WithScriptText(bytes, [&](const auto& text) {
    platform::ForEachTextLine(text, [&](size_t start, size_t end) {
      auto edit = edits.find(++number);
      if (edit == edits.end()) return;
      spliced.append(bytes.substr(copied, mark + start * unit - copied));
      if (unit == 1) {
        for (char16_t c : edit->second) spliced.push_back(static_cast<char>(c));
      } else {
        AppendUtf16Units(edit->second, IsBigEndian(encoding), &spliced);
      }
      copied = mark + end * unit;
    });
  });
  spliced.append(bytes.substr(copied));
  return spliced;
}

LineRules MatchLineRules(std::u16string_view line, bool product, bool file) {
  auto takes = [&](const VersionPass<char16_t>& pass) {
    return line.find(pass.statement) != line.npos || line.find(pass.value) != line.npos;
  };
  LineRules rules;
  rules.product = product && takes(PassTexts<char16_t>::kProduct);
  // The product rule leaves a line the file rule does not take: a version has no blank but
  // after a comma.
  rules.file = file && !rules.product && takes(PassTexts<char16_t>::kFile);
  return rules;
}
