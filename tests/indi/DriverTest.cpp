// indi_kavri end to end: indiserver runs the driver against the emulated controller, and a
// client of ours drives it over loopback.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include "indi/DriverRig.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using IndiDriverTest = DriverRig;

TEST_F(IndiDriverTest, AutoConnectTurnsRenamesAndEditsFilters) {
    Start(true, 4);
    ASSERT_TRUE(ConnectTo("auto")) << Client().Property("CONNECTION").message;

    int since = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 3);
    ExpectEnds("FILTER_SLOT", "Ok", since);
    EXPECT_EQ(Emulator().CurrentFilter(), 2);
    EXPECT_EQ(Client().Number("FILTER_SLOT", "FILTER_SLOT_VALUE"), 3);

    // Names are UTF-8 here and windows-1251 in the controller, which keeps 8 characters. A
    // client sends every name; only the changed one is written.
    since = Client().Set("Text", "FILTER_NAME",
                         {{"FILTER_SLOT_NAME_1", "L"},
                          {"FILTER_SLOT_NAME_2", "Синий-II"},
                          {"FILTER_SLOT_NAME_3", "G"},
                          {"FILTER_SLOT_NAME_4", "B"},
                          {"FILTER_SLOT_NAME_5", "Ha"}});
    ExpectEnds("FILTER_NAME", "Ok", since);
    EXPECT_EQ(sim::FilterName(Emulator().GetImage(), 1), "\xD1\xE8\xED\xE8\xE9-II");
    EXPECT_EQ(Client().Value("FILTER_NAME", "FILTER_SLOT_NAME_2"), "Синий-II");
    EXPECT_EQ(Emulator().CommandCount("FWWRITENAME"), 1);

    // A filter's focuser position: 20000 stands for none.
    since = Client().SetNumber("FILTER_FOCUS_SHIFT", "FOCUS_SHIFT_4", 20000);
    ExpectEnds("FILTER_FOCUS_SHIFT", "Ok", since);
    EXPECT_EQ(sim::ReadI16(Emulator().GetImage(), sim::offset::kFilterFocuserPositions + 6), 20000);

    // Values out of range are refused and nothing changes.
    const sim::Image image = Emulator().GetImage();
    since = Client().SetNumber("FILTER_FOCUS_SHIFT", "FOCUS_SHIFT_1", 40000);
    ExpectEnds("FILTER_FOCUS_SHIFT", "Alert", since);
    since = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 6);
    ExpectEnds("FILTER_SLOT", "Alert", since);
    EXPECT_EQ(Emulator().GetImage(), image);
    EXPECT_EQ(Emulator().CurrentFilter(), 2);
}

TEST_F(IndiDriverTest, AHeldPortIsReportedThenAPathConnectMovesAndTunesTheFocuser) {
    Start();
    const int holder = open(Emulator().SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(ConnectTo(Emulator().SlavePath()));
    EXPECT_EQ(Client().Property("CONNECTION").state, "Alert");
    EXPECT_TRUE(Client().Heard("in use by another program"));
    close(holder);
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath())) << Client().Property("CONNECTION").message;

    int since = Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1000);
    ExpectEnds("DRIVER_SETTINGS", "Ok", since);
    since = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 1500);
    ExpectEnds("ABS_FOCUS_POSITION", "Ok", since);
    EXPECT_EQ(Emulator().FocuserPosition(), 500);

    Client().SetSwitch("FOCUS_MOTION", "FOCUS_OUTWARD");
    since = Client().SetNumber("REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION", 200);
    ExpectEnds("REL_FOCUS_POSITION", "Ok", since);
    EXPECT_EQ(Emulator().FocuserPosition(), 700);
    EXPECT_EQ(Client().Number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION"), 1700);

    since = Client().SetNumber("FOCUS_SYNC", "FOCUS_SYNC_VALUE", 2000);
    ExpectEnds("FOCUS_SYNC", "Ok", since);
    EXPECT_EQ(Emulator().FocuserPosition(), 1000);

    // Beyond AscomMaxFocusPos (30000): refused before anything moves.
    since = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 30001);
    ExpectEnds("ABS_FOCUS_POSITION", "Alert", since);
    EXPECT_EQ(Emulator().FocuserPosition(), 1000);

    // The compensation thermometer is also the one FOCUS_TEMPERATURE shows.
    Emulator().SetTemperature(1, 2345);
    since = Client().SetSwitch("TEMP_COMPENSATION", "COMPENSATION_T1");
    ExpectEnds("TEMP_COMPENSATION", "Ok", since);
    EXPECT_EQ(Emulator().CompensationThermometer(), 1);
    EXPECT_TRUE(Client().WaitFor(
        [&] {
            return std::abs(Client().Number("FOCUS_TEMPERATURE", "TEMPERATURE") - 23.45) < 0.01 &&
                   std::abs(Client().Number("THERMOMETERS", "T1") - 23.45) < 0.01;
        },
        10s));
    since = Client().SetSwitch("TEMP_COMPENSATION", "COMPENSATION_OFF");
    ExpectEnds("TEMP_COMPENSATION", "Ok", since);
    EXPECT_EQ(Emulator().CompensationThermometer(), -1);

    // Backlash and speed go into the configuration image and are read back.
    since = Client().SetNumber("FOCUS_BACKLASH_STEPS", "FOCUS_BACKLASH_VALUE", 35);
    ExpectEnds("FOCUS_BACKLASH_STEPS", "Ok", since);
    since = Client().SetNumber("FOCUS_SPEED", "FOCUS_SPEED_VALUE", 250);
    ExpectEnds("FOCUS_SPEED", "Ok", since);
    const sim::Image image = Emulator().GetImage();
    EXPECT_EQ(sim::ReadU16(image, sim::offset::kFocuserBacklash), 35);
    EXPECT_EQ(sim::ReadU16(image, sim::offset::kFocuserSpeed), 250);

    // What the driver changed is in the settings store the desktop program reads.
    const std::string registry = ReadFileText(Dir().File("config/kavri/registry.reg"));
    EXPECT_NE(registry.find("\"AscomFocusShift\"=dword:000003e8"), std::string::npos);
    EXPECT_NE(registry.find("\"AscomPreferredTermometer\"=dword:00000001"), std::string::npos);
}

TEST_F(IndiDriverTest, FaultsEndAlertAndTheDriverStaysUpUntilAHangUpDisconnects) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));

    // A configuration write that is never acknowledged fails after its limit of one second.
    Emulator().AddFault(sim::ParseFault("silent,cmd=FWwriteEE,times=1", nullptr).value());
    const auto start = Clock::now();
    int since = Client().SetNumber("FOCUS_BACKLASH_STEPS", "FOCUS_BACKLASH_VALUE", 35);
    ExpectEnds("FOCUS_BACKLASH_STEPS", "Alert", since);
    EXPECT_LT(Clock::now() - start, 3500ms);
    EXPECT_EQ(sim::ReadU16(Emulator().GetImage(), sim::offset::kFocuserBacklash), 20);

    // A garbage byte before the "!" of a compensation change fails it; the "!" that follows
    // must not pass for the answer of a later command, like the next write's acknowledgement.
    Emulator().AddFault(sim::ParseFault("garbage,cmd=FWautoCompSet", nullptr).value());
    since = Client().SetSwitch("TEMP_COMPENSATION", "COMPENSATION_T1");
    ExpectEnds("TEMP_COMPENSATION", "Alert", since);
    since = Client().SetNumber("FOCUS_BACKLASH_STEPS", "FOCUS_BACKLASH_VALUE", 35);
    ExpectEnds("FOCUS_BACKLASH_STEPS", "Ok", since);

    EXPECT_EQ(Client().Value("CONNECTION", "CONNECT"), "On");
    since = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 2);
    ExpectEnds("FILTER_SLOT", "Ok", since);
    EXPECT_EQ(Emulator().CurrentFilter(), 1);

    Emulator().AddFault(sim::ParseFault("hangup,cmd=FWgoFocus", nullptr).value());
    since = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 400);
    EXPECT_TRUE(
        Client().WaitFor([&] { return Client().Value("CONNECTION", "CONNECT") == "Off"; }, 20s));
    EXPECT_EQ(Client().Property("CONNECTION").state, "Alert");
    EXPECT_TRUE(Client().Heard("hung up")) << Client().Property("ABS_FOCUS_POSITION").message;
    EXPECT_GT(Client().Property("ABS_FOCUS_POSITION").updates, since);
}

TEST_F(IndiDriverTest, DuringAMoveTheDriverAnswersAndRefusesASecondCommand) {
    // Line rate and real motion: 60 steps at 20 steps per second take 3 s. The backlash of
    // 1000 plays no part outward, but a time limit that took it for the speed would end the
    // move early.
    Start(false);
    sim::Image slow = sim::DefaultImage();
    sim::WriteU16(slow, sim::offset::kFocuserSpeed, 20);
    sim::WriteU16(slow, sim::offset::kFocuserBacklash, 1000);
    Emulator().SetImage(slow);
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    const int moveSince = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 60);
    ASSERT_TRUE(Client().WaitState("ABS_FOCUS_POSITION", {"Busy"}, moveSince));

    // The event loop never waits on the line, so any request is answered at once: the bound
    // is ten times what a loaded machine takes under the sanitizers.
    const int asked = Client().Property("FOCUS_TEMPERATURE").updates;
    auto start = Clock::now();
    Client().Ask("FOCUS_TEMPERATURE");
    EXPECT_TRUE(Client().WaitFor(
        [&] { return Client().Property("FOCUS_TEMPERATURE").updates > asked; }, 5s));
    EXPECT_LT(Clock::now() - start, 500ms);

    start = Clock::now();
    const int refusedSince = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 3);
    EXPECT_TRUE(Client().WaitState("FILTER_SLOT", {"Alert"}, refusedSince, 5s));
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_TRUE(Client().Heard("busy (a focuser move)"));

    ExpectEnds("ABS_FOCUS_POSITION", "Ok", moveSince);
    EXPECT_EQ(Emulator().FocuserPosition(), 60);
    EXPECT_EQ(Emulator().CommandCount("FWGOTO"), 0);
}

}  // namespace
}  // namespace kavri::test
