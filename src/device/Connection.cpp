// Connecting to the controller: open the configured port or search COM1..COM16, probe which
// mechanisms answer, read the controller's state, and start the diagnostic log file afresh.
// A port that cannot be used says why, in failureReason and on the diagnostic log: the user
// learns that another program holds it, or that permission is missing, rather than only that
// no controller was found.

#include "device/CommandExchange.h"
#include "device/ControllerConfig.h"
#include "device/PortNaming.h"
#include "device/WheelFocuserDevice.h"

namespace kavri {

namespace {

constexpr int kBaudRate = 9600;
constexpr const char* kNoAnswer = "no answer";

// Opens COM n and probes it. False with the reason in `detail`; `absent` tells a number without
// any device, which a search passes over without a word.
bool OpenAndProbe(WheelFocuserDevice& device, int32_t n, std::string& detail, bool& absent) {
    absent = false;
    PortStatus status;
    // A number without a device here, or a device that does not exist, fails at once.
    device.port = OpenSerialPort(ActivePortNaming().DevicePath(n), kBaudRate, &status);
    if (!device.port) {
        absent = status.problem == PortProblem::kNoDevice;
        detail = status.message;
        return false;
    }
    if (!device.Probe()) {
        detail = PortHungUp(device.port) ? kLineHungUp : kNoAnswer;
        // Closed before anything else is tried, so no other program finds it held.
        device.Disconnect();
        return false;
    }
    device.portNumber = n;
    // Each connection starts the log file empty; a file that cannot be created leaves the
    // log without one, and the connection stands regardless.
    if (!device.LogFile.empty()) {
        device.log.CloseFile();
        device.log.OpenFile(device.LogFile);
    }
    return true;
}

}  // namespace

bool WheelFocuserDevice::Connect() {
    // A configured port is the only one tried, even when it fails: the user chose it.
    if (settings.ComPort > 0) return OpenPort(settings.ComPort);
    if (port) return true;
    failureReason.clear();
    const PortNaming naming = ActivePortNaming();
    std::string unusable;
    for (int number = kFirstComPort; number <= kLastComPort; ++number) {
        std::string detail;
        bool absent = false;
        if (OpenAndProbe(*this, number, detail, absent)) return true;
        if (absent) continue;
        const std::string entry = naming.Label(number) + ": " + detail;
        Print("%s\r\n", entry.c_str());
        unusable += "; " + entry;
    }
    failureReason = "no controller found on any of COM" + std::to_string(kFirstComPort) + "..COM" +
                    std::to_string(kLastComPort) + unusable;
    return false;
}

bool WheelFocuserDevice::OpenPort(int32_t n) {
    if (port) return true;
    failureReason.clear();
    std::string detail;
    bool absent = false;
    if (OpenAndProbe(*this, n, detail, absent)) return true;
    failureReason = "no controller found on " + ActivePortNaming().Label(n) + ": " + detail;
    Print("%s\r\n", failureReason.c_str());
    return false;
}

bool WheelFocuserDevice::Probe() {
    int32_t filter = -1;
    wheelPresent = GetFilter(filter);  // sets currentFilter (-1 without an answer)
    int32_t position = 0;
    focuserPresent = GetPosition(position);  // stores focuserPosition
    if (!wheelPresent && !focuserPresent) return false;

    // The image is read into a scratch copy and taken only when complete: a short read must
    // not leave a half-old, half-new image that a later write would store in the controller.
    ControllerConfig image = config;
    if (!FWreadEE(0, kConfigSize, image.data())) return false;
    config = image;

    if (wheelPresent && !FWCOUNT()) return false;
    if (focuserPresent) FWzm();  // a missing microstep table does not make the port wrong
    return true;
}

}  // namespace kavri
