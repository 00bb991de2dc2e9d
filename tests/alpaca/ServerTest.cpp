// SPDX-License-Identifier: GPL-3.0-or-later
// The whole server against the emulated controller, driven through HTTP as Alpaca clients
// drive it: every member, the two devices' connections over one port, a move and a filter
// change in progress while clients keep reading, concurrent clients, each emulator fault, the
// settings shared with the other programs, and the setup page's port choice.
#include <filesystem>
#include <future>
#include <set>

#include "alpaca/AlpacaRig.h"
#include "transport/SerialPort.h"

namespace kavri::test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr int kNotConnected = 0x407;
constexpr int kInvalidValue = 0x401;
constexpr int kInvalidOperation = 0x40B;
constexpr int kControllerError = 0x500;

// The settings the other programs keep: a focuser shift of 100 and a comment of their own.
void WriteSharedSettings(const TempDir& dir, const std::string& path) {
    std::filesystem::create_directories(dir.File("config/kavri"));
    WriteFileText(path,
                  "Windows Registry Editor Version 5.00\r\n\r\n"
                  "; kept by another program\r\n"
                  "[HKEY_LOCAL_MACHINE\\Software\\ASCOM\\Focuser Drivers\\Orvanta.Focuser]\r\n"
                  "\"AscomFocusShift\"=dword:00000064\r\n\r\n");
}

// Whether this process can take the emulator's port: nobody holds it.
bool PortFree(const std::string& path) {
    PortHandle port = OpenSerialPort(path, 9600);
    if (port == nullptr) return false;
    CloseSerialPort(port);
    return true;
}

class AlpacaServerTest : public AlpacaRig {};

TEST_F(AlpacaServerTest, EveryMemberAgainstTheController) {
    WriteSharedSettings(Dir(), StorePath());
    Start();
    Emulator().SetFocuserPosition(700);
    Emulator().SetCurrentFilter(2);
    Emulator().SetTemperature(0, 1234);
    ASSERT_TRUE(ConnectBoth());

    struct Case {
        const char* device;
        const char* member;
        Json value;
    };
    const Case reads[] = {
        {"focuser", "connected", true},         {"focuser", "position", 800},
        {"focuser", "ismoving", false},         {"focuser", "maxstep", 30000},
        {"focuser", "stepsize", 10.0},          {"focuser", "temperature", 12.34},
        {"focuser", "tempcomp", false},         {"focuser", "tempcompavailable", true},
        {"focuser", "driverversion", "0.1"},    {"filterwheel", "connected", true},
        {"filterwheel", "names", Json::array({"L", "R", "G", "B", "Ha"})},
        {"filterwheel", "focusoffsets", Json::array({0, 0, 0, 0, 0})},
        {"filterwheel", "position", 2},
    };
    for (const Case& c : reads) {
        const Json reply = Get(c.device, c.member);
        EXPECT_EQ(reply["ErrorNumber"], 0) << c.member << ": " << reply["ErrorMessage"];
        EXPECT_EQ(reply["Value"], c.value) << c.device << " " << c.member;
    }
    const Json state = Get("focuser", "devicestate")["Value"];
    EXPECT_EQ(state[1], Json({{"Name", "Position"}, {"Value", 800}}));
    EXPECT_EQ(Get("filterwheel", "devicestate")["Value"][0],
              Json({{"Name", "Position"}, {"Value", 2}}));

    // Operations reach the controller; positions carry the shift.
    EXPECT_EQ(Put("focuser", "move", "Position=1500")["ErrorNumber"], 0);
    EXPECT_TRUE(WaitUntil([&] { return Get("focuser", "position")["Value"] == 1500; }));
    EXPECT_EQ(Emulator().FocuserPosition(), 1400);
    EXPECT_EQ(Put("filterwheel", "position", "Position=4")["ErrorNumber"], 0);
    EXPECT_TRUE(WaitUntil([&] { return Get("filterwheel", "position")["Value"] == 4; }));
    EXPECT_EQ(Emulator().CurrentFilter(), 4);
    EXPECT_EQ(Put("focuser", "tempcomp", "TempComp=True")["ErrorNumber"], 0);
    EXPECT_EQ(Emulator().CompensationThermometer(), 0);
    EXPECT_EQ(Get("focuser", "tempcomp")["Value"], true);
    EXPECT_EQ(Put("focuser", "tempcomp", "TempComp=false")["ErrorNumber"], 0);
    EXPECT_EQ(Emulator().CompensationThermometer(), -1);

    struct Refusal {
        const char* device;
        const char* member;
        const char* body;
        int error;
    };
    const Refusal refusals[] = {
        {"focuser", "move", "Position=30001", kInvalidValue},
        {"filterwheel", "position", "Position=5", kInvalidValue},
        {"filterwheel", "position", "Position=-1", kInvalidValue},
    };
    for (const Refusal& r : refusals) {
        const Json reply = Put(r.device, r.member, r.body);
        EXPECT_EQ(reply["ErrorNumber"], r.error) << r.member << " " << r.body;
        EXPECT_FALSE(reply["ErrorMessage"].get<std::string>().empty());
    }
    EXPECT_EQ(Emulator().FocuserPosition(), 1400);
    EXPECT_EQ(Emulator().CommandCount("FWwriteEE"), 0);  // the server never writes the image
}

TEST_F(AlpacaServerTest, TwoDevicesShareOnePort) {
    Start();
    const std::string port = Emulator().SlavePath();
    EXPECT_EQ(Get("focuser", "connected")["Value"], false);
    EXPECT_EQ(Get("filterwheel", "names")["ErrorNumber"], kNotConnected);
    EXPECT_TRUE(PortFree(port));

    ASSERT_EQ(Put("focuser", "connected", "Connected=True")["ErrorNumber"], 0);
    EXPECT_FALSE(PortFree(port));
    EXPECT_EQ(Get("filterwheel", "connected")["Value"], false);
    EXPECT_EQ(Get("filterwheel", "position")["ErrorNumber"], kNotConnected);

    // connect returns at once; connecting shows it running.
    EXPECT_EQ(Put("filterwheel", "connect", "")["ErrorNumber"], 0);
    EXPECT_TRUE(WaitUntil([&] { return Get("filterwheel", "connecting")["Value"] == false; }));
    EXPECT_EQ(Get("filterwheel", "connected")["Value"], true);

    // One device leaving does not cut the other's connection.
    EXPECT_EQ(Put("focuser", "connected", "Connected=False")["ErrorNumber"], 0);
    EXPECT_EQ(Get("focuser", "position")["ErrorNumber"], kNotConnected);
    EXPECT_EQ(Put("filterwheel", "position", "Position=1")["ErrorNumber"], 0);
    EXPECT_TRUE(WaitUntil([&] { return Get("filterwheel", "position")["Value"] == 1; }));
    EXPECT_FALSE(PortFree(port));

    // The last one closes the port.
    EXPECT_EQ(Put("filterwheel", "disconnect", "")["ErrorNumber"], 0);
    EXPECT_TRUE(WaitUntil([&] { return Get("filterwheel", "connecting")["Value"] == false; }));
    EXPECT_EQ(Get("filterwheel", "connected")["Value"], false);
    EXPECT_TRUE(WaitUntil([&] { return PortFree(port); }));
    EXPECT_EQ(Client().Get("/setup").body.find("Latest problem"), std::string::npos);
    // And connecting again works.
    EXPECT_TRUE(ConnectBoth());
}

TEST_F(AlpacaServerTest, ReadsAnswerWhileAMoveAndAFilterChangeRun) {
    sim::EmulatorOptions options;  // paced: moves take their time
    options.focusFrame = true;
    Start(options);
    ASSERT_TRUE(ConnectBoth());
    // 300 steps at 100 steps per second: three seconds in which the serial line is busy.
    ASSERT_EQ(Put("focuser", "move", "Position=300")["ErrorNumber"], 0);
    for (int i = 0; i < 30; ++i) {
        const Json reply = Get("focuser", i % 2 ? "position" : "ismoving");
        EXPECT_EQ(reply["ErrorNumber"], 0);
        EXPECT_EQ(reply["Value"], i % 2 ? Json(0) : Json(true));
    }
    // All answered from the latest state before the move ended.
    EXPECT_EQ(Emulator().FocuserPosition(), 0);
    EXPECT_EQ(Get("focuser", "devicestate")["Value"][0]["Value"], true);
    EXPECT_EQ(Put("focuser", "move", "Position=10")["ErrorNumber"], kInvalidOperation);
    EXPECT_EQ(Put("filterwheel", "position", "Position=3")["ErrorNumber"], kInvalidOperation);
    EXPECT_EQ(Put("focuser", "tempcomp", "TempComp=True")["ErrorNumber"], kInvalidOperation);
    EXPECT_TRUE(WaitUntil([&] { return Get("focuser", "ismoving")["Value"] == false; }));
    EXPECT_EQ(Get("focuser", "position")["Value"], 300);

    // A filter change: the wheel reads -1 while it turns, and the focuser moves with it to
    // the filter's own position (B: 25).
    ASSERT_EQ(Put("filterwheel", "position", "Position=3")["ErrorNumber"], 0);
    EXPECT_EQ(Get("filterwheel", "position")["Value"], -1);
    EXPECT_EQ(Get("focuser", "ismoving")["Value"], true);
    EXPECT_EQ(Put("focuser", "move", "Position=10")["ErrorNumber"], kInvalidOperation);
    EXPECT_TRUE(WaitUntil([&] { return Get("filterwheel", "position")["Value"] == 3; }));
    EXPECT_EQ(Get("focuser", "ismoving")["Value"], false);
    EXPECT_EQ(Get("focuser", "position")["Value"], 25);
}

TEST_F(AlpacaServerTest, ConcurrentClients) {
    Start();
    ASSERT_TRUE(ConnectBoth());
    const uint16_t port = Server().Port();
    auto reader = [port](const char* device, const char* member) {
        HttpClient client(port);
        std::vector<uint32_t> transactions;
        for (int i = 0; i < 40; ++i) {
            const Json reply = client.Member(device, member, "ClientTransactionID=" + std::to_string(i));
            if (reply["ErrorNumber"] != 0 || reply["ClientTransactionID"] != i) return std::vector<uint32_t>{};
            transactions.push_back(reply["ServerTransactionID"]);
        }
        return transactions;
    };
    auto mover = std::async(std::launch::async, [port] {
        HttpClient client(port);
        int accepted = 0;
        for (int i = 0; i < 40; ++i) {
            const Json reply = client.SetMember("focuser", "move", "Position=" + std::to_string(100 + i));
            if (reply["ErrorNumber"] == 0) ++accepted;
            else if (reply["ErrorNumber"] != kInvalidOperation) return -1;
        }
        return accepted;
    });
    std::vector<std::future<std::vector<uint32_t>>> readers;
    for (const char* member : {"position", "ismoving", "devicestate"}) {
        readers.push_back(std::async(std::launch::async, reader, "focuser", member));
    }
    readers.push_back(std::async(std::launch::async, reader, "filterwheel", "names"));
    std::set<uint32_t> seen;
    for (auto& r : readers) {
        const auto transactions = r.get();
        ASSERT_EQ(transactions.size(), 40u);
        EXPECT_TRUE(std::is_sorted(transactions.begin(), transactions.end()));
        seen.insert(transactions.begin(), transactions.end());
    }
    EXPECT_EQ(seen.size(), 160u);  // every server transaction number once
    EXPECT_GE(mover.get(), 1);
    EXPECT_TRUE(WaitUntil([&] { return Get("focuser", "ismoving")["Value"] == false; }));
}

TEST_F(AlpacaServerTest, EachFaultEndsInTheDocumentedErrorAndTheServerStaysUp) {
    struct Case {
        const char* fault;
        std::function<void(AlpacaServerTest&)> check;
    };
    const auto connectFails = [](AlpacaServerTest& t) {
        const Json reply = t.Put("focuser", "connected", "Connected=True");
        EXPECT_EQ(reply["ErrorNumber"], kControllerError);
        EXPECT_FALSE(reply["ErrorMessage"].get<std::string>().empty());
        EXPECT_EQ(t.Get("focuser", "connected")["Value"], false);
    };
    const auto tempCompFails = [](AlpacaServerTest& t) {
        ASSERT_TRUE(t.ConnectBoth());
        EXPECT_EQ(t.Put("focuser", "tempcomp", "TempComp=True")["ErrorNumber"], kControllerError);
        EXPECT_EQ(t.Get("focuser", "position")["ErrorNumber"], 0);
    };
    const Case cases[] = {
        {"silent,times=always", connectFails},
        {"pause,ms=2000,cmd=FWreadEE", connectFails},
        {"drop,cmd=FWautoCompSet", tempCompFails},
        {"short,cmd=FWautoCompSet", tempCompFails},
        {"garbage,cmd=FWautoCompSet", tempCompFails},
        {"goto-fail",
         [](AlpacaServerTest& t) {
             ASSERT_TRUE(t.ConnectBoth());
             EXPECT_EQ(t.Put("filterwheel", "position", "Position=2")["ErrorNumber"], 0);
             // The change ended, and the wheel no longer knows where it is.
             EXPECT_TRUE(WaitUntil([&] {
                 return t.Client().Get("/setup").body.find("Latest problem") != std::string::npos;
             }));
             EXPECT_EQ(t.Get("filterwheel", "position")["Value"], -1);
         }},
        {"writeee-nak,times=always",
         [](AlpacaServerTest& t) {
             ASSERT_TRUE(t.ConnectBoth());
             EXPECT_EQ(t.Put("focuser", "tempcomp", "TempComp=True")["ErrorNumber"], 0);
             EXPECT_EQ(t.Put("filterwheel", "position", "Position=1")["ErrorNumber"], 0);
             EXPECT_TRUE(WaitUntil([&] { return t.Get("filterwheel", "position")["Value"] == 1; }));
             EXPECT_EQ(t.Emulator().CommandCount("FWwriteEE"), 0);
         }},
        {"hangup,cmd=FWgoFocus",
         [](AlpacaServerTest& t) {
             ASSERT_TRUE(t.ConnectBoth());
             EXPECT_EQ(t.Put("focuser", "move", "Position=500")["ErrorNumber"], 0);
             EXPECT_TRUE(WaitUntil([&] {
                 return t.Get("focuser", "connected")["Value"] == false &&
                        t.Get("filterwheel", "connected")["Value"] == false;
             }));
             EXPECT_EQ(t.Get("focuser", "position")["ErrorNumber"], kNotConnected);
             EXPECT_EQ(t.Put("focuser", "connected", "Connected=True")["ErrorNumber"],
                       kControllerError);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        std::string error;
        const auto fault = sim::ParseFault(c.fault, &error);
        ASSERT_TRUE(fault) << error;
        sim::EmulatorOptions options = Fast();
        options.faults = {*fault};
        const auto started = std::chrono::steady_clock::now();
        Start(options);
        c.check(*this);
        EXPECT_EQ(Client().Get("/management/apiversions").status, 200);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
        StopServer();
    }
}

TEST_F(AlpacaServerTest, UniqueIdsStayAndOtherProgramsValuesAreKept) {
    WriteSharedSettings(Dir(), StorePath());
    Start();
    const Json first = Client().Get("/management/v1/configureddevices").Json()["Value"];
    ASSERT_EQ(first.size(), 2u);
    EXPECT_NE(first[0]["UniqueID"], first[1]["UniqueID"]);
    StopServer();
    const std::string saved = ReadFileText(StorePath());
    EXPECT_NE(saved.find("; kept by another program"), std::string::npos);
    EXPECT_NE(saved.find("\"AscomFocusShift\"=dword:00000064"), std::string::npos);

    StartServer();
    EXPECT_EQ(Client().Get("/management/v1/configureddevices").Json()["Value"], first);
    StopServer();
    EXPECT_EQ(ReadFileText(StorePath()), saved);  // nothing new to write
}

TEST_F(AlpacaServerTest, SetupPageShowsTheControllerAndStoresThePort) {
    Start();
    ASSERT_TRUE(ConnectBoth());
    const std::string page = Client().Get("/setup/v1/filterwheel/0/setup").body;
    for (const std::string& text : {std::string("Kavri Filter Wheel"), std::string("Port in use"),
                                   Emulator().SlavePath(),
                                   std::string("<strong>0 L</strong>, 1 R, 2 G, 3 B, 4 Ha"),
                                   std::string("(from the command line)</option>")}) {
        EXPECT_NE(page.find(text), std::string::npos) << text;
    }
    const HttpReply changed = Client().Send("POST", "/setup", "port=COM5");
    EXPECT_EQ(changed.status, 200);
    EXPECT_NE(changed.body.find("COM5 is stored: it is used once both devices have disconnected"),
              std::string::npos);
    EXPECT_NE(changed.body.find("<option value=\"COM5\" selected>"), std::string::npos);
    EXPECT_NE(ReadFileText(StorePath()).find("\"ComPort\"=dword:00000005"), std::string::npos);
    EXPECT_EQ(Client().Send("POST", "/setup", "port=COM17").body.find("is stored"), std::string::npos);
    EXPECT_EQ(Client().Send("POST", "/setup", "port=/dev/null").status, 200);
    EXPECT_NE(ReadFileText(StorePath()).find("\"ComPort\"=dword:00000005"), std::string::npos);
}

}  // namespace
}  // namespace kavri::test
