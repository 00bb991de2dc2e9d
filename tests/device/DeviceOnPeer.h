// A device connected to a scripted controller on a real pseudo-terminal, with its log lines
// collected, for the command tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/ManualTimerService.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "support/ScriptedPeer.h"

namespace kavri::test {

class DeviceOnPeer : public ::testing::Test {
protected:
    void SetUp() override {
        device = std::make_unique<WheelFocuserDevice>(store, timers);
        device->SetSink([this](const char* line) { sinkLines.emplace_back(line); });
        device->port = OpenSerialPort(peer.SlavePath(), 9600);
        ASSERT_NE(device->port, nullptr);
    }

    // Log lines (without their time-stamp prefix) that contain `text`.
    std::vector<std::string> LinesWith(const std::string& text) const {
        std::vector<std::string> found;
        for (const std::string& line : sinkLines) {
            const size_t prefixEnd = line.find(" : ");
            std::string body = prefixEnd == std::string::npos ? line : line.substr(prefixEnd + 3);
            if (body.find(text) != std::string::npos) found.push_back(body);
        }
        return found;
    }

    // After a hang-up during a wait: the operation's one result line (the one starting with
    // `resultLine`) says so instead of naming a time-out, nothing else repeats it, and it is
    // the device's failure reason.
    void ExpectHangUpReportedBy(const std::string& resultLine) const {
        const auto lines = LinesWith(resultLine);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(lines[0].find("ms: ")), "ms: the line was hung up\r\n");
        EXPECT_EQ(LinesWith("hung up").size(), 1u);
        EXPECT_EQ(device->failureReason, "the line was hung up");
    }

    // A table of `rows` filters named F0, F1, … with zero positions.
    void GiveFilters(int rows) {
        device->filters.assign(static_cast<size_t>(rows), FilterEntry{});
        for (int i = 0; i < rows; ++i) {
            device->filters[static_cast<size_t>(i)].name[0] = 'F';
            device->filters[static_cast<size_t>(i)].name[1] = static_cast<char>('0' + i);
        }
    }

    static Bytes Concat(std::string_view text, const Bytes& tail) {
        Bytes bytes(text.begin(), text.end());
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    }

    ScriptedPeer peer;
    MemorySettingsStore store;
    ManualTimerService timers;
    std::vector<std::string> sinkLines;
    // Declared last so it is destroyed first: its destructor closes the port before the peer
    // goes away.
    std::unique_ptr<WheelFocuserDevice> device;
};

// Bytes that a careless serial setup would translate, swallow or act on.
inline const Bytes kTroublesomeBytes = {0x0A, 0x0D, 0x03, 0x11, 0x13, 0x7F, 0x00};

}  // namespace kavri::test
