// A client that dies while it holds the port exclusively must not lock everyone else out.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "sim/Emulator.h"
#include "transport/SerialPort.h"

namespace kavri::sim::test {
namespace {

using namespace std::chrono_literals;

// Without CAP_SYS_ADMIN, as for an ordinary user: with it, a process opens an exclusive
// terminal regardless, which would hide the fault.
bool DropSysAdmin() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    data[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
    data[CAP_SYS_ADMIN / 32].permitted &= ~(1u << (CAP_SYS_ADMIN % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Exit codes of the scenario below.
enum { kReopened, kNoSetUp, kReleasedTooEarly, kStillLocked, kNoAnswer };

int KillExclusiveClientThenReopen() {
    EmulatorOptions options;
    options.fast = true;
    Emulator emulator(options);
    int ready[2];
    if (!DropSysAdmin() || !emulator.Start() || ::pipe(ready) != 0) return kNoSetUp;
    const std::string path = emulator.SlavePath();
    const pid_t client = ::fork();
    if (client == 0) {  // opens the port as the programs do, then waits to be killed
        const char opened = OpenSerialPort(path, 9600) != nullptr ? 'y' : 'n';
        if (::write(ready[1], &opened, 1) == 1) ::pause();
        ::_exit(0);
    }
    char opened = 'n';
    if (::read(ready[0], &opened, 1) != 1 || opened != 'y') return kNoSetUp;
    if (PortHandle other = OpenSerialPort(path, 9600)) {  // the client's while it lives
        CloseSerialPort(other);
        return kReleasedTooEarly;
    }
    ::kill(client, SIGKILL);
    ::waitpid(client, nullptr, 0);

    // The emulator notices the departure on its own thread.
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    PortHandle port = nullptr;
    while (!(port = OpenSerialPort(path, 9600)) && std::chrono::steady_clock::now() < deadline)
        ::poll(nullptr, 0, 10);
    if (!port) return kStillLocked;
    std::uint8_t count = 0;
    const bool answered = SendCommand(port, "FWCOUNT", &count, 1) == 1 && count == '5';
    CloseSerialPort(port);
    return answered ? kReopened : kNoAnswer;
}

TEST(SimLine, KilledExclusiveClientLeavesThePortFree) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(KillExclusiveClientThenReopen());
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kReopened)
        << "1 set-up failed, 2 released too early, 3 still locked, 4 no answer";
}

}  // namespace
}  // namespace kavri::sim::test
