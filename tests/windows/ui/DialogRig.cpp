// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/ui/DialogRig.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "ui/win32/WindowText.h"

namespace kavri::ui::win32::test {

bool Pump(DialogWindow& dialog, const std::function<bool()>& done, int ms) {
    ShowWindow(dialog.Handle(), SW_SHOW);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) dialog.Dispatch(message);
        if (done()) return true;
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

namespace {

std::deque<DialogStep> g_steps;

void CALLBACK TakeStep(HWND, UINT, UINT_PTR timer, DWORD) {
    if (g_steps.empty()) {
        KillTimer(nullptr, timer);
        return;
    }
    static HWND found;
    found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM) -> BOOL {
            const std::string& caption = g_steps.front().caption;
            wchar_t name[16] = {};
            GetClassNameW(w, name, 16);
            if (IsWindowVisible(w) && IsWindowEnabled(w) && lstrcmpW(name, L"#32770") == 0 &&
                (caption.empty() || WindowText(w) == caption))
                found = w;
            return found == nullptr ? TRUE : FALSE;
        },
        0);
    if (found == nullptr) return;
    const std::function<void(HWND)> act = std::move(g_steps.front().act);
    g_steps.pop_front();
    act(found);
}

}  // namespace

void PlanDialogs(std::vector<DialogStep> steps) {
    g_steps.assign(steps.begin(), steps.end());
    SetTimer(nullptr, 0, 50, &TakeStep);
}

bool DialogsDone() {
    return g_steps.empty();
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

int RowImage(HWND list, int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

namespace {

std::vector<uint32_t> CaptureWindow(HWND window, int& width, int& height) {
    RECT r{};
    GetWindowRect(window, &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
    GdiFlush();
    // Opaque: the screen's fourth byte is no alpha, but a viewer of the file would take it as one.
    const auto* screenBits = static_cast<const uint32_t*>(bits);
    if (copied)
        std::transform(screenBits, screenBits + pixels.size(), pixels.begin(),
                       [](uint32_t p) { return p | 0xFF000000u; });
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!copied) pixels.clear();
    return pixels;
}

// Top-down 32-bit rows, as captured.
bool WriteBmp(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
    const DWORD size = static_cast<DWORD>(pixels.size() * sizeof pixels[0]);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(54 + size), 0, 0, 54};
    BITMAPINFOHEADER info{sizeof info, width, -height, 1, 32, BI_RGB, size, 2835, 2835, 0, 0};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels.data()), size);
    return static_cast<bool>(out);
}

}  // namespace

void Shoot(HWND window, const char* name) {
    SCOPED_TRACE(name);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = CaptureWindow(window, width, height);
    ASSERT_FALSE(pixels.empty());
    EXPECT_GT(std::set<uint32_t>(pixels.begin(), pixels.end()).size(), 8u);
    if (const char* folder = std::getenv("KAVRI_SCREENSHOT_DIR")) {
        EXPECT_TRUE(WriteBmp(std::string(folder) + "/" + name + ".bmp", pixels, width, height));
    }
}

void Click(HWND window, Point point) {
    POINT screen{point.x, point.y};
    ClientToScreen(window, &screen);
    // A move to the point, a press and a release.
    INPUT inputs[3] = {};
    const DWORD actions[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 3; ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = screen.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
        inputs[i].mi.dy = screen.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
        inputs[i].mi.dwFlags = actions[i] | MOUSEEVENTF_ABSOLUTE;
    }
    SendInput(3, inputs, sizeof(INPUT));
}

}  // namespace kavri::ui::win32::test
