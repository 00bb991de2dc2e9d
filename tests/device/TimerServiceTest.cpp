#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include "device/LoopTimerService.h"
#include "device/ManualTimerService.h"

namespace kavri {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(ManualTimerServiceTest, AdvanceFiresDueTimersInTimeOrder) {
    ManualTimerService timers;
    std::vector<std::pair<char, long long>> fired;
    const int slow = timers.StartTimer(15, 5000, [&] { fired.push_back({'s', timers.NowMs()}); });
    const int fast = timers.StartTimer(0, 2000, [&] { fired.push_back({'f', timers.NowMs()}); });
    EXPECT_EQ(slow, 15);  // a free requested identifier is kept
    EXPECT_NE(fast, 0);
    EXPECT_NE(fast, slow);

    timers.Advance(4999);
    EXPECT_EQ(fired, (std::vector<std::pair<char, long long>>{{'f', 2000}, {'f', 4000}}));
    timers.Advance(1);
    EXPECT_EQ(fired.back(), std::make_pair('s', 5000LL));
    timers.Advance(5000);  // 6000 f, 8000 f, 10000 f and s
    EXPECT_EQ(fired.size(), 7u);
    EXPECT_EQ(timers.NowMs(), 10000);
}

TEST(ManualTimerServiceTest, StopAndIdentifiers) {
    ManualTimerService timers;
    int count = 0;
    const int first = timers.StartTimer(15, 5000, [&] { ++count; });
    // A taken identifier, a zero interval and an empty callback.
    const int second = timers.StartTimer(15, 1000, [&] { ++count; });
    EXPECT_NE(second, first);
    EXPECT_EQ(timers.StartTimer(0, 0, [] {}), 0);
    EXPECT_EQ(timers.StartTimer(0, 1000, nullptr), 0);
    EXPECT_EQ(timers.IntervalOf(first), 5000);

    timers.Tick();
    EXPECT_EQ(count, 2);
    timers.StopTimer(second);
    timers.StopTimer(12345);  // unknown: ignored
    EXPECT_FALSE(timers.IsRunning(second));
    EXPECT_EQ(timers.RunningCount(), 1);
    timers.Advance(10000);
    EXPECT_EQ(count, 4);
}

TEST(ManualTimerServiceTest, CallbackMayStopItsOwnTimer) {
    ManualTimerService timers;
    int count = 0;
    int id = 0;
    id = timers.StartTimer(0, 100, [&] {
        ++count;
        timers.StopTimer(id);
    });
    timers.Advance(1000);
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(timers.IsRunning(id));
}

TEST(LoopTimerServiceTest, FiresOnScheduleUntilStoppedFromCallback) {
    LoopTimerService timers;
    std::vector<Clock::duration> ticks;
    const auto start = Clock::now();
    timers.StartTimer(0, 50, [&] {
        ticks.push_back(Clock::now() - start);
        if (ticks.size() == 4) timers.Stop();
    });
    timers.Run();
    ASSERT_EQ(ticks.size(), 4u);
    // Never early; a loaded machine may make it late.
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i], std::chrono::milliseconds(50 * (i + 1))) << i;
    }
    EXPECT_LT(ticks.back(), 5s);
}

TEST(LoopTimerServiceTest, StopFromAnotherThreadWakesTheWait) {
    LoopTimerService timers;
    bool fired = false;
    timers.StartTimer(0, 60000, [&] { fired = true; });
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        timers.Stop();
    });
    const auto start = Clock::now();
    timers.Run();
    stopper.join();
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_FALSE(fired);

    // The stop was consumed: a pending Stop() ends the next Run() at once, without firing.
    timers.Stop();
    timers.Run();
    EXPECT_FALSE(fired);
}

volatile std::sig_atomic_t gInterrupted = 0;
void OnSignal(int) {
    gInterrupted = 1;
}

TEST(LoopTimerServiceTest, SignalFlagEndsTheWait) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);

    LoopTimerService timers;
    const pthread_t runner = pthread_self();
    std::atomic<bool> done{false};
    // Repeats the signal until the loop has ended, so a signal that lands just before the
    // wait starts cannot leave the test hanging.
    std::thread signaller([&] {
        std::this_thread::sleep_for(50ms);
        while (!done) {
            pthread_kill(runner, SIGUSR1);
            std::this_thread::sleep_for(20ms);
        }
    });
    const auto start = Clock::now();
    timers.Run(&gInterrupted);  // no timers at all: only the signal can end it
    done = true;
    signaller.join();
    EXPECT_EQ(gInterrupted, 1);
    EXPECT_LT(Clock::now() - start, 10s);
}

TEST(LoopTimerServiceTest, TimerStartedFromCallbackIsServed) {
    LoopTimerService timers;
    int later = 0;
    timers.StartTimer(0, 10, [&] {
        if (timers.RunningCount() == 1) {
            timers.StartTimer(0, 10, [&] {
                ++later;
                timers.Stop();
            });
        }
    });
    timers.Run();
    EXPECT_EQ(later, 1);
}

}  // namespace
}  // namespace kavri
