// The version lines of a resource script, and the rewriting of a whole script in the encoding
// it is stored in.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Replaces every PRODUCTVERSION statement and "ProductVersion" string value in `lines` by the
// normalised form of `version` (UTF-8 text, written as it is into 8-bit lines and as UTF-16
// into 16-bit lines).
void ApplyProductVersion(std::vector<std::string>& lines, std::string_view version);
void ApplyProductVersion(std::vector<std::u16string>& lines, std::string_view version);
// The same for FILEVERSION and "FileVersion".
void ApplyFileVersion(std::vector<std::string>& lines, std::string_view version);
void ApplyFileVersion(std::vector<std::u16string>& lines, std::string_view version);

// Lines a rewrite takes as given instead of applying the line rules to them: 1-based line
// number, and the line's new 16-bit units (8-bit text widened byte by byte, as ForEachScriptLine
// gives it).
using LineEdits = std::map<size_t, std::u16string>;

// Rewrites a script's bytes: its lines, with the versions applied (an empty version leaves its
// lines alone), each followed by CR LF, in the script's own encoding and byte-order mark, with
// every unchanged line's code units as they were. Works one line at a time: the memory taken
// is that of the new bytes. Fails, with the reason, for bytes that no supported encoding holds
// (see DetectScriptEncoding). The lines in `edits` take their given text.
bool RewriteScript(std::string_view bytes, const std::string& product_version,
                   const std::string& file_version, std::string* rewritten, std::string* reason,
                   const LineEdits* edits = nullptr);

// A line that stamping changes, as UTF-8 (8-bit lines as they are).
struct LineChange {
  std::string before;
  std::string after;
};

// Calls `each` with every line RewriteScript changes, in file order, one at a time so that a
// listing of a large script need not be held whole. For bytes RewriteScript accepts.
void ForEachScriptChange(std::string_view bytes, const std::string& product_version,
                         const std::string& file_version,
                         const std::function<void(const LineChange&)>& each,
                         const LineEdits* edits = nullptr);

// Calls `each` with every line of a script RewriteScript accepts, as RewriteScript splits it, in
// 16-bit units: the bytes of 8-bit text widened one by one, the units of UTF-16 text.
void ForEachScriptLine(std::string_view bytes,
                       const std::function<void(std::u16string_view)>& each);

// The bytes of a script RewriteScript accepts with the lines in `edits` replaced and every
// other byte, line breaks included, as it was.
std::string SpliceScriptLines(std::string_view bytes, const LineEdits& edits);

// The version rules that take a line, as RewriteScript applies them: the product version's
// (when `product`), then the file version's (when `file`) on what the first left.
struct LineRules {
  bool product = false;
  bool file = false;
};
LineRules MatchLineRules(std::u16string_view line, bool product, bool file);
