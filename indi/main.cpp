// SPDX-License-Identifier: GPL-3.0-or-later
// indi_kavri: libindi's driver main (in libindidriver) runs the event loop and hands requests
// to the one device. The link wraps that main (ld --wrap=main, see CMakeLists.txt): the
// program enters here, answers --help and --version itself, and builds the device only for a
// real run, so asking for help never starts the device, reads or writes the settings.
#include <cstdio>
#include <cstring>
#include <memory>

#include "indi/KavriDriver.h"

extern "C" int __real_main(int argc, char** argv);

namespace {

constexpr const char* kUsage =
    "usage: indi_kavri [-v]...\n"
    "\n"
    "The INDI driver of the filter wheel and focuser controller: one device, \"Kavri Wheel\n"
    "Focuser\", with the focuser and filter-wheel interfaces. indiserver starts it\n"
    "(indiserver indi_kavri); it speaks INDI on standard input and output.\n"
    "\n"
    "  -v           more diagnostic output on standard error (repeat for more)\n"
    "  -h, --help   this text\n"
    "  --version    the version\n";

// libindi's own options are -v flags ("-v", "-vv"); anything else it would refuse after the
// device has started.
bool IsVerbosity(const char* arg) {
    return arg[0] == '-' && arg[1] == 'v' && std::strspn(arg + 1, "v") == std::strlen(arg + 1);
}

// Destroyed at exit, when libindi's loop ends the process: the device then disconnects and
// saves its settings.
std::unique_ptr<kavri::indi::KavriDriver> driver;

}  // namespace

extern "C" int __wrap_main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("indi_kavri %s\n", KAVRI_VERSION);
            return 0;
        }
        if (!IsVerbosity(arg)) {
            std::fprintf(stderr, "indi_kavri: unknown argument '%s'\n%s", arg, kUsage);
            return 2;
        }
    }
    driver = std::make_unique<kavri::indi::KavriDriver>();
    return __real_main(argc, argv);
}
