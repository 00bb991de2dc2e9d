// SPDX-License-Identifier: GPL-3.0-or-later
// The filter wheel commands: filters, goto, home, rename, filter-edit.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "cli/DeviceView.h"
#include "cli/NameText.h"
#include "cli/Session.h"
#include "cli/TextTable.h"
#include "device/DeviceOperations.h"

namespace kavri::cli {

namespace {

std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A row index argument; the table's size is checked once connected.
std::optional<int32_t> ParseRowIndex(const std::string& text, std::string& reason) {
    const auto value = ParseInteger(text, 0, kConfigFilterSlots - 1);
    if (!value) reason = "filter index '" + text + "' is not a number 0..9";
    return value ? std::optional<int32_t>(static_cast<int32_t>(*value)) : std::nullopt;
}

std::optional<Outcome> RequireRow(const WheelFocuserDevice& device, int32_t index) {
    const auto rows = static_cast<int32_t>(device.filters.size());
    if (index < rows) return std::nullopt;
    return Outcome::Failure(kExitUsage, "filter index " + std::to_string(index) +
                                            " is not in the table (0.." + std::to_string(rows - 1) +
                                            ")");
}

class FiltersCommand : public Command {
public:
    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireWheel(device)) return *missing;
        Outcome outcome;
        TextTable table({true, false, true, true});
        table.AddRow({"#", "Name", "Correction", "Focus Shift"});
        Json rows = Json::array();
        for (size_t i = 0; i < device.filters.size(); ++i) {
            const FilterEntry& row = device.filters[i];
            const bool current = static_cast<int32_t>(i) == device.currentFilter;
            table.AddRow({(current ? "*" : "") + std::to_string(i), FilterNameText(row),
                          std::to_string(row.wheelPosition), FocusShiftText(row.focuserPosition)});
            rows.push_back(Json{{"index", i},
                                {"name", FilterName(row)},
                                {"wheelPosition", row.wheelPosition},
                                {"focuserPosition", FocusShiftJson(row.focuserPosition)}});
        }
        outcome.text =
            table.Render() + "current filter: " + FilterLabel(device, device.currentFilter) + "\n";
        outcome.data["currentFilter"] = device.currentFilter;
        outcome.data["filters"] = rows;
        return outcome;
    }
};

class GotoCommand : public Command {
public:
    explicit GotoCommand(std::string target) : target_(std::move(target)) {}

    std::string Check() override {
        if (target_.empty()) return "'goto' needs a filter index or name";
        // Names are matched as the controller holds them, in windows-1251; text no filter name
        // can hold is refused as a name to store would be. A longer text may be an index, and
        // simply matches no name.
        NameCheck check = CheckTypedName(NameKind::Filter, target_);
        if (check.problem == NameProblem::TooLong) check.problem = NameProblem::None;
        stored_ = check.bytes;
        return NameRefusal(NameKind::Filter, target_, check);
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireWheel(device)) return *missing;
        int32_t index = -1;
        if (auto reason = Resolve(device, index); !reason.empty()) {
            return Outcome::Failure(kExitUsage, reason);
        }
        if (!device.SelectFilter(index)) {
            return Outcome::Failure(kExitFailed,
                                    FailureText(device, "filter " + FilterLabel(device, index)));
        }
        Outcome outcome;
        outcome.data["currentFilter"] = device.currentFilter;
        outcome.data["name"] = FilterName(device.filters[static_cast<size_t>(index)]);
        outcome.text = "filter " + FilterLabel(device, index) + " selected\n";
        return outcome;
    }

private:
    // An index within the table wins; otherwise a name, compared without regard to case.
    std::string Resolve(const WheelFocuserDevice& device, int32_t& index) const {
        const auto rows = static_cast<int64_t>(device.filters.size());
        if (const auto number = ParseInteger(target_, INT64_MIN, INT64_MAX)) {
            if (*number >= 0 && *number < rows) {
                index = static_cast<int32_t>(*number);
                return {};
            }
            const bool named =
                std::any_of(device.filters.begin(), device.filters.end(),
                            [&](const FilterEntry& e) { return StoredFilterName(e) == stored_; });
            if (!named) {
                return "filter index " + target_ + " is not in the table (0.." +
                       std::to_string(rows - 1) + ")";
            }
        }
        std::vector<int32_t> matches;
        const std::string wanted = FoldCase(stored_);
        for (int64_t i = 0; i < rows; ++i) {
            if (FoldCase(StoredFilterName(device.filters[static_cast<size_t>(i)])) == wanted) {
                matches.push_back(static_cast<int32_t>(i));
            }
        }
        if (matches.empty()) return "no filter named '" + Escaped(target_) + "' in the table";
        if (matches.size() > 1) {
            return "filter name '" + Escaped(target_) + "' names rows " +
                   std::to_string(matches[0]) + " and " + std::to_string(matches[1]) +
                   "; give the index";
        }
        index = matches.front();
        return {};
    }

    std::string target_;
    std::string stored_;  // target_ in windows-1251
};

class HomeCommand : public Command {
public:
    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireWheel(device)) return *missing;
        if (!device.Home(0)) {
            return Outcome::Failure(kExitFailed, FailureText(device, "home"));
        }
        int32_t filter = -1;
        device.GetFilter(filter);  // -1 when the wheel does not say
        Outcome outcome;
        outcome.data["homed"] = true;
        outcome.data["currentFilter"] = device.currentFilter;
        outcome.text =
            "wheel homed; current filter: " + FilterLabel(device, device.currentFilter) + "\n";
        return outcome;
    }
};

class RenameCommand : public Command {
public:
    RenameCommand(std::string index, std::string name)
        : indexText_(std::move(index)), name_(std::move(name)) {}

    std::string Check() override {
        std::string reason;
        const auto index = ParseRowIndex(indexText_, reason);
        if (!index) return reason;
        index_ = *index;
        const NameCheck check = CheckTypedName(NameKind::Filter, name_);
        stored_ = check.bytes;
        return NameRefusal(NameKind::Filter, name_, check);
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireWheel(device)) return *missing;
        if (auto bad = RequireRow(device, index_)) return *bad;
        if (!device.FWWRITENAME(index_, stored_.c_str())) {
            return Outcome::Failure(
                kExitFailed, FailureText(device, "name of filter " + std::to_string(index_)));
        }
        Outcome outcome;
        outcome.data["index"] = index_;
        outcome.data["name"] = FilterName(device.filters[static_cast<size_t>(index_)]);
        outcome.text = "filter " + std::to_string(index_) + " renamed to '" +
                       FilterNameText(device.filters[static_cast<size_t>(index_)]) + "'\n";
        return outcome;
    }

private:
    std::string indexText_;
    std::string name_;
    std::string stored_;  // name_ in windows-1251
    int32_t index_ = 0;
};

class FilterEditCommand : public Command {
public:
    explicit FilterEditCommand(const Invocation& invocation)
        : indexText_(invocation.args.at(0)), flags_(invocation.commandFlags) {}

    std::string Check() override {
        std::string reason;
        const auto index = ParseRowIndex(indexText_, reason);
        if (!index) return reason;
        index_ = *index;
        if (flags_.empty()) return "'filter-edit' needs --correction or --focus-shift";
        if (auto it = flags_.find("correction"); it != flags_.end()) {
            correction_ = ParsePosition(it->second, "correction", reason);
            if (!correction_) return reason;
        }
        if (auto it = flags_.find("focus-shift"); it != flags_.end()) {
            if (AsciiLower(it->second) == "none") {
                focusShift_ = kFocusShiftNone;
            } else {
                focusShift_ = ParsePosition(it->second, "focus shift", reason);
                if (!focusShift_) return reason;
            }
        }
        return {};
    }

    Outcome Run(CommandContext& context) override {
        WheelFocuserDevice& device = context.session->Device();
        if (auto missing = RequireWheel(device)) return *missing;
        if (auto bad = RequireRow(device, index_)) return *bad;
        FilterEntry& edited = device.filters[static_cast<size_t>(index_)];
        const bool correctionChanged = correction_ && *correction_ != edited.wheelPosition;
        const bool shiftChanged = focusShift_ && *focusShift_ != edited.focuserPosition;

        Outcome outcome;
        if (correctionChanged || shiftChanged) {
            if (correction_) edited.wheelPosition = *correction_;
            if (focusShift_) edited.focuserPosition = *focusShift_;
            if (!WriteConfiguration(device)) {
                return Outcome::Failure(kExitFailed, FailureText(device));
            }
            if (auto bad = RequireRow(device, index_)) return *bad;
            // A new position of the filter in the light path takes effect by going there again.
            if (correctionChanged && index_ == device.currentFilter &&
                !device.SelectFilter(index_)) {
                return Outcome::Failure(kExitFailed,
                                        "the filter table was written, but the "
                                        "wheel did not return to filter " +
                                            FilterLabel(device, index_));
            }
        }
        const FilterEntry& row = device.filters[static_cast<size_t>(index_)];
        outcome.data["index"] = index_;
        outcome.data["name"] = FilterName(row);
        outcome.data["wheelPosition"] = row.wheelPosition;
        outcome.data["focuserPosition"] = FocusShiftJson(row.focuserPosition);
        outcome.data["written"] = correctionChanged || shiftChanged;
        outcome.text =
            "filter " + FilterLabel(device, index_) + ": correction " +
            std::to_string(row.wheelPosition) + ", focus shift " +
            FocusShiftText(row.focuserPosition) +
            (correctionChanged || shiftChanged ? "\n" : " (unchanged, nothing written)\n");
        return outcome;
    }

private:
    std::string indexText_;
    std::map<std::string, std::string> flags_;
    int32_t index_ = 0;
    std::optional<int32_t> correction_;
    std::optional<int32_t> focusShift_;
};

}  // namespace

std::unique_ptr<Command> MakeWheelCommand(const Invocation& invocation) {
    const std::string& name = invocation.command;
    if (name == "filters") return std::make_unique<FiltersCommand>();
    if (name == "goto") return std::make_unique<GotoCommand>(invocation.args.at(0));
    if (name == "home") return std::make_unique<HomeCommand>();
    if (name == "rename") {
        return std::make_unique<RenameCommand>(invocation.args.at(0), invocation.args.at(1));
    }
    if (name == "filter-edit") return std::make_unique<FilterEditCommand>(invocation);
    return nullptr;
}

}  // namespace kavri::cli
