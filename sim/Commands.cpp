// SPDX-License-Identifier: GPL-3.0-or-later
// The keyword handlers: what the controller answers to each command, how long its motion
// takes, and the state change it leaves behind.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/EmulatorImpl.h"

namespace kavri::sim {

namespace {

constexpr std::uint8_t kAck = '!';
constexpr std::uint8_t kRefused = '?';
constexpr std::uint8_t kNoFilter = '/';
constexpr std::uint8_t kLargestStepDivisor = 16;
constexpr int kNoReading = -32768;
constexpr int kNoFocusShift = 10000;  // focus positions above this mean "none"
constexpr int kSlowestSpeed = 10;     // used for a stored speed of 0

// Base readings (hundredths of a degree) of the eight thermometers on a cool night.
constexpr int kBaseTemperatures[kMaxThermometers] = {520, 340, 150, -210, 800, 610, 95, 1230};

enum class Mechanism { kController, kWheel, kFocuser };

Mechanism MechanismOf(std::string_view keyword) {
    if (keyword == "FWreadEE" || keyword == "FWwriteEE") return Mechanism::kController;
    if (keyword == "FWFILTER" || keyword == "FWCOUNT" || keyword == "FWHOME" ||
        keyword == "FWGOTO" || keyword == "FWWRITENAME")
        return Mechanism::kWheel;
    return Mechanism::kFocuser;
}

std::uint8_t FilterDigit(int filter) {
    return filter < 0 ? kNoFilter : static_cast<std::uint8_t>('0' + filter);
}

std::vector<std::uint8_t> Le16(int value) {
    auto v = static_cast<std::uint16_t>(value);
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
}

}  // namespace

bool Emulator::Impl::Absent(std::string_view keyword) const {
    const Mechanism mechanism = MechanismOf(keyword);
    return (mechanism == Mechanism::kWheel && options.focuserOnly) ||
           (mechanism == Mechanism::kFocuser && options.wheelOnly);
}

Clock::duration Emulator::Impl::SlotTime() const {
    int speed = ReadU16(state.image, offset::kWheelSpeed);
    int steps = ReadU16(state.image, offset::kMaxStepsBetweenFilters);
    if (speed == 0) speed = kSlowestSpeed;
    return std::chrono::microseconds(1000000LL * steps / speed);
}

int Emulator::Impl::FilterCount() const {
    return state.image[offset::kFilterCount];
}
int Emulator::Impl::ThermometerCount() const {
    return state.image[offset::kThermometerCount];
}

int Emulator::Impl::TemperatureLocked(int index) const {
    if (index < 0 || index >= kMaxThermometers || index >= ThermometerCount()) return kNoReading;
    if (pinned[index]) return *pinned[index];
    // A slow swing of +-0.4 degrees over a quarter of an hour, out of phase per sensor.
    std::chrono::duration<double> t = Clock::now() - startTime;
    double swing = 40.0 * std::sin(2.0 * std::numbers::pi * t.count() / 900.0 + index);
    return kBaseTemperatures[index] + static_cast<int>(std::lround(swing));
}

// Builds the reply of one command from the state; called with mu held.
Reply Emulator::Impl::Handle(const std::string& k, const std::vector<std::uint8_t>& a) {
    Reply r;
    ControllerState& s = state;
    if (k == "FWFILTER") {
        r.Add({FilterDigit(s.currentFilter)});
    } else if (k == "FWCOUNT") {
        r.Add({static_cast<std::uint8_t>('0' + FilterCount())});
    } else if (k == "FWHOME") {
        // A full turn to the home mark, then the acknowledgement alone: the host takes the
        // first byte it sees as the answer.
        r.Add({kAck}, SlotTime() * std::max(FilterCount(), 1));
        r.commit = [](ControllerState& st) { st.currentFilter = 0; };
    } else if (k == "FWGOTO") {
        HandleGoto(a[0] - '0', &r);
    } else if (k == "FWWRITENAME") {
        int slot = a[0] - '0';
        if (slot < 0 || slot >= kFilterSlots) {
            r.Add({kRefused});
        } else {
            std::vector<std::uint8_t> name(a.begin() + 1, a.end());
            r.commit = [slot, name](ControllerState& st) {
                std::copy(name.begin(), name.end(),
                          st.image.begin() + offset::kFilterNames + slot * kNameLength);
            };
            r.Add({kAck});
        }
    } else if (k == "FWfocus") {
        r.Add(Le16(s.focuserPosition));
    } else if (k == "FWdirFocus") {
        r.Add({static_cast<std::uint8_t>(s.direction < 0 ? '-' : '+')});
    } else if (k == "FWgoFocus") {
        HandleFocusMove(static_cast<std::int16_t>(a[0] | (a[1] << 8)), &r);
    } else if (k == "FWsetFocus") {
        int position = static_cast<std::int16_t>(a[0] | (a[1] << 8));
        r.commit = [position](ControllerState& st) { st.focuserPosition = position; };
        r.Add({kAck});
    } else if (k == "FWmoveFocus") {
        // Only the controller sends this frame; a host that echoes it gets no answer.
    } else if (k == "FWtemperature") {
        r.Add(Le16(TemperatureLocked(a[0] - '0')));
    } else if (k == "FWisAuto") {
        r.Add({FilterDigit(s.compensationThermometer)});
    } else if (k == "FWautoCompSet") {
        int sel = a[0] - '0';
        if (sel == -1 || (sel >= 0 && sel < std::min(ThermometerCount(), kMaxThermometers))) {
            r.commit = [sel](ControllerState& st) { st.compensationThermometer = sel; };
            r.Add({kAck});
        } else {
            r.Add({kRefused});  // no such thermometer
        }
    } else if (k == "FWubStep") {
        r.Add({s.image[offset::kFocuserStepMicrosteps], kLargestStepDivisor});
    } else if (k == "FWzm") {
        std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(s.microstepTable.size())};
        bytes.insert(bytes.end(), s.microstepTable.begin(), s.microstepTable.end());
        r.Add(std::move(bytes));
    } else if (k == "FWym") {
        std::vector<std::uint8_t> table = a;
        r.commit = [table](ControllerState& st) { st.microstepTable = table; };
        r.Add({kAck});
    } else if (k == "FWreadEE") {
        std::size_t from = std::min<std::size_t>(a[0], kImageSize);
        std::size_t to = std::min<std::size_t>(from + a[1], kImageSize);
        r.Add({s.image.begin() + from, s.image.begin() + to});
    } else if (k == "FWwriteEE") {
        HandleWriteEE(a, &r);
    }
    return r;
}

void Emulator::Impl::HandleGoto(int target, Reply* r) {
    const int count = FilterCount();
    if (TakeFaultLocked(FaultKind::kGotoFail, "FWGOTO")) {
        r->Add({kNoFilter});
        r->commit = [](ControllerState& st) { st.currentFilter = -1; };
        return;
    }
    if (target < 0 || target >= count) {
        r->Add({kNoFilter});  // no such slot: the wheel stays where it is
        return;
    }
    const Clock::duration slot = SlotTime();
    int from = state.currentFilter;
    Clock::duration homing{};
    if (from < 0) {
        // Lost: a full turn to the home mark first, then forward from slot 0.
        homing = slot * count;
        from = 0;
    }
    int forward = (target - from + count) % count;
    int backward = (from - target + count) % count;
    int step = forward <= backward ? 1 : -1;
    int travel = std::min(forward, backward);
    for (int i = 1; i < travel; ++i) {
        // One progress byte per slot passed: the digit of that slot.
        int passed = ((from + step * i) % count + count) % count;
        r->Add({FilterDigit(passed)}, (i == 1 ? homing : Clock::duration{}) + slot);
    }
    Clock::duration last = travel > 0 ? slot : Clock::duration{};
    if (travel <= 1) last += homing;
    const int focus = ReadI16(state.image, offset::kFilterFocuserPositions + 2 * target);
    const bool frame = options.focusFrame && !options.wheelOnly && focus <= kNoFocusShift;
    if (frame) {
        // The controller tells the host that it moves the focuser to this filter's focus.
        std::vector<std::uint8_t> bytes{'F', 'W', 'm', 'o', 'v', 'e', 'F', 'o', 'c', 'u', 's'};
        auto position = Le16(focus);
        bytes.insert(bytes.end(), position.begin(), position.end());
        r->Add(std::move(bytes), last);
        last = {};
    }
    r->Add({FilterDigit(target)}, last);
    r->commit = [target, frame, focus](ControllerState& st) {
        st.currentFilter = target;
        if (frame && focus != st.focuserPosition) {
            st.direction = focus > st.focuserPosition ? 1 : -1;
            st.focuserPosition = focus;
        }
    };
}

void Emulator::Impl::HandleFocusMove(int target, Reply* r) {
    int speed = ReadU16(state.image, offset::kFocuserSpeed);
    if (speed == 0) speed = kSlowestSpeed;
    int distance = std::abs(target - state.focuserPosition);
    int direction = target == state.focuserPosition ? state.direction
                                                    : (target > state.focuserPosition ? 1 : -1);
    if (direction != state.direction)
        distance += ReadU16(state.image, offset::kFocuserBacklash);  // take up the slack
    r->Add({kAck}, std::chrono::microseconds(1000000LL * distance / speed));
    r->commit = [target, direction](ControllerState& st) {
        st.focuserPosition = target;
        st.direction = direction;
    };
}

void Emulator::Impl::HandleWriteEE(const std::vector<std::uint8_t>& a, Reply* r) {
    const std::size_t from = a[0];
    const std::size_t length = a[1];
    if (TakeFaultLocked(FaultKind::kWriteEENak, "FWwriteEE") || from + length > kImageSize) {
        r->Add({kRefused});
        return;
    }
    std::vector<std::uint8_t> data(a.begin() + 2, a.end());
    r->commit = [from, data](ControllerState& st) {
        std::copy(data.begin(), data.end(), st.image.begin() + from);
        const int count = st.image[offset::kFilterCount];
        if (st.currentFilter >= count) st.currentFilter = -1;
    };
    r->Add({kAck});
}

std::size_t Emulator::Impl::ArgumentCount(const std::string& keyword) {
    if (keyword == "FWGOTO" || keyword == "FWtemperature" || keyword == "FWautoCompSet" ||
        keyword == "FWubStep")
        return 1;
    if (keyword == "FWgoFocus" || keyword == "FWsetFocus" || keyword == "FWmoveFocus" ||
        keyword == "FWreadEE" || keyword == "FWwriteEE")
        return 2;
    if (keyword == "FWWRITENAME") return 1 + kNameLength;
    if (keyword == "FWym") {
        std::lock_guard lock(mu);
        return state.microstepTable.size();
    }
    return 0;
}

}  // namespace kavri::sim
