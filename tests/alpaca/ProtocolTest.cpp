// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP side without the device: parameters, routing and its status codes, transaction
// numbers, the management API, the setup pages' rules for changes, and discovery's choice of
// whom to answer. These run on Linux and, cross-built, under Wine.
#include <gtest/gtest.h>

#include "alpaca/FakeController.h"
#include <nlohmann/json.hpp>

#include "alpaca/Discovery.h"
#include "alpaca/Parameters.h"
#include "alpaca/Router.h"

namespace kavri::alpaca {
namespace {

using test::FakeController;
using Json = nlohmann::json;

TEST(AlpacaParameters, DecodeFindAndParse) {
    const auto parsed = Parameters::Parse("Position=12&clientTRANSACTIONid=7&Name=a%20b+c&flag&=x");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Find("position"), "12");
    EXPECT_EQ(parsed->Find("ClientTransactionID"), "7");
    EXPECT_EQ(parsed->Find("name"), "a b c");
    EXPECT_EQ(parsed->Find("FLAG"), "");
    EXPECT_EQ(parsed->Find("missing"), std::nullopt);
    for (const char* broken : {"a=%", "a=%4", "a=%zz", "%g1=2"}) {
        EXPECT_FALSE(Parameters::Parse(broken)) << broken;
    }

    struct IntCase {
        const char* text;
        std::optional<int32_t> value;
    };
    for (const IntCase& c : std::initializer_list<IntCase>{
             {"0", 0}, {"-5", -5}, {"+7", 7}, {"2147483647", INT32_MAX},
             {"2147483648", std::nullopt}, {"1.5", std::nullopt}, {" 3", std::nullopt},
             {"", std::nullopt}, {"+-1", std::nullopt}, {"12a", std::nullopt}}) {
        EXPECT_EQ(ParseInt32(c.text), c.value) << c.text;
    }
    EXPECT_EQ(ParseBoolean("TRUE"), true);
    EXPECT_EQ(ParseBoolean("false"), false);
    EXPECT_EQ(ParseBoolean("1"), std::nullopt);
    EXPECT_EQ(ParseClientNumber("4294967295"), 4294967295u);
    EXPECT_EQ(ParseClientNumber("4294967296"), 0u);
    EXPECT_EQ(ParseClientNumber("-1"), 0u);
    EXPECT_EQ(ParseClientNumber(std::nullopt), 0u);
    EXPECT_EQ(EscapeHtml("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
}

class AlpacaRouter : public ::testing::Test {
protected:
    HttpResponse Call(const std::string& method, const std::string& target,
                      const std::string& body = {}, bool loopback = true,
                      const std::string& origin = {}) {
        HttpRequest request;
        request.method = method;
        request.target = target;
        request.body = body;
        request.host = "127.0.0.1:11111";
        request.origin = origin;
        request.fromLoopback = loopback;
        HttpResponse response;
        response.status = 0;
        router_.Handle(request, [&](HttpResponse r) { response = std::move(r); });
        return response;
    }
    Json CallJson(const std::string& method, const std::string& target,
                  const std::string& body = {}) {
        const HttpResponse response = Call(method, target, body);
        EXPECT_EQ(response.status, 200) << target << ": " << response.body;
        return Json::parse(response.body, nullptr, false);
    }

    FakeController controller_;
    Router router_{controller_, ServerIdentity{{"id-focuser", "id-wheel"}, "observatory"}, false};
};

TEST_F(AlpacaRouter, StatusOfEveryKindOfRequest) {
    struct Case {
        const char* method;
        const char* target;
        const char* body;
        int status;
        int error;  // ErrorNumber of a 200
    };
    const Case cases[] = {
        {"GET", "/api/v1/focuser/0/name", "", 200, 0},
        {"GET", "/api/v1/Focuser/0/name", "", 400, 0},
        {"GET", "/api/v1/telescope/0/name", "", 400, 0},
        {"GET", "/api/v1/focuser/1/name", "", 400, 0},
        {"GET", "/api/v1/focuser/00/name", "", 400, 0},
        {"GET", "/api/v1/focuser/0/nosuch", "", 404, 0},
        {"GET", "/api/v1/focuser/0/", "", 404, 0},
        {"GET", "/api/v1/focuser/0/name/x", "", 404, 0},
        {"GET", "/api/v1/focuser/0/names", "", 404, 0},
        {"PUT", "/api/v1/focuser/0/position", "Position=1", 400, 0},
        {"GET", "/api/v1/focuser/0/move", "", 400, 0},
        {"DELETE", "/api/v1/focuser/0/name", "", 400, 0},
        {"PUT", "/api/v1/focuser/0/move", "", 400, 0},
        {"PUT", "/api/v1/focuser/0/move", "Position=abc", 400, 0},
        {"PUT", "/api/v1/focuser/0/move", "Position=1.5", 400, 0},
        {"PUT", "/api/v1/focuser/0/move", "Position=99999999999", 400, 0},
        {"PUT", "/api/v1/focuser/0/move", "position=500", 200, 0},
        {"PUT", "/api/v1/focuser/0/move", "Position=%zz", 400, 0},
        {"PUT", "/api/v1/focuser/0/connected", "Connected=yes", 400, 0},
        {"PUT", "/api/v1/focuser/0/tempcomp", "", 400, 0},
        {"PUT", "/api/v1/filterwheel/0/position", "Position=", 400, 0},
        {"GET", "/api/v1/focuser/0/name?a=%4", "", 400, 0},
        {"PUT", "/api/v1/focuser/0/action", "Action=x&Parameters=", 200, 0x40C},
        {"PUT", "/api/v1/focuser/0/commandblind", "Command=x&Raw=true", 200, 0x400},
        {"PUT", "/api/v1/filterwheel/0/commandbool", "Command=x&Raw=true", 200, 0x400},
        {"PUT", "/api/v1/filterwheel/0/commandstring", "Command=x&Raw=true", 200, 0x400},
        {"PUT", "/api/v1/focuser/0/halt", "", 200, 0x400},
        {"GET", "/management/apiversions", "", 200, 0},
        {"PUT", "/management/apiversions", "", 400, 0},
        {"GET", "/management/v1/nosuch", "", 404, 0},
        {"GET", "/nothing", "", 404, 0},
        {"GET", "/", "", 302, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.target + " " + c.body);
        const HttpResponse response = Call(c.method, c.target, c.body);
        EXPECT_EQ(response.status, c.status) << response.body;
        if (c.status != 200) {
            EXPECT_EQ(response.contentType.rfind("text/plain", 0), 0u);
            EXPECT_FALSE(response.body.empty());
            continue;
        }
        const Json body = Json::parse(response.body, nullptr, false);
        EXPECT_EQ(body.value("ErrorNumber", -1), c.error);
        EXPECT_EQ(body.value("ErrorMessage", std::string("?")).empty(), c.error == 0);
    }
    EXPECT_EQ(controller_.Calls(), std::vector<std::string>{"move 500"});
}

TEST_F(AlpacaRouter, DeviceMembersReadTheControllersView) {
    struct Case {
        const char* target;
        Json value;
    };
    const Case cases[] = {
        {"focuser/0/absolute", true},          {"focuser/0/position", 1500},
        {"focuser/0/maxstep", 30000},          {"focuser/0/maxincrement", 30000},
        {"focuser/0/stepsize", 10.0},          {"focuser/0/temperature", 12.5},
        {"focuser/0/tempcompavailable", true}, {"focuser/0/ismoving", false},
        {"focuser/0/interfaceversion", 4},     {"filterwheel/0/interfaceversion", 3},
        {"filterwheel/0/names", Json::array({"L", "R", "G"})},
        {"filterwheel/0/focusoffsets", Json::array({0, 0, 0})},
        {"filterwheel/0/position", 1},         {"filterwheel/0/connected", true},
        {"focuser/0/connecting", false},       {"focuser/0/supportedactions", Json::array()},
        {"filterwheel/0/name", "Kavri Filter Wheel"},
    };
    for (const Case& c : cases) {
        const Json body = CallJson("GET", std::string("/api/v1/") + c.target);
        EXPECT_EQ(body["Value"], c.value) << c.target;
    }
    const Json state = CallJson("GET", "/api/v1/focuser/0/devicestate")["Value"];
    ASSERT_EQ(state.size(), 4u);
    EXPECT_EQ(state[0], Json({{"Name", "IsMoving"}, {"Value", false}}));
    EXPECT_EQ(state[1], Json({{"Name", "Position"}, {"Value", 1500}}));
    EXPECT_EQ(state[2], Json({{"Name", "Temperature"}, {"Value", 12.5}}));
    EXPECT_EQ(state[3]["Name"], "TimeStamp");
    EXPECT_EQ(state[3]["Value"].get<std::string>().size(), 24u);  // 2024-03-01T20:15:30.123Z

    // Not connected: every member but identity and connection says so.
    ControllerView view = controller_.View();
    view.connected = {false, false};
    view.focuser.temperature.reset();
    controller_.SetView(view);
    for (const char* target : {"focuser/0/position", "focuser/0/devicestate",
                               "filterwheel/0/names", "focuser/0/halt"}) {
        const bool put = std::string(target).find("halt") != std::string::npos;
        const Json body = CallJson(put ? "PUT" : "GET", std::string("/api/v1/") + target);
        EXPECT_EQ(body["ErrorNumber"], 0x407) << target;
        EXPECT_FALSE(body.contains("Value")) << target;
    }
    EXPECT_EQ(CallJson("GET", "/api/v1/focuser/0/name")["ErrorNumber"], 0);
    EXPECT_EQ(CallJson("GET", "/api/v1/focuser/0/connected")["Value"], false);
}

TEST_F(AlpacaRouter, TransactionNumbersAndManagement) {
    const Json first = CallJson("GET", "/api/v1/focuser/0/name?clienttransactionid=41");
    EXPECT_EQ(first["ClientTransactionID"], 41);
    const Json second = CallJson("PUT", "/api/v1/focuser/0/connect", "ClientTransactionID=42");
    EXPECT_EQ(second["ClientTransactionID"], 42);
    EXPECT_GT(second["ServerTransactionID"].get<uint32_t>(),
              first["ServerTransactionID"].get<uint32_t>());
    EXPECT_EQ(CallJson("GET", "/api/v1/focuser/0/name?ClientTransactionID=x")["ClientTransactionID"], 0);
    // A PUT's numbers come from its body, not its query.
    EXPECT_EQ(CallJson("PUT", "/api/v1/focuser/0/disconnect?ClientTransactionID=9", "")
                  ["ClientTransactionID"], 0);

    EXPECT_EQ(CallJson("GET", "/management/apiversions?ClientTransactionID=3")["Value"],
              Json::array({1}));
    const Json description = CallJson("GET", "/management/v1/description")["Value"];
    EXPECT_EQ(description["ServerName"], "Kavri Alpaca Server");
    EXPECT_EQ(description["Location"], "observatory");
    const Json devices = CallJson("GET", "/management/v1/configureddevices")["Value"];
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0], Json({{"DeviceName", "Kavri Focuser"}, {"DeviceType", "Focuser"},
                                {"DeviceNumber", 0}, {"UniqueID", "id-focuser"}}));
    EXPECT_EQ(devices[1]["DeviceType"], "FilterWheel");
    EXPECT_EQ(devices[1]["UniqueID"], "id-wheel");
}

TEST_F(AlpacaRouter, SetupPagesTakeChangesOnlyFromThisMachine) {
    ControllerView view = controller_.View();
    view.wheel.names = {"<b>Ha</b>", "O3"};
    controller_.SetView(view);
    for (const char* path : {"/setup", "/setup/v1/focuser/0/setup", "/setup/v1/filterwheel/0/setup"}) {
        const HttpResponse page = Call("GET", path);
        EXPECT_EQ(page.status, 200) << path;
        EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
        EXPECT_NE(page.body.find("<select name=\"port\""), std::string::npos);
        EXPECT_NE(page.body.find("<option value=\"COM16\""), std::string::npos);
        // The filters show on the server's page and the wheel's, escaped.
        const bool wheel = std::string(path).find("focuser") == std::string::npos;
        EXPECT_EQ(page.body.find("&lt;b&gt;Ha&lt;/b&gt;") != std::string::npos, wheel) << path;
        EXPECT_EQ(page.body.find("<b>Ha"), std::string::npos);
    }
    EXPECT_EQ(Call("GET", "/setup/v1/focuser/1/setup").status, 404);

    controller_.SetOutcome({0, "COM3 is stored"});
    struct Case {
        bool loopback;
        const char* origin;
        const char* body;
        int status;
    };
    const Case cases[] = {
        {true, "", "port=COM3", 200},
        {true, "http://127.0.0.1:11111", "port=COM3", 200},
        {false, "", "port=COM3", 403},
        {true, "http://evil.example", "port=COM3", 403},
        {true, "", "other=1", 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.origin) + " " + c.body);
        const HttpResponse response = Call("POST", "/setup", c.body, c.loopback, c.origin);
        EXPECT_EQ(response.status, c.status);
        EXPECT_NE(response.body.find(c.status == 200 ? "COM3 is stored" : "Not changed"),
                  std::string::npos);
    }
    EXPECT_EQ(controller_.Calls(), (std::vector<std::string>{"port COM3", "port COM3"}));
    // From another machine the form is shown but cannot be sent.
    EXPECT_NE(Call("GET", "/setup", "", false).body.find("<button type=\"submit\" disabled"),
              std::string::npos);

    Router open(controller_, ServerIdentity{}, true);
    HttpRequest remote;
    remote.method = "POST";
    remote.target = "/setup";
    remote.body = "port=auto";
    int status = 0;
    open.Handle(remote, [&](HttpResponse r) { status = r.status; });
    EXPECT_EQ(status, 200);
    EXPECT_EQ(controller_.Calls().back(), "port auto");
}

TEST(AlpacaDiscovery, AnswersWhereTheClientCanReachTheServer) {
    struct Case {
        const char* listen;
        const char* sender;
        bool answered;
    };
    const Case cases[] = {
        {"127.0.0.1", "127.0.0.1", true},       {"127.0.0.1", "192.168.1.5", false},
        {"127.0.0.1", "::1", true},             {"::1", "::ffff:127.0.0.1", true},
        {"192.168.1.2", "192.168.1.5", true},   {"192.168.1.2", "127.0.0.1", false},
        {"0.0.0.0", "10.0.0.3", true},          {"::", "127.0.0.1", true},
        {"fe80::1", "fe80::2", true},           {"junk", "127.0.0.1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AnswersDiscovery(c.listen, c.sender), c.answered) << c.listen << " " << c.sender;
    }
}

}  // namespace
}  // namespace kavri::alpaca
