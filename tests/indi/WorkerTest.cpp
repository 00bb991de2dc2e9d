// The worker thread that owns the device: the busy refusal, background jobs that give way to
// commands, completions delivered through its pipe in order, and the device's timer served on
// the worker thread.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <future>
#include <thread>

#include "indi/DeviceWorker.h"
#include "persist/MemorySettingsStore.h"

namespace kavri::indi {
namespace {

using namespace std::chrono_literals;

// Delivers completions as the event loop does, until `done` holds (or 10 s pass).
template <typename Done>
bool DeliverUntil(DeviceWorker& worker, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        pollfd p{worker.WakeFd(), POLLIN, 0};
        if (poll(&p, 1, 100) > 0) worker.Deliver();
    }
    return done();
}

TEST(IndiWorker, ASecondCommandIsRefusedUntilTheFirstIsDelivered) {
    MemorySettingsStore store;
    DeviceWorker worker(store);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::string> order;
    std::string refusal;

    ASSERT_TRUE(worker.Submit(
        "a focuser move",
        [released](DeviceState&) {
            released.wait();
            return JobResult{false, "no answer"};
        },
        [&](const JobResult& r, const DeviceSnapshot& s) {
            order.push_back(r.message + (s.connected ? " connected" : ""));
        },
        refusal));
    EXPECT_TRUE(worker.Busy());
    EXPECT_FALSE(worker.Submit("a filter change", {}, {}, refusal));
    EXPECT_NE(refusal.find("busy (a focuser move)"), std::string::npos);
    // The poll gives way while a command is in progress.
    EXPECT_FALSE(worker.SubmitBackground([](DeviceState&) { return JobResult{}; }, {}));

    release.set_value();
    ASSERT_TRUE(DeliverUntil(worker, [&] { return !order.empty(); }));
    EXPECT_EQ(order, std::vector<std::string>{"no answer"});
    EXPECT_FALSE(worker.Busy());
    EXPECT_TRUE(worker.SubmitBackground(
        [](DeviceState&) { return JobResult{}; },
        [&](const JobResult&, const DeviceSnapshot&) { order.push_back("poll"); }));
    EXPECT_FALSE(worker.SubmitBackground([](DeviceState&) { return JobResult{}; }, {}));
    ASSERT_TRUE(DeliverUntil(worker, [&] { return order.size() == 2; }));
}

TEST(IndiWorker, ABackgroundJobSeesAWaitingCommandAndTimersRunOnTheWorkerThread) {
    MemorySettingsStore store;
    DeviceWorker worker(store);
    std::promise<void> started;
    std::atomic<bool> sawCommand{false};
    std::atomic<std::thread::id> timerThread{};
    std::thread::id jobThread;

    worker.SubmitBackground(
        [&](DeviceState&) {
            jobThread = std::this_thread::get_id();
            started.set_value();
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (!worker.CommandWaiting() && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(1ms);
            }
            sawCommand = worker.CommandWaiting();
            return JobResult{};
        },
        {});
    started.get_future().wait();
    bool commandDone = false;
    std::string refusal;
    ASSERT_TRUE(worker.Submit(
        "a command", [](DeviceState&) { return JobResult{}; },
        [&](const JobResult&, const DeviceSnapshot&) { commandDone = true; }, refusal));
    ASSERT_TRUE(DeliverUntil(worker, [&] { return commandDone; }));
    EXPECT_TRUE(sawCommand);

    const int id = worker.StartTimer(0, 5, [&] { timerThread = std::this_thread::get_id(); });
    ASSERT_NE(id, 0);
    ASSERT_TRUE(DeliverUntil(worker, [&] { return timerThread.load() != std::thread::id{}; }));
    worker.StopTimer(id);
    EXPECT_EQ(timerThread.load(), jobThread);
}

}  // namespace
}  // namespace kavri::indi
