// SPDX-License-Identifier: GPL-3.0-or-later
// Repeating timers on the Qt event loop of the calling thread. Callbacks run between events, so
// they never interrupt a blocking exchange on the same thread.
#pragma once

#include <QObject>
#include <map>
#include <memory>

#include "platform/TimerService.h"

class QTimer;

namespace kavri::ui {

class QtTimerService : public QObject, public TimerService {
public:
    explicit QtTimerService(QObject* parent = nullptr);
    ~QtTimerService() override;

    // Uses `requestedId` when it is positive and free, the next free identifier otherwise.
    int StartTimer(int requestedId, int intervalMs, Callback callback) override;
    // Safe from within the timer's own callback.
    void StopTimer(int timerId) override;

    bool IsRunning(int timerId) const { return timers_.count(timerId) != 0; }

private:
    std::map<int, QTimer*> timers_;
    int nextId_ = 1;
};

}  // namespace kavri::ui
