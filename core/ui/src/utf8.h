// Edit limits count characters, and the core keeps text as UTF-8 bytes.
#pragma once

#include <cstddef>
#include <string_view>

namespace qor::ui {

inline bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xc0) == 0x80;
}

// Characters in `text` (continuation bytes do not count).
inline size_t Utf8Length(std::string_view text) {
    size_t count = 0;
    for (char c : text)
        if (!IsContinuationByte(c)) ++count;
    return count;
}

// Bytes taken by the first `characters` characters of `text`.
inline size_t Utf8Prefix(std::string_view text, size_t characters) {
    size_t i = 0;
    for (size_t seen = 0; i < text.size(); ++i) {
        if (!IsContinuationByte(text[i]) && seen++ == characters) break;
    }
    return i;
}

}  // namespace qor::ui
