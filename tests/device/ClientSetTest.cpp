#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/ManualTimerService.h"
#include "device/PortNaming.h"
#include "device/WheelFocuserDevice.h"
#include "persist/MemorySettingsStore.h"
#include "support/ScriptedPeer.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

const void* Client(uintptr_t id) {
    return reinterpret_cast<const void*>(id);
}

class ClientSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.log.SetSink([this](const char* line) {
            const std::string text(line);
            lines.push_back(text.substr(text.find(" : ") + 3));  // without the time prefix
        });
    }
    // An open port, as a successful connect leaves it; Connect then has nothing to do.
    void OpenPortDirectly() {
        device.port = OpenSerialPort(peer.SlavePath(), 9600);
        ASSERT_NE(device.port, nullptr);
    }

    test::ScriptedPeer peer;
    MemorySettingsStore store;
    ManualTimerService timers;
    WheelFocuserDevice device{store, timers};
    std::vector<std::string> lines;
};

TEST_F(ClientSetTest, FirstClientConnectsOthersSkip) {
    OpenPortDirectly();
    EXPECT_TRUE(device.ConnectMulti(Client(0x5000)));
    EXPECT_TRUE(device.ConnectMulti(Client(0x1a2b)));
    EXPECT_TRUE(device.ConnectMulti(Client(0x1a2b)));  // already a member
    EXPECT_EQ(lines, (std::vector<std::string>{"ConnectMulti(0x5000) = connect\r\n",
                                               "ConnectMulti(0x1a2b) = skip\r\n",
                                               "ConnectMulti(0x1a2b) = skip\r\n"}));
    EXPECT_EQ(device.Clients(), (std::set<uintptr_t>{0x1a2b, 0x5000}));
}

TEST_F(ClientSetTest, LastClientLeavingDisconnectsAndFileRecordsIt) {
    test::TempDir dir;
    OpenPortDirectly();
    ASSERT_TRUE(device.ConnectMulti(Client(0xa1)));
    ASSERT_TRUE(device.ConnectMulti(Client(0xb2)));
    ASSERT_TRUE(device.OpenFile(dir.File("diag.log")));
    lines.clear();

    device.DisconnectMulti(Client(0xa1));
    EXPECT_NE(device.port, nullptr);
    device.DisconnectMulti(Client(0xb2));
    EXPECT_EQ(device.port, nullptr);
    EXPECT_TRUE(device.Clients().empty());
    EXPECT_EQ(lines, (std::vector<std::string>{"DisconnectMulti(0xa1) = skip\r\n",
                                               "DisconnectMulti(0xb2) = Disconnect\r\n"}));
    std::ifstream in(dir.File("diag.log"), std::ios::binary);
    std::ostringstream file;
    file << in.rdbuf();
    EXPECT_NE(file.str().find("DisconnectMulti(0xb2) = Disconnect\r\n"), std::string::npos);

    device.DisconnectMulti(Client(0xb2));  // port closed: nothing at all
    EXPECT_EQ(lines.size(), 2u);
}

TEST_F(ClientSetTest, NonMemberLeavingSkipsOrClosesWhenNobodyHoldsThePort) {
    OpenPortDirectly();
    ASSERT_TRUE(device.ConnectMulti(Client(0x10)));
    lines.clear();
    device.DisconnectMulti(Client(0x99));
    EXPECT_EQ(lines, (std::vector<std::string>{"DisconnectMulti(0x99) = skip\r\n"}));
    EXPECT_EQ(device.Clients().size(), 1u);

    device.DisconnectMulti(Client(0x10));
    OpenPortDirectly();  // opened without any client joining
    lines.clear();
    device.DisconnectMulti(Client(0x99));
    EXPECT_EQ(lines, (std::vector<std::string>{"DisconnectMulti(0x99) = Disconnect\r\n"}));
    EXPECT_EQ(device.port, nullptr);
}

TEST_F(ClientSetTest, FailedConnectionLogsConnectAndTheReasonAndJoinsNobody) {
    test::TempDir dir;
    PortNaming naming(dir.Path());
    naming.SetDevice(3, dir.File("no-such-tty"));
    SetActivePortNaming(naming);
    device.settings.ComPort = 3;
    EXPECT_FALSE(device.ConnectMulti(Client(0xc3)));
    SetActivePortNaming(std::nullopt);
    EXPECT_EQ(lines, (std::vector<std::string>{"ConnectMulti(0xc3) = connect\r\n",
                                               "no controller found on " + dir.File("no-such-tty") +
                                                   ": no such device\r\n"}));
    EXPECT_TRUE(device.Clients().empty());
    EXPECT_EQ(device.port, nullptr);
}

TEST_F(ClientSetTest, FullAddressIsPrintedInLowerCaseHex) {
    if (sizeof(uintptr_t) < 8) GTEST_SKIP() << "32-bit addresses";
    OpenPortDirectly();
    ASSERT_TRUE(device.ConnectMulti(Client(static_cast<uintptr_t>(0x7ffdABCD0010ull))));
    EXPECT_EQ(lines.back(), "ConnectMulti(0x7ffdabcd0010) = connect\r\n");
}

}  // namespace
}  // namespace kavri
