// SPDX-License-Identifier: GPL-3.0-or-later
// The servers' device worker without a server (the busy refusal, background jobs that give way
// to commands, completions announced and delivered in order, the device's timer served on the
// worker thread), and the values both servers map alike.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "persist/MemorySettingsStore.h"
#include "server/DeviceWorker.h"
#include "server/Mappings.h"

namespace kavri::server {
namespace {

TEST(ServerMappings, PositionsCarryTheShiftAndStayInRange) {
    const FocusRange range{1000, 30000};
    struct Case {
        double client;
        std::optional<int32_t> controller;
    };
    const Case cases[] = {
        {0, -1000},         {30000, 29000},      {1500.4, 500},
        {-1, std::nullopt}, {NAN, std::nullopt}, {INFINITY, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.client);
        std::string reason;
        EXPECT_EQ(AbsoluteTarget(c.client, range, reason), c.controller);
        EXPECT_EQ(reason.empty(), c.controller.has_value());
    }

    std::string reason;
    // The controller holds a signed 16-bit position: a wide range cannot reach past it.
    EXPECT_FALSE(AbsoluteTarget(40000, FocusRange{0, 60000}, reason));
    EXPECT_NE(reason.find("controller"), std::string::npos);
    EXPECT_EQ(RelativeTarget(500, true, 200, range, reason), 300);
    EXPECT_FALSE(RelativeTarget(500, true, 1600, range, reason));  // below 0
    EXPECT_FALSE(RelativeTarget(500, true, 0, range, reason));
}

using namespace std::chrono_literals;

// The event loop of a server: told by the worker that completions are ready, it delivers them.
class Loop {
public:
    DeviceWorker::Notify Notify() {
        return [this] {
            std::lock_guard lock(mutex_);
            ready_ = true;
            wake_.notify_all();
        };
    }
    // Delivers completions as they are announced, until `done` holds (or 10 s pass).
    template <typename Done>
    bool DeliverUntil(DeviceWorker& worker, Done done) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            std::unique_lock lock(mutex_);
            // A timer of the device announces nothing: `done` is looked at again meanwhile.
            if (!wake_.wait_for(lock, 100ms, [this] { return ready_; })) continue;
            ready_ = false;
            lock.unlock();
            worker.Deliver();
        }
        return done();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ready_ = false;
};

TEST(DeviceWorker, CommandsAreRefusedWhileBusyBackgroundJobsGiveWayTimersRunOnTheWorker) {
    MemorySettingsStore store;
    Loop loop;
    DeviceWorker worker(store, loop.Notify());
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
    // A disconnect is never refused: it queues behind the move, and what follows it waits too.
    worker.Queue(
        "disconnecting",
        [](DeviceState&) {
            return JobResult{true, "closed"};
        },
        [&](const JobResult& r, const DeviceSnapshot&) { order.push_back(r.message); });
    EXPECT_FALSE(worker.Submit("a filter change", {}, {}, refusal));
    EXPECT_NE(refusal.find("busy (a focuser move)"), std::string::npos);
    // The poll gives way while a command is in progress.
    EXPECT_FALSE(worker.SubmitBackground([](DeviceState&) { return JobResult{}; }, {}));

    release.set_value();
    ASSERT_TRUE(loop.DeliverUntil(worker, [&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"no answer", "closed"}));
    EXPECT_FALSE(worker.Busy());
    order.clear();
    EXPECT_TRUE(worker.SubmitBackground(
        [](DeviceState&) { return JobResult{}; },
        [&](const JobResult&, const DeviceSnapshot&) { order.push_back("poll"); }));
    EXPECT_FALSE(worker.SubmitBackground([](DeviceState&) { return JobResult{}; }, {}));
    ASSERT_TRUE(loop.DeliverUntil(worker, [&] { return order.size() == 1; }));

    // A background job sees a command waiting; the device's timers run on the worker thread.
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
    ASSERT_TRUE(worker.Submit(
        "a command", [](DeviceState&) { return JobResult{}; },
        [&](const JobResult&, const DeviceSnapshot&) { commandDone = true; }, refusal));
    ASSERT_TRUE(loop.DeliverUntil(worker, [&] { return commandDone; }));
    EXPECT_TRUE(sawCommand);

    const int id = worker.StartTimer(0, 5, [&] { timerThread = std::this_thread::get_id(); });
    ASSERT_NE(id, 0);
    ASSERT_TRUE(loop.DeliverUntil(worker, [&] { return timerThread.load() != std::thread::id{}; }));
    worker.StopTimer(id);
    EXPECT_EQ(timerThread.load(), jobThread);
}

TEST(DeviceWorker, StoppingStillRunsTheCommandsAlreadyAccepted) {
    MemorySettingsStore store;
    std::atomic<bool> queuedRan{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto worker = std::make_unique<DeviceWorker>(store, [] {});
    std::string refusal;
    ASSERT_TRUE(worker->Submit(
        "a focuser move",
        [released](DeviceState&) {
            released.wait();
            return JobResult{};
        },
        {}, refusal));
    worker->Queue("a filter change",
                  [&](DeviceState&) {
                      queuedRan = true;
                      return JobResult{};
                  },
                  {});
    // The stop is asked for while the first command still runs.
    std::thread releaser([&] {
        std::this_thread::sleep_for(100ms);
        release.set_value();
    });
    worker.reset();
    releaser.join();
    EXPECT_TRUE(queuedRan);
}

}  // namespace
}  // namespace kavri::server
