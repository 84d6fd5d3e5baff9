// The session's end on Windows: ExitWindowsEx, and a hidden window that waits for the end.
#include "qor/platform/session.h"

#include "win32_common.h"

#ifdef QOR_TEST_HOOKS
#include "qor/platform/registry.h"
#endif

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

#ifdef QOR_TEST_HOOKS
// Test builds only: the command named for this way of ending, run and waited for; its exit status
// 0 is success. False in *handled when none is named, and the real end is asked for.
bool RunConfiguredCommand(SessionEnd how, bool* handled) {
    const char* name = how == SessionEnd::kShutdown ? "Shutdown"
                       : how == SessionEnd::kReboot ? "Reboot"
                                                    : "Logoff";
    std::string command;
    *handled = RegistryReadString(Hive::kLocalMachine, kSessionCommandsKey, name, &command) &&
               !command.empty();
    if (!*handled) return false;
    const HANDLE process = win32::StartCommandLine(win32::Widen(command));
    if (process == nullptr) return false;
    WaitForSingleObject(process, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process, &status);
    CloseHandle(process);
    return status == 0;
}
#endif

}  // namespace

bool EndSession(SessionEnd how) {
#ifdef QOR_TEST_HOOKS
    bool handled = false;
    const bool ended = RunConfiguredCommand(how, &handled);
    if (handled) return ended;
#endif
    EnableShutdownPrivilege();
    return ExitWindowsEx(static_cast<UINT>(how), 0) != 0;
}

struct SessionWatch::State {
    HWND window = nullptr;
    UINT_PTR timerId = 0;
    UINT period = 1;
    const std::function<bool()>* tick = nullptr;  // set while Wait runs
    bool tickDue = false;                         // a tick fell due during the start-up work
    bool closed = false;
};

namespace {

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* state = reinterpret_cast<SessionWatch::State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_TIMER:
            if (wParam == state->timerId) {
                // The start-up work's dialogs pump this window's messages too: its tick waits.
                if (state->tick == nullptr) {
                    state->tickDue = true;
                } else if (!(*state->tick)()) {
                    DestroyWindow(window);
                    return 0;
                }
            }
            break;
        case WM_QUERYENDSESSION:
            // The start-up work may be decrypting files: the session waits for it.
            if (state->tick == nullptr) return FALSE;
            KillTimer(window, state->timerId);
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                DestroyWindow(window);
            } else if (state->tick != nullptr) {
                // Another program refused the end: the kept password must still run out.
                SetTimer(window, state->timerId, state->period, nullptr);
            }
            return 0;
        case WM_DESTROY:
            state->closed = true;
            state->window = nullptr;
            // A quit posted during the start-up work would end its dialogs instead.
            if (state->tick != nullptr) PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

SessionWatch::SessionWatch(int timerId, uint32_t periodMs) : state_(std::make_unique<State>()) {
    state_->timerId = static_cast<UINT_PTR>(timerId);
    state_->period = periodMs == 0 ? 1u : periodMs;
    state_->window = win32::CreateHiddenWindow(L"QorSessionWatch", WatchProc, state_.get());
    if (state_->window != nullptr)
        SetTimer(state_->window, state_->timerId, state_->period, nullptr);
}

SessionWatch::~SessionWatch() {
    if (state_->window != nullptr) {
        state_->tick = nullptr;
        KillTimer(state_->window, state_->timerId);
        DestroyWindow(state_->window);
    }
}

void* SessionWatch::window() const {
    return state_->window;
}

void SessionWatch::Wait(const std::function<bool()>& tick) {
    // Closed during the start-up work: the program's session is over.
    if (state_->closed) return;
    if (state_->window == nullptr) {
        // No window could be made (a session without a desktop): nothing will tell of the end,
        // which ends the process, but a kept password must still run out.
        do {
            Sleep(state_->period);
        } while (tick());
        return;
    }
    state_->tick = &tick;
    if (state_->tickDue) {
        state_->tickDue = false;
        if (!tick()) {
            DestroyWindow(state_->window);
        }
    }
    MSG message;
    while (!state_->closed && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    state_->tick = nullptr;
}

}  // namespace qor::platform
