// Shared helpers of the transport tests: an open port on a scripted peer and a timer.
#pragma once

#include <gtest/gtest.h>

#include <chrono>

#include "support/ScriptedPeer.h"
#include "transport/SerialPort.h"

namespace kavri::test {

// A scripted peer with the program's port already open on its slave side.
class PortOnPeer : public testing::Test {
protected:
    void SetUp() override {
        port = OpenSerialPort(peer.SlavePath(), 9600);
        ASSERT_NE(port, nullptr);
    }
    void TearDown() override { CloseSerialPort(port); }

    ScriptedPeer peer;
    PortHandle port = nullptr;
};

// Milliseconds taken by `work`.
template <typename Work>
double MsTaken(Work&& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace kavri::test
