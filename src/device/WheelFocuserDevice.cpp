// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/WheelFocuserDevice.h"

#include <utility>

#include "device/SettingsStore.h"

namespace kavri {

WheelFocuserDevice::WheelFocuserDevice(SettingsStore& settingsStore, TimerService& timerService,
                                       SleepFunction sleep)
    : DiagnosticLog(),
      ClientSet(*this),
      StepperWheel(std::move(sleep)),
      log(*this),
      store(settingsStore),
      timers(timerService) {
    WheelFocuserDevice::LoadRegistry();
    activeDevice = this;
    timerId =
        timers.StartTimer(kTemperatureTimerId, kTemperatureTimerMs, [] { LogTemperatures(); });
}

WheelFocuserDevice::~WheelFocuserDevice() {
    Disconnect();
    WheelFocuserDevice::SaveRegistry();
    if (timerId != 0) {
        timers.StopTimer(timerId);
        timerId = 0;
    }
    if (activeDevice == this) activeDevice = nullptr;
    clients.clear();
    CloseFile();
}

void WheelFocuserDevice::Disconnect() {
    if (port == nullptr) return;
    CloseSerialPort(port);
    port = nullptr;
    portNumber = 0;
    CloseFile();
    focuserPresent = false;
    wheelPresent = false;
}

}  // namespace kavri
