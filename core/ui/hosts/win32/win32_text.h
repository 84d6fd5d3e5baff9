// UTF-8 (the core's text) to and from UTF-16 (the Windows calls'), in buffers that wipe
// themselves, since a field's text may be a password.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <qor/secure_buffer.h>

#include <string>
#include <string_view>

namespace qor::ui::win32 {

// The text as a zero-terminated UTF-16 string.
SecureBuffer WideText(std::string_view text);
inline const wchar_t* WideChars(const SecureBuffer& wide) {
    return reinterpret_cast<const wchar_t*>(wide.data());
}
// A window's text as UTF-8 (no terminator).
SecureBuffer WindowText(HWND window);
// For texts that are never secret.
std::wstring Wide(std::string_view text);
std::string Utf8(const wchar_t* text, int length = -1);

}  // namespace qor::ui::win32
