#include "com_module.h"

#include <atomic>

// The linker's symbol for the start of this image: its module handle without a DllMain.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qor::shell::com {

namespace {

std::atomic<int> g_locks{0};

}  // namespace

HINSTANCE Module() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(Module(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

void LockModule(bool lock) {
    if (lock) {
        ++g_locks;
        return;
    }
    // An unlock without a lock is ignored rather than letting the count go below zero.
    int count = g_locks.load();
    while (count > 0 && !g_locks.compare_exchange_weak(count, count - 1)) {
    }
}

bool ModuleLocked() {
    return g_locks.load() > 0;
}

}  // namespace qor::shell::com
