// Stands between a small program and the shell library in the end-to-end tests (LD_PRELOAD):
// each SH_ call is appended to the file $QOR_TEST_CALLS as one line with the export's name, then
// handed on to the library, so that a test sees which calls a program makes and in what order
// (and, sharing the file with the session recorder, which came before the session's end).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Note(const char* name) {
    const char* path = std::getenv("QOR_TEST_CALLS");
    if (path == nullptr) return;
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", name);
        std::fclose(file);
    }
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

#define QOR_SHIM extern "C" __attribute__((visibility("default")))

QOR_SHIM int SH_AutoEncrypt(void* owner) {
    Note("SH_AutoEncrypt");
    return Next<int (*)(void*)>("SH_AutoEncrypt")(owner);
}

QOR_SHIM int SH_AutoDecrypt(void* owner) {
    Note("SH_AutoDecrypt");
    return Next<int (*)(void*)>("SH_AutoDecrypt")(owner);
}

QOR_SHIM int SH_CheckPassword(void) {
    Note("SH_CheckPassword");
    return Next<int (*)()>("SH_CheckPassword")();
}

QOR_SHIM int SH_AddToStartMenu(void) {
    Note("SH_AddToStartMenu");
    return Next<int (*)()>("SH_AddToStartMenu")();
}
