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
    const fs::path ports = fs::path(temp.Path()) / "kavri" / "ports";
    fs::create_directories(ports);
    fs::create_symlink("/dev/null", ports / "com5");
    // A dangling link still decides the port: it must not fall back to /dev/ttyACM1.
    fs::create_symlink(temp.File("gone"), ports / "com6");
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", temp.Path().c_str(), 1), 0);
    PortNaming naming = PortNaming::FromEnvironment();
    const std::map<int, std::string> expected = {{0, ""},
                                                 {1, "/dev/ttyUSB0"},
                                                 {4, "/dev/ttyUSB3"},
                                                 {5, ports / "com5"},
                                                 {6, ports / "com6"},
                                                 {8, "/dev/ttyACM3"},
                                                 {9, "/dev/ttyS0"},
                                                 {16, "/dev/ttyS7"},
                                                 {17, ""}};
    for (const auto& [number, device] : expected) EXPECT_EQ(naming.DevicePath(number), device);
    const auto list = naming.List();
    ASSERT_EQ(list.size(), 16u);
    EXPECT_TRUE(list[4].linked && list[4].exists && list[4].target == "/dev/null");
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
    std::map<std::string, std::string> vars = {{"HOME", "/h"}};
    const EnvironmentLookup env = [&](const std::string& name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
    const auto both = [&] {
        return KavriConfigDirectory(env).string() + " " + KavriDataDirectory(env).string();
    };
    EXPECT_EQ(both(), "/h/.config/kavri /h/.local/share/kavri");
    vars = {{"HOME", "/h"}, {"XDG_CONFIG_HOME", "/etc/x"}, {"XDG_DATA_HOME", "/srv"}};
    EXPECT_EQ(both(), "/etc/x/kavri /srv/kavri");
    // Empty or relative values are no usable locations.
    vars = {{"HOME", "/h"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", "rel/dir"}};
    EXPECT_EQ(both(), "/h/.config/kavri /h/.local/share/kavri");
    // Without a usable HOME the home comes from the password database: still absolute.
    for (const char* home : {"", "rel/home"}) {
        vars = {{"HOME", home}};
        EXPECT_TRUE(KavriDataDirectory(env).is_absolute()) << home;
    }
}

}  // namespace
}  // namespace kavri::test
