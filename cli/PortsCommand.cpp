// ports: how COM1..COM16 map to devices on this machine, and which of them exist.

#include "cli/Command.h"
#include "cli/TextTable.h"
#include "device/PortNaming.h"

namespace kavri::cli {

namespace {

class PortsCommand : public Command {
public:
    Outcome Run(CommandContext&) override {
        Outcome outcome;
        Json ports = Json::array();
        TextTable table;
        table.AddRow({"Port", "Device", "Exists", "Link"});
        for (const PortMapping& mapping : PortNaming::FromEnvironment().List()) {
            const std::string name = "COM" + std::to_string(mapping.number);
            ports.push_back(Json{{"port", name},
                                 {"number", mapping.number},
                                 {"device", mapping.linked ? mapping.target : mapping.device},
                                 {"linked", mapping.linked},
                                 {"exists", mapping.exists}});
            table.AddRow({name, mapping.linked ? mapping.target : mapping.device,
                          mapping.exists ? "yes" : "no", mapping.linked ? mapping.device : ""});
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
