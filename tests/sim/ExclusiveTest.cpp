// A client that dies while it holds the port exclusively must not lock everyone else out.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>

#include "sim/Emulator.h"
#include "transport/SerialPort.h"

namespace kavri::sim::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Runs `scenario` in a child process without CAP_SYS_ADMIN, as the programs run for an
// ordinary user: with that capability a process may open an exclusive terminal regardless,
// which would hide the fault. Returns the scenario's result, or -1 when the child died.
int RunWithoutSysAdmin(const std::function<int()>& scenario) {
    const pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0) ::_exit(100);
        const unsigned bit = 1u << (CAP_SYS_ADMIN % 32);
        data[CAP_SYS_ADMIN / 32].effective &= ~bit;
        data[CAP_SYS_ADMIN / 32].permitted &= ~bit;
        if (::syscall(SYS_capset, &header, data) != 0) ::_exit(100);
        ::_exit(scenario());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

enum Outcome {
    kReopened = 0,
    kNoCapabilityDrop = 100,
    kEmulatorFailed,
    kFirstOpenFailed,
    kReleasedTooEarly,
    kStillLocked,
    kNoAnswer,
};

int KillExclusiveClientThenReopen() {
    EmulatorOptions options;
    options.fast = true;
    Emulator emulator(options);
    if (!emulator.Start()) return kEmulatorFailed;
    const std::string path = emulator.SlavePath();

    int ready[2];
    if (::pipe(ready) != 0) return kEmulatorFailed;
    const pid_t client = ::fork();
    if (client == 0) {
        // Opens the port as the programs do (exclusive), then waits to be killed.
        const char opened = OpenSerialPort(path, 9600) != nullptr ? 'y' : 'n';
        if (::write(ready[1], &opened, 1) != 1) ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    char opened = 'n';
    if (::read(ready[0], &opened, 1) != 1 || opened != 'y') return kFirstOpenFailed;
    // While the client lives, the port stays its own.
    if (PortHandle other = OpenSerialPort(path, 9600)) {
        CloseSerialPort(other);
        return kReleasedTooEarly;
    }
    ::kill(client, SIGKILL);
    ::waitpid(client, nullptr, 0);

    // The emulator notices the departure on its own thread; give it a moment.
    const auto deadline = Clock::now() + 3s;
    PortHandle port = nullptr;
    while (!(port = OpenSerialPort(path, 9600)) && Clock::now() < deadline) ::poll(nullptr, 0, 10);
    if (!port) return kStillLocked;
    std::uint8_t count = 0;
    const bool answered = SendCommand(port, "FWCOUNT", &count, 1) == 1 && count == '5';
    CloseSerialPort(port);
    return answered ? kReopened : kNoAnswer;
}

TEST(SimLine, KilledExclusiveClientLeavesThePortFree) {
    EXPECT_EQ(RunWithoutSysAdmin(KillExclusiveClientThenReopen), kReopened)
        << "100 no capability drop, 101 emulator, 102 first open, 103 released too early, "
           "104 still locked, 105 no answer";
}

}  // namespace
}  // namespace kavri::sim::test
