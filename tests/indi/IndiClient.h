// A small INDI client speaking the protocol's XML over TCP: it keeps every property's state,
// values and last message as the server reports them, and sends new values.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kavri::test {

struct IndiProperty {
    std::string state;    // "Idle", "Ok", "Busy", "Alert"
    std::string message;  // of the latest definition or update that carried one
    std::map<std::string, std::string> values;
    int updates = 0;  // definitions and updates received
    bool defined = false;
};

class IndiClient {
public:
    ~IndiClient();
    // Connects to 127.0.0.1:`port` and asks for every property.
    bool Connect(int port);

    // Reads and applies what arrives until `done` holds or `timeout` passes.
    bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Until `property` got an update after `since` (its update count) in one of `states`.
    bool WaitState(const std::string& property, const std::vector<std::string>& states, int since,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

    const IndiProperty& Property(const std::string& name) { return properties_[name]; }
    std::string Value(const std::string& property, const std::string& element);
    double Number(const std::string& property, const std::string& element);
    // Every <message> text received, in order.
    const std::vector<std::string>& Messages() const { return messages_; }

    // Sends new values (numbers as text, switches "On"/"Off", texts) and returns the property's
    // update count before the send.
    int Set(const std::string& kind, const std::string& property,
            const std::map<std::string, std::string>& values);
    int SetNumber(const std::string& property, const std::string& element, double value);
    int SetSwitch(const std::string& property, const std::string& element);
    // Asks for one property's definition again.
    void Ask(const std::string& property);

    static constexpr const char* kDevice = "Kavri Wheel Focuser";

private:
    void Send(const std::string& xml);
    void Parse();

    int fd_ = -1;
    std::string buffer_;
    std::map<std::string, IndiProperty> properties_;
    std::vector<std::string> messages_;
};

}  // namespace kavri::test
