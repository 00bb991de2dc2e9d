// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/ImageLayout.h"

// What the emulated controller remembers, and the file that keeps it across restarts.
namespace kavri::sim {

inline constexpr std::size_t kMaxMicrosteps = 128;
inline constexpr int kDefaultMicrosteps = 16;

struct ControllerState {
    Image image = DefaultImage();
    int currentFilter = 0;  // -1: the wheel does not know where it is
    int focuserPosition = 0;
    int direction = +1;                // of the last focuser move: +1 outward, -1 inward
    int compensationThermometer = -1;  // -1: compensation off
    std::vector<std::uint8_t> microstepTable;

    ControllerState();
    bool operator==(const ControllerState&) const = default;
};

// A sine over half an electrical period, `count` levels from 0 up to 255 and back.
std::vector<std::uint8_t> SineMicrostepTable(int count);

// Writes the state as text to `path` atomically (temporary file, fsync, rename), so a crash
// never leaves a half-written file behind. A symbolic link at `path` stays and the file it
// names gets the new state.
bool SaveStateFile(const std::string& path, const ControllerState& state, std::string* error);

// Reads a state file. A missing file sets *missing and leaves the state alone; a malformed
// one, or anything but a regular file (a FIFO, a device, a directory), is refused with a
// message, without blocking, and nothing is changed.
bool LoadStateFile(const std::string& path, ControllerState* state, bool* missing,
                   std::string* error);

}  // namespace kavri::sim
