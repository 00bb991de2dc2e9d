// indi_kavri and what it shares with the other programs: the settings store, where it saves only
// what it changed itself, and the name rule every front end applies to filter and thermometer
// names.
#include <regex>

#include "indi/DriverRig.h"
#include "sim/ImageLayout.h"

namespace kavri::test {
namespace {

using IndiSharedSettingsTest = DriverRig;

// A hand edit of the store while the driver runs survives every later save of the driver; the
// values the driver changed itself are saved.
TEST_F(IndiSharedSettingsTest, SavesKeepWhatOtherProgramsStored) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    int since = Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1000);
    ExpectEnds("DRIVER_SETTINGS", "Ok", since);

    const std::string path = Dir().File("config/kavri/registry.reg");
    const std::pair<const char*, const char*> edits[] = {
        {"ChangeFilterTimeoutMs", "dword:000005dc"},
        {"MinMotorStep", "dword:00000007"},
        {"AscomPreferredTermometer", "dword:00000002"},
        {"TermometerName2", "\"Hand\""},
    };
    std::string text = ReadFileText(path);
    for (const auto& [name, value] : edits) {
        const std::regex line("\"" + std::string(name) + "\"=[^\r\n]*");
        ASSERT_TRUE(std::regex_search(text, line)) << name;
        text = std::regex_replace(text, line, "\"" + std::string(name) + "\"=" + value);
    }
    WriteFileText(path, text);

    since = Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1200);
    ExpectEnds("DRIVER_SETTINGS", "Ok", since);
    since = Client().Set("Text", "THERMOMETER_NAMES", {{"NAME_0", "Main"}});
    ExpectEnds("THERMOMETER_NAMES", "Ok", since);
    since = Client().SetNumber("DRIVER_SETTINGS", "POSITION_SHIFT", 1300);
    ExpectEnds("DRIVER_SETTINGS", "Ok", since);

    text = ReadFileText(path);
    for (const auto& [name, value] : edits) {
        EXPECT_NE(text.find("\"" + std::string(name) + "\"=" + value), std::string::npos) << name;
    }
    EXPECT_NE(text.find("\"AscomFocusShift\"=dword:00000514"), std::string::npos) << text;
    EXPECT_NE(text.find("\"TermometerName0\"=\"Main\""), std::string::npos) << text;
}

// FILTER_NAME and THERMOMETER_NAMES refuse, whole and with the reason, what kavrictl and the
// desktop program refuse; nothing reaches the controller or the store.
TEST_F(IndiSharedSettingsTest, NamesFollowTheRuleOfEveryFrontEnd) {
    Start();
    ASSERT_TRUE(ConnectTo(Emulator().SlavePath()));
    const sim::Image image = Emulator().GetImage();
    const struct {
        const char* property;
        const char* element;
        std::string name;
        const char* reason;
    } cases[] = {
        {"FILTER_NAME", "FILTER_SLOT_NAME_2", "123456789", "longer than 8 characters"},
        {"FILTER_NAME", "FILTER_SLOT_NAME_2", "Фиолетовый", "longer than 8 characters"},
        {"FILTER_NAME", "FILTER_SLOT_NAME_2", "R\tG", "holds a control character"},
        {"FILTER_NAME", "FILTER_SLOT_NAME_2", "R\x7F", "holds a control character"},
        {"THERMOMETER_NAMES", "NAME_1", std::string(300, 'x'), "longer than 32 characters"},
        {"THERMOMETER_NAMES", "NAME_1", "Tube\tN", "holds a control character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int since = Client().Set("Text", c.property, {{c.element, c.name}});
        ExpectEnds(c.property, "Alert", since);
        EXPECT_NE(Client().Property(c.property).message.find(c.reason), std::string::npos)
            << Client().Property(c.property).message;
    }
    EXPECT_EQ(Emulator().CommandCount("FWWRITENAME"), 0);
    EXPECT_EQ(Emulator().GetImage(), image);
    EXPECT_EQ(Client().Value("FILTER_NAME", "FILTER_SLOT_NAME_2"), "R");
    EXPECT_EQ(ReadFileText(Dir().File("config/kavri/registry.reg")).find("xxxxx"),
              std::string::npos);
}

}  // namespace
}  // namespace kavri::test
