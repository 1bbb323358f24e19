// Version resources that the line rules stamp only in part, or not at all: a FILEVERSION or
// PRODUCTVERSION statement without a blank on each side is left with its old version.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Stands in for a unit of a comment or a quoted string in a line HideComments has worked on.
inline constexpr char16_t kHidden = u'\0';

// True for a letter, a digit or an underscore.
bool IsWordUnit(char16_t unit);

// Hides the comments and quoted strings of `line`, so that a word counts only where the
// resource compiler reads it. A block comment goes on across lines; a string ends with its line.
void HideComments(std::u16string& line, bool* in_comment);

// Calls `each` with every line of a script (bytes RewriteScript accepts), its number from 1,
// and the same line with its comments and quoted strings hidden.
void ForEachCodeLine(
    std::string_view bytes,
    const std::function<void(size_t number, std::u16string_view line, std::u16string_view code)>&
        each);

// Where `word` stands in `code` as a word of its own, or npos.
size_t FindWord(std::u16string_view code, std::u16string_view word);

// One version resource that a run leaves half-stamped, as the reporter words it.
struct ResourceWarning {
  std::string what;    // "version resource only partly stamped" or "... not stamped"
  std::string reason;  // the lines, and why the rules missed them
};

// The version resources of a script (bytes RewriteScript accepts) that a run with these
// versions stamps only in part or not at all; an empty version counts for nothing. A resource
// runs from a line holding the word VERSIONINFO to the next such line or the end of the script;
// such lines with only preprocessor directives between them (#if ... #else) begin one resource.
// It is partly stamped when the rules take some of its version lines but miss a FILEVERSION or
// PRODUCTVERSION statement, not stamped when they take none. Comments and quoted strings are
// no statements. With `macros`, a version line naming a macro counts as stamped (-macros
// stamps its definition). Reads one line at a time.
std::vector<ResourceWarning> FindHalfStampedResources(std::string_view bytes,
                                                      const std::string& product_version,
                                                      const std::string& file_version,
                                                      bool macros = false);
