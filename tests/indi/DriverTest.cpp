// SPDX-License-Identifier: GPL-3.0-or-later
// indi_kavri end to end: indiserver runs the driver against the emulated controller, and a
// client of ours drives it over loopback the way Ekos does - the standard properties, and the
// states each request takes them through: Busy, then Ok or Alert, and fresh after a reconnect.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <optional>

#include "indi/DriverRig.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

using namespace std::chrono_literals;
using IndiDriverTest = DriverRig;
using Names = std::vector<std::string>;

// Busy first, then only Busy (progress), and `end` last.
bool BusyThen(const Names& states, const std::string& end) {
    return states.size() >= 2 && states.back() == end &&
           std::all_of(states.begin(), states.end() - 1,
                       [](const std::string& s) { return s == "Busy"; });
}

// Element names of a property while it is defined; empty when it is not.
Names Elements(IndiClient& client, const std::string& property) {
    Names names;
    if (!client.Property(property).defined) return names;
    for (const auto& [name, value] : client.Property(property).values) names.push_back(name);
    return names;
}

// A second copy of the driver, on its own (standard input and output, no indiserver), connected
// to `port`: the process a client that starts the driver twice has running.
class SecondDriver : public ChildProgram {
public:
    explicit SecondDriver(const std::string& port)
        : ChildProgram(INDI_DRIVER_PROGRAM, {}, "", {.input = true}) {
        output_.emplace().Adopt(TakeStdout());
        const std::string device = "device='Kavri Wheel Focuser'";
        EXPECT_TRUE(Write("<getProperties version='1.7'/><newTextVector " + device +
                          " name='DEVICE_PORT'><oneText name='PORT'>" + port +
                          "</oneText></newTextVector><newSwitchVector " + device +
                          " name='CONNECTION'><oneSwitch name='CONNECT'>On</oneSwitch>"
                          "</newSwitchVector>"));
    }
    ~SecondDriver() {
        output_.reset();
        CloseInput();  // the driver ends at the end of its input
        Wait();
    }
    // Until the driver reports its connection Ok.
    bool Connected() { return output_->WaitState("CONNECTION", {"Ok"}, 0); }

private:
    std::optional<IndiClient> output_;  // what the driver writes, read as a client reads it
};

TEST_F(IndiDriverTest, AutoConnectTurnsRenamesAndEditsFilters) {
    Start(true, 4);
    ASSERT_TRUE(ConnectTo("auto")) << Client().Property("CONNECTION").message;

    // Every label a user reads in a client is English; the filter names (the user's own) are
    // still the emulator's defaults here.
    for (const std::string& name : Client().Defined()) {
        for (const auto& [element, label] : Client().Property(name).labels) {
            EXPECT_TRUE(
                std::all_of(label.begin(), label.end(), [](unsigned char c) { return c < 0x80; }))
                << name << "." << element << ": " << label;
        }
    }

    int since = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 3);
    ExpectEnds("FILTER_SLOT", "Ok", since);
    EXPECT_EQ(Client().Property("FILTER_SLOT").StatesSince(since), (Names{"Busy", "Ok"}));
    EXPECT_EQ(Emulator().CurrentFilter(), 2);
    EXPECT_EQ(Client().Number("FILTER_SLOT", "FILTER_SLOT_VALUE"), 3);
    EXPECT_TRUE(Client().Heard("Turning to filter 3 (G)"));

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

    // Values out of range are refused with the reason, and nothing changes or is announced.
    const sim::Image image = Emulator().GetImage();
    since = Client().SetNumber("FILTER_FOCUS_SHIFT", "FOCUS_SHIFT_1", 40000);
    ExpectEnds("FILTER_FOCUS_SHIFT", "Alert", since);
    since = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 6);
    ExpectEnds("FILTER_SLOT", "Alert", since);
    EXPECT_EQ(Client().Property("FILTER_SLOT").message,
              "Slot 6 does not exist: the wheel has 5 filters");
    EXPECT_FALSE(Client().Heard("filter 6")) << "a refused change must not be announced";
    EXPECT_EQ(Emulator().GetImage(), image);
    EXPECT_EQ(Emulator().CurrentFilter(), 2);
}

TEST_F(IndiDriverTest, ThermometerPropertiesFollowTheControllersCount) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    struct Case {
        int count;
        Names readings, names, compensation;
    };
    const Case cases[] = {
        {2,
         {"T0", "T1"},
         {"NAME_0", "NAME_1"},
         {"COMPENSATION_OFF", "COMPENSATION_T0", "COMPENSATION_T1"}},
        {3,
         {"T0", "T1", "T2"},
         {"NAME_0", "NAME_1", "NAME_2"},
         {"COMPENSATION_OFF", "COMPENSATION_T0", "COMPENSATION_T1", "COMPENSATION_T2"}},
        {0, {}, {}, {}},
        // The controller reads up to eight; names and compensation cover the first four.
        {6,
         {"T0", "T1", "T2", "T3", "T4", "T5"},
         {"NAME_0", "NAME_1", "NAME_2", "NAME_3"},
         {"COMPENSATION_OFF", "COMPENSATION_T0", "COMPENSATION_T1", "COMPENSATION_T2",
          "COMPENSATION_T3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        if (c.count != 2) {
            const int since = Client().SetNumber("FOCUSER_SETTINGS", "THERMOMETER_COUNT", c.count);
            ExpectEnds("FOCUSER_SETTINGS", "Ok", since);
        }
        EXPECT_EQ(Elements(Client(), "THERMOMETERS"), c.readings);
        EXPECT_EQ(Elements(Client(), "THERMOMETER_NAMES"), c.names);
        EXPECT_EQ(Elements(Client(), "TEMP_COMPENSATION"), c.compensation);
        EXPECT_EQ(Client().Property("FOCUS_TEMPERATURE").defined, c.count > 0);
    }
}

TEST_F(IndiDriverTest, AHeldPortIsReportedThenAPathConnectMovesAndTunesTheFocuser) {
    Start();
    const std::string path = Emulator().SlavePath();
    // A port the driver cannot use is refused; a good one after it goes Ok at once, without
    // showing the refusal's state again.
    int since = Client().Set("Text", "DEVICE_PORT", {{"PORT", "COM99"}});
    ExpectEnds("DEVICE_PORT", "Alert", since);
    since = Client().Set("Text", "DEVICE_PORT", {{"PORT", path}});
    ExpectEnds("DEVICE_PORT", "Ok", since);
    EXPECT_EQ(Client().Property("DEVICE_PORT").StatesSince(since), Names{"Ok"});

    const int holder = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(ConnectTo(path));
    EXPECT_EQ(Client().Property("CONNECTION").state, "Alert");
    EXPECT_TRUE(Client().Heard("in use by another program"));
    close(holder);
    {
        // Another copy of the driver holds the port: it is named, with the way out.
        SecondDriver first(path);
        ASSERT_TRUE(first.Connected());
        EXPECT_FALSE(ConnectTo(path));
        const std::string& message = Client().Property("CONNECTION").message;
        EXPECT_NE(message.find("in use by indi_kavri (process " + std::to_string(first.Pid())),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("Another copy of this driver"), std::string::npos) << message;
    }
    ASSERT_TRUE(ConnectTo(path)) << Client().Property("CONNECTION").message;

    since = Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1000);
    ExpectEnds("DRIVER_SETTINGS", "Ok", since);
    // A move takes both position properties through Busy to Ok.
    since = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 1500);
    int relativeSince = Client().Property("REL_FOCUS_POSITION").updates;
    ExpectEnds("ABS_FOCUS_POSITION", "Ok", since);
    EXPECT_TRUE(BusyThen(Client().Property("ABS_FOCUS_POSITION").StatesSince(since), "Ok"));
    EXPECT_EQ(Client().Property("REL_FOCUS_POSITION").StatesSince(relativeSince),
              (Names{"Busy", "Ok"}));
    EXPECT_EQ(Emulator().FocuserPosition(), 500);

    Client().SetSwitch("FOCUS_MOTION", "FOCUS_OUTWARD");
    since = Client().Property("ABS_FOCUS_POSITION").updates;
    relativeSince = Client().SetNumber("REL_FOCUS_POSITION", "FOCUS_RELATIVE_POSITION", 200);
    ExpectEnds("REL_FOCUS_POSITION", "Ok", relativeSince);
    EXPECT_EQ(Client().Property("REL_FOCUS_POSITION").StatesSince(relativeSince),
              (Names{"Busy", "Ok"}));
    EXPECT_TRUE(BusyThen(Client().Property("ABS_FOCUS_POSITION").StatesSince(since), "Ok"));
    EXPECT_EQ(Emulator().FocuserPosition(), 700);
    EXPECT_EQ(Client().Number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION"), 1700);

    since = Client().SetNumber("FOCUS_SYNC", "FOCUS_SYNC_VALUE", 2000);
    ExpectEnds("FOCUS_SYNC", "Ok", since);
    EXPECT_EQ(Emulator().FocuserPosition(), 1000);

    // Outside 0..AscomMaxFocusPos (30000), or no number at all: refused with the reason before
    // anything moves.
    for (const char* position : {"-1", "30001", "1e9", "nan", "inf"}) {
        SCOPED_TRACE(position);
        since =
            Client().Set("Number", "ABS_FOCUS_POSITION", {{"FOCUS_ABSOLUTE_POSITION", position}});
        ExpectEnds("ABS_FOCUS_POSITION", "Alert", since);
        EXPECT_NE(Client().Property("ABS_FOCUS_POSITION").message.find("0 to 30000"),
                  std::string::npos)
            << Client().Property("ABS_FOCUS_POSITION").message;
    }
    EXPECT_EQ(Emulator().FocuserPosition(), 1000);
    EXPECT_EQ(Emulator().CommandCount("FWgoFocus"), 2);

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
    const std::string registry = ReadFileText(Dir().File("kavri/registry.reg"));
    EXPECT_NE(registry.find("\"AscomFocusShift\"=dword:000003e8"), std::string::npos);
    EXPECT_NE(registry.find("\"AscomPreferredTermometer\"=dword:00000001"), std::string::npos);
}

TEST_F(IndiDriverTest, EveryFaultEndsItsRequestAndAReconnectStartsFresh) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    struct Case {
        const char* fault;
        const char* kind;
        const char* property;
        const char* element;
        const char* value;
        const char* end;
        const char* reason;  // in the property's message
    };
    const Case cases[] = {
        {"silent,cmd=FWGOTO,times=1", "Number", "FILTER_SLOT", "FILTER_SLOT_VALUE", "2", "Alert",
         "did not report the filter in time"},
        {"drop,cmd=FWgoFocus", "Number", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", "20",
         "Alert", "did not report the end"},
        {"short,cmd=FWreadEE", "Number", "FOCUS_SPEED", "FOCUS_SPEED_VALUE", "150", "Alert",
         "could not be read back"},
        // A garbage byte before the "!" fails the change; the "!" that follows must not pass
        // for the answer of a later command.
        {"garbage,cmd=FWautoCompSet", "Switch", "TEMP_COMPENSATION", "COMPENSATION_T1", "On",
         "Alert", "did not accept"},
        {"pause,cmd=FWGOTO,ms=300,times=1", "Number", "FILTER_SLOT", "FILTER_SLOT_VALUE", "4", "Ok",
         ""},
        {"goto-fail", "Number", "FILTER_SLOT", "FILTER_SLOT_VALUE", "3", "Alert",
         "position is unknown"},
        {"writeee-nak", "Number", "FOCUS_BACKLASH_STEPS", "FOCUS_BACKLASH_VALUE", "35", "Alert",
         "did not accept"},
        // The line dies under a move and under a filter change: the request ends Alert with
        // the reason, then the connection ends and the properties go.
        {"hangup,cmd=FWgoFocus", "Number", "ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", "400",
         "Alert", "hung up"},
        {"hangup,cmd=FWGOTO", "Number", "FILTER_SLOT", "FILTER_SLOT_VALUE", "1", "Alert",
         "hung up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Emulator().AddFault(sim::ParseFault(c.fault, nullptr).value());
        const int since = Client().Set(c.kind, c.property, {{c.element, c.value}});
        ExpectEnds(c.property, c.end, since);
        EXPECT_TRUE(BusyThen(Client().Property(c.property).StatesSince(since), c.end));
        EXPECT_NE(Client().Property(c.property).message.find(c.reason), std::string::npos)
            << Client().Property(c.property).message;
        Emulator().ClearFaults();
        if (Emulator().HungUp()) {
            EXPECT_TRUE(
                Client().WaitFor([&] { return !Client().Property(c.property).defined; }, 10s));
            EXPECT_EQ(Client().Property("CONNECTION").state, "Alert");
            EXPECT_TRUE(Client().Heard("hung up the line"));
            RestartEmulator();
        }
        ASSERT_TRUE(Reconnect(Emulator().SlavePath())) << Client().Property("CONNECTION").message;
        // A connection starts from the controller's state: what it read is Ok, the rest Idle.
        EXPECT_EQ(Client().Property("ABS_FOCUS_POSITION").state, "Ok");
        EXPECT_EQ(Client().Property("FILTER_SLOT").state, "Ok");
        for (const char* name :
             {"REL_FOCUS_POSITION", "FOCUS_SPEED", "TEMP_COMPENSATION", "FOCUS_BACKLASH_STEPS"}) {
            EXPECT_EQ(Client().Property(name).state, "Idle") << name;
        }
    }
}

TEST_F(IndiDriverTest, AMoveShowsProgressAndADisconnectDuringItAlwaysSucceeds) {
    // Line rate and real motion: 60 steps at 10 steps per second take 6 s, long enough for
    // everything below to happen during the move on a loaded machine. The backlash of 1000
    // plays no part outward, but a time limit that took it for the speed would end the move
    // early.
    Start(false);
    sim::Image slow = sim::DefaultImage();
    sim::WriteU16(slow, sim::offset::kFocuserSpeed, 10);
    sim::WriteU16(slow, sim::offset::kFocuserBacklash, 1000);
    Emulator().SetImage(slow);
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    const int relativeSince = Client().Property("REL_FOCUS_POSITION").updates;
    const int moveSince = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 60);
    ASSERT_TRUE(Client().WaitState("ABS_FOCUS_POSITION", {"Busy"}, moveSince));
    EXPECT_TRUE(Client().WaitState("REL_FOCUS_POSITION", {"Busy"}, relativeSince));
    EXPECT_EQ(Client().Property("ABS_FOCUS_POSITION").message,
              "Moving to 60: 60 steps at 10 steps/s, about 6.0 s");

    // The event loop never waits on the line, so any request is answered while the controller
    // is still moving.
    const int asked = Client().Property("FOCUS_TEMPERATURE").updates;
    Client().Ask("FOCUS_TEMPERATURE");
    EXPECT_TRUE(Client().WaitFor(
        [&] { return Client().Property("FOCUS_TEMPERATURE").updates > asked; }, 5s));
    EXPECT_NE(Emulator().FocuserPosition(), 60);

    // Another command is refused with the reason, during the move; another move leaves the
    // running one Busy.
    int since = Client().SetNumber("FILTER_SLOT", "FILTER_SLOT_VALUE", 3);
    EXPECT_TRUE(Client().WaitState("FILTER_SLOT", {"Alert"}, since, 5s));
    EXPECT_NE(Emulator().FocuserPosition(), 60);
    EXPECT_TRUE(Client().Heard("busy (a focuser move)"));
    since = Client().SetNumber("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION", 30);
    EXPECT_TRUE(Client().WaitFor(
        [&] {
            return Client().Property("ABS_FOCUS_POSITION").message.find("busy") !=
                   std::string::npos;
        },
        5s));
    EXPECT_EQ(Client().Property("ABS_FOCUS_POSITION").state, "Busy");

    // Progress once a second, without a position the controller did not report: over 2.2 s at
    // least two updates, none more than 2 s apart however loaded the machine (a move without
    // progress would go silent for its whole 6 s).
    Client().WaitFor([] { return false; }, 2200ms);
    const auto& history = Client().Property("ABS_FOCUS_POSITION").history;
    EXPECT_GE(history.size(), static_cast<size_t>(moveSince) + 3);
    for (size_t i = static_cast<size_t>(moveSince) + 1; i < history.size(); ++i) {
        EXPECT_EQ(history[i].state, "Busy");
        EXPECT_LT(history[i].at - history[i - 1].at, 2s) << history[i].message;
    }
    EXPECT_NE(history.back().message.find("of about 6.0 s"), std::string::npos);
    EXPECT_EQ(Client().Number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION"), 0);

    // A disconnect is done at once, before the move ends; the move's properties end Alert with
    // what will happen.
    since = Client().SetSwitch("CONNECTION", "DISCONNECT");
    ASSERT_TRUE(Client().WaitState("CONNECTION", {"Idle"}, since, 5s));
    EXPECT_NE(Emulator().FocuserPosition(), 60);
    EXPECT_EQ(history.back().state, "Alert");
    EXPECT_NE(history.back().message.find("Disconnected during the move to 60"), std::string::npos);
    EXPECT_TRUE(
        Client().WaitFor([&] { return !Client().Property("ABS_FOCUS_POSITION").defined; }, 5s));

    // The next connection waits for the move's end and reads where it ended.
    since = Client().SetSwitch("CONNECTION", "CONNECT");
    ASSERT_TRUE(Client().WaitState("CONNECTION", {"Busy"}, since));
    EXPECT_EQ(Client().Property("CONNECTION").message, "Connecting once a focuser move has ended");
    ExpectEnds("CONNECTION", "Ok", since);
    EXPECT_TRUE(Client().WaitFor(
        [&] {
            return Client().Property("ABS_FOCUS_POSITION").defined &&
                   Client().Number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION") == 60;
        },
        10s));
    EXPECT_EQ(Emulator().FocuserPosition(), 60);
    EXPECT_EQ(Emulator().CommandCount("FWgoFocus"), 1);
}

// indi_kavri and what it shares with the other programs: the settings store, where it saves only
// what it changed itself, and the name rule every front end applies.
using IndiSharedSettingsTest = DriverRig;

// A hand edit of the store while the driver runs survives its later saves, which keep what the
// driver changed. FILTER_NAME and THERMOMETER_NAMES refuse whole, with the reason, the names
// kavrictl and the desktop program refuse; nothing reaches the controller or the store.
TEST_F(IndiSharedSettingsTest, SavesKeepOtherProgramsValuesAndNamesFollowTheRule) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    ExpectEnds("DRIVER_SETTINGS", "Ok",
               Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1000));
    const std::string path = Dir().File("kavri/registry.reg");
    std::string text = ReadFileText(path);
    for (std::string_view line : {"MinMotorStep\"=dword:00000001", "Termometer\"=dword:00000000"})
        text.replace(text.find(line), line.size(),  // throws when it is not there
                     std::string(line.substr(0, line.size() - 1)) + "7");
    WriteFileText(path, text);
    const std::tuple<const char*, const char*, std::string, const char*> requests[] = {
        {"DRIVER_SETTINGS", "POSITION_SHIFT", "1200", "Ok"},
        {"THERMOMETER_NAMES", "NAME_0", "Main", "Ok"},
        {"FILTER_NAME", "FILTER_SLOT_NAME_2", "Фиолетовый", "Alert"},
        {"FILTER_NAME", "FILTER_SLOT_NAME_2", "R\tG", "Alert"},
        {"THERMOMETER_NAMES", "NAME_1", std::string(33, 'x'), "Alert"},
        {"DRIVER_SETTINGS", "POSITION_SHIFT", "1300", "Ok"},
    };
    for (const auto& [property, element, value, state] : requests) {
        const char* kind = std::string(property) == "DRIVER_SETTINGS" ? "Number" : "Text";
        ExpectEnds(property, state, Client().Set(kind, property, {{element, value}}));
    }
    text = ReadFileText(path);
    for (const char* line :
         {"\"MinMotorStep\"=dword:00000007", "\"TermometerName0\"=\"Main\"",
          "\"AscomPreferredTermometer\"=dword:00000007", "\"AscomFocusShift\"=dword:00000514"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
    }
    EXPECT_EQ(std::pair(text.find("xxx"), Emulator().CommandCount("FWWRITENAME")),
              std::pair(std::string::npos, 0));
    EXPECT_TRUE(Client().Heard("holds a control character"));
    EXPECT_TRUE(Client().Heard("is longer than 32 characters"));
}

}  // namespace
}  // namespace kavri::test
