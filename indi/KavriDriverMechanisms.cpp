// The focuser and filter-wheel halves of the driver: the hooks libindi's Focuser and
// FilterInterface call for moves and filter changes, the filter names, and how the standard
// properties of both follow the device's state.
#include <cstdlib>

#include "indi/KavriDriver.h"

namespace kavri::indi {

// --- Focuser ---------------------------------------------------------------------------------

FocusRange KavriDriver::Range() const {
    return FocusRange{snapshot_.settings.AscomFocusShift, snapshot_.settings.AscomMaxFocusPos};
}

IPState KavriDriver::MoveAbsFocuser(uint32_t targetTicks) {
    std::string reason;
    const auto target = AbsoluteTarget(targetTicks, Range(), reason);
    if (!target) {
        LOG_ERROR(reason.c_str());
        return IPS_ALERT;
    }
    return StartMove(*target);
}

IPState KavriDriver::MoveRelFocuser(FocusDirection dir, uint32_t ticks) {
    std::string reason;
    const auto target =
        RelativeTarget(snapshot_.focuserPosition, dir == FOCUS_INWARD, ticks, Range(), reason);
    if (!target) {
        LOG_ERROR(reason.c_str());
        return IPS_ALERT;
    }
    return StartMove(*target);
}

IPState KavriDriver::StartMove(int32_t controllerTarget) {
    std::string refusal;
    const bool accepted = worker_->Submit(
        "a focuser move",
        [controllerTarget](DeviceState& s) { return MoveJob(s, controllerTarget); },
        [this](const JobResult& result, const DeviceSnapshot& snapshot) {
            Apply(snapshot, result.message);
            const IPState state = result.ok ? IPS_OK : IPS_ALERT;
            if (FocusRelPosNP.s == IPS_BUSY) Finish(prop::kRelPosition, state, {});
            Finish(prop::kAbsPosition, state, result.message);
        },
        refusal);
    if (!accepted) {
        LOG_WARN(refusal.c_str());
        return IPS_ALERT;
    }
    return IPS_BUSY;
}

// --- Filter wheel ----------------------------------------------------------------------------

int KavriDriver::QueryFilter() {
    return SlotOfIndex(snapshot_.currentFilter);
}

bool KavriDriver::SelectFilter(int slot) {
    const auto index = IndexOfSlot(slot, static_cast<int>(snapshot_.filters.size()));
    if (!index) {
        LOGF_ERROR("Slot %d does not exist: the wheel has %zu filters", slot,
                   snapshot_.filters.size());
        return false;
    }
    const int32_t target = *index;
    std::string refusal;
    const bool accepted = worker_->Submit(
        "a filter change", [target](DeviceState& s) { return SelectFilterJob(s, target); },
        [this, slot](const JobResult& result, const DeviceSnapshot& snapshot) {
            Apply(snapshot, result.message);
            if (result.ok) {
                SelectFilterDone(slot);
            } else {
                FilterSlotN[0].value = SlotOfIndex(snapshot.currentFilter);
                Finish(prop::kFilterSlot, IPS_ALERT, result.message);
            }
        },
        refusal);
    if (!accepted) LOG_WARN(refusal.c_str());
    return accepted;
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

void KavriDriver::ApplyFocuser(const DeviceSnapshot& snapshot) {
    const FocusRange range = Range();
    const double maximum = range.maximum;
    const auto setIfChanged = [](INumberVectorProperty& vector, double& field, double value) {
        if (field == value) return;
        field = value;
        IDSetNumber(&vector, nullptr);
    };
    if (FocusAbsPosN[0].max != maximum) {
        FocusAbsPosN[0].max = maximum;
        FocusRelPosN[0].max = maximum;
        FocusSyncN[0].max = maximum;
        IUUpdateMinMax(&FocusAbsPosNP);
        IUUpdateMinMax(&FocusRelPosNP);
        IUUpdateMinMax(&FocusSyncNP);
    }
    setIfChanged(FocusMaxPosNP, FocusMaxPosN[0].value, maximum);
    setIfChanged(FocusAbsPosNP, FocusAbsPosN[0].value,
                 static_cast<double>(ClientPosition(snapshot.focuserPosition, range.shift)));
    setIfChanged(FocusSpeedNP, FocusSpeedN[0].value, snapshot.config.focuserSpeed);
    setIfChanged(FocusBacklashNP, FocusBacklashN[0].value, snapshot.config.focuserBacklash);
    const bool backlashOn = snapshot.config.focuserBacklash > 0;
    if ((FocusBacklashS[0].s == ISS_ON) != backlashOn) {
        FocusBacklashS[0].s = backlashOn ? ISS_ON : ISS_OFF;
        FocusBacklashS[1].s = backlashOn ? ISS_OFF : ISS_ON;
        IDSetSwitch(&FocusBacklashSP, nullptr);
    }
}

void KavriDriver::ApplyWheel(const DeviceSnapshot& snapshot) {
    const double count = static_cast<double>(snapshot.filters.size());
    if (FilterSlotN[0].max != count) {
        FilterSlotN[0].min = 1;
        FilterSlotN[0].max = count;
        IUUpdateMinMax(&FilterSlotNP);
    }
    CurrentFilter = SlotOfIndex(snapshot.currentFilter);
    if (FilterSlotNP.s != IPS_BUSY && FilterSlotN[0].value != CurrentFilter) {
        FilterSlotN[0].value = CurrentFilter;
        IDSetNumber(&FilterSlotNP, nullptr);
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
    if (renamed) IDSetText(FilterNameTP, nullptr);
}

}  // namespace kavri::indi
