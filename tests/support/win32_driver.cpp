#include "win32_driver.h"

#include <algorithm>
#include <cstdint>

#include "png_file.h"

namespace qor::test::win32 {

namespace {

std::wstring Wide(const std::string& text) {
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

std::string Utf8(const std::wstring& text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
    return out;
}

std::wstring WindowText(HWND window) {
    // WM_GETTEXT reaches windows of other processes too.
    wchar_t buffer[4096] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return std::wstring(buffer, std::min<size_t>(copied, 4095));
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

struct Search {
    std::wstring caption;
    bool any;
    HWND except;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (window == search->except || !IsWindowVisible(window) || ClassName(window) != L"#32770")
        return TRUE;
    if (!search->any && WindowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool DesktopPresent() {
    HWND probe =
        CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

HWND WaitForDialog(const std::string& caption, DWORD milliseconds, HWND except) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    do {
        Search search{Wide(caption), caption.empty(), except, nullptr};
        EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            // Let it finish painting before anyone looks at it.
            Sleep(150);
            return search.found;
        }
        Sleep(20);
    } while (GetTickCount64() < until);
    return nullptr;
}

bool WaitUntilClosed(HWND window, DWORD milliseconds) {
    const ULONGLONG until = GetTickCount64() + milliseconds;
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount64() >= until) return false;
        Sleep(20);
    }
    return true;
}

namespace {

struct IdSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindControl(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<IdSearch*>(data);
    if (GetDlgCtrlID(window) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND Control(HWND dialog, int id) {
    if (HWND direct = GetDlgItem(dialog, id)) return direct;
    IdSearch search{id, nullptr};
    EnumChildWindows(dialog, &FindControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string Caption(HWND window) {
    return Utf8(WindowText(window));
}

std::string Text(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    return control != nullptr ? Utf8(WindowText(control)) : std::string();
}

std::string MessageText(HWND box) {
    return Text(box, 0xFFFF);
}

bool IsVisible(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    return control != nullptr && IsWindowVisible(control);
}

bool IsEnabled(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

bool IsChecked(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    DWORD_PTR state = 0;
    if (control != nullptr)
        SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

void Type(HWND dialog, int id, const std::string& text) {
    HWND control = Control(dialog, id);
    if (control == nullptr) return;
    const std::wstring wide = Wide(text);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
}

void Click(HWND dialog, int id) {
    if (HWND control = Control(dialog, id)) PostMessageW(control, BM_CLICK, 0, 0);
}

void PressKey(HWND dialog, WORD key) {
    HWND target = GetFocus() != nullptr && IsChild(dialog, GetFocus()) ? GetFocus() : dialog;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

bool SaveScreenshot(HWND window, const std::string& path) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Sleep(100);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
        const auto* source = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = source[i] & 0xFFFFFF;
        saved = WritePng(path, width, height, pixels);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

std::vector<std::string> LayoutFaults(HWND dialog) {
    std::vector<std::string> faults;
    RECT client;
    GetClientRect(dialog, &client);
    struct Placed {
        HWND window;
        RECT rect;
        std::string name;
        bool frame;
    };
    std::vector<Placed> shown;
    HDC dc = GetDC(dialog);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        const std::wstring text = WindowText(child);
        const std::wstring kind = ClassName(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        const std::string name = std::to_string(GetDlgCtrlID(child)) + " \"" + Utf8(text) + "\"";
        // Frames and pictures lie behind other controls by design.
        const bool frame = (kind == L"Button" && (style & 0xF) == BS_GROUPBOX) ||
                           (kind == L"Static" && ((style & SS_TYPEMASK) == SS_BITMAP ||
                                                  (style & SS_TYPEMASK) == SS_ICON));
        shown.push_back({child, rect, name, frame});
        if (rect.left < 0 || rect.top < 0 || rect.right > client.right ||
            rect.bottom > client.bottom)
            faults.push_back(name + " lies partly outside the dialog");
        if (text.empty() || kind == L"Edit" || kind == L"ListBox" || kind == L"ComboBox") continue;
        HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0)));
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        RECT needed{0, 0, width, 0};
        if (kind == L"Static" && (style & SS_PATHELLIPSIS) != 0) {
            // Shortened with "..." by the control itself where it has no room.
        } else if (kind == L"Static") {
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                      DT_CALCRECT | DT_WORDBREAK);
            if (needed.bottom > height || needed.right > width)
                faults.push_back(name + " needs " + std::to_string(needed.right) + "x" +
                                 std::to_string(needed.bottom) + " of " + std::to_string(width) +
                                 "x" + std::to_string(height));
        } else if (kind == L"Button" && !frame && (style & 0xF) != BS_OWNERDRAW) {
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                      DT_CALCRECT | DT_SINGLELINE);
            // A box or circle and its gap before a check box's text; a margin inside a button.
            const bool box =
                (style & 0xF) == BS_AUTOCHECKBOX || (style & 0xF) == BS_AUTORADIOBUTTON;
            const int room = width - (box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 6);
            if (needed.right > room)
                faults.push_back(name + " needs " + std::to_string(needed.right) + " of " +
                                 std::to_string(room) + " pixels");
        }
        SelectObject(dc, old);
    }
    ReleaseDC(dialog, dc);
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t k = i + 1; k < shown.size(); ++k) {
            if (shown[i].frame || shown[k].frame) continue;
            RECT overlap;
            if (IntersectRect(&overlap, &shown[i].rect, &shown[k].rect))
                faults.push_back(shown[i].name + " and " + shown[k].name + " overlap");
        }
    }
    return faults;
}

}  // namespace qor::test::win32
