// What every Win32 source of the platform layer shares: <windows.h> without the macros that
// would rename our own functions (DeleteFile, MoveFile, ...), and the conversions and error
// record implemented once in files.cpp.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX  // the C++ library's Windows configuration may have set it already
#define NOMINMAX
#endif
#include <windows.h>
#undef DeleteFile
#undef MoveFile
#undef ReplaceFile
#undef CreateDirectory
#undef RemoveDirectory
#undef LoadLibrary

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor::platform::win32 {

// UTF-8 to UTF-16 and back at the boundary; a name that is not UTF-8 is read in the ANSI code
// page, as files from older systems are.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Narrow(const wchar_t* text, size_t length);
// Record GetLastError() (or the given error) as this thread's LastError(); answer false.
bool Fail();
bool FailWith(uint32_t error);

}  // namespace qor::platform::win32

namespace qor::platform::win32 {

// CreateProcess of a whole command line (the program, quoted where it holds blanks, then its
// arguments): the new process's handle, for the caller to close, or nullptr (LastError set).
HANDLE StartCommandLine(const std::wstring& commandLine);

// A top-level overlapped window that is never shown, of class `className` (registered on first
// use) with `procedure`; `data` arrives as WM_NCCREATE's creation parameter. Message-only windows
// would hear nothing of the session's end. nullptr when it could not be made.
HWND CreateHiddenWindow(const wchar_t* className, WNDPROC procedure, void* data);

}  // namespace qor::platform::win32
