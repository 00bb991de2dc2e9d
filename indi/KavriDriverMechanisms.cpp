// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser and filter-wheel halves of the driver: moves with their progress messages,
// filter changes, the filter names, and how the standard properties of both follow the
// device's state.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "device/FilterEntry.h"
#include "device/FocuserMoveLimit.h"
#include "indi/KavriDriver.h"

namespace kavri::indi {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Progress of a move goes out a little more often than once a second, so a client sees it at
// least that often even on a loaded machine.
constexpr milliseconds kProgressPeriod{800};
// The controller moves no faster than this, whatever is configured; a speed of 0 moves at the
// slowest speed offered.
constexpr int kFastestSpeed = 300;
constexpr int kSlowestSpeed = 10;

double Seconds(milliseconds duration) {
    return static_cast<double>(duration.count()) / 1000.0;
}

}  // namespace

// --- Focuser ---------------------------------------------------------------------------------

FocusRange KavriDriver::Range() const {
    return FocusRange{snapshot_.settings.AscomFocusShift, snapshot_.settings.AscomMaxFocusPos};
}

IPState KavriDriver::MoveAbsFocuser(uint32_t targetTicks) {
    std::string reason;
    const auto target = AbsoluteTarget(targetTicks, Range(), reason);
    if (target && StartMove(*target, reason)) return IPS_BUSY;
    LOG_ERROR(reason.c_str());
    return IPS_ALERT;
}

IPState KavriDriver::MoveRelFocuser(FocusDirection dir, uint32_t ticks) {
    std::string reason;
    const auto target =
        RelativeTarget(snapshot_.focuserPosition, dir == FOCUS_INWARD, ticks, Range(), reason);
    if (target && StartMove(*target, reason)) return IPS_BUSY;
    LOG_ERROR(reason.c_str());
    return IPS_ALERT;
}

bool KavriDriver::StartMove(int32_t controllerTarget, std::string& refusal) {
    const uint64_t session = session_;
    const bool accepted = worker_->Submit(
        "a focuser move",
        [controllerTarget](DeviceState& s) { return MoveJob(s, controllerTarget); },
        [this, session](const JobResult& result, const DeviceSnapshot& snapshot) {
            if (!Current(session)) return;
            StopMoveProgress();
            Apply(snapshot, result.message);
            if (link_ == Link::Up) EndMove(result.ok, result.message);
        },
        refusal);
    if (!accepted) return false;

    // What the driver knows of the move: where it goes and how long it should take. The
    // controller reports no position until it ends, so none is published meanwhile.
    const int32_t from = snapshot_.focuserPosition;
    const ControllerConfig& config = snapshot_.config;
    move_ = Move{};
    move_.active = true;
    move_.clientTarget = ClientPosition(controllerTarget, Range().shift);
    move_.steps = std::abs(controllerTarget - from);
    move_.speed = config.focuserSpeed == 0 ? kSlowestSpeed
                                           : std::min<int>(config.focuserSpeed, kFastestSpeed);
    move_.start = Clock::now();
    move_.expected = milliseconds(int64_t{move_.steps} * 1000 / move_.speed);
    move_.limit = milliseconds(
        FocuserMoveLimitMs(from, controllerTarget, config.focuserSpeed, config.focuserBacklash));
    FocusRelPosNP.s = IPS_BUSY;
    IDSetNumber(&FocusRelPosNP, nullptr);
    FocusAbsPosNP.s = IPS_BUSY;
    SendMoveProgress();
    return true;
}

void KavriDriver::SendMoveProgress() {
    if (!move_.active) return;
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - move_.start);
    char text[256];
    if (move_.ticks == 0) {
        std::snprintf(text, sizeof text, "Moving to %lld: %d steps at %d steps/s, about %.1f s",
                      static_cast<long long>(move_.clientTarget), move_.steps, move_.speed,
                      Seconds(move_.expected));
    } else if (elapsed <= move_.expected) {
        std::snprintf(text, sizeof text, "Moving to %lld: %.1f s of about %.1f s",
                      static_cast<long long>(move_.clientTarget), Seconds(elapsed),
                      Seconds(move_.expected));
    } else {
        std::snprintf(text, sizeof text,
                      "Moving to %lld: %.1f s, longer than the %.1f s expected; the controller "
                      "has up to %.1f s to report the end",
                      static_cast<long long>(move_.clientTarget), Seconds(elapsed),
                      Seconds(move_.expected), Seconds(move_.limit));
    }
    IDSetNumber(&FocusAbsPosNP, "%s", text);
    // The next tick is due a period after this one was, not after it ran: no drift.
    ++move_.ticks;
    const auto due = move_.start + kProgressPeriod * move_.ticks;
    const auto wait = std::chrono::duration_cast<milliseconds>(due - Clock::now());
    move_.timer = IEAddTimer(static_cast<int>(std::max<int64_t>(wait.count(), 1)),
                             &KavriDriver::OnMoveProgress, this);
}

void KavriDriver::OnMoveProgress(void* self) {
    auto* driver = static_cast<KavriDriver*>(self);
    driver->move_.timer = -1;
    driver->SendMoveProgress();
}

void KavriDriver::StopMoveProgress() {
    if (move_.timer >= 0) IERmTimer(move_.timer);
    move_.timer = -1;
    move_.active = false;
}

void KavriDriver::EndMove(bool ok, const std::string& message) {
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - move_.start);
    const IPState state = ok ? IPS_OK : IPS_ALERT;
    Finish(prop::kRelPosition, state, {});
    if (!ok) return Finish(prop::kAbsPosition, state, message);
    char text[128];
    std::snprintf(text, sizeof text, "At %.0f after %.1f s", FocusAbsPosN[0].value,
                  Seconds(elapsed));
    Finish(prop::kAbsPosition, state, text);
}

// --- Filter wheel ----------------------------------------------------------------------------

int KavriDriver::QueryFilter() {
    return SlotOfIndex(snapshot_.currentFilter);
}

bool KavriDriver::SelectFilter(int slot) {
    std::string reason = "Slot " + std::to_string(slot) + " does not exist";
    const auto index = IndexOfSlot(slot, static_cast<int>(snapshot_.filters.size()));
    if (link_ == Link::Up && index && StartFilterChange(*index, reason)) return true;
    LOG_WARN(reason.c_str());
    return false;
}

bool KavriDriver::StartFilterChange(int32_t index, std::string& refusal) {
    const int slot = SlotOfIndex(index);
    const FilterEntry& row = snapshot_.filters[static_cast<size_t>(index)];
    const int32_t focuserBefore = snapshot_.focuserPosition;
    const uint64_t session = session_;
    const std::string label = FilterLabel(snapshot_, index);
    const bool accepted = worker_->Submit(
        "a filter change",
        [index, label](DeviceState& s) { return SelectFilterJob(s, index, label); },
        [this, session, slot, focuserBefore](const JobResult& result,
                                             const DeviceSnapshot& snapshot) {
            if (!Current(session)) return;
            Apply(snapshot, result.message);
            if (link_ != Link::Up) return;  // the line went away; the property ended with it
            FilterSlotN[0].value = result.ok ? slot : SlotOfIndex(snapshot.currentFilter);
            CurrentFilter = static_cast<int>(FilterSlotN[0].value);
            Finish(prop::kFilterSlot, result.ok ? IPS_OK : IPS_ALERT, result.message);
            // A filter with its own focus position may take the focuser along; the controller
            // tells only afterwards, through the position read after the change.
            if (focuserShown_ && snapshot.focuserPosition != focuserBefore) {
                Finish(prop::kAbsPosition, IPS_OK,
                       "The controller moved the focuser with filter " + std::to_string(slot));
            }
        },
        refusal);
    if (!accepted) return false;
    const std::string name = DisplayName(row.name, kConfigNameLength);
    LOGF_INFO("Turning to filter %d%s%s%s", slot, name.empty() ? "" : " (", name.c_str(),
              name.empty() ? "" : ")");
    TargetFilter = slot;
    FilterSlotNP.s = IPS_BUSY;
    IDSetNumber(&FilterSlotNP, nullptr);
    return true;
}

bool KavriDriver::GetFilterNames() {
    BuildFilterNames(snapshot_);
    return true;
}

void KavriDriver::FreeFilterNames() {
    if (FilterNameT == nullptr) return;
    // The texts come from IUFillText (malloc), the array from new[], as libindi makes them.
    for (int i = 0; i < FilterNameTP->ntp; ++i) std::free(FilterNameT[i].text);
    delete[] FilterNameT;
    FilterNameT = nullptr;
    FilterNameTP->tp = nullptr;
    FilterNameTP->ntp = 0;
}

void KavriDriver::BuildFilterNames(const DeviceSnapshot& snapshot) {
    FreeFilterNames();
    const size_t count = snapshot.filters.size();
    FilterNameT = new IText[count]{};
    for (size_t i = 0; i < count; ++i) {
        const std::string element = std::string(kFilterNamePrefix) + std::to_string(i + 1);
        const std::string label = "Filter#" + std::to_string(i + 1);
        IUFillText(&FilterNameT[i], element.c_str(), label.c_str(),
                   DisplayName(snapshot.filters[i].name, kConfigNameLength).c_str());
    }
    IUFillTextVector(FilterNameTP, FilterNameT, static_cast<int>(count), getDeviceName(),
                     prop::kFilterName, "Filter", FILTER_TAB, IP_RW, 0, IPS_IDLE);
}

void KavriDriver::ApplyFocuser(const DeviceSnapshot& snapshot, bool send) {
    const FocusRange range = Range();
    const double maximum = range.maximum;
    const auto set = [send](INumberVectorProperty& vector, double& field, double value) {
        if (field == value) return;
        field = value;
        if (send) IDSetNumber(&vector, nullptr);
    };
    if (FocusAbsPosN[0].max != maximum) {
        FocusAbsPosN[0].max = maximum;
        FocusRelPosN[0].max = maximum;
        FocusSyncN[0].max = maximum;
        if (send) {
            IUUpdateMinMax(&FocusAbsPosNP);
            IUUpdateMinMax(&FocusRelPosNP);
            IUUpdateMinMax(&FocusSyncNP);
        }
    }
    set(FocusMaxPosNP, FocusMaxPosN[0].value, maximum);
    set(FocusAbsPosNP, FocusAbsPosN[0].value,
        static_cast<double>(ClientPosition(snapshot.focuserPosition, range.shift)));
    set(FocusSpeedNP, FocusSpeedN[0].value, snapshot.config.focuserSpeed);
    set(FocusBacklashNP, FocusBacklashN[0].value, snapshot.config.focuserBacklash);
    const bool backlashOn = snapshot.config.focuserBacklash > 0;
    if ((FocusBacklashS[0].s == ISS_ON) != backlashOn) {
        FocusBacklashS[0].s = backlashOn ? ISS_ON : ISS_OFF;
        FocusBacklashS[1].s = backlashOn ? ISS_OFF : ISS_ON;
        if (send) IDSetSwitch(&FocusBacklashSP, nullptr);
    }
}

void KavriDriver::ApplyWheel(const DeviceSnapshot& snapshot, bool send) {
    const double count = static_cast<double>(snapshot.filters.size());
    if (FilterSlotN[0].max != count) {
        FilterSlotN[0].min = 1;
        FilterSlotN[0].max = count;
        if (send) IUUpdateMinMax(&FilterSlotNP);
    }
    CurrentFilter = SlotOfIndex(snapshot.currentFilter);
    if (FilterSlotNP.s != IPS_BUSY && FilterSlotN[0].value != CurrentFilter) {
        FilterSlotN[0].value = CurrentFilter;
        if (send) IDSetNumber(&FilterSlotNP, nullptr);
    }
    bool renamed = false;
    for (int i = 0; i < FilterNameTP->ntp && static_cast<size_t>(i) < snapshot.filters.size();
         ++i) {
        const std::string name = DisplayName(snapshot.filters[i].name, kConfigNameLength);
        if (name != (FilterNameT[i].text ? FilterNameT[i].text : "")) {
            IUSaveText(&FilterNameT[i], name.c_str());
            renamed = true;
        }
    }
    if (renamed && send) IDSetText(FilterNameTP, nullptr);
}

}  // namespace kavri::indi
