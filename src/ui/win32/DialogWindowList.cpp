// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog window's report lists (SysListView32): columns, rows with their icons, cell
// bounds, and the editor over a cell.
#include <algorithm>
#include <string>

#include "platform/WideTextWin32.h"
#include "ui/win32/CellEditor.h"
#include "ui/win32/DialogWindow.h"

namespace kavri::ui::win32 {

namespace {

Rect RectOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

HWND DialogWindow::List(int listId) const {
    const HWND list = GetDlgItem(hwnd_, listId);
    wchar_t name[32] = {};
    if (list == nullptr || GetClassNameW(list, name, 32) == 0 || lstrcmpiW(name, WC_LISTVIEWW) != 0)
        return nullptr;
    return list;
}

int DialogWindow::RowAt(HWND list, Point point) {
    LVHITTESTINFO hit{};
    hit.pt = {point.x, point.y};
    return static_cast<int>(SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

bool DialogWindow::LabelEditAllowed(HWND list) const {
    if (editor_ != nullptr) return false;
    const DWORD position = GetMessagePos();
    POINT point{static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(list, &point);
    LVHITTESTINFO hit{};
    hit.pt = point;
    // Started from the keyboard (F2) with the mouse elsewhere, the hit names no cell.
    if (SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0) return true;
    return hit.iSubItem == 0;
}

// The images are owned by the list, which destroys them with itself.
void DialogWindow::SetListImages(int listId, int bitmapId, int size, unsigned transparent) {
    const HWND list = List(listId);
    if (list == nullptr) return;
    const COLORREF mask = RGB((transparent >> 16) & 0xFF, (transparent >> 8) & 0xFF, transparent & 0xFF);
    const HIMAGELIST images =
        ImageList_LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), size, size,
                             mask, IMAGE_BITMAP, LR_CREATEDIBSECTION);
    if (images == nullptr) return;
    const auto previous = reinterpret_cast<HIMAGELIST>(
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images)));
    if (previous != nullptr) ImageList_Destroy(previous);
}

void DialogWindow::SetListColumns(int listId, const std::vector<ListColumn>& columns) {
    const HWND list = List(listId);
    if (list == nullptr) return;
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    while (SendMessageW(list, LVM_DELETECOLUMN, 0, 0) != FALSE) {
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        std::wstring heading = Utf8ToWide(columns[i].heading);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[i].width;
        column.pszText = heading.data();
        column.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

int DialogWindow::ListClientWidth(int listId) const {
    RECT client{};
    const HWND list = List(listId);
    if (list == nullptr || !GetClientRect(list, &client)) return 0;
    return client.right - client.left;
}

void DialogWindow::ClearList(int listId) {
    if (const HWND list = List(listId)) SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
}

void DialogWindow::AddListRow(int listId, const std::vector<std::string>& cells, int image) {
    const HWND list = List(listId);
    if (list == nullptr) return;
    std::wstring first = Utf8ToWide(cells.empty() ? std::string() : cells.front());
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = ListRowCount(listId);
    item.pszText = first.data();
    item.iImage = image >= 0 ? image : I_IMAGENONE;
    const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    for (size_t column = 1; column < cells.size(); ++column)
        SetListCell(listId, row, static_cast<int>(column), cells[column]);
}

int DialogWindow::ListRowCount(int listId) const {
    const HWND list = List(listId);
    return list != nullptr ? static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

void DialogWindow::SetListCell(int listId, int row, int column, std::string_view text) {
    const HWND list = List(listId);
    if (list == nullptr || row < 0 || row >= ListRowCount(listId)) return;
    std::wstring wide = Utf8ToWide(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = wide.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::string DialogWindow::ListCell(int listId, int row, int column) const {
    const HWND list = List(listId);
    if (list == nullptr || row < 0 || row >= ListRowCount(listId)) return {};
    // The list copies at most the buffer's size and says how much it copied: a text that
    // fills the buffer may be longer, so the buffer grows until it does not.
    std::wstring text(64, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < text.size()) {
            text.resize(length);
            return WideToUtf8(text);
        }
        text.resize(text.size() * 2);
    }
}

void DialogWindow::SetRowImage(int listId, int row, int image) {
    const HWND list = List(listId);
    if (list == nullptr) return;
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = image >= 0 ? image : I_IMAGENONE;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

Rect DialogWindow::CellRect(int listId, int row, int column) const {
    const HWND list = List(listId);
    const HWND header = list != nullptr ? reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)) : nullptr;
    const int columns = header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    if (row < 0 || row >= ListRowCount(listId) || column < 0 || column >= columns) return {};
    RECT bounds{};
    bounds.top = column;
    bounds.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    // For the first column the list gives the whole row.
    if (column == 0)
        bounds.right = bounds.left + static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    return RectOf(bounds);
}

void DialogWindow::OpenCellEditor(const CellEditorRequest& request) {
    editor_.reset();
    const HWND list = List(request.listId);
    const Rect cell = CellRect(request.listId, request.row, request.column);
    if (list == nullptr || cell.Empty()) return;
    editor_ = std::make_unique<CellEditor>(list, hwnd_, request, cell, lastClick_, lastClickTime_);
}

bool DialogWindow::CellEditorOpen() const {
    return editor_ != nullptr;
}

std::optional<std::string> DialogWindow::CloseCellEditor() {
    if (editor_ == nullptr) return std::nullopt;
    std::string text = editor_->Text();
    editor_.reset();
    return text;
}

// The second click of a double click whose first opened the editor: the editor closes
// without its text counting, and the list reports the double click.
void DialogWindow::OnEditorDoubleClick(Point point) {
    if (editor_ == nullptr) return;
    const int listId = editor_->ListId();
    editor_.reset();
    const HWND list = List(listId);
    if (reporting_ && list != nullptr) events_.OnListDoubleClick(listId, point, RowAt(list, point));
}

}  // namespace kavri::ui::win32
