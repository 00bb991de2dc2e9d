// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog window's controls by id: texts, enabling, check boxes, combo boxes, arrows, the
// geometry and drawing of the client area, message boxes and file choices.
#include <windows.h>

#include <commdlg.h>

#include <string>

#include "platform/WideTextWin32.h"
#include "ui/win32/DialogWindow.h"
#include "ui/win32/WindowText.h"

namespace kavri::ui::win32 {

namespace {

bool IsMultilineEdit(HWND control) {
    wchar_t name[32] = {};
    return control != nullptr && GetClassNameW(control, name, 32) > 0 &&
           lstrcmpiW(name, WC_EDITW) == 0 && (GetWindowLongW(control, GWL_STYLE) & ES_MULTILINE);
}

// Lines end with "\n" in the dialogs' code and with "\r\n" in a multi-line edit.
std::wstring ToEditLines(std::wstring_view text) {
    std::wstring lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) lines += L'\r';
        lines += text[i];
    }
    return lines;
}

std::string FromEditLines(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines += text[i];
    }
    return lines;
}

Rect RectOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

RECT RectOf(const CurveRect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

void DialogWindow::SetText(int id, std::string_view text) {
    const HWND control = Control(id);
    if (control == nullptr) return;
    std::wstring wide = Utf8ToWide(text);
    if (IsMultilineEdit(control)) wide = ToEditLines(wide);
    SetWindowTextW(control, wide.c_str());
}

std::string DialogWindow::Text(int id) const {
    const HWND control = Control(id);
    if (control == nullptr) return {};
    std::string text = WindowText(control);
    return IsMultilineEdit(control) ? FromEditLines(text) : text;
}

void DialogWindow::SelectText(int id) {
    if (const HWND control = Control(id)) SendMessageW(control, EM_SETSEL, 0, -1);
}

void DialogWindow::Enable(int id, bool enabled) {
    if (const HWND control = Control(id)) EnableWindow(control, enabled ? TRUE : FALSE);
}

// The three check states are the button's BST_UNCHECKED, BST_CHECKED and BST_INDETERMINATE.
void DialogWindow::SetCheck(int id, CheckState state) {
    if (const HWND control = Control(id))
        SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

CheckState DialogWindow::Check(int id) const {
    const HWND control = Control(id);
    if (control == nullptr) return CheckState::Clear;
    switch (SendMessageW(control, BM_GETCHECK, 0, 0)) {
        case BST_CHECKED:
            return CheckState::Checked;
        case BST_INDETERMINATE:
            return CheckState::Indeterminate;
        default:
            return CheckState::Clear;
    }
}

void DialogWindow::SetComboItems(int id, const std::vector<std::string>& items) {
    const HWND combo = Control(id);
    if (combo == nullptr) return;
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(item).c_str()));
}

void DialogWindow::SelectComboItem(int id, int index) {
    if (const HWND combo = Control(id)) SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int DialogWindow::ComboSelection(int id) const {
    const HWND combo = Control(id);
    return combo != nullptr ? static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)) : -1;
}

void DialogWindow::SetSpinRange(int id, int lower, int upper) {
    if (const HWND spin = Control(id))
        SendMessageW(spin, UDM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

Rect DialogWindow::ClientRect() const {
    RECT client{};
    GetClientRect(hwnd_, &client);
    return RectOf(client);
}

Rect DialogWindow::ControlRect(int id) const {
    const HWND control = GetDlgItem(hwnd_, id);
    RECT bounds{};
    if (control == nullptr || !GetWindowRect(control, &bounds)) return {};
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&bounds), 2);
    return RectOf(bounds);
}

void DialogWindow::Redraw() {
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void DialogWindow::DrawCurve(const MicrostepFigures& figures) {
    if (paintDc_ == nullptr) return;
    const auto white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    for (const CurveRect& area : {figures.square, figures.band}) {
        const RECT r = RectOf(area);
        FillRect(paintDc_, &r, white);
    }
    const HGDIOBJ pen = SelectObject(paintDc_, GetStockObject(BLACK_PEN));
    if (!figures.levelCurve.empty()) {
        MoveToEx(paintDc_, figures.levelCurve.front().x, figures.levelCurve.front().y, nullptr);
        for (size_t i = 1; i < figures.levelCurve.size(); ++i)
            LineTo(paintDc_, figures.levelCurve[i].x, figures.levelCurve[i].y);
    }
    // The current path is a spoke and a chord per microstep: three points each.
    for (size_t i = 0; i + 2 < figures.currentPath.size(); i += 3) {
        MoveToEx(paintDc_, figures.currentPath[i].x, figures.currentPath[i].y, nullptr);
        LineTo(paintDc_, figures.currentPath[i + 1].x, figures.currentPath[i + 1].y);
        LineTo(paintDc_, figures.currentPath[i + 2].x, figures.currentPath[i + 2].y);
    }
    SelectObject(paintDc_, pen);
}

void DialogWindow::ShowMessage(std::string_view text, std::string_view caption,
                               MessageStyle style) {
    MessageBoxW(hwnd_, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(),
                MB_OK | (style == MessageStyle::Warning ? MB_ICONWARNING : 0u));
}

std::optional<std::string> DialogWindow::ChooseFile(FileChoice choice, const FileType& type) {
    // The filter is pairs of strings, description and pattern, each ending with a NUL, and
    // one more NUL at the end.
    std::wstring filter = Utf8ToWide(type.description);
    filter += L'\0';
    filter += Utf8ToWide(type.pattern);
    filter += L'\0';
    filter += L'\0';
    const std::wstring suffix = Utf8ToWide(type.defaultSuffix);
    std::wstring path(32768, L'\0');  // room for a long path
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = hwnd_;
    request.lpstrFilter = filter.c_str();
    request.nFilterIndex = 1;
    request.lpstrFile = path.data();
    request.nMaxFile = static_cast<DWORD>(path.size());
    request.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    request.Flags |= choice == FileChoice::Save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    const BOOL chosen =
        choice == FileChoice::Save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request);
    if (!chosen) return std::nullopt;
    path.resize(wcsnlen(path.c_str(), path.size()));
    return WideToUtf8(path);
}

}  // namespace kavri::ui::win32
