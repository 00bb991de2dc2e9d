// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the controller in the tests of the HTTP side: a view the test sets, and the
// operations recorded with the outcome the test chose. Safe to use from the test thread while
// the server's thread calls it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "alpaca/Controller.h"

namespace kavri::test {

class FakeController : public alpaca::Controller {
public:
    FakeController() {
        view_.connected = {true, true};
        view_.focuser = {true, 1500, false, 30000, 10.0, 12.5, false, true};
        view_.wheel = {true, {"L", "R", "G"}, 1};
        view_.portChoice = "auto";
    }

    void SetView(const alpaca::ControllerView& view) {
        std::lock_guard lock(mutex_);
        view_ = view;
    }
    // The outcome of the next operations; `hold` keeps Connect's callback until Release().
    void SetOutcome(const alpaca::Outcome& outcome, bool hold = false) {
        std::lock_guard lock(mutex_);
        outcome_ = outcome;
        hold_ = hold;
    }
    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Runs the held callbacks (call on the server's thread).
    void Release() {
        std::vector<Done> held;
        {
            std::lock_guard lock(mutex_);
            held.swap(held_);
        }
        for (const Done& done : held) done(outcome_);
    }

    alpaca::ControllerView View() const override {
        std::lock_guard lock(mutex_);
        return view_;
    }
    void Connect(alpaca::DeviceKind device, Done done) override {
        Finish("connect " + Name(device), std::move(done));
    }
    void Disconnect(alpaca::DeviceKind device, Done done) override {
        Finish("disconnect " + Name(device), std::move(done));
    }
    alpaca::Outcome Move(int32_t position) override {
        return Record("move " + std::to_string(position));
    }
    alpaca::Outcome SelectSlot(int32_t slot) override {
        return Record("slot " + std::to_string(slot));
    }
    void SetTempComp(bool on, Done done) override {
        Finish(std::string("tempcomp ") + (on ? "on" : "off"), std::move(done));
    }
    void ChoosePort(const std::string& text, Done done) override {
        Finish("port " + text, std::move(done));
    }

private:
    static std::string Name(alpaca::DeviceKind device) {
        return device == alpaca::DeviceKind::Focuser ? "focuser" : "wheel";
    }
    alpaca::Outcome Record(const std::string& call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        return outcome_;
    }
    void Finish(const std::string& call, Done done) {
        const alpaca::Outcome outcome = Record(call);
        {
            std::lock_guard lock(mutex_);
            if (hold_) return held_.push_back(std::move(done));
        }
        done(outcome);
    }

    mutable std::mutex mutex_;
    alpaca::ControllerView view_;
    alpaca::Outcome outcome_;
    bool hold_ = false;
    std::vector<Done> held_;
    std::vector<std::string> calls_;
};

}  // namespace kavri::test
