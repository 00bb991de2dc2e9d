// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/QtTimerService.h"

#include <QTimer>

namespace kavri::ui {

QtTimerService::QtTimerService(QObject* parent) : QObject(parent) {}

// The timers are children of the service and go with it.
QtTimerService::~QtTimerService() = default;

int QtTimerService::StartTimer(int requestedId, int intervalMs, Callback callback) {
    if (!callback || intervalMs < 0) return 0;
    int id = requestedId;
    if (id <= 0 || timers_.count(id) != 0) {
        while (timers_.count(nextId_) != 0) ++nextId_;
        id = nextId_++;
    }
    auto* timer = new QTimer(this);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, this,
                     [callback = std::move(callback)] { callback(); });
    timers_[id] = timer;
    timer->start();
    return id;
}

void QtTimerService::StopTimer(int timerId) {
    const auto found = timers_.find(timerId);
    if (found == timers_.end()) return;
    QTimer* timer = found->second;
    timers_.erase(found);
    timer->stop();
    timer->deleteLater();  // the callback that stops its own timer is still running
}

}  // namespace kavri::ui
