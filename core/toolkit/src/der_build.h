// DER for key files, built and read in SecureBuffers: a private key's encodings carry its
// numbers, so every intermediate piece is wiped when it goes.
#pragma once

#include <qor/secure_buffer.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace qor::toolkit {

// Tag, shortest length and content. Key files stay far below the 32767 bytes the length forms
// of ber.h allow.
SecureBuffer DerElement(uint8_t tag, const uint8_t* content, size_t length);
inline SecureBuffer DerElement(uint8_t tag, const SecureBuffer& content) {
    return DerElement(tag, content.data(), content.size());
}
// The parts one after the other.
SecureBuffer DerConcat(std::initializer_list<const SecureBuffer*> parts);
// An INTEGER holding an unsigned big-endian value: leading zeros dropped, a 00 added where the
// top bit would read as a sign; the value 0 (or no bytes) as 02 01 00.
SecureBuffer DerUnsigned(const uint8_t* value, size_t length);
inline SecureBuffer DerUnsigned(const SecureBuffer& value) {
    return DerUnsigned(value.data(), value.size());
}
SecureBuffer DerSmallUnsigned(uint32_t value);

// Reads an INTEGER at `p` that must not be negative; `value` receives it without leading zero
// bytes (empty for 0). False for anything else or anything malformed.
bool DerReadUnsigned(const uint8_t*& p, const uint8_t* end, SecureBuffer& value);

}  // namespace qor::toolkit
