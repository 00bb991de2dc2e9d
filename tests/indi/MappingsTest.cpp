// The driver's parts without indiserver: the value mappings, the property values, and the
// worker thread that owns the device (the busy refusal, background jobs that give way to
// commands, completions delivered through its pipe in order, the device's timer served on the
// worker thread).
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <cmath>
#include <future>
#include <thread>

#include "indi/DeviceWorker.h"
#include "indi/Mappings.h"
#include "indi/PropertyValues.h"
#include "persist/MemorySettingsStore.h"

namespace kavri::indi {
namespace {

TEST(IndiMappings, PortTexts) {
    struct Case {
        const char* text;
        bool valid;
        int number;
        const char* path;
    };
    const Case cases[] = {
        {"auto", true, 0, ""},     {" AUTO ", true, 0, ""}, {"COM3", true, 3, ""},
        {"com16", true, 16, ""},   {"3", true, 3, ""},      {"/dev/pts/4", true, 0, "/dev/pts/4"},
        {"COM0", false, 0, ""},    {"17", false, 0, ""},    {"COM", false, 0, ""},
        {"ttyUSB0", false, 0, ""}, {"", false, 0, ""},      {"3x", false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto choice = ParsePortText(c.text);
        ASSERT_EQ(choice.has_value(), c.valid);
        if (!choice) continue;
        EXPECT_EQ(choice->number, c.number);
        EXPECT_EQ(choice->devicePath, c.path);
    }
    EXPECT_EQ(PortText(0), "auto");
    EXPECT_EQ(PortText(7), "COM7");
    EXPECT_EQ(PortText(99), "auto");
}

TEST(IndiMappings, PositionsCarryTheShiftAndStayInRange) {
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

TEST(IndiMappings, SlotsAndCompensation) {
    EXPECT_EQ(SlotOfIndex(-1), 0);
    EXPECT_FALSE(IndexOfSlot(0, 5));

    for (int selector = -1; selector <= 3; ++selector) {
        SCOPED_TRACE(selector);
        EXPECT_EQ(SelectorOfCompensationChoice(CompensationChoiceOfSelector(selector)), selector);
    }
    EXPECT_STREQ(CompensationElement(CompensationChoiceOfSelector(9)), "COMPENSATION_OFF");
}

TEST(IndiPropertyValues, RequestsBecomeConfigurationChangesWithinTheirRanges) {
    DeviceSnapshot snapshot;
    snapshot.config.focuserSpeed = 100;
    snapshot.config.wheelStepMode = 2;
    snapshot.config.focuserStepMicrosteps = 4;
    snapshot.largestDivisor = 16;
    struct Case {
        Request request;
        bool valid;
    };
    const Case cases[] = {
        {{prop::kSpeed, {"FOCUS_SPEED_VALUE"}, {250}, {}, {}}, true},
        {{prop::kSpeed, {"FOCUS_SPEED_VALUE"}, {5}, {}, {}}, false},
        {{prop::kBacklashSteps, {"FOCUS_BACKLASH_VALUE"}, {1001}, {}, {}}, false},
        {{prop::kWheelSettings, {"FILTER_COUNT"}, {7}, {}, {}}, true},
        {{prop::kWheelSettings, {"FILTER_COUNT"}, {11}, {}, {}}, false},
        {{prop::kWheelOptions, {"HALF_STEP"}, {}, {true}, {}}, true},
        {{prop::kStepSize, {"STEP_16"}, {}, {true}, {}}, true},
        {{prop::kStepSize, {"STEP_3"}, {}, {true}, {}}, false},
        {{prop::kDriverSettings, {"POSITION_SHIFT"}, {5}, {}, {}}, false},  // not in the image
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.property + " " + c.request.names[0]);
        std::string reason;
        const auto change = ConfigChangeFor(c.request, snapshot, reason);
        ASSERT_EQ(change.has_value(), c.valid) << reason;
        EXPECT_EQ(reason.empty(), c.valid);
    }

    std::string reason;
    ControllerConfig config = snapshot.config;
    (*ConfigChangeFor(cases[5].request, snapshot, reason))(config);
    EXPECT_EQ(config.wheelStepMode, 1);
    (*ConfigChangeFor(cases[6].request, snapshot, reason))(config);
    EXPECT_EQ(config.focuserStepMicrosteps, 1);  // 1/16 of the largest divisor 16
}

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
    // A disconnect is never refused: it queues behind the move, and what follows it waits too.
    worker.Queue(
        "disconnecting", [](DeviceState&) { return JobResult{true, "closed"}; },
        [&](const JobResult& r, const DeviceSnapshot&) { order.push_back(r.message); });
    EXPECT_FALSE(worker.Submit("a filter change", {}, {}, refusal));
    EXPECT_NE(refusal.find("busy (a focuser move)"), std::string::npos);
    // The poll gives way while a command is in progress.
    EXPECT_FALSE(worker.SubmitBackground([](DeviceState&) { return JobResult{}; }, {}));

    release.set_value();
    ASSERT_TRUE(DeliverUntil(worker, [&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"no answer", "closed"}));
    EXPECT_FALSE(worker.Busy());
    order.clear();
    EXPECT_TRUE(worker.SubmitBackground(
        [](DeviceState&) { return JobResult{}; },
        [&](const JobResult&, const DeviceSnapshot&) { order.push_back("poll"); }));
    EXPECT_FALSE(worker.SubmitBackground([](DeviceState&) { return JobResult{}; }, {}));
    ASSERT_TRUE(DeliverUntil(worker, [&] { return order.size() == 1; }));
}

TEST(IndiWorker, StoppingStillRunsTheCommandsAlreadyAccepted) {
    MemorySettingsStore store;
    std::atomic<bool> queuedRan{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto worker = std::make_unique<DeviceWorker>(store);
    std::string refusal;
    ASSERT_TRUE(worker->Submit(
        "a focuser move", [released](DeviceState&) { released.wait(); return JobResult{}; }, {},
        refusal));
    worker->Queue(
        "a filter change", [&](DeviceState&) { queuedRan = true; return JobResult{}; }, {});
    // The stop is asked for while the first command still runs.
    std::thread releaser([&] {
        std::this_thread::sleep_for(100ms);
        release.set_value();
    });
    worker.reset();
    releaser.join();
    EXPECT_TRUE(queuedRan);
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
