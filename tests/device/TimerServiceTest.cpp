// The two timer services without a UI: the manual one the tests drive, and the loop of the
// command-line tool.
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

TEST(ManualTimerService, AdvanceFiresDueTimersInTimeOrderAndStopsThem) {
    ManualTimerService timers;
    std::vector<std::pair<char, long long>> fired;
    const int slow = timers.StartTimer(15, 5000, [&] { fired.push_back({'s', timers.NowMs()}); });
    int fast = 0;
    fast = timers.StartTimer(15, 2000, [&] {  // a taken identifier is replaced
        fired.push_back({'f', timers.NowMs()});
        if (timers.NowMs() == 4000) timers.StopTimer(fast);  // from inside its own callback
    });
    EXPECT_EQ(slow, 15);
    EXPECT_NE(fast, 0);
    EXPECT_NE(fast, slow);
    EXPECT_EQ(timers.StartTimer(0, 0, [] {}), 0);
    EXPECT_NE(timers.StartTimer(0, 1, [] {}), 0);
    EXPECT_EQ(timers.StartTimer(0, 1000, nullptr), 0);
    timers.Advance(4999);
    EXPECT_EQ(fired, (std::vector<std::pair<char, long long>>{{'f', 2000}, {'f', 4000}}));
    timers.Advance(5001);
    EXPECT_EQ(fired.back(), std::make_pair('s', 10000LL));
    EXPECT_EQ(fired.size(), 4u);
    EXPECT_FALSE(timers.IsRunning(fast));
    timers.StopTimer(12345);  // unknown: ignored
    timers.Tick();
    EXPECT_EQ(fired.back(), std::make_pair('s', 10000LL));
    EXPECT_EQ(fired.size(), 5u);
}

TEST(LoopTimerService, FiresOnScheduleUntilStoppedAndServesTimersStartedMeanwhile) {
    LoopTimerService timers;
    std::vector<Clock::duration> ticks;
    const auto start = Clock::now();
    timers.StartTimer(0, 50, [&] {
        ticks.push_back(Clock::now() - start);
        if (ticks.size() == 3) timers.StartTimer(0, 10, [&] { timers.Stop(); });
    });
    timers.Run();
    ASSERT_EQ(ticks.size(), 3u);
    for (size_t i = 0; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i], 50ms * (i + 1)) << i;  // never early
    EXPECT_LT(Clock::now() - start, 5s);
}

volatile std::sig_atomic_t gInterrupted = 0;
void OnSignal(int) {
    gInterrupted = 1;
}

TEST(LoopTimerService, AStopFromAnotherThreadOrASignalEndsTheWait) {
    LoopTimerService timers;
    bool fired = false;
    timers.StartTimer(0, 60000, [&] { fired = true; });
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        timers.Stop();
    });
    timers.Run();
    stopper.join();
    EXPECT_FALSE(fired);
    timers.Stop();  // a pending stop ends the next Run() at once and is consumed
    timers.Run();

    struct sigaction action {};
    action.sa_handler = OnSignal;
    ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);
    const pthread_t runner = pthread_self();
    std::atomic<bool> done{false};
    // Repeated until the loop ends, so a signal landing just before the wait cannot hang it.
    std::thread signaller([&] {
        while (!done) {
            std::this_thread::sleep_for(30ms);
            pthread_kill(runner, SIGUSR1);
        }
    });
    const auto start = Clock::now();
    timers.Run(&gInterrupted);
    done = true;
    signaller.join();
    EXPECT_EQ(gInterrupted, 1);
    EXPECT_FALSE(fired);
    EXPECT_LT(Clock::now() - start, 10s);
}

}  // namespace
}  // namespace kavri
