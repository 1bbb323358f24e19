// The tree tools against an attacker who can write in the tree: once a tool has read a
// folder's listing, the folder is swapped for a link to a folder outside the tree that holds
// the same names. Whatever the tool does next, nothing outside the tree may change.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/folder_swap.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::ScratchDir;
using testsupport::Snapshot;

const char kOld[] = " FILEVERSION 1,0,0,1\r\n";
// Runs per row: the attacker wins a race, so one run alone proves little.
const int kRuns = 5;
// Scripts and by-products of each kind in the swapped folder besides the names it shares with
// the outside one: they keep the tool busy there after the listing, and in a sorted listing
// (and mostly in any other) they come first, so the swap comes before the shared names.
const int kFillers = 400;

struct Row {
  const char* name;
  std::string program;
  std::vector<std::string> args;
};

// Names found both in the swapped folder and in the outside one: every tool has work there.
void WriteSharedNames(const ScratchDir& dir, const std::string& folder) {
  for (const char* name : {"app.rc", "sub/app.rc"}) dir.Write(folder + name, kOld);
  for (const char* name : {"secret.obj", "x.log", "sub/deep.obj", "sub/deep.log"}) {
    dir.Write(folder + name, "keep me");
  }
}

// The outside files that changed, went or came, by name.
std::string Changes(const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after) {
  std::string changes;
  for (const auto& [path, bytes] : before) {
    if (!after.contains(path) || after.at(path) != bytes) changes += " " + path;
  }
  for (const auto& [path, bytes] : after) {
    if (!before.contains(path)) changes += " " + path + " (new)";
  }
  return changes;
}

// One run: the tool on "tree", whose folder "d" becomes a link to "outside" once listed.
// Counts a run in which files outside the tree changed in `escapes`.
void RunAttacked(const Row& row, int run, int* escapes) {
  SCOPED_TRACE(std::string(row.name) + ", run " + std::to_string(run + 1));
  ScratchDir dir;
  dir.MakeDir("home/.local/share");  // without it, Wine's shell refuses the Recycle Bin
  for (int i = 0; i < kFillers; ++i) {
    std::string number = std::to_string(1000 + i).substr(1);  // "000" sorts before letters
    dir.Write("tree/d/" + number + ".obj", "x");
    dir.Write("tree/d/" + number + ".rc", kOld);
  }
  WriteSharedNames(dir, "tree/d/");
  WriteSharedNames(dir, "outside/");
  const auto before = Snapshot(dir.Path("outside"));

  testsupport::FolderSwap swap(dir.Path("tree/d"), dir.Path("link"), dir.Path("outside"));
  RunOptions options;
  options.cwd = dir.Path("tree");
  options.env = {"HOME=" + dir.Path("home"), "XDG_DATA_HOME=" + dir.Path("home/.local/share")};
  RunResult result = testsupport::Run(row.program, row.args, options);
  const bool in_time = swap.swapped();
  const std::string swap_failure = swap.Stop();

  EXPECT_EQ(result.signal, 0) << result.err.substr(0, 500);
  EXPECT_TRUE(in_time) << "the tool ended before the swap, so this run proves nothing"
                       << (swap_failure.empty() ? "" : ": " + swap_failure);
  const std::string changes = Changes(before, Snapshot(dir.Path("outside")));
  if (!changes.empty()) ++*escapes;
  EXPECT_EQ(changes, "") << "files outside the tree changed; the tool said:\n"
                         << result.err.substr(0, 300);
}

TEST(TreeEscape, FolderSwappedForLinkOutAfterItsListing) {
  const std::vector<Row> rows = {
      {"Sweepwell -d", SWEEPWELL_BIN, {"-d"}},
      {"Sweepwell to the trash", SWEEPWELL_BIN, {}},
      {"Stampwell -s -vf 2.1.7", STAMPWELL_BIN, {"-s", "-vf", "2.1.7"}},
  };
  for (const Row& row : rows) {
    int escapes = 0;
    for (int run = 0; run < kRuns; ++run) RunAttacked(row, run, &escapes);
    EXPECT_EQ(escapes, 0) << row.name << ": files outside the tree changed in " << escapes << " of "
                          << kRuns << " runs";
  }
}

}  // namespace
