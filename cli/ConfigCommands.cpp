// SPDX-License-Identifier: GPL-3.0-or-later
// config and microsteps: the controller's configuration image by field name, and its
// microstep table.

#include <algorithm>
#include <cstring>
#include <vector>

#include "cli/DeviceView.h"
#include "cli/Session.h"
#include "cli/TextTable.h"
#include "device/DeviceOperations.h"

namespace kavri::cli {

namespace {

class ConfigCommand : public Command {
public:
    explicit ConfigCommand(std::vector<std::string> args) : args_(std::move(args)) {}

    std::string Check() override {
        for (const std::string& arg : args_) {
            const auto eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            const ConfigField* field = FindConfigField(name);
            if (!field) return "unknown config field '" + name + "'";
            if (std::find(shown_.begin(), shown_.end(), field) == shown_.end()) {
                shown_.push_back(field);
            }
            if (eq == std::string::npos) continue;
            const std::string text = arg.substr(eq + 1);
            const auto value = ParseInteger(text, INT64_MIN, INT64_MAX);
            if (!value) return "config field " + name + ": '" + text + "' is not a number";
            if (const auto refusal = CheckConfigValues({{field, *value}})) {
                return "config field " + ConfigRefusalText(*refusal);
            }
            if (std::any_of(assignments_.begin(), assignments_.end(),
                            [&](const auto& a) { return a.first == field; })) {
                return "config field " + name + " is assigned twice";
            }
            assignments_.emplace_back(field, *value);
        }
        return {};
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        // Only the named fields change; the whole image goes out, filter rows included, and is
        // read back.
        if (!assignments_.empty() && !WriteConfiguration(device, assignments_)) {
            return Outcome::Failure(kExitFailed, FailureText(device));
        }

        std::vector<const ConfigField*> fields = shown_;
        if (fields.empty()) {
            for (const auto& field : ConfigFields()) fields.push_back(&field);
        }
        Outcome outcome;
        TextTable table({false, true});
        for (const ConfigField* field : fields) {
            const int64_t value = ReadConfigField(device.config, *field);
            outcome.data[field->name] = value;
            table.AddRow({field->name, std::to_string(value)});
        }
        outcome.text = table.Render();
        return outcome;
    }

private:
    std::vector<std::string> args_;
    std::vector<const ConfigField*> shown_;
    ConfigValues assignments_;
};

class MicrostepsCommand : public Command {
public:
    explicit MicrostepsCommand(std::vector<std::string> args) : args_(std::move(args)) {}

    std::string Check() override {
        if (args_.size() > static_cast<size_t>(kMicrostepTableSize)) {
            return "the microstep table holds at most 128 values, not " +
                   std::to_string(args_.size());
        }
        for (const std::string& arg : args_) {
            const auto value = ParseInteger(arg, 0, 255);
            if (!value) return "microstep value '" + arg + "' is not a number 0..255";
            values_.push_back(static_cast<uint8_t>(*value));
        }
        return {};
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireFocuser(device)) return *missing;
        if (device.microstepCount < 0) {
            return Outcome::Failure(kExitFailed,
                                    "the controller did not report its microstep table");
        }
        if (!values_.empty()) {
            if (static_cast<int32_t>(values_.size()) != device.microstepCount) {
                return Outcome::Failure(
                    kExitUsage, "the microstep table has " + std::to_string(device.microstepCount) +
                                    " entries; " + std::to_string(values_.size()) +
                                    " values given");
            }
            std::copy(values_.begin(), values_.end(), device.microstepTable);
            if (!device.FWym()) {
                return Outcome::Failure(kExitFailed, FailureText(device, "microstep table"));
            }
            // Read back, so that what is shown is what the controller now holds.
            if (!device.FWzm() || device.microstepCount != static_cast<int32_t>(values_.size()) ||
                !std::equal(values_.begin(), values_.end(), device.microstepTable)) {
                return Outcome::Failure(kExitFailed,
                                        "the microstep table read back differs from the one sent");
            }
        }

        Outcome outcome;
        const auto count = static_cast<size_t>(device.microstepCount);
        const std::vector<int> table(device.microstepTable, device.microstepTable + count);
        outcome.data["microstepCount"] = device.microstepCount;
        outcome.data["microstepTable"] = table;
        std::string text = "microstepCount " + std::to_string(count) + "\n";
        TextTable rows(std::vector<bool>(16, true));
        for (size_t start = 0; start < count; start += 16) {
            std::vector<std::string> cells;
            for (size_t i = start; i < std::min(count, start + 16); ++i) {
                cells.push_back(std::to_string(table[i]));
            }
            rows.AddRow(std::move(cells));
        }
        outcome.text = text + rows.Render();
        return outcome;
    }

private:
    std::vector<std::string> args_;
    std::vector<uint8_t> values_;
};

}  // namespace

std::unique_ptr<Command> MakeConfigCommand(const Invocation& invocation) {
    if (invocation.command == "config") return std::make_unique<ConfigCommand>(invocation.args);
    if (invocation.command == "microsteps") {
        return std::make_unique<MicrostepsCommand>(invocation.args);
    }
    return nullptr;
}

}  // namespace kavri::cli
