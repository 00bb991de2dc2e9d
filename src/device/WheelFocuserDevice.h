// SPDX-License-Identifier: GPL-3.0-or-later
// The one device object: the serial filter wheel and focuser controller. It keeps the
// StepperWheel interface, but its position operations address the focuser and its filter
// operations send commands to the wheel. It owns the port, the copy of the controller's
// configuration image, the settings shared with the focuser driver, the presence flags, the
// last focuser position and temperatures, and the `busy` flag that serialises exchanges.
//
// Built from, in this order: DiagnosticLog (reachable as `log`), ClientSet, StepperWheel.
// Destruction runs in reverse, so the log outlives everything else of the device.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "device/ClientSet.h"
#include "device/ControllerConfig.h"
#include "device/DiagnosticLog.h"
#include "device/SettingsBlock.h"
#include "device/SettingsStore.h"
#include "platform/Sleeper.h"
#include "device/StepperWheel.h"
#include "platform/TimerService.h"
#include "transport/SerialPort.h"

namespace kavri {

class TraceCollector;

// A value under DriverKey as the device last read or wrote it.
struct KnownSetting {
    SettingsValue value;  // in the form the device writes it
    bool stored = false;  // false: the store lacked it, and `value` is the default taken
};

constexpr int kThermometerSlots = 4;
constexpr int kMicrostepTableSize = 128;
// The temperature log timer: requested identifier and interval.
constexpr int kTemperatureTimerId = 15;
constexpr int kTemperatureTimerMs = 5000;

class WheelFocuserDevice : public DiagnosticLog, public ClientSet, public StepperWheel {
public:
    // Loads the settings from `store` (DriverKey), becomes activeDevice and starts the
    // temperature-log timer on `timers`. `sleep` is the pause of the base stepping routine.
    WheelFocuserDevice(SettingsStore& store, TimerService& timers, SleepFunction sleep = {});
    // Disconnects, saves the settings, stops the timer and clears activeDevice.
    ~WheelFocuserDevice() override;
    WheelFocuserDevice(const WheelFocuserDevice&) = delete;
    WheelFocuserDevice& operator=(const WheelFocuserDevice&) = delete;

    // --- Focuser position, overriding the stepper slots (FocuserProtocol) ---
    bool GetPosition(int32_t& position) override;  // "FWfocus"
    bool MoveTo(int32_t position) override;        // "FWgoFocus"
    bool SetPosition(int32_t position) override;   // "FWsetFocus"
    void WriteOutputBits(uint8_t) override {}      // the controller steps its motors itself

    // --- Filter wheel (WheelProtocol) ---
    bool Home(int32_t shift) override;          // "FWHOME"; shift not used
    bool SelectFilter(int32_t index) override;  // "FWGOTO"
    bool GetFilter(int32_t& index) override;    // "FWFILTER"
    bool FWCOUNT();                             // sizes `filters` and fills them from `config`
    bool FWWRITENAME(int32_t index, const char* name);
    bool WriteFilterTable();  // filter rows into `config`, then "FWwriteEE" of all 144 bytes

    // --- Focuser commands (FocuserProtocol) ---
    bool FWdirFocus(int32_t& direction);                          // +1 or -1
    bool FWtemperature(int32_t index, float& value);              // degrees
    bool FWisAuto(int32_t& thermometer);                          // -1: none
    bool FWautoCompSet(int32_t thermometer);                      // -1 switches off
    bool FWubStep(int32_t& stepMicrosteps, int32_t& maxDivisor);  // step size, divisor
    bool FWzm();  // reads microstepTable / microstepCount
    bool FWym();  // sends the first microstepCount bytes of microstepTable

    // --- Configuration image (ConfigProtocol); no busy check, as the callers hold it ---
    bool FWreadEE(uint8_t offset, uint8_t length, uint8_t* dest);
    bool FWwriteEE(uint8_t offset, uint8_t length, const uint8_t* src);

    // Every byte exchanged on the port, with time stamps, to the log's sink; stays in force
    // for ports opened later.
    void SetExchangeTrace(bool enabled);

    // --- Connection (Connection.cpp); a failure leaves its reason in failureReason ---
    bool Connect();            // ComPort, or a search of COM1..COM16
    bool OpenPort(int32_t n);  // opens "COM<n>", probes, opens the log file
    bool Probe();              // presence flags, config, filter table, microstep table
    void Disconnect();         // closes port and log file, clears presence flags
    // Probe's exchanges up to the filter table; `answered` counts the answer bytes understood.
    bool ProbeMechanisms(uint64_t& answered);

    // --- Settings under DriverKey (RegistrySettings.cpp); true on success ---
    virtual bool SaveRegistry();
    virtual bool LoadRegistry();

    // The device's text log (the DiagnosticLog base).
    DiagnosticLog& log;

    ControllerConfig config{};
    SettingsBlock settings;
    int32_t ChangeFilterTimeoutMs = 1000;           // per filter slot of wheel travel
    std::string TermometerName[kThermometerSlots];  // registry "TermometerName0".."3"
    std::string LogFile;                            // empty: no log file
    bool focuserPresent = false;
    bool wheelPresent = false;
    int32_t focuserPosition = 0;
    float temperatures[kThermometerSlots] = {};
    bool busy = false;
    int timerId = 0;  // 0: no timer running
    uint8_t microstepTable[kMicrostepTableSize] = {};
    int32_t microstepCount = -1;  // -1: not read
    PortHandle port = nullptr;
    int32_t portNumber = 0;  // the COM number of the open port; 0 while disconnected
    // Why the last connection attempt or command exchange failed, in words for the user, when
    // the device knows more than its false: why a port could not be opened or did not answer,
    // or that the line was hung up. Empty otherwise; every connection attempt and every
    // exchange starts it afresh.
    std::string failureReason;
    // Set while SetExchangeTrace is on: gathers the traced bytes into lines.
    std::shared_ptr<TraceCollector> traceCollector;

    // The values under DriverKey as this device last read or wrote them, by name. A save writes
    // only the fields that differ from them, so it never puts back what another program stored
    // since (RegistrySettings.cpp).
    std::map<std::string, KnownSetting> knownSettings;

    SettingsStore& store;  // where SaveRegistry / LoadRegistry keep DriverKey
    TimerService& timers;  // runs the temperature-log timer
};

// The process-wide device reached by the temperature-log timer callback; set by the device
// constructor, cleared by its destructor.
inline WheelFocuserDevice* activeDevice = nullptr;

// Timer callback: appends one row to the daily temperature log (TemperatureLog.cpp).
void LogTemperatures();

}  // namespace kavri
