// SPDX-License-Identifier: GPL-3.0-or-later
// indi_kavri and what it shares with the other programs: the settings store, where it saves only
// what it changed itself, and the name rule every front end applies.
#include "indi/DriverRig.h"

namespace kavri::test {
namespace {

using IndiSharedSettingsTest = DriverRig;

// A hand edit of the store while the driver runs survives its later saves, which keep what the
// driver changed. FILTER_NAME and THERMOMETER_NAMES refuse whole, with the reason, the names
// kavrictl and the desktop program refuse; nothing reaches the controller or the store.
TEST_F(IndiSharedSettingsTest, SavesKeepOtherProgramsValuesAndNamesFollowTheRule) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    ExpectEnds("DRIVER_SETTINGS", "Ok",
               Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1000));
    const std::string path = Dir().File("config/kavri/registry.reg");
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
    EXPECT_TRUE(Client().Heard("holds a control character"));  // quotes come as XML entities
    EXPECT_TRUE(Client().Heard("is longer than 32 characters"));
}

}  // namespace
}  // namespace kavri::test
