// A qorshell.dll for tests that stands between the small programs and the real library (copied
// beside it as qorshell_real.dll): each numbered export writes its name as a line to the file
// that QOR_TEST_CALLS names, then calls the real export by the same number. The programs' calls
// and their order show without changing the programs.
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

FARPROC Real(int ordinal) {
    static HMODULE real = LoadLibraryW(L"qorshell_real.dll");
    return real != nullptr ? GetProcAddress(real, MAKEINTRESOURCEA(ordinal)) : nullptr;
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
    static HMODULE real = LoadLibraryW(L"qorshell_real.dll");
    auto adopt = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void*>(
        real != nullptr ? GetProcAddress(real, "QorShellAdoptHost") : nullptr));
    if (adopt != nullptr) adopt(host);
}

}  // extern "C"
