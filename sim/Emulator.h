// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ControllerState.h"
#include "sim/Fault.h"
#include "sim/ImageLayout.h"

// The filter wheel and focuser controller, emulated on a pseudo-terminal. The emulator owns
// the master side and serves it on its own thread; a program under test opens SlavePath()
// like any serial device.
namespace kavri::sim {

struct EmulatorOptions {
    bool fast = false;                // no line-rate pacing, no motion time
    bool wheelOnly = false;           // the focuser does not answer
    bool focuserOnly = false;         // the wheel does not answer
    std::optional<int> filters;       // 1..10: overrides the image's filter count
    std::optional<int> thermometers;  // 0..8: overrides the image's thermometer count
    bool focusFrame = false;          // a filter change interleaves one "FWmoveFocus" frame
    std::string stateFile;            // keeps image, filter, position and table across restarts
    bool trace = false;               // every byte in and out, with time stamps
    // Receives trace lines and warnings (no line end); standard error when empty.
    std::function<void(const std::string&)> log;
    std::vector<Fault> faults;
    // Called on the serving thread when a hang-up fault has closed the line.
    std::function<void()> onHangUp;
};

class Emulator {
public:
    explicit Emulator(EmulatorOptions options = {});
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Opens the pseudo-terminal (and loads the state file) and starts serving. False with a
    // message when that is impossible, for instance a corrupt state file.
    bool Start(std::string* error = nullptr);
    // Stops the thread, saves the state file, closes the pseudo-terminal. Idempotent.
    void Stop();
    std::string SlavePath() const;
    // True once a hang-up fault has closed the line; the emulator then serves no more.
    bool HungUp() const;

    // State, safe from any thread; what is set before Start is served unless the state
    // file replaces it.
    Image GetImage() const;
    void SetImage(const Image& image);
    int CurrentFilter() const;  // -1: unknown
    void SetCurrentFilter(int filter);
    int FocuserPosition() const;
    void SetFocuserPosition(int position);
    int Direction() const;  // +1 or -1
    void SetDirection(int direction);
    int CompensationThermometer() const;  // -1: off
    void SetCompensationThermometer(int thermometer);
    std::vector<std::uint8_t> MicrostepTable() const;
    void SetMicrostepTable(const std::vector<std::uint8_t>& table);  // at most 128 bytes
    ControllerState State() const;
    // Reading of thermometer `index` in hundredths of a degree, as the controller would answer
    // now: -32768 for a thermometer beyond the image's thermometer count.
    int Temperature(int index) const;
    // Fixes the reading of thermometer `index` (0..7): it stops drifting.
    void SetTemperature(int index, int hundredths);

    // Fault injection; faults apply in the order added.
    void AddFault(const Fault& fault);
    void ClearFaults();

    // What arrived from the host.
    std::uint64_t BytesReceived() const;
    std::uint64_t CommandsReceived() const;  // complete commands handled
    // The latest keywords (up to 4096) in order of arrival.
    std::vector<std::string> ReceivedKeywords() const;
    int CommandCount(std::string_view keyword) const;
    // Waits until at least `count` commands have been handled; false on time-out.
    bool WaitForCommands(std::uint64_t count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kavri::sim
