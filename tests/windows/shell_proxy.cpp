// A qorshell.dll for tests that stands between the small programs and the real library (the one
// QOR_TEST_REAL_SHELL names by its full path, so that its data shared between processes is the
// installed library's): each numbered export writes its name as a line to the file that
// QOR_TEST_CALLS names, then calls the real export by the same number. The programs' calls and
// their order show without changing the programs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Note(const char* name) {
    const char* path = std::getenv("QOR_TEST_CALLS");
    if (path == nullptr || *path == '\0') return;
    if (FILE* log = std::fopen(path, "ab")) {
        std::fprintf(log, "%s\n", name);
        std::fclose(log);
    }
}

HMODULE RealLibrary() {
    static HMODULE real = [] {
        const char* path = std::getenv("QOR_TEST_REAL_SHELL");
        return path != nullptr ? LoadLibraryA(path) : nullptr;
    }();
    return real;
}

FARPROC Real(int ordinal) {
    HMODULE real = RealLibrary();
    return real != nullptr ? GetProcAddress(real, MAKEINTRESOURCEA(ordinal)) : nullptr;
}

// With QOR_TEST_PUMP_MS set, the call first pumps the thread's messages for that long, as the
// log-on decryption's dialogs do while the user reads them.
void PumpAsADialogWould() {
    const char* setting = std::getenv("QOR_TEST_PUMP_MS");
    if (setting == nullptr) return;
    const DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(setting));
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

template <typename Function>
Function RealExport(int ordinal) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(Real(ordinal)));
}

}  // namespace

extern "C" {

__declspec(dllexport) int SH_AssociateDecrypt(void* owner, const char* path, char* decrypted) {
    Note("SH_AssociateDecrypt");
    auto real = RealExport<int (*)(void*, const char*, char*)>(1);
    return real != nullptr ? real(owner, path, decrypted) : 0;
}

__declspec(dllexport) int SH_AutoEncrypt(void* owner) {
    Note("SH_AutoEncrypt");
    auto real = RealExport<int (*)(void*)>(2);
    return real != nullptr ? real(owner) : 0;
}

__declspec(dllexport) int SH_AutoDecrypt(void* owner) {
    Note("SH_AutoDecrypt");
    PumpAsADialogWould();
    auto real = RealExport<int (*)(void*)>(3);
    return real != nullptr ? real(owner) : 0;
}

__declspec(dllexport) int SH_CheckPassword() {
    Note("SH_CheckPassword");
    auto real = RealExport<int (*)()>(4);
    return real != nullptr ? real() : 0;
}

__declspec(dllexport) int SH_AddToStartMenu() {
    Note("SH_AddToStartMenu");
    auto real = RealExport<int (*)()>(6);
    return real != nullptr ? real() : 0;
}

// Not numbered: found by name in the real library as well.
__declspec(dllexport) void QorShellAdoptHost(void* host) {
    HMODULE real = RealLibrary();
    auto adopt = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void*>(
        real != nullptr ? GetProcAddress(real, "QorShellAdoptHost") : nullptr));
    if (adopt != nullptr) adopt(host);
}

}  // extern "C"
