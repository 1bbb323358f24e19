#include "common/parallel_work.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/interrupt.h"

namespace {

using namespace std::chrono_literals;

// Keeps everything reported, in the order it arrives, marking failures.
class CTranscript : public CReporter {
 public:
  CTranscript() : CReporter("Tool") {}
  void Print(std::string_view text) override { m_text.append(text); }
  void FailLine(std::string_view line) override {
    MarkFailed();
    m_text.append("!").append(line);
  }
  std::string m_text;
};

class ParallelWorkTest : public testing::TestWithParam<unsigned> {};

INSTANTIATE_TEST_SUITE_P(Workers, ParallelWorkTest, testing::Values(0u, 1u, 4u, 8u));

TEST_P(ParallelWorkTest, ReportsInQueuingOrderWhateverOrderPiecesFinishIn) {
  CTranscript out;
  std::string expected;
  {
    CParallelWork work(out, GetParam());
    for (int i = 0; i < 600; ++i) {
      std::string n = std::to_string(i);
      if (i % 7 == 0) {
        work.Print("dir " + n + "\n");
        expected += "dir " + n + "\n";
      }
      // Early pieces take longest, so with workers they finish out of order.
      work.Queue([n, i](CReporter& piece_out) {
        if (i < 40) std::this_thread::sleep_for(std::chrono::microseconds(40 - i) * 50);
        piece_out.Print("file " + n + "\n");
        if (i % 5 == 0) piece_out.Fail("cannot do", n, "why");
        piece_out.Print("after " + n + "\n");
      });
      expected += "file " + n + "\n";
      if (i % 5 == 0) expected += "!Tool: cannot do '" + n + "': why\n";
      expected += "after " + n + "\n";
    }
    work.Fail("cannot list", "end", "gone");
    expected += "!Tool: cannot list 'end': gone\n";
    work.Finish();
  }
  EXPECT_EQ(out.m_text, expected);
  EXPECT_TRUE(out.Failed());
}

TEST_P(ParallelWorkTest, QuietPiecesLeaveTheRunSuccessful) {
  CTranscript out;
  CParallelWork work(out, GetParam());
  for (int i = 0; i < 50; ++i) work.Queue([](CReporter& piece_out) { piece_out.Print("x"); });
  work.Finish();
  EXPECT_EQ(out.m_text, std::string(50, 'x'));
  EXPECT_FALSE(out.Failed());
}

TEST(ParallelWork, PiecesRunAtTheSameTimeOnTheWorkers) {
  // Four pieces that each wait until all four have started: done one at a time, none would
  // ever see the others.
  CTranscript out;
  std::mutex mutex;
  std::condition_variable all_started;
  int started = 0;
  std::atomic<int> met{0};
  {
    CParallelWork work(out, 4);
    for (int i = 0; i < 4; ++i) {
      work.Queue([&](CReporter&) {
        std::unique_lock lock(mutex);
        ++started;
        all_started.notify_all();
        if (all_started.wait_for(lock, 30s, [&] { return started == 4; })) ++met;
      });
    }
  }
  EXPECT_EQ(met, 4);
}

TEST(ParallelWork, NoWorkersRunsEachPieceAtOnceOnTheCaller) {
  CTranscript out;
  CParallelWork work(out, 0);
  std::thread::id ran_on;
  work.Queue([&](CReporter& piece_out) {
    ran_on = std::this_thread::get_id();
    piece_out.Print("now");
  });
  EXPECT_EQ(out.m_text, "now");
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

// The first interruption lets the piece in flight finish and be reported; the process then
// ends by that signal.
void InterruptDuringAPiece() {
  signal(SIGINT, SIG_DFL);  // as from a terminal, even when the tests run in the background
  platform::InstallInterruptHandlers();
  CReporter out("Tool");
  CParallelWork work(out, 2);
  work.Print("before\n");
  work.Queue([](CReporter& piece_out) {
    kill(getpid(), SIGINT);
    std::this_thread::sleep_for(100ms);
    piece_out.Fail("finished", "piece", "after the interruption");
  });
  std::this_thread::sleep_for(1s);
  work.Finish();
  std::fprintf(stderr, "not ended\n");
  std::exit(0);
}

// A second interruption does not wait for the piece.
void InterruptTwice() {
  platform::InstallInterruptHandlers();
  CReporter out("Tool");
  CParallelWork work(out, 2);
  work.Queue([](CReporter& piece_out) {
    kill(getpid(), SIGTERM);
    std::this_thread::sleep_for(100ms);
    kill(getpid(), SIGTERM);
    std::this_thread::sleep_for(2s);
    piece_out.Fail("finished", "piece", "after the interruption");
  });
  work.Finish();
  std::exit(0);
}

TEST(ParallelWorkDeathTest, InterruptionWaitsForThePieceInFlightThenEndsByTheSignal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(InterruptDuringAPiece(), testing::KilledBySignal(SIGINT),
              "^Tool: finished 'piece': after the interruption\n$");
}

TEST(ParallelWorkDeathTest, SecondInterruptionEndsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(InterruptTwice(), testing::KilledBySignal(SIGTERM), "^$");
}

}  // namespace
