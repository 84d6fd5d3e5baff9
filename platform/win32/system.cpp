// Clocks, entropy records, programs and libraries on Win32.
#include "qor/platform/system.h"

#include "qor/platform/files.h"

#include "win32_common.h"

#include <bcrypt.h>

#include <atomic>
#include <ctime>
#include <limits>
#include <vector>

namespace qor::platform {

namespace {

std::atomic<ClockFunction> g_clock{nullptr};

// The records keep the 32-bit structures' layout, so that the bytes mixed into the seed do not
// depend on the width of the running program.
void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Saturate32(uint64_t value) {
    return value > 0xffffffffu ? 0xffffffffu : static_cast<uint32_t>(value);
}

uint32_t Low32(uint64_t value) {
    return static_cast<uint32_t>(value & 0xffffffffu);
}

}  // namespace

uint32_t TickCount() {
    return GetTickCount();
}

int64_t CalendarSeconds() {
    ClockFunction clock = g_clock.load();
    if (clock) return clock();
    return static_cast<int64_t>(std::time(nullptr));
}

void SetCalendarClockForTesting(ClockFunction clock) {
    g_clock.store(clock);
}

void MemoryStatusRecord(uint8_t record[32]) {
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    Put32(record + 0, 32);
    Put32(record + 4, status.dwMemoryLoad);
    Put32(record + 8, Saturate32(status.dwTotalPhys));
    Put32(record + 12, Saturate32(status.dwAvailPhys));
    Put32(record + 16, Saturate32(status.dwTotalPageFile));
    Put32(record + 20, Saturate32(status.dwAvailPageFile));
    Put32(record + 24, Saturate32(status.dwTotalVirtual));
    Put32(record + 28, Saturate32(status.dwAvailVirtual));
}

void SystemInfoRecord(uint8_t record[36]) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    Put16(record + 0, info.wProcessorArchitecture);
    Put16(record + 2, info.wReserved);
    Put32(record + 4, info.dwPageSize);
    Put32(record + 8, Low32(reinterpret_cast<uintptr_t>(info.lpMinimumApplicationAddress)));
    Put32(record + 12, Low32(reinterpret_cast<uintptr_t>(info.lpMaximumApplicationAddress)));
    Put32(record + 16, Low32(info.dwActiveProcessorMask));
    Put32(record + 20, info.dwNumberOfProcessors);
    Put32(record + 24, info.dwProcessorType);
    Put32(record + 28, info.dwAllocationGranularity);
    Put16(record + 32, info.wProcessorLevel);
    Put16(record + 34, info.wProcessorRevision);
}

bool OsRandom(uint8_t* out, size_t length) {
    while (length > 0) {
        ULONG chunk = static_cast<ULONG>(length > std::numeric_limits<ULONG>::max()
                                             ? std::numeric_limits<ULONG>::max()
                                             : length);
        NTSTATUS status = BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (status < 0) return win32::FailWith(kErrorGeneric);
        out += chunk;
        length -= chunk;
    }
    return true;
}

namespace win32 {

HANDLE StartCommandLine(const std::wstring& commandLine) {
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        Fail();
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

}  // namespace win32

bool StartProgram(const std::string& path, const std::string& arguments) {
    std::wstring command = L"\"" + win32::Widen(path) + L"\"";
    if (!arguments.empty()) command += L" " + win32::Widen(arguments);
    const HANDLE process = win32::StartCommandLine(command);
    if (process == nullptr) return false;
    CloseHandle(process);
    return true;
}

int RunProgram(const std::string& path, const std::string& arguments) {
    std::wstring command = L"\"" + win32::Widen(path) + L"\"";
    if (!arguments.empty()) command += L" " + win32::Widen(arguments);
    const HANDLE process = win32::StartCommandLine(command);
    if (process == nullptr) return -1;
    WaitForSingleObject(process, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process, &status);
    CloseHandle(process);
    return static_cast<int>(status);
}

LibraryHandle LoadLibrary(const std::string& name) {
    HMODULE module = LoadLibraryW(win32::Widen(name).c_str());
    if (!module) win32::Fail();
    return static_cast<LibraryHandle>(module);
}

std::string LibraryPathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module)) {
        return std::string();
    }
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return std::string();
    path.resize(length);
    return win32::Narrow(path);
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
    if (!library) {
        win32::FailWith(kErrorInvalidHandle);
        return nullptr;
    }
    FARPROC symbol = GetProcAddress(static_cast<HMODULE>(library), name);
    if (!symbol) win32::Fail();
    return reinterpret_cast<void*>(symbol);
}

void FreeLibrary(LibraryHandle library) {
    if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string EnvironmentVariable(const std::string& name) {
    std::wstring wideName = win32::Widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                          static_cast<DWORD>(value.size()));
        if (n == 0) {
            // An empty value and a missing variable look alike here; both mean "".
            if (GetLastError() != ERROR_SUCCESS) win32::Fail();
            return std::string();
        }
        // Too small a buffer returns the size needed, terminator included.
        if (n < value.size()) return win32::Narrow(value.data(), n);
        value.resize(n);
    }
}

}  // namespace qor::platform
