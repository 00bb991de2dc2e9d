// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/DeviceMembers.h"

#include <chrono>
#include <cstdio>

namespace kavri::alpaca {

namespace {

using Json = nlohmann::json;

constexpr int kFocuser = 1;
constexpr int kWheel = 2;
constexpr int kBoth = kFocuser | kWheel;

using Handler = void (*)(const MemberCall&, const ControllerView&, const MemberReply&);

struct Member {
    const char* name;
    bool put;
    int devices;
    // Everything but the device's identity and its connection needs a connected device.
    bool needsConnection;
    Handler handler;
};

MemberResult Value(Json value) {
    return MemberResult{{}, {}, std::move(value)};
}

MemberResult Fail(int error, std::string message) {
    return MemberResult{{}, Outcome::Fail(error, std::move(message)), std::nullopt};
}

MemberResult Bad(std::string message) {
    MemberResult result;
    result.badRequest = std::move(message);
    return result;
}

MemberResult FromOutcome(const Outcome& outcome) {
    return MemberResult{{}, outcome, std::nullopt};
}

// A required parameter; a missing or unreadable one answers 400 and gives std::nullopt.
std::optional<bool> BoolParameter(const MemberCall& call, const char* name,
                                  const MemberReply& reply) {
    const auto text = call.parameters.Find(name);
    if (!text) return reply(Bad(std::string(name) + " is missing")), std::nullopt;
    const auto value = ParseBoolean(*text);
    if (!value) reply(Bad(std::string(name) + " must be True or False, not \"" + *text + "\""));
    return value;
}

std::optional<int32_t> IntParameter(const MemberCall& call, const char* name,
                                    const MemberReply& reply) {
    const auto text = call.parameters.Find(name);
    if (!text) return reply(Bad(std::string(name) + " is missing")), std::nullopt;
    const auto value = ParseInt32(*text);
    if (!value) reply(Bad(std::string(name) + " must be a whole number, not \"" + *text + "\""));
    return value;
}

// ISO 8601 in UTC with milliseconds: "2024-03-01T20:15:30.123Z".
std::string TimeStamp() {
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count()));
    return text;
}

Json StateItem(const char* name, Json value) {
    return Json{{"Name", name}, {"Value", std::move(value)}};
}

void SetConnected(const MemberCall& call, const ControllerView&, const MemberReply& reply) {
    const auto connect = BoolParameter(call, "Connected", reply);
    if (!connect) return;
    // Answered once the connection is settled: a client that sets Connected reads it next.
    auto done = [reply](const Outcome& outcome) { reply(FromOutcome(outcome)); };
    if (*connect) {
        call.controller.Connect(call.device, done);
    } else {
        call.controller.Disconnect(call.device, done);
    }
}

void Temperature(const MemberCall&, const ControllerView& view, const MemberReply& reply) {
    if (!view.focuser.temperature) {
        return reply(Fail(ascom::kValueNotSet,
                          "The compensation thermometer gives no reading"));
    }
    reply(Value(*view.focuser.temperature));
}

void SetTempComp(const MemberCall& call, const ControllerView&, const MemberReply& reply) {
    const auto on = BoolParameter(call, "TempComp", reply);
    if (!on) return;
    call.controller.SetTempComp(*on, [reply](const Outcome& outcome) {
        reply(FromOutcome(outcome));
    });
}

void Move(const MemberCall& call, const ControllerView&, const MemberReply& reply) {
    const auto position = IntParameter(call, "Position", reply);
    if (position) reply(FromOutcome(call.controller.Move(*position)));
}

void SelectSlot(const MemberCall& call, const ControllerView&, const MemberReply& reply) {
    const auto slot = IntParameter(call, "Position", reply);
    if (slot) reply(FromOutcome(call.controller.SelectSlot(*slot)));
}

void DeviceState(const MemberCall& call, const ControllerView& view, const MemberReply& reply) {
    Json items = Json::array();
    if (call.device == DeviceKind::Focuser) {
        items.push_back(StateItem("IsMoving", view.focuser.moving));
        items.push_back(StateItem("Position", view.focuser.position));
        // A value without a reading is left out rather than invented.
        if (view.focuser.temperature) {
            items.push_back(StateItem("Temperature", *view.focuser.temperature));
        }
    } else {
        items.push_back(StateItem("Position", view.wheel.position));
    }
    items.push_back(StateItem("TimeStamp", TimeStamp()));
    reply(Value(std::move(items)));
}

// The controller moves the focuser to each filter's own position itself when the wheel turns;
// offsets published here would make a client move it a second time.
void FocusOffsets(const MemberCall&, const ControllerView& view, const MemberReply& reply) {
    reply(Value(Json(std::vector<int>(view.wheel.names.size(), 0))));
}

const Member kMembers[] = {
    // Common members.
    {"connected", false, kBoth, false,
     [](const MemberCall& c, const ControllerView& v, const MemberReply& r) {
         r(Value(v.connected[static_cast<int>(c.device)]));
     }},
    {"connected", true, kBoth, false, SetConnected},
    {"connect", true, kBoth, false,
     [](const MemberCall& c, const ControllerView&, const MemberReply& r) {
         c.controller.Connect(c.device, [](const Outcome&) {});
         r(MemberResult{});
     }},
    {"disconnect", true, kBoth, false,
     [](const MemberCall& c, const ControllerView&, const MemberReply& r) {
         c.controller.Disconnect(c.device, [](const Outcome&) {});
         r(MemberResult{});
     }},
    {"connecting", false, kBoth, false,
     [](const MemberCall& c, const ControllerView& v, const MemberReply& r) {
         r(Value(v.connecting[static_cast<int>(c.device)]));
     }},
    {"description", false, kBoth, false,
     [](const MemberCall& c, const ControllerView&, const MemberReply& r) {
         r(Value(DeviceDescription(c.device)));
     }},
    {"driverinfo", false, kBoth, false,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Value(std::string("kavri-alpaca ") + ServerVersion() +
                 ": the Alpaca server of Kavri Control for the filter wheel and focuser "
                 "controller"));
     }},
    {"driverversion", false, kBoth, false,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Value(DriverVersion()));
     }},
    {"interfaceversion", false, kBoth, false,
     [](const MemberCall& c, const ControllerView&, const MemberReply& r) {
         r(Value(InterfaceVersion(c.device)));
     }},
    {"name", false, kBoth, false,
     [](const MemberCall& c, const ControllerView&, const MemberReply& r) {
         r(Value(DeviceName(c.device)));
     }},
    {"supportedactions", false, kBoth, false,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Value(Json::array()));
     }},
    {"action", true, kBoth, false,
     [](const MemberCall& c, const ControllerView&, const MemberReply& r) {
         const std::string action = c.parameters.Find("Action").value_or("");
         r(Fail(ascom::kActionNotImplemented,
                "Action \"" + action + "\" is not implemented: this device has no actions"));
     }},
    {"commandblind", true, kBoth, false,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Fail(ascom::kNotImplemented, "CommandBlind is not implemented"));
     }},
    {"commandbool", true, kBoth, false,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Fail(ascom::kNotImplemented, "CommandBool is not implemented"));
     }},
    {"commandstring", true, kBoth, false,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Fail(ascom::kNotImplemented, "CommandString is not implemented"));
     }},
    {"devicestate", false, kBoth, true, DeviceState},

    // Focuser.
    {"absolute", false, kFocuser, true,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) { r(Value(true)); }},
    {"ismoving", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.moving));
     }},
    {"maxincrement", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.maxStep));
     }},
    {"maxstep", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.maxStep));
     }},
    {"position", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.position));
     }},
    {"stepsize", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.stepSize));
     }},
    {"tempcomp", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.tempComp));
     }},
    {"tempcomp", true, kFocuser, true, SetTempComp},
    {"tempcompavailable", false, kFocuser, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.focuser.tempCompAvailable));
     }},
    {"temperature", false, kFocuser, true, Temperature},
    {"halt", true, kFocuser, true,
     [](const MemberCall&, const ControllerView&, const MemberReply& r) {
         r(Fail(ascom::kNotImplemented,
                "Halt is not implemented: the controller cannot stop a move once it started"));
     }},
    {"move", true, kFocuser, true, Move},

    // Filter wheel.
    {"names", false, kWheel, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.wheel.names));
     }},
    {"focusoffsets", false, kWheel, true, FocusOffsets},
    {"position", false, kWheel, true,
     [](const MemberCall&, const ControllerView& v, const MemberReply& r) {
         r(Value(v.wheel.position));
     }},
    {"position", true, kWheel, true, SelectSlot},
};

int DeviceBit(DeviceKind device) {
    return device == DeviceKind::Focuser ? kFocuser : kWheel;
}

}  // namespace

MemberLookup RunMember(std::string_view method, std::string_view name, const MemberCall& call,
                       const MemberReply& reply) {
    const bool put = method == "PUT";
    const Member* found = nullptr;
    bool named = false;
    for (const Member& member : kMembers) {
        if (!(member.devices & DeviceBit(call.device)) || name != member.name) continue;
        named = true;
        if (member.put == put && (put || method == "GET")) found = &member;
    }
    if (!found) return named ? MemberLookup::kWrongMethod : MemberLookup::kUnknown;
    const ControllerView view = call.controller.View();
    if (found->needsConnection && !view.connected[static_cast<int>(call.device)]) {
        reply(Fail(ascom::kNotConnected,
                   std::string(DeviceName(call.device)) + " is not connected"));
        return MemberLookup::kFound;
    }
    found->handler(call, view, reply);
    return MemberLookup::kFound;
}

}  // namespace kavri::alpaca
