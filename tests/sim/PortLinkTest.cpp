// Where `kavri-sim --com N` puts its link: where the programs look for COMN.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "sim/PortLink.h"

namespace kavri::sim::test {
namespace {

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SimPortLink, ComPortLinkFollowsTheProgramsRule) {
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    const std::string userHome = user->pw_dir;
    struct Case {
        const char* name;
        std::optional<std::string> home;
        std::optional<std::string> xdg;
        std::string expected;
    };
    const Case cases[] = {
        {"no HOME", std::nullopt, std::nullopt, userHome + "/.config/kavri/ports/com3"},
        {"empty HOME", "", std::nullopt, userHome + "/.config/kavri/ports/com3"},
        {"relative XDG", "/home/observer", "relative/config",
         "/home/observer/.config/kavri/ports/com3"},
        {"absolute XDG", "/home/observer", "/srv/config", "/srv/config/kavri/ports/com3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv home("HOME", c.home);
        ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(ComPortLinkPath(3), c.expected);
    }
}

}  // namespace
}  // namespace kavri::sim::test
