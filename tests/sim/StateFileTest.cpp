// The state file: kept across restarts, written atomically, never clobbered when unreadable.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "HostLine.h"
#include "TempDir.h"
#include "sim/Emulator.h"

namespace kavri::sim::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(SimStateFile, RoundTripThroughTheEmulator) {
    TempDir dir;
    EmulatorOptions options;
    options.fast = true;
    options.stateFile = dir / "controller.state";
    ControllerState changed;
    {
        Emulator emulator(options);
        ASSERT_TRUE(emulator.Start());
        HostLine line(emulator.SlavePath());
        EXPECT_EQ(line.Ask("FWGOTO4", 1), B("4"));
        EXPECT_EQ(line.Ask("FWsetFocus\x10\x27", 1), B("!"));  // 10000
        EXPECT_EQ(line.Ask(std::string("FWWRITENAME0") + "Lum" + std::string(5, '\0'), 1), B("!"));
        Bytes table = B("FWym");
        table.insert(table.end(), 16, 0x80);
        line.Send(table);
        EXPECT_EQ(line.Read(1), B("!"));
        // Saved as soon as it changed, not only at the end.
        ControllerState onDisk;
        bool missing = true;
        ASSERT_TRUE(LoadStateFile(options.stateFile, &onDisk, &missing, nullptr));
        EXPECT_FALSE(missing);
        EXPECT_EQ(onDisk.currentFilter, 4);
        changed = emulator.State();
    }
    // Nothing but the state file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    Emulator again(options);
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(again.State(), changed);
    HostLine line(again.SlavePath());
    EXPECT_EQ(line.Ask("FWfocus", 2), (Bytes{0x10, 0x27}));
    EXPECT_EQ(FilterName(again.GetImage(), 0), "Lum");
}

TEST(SimStateFile, ALinkStaysAndTheFileItNamesIsUpdated) {
    TempDir dir;
    const std::string target = dir / "controller.state";
    ASSERT_TRUE(SaveStateFile(target, ControllerState{}, nullptr));
    std::filesystem::create_symlink("controller.state", dir / "link.state");
    EmulatorOptions options;
    options.fast = true;
    options.stateFile = dir / "link.state";
    {
        Emulator emulator(options);
        ASSERT_TRUE(emulator.Start());
        HostLine line(emulator.SlavePath());
        EXPECT_EQ(line.Ask("FWGOTO4", 1), B("4"));
    }
    EXPECT_TRUE(std::filesystem::is_symlink(options.stateFile));
    ControllerState onDisk;
    bool missing = true;
    ASSERT_TRUE(LoadStateFile(target, &onDisk, &missing, nullptr));
    EXPECT_EQ(onDisk.currentFilter, 4);
}

TEST(SimStateFile, SaveAndLoadKeepEveryField) {
    TempDir dir;
    ControllerState state;
    state.image[0] = 0xAB;  // reserved bytes travel too
    state.currentFilter = -1;
    state.focuserPosition = -32768;
    state.direction = -1;
    state.compensationThermometer = 3;
    state.microstepTable = {};
    std::string error;
    ASSERT_TRUE(SaveStateFile(dir / "s", state, &error)) << error;
    ControllerState loaded;
    bool missing = false;
    ASSERT_TRUE(LoadStateFile(dir / "s", &loaded, &missing, &error)) << error;
    EXPECT_EQ(loaded, state);

    ASSERT_TRUE(LoadStateFile(dir / "none", &loaded, &missing, &error));
    EXPECT_TRUE(missing);
}

TEST(SimStateFile, CorruptFileIsRefusedAndLeftAlone) {
    TempDir dir;
    const std::string path = dir / "bad.state";
    ControllerState good;
    ASSERT_TRUE(SaveStateFile(path, good, nullptr));
    const std::string valid = Slurp(path);
    const std::string corruptions[] = {
        "image=00\n",                                     // too short
        valid + "filter=12\n",                            // out of range
        valid + "position=40000\n",                       // beyond 16 bits
        valid + "table=" + std::string(258, '0') + "\n",  // 129 entries
        valid + "colour=blue\n",                          // unknown key
        "filter=1\n",                                     // no image
        valid.substr(0, 40) + "zz" + valid.substr(42),    // not hex
    };
    for (const std::string& text : corruptions) {
        Spit(path, text);
        EmulatorOptions options;
        options.stateFile = path;
        Emulator emulator(options);
        std::string error;
        EXPECT_FALSE(emulator.Start(&error)) << text;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(Slurp(path), text);  // the user's file is not replaced by defaults
    }
}

TEST(SimStateFile, UnwritablePlaceIsReportedNotFatal) {
    TempDir dir;
    Spit(dir / "plain", "x");
    ControllerState state;
    std::string error;
    EXPECT_FALSE(SaveStateFile(dir / "plain/state", state, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Slurp(dir / "plain"), "x");
}

}  // namespace
}  // namespace kavri::sim::test
