// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/Options.h"

#include "alpaca/AsioInclude.h"

#include <CLI/CLI.hpp>

namespace kavri::alpaca {

int ParseOptions(int argc, const char* const* argv, ProgramOptions& options, std::ostream& out,
                 std::ostream& err) {
    CLI::App app("kavri-alpaca: the filter wheel and focuser controller as ASCOM Alpaca devices "
                 "(Focuser 0 and FilterWheel 0) for imaging programs on this machine or the "
                 "network.\nAlpaca has no passwords: whoever reaches the HTTP port can move the "
                 "focuser and turn the wheel.",
                 "kavri-alpaca");
    app.get_formatter()->column_width(26);
    app.add_option("--port", options.port,
                   "Controller port: auto, COMn (or n, 1..16) or a device path; default: the "
                   "stored port")
        ->option_text("PORT");
    app.add_option("--listen", options.server.listen,
                   "Address to serve on: 127.0.0.1 (default: this machine only), an address of "
                   "this machine, or 0.0.0.0 / :: for every network")
        ->option_text("ADDR");
    app.add_option("--http-port", options.server.httpPort, "HTTP port (default 11111; 0: any free)")
        ->option_text("N");
    bool noDiscovery = false;
    app.add_flag("--no-discovery", noDiscovery, "Do not answer Alpaca discovery (UDP 32227)");
    app.add_flag("--setup-from-network", options.server.remoteSetup,
                 "Let the setup pages take changes from other machines, not only this one");
    bool version = false;
    app.add_flag("--version", version, "Print the version and exit");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "kavri-alpaca: " << e.what() << "\nTry kavri-alpaca --help\n";
        return 2;
    }
    if (version) {
        out << "kavri-alpaca " << KAVRI_VERSION << "\n";
        return 0;
    }
    options.server.discovery = !noDiscovery;
    boost::system::error_code error;
    boost::asio::ip::make_address(options.server.listen, error);
    if (error) {
        err << "kavri-alpaca: --listen takes an IP address, not \"" << options.server.listen
            << "\"\nTry kavri-alpaca --help\n";
        return 2;
    }
    return -1;
}

}  // namespace kavri::alpaca
