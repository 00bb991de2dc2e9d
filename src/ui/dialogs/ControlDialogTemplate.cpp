// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/ControlDialogTemplate.h"

namespace kavri::ui {
namespace {

std::vector<std::string> PortItems() {
    std::vector<std::string> items{"Auto"};
    for (int n = 1; n <= 15; ++n) items.push_back("COM" + std::to_string(n));
    return items;
}

constexpr const char* kAboutText = "Kavri Control\nверсия " KAVRI_VERSION "\nфильтры и фокус";

DialogTemplate Make() {
    using K = ControlKind;
    namespace S = Style;
    constexpr uint32_t kSpin = S::AutoBuddy | S::AlignRight | S::ArrowKeys;
    constexpr uint32_t kReadout = S::ReadOnly | S::NoBorder;
    constexpr uint32_t kAutoBox = S::ThreeState | S::TextLeft;
    constexpr uint32_t kList = S::SingleSelection | S::EditLabels | S::NoSortHeader | S::Border;

    DialogTemplate t;
    t.id = 202;
    t.caption = "Kavri Filter Wheel & Focuser Control Dialog";
    t.width = 218;
    t.height = 274;
    t.style = DialogStyle::MinimizeBox;
    t.controls = {
        {kNoControlId, K::GroupBox, 0, "Порт", 7, 7, 148, 29, {}},
        {3006, K::ComboBox, S::VScroll, {}, 13, 17, 48, 144, PortItems()},
        {3043, K::PushButton, 0, "Connect", 66, 16, 35, 14, {}},
        {3044, K::PushButton, S::Disabled, "Disconnect", 105, 16, 44, 14, {}},
        {3036, K::PushButton, 0, "Save...", 166, 11, 40, 14, {}},
        {3037, K::PushButton, 0, "Load...", 166, 26, 40, 14, {}},
        {kNoControlId, K::GroupBox, 0, "Фокусер", 7, 42, 140, 99, {}},
        {3004, K::PushButton, 0, "Go!", 15, 62, 36, 12, {}},
        {3003, K::Edit, S::AutoHScroll, {}, 13, 76, 40, 14, {}},
        {3042, K::PushButton, 0, "Set", 13, 93, 39, 13, {}},
        {kNoControlId, K::GroupBox, 0, {}, 57, 42, 90, 71, {}},
        {kNoControlId, K::Static, 0, "Auto", 65, 49, 16, 8, {}},
        {kNoControlId, K::Static, 0, "T", 90, 50, 8, 8, {}},
        {kNoControlId, K::Static, 0, "Name", 117, 49, 20, 8, {}},
        {3032, K::CheckBox, kAutoBox, {}, 59, 61, 16, 8, {}},
        {3033, K::CheckBox, kAutoBox, {}, 59, 74, 16, 8, {}},
        {3034, K::CheckBox, kAutoBox, {}, 59, 87, 16, 8, {}},
        {3035, K::CheckBox, kAutoBox, {}, 59, 100, 16, 8, {}},
        {3028, K::Edit, kReadout, {}, 79, 59, 25, 13, {}},
        {3029, K::Edit, kReadout, {}, 79, 72, 25, 13, {}},
        {3030, K::Edit, kReadout, {}, 79, 85, 25, 13, {}},
        {3031, K::Edit, kReadout, {}, 79, 98, 25, 13, {}},
        {3051, K::Edit, S::AutoHScroll, {}, 105, 59, 38, 13, {}},
        {3052, K::Edit, S::AutoHScroll, {}, 105, 72, 38, 13, {}},
        {3053, K::Edit, S::AutoHScroll, {}, 105, 85, 38, 13, {}},
        {3054, K::Edit, S::AutoHScroll, {}, 105, 98, 38, 13, {}},
        {kNoControlId, K::Static, 0, "Позиция", 26, 113, 30, 8, {}},
        {kNoControlId, K::Static, 0, "минимальный шаг", 77, 113, 64, 8, {}},
        {3001, K::Edit, S::ReadOnly | S::AutoHScroll, {}, 17, 122, 51, 14, {}},
        {3002, K::UpDown, kSpin, {}, 58, 116, 11, 14, {}},
        {3050, K::Static, 0, "^", 69, 124, 8, 10, {}},
        {3026, K::Edit, S::AutoHScroll, {}, 90, 122, 30, 14, {}},
        {3027, K::UpDown, kSpin, {}, 115, 122, 11, 14, {}},
        {3025, K::PushButton, 0, "Фокусер...", 156, 48, 50, 14, {}},
        {3024, K::PushButton, 0, "Колесо...", 156, 69, 50, 14, {}},
        {2, K::PushButton, 0, "Exit", 156, 91, 50, 14, {}},
        {kNoControlId, K::Static, S::Centered, kAboutText, 151, 112, 60, 29, {}},
        {3018, K::ListView, kList, {}, 7, 144, 204, 123, {}},
    };
    return t;
}

}  // namespace

const DialogTemplate& ControlDialogTemplate() {
    static const DialogTemplate tmpl = Make();
    return tmpl;
}

}  // namespace kavri::ui
