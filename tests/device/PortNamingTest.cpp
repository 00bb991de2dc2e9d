#include "device/PortNaming.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "device/DataDirectory.h"
#include "support/TempDir.h"

namespace kavri {
namespace {

namespace fs = std::filesystem;

class PortNamingTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(config_ / "ports"); }

    test::TempDir temp_;
    fs::path root_ = temp_.Path();
    fs::path config_ = root_ / "kavri";  // the program's configuration directory
};

TEST_F(PortNamingTest, DefaultsCoverUsbAcmAndOnboardPorts) {
    PortNaming naming(config_);
    const std::map<int, std::string> expected = {{1, "/dev/ttyUSB0"}, {4, "/dev/ttyUSB3"},
                                                 {5, "/dev/ttyACM0"}, {8, "/dev/ttyACM3"},
                                                 {9, "/dev/ttyS0"},   {16, "/dev/ttyS7"}};
    for (const auto& [number, device] : expected) {
        EXPECT_EQ(naming.DevicePath(number), device) << "COM" << number;
    }
    for (int outside : {0, -1, 17, 100}) EXPECT_EQ(naming.DevicePath(outside), "") << outside;
}

TEST_F(PortNamingTest, LinkOverridesDefaultAndIsListed) {
    const fs::path target = root_ / "pty-stand-in";
    std::ofstream(target) << "";
    fs::create_symlink(target, config_ / "ports" / "com5");
    // A dangling link still decides the port: it must not fall back to /dev/ttyACM1.
    fs::create_symlink(root_ / "gone", config_ / "ports" / "com6");

    PortNaming naming(config_);
    EXPECT_EQ(naming.DevicePath(5), (config_ / "ports" / "com5").string());
    EXPECT_EQ(naming.DevicePath(6), (config_ / "ports" / "com6").string());

    auto list = naming.List();
    ASSERT_EQ(list.size(), 16u);
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].number, static_cast<int>(i) + 1);

    EXPECT_TRUE(list[4].linked);
    EXPECT_EQ(list[4].target, target.string());
    EXPECT_TRUE(list[4].exists);
    EXPECT_TRUE(list[5].linked);
    EXPECT_FALSE(list[5].exists);
    EXPECT_FALSE(list[6].linked);
    EXPECT_EQ(list[6].device, "/dev/ttyACM2");
    EXPECT_EQ(list[6].exists, fs::exists("/dev/ttyACM2"));

    // A device named for this run wins over the link; numbers outside 1..16 take none.
    naming.SetDevice(5, "/dev/null");
    naming.SetDevice(17, "/dev/null");
    EXPECT_EQ(naming.DevicePath(5), "/dev/null");
    EXPECT_TRUE(naming.Describe(5).exists);
    EXPECT_EQ(naming.DevicePath(17), "");
}

TEST(DataDirectoryTest, XdgVariablesWithHomeFallback) {
    std::map<std::string, std::string> vars = {{"HOME", "/home/observer"}};
    EnvironmentLookup env = [&](const std::string& name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
    EXPECT_EQ(KavriConfigDirectory(env), fs::path("/home/observer/.config/kavri"));
    EXPECT_EQ(KavriDataDirectory(env), fs::path("/home/observer/.local/share/kavri"));

    vars["XDG_CONFIG_HOME"] = "/etc/xdg-user";
    vars["XDG_DATA_HOME"] = "/srv/data";
    EXPECT_EQ(KavriConfigDirectory(env), fs::path("/etc/xdg-user/kavri"));
    EXPECT_EQ(KavriDataDirectory(env), fs::path("/srv/data/kavri"));

    // Empty or relative values are not usable locations and fall back to the home defaults.
    vars["XDG_CONFIG_HOME"] = "";
    vars["XDG_DATA_HOME"] = "relative/dir";
    EXPECT_EQ(KavriConfigDirectory(env), fs::path("/home/observer/.config/kavri"));
    EXPECT_EQ(KavriDataDirectory(env), fs::path("/home/observer/.local/share/kavri"));

    // Without a usable HOME the user's home comes from the password database: still absolute.
    for (const char* home : {"", "relative/home"}) {
        vars["HOME"] = home;
        EXPECT_TRUE(KavriDataDirectory(env).is_absolute()) << home;
    }
}

TEST_F(PortNamingTest, EnvironmentNamingReadsXdgConfigHome) {
    fs::create_symlink("/dev/null", config_ / "ports" / "com12");
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", root_.c_str(), 1), 0);
    auto mapping = PortNaming::FromEnvironment().Describe(12);
    EXPECT_EQ(mapping.device, (config_ / "ports" / "com12").string());
    EXPECT_EQ(mapping.target, "/dev/null");
    EXPECT_TRUE(mapping.exists);
}

}  // namespace
}  // namespace kavri
