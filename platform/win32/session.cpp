// The session's end on Windows: ExitWindowsEx, and a hidden window that waits for the end.
#include "qor/platform/session.h"

#include "win32_common.h"

namespace qor::platform {

namespace {

// The process may end the session only with its shutdown privilege enabled; a failure shows in
// ExitWindowsEx's answer.
void EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges{};
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
}

struct Waiter {
    UINT_PTR timerId;
    UINT period;
    const std::function<bool()>* tick;
};

LRESULT CALLBACK WaiterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* waiter = reinterpret_cast<Waiter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_TIMER:
            if (waiter != nullptr && wParam == waiter->timerId && !(*waiter->tick)())
                DestroyWindow(window);
            break;
        case WM_QUERYENDSESSION:
            if (waiter != nullptr) KillTimer(window, waiter->timerId);
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                DestroyWindow(window);
            } else if (waiter != nullptr) {
                // Another program refused the end: the kept password must still run out.
                SetTimer(window, waiter->timerId, waiter->period, nullptr);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool EndSession(SessionEnd how) {
    EnableShutdownPrivilege();
    return ExitWindowsEx(static_cast<UINT>(how), 0) != 0;
}

void HoldSessionEnd() {}

void WaitForSessionEnd(int timerId, uint32_t periodMs, const std::function<bool()>& tick) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WaiterProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"QorSessionWaiter";
    RegisterClassW(&windowClass);
    Waiter waiter{static_cast<UINT_PTR>(timerId), periodMs == 0 ? 1u : periodMs, &tick};
    // A top-level window, never shown: message-only windows hear nothing of the session's end.
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"QOR Vaultis", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, instance, &waiter);
    if (window == nullptr) return;
    SetTimer(window, waiter.timerId, waiter.period, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace qor::platform
