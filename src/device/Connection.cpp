// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting to the controller: open the configured port or search COM1..COM16, probe which
// mechanisms answer, read the controller's state, and start the diagnostic log file afresh.
// A port that cannot be used says why, in failureReason and on the diagnostic log: the user
// learns that another program holds it, or that permission is missing, rather than only that
// no controller was found.

#include "device/CommandExchange.h"
#include "device/ControllerConfig.h"
#include "device/DeviceOperations.h"
#include "transport/PortNaming.h"

namespace kavri {

namespace {

constexpr int kBaudRate = 9600;
constexpr const char* kNoAnswer = "no answer";
constexpr const char* kGarbledAnswers = "garbled answers, twice";

// Opens the device at `path` and probes it; `number` is its COM number (0 for a device path
// given as such). False with the reason in `detail`; `absent` tells a device that does not
// exist, which a search passes over without a word.
bool OpenAndProbe(WheelFocuserDevice& device, const std::string& path, int number,
                  const std::string& logFile, std::string& detail, bool& absent) {
    absent = false;
    PortStatus status;
    // A number without a device here, or a device that does not exist, fails at once.
    device.port = OpenSerialPort(path, kBaudRate, &status);
    if (!device.port) {
        absent = status.problem == PortProblem::kNoDevice;
        detail = status.message;
        return false;
    }
    if (!device.Probe()) {
        detail = PortHungUp(device.port)         ? kLineHungUp
                 : !device.failureReason.empty() ? device.failureReason
                                                 : kNoAnswer;
        // Closed before anything else is tried, so no other program finds it held.
        device.Disconnect();
        return false;
    }
    device.portNumber = number;
    // Each connection starts the log file empty; a file that cannot be created leaves the
    // log without one, and the connection stands regardless.
    if (!logFile.empty()) {
        device.log.CloseFile();
        device.log.OpenFile(logFile);
    }
    return true;
}

// One port, COM n or a device path: the only one tried, even when it fails, since the user
// chose it.
bool ConnectOne(WheelFocuserDevice& device, const PortChoice& choice, const std::string& logFile) {
    if (device.port) return true;
    device.failureReason.clear();
    const PortNaming naming = PortNaming::FromEnvironment();
    const std::string path = choice.IsPath() ? choice.devicePath : naming.DevicePath(choice.number);
    std::string detail;
    bool absent = false;
    if (OpenAndProbe(device, path, choice.IsPath() ? 0 : choice.number, logFile, detail, absent)) {
        return true;
    }
    const std::string label = choice.IsPath() ? choice.devicePath : naming.Label(choice.number);
    device.failureReason = "no controller found on " + label + ": " + detail;
    device.Print("%s\r\n", device.failureReason.c_str());
    return false;
}

// Auto: COM1..COM16 in turn, until one answers.
bool Search(WheelFocuserDevice& device, const std::string& logFile) {
    if (device.port) return true;
    device.failureReason.clear();
    const PortNaming naming = PortNaming::FromEnvironment();
    std::string unusable;
    for (int number = kFirstComPort; number <= kLastComPort; ++number) {
        std::string detail;
        bool absent = false;
        if (OpenAndProbe(device, naming.DevicePath(number), number, logFile, detail, absent)) {
            return true;
        }
        if (absent) continue;
        const std::string entry = naming.Label(number) + ": " + detail;
        device.Print("%s\r\n", entry.c_str());
        unusable += "; " + entry;
    }
    device.failureReason = "no controller found on any of COM" + std::to_string(kFirstComPort) +
                           "..COM" + std::to_string(kLastComPort) + unusable;
    return false;
}

bool ConnectOn(WheelFocuserDevice& device, const PortChoice& choice, const std::string& logFile) {
    if (choice.IsPath() || IsComPortNumber(choice.number)) return ConnectOne(device, choice, logFile);
    return Search(device, logFile);
}

}  // namespace

bool WheelFocuserDevice::Connect() {
    // A configured port is the only one tried, even when it fails: the user chose it.
    if (settings.ComPort > 0) return OpenPort(settings.ComPort);
    return Search(*this, LogFile);
}

bool WheelFocuserDevice::OpenPort(int32_t n) {
    return ConnectOne(*this, PortChoice{n, {}}, LogFile);
}

void StorePortChoice(WheelFocuserDevice& device, const PortChoice& choice) {
    if (!choice.IsPath()) device.settings.ComPort = choice.number;
}

bool ConnectTo(WheelFocuserDevice& device, const ConnectRequest& request) {
    if (request.storePort) StorePortChoice(device, request.port);
    const std::string logFile = request.logFile.value_or(device.LogFile);
    if (request.client == nullptr) return ConnectOn(device, request.port, logFile);
    return device.JoinClient(request.client,
                             [&] { ConnectOn(device, request.port, logFile); });
}

namespace {

// Bytes a drain reads at most, so a port that never falls silent cannot hold the probe.
constexpr int kDrainBytes = 256;

// Reads and drops what still arrives until no byte has come for a one-byte read's time-out.
void DrainLine(PortHandle port) {
    uint8_t discard = 0;
    for (int i = 0; i < kDrainBytes && ReadBytes(port, &discard, 1) > 0; ++i) {
    }
}

}  // namespace

// The answer bytes of the probe's exchanges: the filter, the position, the filter count.
constexpr uint64_t kFilterReplyBytes = 1;
constexpr uint64_t kPositionReplyBytes = 2;
constexpr uint64_t kCountReplyBytes = 1;

// Which mechanisms answer and what the controller holds. A USB adapter often sends a stray byte
// as it is opened. The purge before the first exchange drops one that is already there; one
// that comes later is taken by the first answer for its own, and the real answer then spoils
// the next (a wheel reported missing, a focuser position made of two wrong bytes). So when more
// bytes arrived than the answers that were understood, the probe waits for the line to fall
// silent and runs once more. A line still garbled the second time fails the probe, as what it
// read cannot be trusted. A silent port, one that answered exactly and a hung-up line are
// probed once.
bool WheelFocuserDevice::Probe() {
    PurgePort(port);
    uint64_t seen = PortBytesSeen(port);
    uint64_t answered = 0;
    bool probed = ProbeMechanisms(answered);
    if (PortBytesSeen(port) - seen > answered && !PortHungUp(port)) {
        Print("bytes that were no answer came while probing; probing again\r\n");
        DrainLine(port);
        PurgePort(port);
        seen = PortBytesSeen(port);
        probed = ProbeMechanisms(answered);
        if (PortBytesSeen(port) - seen > answered && !PortHungUp(port)) {
            failureReason = kGarbledAnswers;
            return false;
        }
    }
    if (probed && focuserPresent) FWzm();  // a missing microstep table does not make the port wrong
    return probed;
}

bool WheelFocuserDevice::ProbeMechanisms(uint64_t& answered) {
    answered = 0;
    int32_t filter = -1;
    wheelPresent = GetFilter(filter);  // sets currentFilter (-1 without an answer)
    if (wheelPresent) answered += kFilterReplyBytes;
    int32_t position = 0;
    focuserPresent = GetPosition(position);  // stores focuserPosition
    if (focuserPresent) answered += kPositionReplyBytes;
    if (!wheelPresent && !focuserPresent) return false;

    // The image is read into a scratch copy and taken only when complete: a short read must
    // not leave a half-old, half-new image that a later write would store in the controller.
    ControllerConfig image = config;
    if (!FWreadEE(0, kConfigSize, image.data())) return false;
    answered += kConfigSize;
    config = image;

    if (!wheelPresent) return true;
    if (!FWCOUNT()) return false;
    answered += kCountReplyBytes;
    return true;
}

}  // namespace kavri
