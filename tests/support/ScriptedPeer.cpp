#include "support/ScriptedPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kavri::test {

namespace {

using Clock = std::chrono::steady_clock;

void MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
}

int MsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    return static_cast<int>(std::min<long long>((left.count() + 999) / 1000, INT_MAX));
}

}  // namespace

std::string DescribeBytes(const uint8_t* bytes, size_t count) {
    std::string text = "\"";
    for (size_t i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            text += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            text += hex;
        }
    }
    return text + "\"";
}

std::string DescribeBytes(const Bytes& bytes) {
    return DescribeBytes(bytes.data(), bytes.size());
}

ScriptedPeer::ScriptedPeer() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
    slavePath_ = name;
    // Raw on both sides: no echo, no line editing, no CR/LF translation, no flow control
    // characters, so every byte passes exactly as sent.
    MakeRaw(master_);
    MakeRaw(slave_);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        close(master_);
        close(slave_);
        throw std::runtime_error("pipe failed");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    {
        std::lock_guard lock(mutex_);
        if (running_ && current_.kind == StepKind::Expect)
            failures_.push_back("the program never sent " + DescribeBytes(current_.bytes) +
                                "; unmatched input " + DescribeBytes(unmatched_));
        for (const Step& step : steps_)
            if (step.kind == StepKind::Expect)
                failures_.push_back("the program never sent " + DescribeBytes(step.bytes));
        stop_ = true;
    }
    Wake();
    thread_.join();
    if (master_ >= 0) close(master_);
    close(slave_);
    close(wakeRead_);
    close(wakeWrite_);
    std::string problems;
    for (size_t i = reportedFailures_; i < failures_.size(); ++i) problems += "\n  " + failures_[i];
    if (!problems.empty()) ADD_FAILURE() << "scripted peer:" << problems;
}

ScriptedPeer& ScriptedPeer::Expect(std::string_view text) {
    return Expect(Bytes(text.begin(), text.end()));
}

ScriptedPeer& ScriptedPeer::Expect(const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    steps_.push_back({StepKind::Expect, bytes, expectTimeoutMs_});
    Wake();
    return *this;
}

ScriptedPeer& ScriptedPeer::Reply(std::string_view text) {
    return Reply(Bytes(text.begin(), text.end()));
}

ScriptedPeer& ScriptedPeer::Reply(const Bytes& bytes) {
    return Add({StepKind::Send, bytes, 0});
}

ScriptedPeer& ScriptedPeer::ReplyDelayed(const Bytes& bytes, int delayMs) {
    Pause(delayMs);
    return Reply(bytes);
}

ScriptedPeer& ScriptedPeer::ReplyBytesSpaced(const Bytes& bytes, int gapMs) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) Pause(gapMs);
        Reply(Bytes{bytes[i]});
    }
    return *this;
}

ScriptedPeer& ScriptedPeer::Pause(int ms) {
    return Add({StepKind::Pause, {}, ms});
}

ScriptedPeer& ScriptedPeer::ExpectQuiet(int ms) {
    return Add({StepKind::ExpectQuiet, {}, ms});
}

ScriptedPeer& ScriptedPeer::HangUp() {
    return Add({StepKind::HangUp, {}, 0});
}

void ScriptedPeer::SetExpectTimeout(int ms) {
    std::lock_guard lock(mutex_);
    expectTimeoutMs_ = ms;
}

ScriptedPeer& ScriptedPeer::Add(Step step) {
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(step));
    Wake();
    return *this;
}

testing::AssertionResult ScriptedPeer::WaitIdle(int timeoutMs) {
    std::unique_lock lock(mutex_);
    bool finished = idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return steps_.empty() && !running_; });
    std::string problems;
    for (size_t i = reportedFailures_; i < failures_.size(); ++i) problems += "\n  " + failures_[i];
    reportedFailures_ = failures_.size();
    if (!finished)
        problems += "\n  script not finished after " + std::to_string(timeoutMs) + " ms, " +
                    std::to_string(steps_.size()) + " step(s) left; received so far " +
                    DescribeBytes(received_);
    if (problems.empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "scripted peer:" << problems;
}

Bytes ScriptedPeer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::string ScriptedPeer::ReceivedText() const {
    std::lock_guard lock(mutex_);
    return std::string(received_.begin(), received_.end());
}

Bytes ScriptedPeer::Unmatched() const {
    std::lock_guard lock(mutex_);
    return unmatched_;
}

Clock::time_point ScriptedPeer::LastReplyTime() const {
    std::lock_guard lock(mutex_);
    return lastReply_;
}

void ScriptedPeer::Wake() {
    uint8_t one = 1;
    // A full pipe already guarantees a wake-up, so a failed write needs no handling.
    [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &one, 1);
}

void ScriptedPeer::Fail(std::string message) {
    std::lock_guard lock(mutex_);
    failures_.push_back(std::move(message));
}

void ScriptedPeer::Run() {
    for (;;) {
        Step step;
        {
            std::unique_lock lock(mutex_);
            if (stop_) return;
            if (!steps_.empty()) {
                step = std::move(steps_.front());
                steps_.pop_front();
                current_ = step;
                running_ = true;
            }
        }
        if (!running_) {
            // Nothing scripted: keep recording what the program sends until woken.
            if (!PumpUntil(Clock::time_point::max(), true)) return;
            continue;
        }
        bool ok = RunStep(step);
        std::lock_guard lock(mutex_);
        running_ = false;
        // After a failed step the rest of the script no longer matches the exchange.
        if (!ok) steps_.clear();
        idle_.notify_all();
    }
}

bool ScriptedPeer::RunStep(const Step& step) {
    switch (step.kind) {
        case StepKind::Expect: {
            auto deadline = Clock::now() + std::chrono::milliseconds(step.ms);
            for (;;) {
                {
                    std::lock_guard lock(mutex_);
                    const size_t want = step.bytes.size();
                    if (unmatched_.size() >= want) {
                        bool same =
                            std::equal(step.bytes.begin(), step.bytes.end(), unmatched_.begin());
                        Bytes got(unmatched_.begin(), unmatched_.begin() + want);
                        unmatched_.erase(unmatched_.begin(), unmatched_.begin() + want);
                        if (same) return true;
                        failures_.push_back("expected " + DescribeBytes(step.bytes) +
                                            " but received " + DescribeBytes(got) +
                                            " (everything received: " + DescribeBytes(received_) +
                                            ")");
                        return false;
                    }
                }
                if (Clock::now() >= deadline) {
                    std::lock_guard lock(mutex_);
                    failures_.push_back("timed out after " + std::to_string(step.ms) +
                                        " ms waiting for " + DescribeBytes(step.bytes) +
                                        "; unmatched input " + DescribeBytes(unmatched_) +
                                        " (everything received: " + DescribeBytes(received_) + ")");
                    return false;
                }
                if (!PumpUntil(deadline, true)) return false;
            }
        }
        case StepKind::Send:
            return SendAll(step.bytes);
        case StepKind::Pause: {
            auto deadline = Clock::now() + std::chrono::milliseconds(step.ms);
            while (Clock::now() < deadline)
                if (!PumpUntil(deadline, false)) return false;
            return true;
        }
        case StepKind::ExpectQuiet: {
            // Bytes already waiting count too: nothing may follow the last expected bytes.
            auto deadline = Clock::now() + std::chrono::milliseconds(step.ms);
            while (Clock::now() < deadline)
                if (!PumpUntil(deadline, false)) return false;
            std::lock_guard lock(mutex_);
            if (unmatched_.empty()) return true;
            failures_.push_back("expected silence for " + std::to_string(step.ms) +
                                " ms but received " + DescribeBytes(unmatched_));
            return false;
        }
        case StepKind::HangUp:
            if (master_ >= 0) {
                ReadAvailable();
                close(master_);
                master_ = -1;
            }
            return true;
    }
    return false;
}

bool ScriptedPeer::PumpUntil(Clock::time_point deadline, bool returnOnInput) {
    for (;;) {
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}};
        const int count = master_ >= 0 ? 2 : 1;
        int timeout = deadline == Clock::time_point::max() ? -1 : MsUntil(deadline);
        int ready = poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR) return false;
        if (fds[0].revents & POLLIN) {
            uint8_t drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0) {
            }
            std::lock_guard lock(mutex_);
            if (stop_) return false;
            // New steps may have arrived; let an idle caller pick them up.
            if (returnOnInput) return true;
        }
        if (count == 2 && fds[1].revents) {
            if (fds[1].revents & POLLIN) {
                ReadAvailable();
                if (returnOnInput) return true;
            } else {
                // The program has not opened the slave or is gone: nothing to read. Wait
                // without watching the master so a hang-up does not turn into a busy loop.
                pollfd wake{wakeRead_, POLLIN, 0};
                int left =
                    deadline == Clock::time_point::max() ? 50 : std::min(50, MsUntil(deadline));
                poll(&wake, 1, left);
            }
        }
        if (ready == 0 || Clock::now() >= deadline) return true;
    }
}

void ScriptedPeer::ReadAvailable() {
    uint8_t buffer[512];
    for (;;) {
        ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) return;
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), buffer, buffer + got);
        unmatched_.insert(unmatched_.end(), buffer, buffer + got);
    }
}

bool ScriptedPeer::SendAll(const Bytes& bytes) {
    if (master_ < 0) {
        Fail("cannot send " + DescribeBytes(bytes) + " after hanging up");
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        lastReply_ = Clock::now();
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
        } else if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd out{master_, POLLOUT, 0};
            poll(&out, 1, 100);
        } else {
            Fail("write to the pseudo-terminal failed: " + std::string(std::strerror(errno)));
            return false;
        }
    }
    return true;
}

}  // namespace kavri::test
