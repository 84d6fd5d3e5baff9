#include "win32_text.h"

#include <climits>

namespace qor::ui::win32 {

SecureBuffer WideText(std::string_view text) {
    const int length = text.size() > INT_MAX / 4 ? 0 : static_cast<int>(text.size());
    const int units =
        length == 0 ? 0 : MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    SecureBuffer wide((static_cast<size_t>(units) + 1) * sizeof(wchar_t));
    if (units > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), length,
                            reinterpret_cast<wchar_t*>(wide.data()), units);
    }
    return wide;  // SecureBuffer starts zeroed: the terminator is there
}

SecureBuffer WindowText(HWND window) {
    const int units = GetWindowTextLengthW(window);
    if (units <= 0) return SecureBuffer();
    SecureBuffer wide((static_cast<size_t>(units) + 1) * sizeof(wchar_t));
    const int got = GetWindowTextW(window, reinterpret_cast<wchar_t*>(wide.data()), units + 1);
    if (got <= 0) return SecureBuffer();
    const auto* chars = reinterpret_cast<const wchar_t*>(wide.data());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, chars, got, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return SecureBuffer();
    SecureBuffer text(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, chars, got, reinterpret_cast<char*>(text.data()), bytes,
                        nullptr, nullptr);
    return text;
}

std::wstring Wide(std::string_view text) {
    const SecureBuffer wide = WideText(text);
    return std::wstring(WideChars(wide));
}

std::string Utf8(const wchar_t* text, int length) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
    if (length < 0 && !out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

}  // namespace qor::ui::win32
