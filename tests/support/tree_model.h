// An independent model of the tree tools' walk, for the output the tests expect.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

namespace testsupport {

// The lines a walk of `root` prints: "Processing directory '<name>'" for every real directory
// in listing order, depth first, and for every other entry whatever `file_line` returns for
// its full path (nothing when it returns an empty text). Links to directories are skipped.
std::string ExpectedWalk(const std::string& root,
                         const std::function<std::string(const std::string&)>& file_line);

// The paths of the output lines "<prefix><path><suffix>"; other lines are skipped.
std::set<std::string> PathsInLines(const std::string& output, const std::string& prefix,
                                   const std::string& suffix);

// Every regular file below `root`, by path relative to it, with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& root);

}  // namespace testsupport
