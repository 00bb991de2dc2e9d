// SPDX-License-Identifier: GPL-3.0-or-later
#include "server/DeviceWorker.h"

#include <algorithm>
#include <future>

namespace kavri::server {

DeviceWorker::DeviceWorker(SettingsStore& store, Notify notify) : notify_(std::move(notify)) {
    std::promise<void> ready;
    auto started = ready.get_future();
    thread_ = std::thread([this, &store, &ready] {
        // Built and destroyed on this thread: the device never sees another one.
        DeviceState state(store, *this);
        initialSnapshot_ = state.Snapshot();
        ready.set_value();
        Run(state);
    });
    started.wait();
}

DeviceWorker::~DeviceWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool DeviceWorker::Submit(const std::string& activity, Work work, Done done, std::string& refusal) {
    if (Busy()) {
        refusal = "The controller is busy (" + Activity() + "); try again when it is done";
        return false;
    }
    Queue(activity, std::move(work), std::move(done));
    return true;
}

void DeviceWorker::Queue(const std::string& activity, Work work, Done done) {
    commandActivities_.push_back(activity.empty() ? "a command" : activity);
    commandWaiting_.store(true);
    Enqueue(Job{std::move(work), std::move(done), true});
}

bool DeviceWorker::SubmitBackground(Work work, Done done) {
    if (Busy() || backgroundActive_) return false;
    backgroundActive_ = true;
    Enqueue(Job{std::move(work), std::move(done), false});
    return true;
}

void DeviceWorker::Enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void DeviceWorker::Deliver() {
    std::deque<Completion> ready;
    {
        std::lock_guard lock(mutex_);
        ready.swap(completions_);
    }
    for (auto& completion : ready) {
        // The next command is accepted only once this one's outcome is shown, so a late
        // completion never overwrites the state of a newer command.
        if (completion.command) {
            if (!commandActivities_.empty()) commandActivities_.pop_front();
        } else {
            backgroundActive_ = false;
        }
        if (completion.done) completion.done(completion.result, completion.snapshot);
    }
}

int DeviceWorker::StartTimer(int requestedId, int intervalMs, Callback callback) {
    if (intervalMs < 1 || !callback) return 0;
    int id;
    {
        std::lock_guard lock(mutex_);
        id = requestedId;
        if (id <= 0 || timers_.count(id)) {
            while (timers_.count(nextTimerId_)) ++nextTimerId_;
            id = nextTimerId_++;
        }
        const std::chrono::milliseconds interval(intervalMs);
        timers_[id] = Timer{interval, Clock::now() + interval, std::move(callback)};
        timersChanged_ = true;  // the worker may be asleep until a later deadline
    }
    wake_.notify_all();
    return id;
}

void DeviceWorker::StopTimer(int timerId) {
    std::lock_guard lock(mutex_);
    timers_.erase(timerId);
}

DeviceWorker::Clock::time_point DeviceWorker::RunDueTimers() {
    for (;;) {
        Callback callback;
        Clock::time_point next = Clock::time_point::max();
        {
            std::lock_guard lock(mutex_);
            const auto now = Clock::now();
            for (auto& [id, timer] : timers_) {
                if (!callback && timer.due <= now) {
                    callback = timer.callback;
                    // Ticks missed while a job ran are dropped, not replayed in a burst.
                    timer.due += timer.interval;
                    if (timer.due <= now) timer.due = now + timer.interval;
                }
                next = std::min(next, timer.due);
            }
        }
        if (!callback) return next;
        callback();
    }
}

void DeviceWorker::Run(DeviceState& state) {
    for (;;) {
        const auto nextTimer = RunDueTimers();
        Job job;
        {
            std::unique_lock lock(mutex_);
            const auto ready = [this] { return stopping_ || timersChanged_ || !jobs_.empty(); };
            if (nextTimer == Clock::time_point::max()) {
                wake_.wait(lock, ready);
            } else if (!wake_.wait_until(lock, nextTimer, ready)) {
                continue;  // a timer fell due
            }
            if (stopping_) {
                // Commands already accepted still run: their clients were told they were taken
                // (a move answered at once, say). Background jobs are dropped.
                std::erase_if(jobs_, [](const Job& j) { return !j.command; });
                if (jobs_.empty()) return;
            } else if (timersChanged_) {
                timersChanged_ = false;
                continue;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
            if (job.command) {
                commandWaiting_.store(std::any_of(jobs_.begin(), jobs_.end(),
                                                  [](const Job& j) { return j.command; }));
            }
        }
        JobResult result = job.work ? job.work(state) : JobResult{};
        state.CheckLine(result);
        Completion completion{std::move(job.done), std::move(result), state.Snapshot(),
                              job.command};
        {
            std::lock_guard lock(mutex_);
            completions_.push_back(std::move(completion));
        }
        if (notify_) notify_();
    }
}

}  // namespace kavri::server
