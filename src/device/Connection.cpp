// Connecting to the controller: open the configured port or search COM1..COM16, probe which
// mechanisms answer, read the controller's state, and start the diagnostic log file afresh.

#include "device/ControllerConfig.h"
#include "device/PortNaming.h"
#include "device/WheelFocuserDevice.h"

namespace kavri {

namespace {
constexpr int kBaudRate = 9600;
}  // namespace

bool WheelFocuserDevice::Connect() {
    // A configured port is the only one tried, even when it fails: the user chose it.
    if (settings.ComPort > 0) return OpenPort(settings.ComPort);
    for (int number = kFirstComPort; number <= kLastComPort; ++number) {
        if (OpenPort(number)) return true;
    }
    return false;
}

bool WheelFocuserDevice::OpenPort(int32_t n) {
    if (port) return true;

    // A number without a device here, or a device that does not exist, fails at once.
    const std::string device = ActivePortNaming().DevicePath(n);
    if (device.empty()) return false;
    port = OpenSerialPort(device, kBaudRate);
    if (!port) return false;

    if (!Probe()) {
        // Closed before anything else is tried, so no other program finds it held.
        Disconnect();
        return false;
    }

    // Each connection starts the log file empty; a file that cannot be created leaves the
    // log without one, and the connection stands regardless.
    if (!LogFile.empty()) {
        log.CloseFile();
        log.OpenFile(LogFile);
    }
    return true;
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
