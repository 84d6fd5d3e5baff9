// Hidden top-level windows: owners of the dialogs of programs without a window of their own.
#include "qor/platform/hidden_window.h"

#include "win32_common.h"

namespace qor::platform {

namespace win32 {

HWND CreateHiddenWindow(const wchar_t* className, WNDPROC procedure, void* data) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    if (!GetClassInfoW(instance, className, &windowClass)) {
        windowClass = WNDCLASSW{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = className;
        // The program's icon, where it has one, for whatever lists the window.
        windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(128));
        if (RegisterClassW(&windowClass) == 0) return nullptr;
    }
    return CreateWindowExW(0, className, L"QOR Vaultis", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                           data);
}

}  // namespace win32

HiddenWindow::HiddenWindow()
    : handle_(win32::CreateHiddenWindow(L"QorHiddenOwner", DefWindowProcW, nullptr)) {}

HiddenWindow::~HiddenWindow() {
    if (handle_ != nullptr) DestroyWindow(static_cast<HWND>(handle_));
}

}  // namespace qor::platform
