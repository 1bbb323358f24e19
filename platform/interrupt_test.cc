#include "platform/interrupt.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A shielded pair of steps on one thread while another thread takes the interruption: the
// process ends by the signal only after the second step.
void InterruptedBetweenShieldedSteps(bool shielded) {
  signal(SIGTERM, SIG_DFL);  // as from a terminal, whatever the test runner ignores
  platform::InstallInterruptHandlers();
  std::thread steps([shielded] {
    platform::BlockInterruptsInThisThread();
    std::optional<platform::InterruptShield> shield;
    if (shielded) shield.emplace();
    std::fprintf(stderr, "first step\n");
    kill(getpid(), SIGTERM);
    std::this_thread::sleep_for(300ms);
    std::fprintf(stderr, "second step\n");
  });
  steps.join();
  std::this_thread::sleep_for(2s);
  std::exit(0);
}

TEST(InterruptShieldDeathTest, InterruptionWaitsForTheShieldedStepsOfAnotherThread) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(InterruptedBetweenShieldedSteps(true), testing::KilledBySignal(SIGTERM),
              "^first step\nsecond step\n$");
  EXPECT_EXIT(InterruptedBetweenShieldedSteps(false), testing::KilledBySignal(SIGTERM),
              "^first step\n$");
}

TEST(InterruptShield, KeepsTheThreadsSignalMask) {
  sigset_t before, inside, after;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  {
    platform::InterruptShield shield;
    pthread_sigmask(SIG_SETMASK, nullptr, &inside);
    EXPECT_TRUE(sigismember(&inside, SIGINT));
    EXPECT_TRUE(sigismember(&inside, SIGTERM));
  }
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    EXPECT_EQ(sigismember(&after, sig), sigismember(&before, sig)) << sig;
  }
}

}  // namespace
