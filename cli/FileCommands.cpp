// SPDX-License-Identifier: GPL-3.0-or-later
// save and load: the .fws settings file.

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

    // The file is read and checked once, before the controller is touched: a file that
    // cannot be read, is cut short or is no settings file is refused with nothing sent.
    std::string Check() override {
        std::string reason;
        if (!ReadSettingsFile(path_, contents_, reason)) return path_ + ": " + reason;
        return {};
    }

    Outcome Run(CommandContext& context) override {
        Session& session = *context.session;
        WheelFocuserDevice& device = session.Device();
        std::string reason;
        if (!LoadSettingsFile(device, contents_, &reason)) {
            return Outcome::Failure(kExitFailed, "settings of " + path_ + " not loaded: " + reason);
        }
        // The settings taken from the file live on only once they are saved.
        if (!session.SaveSettings(reason)) {
            return Outcome::Failure(
                kExitFailed, "the controller took the image of " + path_ + ", but " + reason);
        }
        Outcome outcome;
        outcome.data["file"] = path_;
        outcome.data["ComPort"] = device.settings.ComPort;
        outcome.text = "settings loaded from " + path_ + "\n";
        return outcome;
    }

private:
    std::string path_;
    SettingsFileContents contents_;
};

}  // namespace

std::unique_ptr<Command> MakeFileCommand(const Invocation& invocation) {
    if (invocation.command == "save") return std::make_unique<SaveCommand>(invocation.args.at(0));
    if (invocation.command == "load") return std::make_unique<LoadCommand>(invocation.args.at(0));
    return nullptr;
}

}  // namespace kavri::cli
