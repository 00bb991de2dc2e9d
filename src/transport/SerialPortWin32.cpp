// SPDX-License-Identifier: GPL-3.0-or-later
// Serial port on a Win32 communications device ("\\.\COMn").
//
// The device is opened exclusively and synchronously; the driver's own time-outs give the
// controller's read and write limits, all five COMMTIMEOUTS fields 100 ms: a read of n bytes
// ends when the n-th byte arrives, when more than 100 ms pass between two bytes, or after
// 100 + 100·n ms in all; a write of n bytes is cut short after 100 + 100·n ms. The exclusive
// open is the port's lock: a second opener, in this program or another, is refused by the
// system at once.
#include <windows.h>

#include <memory>
#include <utility>

#include "transport/PortAccess.h"
#include "transport/SerialPort.h"
#include "platform/WideTextWin32.h"

namespace kavri {

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    PortTrace trace;
    bool hungUp = false;
    uint64_t bytesSeen = 0;  // read or purged
};

namespace {

constexpr DWORD kQueueBytes = 512;
constexpr DWORD kTimeoutMs = kInterByteTimeoutMs;
constexpr char kNotSerial[] = "not a serial port (not a communications device)";

PortStatus Problem(PortProblem problem, std::string message) {
    return PortStatus{problem, std::move(message)};
}

PortStatus OpenErrorStatus(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DEVICE_NOT_CONNECTED:
            return Problem(PortProblem::kNoDevice, "no such device");
        // The system refuses a second open of a communications device with one of these.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return HeldByStatus(kExclusiveHolder);
        default:
            return Problem(PortProblem::kFailed, "cannot open: " + Win32ErrorText(error));
    }
}

// Errors of ReadFile and WriteFile after which the device will not answer again: a USB adapter
// pulled out, a driver that gave up.
bool DeviceGone(DWORD error) {
    switch (error) {
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_BROKEN_PIPE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NOT_READY:
        case ERROR_IO_DEVICE:
            return true;
        default:
            return false;
    }
}

void NoteFailure(SerialPort* port) {
    if (DeviceGone(GetLastError())) port->hungUp = true;
}

// A read that brought nothing may be a time-out or a device that is gone: a removed USB adapter,
// or under Wine a pseudo-terminal whose other end closed, whose reads keep succeeding with no
// bytes. The port's status tells them apart, as it fails once the device is gone (Wine reports
// ERROR_NOT_READY), so a wait for an answer ends at once instead of at its limit.
void CheckLineAfterEmptyRead(SerialPort* port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port->handle, &errors, &status)) NoteFailure(port);
}

void Trace(const SerialPort* port, TraceDirection direction, const uint8_t* bytes, int count) {
    if (port->trace && count > 0) port->trace(direction, bytes, count);
}

// 8N1, no flow control of any kind, DTR and RTS held off, errors not aborting reads and
// writes; every other field as the driver reports it.
void ApplyLineSettings(HANDLE handle, int baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) return;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    SetCommState(handle, &dcb);
}

void ApplyTimeouts(HANDLE handle) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = kTimeoutMs;
    timeouts.ReadTotalTimeoutConstant = kTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = kTimeoutMs;
    timeouts.WriteTotalTimeoutConstant = kTimeoutMs;
    SetCommTimeouts(handle, &timeouts);
}

// "COM5" or "\\.\COM5" -> "COM5"; anything else -> empty.
std::string DosDeviceName(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) rest.erase(0, 4);
    if (rest.size() < 4 || (rest[0] != 'C' && rest[0] != 'c') ||
        (rest[1] != 'O' && rest[1] != 'o') || (rest[2] != 'M' && rest[2] != 'm')) {
        return {};
    }
    for (size_t i = 3; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9') return {};
    }
    return rest;
}

}  // namespace

PortHandle OpenSerialPort(const std::string& name, int baud, PortStatus* status) {
    PortStatus ignored;
    PortStatus& result = status ? *status : ignored;
    result = {};
    // Exclusive (no sharing), existing device only, synchronous.
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        result = OpenErrorStatus(GetLastError());
        return nullptr;
    }
    // A file or any other device is closed again untouched: only a communications device
    // accepts driver queues.
    if (GetFileType(handle) != FILE_TYPE_CHAR || !SetupComm(handle, kQueueBytes, kQueueBytes)) {
        CloseHandle(handle);
        result = Problem(PortProblem::kNotTerminal, kNotSerial);
        return nullptr;
    }
    // The open stands once the device is open and its queues are sized; the line settings,
    // time-outs and event mask are applied unchecked.
    ApplyLineSettings(handle, baud);
    ApplyTimeouts(handle);
    SetCommMask(handle, EV_RXCHAR);
    auto port = std::make_unique<SerialPort>();
    port->handle = handle;
    return port.release();
}

PortStatus InspectSerialPort(const std::string& name) {
    // Whether the system knows the port, without opening it: opening raises the modem lines.
    // Who holds it shows only when it is opened.
    const std::string device = DosDeviceName(name);
    if (!device.empty()) {
        wchar_t target[1024];
        if (QueryDosDeviceW(Utf8ToWide(device).c_str(), target, 1024) == 0) {
            return Problem(PortProblem::kNoDevice, "no such device");
        }
        return {};
    }
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Problem(PortProblem::kNoDevice, "no such device");
    }
    return Problem(PortProblem::kNotTerminal, kNotSerial);
}

void CloseSerialPort(PortHandle port) {
    if (!port) return;
    CloseHandle(port->handle);
    delete port;
}

void PurgePort(PortHandle port) {
    if (!port) return;
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(port->handle, &errors, &status)) port->bytesSeen += status.cbInQue;
    PurgeComm(port->handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void FlushPort(PortHandle port) {
    if (port) FlushFileBuffers(port->handle);
}

int ReadBytes(PortHandle port, uint8_t* buffer, int n) {
    if (!port || !buffer || n <= 0) return 0;
    DWORD got = 0;
    if (!ReadFile(port->handle, buffer, static_cast<DWORD>(n), &got, nullptr)) {
        NoteFailure(port);
        return 0;
    }
    if (got == 0) CheckLineAfterEmptyRead(port);
    Trace(port, TraceDirection::In, buffer, static_cast<int>(got));
    port->bytesSeen += got;
    return static_cast<int>(got);
}

bool WriteBytes(PortHandle port, const uint8_t* buffer, int n) {
    if (!port || n < 0 || (n > 0 && !buffer)) return false;
    if (n == 0) return true;
    DWORD written = 0;
    if (!WriteFile(port->handle, buffer, static_cast<DWORD>(n), &written, nullptr)) {
        NoteFailure(port);
        return false;
    }
    Trace(port, TraceDirection::Out, buffer, static_cast<int>(written));
    return written == static_cast<DWORD>(n);
}

uint64_t PortBytesSeen(PortHandle port) {
    return port ? port->bytesSeen : 0;
}

bool PortHungUp(PortHandle port) {
    return port && port->hungUp;
}

void SetPortTrace(PortHandle port, PortTrace trace) {
    if (port) port->trace = std::move(trace);
}

}  // namespace kavri
