// Clocks, entropy sources, programs and libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qor::platform {

// GetTickCount: milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t TickCount();
// The calendar clock in whole seconds (time()).
int64_t CalendarSeconds();

// Tests replace the calendar clock (nullptr restores the real one), so keep periods can be
// checked without sleeping.
using ClockFunction = int64_t (*)();
void SetCalendarClockForTesting(ClockFunction clock);

// Entropy records, filled from the system: the 32-byte memory-status record and the 36-byte
// system-information record that the random seeding mixes in, byte for byte as their Win32
// structures are laid out (GlobalMemoryStatus, GetSystemInfo). On Linux they are filled from
// sysinfo()/sysconf() in the same layout.
void MemoryStatusRecord(uint8_t record[32]);
void SystemInfoRecord(uint8_t record[36]);
// Bytes from the operating system's random generator (getrandom / BCryptGenRandom).
bool OsRandom(uint8_t* out, size_t length);

// WinExec: starts a program (path, then arguments) without waiting for it. False when it
// could not be started.
bool StartProgram(const std::string& path, const std::string& arguments = "");
// Starts a program as StartProgram does and waits for it: its exit status, or -1 when it could
// not be started (not found: a bare name is looked for along the PATH).
int RunProgram(const std::string& path, const std::string& arguments = "");

// LoadLibrary / GetProcAddress / FreeLibrary with the usual reference counting. On Linux the
// bare name is looked up in the folder of the calling program first.
using LibraryHandle = void*;
LibraryHandle LoadLibrary(const std::string& name);
void* LibrarySymbol(LibraryHandle library, const char* name);
void FreeLibrary(LibraryHandle library);
// The full path of the loaded library (or program) that holds `address`; "" when unknown.
std::string LibraryPathOf(const void* address);

// The user's environment: a variable's value, or "" when it is not set.
std::string EnvironmentVariable(const std::string& name);

// The program's command-line arguments in UTF-8, argv[0] first. On Windows main's argv is in
// the ANSI code page, which cannot hold every file name; the arguments are taken from the wide
// command line instead. On Linux they are argv as given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace qor::platform
