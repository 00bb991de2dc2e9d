// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog window: creation from the template, the message loop of a modal run, and the
// notifications of the controls handed to the behaviour.
#include "ui/win32/DialogWindow.h"

#include <stdexcept>
#include <string>

#include "platform/WideTextWin32.h"
#include "ui/win32/CellEditor.h"
#include "ui/win32/DialogResource.h"
#include "ui/win32/LabelRoom.h"

namespace kavri::ui::win32 {

namespace {

Point PointOf(LPARAM lParam) {
    return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

KeyPress KeyOf(WPARAM virtualKey) {
    KeyPress key;
    switch (virtualKey) {
        case VK_RETURN:
            key.key = Key::Enter;
            break;
        case VK_ESCAPE:
            key.key = Key::Escape;
            break;
        case VK_LEFT:
            key.key = Key::Left;
            break;
        case VK_RIGHT:
            key.key = Key::Right;
            break;
        case VK_UP:
            key.key = Key::Up;
            break;
        case VK_DOWN:
            key.key = Key::Down;
            break;
        default:
            // The main keyboard's digits; the keypad's have keys of their own (VK_NUMPAD0...).
            if (virtualKey >= '0' && virtualKey <= '9') {
                key.key = Key::Digit;
                key.digit = static_cast<int>(virtualKey - '0');
            }
            break;
    }
    key.ctrl = GetKeyState(VK_CONTROL) < 0;
    return key;
}

}  // namespace

DialogWindow::DialogWindow(const DialogTemplate& tmpl, DialogEvents& events, HWND owner)
    : tmpl_(tmpl), events_(events), owner_(owner) {
    // The window classes of the common controls, registered once per process.
    static const bool registered = [] {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                           ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                               ICC_UPDOWN_CLASS};
        return InitCommonControlsEx(&classes) != FALSE;
    }();
    (void)registered;
    const DialogResource resource(tmpl);
    CreateDialogIndirectParamW(GetModuleHandleW(nullptr), resource.Get(), owner,
                               &DialogWindow::Procedure, reinterpret_cast<LPARAM>(this));
    if (hwnd_ == nullptr) {
        throw std::runtime_error("dialog " + std::to_string(tmpl.id) + " cannot be created: " +
                                 Win32ErrorText(GetLastError()));
    }
}

DialogWindow::~DialogWindow() {
    editor_.reset();
    if (hwnd_ != nullptr) {
        reporting_ = false;
        DestroyWindow(hwnd_);
    }
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        reinterpret_cast<DialogWindow*>(lParam)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        return FALSE;
    }
    return self->OnMessage(message, wParam, lParam);
}

INT_PTR DialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const HWND focus = GetFocus();
            OnInitDialog();
            // TRUE lets the dialog manager focus the first control; the behaviour may have
            // chosen one itself.
            return GetFocus() == focus ? TRUE : FALSE;
        }
        case WM_COMMAND:
            OnCommandMessage(wParam);
            return TRUE;
        case WM_NOTIFY:
            OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return TRUE;
        case WM_TIMER:
            if (reporting_) events_.OnTimer(static_cast<int>(wParam));
            return TRUE;
        case WM_PAINT:
            OnPaintMessage();
            return TRUE;
        case WM_CLOSE:
            if (reporting_) events_.OnCommand(kCancelCommand);
            return TRUE;
        case WM_SETCURSOR:
            if (waitCursors_ == 0) return FALSE;
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case kEditorDoubleClickMessage:
            OnEditorDoubleClick(PointOf(lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

void DialogWindow::OnInitDialog() {
    // Items of the combo boxes, which a dialog template cannot carry.
    for (const ControlTemplate& c : tmpl_.controls) {
        if (c.kind == ControlKind::ComboBox) SetComboItems(c.id, c.items);
        if (c.kind == ControlKind::ListView) {
            const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
            SendMessageW(Control(c.id), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
        }
    }
    FitLabels(hwnd_, tmpl_);
    reporting_ = true;
    events_.OnInitDialog(*this);
}

HWND DialogWindow::Control(int id) const {
    if (editor_ != nullptr) {
        if (id == GetDlgCtrlID(editor_->Edit())) return editor_->Edit();
        if (id == GetDlgCtrlID(editor_->Spin())) return editor_->Spin();
    }
    return GetDlgItem(hwnd_, id);
}

void DialogWindow::OnCommandMessage(WPARAM wParam) {
    if (!reporting_) return;
    const int id = LOWORD(wParam);
    switch (HIWORD(wParam)) {
        case BN_CLICKED: {
            // Also Enter and Escape (kAcceptCommand, kCancelCommand) from the dialog manager,
            // which may name no button; other controls send no code 0 here.
            wchar_t name[32] = {};
            const HWND control = GetDlgItem(hwnd_, id);
            if (control != nullptr && GetClassNameW(control, name, 32) > 0 &&
                lstrcmpiW(name, WC_BUTTONW) != 0)
                return;
            events_.OnCommand(id);
            break;
        }
        case EN_CHANGE:
            events_.OnTextChanged(id);
            break;
        case EN_KILLFOCUS:
            events_.OnFocusLeft(id);
            break;
        default:
            break;
    }
}

void DialogWindow::OnNotify(const NMHDR& header) {
    LRESULT result = 0;
    const int id = static_cast<int>(header.idFrom);
    if (reporting_) {
        switch (header.code) {
            case UDN_DELTAPOS:
                events_.OnSpin(id, reinterpret_cast<const NMUPDOWN&>(header).iDelta);
                break;
            case NM_CLICK: {
                const POINT p = reinterpret_cast<const NMITEMACTIVATE&>(header).ptAction;
                lastClick_ = {p.x, p.y};
                lastClickTime_ = GetMessageTime();
                events_.OnListClick(id, lastClick_);
                break;
            }
            case NM_DBLCLK: {
                const POINT p = reinterpret_cast<const NMITEMACTIVATE&>(header).ptAction;
                events_.OnListDoubleClick(id, {p.x, p.y}, RowAt(header.hwndFrom, {p.x, p.y}));
                break;
            }
            case LVN_BEGINLABELEDITW:
                result = LabelEditAllowed(header.hwndFrom) ? FALSE : TRUE;
                break;
            case LVN_ENDLABELEDITW: {
                const LVITEMW& item = reinterpret_cast<const NMLVDISPINFOW&>(header).item;
                if (item.pszText != nullptr)
                    events_.OnLabelEdited(id, item.iItem, WideToUtf8(item.pszText));
                // The list keeps its text: the behaviour sets what it shows.
                result = FALSE;
                break;
            }
            default:
                break;
        }
    }
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
}

void DialogWindow::OnPaintMessage() {
    PAINTSTRUCT paint;
    paintDc_ = BeginPaint(hwnd_, &paint);
    if (reporting_) events_.OnPaint();
    EndPaint(hwnd_, &paint);
    paintDc_ = nullptr;
}

bool DialogWindow::PreTranslate(const MSG& message) {
    if (message.message != WM_KEYDOWN || !reporting_ || hwnd_ == nullptr) return false;
    if (message.hwnd != hwnd_ && !IsChild(hwnd_, message.hwnd)) return false;
    return events_.OnKey(KeyOf(message.wParam));
}

void DialogWindow::Dispatch(const MSG& message) {
    if (PreTranslate(message)) return;
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, const_cast<MSG*>(&message))) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int DialogWindow::RunModal() {
    if (owner_ != nullptr) EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    bool quit = false;
    WPARAM quitCode = 0;
    MSG message;
    while (!ended_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            quitCode = message.wParam;
            ended_ = true;
            result_ = kCancelCommand;
            break;
        }
        Dispatch(message);
    }
    // The owner is enabled before this dialog hides, so the activation returns to it.
    if (owner_ != nullptr) EnableWindow(owner_, TRUE);
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return result_;
}

void DialogWindow::EndDialog(int result) {
    ended_ = true;
    result_ = result;
    // Wakes the message loop, which then sees the end.
    if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

int DialogWindow::RunModal(const DialogTemplate& tmpl, DialogEvents& events) {
    DialogWindow dialog(tmpl, events, hwnd_);
    return dialog.RunModal();
}

void DialogWindow::SetFocus(int id) {
    const HWND control = Control(id);
    if (control == nullptr) return;
    if (GetParent(control) == hwnd_) {
        // As Tab does: the dialog manager also moves the default button's frame.
        SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    } else {
        ::SetFocus(control);
    }
}

int DialogWindow::FocusedControl() const {
    HWND focus = GetFocus();
    if (focus == nullptr || hwnd_ == nullptr) return kNoControlId;
    if (editor_ != nullptr && (focus == editor_->Edit() || focus == editor_->Spin()))
        return GetDlgCtrlID(focus);
    if (focus == hwnd_ || !IsChild(hwnd_, focus)) return kNoControlId;
    // A part of a control (a list's label editor, a combo box's list) counts as the control.
    while (GetParent(focus) != hwnd_) focus = GetParent(focus);
    return GetDlgCtrlID(focus);
}

void DialogWindow::StartTimer(int timerId, int periodMs) {
    SetTimer(hwnd_, static_cast<UINT_PTR>(timerId), static_cast<UINT>(periodMs), nullptr);
}

void DialogWindow::StopTimer(int timerId) {
    KillTimer(hwnd_, static_cast<UINT_PTR>(timerId));
}

// Exchanges block the message loop, so the cursor is set at once rather than at the next
// WM_SETCURSOR; while the count is up, WM_SETCURSOR keeps it.
void DialogWindow::SetWaitCursor(bool on) {
    if (on) {
        if (waitCursors_++ == 0) cursorBeforeWait_ = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    } else if (waitCursors_ > 0 && --waitCursors_ == 0) {
        SetCursor(cursorBeforeWait_ != nullptr ? cursorBeforeWait_
                                               : LoadCursorW(nullptr, IDC_ARROW));
    }
}

}  // namespace kavri::ui::win32
