// What the COM server's files share: the Windows headers as they need them, the product's class
// id, the library's own module and the text conversions at the boundary (the shell speaks
// UTF-16, the shell's model UTF-8).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>, which they need.
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <string_view>

namespace qor::shell::com {

// {8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}
inline constexpr CLSID kClassId = {
    0x8e3e0f0a, 0x0fcc, 0x11ce, {0xbc, 0xb0, 0xb3, 0xfd, 0x0e, 0x25, 0x38, 0x19}};
inline constexpr wchar_t kClassIdText[] = L"{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}";

// The resources of the library: the mark beside the menu's items and the icons of the two kinds
// of encrypted file (the icon index is the group's place among them).
inline constexpr int kMenuMarkBitmap = 102;
inline constexpr int kLocalFileIcon = 100;
inline constexpr int kShareFileIcon = 101;

HINSTANCE Module();
// The library's own file, or "" when it cannot be had.
std::wstring ModulePath();

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The server's lock count (IClassFactory::LockServer), which keeps it loaded like a live object.
void LockModule(bool lock);
bool ModuleLocked();

}  // namespace qor::shell::com
