// COM numbers to devices, and the per-user directories.
#include "device/PortNaming.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>

#include "device/DataDirectory.h"
#include "support/TempDir.h"

namespace kavri::test {
namespace {

namespace fs = std::filesystem;

TEST(PortNaming, DefaultsLinksAndDevicesNamedForARun) {
    TempDir temp;
    const fs::path config = fs::path(temp.Path()) / "kavri";
    fs::create_directories(config / "ports");
    fs::create_symlink("/dev/null", config / "ports" / "com5");
    // A dangling link still decides the port: it must not fall back to /dev/ttyACM1.
    fs::create_symlink(temp.File("gone"), config / "ports" / "com6");
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", temp.Path().c_str(), 1), 0);
    PortNaming naming = PortNaming::FromEnvironment();
    const std::map<int, std::string> expected = {{0, ""},
                                                 {1, "/dev/ttyUSB0"},
                                                 {4, "/dev/ttyUSB3"},
                                                 {5, config / "ports/com5"},
                                                 {6, config / "ports/com6"},
                                                 {7, "/dev/ttyACM2"},
                                                 {8, "/dev/ttyACM3"},
                                                 {9, "/dev/ttyS0"},
                                                 {16, "/dev/ttyS7"},
                                                 {17, ""}};
    for (const auto& [number, device] : expected) EXPECT_EQ(naming.DevicePath(number), device);
    const auto list = naming.List();
    ASSERT_EQ(list.size(), 16u);
    EXPECT_EQ(list[15].number, 16);
    EXPECT_TRUE(list[4].linked && list[4].exists);
    EXPECT_EQ(list[4].target, "/dev/null");
    EXPECT_TRUE(list[5].linked && !list[5].exists);
    EXPECT_FALSE(list[6].linked);
    EXPECT_EQ(naming.Label(5), "COM5 (/dev/null)");
    // A device named for this run wins over the link; numbers outside 1..16 take none.
    naming.SetDevice(6, "/dev/zero");
    naming.SetDevice(17, "/dev/zero");
    EXPECT_EQ(naming.DevicePath(6), "/dev/zero");
    EXPECT_EQ(naming.DevicePath(17), "");
}

TEST(DataDirectory, XdgVariablesWithHomeFallback) {
    std::map<std::string, std::string> vars = {{"HOME", "/home/observer"}};
    const EnvironmentLookup env = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
    EXPECT_EQ(KavriConfigDirectory(env), "/home/observer/.config/kavri");
    EXPECT_EQ(KavriDataDirectory(env), "/home/observer/.local/share/kavri");
    vars["XDG_CONFIG_HOME"] = "/etc/xdg-user";
    vars["XDG_DATA_HOME"] = "/srv/data";
    EXPECT_EQ(KavriConfigDirectory(env), "/etc/xdg-user/kavri");
    EXPECT_EQ(KavriDataDirectory(env), "/srv/data/kavri");
    // Empty or relative values are not usable locations and fall back to the home defaults.
    vars["XDG_CONFIG_HOME"] = "";
    vars["XDG_DATA_HOME"] = "relative/dir";
    EXPECT_EQ(KavriConfigDirectory(env), "/home/observer/.config/kavri");
    EXPECT_EQ(KavriDataDirectory(env), "/home/observer/.local/share/kavri");
    // Without a usable HOME the user's home comes from the password database: still absolute.
    for (const char* home : {"", "relative/home"}) {
        vars["HOME"] = home;
        EXPECT_TRUE(KavriDataDirectory(env).is_absolute()) << home;
    }
}

}  // namespace
}  // namespace kavri::test
