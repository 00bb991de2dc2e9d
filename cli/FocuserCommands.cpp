// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser commands: position, move, step, sync, temps, compensation.

#include <algorithm>
#include <cmath>

#include "cli/DeviceView.h"
#include "cli/NameText.h"
#include "cli/Session.h"
#include "cli/TextTable.h"
#include "device/DeviceOperations.h"
#include "device/TemperatureLog.h"

namespace kavri::cli {

namespace {

Outcome PositionOutcome(int32_t position) {
    Outcome outcome;
    outcome.data["focuserPosition"] = position;
    outcome.text = "focuser position " + std::to_string(position) + "\n";
    return outcome;
}

class PositionCommand : public Command {
public:
    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireFocuser(device)) return *missing;
        int32_t position = 0;
        if (!device.GetPosition(position)) {
            return Outcome::Failure(kExitFailed, FailureText(device, "position"));
        }
        return PositionOutcome(position);
    }
};

// move and sync: one position argument.
class AbsoluteCommand : public Command {
public:
    AbsoluteCommand(bool move, std::string text) : move_(move), text_(std::move(text)) {}

    std::string Check() override {
        std::string reason;
        const auto value = ParsePosition(text_, "position", reason);
        if (value) target_ = *value;
        return value ? std::string() : reason;
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireFocuser(device)) return *missing;
        if (move_ && !device.MoveTo(target_)) {
            return Outcome::Failure(kExitFailed,
                                    FailureText(device, "move to " + std::to_string(target_)));
        }
        if (!move_ && !device.SetPosition(target_)) {
            return Outcome::Failure(kExitFailed,
                                    FailureText(device, "position " + std::to_string(target_)));
        }
        return PositionOutcome(device.focuserPosition);
    }

private:
    bool move_;
    std::string text_;
    int32_t target_ = 0;
};

class StepCommand : public Command {
public:
    explicit StepCommand(std::string text) : text_(std::move(text)) {}

    std::string Check() override {
        if (!ParseInteger(text_, INT64_MIN, INT64_MAX)) {
            return "step count '" + text_ + "' is not a number";
        }
        // No step count beyond the width of the position range can end inside it.
        const auto steps =
            ParseInteger(text_, kMinPosition - kMaxPosition, kMaxPosition - kMinPosition);
        if (!steps) return "step count " + text_ + " leaves the range -32768..32767";
        steps_ = static_cast<int32_t>(*steps);
        return {};
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireFocuser(device)) return *missing;
        // The target is checked before the move is sent; MoveRelative reads the position anew.
        int32_t position = 0;
        if (!device.GetPosition(position)) {
            return Outcome::Failure(kExitFailed, FailureText(device, "position"));
        }
        const int64_t target =
            static_cast<int64_t>(position) + static_cast<int64_t>(steps_) * device.MinMotorStep;
        if (target < kMinPosition || target > kMaxPosition) {
            return Outcome::Failure(kExitUsage, std::to_string(steps_) + " steps of " +
                                                    std::to_string(device.MinMotorStep) + " from " +
                                                    std::to_string(position) + " would end at " +
                                                    std::to_string(target) +
                                                    ", outside -32768..32767");
        }
        if (!device.MoveRelative(steps_)) {
            return Outcome::Failure(kExitFailed,
                                    FailureText(device, "move to " + std::to_string(target)));
        }
        return PositionOutcome(device.focuserPosition);
    }

private:
    std::string text_;
    int32_t steps_ = 0;
};

std::string ThermometerLabel(const WheelFocuserDevice& device, int index) {
    std::string label = "T" + std::to_string(index);
    if (index >= 0 && index < kThermometerSlots && !device.TermometerName[index].empty()) {
        label += " (" + ShownName(device.TermometerName[index]) + ")";
    }
    return label;
}

class TempsCommand : public Command {
public:
    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireFocuser(device)) return *missing;
        const int count = std::min<int>(device.config.thermometerCount, kMaxThermometers);
        Outcome outcome;
        Json values = Json::array();
        Json names = Json::array();
        TextTable table({false, true, false});
        for (int i = 0; i < count; ++i) {
            float degrees = 0.0f;
            // A thermometer without a reading is a normal state, not a failed command.
            const bool read = device.FWtemperature(i, degrees);
            values.push_back(read ? Json(std::round(degrees * 100.0) / 100.0) : Json(nullptr));
            const std::string name = i < kThermometerSlots ? device.TermometerName[i] : "";
            names.push_back(DecodedName(name));
            table.AddRow(
                {"T" + std::to_string(i), read ? FormatDegrees(degrees) : "---", ShownName(name)});
        }
        outcome.data["thermometerCount"] = count;
        outcome.data["temperatures"] = values;
        outcome.data["TermometerName"] = names;
        outcome.text = count == 0 ? "no thermometers configured\n" : table.Render();
        return outcome;
    }
};

class CompensationCommand : public Command {
public:
    explicit CompensationCommand(std::optional<std::string> choice) : choice_(std::move(choice)) {}

    std::string Check() override {
        if (!choice_) return {};
        if (*choice_ == "off") {
            selector_ = -1;
            return {};
        }
        const auto value = ParseInteger(*choice_, 0, kThermometerSlots - 1);
        if (!value) return "compensation thermometer '" + *choice_ + "' is not off or 0..3";
        selector_ = static_cast<int32_t>(*value);
        return {};
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireFocuser(device)) return *missing;
        int32_t selector = selector_;
        if (choice_) {
            if (!device.FWautoCompSet(selector_)) {
                return Outcome::Failure(
                    kExitFailed,
                    FailureText(device, selector_ < 0 ? "compensation off"
                                                      : "compensation on " +
                                                            ThermometerLabel(device, selector_)));
            }
            // As the desktop panel does, the chosen thermometer becomes the preferred one. It is
            // saved now, so a store that cannot be written is told instead of lost at exit.
            if (selector_ >= 0) {
                device.settings.AscomPreferredTermometer = selector_;
                std::string reason;
                if (!context.session->SaveSettings(reason)) {
                    return Outcome::Failure(kExitFailed, "compensation is on " +
                                                             ThermometerLabel(device, selector_) +
                                                             ", but " + reason);
                }
            }
        } else if (!device.FWisAuto(selector)) {
            return Outcome::Failure(kExitFailed, FailureText(device, "compensation thermometer"));
        }
        Outcome outcome;
        outcome.data["compensationThermometer"] = selector;
        outcome.text = "compensation: " +
                       (selector < 0 ? std::string("off") : ThermometerLabel(device, selector)) +
                       "\n";
        return outcome;
    }

private:
    std::optional<std::string> choice_;
    int32_t selector_ = -1;
};

}  // namespace

std::unique_ptr<Command> MakeFocuserCommand(const Invocation& invocation) {
    const std::string& name = invocation.command;
    if (name == "position") return std::make_unique<PositionCommand>();
    if (name == "move") return std::make_unique<AbsoluteCommand>(true, invocation.args.at(0));
    if (name == "sync") return std::make_unique<AbsoluteCommand>(false, invocation.args.at(0));
    if (name == "step") return std::make_unique<StepCommand>(invocation.args.at(0));
    if (name == "temps") return std::make_unique<TempsCommand>();
    if (name == "compensation") {
        return std::make_unique<CompensationCommand>(
            invocation.args.empty() ? std::nullopt : std::optional(invocation.args[0]));
    }
    return nullptr;
}

}  // namespace kavri::cli
