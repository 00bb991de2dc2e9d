// SPDX-License-Identifier: GPL-3.0-or-later
// kavri-alpaca: serves the controller as Alpaca Focuser 0 and FilterWheel 0 until SIGINT or
// SIGTERM (Ctrl+C, or the console window closed, on Windows), then closes the port and saves
// the settings.
#include <iostream>
#include <optional>

#include "alpaca/AlpacaServer.h"
#include "alpaca/Options.h"
#include "alpaca/StopRequests.h"
#include "alpaca/WorkerController.h"
#include "transport/PortChoice.h"
#include "device/TemperatureLog.h"
#include "persist/DefaultSettingsStore.h"

namespace asio = boost::asio;
using namespace kavri;
using namespace kavri::alpaca;

namespace {

int Serve(const ProgramOptions& options, std::optional<PortChoice> port) {
    // The process-wide temperature log exists before the worker starts, so at exit it
    // outlives it.
    SetActiveTemperatureLog(std::nullopt);
    auto store = OpenDefaultSettingsStore();
    for (const std::string& notice : store->TakeNotices()) {
        std::cerr << "kavri-alpaca: " << notice << "\n";
    }
    if (const std::string warning = store->StorageWarning(); !warning.empty()) {
        std::cerr << "kavri-alpaca: " << warning << "\n";
    }
    ServerIdentity identity;
    std::string problem;
    identity.uniqueIds = LoadUniqueIds(*store, problem);
    if (!problem.empty()) std::cerr << "kavri-alpaca: " << problem << "\n";
    boost::system::error_code ignored;
    identity.location = asio::ip::host_name(ignored);

    asio::io_context io;
    WorkerController controller(io, *store, port);
    AlpacaServer server(io, controller, identity, options.server);
    std::string error;
    std::vector<std::string> warnings;
    if (!server.Start(error, warnings)) {
        std::cerr << "kavri-alpaca: " << error << "\n";
        return 1;
    }
    for (const std::string& warning : warnings) std::cerr << "kavri-alpaca: " << warning << "\n";
    std::cout << "kavri-alpaca " << ServerVersion() << ": Focuser 0 and FilterWheel 0 at "
              << server.Url() << " (setup page: " << server.Url() << "/setup)" << std::endl;

    std::optional<StopRequests> stopRequests(std::in_place, io, [&] {
        server.Stop();
        controller.Stop();
    });
    io.run();
    // A second Ctrl+C ends the program at once.
    stopRequests.reset();
    if (const std::string activity = controller.Activity(); !activity.empty()) {
        std::cerr << "kavri-alpaca: waiting until the controller has finished " << activity
                  << " (Ctrl+C again quits at once)" << std::endl;
    }
    std::cout << "kavri-alpaca: stopped" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ProgramOptions options;
    const int status = ParseOptions(argc, argv, options, std::cout, std::cerr);
    if (status >= 0) return status;
    std::optional<PortChoice> port;
    if (!options.port.empty()) {
        port = ParsePortChoice(options.port);
        if (!port) {
            std::cerr << "kavri-alpaca: --port takes auto, COM1 to COM16 (or 1 to 16) or a device "
                         "path, not \"" << options.port << "\"\nTry kavri-alpaca --help\n";
            return 2;
        }
    }
    try {
        return Serve(options, port);
    } catch (const std::exception& e) {
        std::cerr << "kavri-alpaca: " << e.what() << "\n";
        return 1;
    }
}
