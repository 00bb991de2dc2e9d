// SPDX-License-Identifier: GPL-3.0-or-later
// status: what the connection found and what the focuser reports now.

#include <algorithm>
#include <cmath>

#include "cli/DeviceView.h"
#include "cli/NameText.h"
#include "cli/Session.h"
#include "cli/TextTable.h"
#include "device/TemperatureLog.h"

namespace kavri::cli {

namespace {

class StatusCommand : public Command {
public:
    Outcome Run(CommandContext& context) override {
        Session& session = *context.session;
        WheelFocuserDevice& device = session.Device();
        Outcome outcome;
        TextTable table;
        std::vector<std::string> unreadable;

        outcome.data["port"] = session.PortName();
        outcome.data["wheelPresent"] = device.wheelPresent;
        outcome.data["focuserPresent"] = device.focuserPresent;
        table.AddRow({"port", session.PortName()});
        table.AddRow({"wheel", device.wheelPresent ? "present" : "absent"});
        table.AddRow({"focuser", device.focuserPresent ? "present" : "absent"});

        if (device.wheelPresent) {
            // The connection has just asked the wheel for its filter.
            outcome.data["currentFilter"] = device.currentFilter;
            const bool known = device.currentFilter >= 0 &&
                               device.currentFilter < static_cast<int32_t>(device.filters.size());
            outcome.data["currentFilterName"] =
                known ? Json(FilterName(device.filters[static_cast<size_t>(device.currentFilter)]))
                      : Json(nullptr);
            table.AddRow({"filter", FilterLabel(device, device.currentFilter)});
        }

        if (device.focuserPresent) {
            outcome.data["focuserPosition"] = device.focuserPosition;
            table.AddRow({"focuser position", std::to_string(device.focuserPosition)});

            int32_t direction = 0;
            if (device.FWdirFocus(direction)) {
                outcome.data["direction"] = direction;
                table.AddRow({"direction", direction > 0 ? "up (+)" : "down (-)"});
            } else {
                outcome.data["direction"] = nullptr;
                table.AddRow({"direction", "???"});
                unreadable.push_back("direction");
            }

            const int count = std::min<int>(device.config.thermometerCount, kMaxThermometers);
            Json temperatures = Json::array();
            for (int i = 0; i < count; ++i) {
                float degrees = 0.0f;
                const bool read = device.FWtemperature(i, degrees);
                temperatures.push_back(read ? Json(std::round(degrees * 100.0) / 100.0)
                                            : Json(nullptr));
                std::string label = "T" + std::to_string(i);
                if (i < kThermometerSlots && !device.TermometerName[i].empty()) {
                    label += " " + ShownName(device.TermometerName[i]);
                }
                table.AddRow({label, read ? FormatDegrees(degrees) : "---"});
            }
            outcome.data["temperatures"] = temperatures;

            int32_t selector = -1;
            if (device.FWisAuto(selector)) {
                outcome.data["compensationThermometer"] = selector;
                table.AddRow(
                    {"compensation", selector < 0 ? "off" : "T" + std::to_string(selector)});
            } else {
                outcome.data["compensationThermometer"] = nullptr;
                table.AddRow({"compensation", "???"});
                unreadable.push_back("compensation thermometer");
            }
        }

        outcome.text = table.Render();
        if (!unreadable.empty()) {
            outcome.status = kExitFailed;
            outcome.error = "the controller did not report its " + unreadable.front();
        }
        return outcome;
    }
};

}  // namespace

std::unique_ptr<Command> MakeStatusCommand(const Invocation& invocation) {
    if (invocation.command != "status") return nullptr;
    return std::make_unique<StatusCommand>();
}

}  // namespace kavri::cli
