// The version lines of a resource script, and the rewriting of a whole script.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Replaces every PRODUCTVERSION statement and "ProductVersion" string value in `lines` by the
// normalised form of `version`.
void ApplyProductVersion(std::vector<std::string>& lines, std::string_view version);
// The same for FILEVERSION and "FileVersion".
void ApplyFileVersion(std::vector<std::string>& lines, std::string_view version);

// Rewrites a script's bytes: its lines, with the versions applied (an empty version leaves its
// lines alone), each followed by CR LF. Fails, with the reason, for bytes that are not 8-bit
// text.
bool RewriteScript(std::string_view bytes, const std::string& product_version,
                   const std::string& file_version, std::vector<std::string>& lines,
                   std::string* rewritten, std::string* reason);
