#include "stampwell/version_resources.h"

#include <algorithm>
#include <cstddef>

#include "stampwell/resource_script.h"
#include "stampwell/version_macros.h"

bool IsWordUnit(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
         (unit >= u'0' && unit <= u'9') || unit == u'_';
}

void HideComments(std::u16string& line, bool* in_comment) {
  bool in_string = false;
  size_t i = 0;
  while (i < line.size()) {
    const char16_t unit = line[i];
    const char16_t next = i + 1 < line.size() ? line[i + 1] : kHidden;
    size_t hidden = 1;
    if (*in_comment) {
      if (unit == u'*' && next == u'/') {
        *in_comment = false;
        hidden = 2;
      }
    } else if (in_string) {
      in_string = unit != u'"';
    } else if (unit == u'"') {
      in_string = true;
    } else if (unit == u'/' && next == u'/') {
      hidden = line.size() - i;
    } else if (unit == u'/' && next == u'*') {
      *in_comment = true;
      hidden = 2;
    } else {
      hidden = 0;
    }
    std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(i), hidden, kHidden);
    i += std::max<size_t>(hidden, 1);
  }
}

void ForEachCodeLine(
    std::string_view bytes,
    const std::function<void(size_t number, std::u16string_view line, std::u16string_view code)>&
        each) {
  bool in_comment = false;
  size_t number = 0;
  std::u16string code;
  ForEachScriptLine(bytes, [&](std::u16string_view line) {
    code.assign(line);
    HideComments(code, &in_comment);
    each(++number, line, code);
  });
}

size_t FindWord(std::u16string_view code, std::u16string_view word) {
  for (size_t at = code.find(word); at != code.npos; at = code.find(word, at + 1)) {
    const size_t end = at + word.size();
    if ((at == 0 || !IsWordUnit(code[at - 1])) && (end == code.size() || !IsWordUnit(code[end])))
      return at;
  }
  return code.npos;
}

namespace {

// True for a line that holds code other than a preprocessor directive.
bool IsBody(std::u16string_view code) {
  const size_t first = code.find_first_not_of(std::u16string_view(u" \t\r\0", 4));
  return first != code.npos && code[first] != u'#';
}

std::string Named(char16_t unit) {
  if (unit == u'\t') return "a tab";
  if (unit == u'\r') return "a carriage return";
  if (unit > u' ' && unit < 0x7F) return std::string("'") + static_cast<char>(unit) + "'";
  return "a character other than a blank";
}

struct Miss {
  std::string text;  // "line 12, FILEVERSION starts at the beginning of the line"
  bool lacks_blank_before, lacks_blank_after;
};

// Why the rules missed the statement `keyword` at `at` in `line`.
Miss Missed(std::u16string_view line, size_t number, size_t at, std::string_view keyword) {
  const size_t end = at + keyword.size();
  std::string before, after;
  if (at == 0) {
    before = "starts at the beginning of the line";
  } else if (line[at - 1] != u' ') {
    before = "follows " + Named(line[at - 1]);
  }
  if (end == line.size()) {
    after = "ends the line";
  } else if (line[end] != u' ') {
    after = "is followed by " + Named(line[end]);
  }
  Miss miss{"line " + std::to_string(number) + ", " + std::string(keyword) + " ", !before.empty(),
            !after.empty()};
  if (before.empty() && after.empty()) {
    miss.text += "is lost with its line, which the product version's rule replaces";
  } else {
    miss.text += before + (!before.empty() && !after.empty() ? " and " : "") + after;
  }
  return miss;
}

struct Resource {
  size_t line = 0;        // of its VERSIONINFO, 1-based; 0 before the first resource
  bool has_body = false;  // a line after its VERSIONINFO holds more than a directive
  bool stamped = false;   // the rules take one of its lines
  std::vector<Miss> misses;
};

void Finish(const Resource& resource, std::vector<ResourceWarning>* warnings) {
  if (resource.line == 0 || (resource.stamped && resource.misses.empty())) return;
  ResourceWarning warning;
  warning.what =
      resource.stamped ? "version resource only partly stamped" : "version resource not stamped";
  if (resource.misses.empty()) {
    warning.reason = "line " + std::to_string(resource.line) +
                     ", the resource names no version the line rules recognise";
    warnings->push_back(std::move(warning));
    return;
  }
  bool before = false, after = false;
  size_t lacking = 0;
  for (const Miss& miss : resource.misses) {
    if (!warning.reason.empty()) warning.reason += "; ";
    warning.reason += miss.text;
    before = before || miss.lacks_blank_before;
    after = after || miss.lacks_blank_after;
    lacking += miss.lacks_blank_before || miss.lacks_blank_after;
  }
  if (lacking > 0) {
    warning.reason += "; the line rules need a blank ";
    warning.reason += before && after ? "on each side of " : before ? "before " : "after ";
    warning.reason += lacking == 1 ? "it" : "them";
  }
  warnings->push_back(std::move(warning));
}

}  // namespace

std::vector<ResourceWarning> FindHalfStampedResources(std::string_view bytes,
                                                      const std::string& product_version,
                                                      const std::string& file_version,
                                                      bool macros) {
  std::vector<ResourceWarning> warnings;
  const bool product = !product_version.empty(), file = !file_version.empty();
  if (!product && !file) return warnings;
  Resource resource;
  ForEachCodeLine(bytes, [&](size_t number, std::u16string_view line, std::u16string_view code) {
    // Headers with nothing but directives between them are alternatives (#if ... #else).
    if (FindWord(code, u"VERSIONINFO") == code.npos) {
      resource.has_body = resource.has_body || IsBody(code);
    } else if (resource.line == 0 || resource.has_body) {
      Finish(resource, &warnings);
      resource = Resource();
      resource.line = number;
    }
    if (resource.line == 0) return;
    LineRules rules = MatchLineRules(line, product, file);
    // With -macros a line naming a macro is stamped through the macro's definition instead.
    const NamedMacro named = macros ? FindNamedMacro(line, code) : NamedMacro();
    if (!named.name.empty()) rules = {product && named.product, file && !named.product};
    resource.stamped = resource.stamped || rules.product || rules.file;
    const struct {
      bool missed;
      std::u16string_view word;
      std::string_view keyword;
    } statements[] = {{product && !rules.product, u"PRODUCTVERSION", "PRODUCTVERSION"},
                      {file && !rules.file, u"FILEVERSION", "FILEVERSION"}};
    for (const auto& statement : statements) {
      const size_t at = statement.missed ? FindWord(code, statement.word) : code.npos;
      if (at != code.npos) resource.misses.push_back(Missed(line, number, at, statement.keyword));
    }
  });
  Finish(resource, &warnings);
  return warnings;
}
