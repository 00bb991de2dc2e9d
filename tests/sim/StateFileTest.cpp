// SPDX-License-Identifier: GPL-3.0-or-later
// The state file: kept across restarts, written atomically, never clobbered when unreadable.
#include <gtest/gtest.h>

#include <filesystem>

#include "HostLine.h"
#include "support/TempDir.h"

namespace kavri::sim::test {
namespace {

using kavri::test::ReadFileText;
using kavri::test::TempDir;
using kavri::test::WriteFileText;

ControllerState Loaded(const std::string& path, bool* missing = nullptr) {
    ControllerState state;
    bool none = false;
    std::string error;
    EXPECT_TRUE(LoadStateFile(path, &state, missing ? missing : &none, &error)) << error;
    return state;
}

// Through a symbolic link, as users keep their files, to a file not made yet: the link stays
// and the file it names is written as soon as something changed, not only at the end.
TEST(SimStateFile, RoundTripThroughTheEmulatorAndALink) {
    TempDir dir;
    const std::string target = dir.File("controller.state");
    const std::string link = dir.File("link.state");
    std::filesystem::create_symlink("controller.state", link);
    const auto options = Fast([&](EmulatorOptions& o) { o.stateFile = link; });
    ControllerState changed;
    {
        SimRig rig(options);
        RunSteps(rig.line, {{"FWGOTO4", "4"},
                            {"FWsetFocus" + Le16(10000), "!"},
                            {"FWWRITENAME0Lum\0\0\0\0\0"s, "!"},
                            {"FWym" + std::string(16, '\x80'), "!"}});
        EXPECT_EQ(Loaded(target).currentFilter, 4);
        changed = rig.emulator.State();
    }
    // Nothing but the link and the file is left.
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);

    SimRig again(options);
    EXPECT_EQ(again.emulator.State(), changed);
    RunSteps(again.line, {{"FWfocus", Le16(10000)}, {ReadEE(62, 4), "Lum\0"s}});
}

TEST(SimStateFile, KeepsEveryFieldAndRefusesACorruptFileLeavingItAlone) {
    TempDir dir;
    const std::string path = dir.File("controller.state");
    ControllerState state;
    state.image[0] = 0xAB;  // reserved bytes travel too
    state.currentFilter = -1;
    state.focuserPosition = -32768;
    state.direction = -1;
    state.compensationThermometer = 3;
    state.microstepTable = {};
    std::string error;
    ASSERT_TRUE(SaveStateFile(path, state, &error)) << error;
    EXPECT_EQ(Loaded(path), state);
    bool missing = false;
    Loaded(dir.File("none"), &missing);
    EXPECT_TRUE(missing);

    const std::string valid = ReadFileText(path);
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
        WriteFileText(path, text);
        Emulator emulator(Fast([&](EmulatorOptions& o) { o.stateFile = path; }));
        EXPECT_FALSE(emulator.Start(&error)) << text;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(ReadFileText(path), text);  // the user's file is not replaced by defaults
    }
    // An unwritable place is reported, not fatal.
    error.clear();
    EXPECT_FALSE(SaveStateFile(path + "/state", state, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileText(path), std::end(corruptions)[-1]);
}

}  // namespace
}  // namespace kavri::sim::test
