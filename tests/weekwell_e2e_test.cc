// Weekwell run as a user runs it, at chosen moments under a stopped fake clock, and checked
// against what `date` prints for the same moment in the same zone.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace {

using namespace std::chrono;
using testsupport::ChildProcess;
using testsupport::RunOptions;
using testsupport::RunResult;

// Two whole years, the first a leap year.
constexpr year_month_day kFirstDay{year{2024}, January, day{1}};
constexpr year_month_day kLastDay{year{2025}, December, day{31}};
// Children run side by side, so that starting them overlaps.
constexpr size_t kParallelRuns = 6;

// A sanitizer build looks for memory and undefined-behaviour faults, which do not depend on the
// date, and each of its runs costs several times more: it sweeps every fifth day, which still
// meets every weekday at every time of day, and keeps every moment around the clock changes.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDayStride = 5;
#else
constexpr int kDayStride = 1;
#endif

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Selects a zone in this process while it lives, to find the zone's clock changes.
class ZoneScope {
 public:
  explicit ZoneScope(const std::string& zone) {
    const char* previous = std::getenv("TZ");
    had_zone_ = previous != nullptr;
    if (had_zone_) previous_ = previous;
    setenv("TZ", zone.c_str(), 1);
    tzset();
  }
  ~ZoneScope() {
    if (had_zone_) {
      setenv("TZ", previous_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_zone_ = false;
  std::string previous_;
};

// The local wall-clock reading of `moment`, written as if it were a UTC time.
sys_seconds LocalWall(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  year_month_day date{year{local.tm_year + 1900}, month{unsigned(local.tm_mon + 1)},
                      day{unsigned(local.tm_mday)}};
  return sys_days{date} + hours{local.tm_hour} + minutes{local.tm_min} + seconds{local.tm_sec};
}

std::time_t ToTime(sys_seconds t) { return system_clock::to_time_t(t); }

seconds OffsetAt(std::time_t moment) { return LocalWall(moment) - sys_seconds{seconds{moment}}; }

// The zone's offsets from UTC and the first moment of every change between them.
struct ClockChanges {
  std::set<long long> offsets;
  std::vector<std::time_t> changes;
};

std::time_t FirstMomentWithNewOffset(std::time_t before, std::time_t after) {
  seconds old_offset = OffsetAt(before);
  while (after - before > 1) {
    std::time_t middle = before + (after - before) / 2;
    (OffsetAt(middle) == old_offset ? before : after) = middle;
  }
  return after;
}

ClockChanges FindClockChanges(sys_seconds from, sys_seconds to) {
  ClockChanges found;
  for (std::time_t t = ToTime(from); t < ToTime(to); t += 3600) {
    found.offsets.insert(OffsetAt(t).count());
    if (OffsetAt(t) != OffsetAt(t + 3600)) {
      found.changes.push_back(FirstMomentWithNewOffset(t, t + 3600));
    }
  }
  return found;
}

// Every moment whose local reading is `wall`: none where the clock skips it, two where it
// repeats it.
std::vector<std::time_t> MomentsAt(sys_seconds wall, const std::set<long long>& offsets) {
  std::vector<std::time_t> moments;
  for (long long offset : offsets) {
    std::time_t candidate = ToTime(wall - seconds{offset});
    if (LocalWall(candidate) == wall) moments.push_back(candidate);
  }
  return moments;
}

const seconds kDayEdges[] = {0s, 30min, 23h + 59min + 59s};
const seconds kTimesOfDay[] = {12h, 0s, 30min, 23h + 59min + 59s};

void InsertEveryInstance(sys_seconds wall, const std::set<long long>& offsets,
                         std::set<std::time_t>* moments) {
  for (std::time_t at : MomentsAt(wall, offsets)) moments->insert(at);
}

// Each day of the years (see kDayStride) at one time of day, in turn noon, 00:00:00, 00:30:00
// and 23:59:59 (or noon where the clock skips that time); and around each clock change, the
// last moment before it, the first after it, and every instance of the edge times of the days
// from the day before the change to the day after.
std::vector<std::time_t> ChosenMoments(const std::string& zone) {
  ZoneScope scope(zone);
  sys_days first{kFirstDay}, last{kLastDay};
  ClockChanges clock = FindClockChanges(first - days{2}, last + days{2});
  std::set<std::time_t> moments;
  for (sys_days day = first; day <= last; day += days{kDayStride}) {
    seconds time = kTimesOfDay[(day - first).count() % std::size(kTimesOfDay)];
    std::vector<std::time_t> at = MomentsAt(day + time, clock.offsets);
    if (at.empty()) at = MomentsAt(day + 12h, clock.offsets);
    moments.insert(at.begin(), at.end());
  }
  for (std::time_t change : clock.changes) {
    moments.insert({change - 1, change});
    sys_days before = floor<days>(LocalWall(change - 1)), after = floor<days>(LocalWall(change));
    for (sys_days day = before - days{1}; day <= after + days{1}; day += days{1}) {
      for (seconds time : kDayEdges) InsertEveryInstance(day + time, clock.offsets, &moments);
    }
  }
  return {moments.begin(), moments.end()};
}

// Removes the shared memory and semaphores that faked runs which ended without the library's
// clean-up left behind in /dev/shm. They are named by process ID, and the wrapper cannot start
// under an ID whose leftovers are still there; runs in a row leave whole ranges of IDs taken.
void RemoveFakeClockLeftovers() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
    std::string name = entry.path().filename().string();
    for (const char* prefix : {"faketime_shm_", "sem.faketime_sem_"}) {
      if (!name.starts_with(prefix)) continue;
      pid_t pid = std::atoi(name.c_str() + std::string_view(prefix).size());
      if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
        std::filesystem::remove(entry.path(), ignored);
      }
    }
  }
}

// What the faketime wrapper preloads to fake the clock, asked of the wrapper itself; running
// the tool with it directly spares a process and the wrapper's shared memory per run.
std::string AskFakeClockLibrary() {
  std::string faketime = FindOnPath("faketime");
  if (faketime.empty()) return "";
  RemoveFakeClockLeftovers();
  RunOptions options;
  options.env = {"FAKETIME_FMT=%s"};
  // Another test's faked run may leave its leftovers meanwhile: each try runs under another ID.
  for (int attempt = 0; attempt < 20; ++attempt) {
    RunResult result =
        testsupport::Run(faketime, {"-f", "0", FindOnPath("printenv"), "LD_PRELOAD"}, options);
    if (result.exit_code == 0 && !result.out.empty()) {
      return result.out.substr(0, result.out.find('\n'));
    }
  }
  return "";
}

// The library, asked once; empty when the faketime package is missing.
const std::string& FakeClockLibrary() {
  static const std::string library = AskFakeClockLibrary();
  return library;
}

// Whether a sanitizer build looks for leaks when Weekwell ends. That search costs more than the
// rest of such a run, and what Weekwell allocates does not depend on the date, so the long
// sweeps leave it to the runs that check the arguments.
enum class LeakCheck { kOn, kOff };

// The environment that stops Weekwell's clock at `moment` in `zone`.
std::vector<std::string> FakeClockEnv(const std::string& zone, std::time_t moment,
                                      LeakCheck leaks) {
  // In a sanitizer build the preloaded library comes before the sanitizer's runtime, which
  // refuses to start that way unless told the order is fine.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::string asan_options =
      std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
  if (leaks == LeakCheck::kOff) asan_options += ":detect_leaks=0";
  return {"LD_PRELOAD=" + FakeClockLibrary(), "FAKETIME_FMT=%s",
          "FAKETIME=" + std::to_string(moment), "TZ=" + zone, asan_options};
}

// What a run printed; a run that fails or writes to standard error reports that instead.
std::string LineOf(const RunResult& result) {
  std::string line = result.out;
  if (result.exit_code != 0 || !result.err.empty()) {
    line += "[exit " + std::to_string(result.exit_code) + ", stderr: " + result.err + "]";
  }
  return line;
}

// Runs Weekwell at each moment, with the clock stopped there, and returns what it printed;
// a run that fails or writes to standard error reports that instead.
std::vector<std::string> WeekwellLinesAt(const std::string& zone,
                                         const std::vector<std::time_t>& moments,
                                         const std::vector<std::string>& args, LeakCheck leaks) {
  std::vector<std::string> lines(moments.size());
  std::deque<std::pair<size_t, std::unique_ptr<ChildProcess>>> running;
  auto finish_oldest = [&] {
    lines[running.front().first] = LineOf(running.front().second->Wait());
    running.pop_front();
  };
  for (size_t i = 0; i < moments.size(); ++i) {
    if (running.size() == kParallelRuns) finish_oldest();
    RunOptions options;
    options.env = FakeClockEnv(zone, moments[i], leaks);
    running.emplace_back(i, std::make_unique<ChildProcess>(WEEKWELL_BIN, args, options));
  }
  while (!running.empty()) finish_oldest();
  if (testsupport::IsWindowsProgram(WEEKWELL_BIN)) {
    // Now and then Wine fails to start a program whose clock is stopped, without a word: such
    // a run is tried once more.
    for (size_t i = 0; i < moments.size(); ++i) {
      if (lines[i] != "[exit 1, stderr: ]") continue;
      RunOptions options;
      options.env = FakeClockEnv(zone, moments[i], leaks);
      lines[i] = LineOf(testsupport::Run(WEEKWELL_BIN, args, options));
    }
  }
  return lines;
}

// The lines Weekwell should print at each moment, from one `date` run that reads the moments
// from its standard input: the date text as `date` formats it, and `date`'s week number of
// the year with Sunday as the first day of the week, read as a number.
std::vector<std::string> DateLinesAt(const std::string& zone,
                                     const std::vector<std::time_t>& moments) {
  RunOptions options;
  options.env = {"TZ=" + zone, "LC_ALL=C"};
  for (std::time_t moment : moments) options.stdin_data += "@" + std::to_string(moment) + "\n";
  RunResult result = testsupport::Run(FindOnPath("date"), {"-f", "-", "+%d %B %Y|%U"}, options);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  std::vector<std::string> lines;
  std::istringstream out(result.out);
  for (std::string line; std::getline(out, line);) {
    size_t bar = line.find('|');
    lines.push_back("Today is '" + line.substr(0, bar) + "' Week # " +
                    std::to_string(std::stoi(line.substr(bar + 1))) + "\n");
  }
  return lines;
}

std::string LocalStamp(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
  return std::to_string(moment) + " (" + text + ")";
}

class WeekwellInZone : public testing::TestWithParam<const char*> {};

TEST_P(WeekwellInZone, PrintsWhatDatePrintsOnEveryDayAndAroundEveryClockChange) {
  ASSERT_NE(FakeClockLibrary(), "") << "the faketime package is needed";
  const std::string zone = GetParam();
  std::vector<std::time_t> moments = ChosenMoments(zone);
  if (testsupport::IsWindowsProgram(WEEKWELL_BIN)) {
    // Every start under Wine takes a good part of a second: every sixth moment is checked.
    std::vector<std::time_t> sample;
    for (size_t i = 0; i < moments.size(); i += 6) sample.push_back(moments[i]);
    moments = sample;
  }
  std::vector<std::string> expected = DateLinesAt(zone, moments);
  ASSERT_EQ(expected.size(), moments.size());
  std::vector<std::string> printed = WeekwellLinesAt(zone, moments, {}, LeakCheck::kOff);
  ZoneScope scope(zone);
  int mismatches = 0;
  for (size_t i = 0; i < moments.size(); ++i) {
    if (printed[i] == expected[i]) continue;
    if (++mismatches <= 10) {
      ADD_FAILURE() << zone << " at " << LocalStamp(moments[i]) << "\n  printed:  " << printed[i]
                    << "  expected: " << expected[i];
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << moments.size() << " moments";
}

INSTANTIATE_TEST_SUITE_P(Zones, WeekwellInZone,
                         testing::Values("UTC", "America/New_York", "Europe/London",
                                         "Australia/Sydney", "America/Santiago", "Asia/Kolkata"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(Weekwell, LineThatCannotBeWrittenFailsTheRun) {
  SKIP_FOR_WINDOWS_PROGRAM(WEEKWELL_BIN, "Wine gives a closed or full output its own handles");
  const std::vector<std::pair<std::string, std::string>> outputs = {
      {">&-", "Bad file descriptor"}, {">/dev/full", "No space left on device"}};
  for (const auto& [redirect, reason] : outputs) {
    RunResult result =
        testsupport::Run("/bin/sh", testsupport::ShellArgs(":", WEEKWELL_BIN, {}, redirect), {});
    EXPECT_EQ(result.err, "Weekwell: cannot write standard output: " + reason + "\n");
    EXPECT_EQ(result.exit_code, 1) << redirect;
  }
}

TEST(Weekwell, IgnoresItsArguments) {
  ASSERT_NE(FakeClockLibrary(), "") << "the faketime package is needed";
  // Monday, 7 December 2026 at noon.
  const std::vector<std::time_t> noon = {1796644800};
  const std::string line = "Today is '07 December 2026' Week # 49\n";
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"-?"}, {"-h", "-help"}, {"extra", "words", ""}}) {
    EXPECT_EQ(WeekwellLinesAt("UTC", noon, args, LeakCheck::kOn), std::vector<std::string>{line})
        << testing::PrintToString(args);
  }
}

}  // namespace
