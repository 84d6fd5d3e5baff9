// The console, when the process has one: programs started from a command prompt (the
// self-extracting stub) read a password from it without echo. The product's dialogs are windows
// on Windows, so the terminal dialog host never uses this there.
#include "qor/platform/terminal.h"

#include "win32_common.h"

namespace qor::platform {

namespace {

struct Console {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    DWORD savedMode = 0;
};

Console* Get(void* state) {
    return static_cast<Console*>(state);
}

HANDLE OpenConsoleFile(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

bool Terminal::Open() {
    if (fd_ >= 0) return true;
    // "CONIN$" and "CONOUT$" name the console itself, whatever the standard handles point at.
    auto* console = new Console;
    console->input = OpenConsoleFile(L"CONIN$");
    console->output = OpenConsoleFile(L"CONOUT$");
    DWORD mode = 0;
    if (console->input == INVALID_HANDLE_VALUE || console->output == INVALID_HANDLE_VALUE ||
        !GetConsoleMode(console->input, &mode)) {
        if (console->input != INVALID_HANDLE_VALUE) CloseHandle(console->input);
        if (console->output != INVALID_HANDLE_VALUE) CloseHandle(console->output);
        delete console;
        return false;
    }
    console->savedMode = mode;
    saved_ = console;
    fd_ = 0;
    return true;
}

void Terminal::Close() {
    if (Console* console = Get(saved_)) {
        if (raw_) SetRaw(false);
        CloseHandle(console->input);
        CloseHandle(console->output);
        delete console;
    }
    saved_ = nullptr;
    fd_ = -1;
    raw_ = false;
}

bool Terminal::Write(const std::string& text) {
    Console* console = Get(saved_);
    if (console == nullptr) return false;
    const std::wstring wide = win32::Widen(text);
    size_t done = 0;
    while (done < wide.size()) {
        DWORD written = 0;
        if (!WriteConsoleW(console->output, wide.data() + done,
                           static_cast<DWORD>(wide.size() - done), &written, nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

int Terminal::ReadKey() {
    Console* console = Get(saved_);
    if (console == nullptr) return -1;
    char key = 0;
    DWORD read = 0;
    if (!ReadConsoleA(console->input, &key, 1, &read, nullptr) || read == 0) return -1;
    const int value = static_cast<unsigned char>(key);
    key = 0;
    return value == '\r' ? '\n' : value;
}

bool Terminal::SetRaw(bool raw) {
    Console* console = Get(saved_);
    if (console == nullptr) return false;
    if (raw == raw_) return true;
    // Without line input and echo each key arrives on its own and is shown as nothing; without
    // processed input Ctrl-C arrives as a key, as in raw mode on Linux.
    const DWORD mode =
        raw ? console->savedMode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                       ENABLE_PROCESSED_INPUT)
            : console->savedMode;
    if (!SetConsoleMode(console->input, mode)) return false;
    raw_ = raw;
    return true;
}

}  // namespace qor::platform
