// Version resources that the line rules stamp only in part, or not at all: a FILEVERSION or
// PRODUCTVERSION statement without a blank on each side is left with its old version.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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
// no statements. Reads one line at a time.
std::vector<ResourceWarning> FindHalfStampedResources(std::string_view bytes,
                                                      const std::string& product_version,
                                                      const std::string& file_version);
