// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/SettingsTemplates.h"

#include "device/ConfigMappings.h"

namespace kavri::ui {

namespace {

// An up-down control that steps the number in the edit placed just before it.
constexpr uint32_t kSpinStyle =
    Style::AutoBuddy | Style::SetBuddyInt | Style::AlignRight | Style::ArrowKeys;
constexpr uint32_t kFieldStyle = Style::AutoHScroll;

std::vector<std::string> PowerOutputItems() {
    return {kPowerOutputModeTexts.begin(), kPowerOutputModeTexts.end()};
}

DialogTemplate MakeWheelTemplate() {
    using namespace wheel_ids;
    DialogTemplate t;
    t.id = 203;
    t.caption = "KavriFilterWheel Settings Dialog";
    t.width = 195;
    t.height = 146;
    t.controls = {
        {kOkButton, ControlKind::PushButton, Style::DefaultButton, "OK", 138, 7, 50, 14, {}},
        {kCancelButton, ControlKind::PushButton, 0, "Cancel", 138, 29, 50, 14, {}},
        {kHalfStep, ControlKind::CheckBox, Style::AutoCheck, "Режим полушага", 7, 7, 73, 10, {}},
        {kMotorOff,
         ControlKind::CheckBox,
         Style::AutoCheck,
         "Выключать мотор при простое",
         7,
         20,
         120,
         10,
         {}},
        {kHomeSensor,
         ControlKind::CheckBox,
         Style::AutoCheck,
         "Датчик фильтров видит \"Home\"",
         7,
         34,
         124,
         10,
         {}},
        {kSpeedEdit, ControlKind::Edit, Style::ReadOnly | kFieldStyle, {}, 7, 47, 40, 14, {}},
        {kSpeedSpin, ControlKind::UpDown, kSpinStyle, {}, 43, 47, 11, 14, {}},
        {kNoControlId, ControlKind::Static, 0, "Скорость (шаги в секунду)", 51, 50, 90, 8, {}},
        {kFilterCountEdit,
         ControlKind::Edit,
         Style::ReadOnly | kFieldStyle,
         {},
         11,
         69,
         30,
         14,
         {}},
        {kFilterCountSpin, ControlKind::UpDown, kSpinStyle, {}, 35, 69, 11, 14, {}},
        {kNoControlId, ControlKind::Static, 0, "Количество Фильров", 51, 72, 76, 11, {}},
        {kMaxStepsEdit, ControlKind::Edit, Style::DigitsOnly | kFieldStyle, {}, 7, 91, 40, 14, {}},
        {kNoControlId,
         ControlKind::Static,
         Style::Centered,
         "Максимальное число шагов\nот фильтра к фильтру",
         50,
         89,
         100,
         18,
         {}},
        {kNoControlId,
         ControlKind::Static,
         0,
         "Выход питания моторов (датчиков)",
         7,
         113,
         119,
         8,
         {}},
        {kPowerOutputCombo,
         ControlKind::ComboBox,
         Style::VScroll,
         {},
         7,
         123,
         116,
         67,
         PowerOutputItems()},
    };
    return t;
}

DialogTemplate MakeFocuserTemplate() {
    using namespace focuser_ids;
    DialogTemplate t;
    t.id = 201;
    t.caption = "Настройки Фокусера";
    t.width = 198;
    t.height = 255;
    const auto field = [](int id, int x, int y, int w, int h) {
        return ControlTemplate{id, ControlKind::Edit, kFieldStyle, {}, x, y, w, h, {}};
    };
    const auto spin = [](int id, int x, int y) {
        return ControlTemplate{id, ControlKind::UpDown, kSpinStyle, {}, x, y, 11, 14, {}};
    };
    const auto label = [](const char* text, int x, int y, int w, int h) {
        return ControlTemplate{kNoControlId, ControlKind::Static, 0, text, x, y, w, h, {}};
    };
    t.controls = {
        {kOkButton, ControlKind::PushButton, Style::DefaultButton, "OK", 141, 7, 50, 14, {}},
        {kCancelButton, ControlKind::PushButton, 0, "Cancel", 141, 24, 50, 14, {}},
        {kStepCombo,
         ControlKind::ComboBox,
         0,
         {},
         7,
         7,
         48,
         73,
         // Replaced at initialisation by the divisors the focuser reports.
         {"1", "1/2", "1/4", "1/8", "1/16"}},
        label("Шаг", 59, 10, 14, 8),
        {kMicrostepsButton, ControlKind::PushButton, 0, "Микрошаги", 81, 7, 49, 13, {}},
        field(kSpeedEdit, 7, 25, 40, 14),
        spin(kSpeedSpin, 43, 25),
        label("Скорость (шаги в секунду)", 53, 29, 90, 8),
        field(kIdlePowerEdit, 8, 45, 39, 13),
        spin(kIdlePowerSpin, 43, 45),
        label("Питание мотора в покое", 52, 48, 84, 8),
        field(kBacklashEdit, 7, 63, 40, 14),
        spin(kBacklashSpin, 43, 63),
        label("Люфт", 52, 66, 20, 8),
        {kNoControlId, ControlKind::GroupBox, 0, "Термокомпенсация", 2, 80, 190, 95, {}},
        field(kThermometerEdit, 8, 93, 40, 14),
        spin(kThermometerSpin, 44, 93),
        label("Количество термодатчиков", 54, 96, 94, 8),
        field(kCompensationEdit, 8, 113, 40, 14),
        spin(kCompensationSpin, 46, 113),
        label("Термокомпенсация (шаги на градус)", 54, 116, 126, 8),
        field(kAveragingEdit, 8, 134, 40, 14),
        spin(kAveragingSpin, 46, 134),
        label("Осреднение температуры (0-выкл)", 53, 138, 118, 8),
        field(kThresholdEdit, 8, 156, 40, 14),
        spin(kThresholdSpin, 46, 156),
        label("Порог смены направления (шаги)", 56, 159, 115, 8),
        {kNoControlId, ControlKind::GroupBox, 0, "Настройки ASCOM", 2, 176, 189, 72, {}},
        field(kStepLengthEdit, 7, 191, 40, 14),
        label("Длинна шага (в микронах)", 53, 194, 90, 8),
        field(kMaxFocusPosEdit, 7, 209, 40, 14),
        label("Диапазон (от 0 до ...)", 52, 212, 72, 8),
        field(kFocusShiftEdit, 7, 228, 40, 14),
        label("Добавка к положению (аском\n не понимает отрицательных чисел)", 51, 227, 126, 19),
    };
    return t;
}

DialogTemplate MakeMicrostepTemplate() {
    using namespace microstep_ids;
    DialogTemplate t;
    t.id = 231;
    t.caption = "Microsteps Table";
    t.width = 263;
    t.height = 343;
    t.controls = {
        {kSin, ControlKind::PushButton, 0, "Sin", 10, 11, 35, 13, {}},
        {kTan, ControlKind::PushButton, 0, "Tan", 49, 11, 35, 13, {}},
        {kSinSin3, ControlKind::PushButton, 0, "sin+sin3", 88, 11, 35, 13, {}},
        {kNoControlId, ControlKind::Static, 0, "Pow", 129, 2, 15, 8, {}},
        {kPowEdit, ControlKind::Edit, Style::AutoHScroll, "1.0", 125, 11, 28, 13, {}},
        {kPowSpin, ControlKind::UpDown, kSpinStyle | Style::NoThousands, {}, 143, 11, 11, 14, {}},
        {kInverse, ControlKind::CheckBox, Style::AutoCheck, "Inverse", 156, 13, 37, 10, {}},
        {kOkButton, ControlKind::PushButton, Style::DefaultButton, "Apply", 193, 11, 31, 14, {}},
        {kCancelButton, ControlKind::PushButton, 0, "Exit", 229, 11, 26, 14, {}},
        {kTableEdit,
         ControlKind::Edit,
         Style::Multiline | Style::AutoHScroll,
         {},
         7,
         32,
         249,
         15,
         {}},
    };
    return t;
}

}  // namespace

const DialogTemplate& WheelSettingsTemplate() {
    static const DialogTemplate t = MakeWheelTemplate();
    return t;
}

const DialogTemplate& FocuserSettingsTemplate() {
    static const DialogTemplate t = MakeFocuserTemplate();
    return t;
}

const DialogTemplate& MicrostepTableTemplate() {
    static const DialogTemplate t = MakeMicrostepTemplate();
    return t;
}

}  // namespace kavri::ui
