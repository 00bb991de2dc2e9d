// SPDX-License-Identifier: GPL-3.0-or-later
// ports: how COM1..COM16 map to devices on this machine, which of them exist, and which are
// usable serial ports.

#include "cli/Command.h"
#include "cli/TextTable.h"
#include "transport/PortNaming.h"
#include "transport/SerialPort.h"

namespace kavri::cli {

namespace {

class PortsCommand : public Command {
public:
    Outcome Run(CommandContext&) override {
        Outcome outcome;
        Json ports = Json::array();
        TextTable table;
        table.AddRow({"Port", "Device", "Status", "Link"});
        for (const PortMapping& mapping : PortNaming::FromEnvironment().List()) {
            const std::string name = "COM" + std::to_string(mapping.number);
            // Only a serial device nobody else holds is usable; judged without opening it.
            const PortStatus status = InspectSerialPort(mapping.device);
            const bool usable = status.problem == PortProblem::kNone;
            const std::string state = !mapping.exists ? "absent"
                                      : usable        ? "usable"
                                                      : status.message;
            ports.push_back(Json{{"port", name},
                                 {"number", mapping.number},
                                 {"device", mapping.linked ? mapping.target : mapping.device},
                                 {"linked", mapping.linked},
                                 {"exists", mapping.exists},
                                 {"usable", usable},
                                 {"status", state}});
            table.AddRow({name, mapping.linked ? mapping.target : mapping.device, state,
                          mapping.linked ? mapping.device : ""});
        }
        outcome.data["ports"] = ports;
        outcome.text = table.Render();
        return outcome;
    }
};

}  // namespace

std::unique_ptr<Command> MakePortsCommand(const Invocation& invocation) {
    if (invocation.command != "ports") return nullptr;
    return std::make_unique<PortsCommand>();
}

}  // namespace kavri::cli
