// SPDX-License-Identifier: GPL-3.0-or-later
#include "alpaca/Router.h"

#include <nlohmann/json.hpp>

#include "alpaca/DeviceMembers.h"
#include "alpaca/Parameters.h"
#include "alpaca/SetupPage.h"

namespace kavri::alpaca {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kDevicePrefix = "/api/v1/";
constexpr std::string_view kManagementPrefix = "/management/";

// Texts from clients may hold bytes that are not UTF-8; they are replaced, never a fault.
HttpResponse JsonResponse(const Json& body) {
    HttpResponse response;
    response.contentType = "application/json; charset=utf-8";
    response.body = body.dump(-1, ' ', false, Json::error_handler_t::replace);
    return response;
}

// The next path segment of `path` (which loses it and the '/' after it).
std::string_view NextSegment(std::string_view& path) {
    const size_t slash = path.find('/');
    const std::string_view segment = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    return segment;
}

std::optional<DeviceKind> DeviceOfPath(std::string_view type) {
    if (type == "focuser") return DeviceKind::Focuser;
    if (type == "filterwheel") return DeviceKind::FilterWheel;
    return std::nullopt;
}

// The parameters of a request: a GET's query, a PUT's form body.
std::optional<Parameters> RequestParameters(const HttpRequest& request, std::string_view query) {
    return Parameters::Parse(request.method == "GET" ? query : std::string_view(request.body));
}

}  // namespace

Router::Router(Controller& controller, ServerIdentity identity, bool remoteSetup)
    : controller_(controller), identity_(std::move(identity)), remoteSetup_(remoteSetup) {}

HttpResponse Router::PlainError(int status, std::string message) {
    HttpResponse response;
    response.status = status;
    response.body = std::move(message);
    return response;
}

void Router::Handle(const HttpRequest& request, const Respond& respond) {
    const size_t question = request.target.find('?');
    const std::string_view target(request.target);
    const std::string_view path = target.substr(0, question);
    const std::string_view query =
        question == std::string::npos ? std::string_view() : target.substr(question + 1);
    try {
        if (path.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
            HandleDevice(request, path.substr(kDevicePrefix.size()), query, respond);
        } else if (path.substr(0, kManagementPrefix.size()) == kManagementPrefix) {
            HandleManagement(request, path.substr(kManagementPrefix.size()), query, respond);
        } else if (path == "/") {
            HttpResponse response = PlainError(302, "See /setup");
            response.headers.emplace_back("Location", "/setup");
            respond(std::move(response));
        } else if (!HandleSetup(request, path, controller_, identity_, remoteSetup_, respond)) {
            respond(PlainError(404, "No such page: " + std::string(path)));
        }
    } catch (const std::exception& e) {
        respond(PlainError(500, std::string("Internal server error: ") + e.what()));
    }
}

void Router::HandleDevice(const HttpRequest& request, std::string_view path,
                          std::string_view query, const Respond& respond) {
    const std::string_view type = NextSegment(path);
    const std::string_view number = NextSegment(path);
    const std::string_view member = path;
    const auto device = DeviceOfPath(type);
    if (!device) {
        return respond(PlainError(400, "Unknown device type \"" + std::string(type) +
                                           "\": this server has focuser and filterwheel"));
    }
    if (number != "0") {
        return respond(PlainError(400, "Unknown device number \"" + std::string(number) +
                                           "\": this server has " + DevicePath(*device) + " 0"));
    }
    if (member.empty() || member.find('/') != std::string_view::npos) {
        return respond(PlainError(404, "No such member: " + std::string(member)));
    }
    const auto parameters = RequestParameters(request, query);
    if (!parameters) {
        return respond(PlainError(400, "The parameters are not properly form-encoded"));
    }
    const uint32_t client = ParseClientNumber(parameters->Find("ClientTransactionID"));
    const uint32_t server = ++serverTransaction_;
    const MemberCall call{*device, *parameters, controller_, identity_};
    const std::string method = request.method;
    const std::string memberName(member);
    const auto lookup = RunMember(method, member, call, [=](MemberResult result) {
        if (!result.badRequest.empty()) return respond(PlainError(400, result.badRequest));
        Json body;
        if (result.value && result.outcome.Ok()) body["Value"] = std::move(*result.value);
        body["ClientTransactionID"] = client;
        body["ServerTransactionID"] = server;
        body["ErrorNumber"] = result.outcome.error;
        body["ErrorMessage"] = result.outcome.message;
        respond(JsonResponse(body));
    });
    if (lookup == MemberLookup::kUnknown) {
        respond(PlainError(404, "No such member: " + memberName));
    } else if (lookup == MemberLookup::kWrongMethod) {
        respond(PlainError(400, memberName + " does not take " + method));
    }
}

void Router::HandleManagement(const HttpRequest& request, std::string_view path,
                              std::string_view query, const Respond& respond) {
    Json value;
    if (path == "apiversions") {
        value = Json::array({1});
    } else if (path == "v1/description") {
        value = Json{{"ServerName", kServerName},
                     {"Manufacturer", kManufacturer},
                     {"ManufacturerVersion", ServerVersion()},
                     {"Location", identity_.location}};
    } else if (path == "v1/configureddevices") {
        value = Json::array();
        for (const DeviceKind device : {DeviceKind::Focuser, DeviceKind::FilterWheel}) {
            value.push_back(Json{{"DeviceName", DeviceName(device)},
                                 {"DeviceType", DeviceType(device)},
                                 {"DeviceNumber", 0},
                                 {"UniqueID", identity_.uniqueIds[static_cast<int>(device)]}});
        }
    } else {
        return respond(PlainError(404, "No such management member: " + std::string(path)));
    }
    if (request.method != "GET") {
        return respond(PlainError(400, "The management API takes GET only"));
    }
    const auto parameters = Parameters::Parse(query);
    if (!parameters) {
        return respond(PlainError(400, "The parameters are not properly form-encoded"));
    }
    Json body;
    body["Value"] = std::move(value);
    body["ClientTransactionID"] = ParseClientNumber(parameters->Find("ClientTransactionID"));
    body["ServerTransactionID"] = ++serverTransaction_;
    body["ErrorNumber"] = 0;
    body["ErrorMessage"] = "";
    respond(JsonResponse(body));
}

}  // namespace kavri::alpaca
