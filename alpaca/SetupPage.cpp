// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/SetupPage.h"

#include <cstdio>
#include <optional>

#include "alpaca/Parameters.h"
#include "transport/PortNaming.h"
#include "transport/SerialPort.h"

namespace kavri::alpaca {

namespace {

constexpr const char* kStyle = R"(
body{margin:0;background:#f3f4f6;color:#1f2933;font:15px/1.45 "DejaVu Sans",system-ui,sans-serif}
main{max-width:760px;margin:0 auto;padding:24px 20px 32px}
h1{font-size:24px;margin:0 0 2px}
.sub{color:#52606d;margin:0 0 18px}
section{background:#fff;border:1px solid #d9dee4;border-radius:8px;padding:14px 18px;margin:0 0 14px}
h2{font-size:16px;margin:0 0 10px;color:#243b53}
table{border-collapse:collapse;width:100%}
th,td{text-align:left;padding:5px 8px 5px 0;border-bottom:1px solid #eef0f2;vertical-align:top}
th{font-weight:600;color:#52606d;width:38%}
tr:last-child th,tr:last-child td{border-bottom:none}
form{display:flex;gap:10px;align-items:center;flex-wrap:wrap}
select{font:inherit;padding:5px 6px;min-width:330px;border:1px solid #bcccdc;border-radius:5px;background:#fff}
button{font:inherit;padding:6px 18px;border:0;border-radius:5px;background:#2f6fb3;color:#fff;cursor:pointer}
button:disabled{background:#9fb3c8;cursor:default}
.note{color:#52606d;font-size:13px;margin:10px 0 0}
.banner{padding:10px 14px;border-radius:6px;margin:0 0 14px}
.good{background:#e3f6e8;border:1px solid #8fd19e}
.bad{background:#fdecea;border:1px solid #f2a49b}
.on{color:#1e7e34;font-weight:600}
.off{color:#7b8794}
code{font-size:13px;background:#eef0f2;padding:1px 4px;border-radius:3px}
footer{color:#7b8794;font-size:13px;margin-top:8px}
a{color:#2f6fb3}
)";

std::optional<DeviceKind> DeviceOfSetupPath(std::string_view path, bool& found) {
    found = true;
    if (path == "/setup" || path == "/setup/") return std::nullopt;
    if (path == "/setup/v1/focuser/0/setup") return DeviceKind::Focuser;
    if (path == "/setup/v1/filterwheel/0/setup") return DeviceKind::FilterWheel;
    found = false;
    return std::nullopt;
}

std::string Html(std::string_view text) {
    return EscapeHtml(text);
}

std::string Row(std::string_view label, const std::string& valueHtml) {
    return "<tr><th>" + Html(label) + "</th><td>" + valueHtml + "</td></tr>\n";
}

std::string Degrees(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f &deg;C", value);
    return text;
}

std::string YesNo(bool on, const char* yes, const char* no) {
    return on ? std::string("<span class=\"on\">") + yes + "</span>"
              : std::string("<span class=\"off\">") + no + "</span>";
}

// Auto and COM1..COM16 with what this machine has behind each, as `kavrictl ports` tells it.
std::string PortOptions(const std::string& choice) {
    std::string html;
    const auto option = [&](const std::string& value, const std::string& label) {
        html += "<option value=\"" + Html(value) + "\"" + (value == choice ? " selected" : "") +
                ">" + Html(label) + "</option>\n";
    };
    option("auto", "Auto (search COM1 to COM16)");
    bool listed = choice == "auto";
    for (const PortMapping& mapping : PortNaming::FromEnvironment().List()) {
        const std::string name = "COM" + std::to_string(mapping.number);
        const std::string device = mapping.linked ? mapping.target : mapping.device;
        std::string state = "absent";
        if (mapping.exists) {
            const PortStatus status = InspectSerialPort(mapping.device);
            state = status.problem == PortProblem::kNone ? "usable" : status.message;
        }
        option(name, name + " \u2014 " + device + " (" + state + ")");
        listed = listed || name == choice;
    }
    // A device path given on the command line stays the choice until another is saved.
    if (!listed) option(choice, choice + " (from the command line)");
    return html;
}

std::string DevicesTable(const ControllerView& view, const ServerIdentity& identity) {
    std::string html = "<table>\n";
    for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
        const int d = static_cast<int>(device);
        const std::string state = view.connecting[d]  ? "<span class=\"off\">changing</span>"
                                  : view.connected[d] ? YesNo(true, "connected", "")
                                                      : YesNo(false, "", "not connected");
        html += Row(std::string(DeviceType(device)) + " 0",
                    state + " &middot; " + Html(DeviceName(device)) + " &middot; <a href=\"/setup/v1/" +
                        DevicePath(device) + "/0/setup\">setup</a><br>UniqueID <code>" +
                        Html(identity.uniqueIds[d]) + "</code>");
    }
    return html + "</table>\n";
}

// The controller's state; a device's page shows that device's part.
std::string ControllerTable(const ControllerView& view, std::optional<DeviceKind> device) {
    const bool open = view.connected[0] || view.connected[1];
    if (!open) {
        return "<p class=\"off\">The port is closed. It opens when a client connects the "
               "focuser or the filter wheel, and closes when the last of them disconnects.</p>\n";
    }
    std::string html = "<table>\n";
    html += Row("Port in use", Html(view.portName));
    html += Row("Doing now", view.activity.empty() ? "nothing" : Html(view.activity));
    if (view.focuser.present && device != DeviceKind::FilterWheel) {
        html += Row("Focuser position", std::to_string(view.focuser.position) + " of 0 to " +
                                            std::to_string(view.focuser.maxStep) +
                                            (view.focuser.moving ? " (moving)" : ""));
        html += Row("Temperature compensation",
                    YesNo(view.focuser.tempComp, "on", "off"));
        std::string temperatures;
        for (size_t i = 0; i < view.temperatures.size(); ++i) {
            if (!temperatures.empty()) temperatures += ", ";
            temperatures += "T" + std::to_string(i) + " " +
                            (view.temperatures[i] ? Degrees(*view.temperatures[i]) : "no reading");
        }
        html += Row("Thermometers", temperatures.empty() ? "none" : temperatures);
    }
    if (view.wheel.present && device != DeviceKind::Focuser) {
        const int32_t slot = view.wheel.position;
        std::string filter = "turning or unknown";
        if (slot >= 0 && static_cast<size_t>(slot) < view.wheel.names.size()) {
            filter = std::to_string(slot) + " &ldquo;" + Html(view.wheel.names[slot]) + "&rdquo;";
        }
        html += Row("Filter in the light path", filter);
        std::string names;
        for (size_t i = 0; i < view.wheel.names.size(); ++i) {
            const std::string entry = std::to_string(i) + " " + Html(view.wheel.names[i]);
            names += (i ? ", " : "") +
                     (static_cast<int32_t>(i) == slot ? "<strong>" + entry + "</strong>" : entry);
        }
        html += Row("Filters", names);
    }
    return html + "</table>\n";
}

HttpResponse Page(std::optional<DeviceKind> device, const ControllerView& view,
                  const ServerIdentity& identity, bool changesAllowed,
                  const std::optional<Outcome>& change) {
    const std::string title = device ? DeviceName(*device) : kServerName;
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>" + Html(title) + " \u2014 setup</title><style>" + kStyle +
                       "</style></head>\n<body><main>\n";
    html += "<h1>" + Html(title) + "</h1>\n<p class=\"sub\">" +
            (device ? std::string("Alpaca ") + DeviceType(*device) + " 0 of " + kServerName
                    : std::string("Alpaca server")) +
            " " + ServerVersion() + " on " + Html(identity.location) + "</p>\n";
    if (change) {
        html += change->Ok() ? "<div class=\"banner good\">" + Html(change->message) + "</div>\n"
                             : "<div class=\"banner bad\">Not changed: " + Html(change->message) +
                                   "</div>\n";
    }
    html += "<section><h2>Controller port</h2>\n<form method=\"post\">"
            "<select name=\"port\" aria-label=\"Controller port\"" +
            std::string(changesAllowed ? "" : " disabled") + ">\n" + PortOptions(view.portChoice) +
            "</select><button type=\"submit\"" + (changesAllowed ? "" : " disabled") +
            ">Save</button></form>\n<p class=\"note\">" +
            (changesAllowed
                 ? "Used at the next connection; a COM port is remembered for every Kavri program."
                 : "Changes are taken only on the machine the server runs on (start it with "
                   "<code>--setup-from-network</code> to take them from here).") +
            "</p></section>\n";
    html += "<section><h2>Devices</h2>\n" + DevicesTable(view, identity) + "</section>\n";
    html += "<section><h2>Controller</h2>\n" + ControllerTable(view, device);
    if (!view.lastProblem.empty()) {
        html += "<p class=\"note\">Latest problem: " + Html(view.lastProblem) + "</p>\n";
    }
    html += "</section>\n<footer>Alpaca has no authentication: anyone who can reach this server "
            "can move the focuser and turn the wheel. <a href=\"\">Refresh</a> &middot; "
            "<a href=\"/setup\">Server</a></footer>\n</main></body></html>\n";
    HttpResponse response;
    response.contentType = "text/html; charset=utf-8";
    response.body = std::move(html);
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

}  // namespace

bool HandleSetup(const HttpRequest& request, std::string_view path, Controller& controller,
                 const ServerIdentity& identity, bool remoteChanges, const Respond& respond) {
    bool found = false;
    const auto device = DeviceOfSetupPath(path, found);
    if (!found) return false;
    const bool changesAllowed = remoteChanges || request.fromLoopback;
    if (request.method == "GET") {
        respond(Page(device, controller.View(), identity, changesAllowed, std::nullopt));
        return true;
    }
    if (request.method != "POST") {
        HttpResponse response;
        response.status = 400;
        response.body = "A setup page takes GET and POST";
        respond(std::move(response));
        return true;
    }
    const auto refuse = [&](int status, std::string reason) {
        HttpResponse response =
            Page(device, controller.View(), identity, changesAllowed, Outcome::Fail(1, reason));
        response.status = status;
        respond(std::move(response));
    };
    if (!changesAllowed) {
        return refuse(403, "changes are taken only on the machine the server runs on"), true;
    }
    // A browser names the site whose page sent the form: a page of another site must not
    // steer the controller through the user's browser.
    if (!request.origin.empty() && request.origin != "http://" + request.host) {
        return refuse(403, "the form came from another site (" + request.origin + ")"), true;
    }
    const auto parameters = Parameters::Parse(request.body);
    const auto port = parameters ? parameters->Find("port") : std::nullopt;
    if (!port) return refuse(400, "no port was chosen"), true;
    controller.ChoosePort(*port, [=, &controller](const Outcome& outcome) {
        respond(Page(device, controller.View(), identity, changesAllowed, outcome));
    });
    return true;
}

}  // namespace kavri::alpaca
