// save and load: the .fws settings file.

#include <fstream>
#include <iterator>
#include <system_error>

#include "cli/Command.h"
#include "cli/Session.h"
#include "persist/SettingsFile.h"
#include "persist/SettingsFileFormat.h"

namespace kavri::cli {

namespace {

class SaveCommand : public Command {
public:
    explicit SaveCommand(std::string path) : path_(std::move(path)) {}

    std::string Check() override { return path_.empty() ? "'save' needs a file name" : ""; }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        // The image saved is the one the connection has just read from the controller.
        std::string reason;
        if (!SaveSettingsFile(device, path_, &reason)) {
            return Outcome::Failure(kExitFailed,
                                    "cannot write the settings file " + path_ + ": " + reason);
        }
        std::error_code error;
        const auto size = std::filesystem::file_size(path_, error);
        Outcome outcome;
        outcome.data["file"] = path_;
        outcome.data["bytes"] = error ? 0 : size;
        outcome.text = "settings saved to " + path_ + "\n";
        return outcome;
    }

private:
    std::string path_;
};

class LoadCommand : public Command {
public:
    explicit LoadCommand(std::string path) : path_(std::move(path)) {}

    // A file that cannot be read or is cut short is refused before the controller is touched.
    std::string Check() override {
        std::ifstream file(path_, std::ios::binary);
        if (!file) return "cannot read the settings file " + path_;
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        if (file.bad()) return "cannot read the settings file " + path_;
        SettingsFileContents contents;
        if (!ParseSettingsFile(std::move(bytes), contents)) {
            return "the settings file " + path_ + " is too short to be one";
        }
        return {};
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (!LoadSettingsFile(device, path_)) {
            return Outcome::Failure(kExitFailed,
                                    "the controller did not accept the settings of " + path_);
        }
        Outcome outcome;
        outcome.data["file"] = path_;
        outcome.data["ComPort"] = device.settings.ComPort;
        outcome.text = "settings loaded from " + path_ + "\n";
        return outcome;
    }

private:
    std::string path_;
};

}  // namespace

std::unique_ptr<Command> MakeFileCommand(const Invocation& invocation) {
    if (invocation.command == "save") return std::make_unique<SaveCommand>(invocation.args.at(0));
    if (invocation.command == "load") return std::make_unique<LoadCommand>(invocation.args.at(0));
    return nullptr;
}

}  // namespace kavri::cli
