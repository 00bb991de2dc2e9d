// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog described as data: its caption, font and size, and every control with its id, kind,
// style, text and rectangle in dialog units. Texts are UTF-8 and numbers plain, so every front
// end reads the same table: the Qt builder (ui/qt/DialogBuilder.h) makes widgets of it, the
// Win32 one (ui/win32/DialogResource.h) a dialog template in memory. A dialog's layout lives in
// one table that reads like its resource.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavri::ui {

// Id of a control that code never addresses (labels, frames).
constexpr int kNoControlId = -1;

enum class ControlKind {
    PushButton,
    CheckBox,  // ThreeState boxes without AutoCheck never change their state on a click
    GroupBox,  // a frame with a title, drawn beneath the controls it frames
    Static,    // a label
    Edit,      // one line, or several with Style::Multiline
    ComboBox,  // a drop-down list holding `items`
    UpDown,    // a pair of arrows that step a number
    ListView,  // rows and columns with icons and label editing (report view)
};

// Style flags of a control; each applies to the kinds named beside it.
namespace Style {
enum : uint32_t {
    Disabled = 1u << 0,          // any kind: created disabled
    DefaultButton = 1u << 1,     // PushButton: pressed by Enter
    AutoCheck = 1u << 2,         // CheckBox: a click toggles it
    ThreeState = 1u << 3,        // CheckBox: checked, clear or indeterminate
    TextLeft = 1u << 4,          // CheckBox: text on the left of the box
    Centered = 1u << 5,          // Static: centred text
    ReadOnly = 1u << 6,          // Edit
    NoBorder = 1u << 7,          // Edit: no frame (edits are framed otherwise)
    DigitsOnly = 1u << 8,        // Edit: only the digits 0-9 can be typed
    Multiline = 1u << 9,         // Edit
    AutoHScroll = 1u << 10,      // Edit: text may scroll beyond the visible width
    VScroll = 1u << 11,          // ComboBox: the drop-down list scrolls
    AutoBuddy = 1u << 12,        // UpDown: the control before it in the template is its buddy
    SetBuddyInt = 1u << 13,      // UpDown: writes its position into the buddy's text
    AlignRight = 1u << 14,       // UpDown: sits at the right end of its buddy, narrowing it
    ArrowKeys = 1u << 15,        // UpDown: Up and Down pressed in the buddy act as the arrows
    NoThousands = 1u << 16,      // UpDown: no digit grouping in the buddy's text (always so here)
    SingleSelection = 1u << 17,  // ListView
    EditLabels = 1u << 18,       // ListView: the first column's text can be edited in place
    NoSortHeader = 1u << 19,     // ListView: clicking a heading does not sort
    Border = 1u << 20,           // ListView, Static: framed
};
}  // namespace Style

struct ControlTemplate {
    int id = kNoControlId;
    ControlKind kind = ControlKind::Static;
    uint32_t style = 0;
    std::string text;                         // UTF-8
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    std::vector<std::string> items;           // ComboBox: the list, in order (UTF-8)
};

// Dialog style flags.
namespace DialogStyle {
enum : uint32_t {
    MinimizeBox = 1u << 0,  // the title bar has a minimise button
};
}  // namespace DialogStyle

struct DialogTemplate {
    int id = 0;
    std::string caption;  // UTF-8
    std::string fontName = "MS Sans Serif";
    int pointSize = 8;
    int width = 0, height = 0;  // dialog units, client area
    uint32_t style = 0;
    std::vector<ControlTemplate> controls;  // template order is the tab order
};

}  // namespace kavri::ui
