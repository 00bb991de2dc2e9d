// The two timer services without a UI: the manual one the tests drive, and the loop of the
// command-line tool (whose interrupt the command-line tests send).
#include <gtest/gtest.h>

#include <chrono>
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
    EXPECT_NE(fast, slow);
    EXPECT_EQ(timers.StartTimer(0, 0, [] {}), 0);
    EXPECT_EQ(timers.StartTimer(0, 1000, nullptr), 0);
    EXPECT_NE(timers.StartTimer(0, 1, [] {}), 0);
    timers.Advance(4999);
    EXPECT_EQ(fired, (std::vector<std::pair<char, long long>>{{'f', 2000}, {'f', 4000}}));
    timers.Advance(5001);
    timers.Tick();  // every running timer once more, the clock standing still
    EXPECT_EQ(fired, (std::vector<std::pair<char, long long>>{
                         {'f', 2000}, {'f', 4000}, {'s', 5000}, {'s', 10000}, {'s', 10000}}));
}

TEST(LoopTimerService, FiresOnScheduleUntilStoppedFromACallbackOrAnotherThread) {
    LoopTimerService timers;
    std::vector<Clock::duration> ticks;
    const auto start = Clock::now();
    timers.StartTimer(0, 50, [&] {
        ticks.push_back(Clock::now() - start);
        if (ticks.size() == 3) timers.StartTimer(0, 10, [&] { timers.Stop(); });
    });
    timers.Run();
    ASSERT_EQ(ticks.size(), 3u);
    for (size_t i = 0; i < ticks.size(); ++i) EXPECT_GE(ticks[i], 50ms * (i + 1)) << "early";
    EXPECT_LT(Clock::now() - start, 5s);

    bool fired = false;
    LoopTimerService waiting;
    waiting.StartTimer(0, 60000, [&] { fired = true; });
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        waiting.Stop();
    });
    waiting.Run();
    stopper.join();
    waiting.Stop();  // a pending stop ends the next Run() at once and is consumed
    waiting.Run();
    EXPECT_FALSE(fired);
}

}  // namespace
}  // namespace kavri
