// SPDX-License-Identifier: GPL-3.0-or-later
// The one thread that owns the device, for the servers (the INDI driver and the Alpaca server).
// The server's event loop hands it jobs and never waits on it: a job runs here, and its
// completion comes back to the event loop, which is told through a callback that completions
// are ready and applies them there. The device's own timer (the daily temperature log) is
// served here too, between jobs, so every exchange with the controller happens on this thread.
//
// Commands follow the device's `busy` rule: while one is accepted and not yet delivered, the
// next is refused at once with a reason. Connecting and disconnecting are never refused: they
// queue behind what runs, because a disconnect must succeed even while a long move runs. The
// periodic poll never makes a command wait long: it runs only when nothing else does, and stops
// between exchanges once a command is waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "device/SettingsStore.h"
#include "platform/TimerService.h"
#include "server/DeviceJobs.h"

namespace kavri::server {

class DeviceWorker final : public TimerService {
public:
    using Work = std::function<JobResult(DeviceState&)>;
    // Runs on the thread that calls Deliver(), with the job's result and the device as it was
    // right after the job.
    using Done = std::function<void(const JobResult&, const DeviceSnapshot&)>;

    // Called on the worker thread whenever completions become ready; the event loop is to call
    // Deliver() on its own thread soon after (an INDI driver writes a pipe it watches, the
    // Alpaca server posts to its I/O context). It must not block; several calls before one
    // Deliver() are fine.
    using Notify = std::function<void()>;

    // Starts the thread, which builds the device (loading its settings from `store`) and takes
    // the first snapshot; returns once that is done.
    DeviceWorker(SettingsStore& store, Notify notify);
    // Lets the running job and the commands already accepted finish (background jobs are
    // dropped), then destroys the device on its thread (it disconnects and saves its settings)
    // and joins. Completions not yet delivered are dropped.
    ~DeviceWorker() override;
    DeviceWorker(const DeviceWorker&) = delete;
    DeviceWorker& operator=(const DeviceWorker&) = delete;

    // A command: false, with the reason in `refusal`, while another command is in progress
    // (`activity` of the running one names it). Call from the delivering thread only.
    bool Submit(const std::string& activity, Work work, Done done, std::string& refusal);
    // A command that is never refused: it runs after every job accepted before it, and later
    // commands are refused until it is delivered. Call from the delivering thread only.
    void Queue(const std::string& activity, Work work, Done done);
    // A background job (the poll): runs only when no command and no other background job is
    // in progress; false when it was skipped.
    bool SubmitBackground(Work work, Done done);
    // True while a command is accepted and its completion not yet delivered.
    bool Busy() const { return !commandActivities_.empty(); }
    // What the oldest command not yet delivered does ("a focuser move"); empty when none.
    std::string Activity() const {
        return commandActivities_.empty() ? std::string() : commandActivities_.front();
    }
    // On the worker thread: a command is waiting for the running background job to end.
    bool CommandWaiting() const { return commandWaiting_.load(); }

    // Runs the completions that are ready, in the order their jobs ran.
    void Deliver();

    // The device as it was when the worker started.
    const DeviceSnapshot& InitialSnapshot() const { return initialSnapshot_; }

    // TimerService for the device: callbacks run on the worker thread between jobs.
    int StartTimer(int requestedId, int intervalMs, Callback callback) override;
    void StopTimer(int timerId) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Job {
        Work work;
        Done done;
        bool command = false;
    };
    struct Completion {
        Done done;
        JobResult result;
        DeviceSnapshot snapshot;
        bool command = false;
    };
    struct Timer {
        std::chrono::milliseconds interval;
        Clock::time_point due;
        Callback callback;
    };

    void Run(DeviceState& state);
    void Enqueue(Job job);
    // Runs the timers that are due (worker thread); returns when the next one falls due.
    Clock::time_point RunDueTimers();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::deque<Completion> completions_;
    std::map<int, Timer> timers_;
    int nextTimerId_ = 1;
    bool stopping_ = false;
    bool timersChanged_ = false;
    std::atomic<bool> commandWaiting_{false};

    // Delivering thread only: the activities of the commands accepted and not yet delivered,
    // oldest first.
    std::deque<std::string> commandActivities_;
    bool backgroundActive_ = false;

    DeviceSnapshot initialSnapshot_;
    Notify notify_;
    std::thread thread_;
};

}  // namespace kavri::server
