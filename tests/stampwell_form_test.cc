// Stampwell's version form driven in a real terminal: a detached tmux session runs the program,
// the test types into it and reads the screen back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/reachable_program.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tree_model.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;
using testsupport::Snapshot;

// How long the program may take to show something; only a guard against a hanging test.
constexpr auto kPatience = std::chrono::seconds(30);

const char kScript[] =
    "1 VERSIONINFO\r\n"
    " FILEVERSION 1,0,0,1\r\n"
    " PRODUCTVERSION 1,0,0,1\r\n"
    "        VALUE \"FileVersion\", \"1, 0, 0, 1\\0\"\r\n"
    "        VALUE \"ProductVersion\", \"1, 0, 0, 1\\0\"\r\n";

std::string Stamped(std::string_view product, std::string_view file) {
  return "1 VERSIONINFO\r\n"
         " FILEVERSION " +
         std::string(file) +
         "\r\n"
         " PRODUCTVERSION " +
         std::string(product) +
         "\r\n"
         "            VALUE \"FileVersion\", \"" +
         std::string(file) +
         "\\0\"\r\n"
         "            VALUE \"ProductVersion\", \"" +
         std::string(product) + "\\0\"\r\n";
}

const std::string kRule(79, '-');

std::string FindProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= dirs.size();) {
    size_t end = std::min(dirs.find(':', start), dirs.size());
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Today's date as the change log writes it.
std::string Today() {
  std::time_t now = std::time(nullptr);
  std::tm fields{};
  localtime_r(&now, &fields);
  char text[32];
  std::strftime(text, sizeof text, "%d-%b-%Y", &fields);
  return text;
}

bool Contains(const std::string& text, std::string_view part) {
  return text.find(part) != std::string::npos;
}

struct TmuxResult {
  int exit_code = -1;
  std::string out;
};

// Polls `done` until it holds or the patience runs out; whether it held.
bool WaitUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The command the tests run programs under, such as a memory checker; empty when unset.
std::string TestWrapper() {
  const char* wrapper = getenv("TREETOOLS_TEST_WRAPPER");
  return wrapper != nullptr ? std::string(wrapper) + " " : "";
}

// How the program is started.
struct FormOptions {
  std::vector<std::string> args = {"-vp", "2.1", "-vf", "2.1.7"};
  int cols = 100;
  int rows = 40;
  std::string setup;                          // shell commands run first
  std::string prefix;                         // put before the program, e.g. a change of user
  std::string program = STAMPWELL_BIN;        // or a copy of it
  std::string redirect = "> \"$T\"/out.txt";  // where standard input and output go; $T: traces
};

// A scratch directory with the tree to stamp in "tree" and the run's traces beside it: what the
// program printed (out.txt, err.txt), its exit code (rc.txt, written last), its process id, and
// the terminal's settings before and after it ran.
class FormRun {
 public:
  // Every run has a tmux server of its own, reached through a socket in the scratch directory,
  // so that no run can meet another's keys or screen and nothing is left behind.
  FormRun() : socket_(dir_.Path("tmux.socket")), tmux_(FindProgram("tmux")) {
    dir_.MakeDir("tree");
  }
  ~FormRun() {
    // The server is usually gone already, with the program's end.
    if (started_) Tmux({"kill-server"}, " 2> /dev/null");
  }

  const ScratchDir& dir() const { return dir_; }
  std::string Tree(std::string_view relative = "") const {
    return relative.empty() ? dir_.Path("tree") : dir_.Path("tree/" + std::string(relative));
  }

  // Starts the program in a new terminal of the given size.
  void Start(const FormOptions& options = FormOptions()) {
    ASSERT_FALSE(tmux_.empty()) << "tmux is needed for these tests";
    std::string program =
        options.prefix + " env LC_ALL=C.UTF-8 " + TestWrapper() + Quoted(options.program);
    for (const std::string& arg : options.args) program += " " + Quoted(arg);
    std::string script = "T=" + Quoted(dir_.path()) + "; " + options.setup +
                         "stty -g > \"$T\"/stty.before; "
                         "sh -c 'echo $$ > \"$0\"/pid.txt; exec \"$@\"' \"$T\" " +
                         program + " 2> \"$T\"/err.txt " + options.redirect +
                         "; echo $? > \"$T\"/rc.tmp; wait; stty -g > \"$T\"/stty.after; mv "
                         "\"$T\"/rc.tmp \"$T\"/rc.txt";
    TmuxResult result =
        Tmux({"new-session", "-d", "-s", "form", "-x", std::to_string(options.cols), "-y",
              std::to_string(options.rows), "-c", Tree(), "/bin/sh", "-c", script});
    ASSERT_EQ(result.exit_code, 0);
    started_ = true;
  }

  std::string Screen() { return Tmux({"capture-pane", "-p", "-t", "form"}).out; }

  // Waits until the screen satisfies `ready`; returns the last screen seen.
  std::string WaitFor(const std::function<bool(const std::string&)>& ready) {
    std::string screen;
    WaitUntil([&] { return ready(screen = Screen()); });
    return screen;
  }
  std::string WaitForText(std::string_view text) {
    return WaitFor([&](const std::string& screen) { return Contains(screen, text); });
  }

  void Keys(const std::vector<std::string>& keys) {
    std::vector<std::string> args = {"send-keys", "-t", "form"};
    args.insert(args.end(), keys.begin(), keys.end());
    EXPECT_EQ(Tmux(args).exit_code, 0);
  }
  void Type(const std::string& text) {
    EXPECT_EQ(Tmux({"send-keys", "-t", "form", "-l", text}).exit_code, 0);
  }
  void Resize(int cols, int rows) {
    EXPECT_EQ(Tmux({"resize-window", "-t", "form", "-x", std::to_string(cols), "-y",
                    std::to_string(rows)})
                  .exit_code,
              0);
  }

  // Waits for the program to end; its exit code as the shell saw it.
  int Finish() {
    if (!WaitUntil([&] { return fs::exists(dir_.Path("rc.txt")); })) {
      ADD_FAILURE() << "the program did not end; screen:\n" << Screen();
      return -1;
    }
    return std::stoi(dir_.Read("rc.txt"));
  }
  pid_t Pid() {
    // The file is created before its number is written.
    WaitUntil([&] { return fs::exists(dir_.Path("pid.txt")) && !dir_.Read("pid.txt").empty(); });
    return static_cast<pid_t>(std::stol(dir_.Read("pid.txt")));
  }

  std::string Out() const { return dir_.Read("out.txt"); }
  std::string Err() const { return dir_.Read("err.txt"); }
  void ExpectTerminalRestored() const {
    EXPECT_EQ(dir_.Read("stty.after"), dir_.Read("stty.before"));
  }

 private:
  // Runs a tmux command on this run's server. tmux itself never runs under the test wrapper.
  TmuxResult Tmux(const std::vector<std::string>& args, std::string_view redirect = "") {
    std::string command = Quoted(tmux_) + " -S " + Quoted(socket_) + " -f /dev/null";
    for (const std::string& arg : args) command += " " + Quoted(arg);
    command += redirect;
    TmuxResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      result.out.append(buffer, got);
    int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  ScratchDir dir_;
  std::string socket_;
  std::string tmux_;
  bool started_ = false;
};

std::string RcLine(const std::string& path) {
  return path.size() > 3 && path.substr(path.size() - 3) == ".rc"
             ? "Resource File '" + path + "' done\n"
             : "";
}

std::string LogEntry(std::string_view date, std::string_view product, std::string_view file,
                     std::string_view comment_lines) {
  return kRule + "\r\n" + std::string(date) + " - v. " + std::string(product) + "  build " +
         std::string(file) + "\r\n\r\n" + std::string(comment_lines);
}

// The entry written during a run that began on `before` and ended on `after` (usually the same
// day).
void ExpectLog(const std::string& log, const std::string& before, const std::string& after,
               std::string_view product, std::string_view file, std::string_view comment_lines,
               std::string_view older = "") {
  std::string with_before = LogEntry(before, product, file, comment_lines) + std::string(older);
  std::string with_after = LogEntry(after, product, file, comment_lines) + std::string(older);
  EXPECT_TRUE(log == with_before || log == with_after) << testing::PrintToString(log);
}

bool OkEnabled(const std::string& screen) { return Contains(screen, "< OK >"); }
bool OkDisabled(const std::string& screen) {
  return !Contains(screen, "< OK >") && Contains(screen, "OK needs both versions and a comment") &&
         Contains(screen, "< Cancel >");
}

TEST(StampwellForm, FirstScreenShowsTheDefaultsAndADisabledOk) {
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  std::string today = Today();
  run.Start();
  // The buttons are drawn last: waiting for them waits for the whole first screen.
  std::string screen = run.WaitFor(OkDisabled);
  EXPECT_TRUE(Contains(screen, "Stampwell")) << screen;
  EXPECT_TRUE(Contains(screen, "Working Directory         " + run.Tree())) << screen;
  EXPECT_TRUE(Contains(screen, "Date and time of changes  " + today) ||
              Contains(screen, "Date and time of changes  " + Today()))
      << screen;
  EXPECT_TRUE(Contains(screen, "Product Version [2.1 ")) << screen;
  EXPECT_TRUE(Contains(screen, "File Version [2.1.7 ")) << screen;
  EXPECT_TRUE(OkDisabled(screen)) << screen;
  run.Keys({"Escape"});
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Out(), "");
  EXPECT_EQ(run.Err(), "");
  run.ExpectTerminalRestored();
  EXPECT_EQ(run.dir().Read("tree/a.rc"), kScript);
  EXPECT_FALSE(fs::exists(run.Tree("Version.txt")));
}

TEST(StampwellForm, OkFollowsTheCommentAndBothVersions) {
  FormRun run;
  run.Start();
  ASSERT_TRUE(OkDisabled(run.WaitFor(OkDisabled))) << run.Screen();
  run.Keys({"Tab", "Tab"});
  run.Type("x");
  EXPECT_TRUE(OkEnabled(run.WaitFor(OkEnabled))) << run.Screen();
  run.Keys({"BSpace"});
  EXPECT_TRUE(OkDisabled(run.WaitFor(OkDisabled))) << run.Screen();
  run.Keys({"Enter"});  // a comment of one line break counts
  EXPECT_TRUE(OkEnabled(run.WaitFor(OkEnabled))) << run.Screen();
  run.Keys({"BTab", "BTab", "BSpace", "BSpace", "BSpace"});
  EXPECT_TRUE(OkDisabled(run.WaitFor(OkDisabled))) << run.Screen();
  run.Type(" ");  // blanks count
  EXPECT_TRUE(OkEnabled(run.WaitFor(OkEnabled))) << run.Screen();
  run.Keys({"C-c"});
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Out(), "");
  run.ExpectTerminalRestored();
}

TEST(StampwellForm, OkWritesTheEntryAndStampsTheTree) {
  FormRun run;
  for (const char* name : {"a.rc", "sub/b.rc", "sub/notes.txt"})
    run.dir().Write(std::string("tree/") + name, kScript);
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type("Fixed the printer setup");
  run.Keys({"Enter", "Enter"});
  run.Type("Second paragraph");
  run.WaitForText("Second paragraph");
  run.Keys({"Tab", "Enter"});
  EXPECT_EQ(run.Finish(), 0);
  std::string after = Today();
  EXPECT_EQ(run.Err(), "");
  EXPECT_EQ(run.Out(), testsupport::ExpectedWalk(run.Tree(), RcLine));
  ExpectLog(run.dir().Read("tree/Version.txt"), before, after, "2.1", "2.1.7",
            "Fixed the printer setup\r\nSecond paragraph\r\n");
  EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 1, 0, 0", "2, 1, 7, 0"));
  EXPECT_EQ(run.dir().Read("tree/sub/b.rc"), Stamped("2, 1, 0, 0", "2, 1, 7, 0"));
  EXPECT_EQ(run.dir().Read("tree/sub/notes.txt"), kScript);
  EXPECT_EQ(Snapshot(run.Tree()).size(), 4u) << "no temporary file may be left";
  run.ExpectTerminalRestored();
}

TEST(StampwellForm, NewEntryStandsAboveTheOldOnes) {
  FormRun run;
  const std::string old_log = kRule + "\r\n01-Jan-2020 - v. 1.0  build 1.0.0\r\n\r\nFirst\r\n";
  run.dir().Write("tree/Version.txt", old_log);
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type("Second");
  run.Keys({"Enter"});
  run.WaitFor(OkEnabled);
  run.Keys({"BTab", "Enter"});  // Enter in the file version confirms
  EXPECT_EQ(run.Finish(), 0);
  ExpectLog(run.dir().Read("tree/Version.txt"), before, Today(), "2.1", "2.1.7", "Second\r\n",
            old_log);
}

TEST(StampwellForm, VersionsEditedInTheFormAreLoggedAndStamped) {
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"BSpace"});
  run.Type("2");
  run.Keys({"Tab", "Home", "DC", "DC", "DC", "DC", "DC", "End"});
  run.Type("3.00.010");
  run.Keys({"Tab"});
  run.Type("c");
  run.WaitFor(OkEnabled);
  run.Keys({"BTab", "BTab", "Enter"});  // Enter in the product version confirms
  EXPECT_EQ(run.Finish(), 0);
  ExpectLog(run.dir().Read("tree/Version.txt"), before, Today(), "2.2", "3.00.010", "c\r\n");
  EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 2, 0, 0", "3, 0, 10, 0"));
}

TEST(StampwellForm, CancelLeavesEveryFileUntouched) {
  const std::vector<std::string> endings[] = {
      {"Escape"},
      {"C-c"},
      {"Tab", "Tab", "Enter"},  // Enter on Cancel
      {"Tab", "Tab", "Space"},
  };
  for (const auto& ending : endings) {
    FormRun run;
    run.dir().Write("tree/a.rc", kScript);
    run.dir().Write("tree/Version.txt", "old\n");
    run.Start();
    run.WaitForText("Text comment");
    run.Keys({"Tab", "Tab"});
    run.Type("never logged");
    run.WaitFor(OkEnabled);
    run.Keys(ending);
    EXPECT_EQ(run.Finish(), 0) << ending[0];
    EXPECT_EQ(run.Out(), "") << ending[0];
    EXPECT_EQ(run.Err(), "") << ending[0];
    EXPECT_EQ(run.dir().Read("tree/a.rc"), kScript) << ending[0];
    EXPECT_EQ(run.dir().Read("tree/Version.txt"), "old\n") << ending[0];
    run.ExpectTerminalRestored();
  }
}

TEST(StampwellForm, InterruptRestoresTheTerminalAndTouchesNothing) {
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type("never logged");
  run.WaitFor(OkEnabled);
  ASSERT_EQ(kill(run.Pid(), SIGINT), 0);
  EXPECT_EQ(run.Finish(), 128 + SIGINT);
  run.ExpectTerminalRestored();
  EXPECT_EQ(run.dir().Read("tree/a.rc"), kScript);
  EXPECT_FALSE(fs::exists(run.Tree("Version.txt")));
}

TEST(StampwellForm, ShowsOnTheTerminalWhileOutputGoesToAPipe) {
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  FormOptions options;
  options.setup = "mkfifo \"$T\"/pipe; cat \"$T\"/pipe > \"$T\"/out.txt & ";
  options.redirect = "< /dev/null > \"$T\"/pipe";
  run.Start(options);
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type("piped");
  run.WaitFor(OkEnabled);
  run.Keys({"Tab", "Enter"});
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Out(), "Resource File '" + run.Tree("a.rc") + "' done\n");
  EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 1, 0, 0", "2, 1, 7, 0"));
}

TEST(StampwellForm, TooSmallATerminalSaysSoUntilItGrows) {
  FormRun run;
  FormOptions options;
  options.cols = 50;
  options.rows = 10;
  run.Start(options);
  std::string screen = run.WaitForText("too small");
  EXPECT_FALSE(Contains(screen, "Product Version")) << screen;
  run.Type("ignored");
  run.Resize(80, 24);
  screen = run.WaitFor(OkDisabled);
  EXPECT_FALSE(Contains(screen, "ignored")) << screen;
  run.Resize(40, 8);
  run.WaitForText("too small");
  run.Keys({"Escape"});
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Out(), "");
  run.ExpectTerminalRestored();
}

TEST(StampwellForm, Utf8CharactersAreEditedWhole) {
  FormRun run;
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type(
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE6\x97\xA5\xE6\x9C\xAC");
  run.Keys({"BSpace", "Left", "Left", "BSpace"});
  run.WaitForText("Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5");
  run.Keys({"Tab", "Enter"});
  EXPECT_EQ(run.Finish(), 0);
  ExpectLog(run.dir().Read("tree/Version.txt"), before, Today(), "2.1", "2.1.7",
            "Gr\xC3\xBC\xC3\x9F \xE6\x97\xA5\r\n");
}

// Latin-1 text as UTF-16 little-endian.
std::string Utf16Le(std::string_view latin1) {
  std::string bytes;
  for (char c : latin1) bytes += {c, '\0'};
  return bytes;
}

// Runs the form on a tree whose log holds `old_log`, confirming the comment "Gr\u00FC\u00DFe",
// and waits for the end; returns the date before and after the run.
std::pair<std::string, std::string> ConfirmGreeting(FormRun& run, const std::string& old_log) {
  run.dir().Write("tree/a.rc", kScript);
  run.dir().Write("tree/Version.txt", old_log);
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type(
      "Gr\xC3\xBC\xC3\x9F"
      "e");
  run.WaitFor(OkEnabled);
  run.Keys({"Tab", "Enter"});
  run.Finish();
  return {before, Today()};
}

TEST(StampwellForm, LogKeepsItsEncodingAndEveryOldCharacter) {
  struct Case {
    const char* name;
    std::string old_log, mark, comment, old_after;
    std::string (*encode)(std::string_view);
  };
  const Case cases[] = {
      {"UTF-16", "\xFF\xFE" + Utf16Le("old \xE9\nline"), "\xFF\xFE",
       "Gr\xFC\xDF"
       "e\r\n",
       Utf16Le("old \xE9\r\nline\r\n"), Utf16Le},
      {"UTF-8 with mark", "\xEF\xBB\xBFold \xC3\xA9\n", "\xEF\xBB\xBF",
       "Gr\xC3\xBC\xC3\x9F"
       "e\r\n",
       "old \xC3\xA9\r\n", [](std::string_view text) { return std::string(text); }},
  };
  for (const Case& c : cases) {
    FormRun run;
    auto [before, after] = ConfirmGreeting(run, c.old_log);
    EXPECT_EQ(run.Finish(), 0) << c.name;
    EXPECT_EQ(run.Err(), "") << c.name;
    std::string log = run.dir().Read("tree/Version.txt");
    EXPECT_TRUE(log ==
                    c.mark + c.encode(LogEntry(before, "2.1", "2.1.7", c.comment)) + c.old_after ||
                log == c.mark + c.encode(LogEntry(after, "2.1", "2.1.7", c.comment)) + c.old_after)
        << c.name << ": " << testing::PrintToString(log);
    EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 1, 0, 0", "2, 1, 7, 0"));
  }
}

TEST(StampwellForm, LogNoEncodingHoldsIsLeftAloneAndTheTreeStillStamped) {
  const std::string log("old\0log\r\n", 9);
  FormRun run;
  ConfirmGreeting(run, log);
  EXPECT_EQ(run.Finish(), 1);
  EXPECT_EQ(run.Out(), "Error creating version.txt file!\n" + RcLine(run.Tree("a.rc")));
  EXPECT_EQ(run.Err(), "Stampwell: left alone '" + run.Tree("Version.txt") +
                           "': holds NUL bytes, not 8-bit text; left untouched\n");
  EXPECT_EQ(run.dir().Read("tree/Version.txt"), log);
  EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 1, 0, 0", "2, 1, 7, 0"));
}

TEST(StampwellForm, VersionAResourceCannotHoldKeepsTheFormOpenAndSaysWhy) {
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "End"});
  run.Type("0000");
  run.Keys({"Tab"});
  run.Type("c");
  run.WaitFor(OkEnabled);
  run.Keys({"Tab", "Enter"});
  std::string screen = run.WaitForText("part 3 is above 65535");
  EXPECT_TRUE(Contains(screen, "File Version [2.1.70000")) << screen;
  run.Keys({"BSpace"});  // the focus is back in the file version
  run.WaitFor([](const std::string& shown) { return !Contains(shown, "above 65535"); });
  run.Keys({"Enter"});
  EXPECT_EQ(run.Finish(), 0);
  EXPECT_EQ(run.Err(), "");
  ExpectLog(run.dir().Read("tree/Version.txt"), before, Today(), "2.1", "2.1.7000", "c\r\n");
  EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 1, 0, 0", "2, 1, 7000, 0"));
}

TEST(StampwellForm, AltKeysAndUnknownSequencesDoNotCancel) {
  FormRun run;
  std::string before = Today();
  run.Start();
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type("keep");
  run.Keys({"M-x"});
  run.Keys({"-H", "1b", "5b", "39", "39", "3b", "35", "7e"});  // Esc [ 9 9 ; 5 ~
  run.Type(" me");
  run.WaitForText("keep me");
  run.Keys({"Tab", "Enter"});
  EXPECT_EQ(run.Finish(), 0);
  ExpectLog(run.dir().Read("tree/Version.txt"), before, Today(), "2.1", "2.1.7", "keep me\r\n");
}

TEST(StampwellForm, ReadOnlyLogIsReportedAndTheTreeStillStamped) {
  SKIP_UNLESS_RUNNABLE_AS_NOBODY(STAMPWELL_BIN);
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  run.dir().Write("tree/Version.txt", "old\r\n");
  ASSERT_EQ(chmod(run.Tree("Version.txt").c_str(), 0444), 0);
  run.dir().GiveTo(65534, 65534);
  FormOptions options;
  options.prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  options.program = testsupport::ReachableCopy(STAMPWELL_BIN);
  run.Start(options);
  run.WaitForText("Text comment");
  run.Keys({"Tab", "Tab"});
  run.Type("c");
  run.WaitFor(OkEnabled);
  run.Keys({"Tab", "Enter"});
  EXPECT_EQ(run.Finish(), 1);
  EXPECT_EQ(run.Out(),
            "Error creating version.txt file!\nResource File '" + run.Tree("a.rc") + "' done\n");
  EXPECT_EQ(run.Err(), "Stampwell: cannot create or open '" + run.Tree("Version.txt") +
                           "': Permission denied\n");
  EXPECT_EQ(run.dir().Read("tree/Version.txt"), "old\r\n");
  EXPECT_EQ(run.dir().Read("tree/a.rc"), Stamped("2, 1, 0, 0", "2, 1, 7, 0"));
}

TEST(StampwellForm, UnreadableWorkingDirectoryStopsBeforeTheForm) {
  FormRun run;
  run.dir().Write("tree/gone/a.rc", kScript);
  FormOptions options;
  options.setup = "cd gone && rm a.rc && rmdir ../gone && ";
  run.Start(options);
  EXPECT_EQ(run.Finish(), 1);
  EXPECT_EQ(run.Out(), "Error reading current directory!\n");
  // The shell that starts the program may complain about the directory too.
  const std::string report =
      "Stampwell: cannot read current directory '.': No such file or directory\n";
  std::string err = run.Err();
  EXPECT_EQ(err.substr(err.size() - std::min(err.size(), report.size())), report) << err;
  EXPECT_EQ(err.find("Stampwell:"), err.size() - report.size()) << err;
  EXPECT_TRUE(fs::is_empty(run.Tree()));
}

TEST(StampwellForm, TerminalThatCannotHoldAFormFailsAndTouchesNothing) {
  FormRun run;
  run.dir().Write("tree/a.rc", kScript);
  FormOptions options;
  options.prefix = "env TERM=dumb";
  run.Start(options);
  EXPECT_EQ(run.Finish(), 1);
  EXPECT_EQ(run.Out(), "");
  EXPECT_EQ(run.Err(),
            "Stampwell: cannot show the version form on '/dev/tty': the terminal type 'dumb' is "
            "unknown or cannot hold a form (run with -s to stamp silently, without the form)\n");
  run.ExpectTerminalRestored();
  EXPECT_EQ(run.dir().Read("tree/a.rc"), kScript);
  EXPECT_FALSE(fs::exists(run.Tree("Version.txt")));
}

}  // namespace
