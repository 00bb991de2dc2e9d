// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScriptedPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kavri::test {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes as readable text: printable ASCII as is, everything else as \xNN.
std::string DescribeBytes(const Bytes& bytes) {
    std::string text = "\"";
    for (uint8_t b : bytes) {
        char one[8];
        const bool plain = b >= 0x20 && b < 0x7F && b != '"' && b != '\\';
        std::snprintf(one, sizeof one, plain ? "%c" : "\\x%02X", b);
        text += one;
    }
    return text + "\"";
}

}  // namespace

ScriptedPeer::ScriptedPeer() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
    slavePath_ = name;
    for (int fd : {master_, slave_}) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);  // no echo, line editing, CR/LF translation or flow control characters
        tcsetattr(fd, TCSANOW, &tio);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    {
        std::lock_guard lock(mutex_);
        for (const Step& step : steps_)
            if (step.kind == Kind::Expect)
                failures_.push_back("the program never sent " + DescribeBytes(step.bytes));
        stop_ = true;  // an Expect step still running reports itself
    }
    thread_.join();
    if (master_ >= 0) close(master_);
    close(slave_);
    const std::string problems = Unreported();
    if (!problems.empty()) ADD_FAILURE() << "scripted peer:" << problems;
}

ScriptedPeer& ScriptedPeer::Add(Kind kind, Bytes bytes, int ms) {
    std::lock_guard lock(mutex_);
    steps_.push_back({kind, std::move(bytes), ms});
    return *this;
}

std::string ScriptedPeer::Unreported() {
    std::string problems;
    for (; reported_ < failures_.size(); ++reported_) problems += "\n  " + failures_[reported_];
    return problems;
}

testing::AssertionResult ScriptedPeer::WaitIdle(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const bool finished = idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [this] { return steps_.empty() && !running_; });
    std::string problems = Unreported();
    if (!finished)
        problems += "\n  script not finished after " + std::to_string(timeoutMs) +
                    " ms; received so far " + DescribeBytes(received_);
    if (problems.empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "scripted peer:" << problems;
}

Bytes ScriptedPeer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool ScriptedPeer::Fail(const std::string& message) {
    std::lock_guard lock(mutex_);
    failures_.push_back(message + "; unmatched input " + DescribeBytes(unmatched_) +
                        " (everything received: " + DescribeBytes(received_) + ")");
    return false;
}

void ScriptedPeer::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (steps_.empty()) {
            // Nothing scripted: keep recording what the program sends.
            lock.unlock();
            Pump(Clock::time_point::max(), true);
            lock.lock();
            continue;
        }
        const Step step = steps_.front();
        steps_.pop_front();
        running_ = true;
        lock.unlock();
        const bool ok = RunStep(step);
        lock.lock();
        running_ = false;
        // After a failed step the rest of the script no longer matches the exchange.
        if (!ok) steps_.clear();
        idle_.notify_all();
    }
}

bool ScriptedPeer::RunStep(const Step& step) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(step.ms);
    const size_t want = step.bytes.size();
    switch (step.kind) {
        case Kind::Expect:
            for (;;) {
                std::unique_lock lock(mutex_);
                if (unmatched_.size() >= want) {
                    const Bytes got(unmatched_.begin(), unmatched_.begin() + want);
                    unmatched_.erase(unmatched_.begin(), unmatched_.begin() + want);
                    lock.unlock();
                    return got == step.bytes || Fail("expected " + DescribeBytes(step.bytes) +
                                                     " but received " + DescribeBytes(got));
                }
                lock.unlock();
                if (Clock::now() >= deadline || !Pump(deadline, true))
                    return Fail("the program never sent " + DescribeBytes(step.bytes));
            }
        case Kind::Send:
            for (size_t done = 0; done < want;) {
                const ssize_t put =
                    master_ < 0 ? -1 : write(master_, step.bytes.data() + done, want - done);
                if (put > 0) {
                    done += static_cast<size_t>(put);
                } else if (put < 0 && master_ >= 0 && (errno == EAGAIN || errno == EINTR)) {
                    pollfd out{master_, POLLOUT, 0};
                    poll(&out, 1, 100);
                } else {
                    return Fail("cannot send " + DescribeBytes(step.bytes));
                }
            }
            return true;
        case Kind::Pause:
        case Kind::Quiet: {
            while (Clock::now() < deadline)
                if (!Pump(deadline, false)) return false;
            // Bytes already waiting count too: nothing may follow the last expected bytes.
            std::unique_lock lock(mutex_);
            if (step.kind == Kind::Pause || unmatched_.empty()) return true;
            lock.unlock();
            return Fail("expected silence for " + std::to_string(step.ms) + " ms");
        }
        case Kind::HangUp:
            if (master_ >= 0) {
                ReadAvailable();
                close(master_);
                master_ = -1;
            }
            return true;
    }
    return false;
}

bool ScriptedPeer::Pump(Clock::time_point deadline, bool returnOnInput) {
    while (Clock::now() < deadline) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) return false;
            if (deadline == Clock::time_point::max() && !steps_.empty()) return true;
        }
        // Short waits, so that a new step or the stop is noticed within 10 ms.
        pollfd in{master_, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&in, 1, static_cast<int>(std::min<long long>(10, left.count()))) <= 0) continue;
        if (!(in.revents & POLLIN)) {
            usleep(10000);  // an error on the line: nothing to read, and no busy loop
            continue;
        }
        ReadAvailable();
        if (returnOnInput) return true;
    }
    return true;
}

void ScriptedPeer::ReadAvailable() {
    uint8_t buffer[512];
    ssize_t got;
    while ((got = read(master_, buffer, sizeof buffer)) > 0) {
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), buffer, buffer + got);
        unmatched_.insert(unmatched_.end(), buffer, buffer + got);
    }
}

}  // namespace kavri::test
