// Values as INDI clients see them and as the device holds them: port texts, focuser positions
// with the driver's shift and range, 1-based filter slots, the compensation selector, filter
// names (UTF-8 in INDI, windows-1251 in the controller) and the configuration fields the
// driver offers. Plain functions without libindi, so every mapping is tested on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavri::indi {

// --- Port ------------------------------------------------------------------------------------

// The port a connection uses: 0 = search COM1..COM16, 1..16 = COMn, or a device path.
struct PortChoice {
    int number = 0;
    std::string devicePath;  // non-empty: open this device
};
// "auto", "N" or "COMN" (any case, N = 1..16, blanks around ignored) or a path (anything
// holding a '/'). std::nullopt for anything else.
std::optional<PortChoice> ParsePortText(std::string_view text);
// The text of a stored ComPort: "auto" for 0 (and for numbers outside 1..16), else "COMn".
std::string PortText(int comPort);

// --- Numbers typed by a client -----------------------------------------------------------------

// A client's number as a whole number within [low, high]: rounded to the nearest integer;
// std::nullopt for NaN, infinities and values outside the range.
std::optional<int32_t> WholeNumber(double value, int64_t low, int64_t high);

// --- Focuser positions -------------------------------------------------------------------------

// Clients see the positions the Windows driver offers: 0 .. AscomMaxFocusPos, each the
// controller's position plus AscomFocusShift. The controller holds a signed 16-bit position.
struct FocusRange {
    int32_t shift = 0;    // AscomFocusShift
    int32_t maximum = 0;  // AscomMaxFocusPos
};
constexpr int32_t kControllerMinPosition = INT16_MIN;
constexpr int32_t kControllerMaxPosition = INT16_MAX;

// The client's position for a controller position.
int64_t ClientPosition(int32_t controllerPosition, int32_t shift);

// The controller target of an absolute move to `clientPosition`; std::nullopt with the reason
// when it lies outside 0..maximum or outside what the controller can hold.
std::optional<int32_t> AbsoluteTarget(double clientPosition, const FocusRange& range,
                                      std::string& reason);
// The controller target of a relative move of `ticks` (> 0) inward (toward 0) or outward from
// `controllerPosition`; std::nullopt with the reason as above.
std::optional<int32_t> RelativeTarget(int32_t controllerPosition, bool inward, double ticks,
                                      const FocusRange& range, std::string& reason);
// The controller position that a sync to `clientPosition` makes the present one.
std::optional<int32_t> SyncTarget(double clientPosition, const FocusRange& range,
                                  std::string& reason);

// --- Filter slots ------------------------------------------------------------------------------

// INDI counts slots from 1, the device from 0; an unknown filter (-1) shows as slot 0.
int SlotOfIndex(int32_t index);
// The device index of slot `slot` in a wheel of `count` filters; std::nullopt outside 1..count.
std::optional<int32_t> IndexOfSlot(double slot, int count);

// A filter's focuser position ("Focus Shift") as the controller stores it: signed 16 bits,
// and above 10000 it means none.
std::optional<int32_t> FocusShiftValue(double value, std::string& reason);

// --- Compensation thermometer ------------------------------------------------------------------

// Switch elements of the compensation choice, in order: off, thermometer 0 .. 3.
constexpr int kCompensationChoices = 5;
const char* CompensationElement(int choice);
// The element index of a selector (-1 = off, 0..3); 0 (off) for anything else.
int CompensationChoiceOfSelector(int32_t selector);
// The selector of an element index: -1 for 0 (off), 0..3 for 1..4.
int32_t SelectorOfCompensationChoice(int choice);

// --- Names -------------------------------------------------------------------------------------

// The name a client sees for a controller name: windows-1251 bytes up to the first NUL, at most
// `maxBytes`, as UTF-8.
std::string DisplayName(const char* bytes, size_t maxBytes);

// --- Focuser step size ---------------------------------------------------------------------------

// Switch element names of the step-size choices "1/1", "1/2", ... : "STEP_1", "STEP_2", ...
std::string StepChoiceElement(int divisor);

// --- Text for the log --------------------------------------------------------------------------

// "COM3 (/dev/ttyUSB2)" for a numbered port, the path itself for a device path.
std::string DescribePort(const PortChoice& choice, const std::string& devicePath);

}  // namespace kavri::indi
