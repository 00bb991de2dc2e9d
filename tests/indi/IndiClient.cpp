#include "indi/IndiClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace kavri::test {

namespace {

std::string Unescape(std::string text) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, plain] : kEntities) {
        for (size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1)) {
            text.replace(at, std::string(entity).size(), plain);
        }
    }
    return text;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// The value of attribute `name` in a start tag.
std::string Attribute(const std::string& tag, const std::string& name) {
    const std::string key = " " + name + "=";
    const size_t at = tag.find(key);
    if (at == std::string::npos) return {};
    const char quote = tag[at + key.size()];
    const size_t start = at + key.size() + 1;
    return Unescape(tag.substr(start, tag.find(quote, start) - start));
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

IndiClient::~IndiClient() {
    if (fd_ >= 0) close(fd_);
}

bool IndiClient::Connect(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    Send("<getProperties version='1.7'/>");
    return true;
}

void IndiClient::Send(const std::string& xml) {
    for (size_t sent = 0; sent < xml.size();) {
        const ssize_t n = send(fd_, xml.data() + sent, xml.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

void IndiClient::Ask(const std::string& property) {
    Send("<getProperties version='1.7' device='" + std::string(kDevice) + "' name='" + property +
         "'/>");
}

int IndiClient::Set(const std::string& kind, const std::string& property,
                    const std::map<std::string, std::string>& values) {
    std::ostringstream xml;
    xml << "<new" << kind << "Vector device='" << kDevice << "' name='" << property << "'>";
    for (const auto& [element, value] : values) {
        xml << "<one" << kind << " name='" << element << "'>" << Escape(value) << "</one" << kind
            << ">";
    }
    xml << "</new" << kind << "Vector>";
    const int before = properties_[property].updates;
    Send(xml.str());
    return before;
}

int IndiClient::SetNumber(const std::string& property, const std::string& element, double value) {
    std::ostringstream text;
    text << value;
    return Set("Number", property, {{element, text.str()}});
}

int IndiClient::SetSwitch(const std::string& property, const std::string& element) {
    return Set("Switch", property, {{element, "On"}});
}

std::string IndiClient::Value(const std::string& property, const std::string& element) {
    return properties_[property].values[element];
}

double IndiClient::Number(const std::string& property, const std::string& element) {
    return std::strtod(Value(property, element).c_str(), nullptr);
}

bool IndiClient::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[65536];
        const ssize_t n = read(fd_, chunk, sizeof chunk);
        if (n <= 0) return done();
        buffer_.append(chunk, static_cast<size_t>(n));
        Parse();
    }
    return true;
}

bool IndiClient::WaitState(const std::string& property, const std::vector<std::string>& states,
                           int since, std::chrono::milliseconds timeout) {
    return WaitFor(
        [&] {
            const IndiProperty& p = properties_[property];
            if (p.updates <= since) return false;
            for (const auto& s : states) {
                if (p.state == s) return true;
            }
            return false;
        },
        timeout);
}

// Applies every complete top-level element in the buffer: definitions, updates, deletions and
// messages.
void IndiClient::Parse() {
    for (;;) {
        const size_t open = buffer_.find('<');
        if (open == std::string::npos) return;
        const size_t tagEnd = buffer_.find('>', open);
        if (tagEnd == std::string::npos) return;
        const std::string head = buffer_.substr(open, tagEnd - open + 1);
        const std::string tag = head.substr(1, head.find_first_of(" \t\r\n/>", 1) - 1);
        size_t end = tagEnd + 1;
        std::string body;
        if (head[head.size() - 2] != '/') {
            const size_t close = buffer_.find("</" + tag + ">", tagEnd);
            if (close == std::string::npos) return;
            body = buffer_.substr(tagEnd + 1, close - tagEnd - 1);
            end = close + tag.size() + 3;
        }
        buffer_.erase(0, end);

        const std::string name = Attribute(head, "name");
        const std::string message = Attribute(head, "message");
        if (tag == "message") {
            messages_.push_back(message);
            continue;
        }
        if (tag == "delProperty") {
            properties_[name].defined = false;
            continue;
        }
        if (tag.size() < 9 || tag.compare(tag.size() - 6, 6, "Vector") != 0) continue;
        IndiProperty& p = properties_[name];
        if (tag.rfind("def", 0) == 0) p.defined = true;
        if (!Attribute(head, "state").empty()) p.state = Attribute(head, "state");
        if (!message.empty()) messages_.push_back(p.message = message);
        ++p.updates;
        for (size_t at = body.find('<'); at != std::string::npos;) {
            const size_t childEnd = body.find('>', at);
            const std::string childHead = body.substr(at, childEnd - at + 1);
            const size_t next = body.find('<', childEnd);
            p.values[Attribute(childHead, "name")] =
                Trim(Unescape(body.substr(childEnd + 1, next - childEnd - 1)));
            at = body.find('<', next + 1);  // past the closing tag
        }
    }
}

}  // namespace kavri::test
