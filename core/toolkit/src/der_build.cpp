#include "der_build.h"

#include <cstring>

#include "ber.h"

namespace qor::toolkit {

SecureBuffer DerElement(uint8_t tag, const uint8_t* content, size_t length) {
    uint8_t header[4];
    const size_t h = BerWriteHeader(header, tag, length);
    SecureBuffer out(h + length);
    std::memcpy(out.data(), header, h);
    if (length != 0) std::memcpy(out.data() + h, content, length);
    return out;
}

SecureBuffer DerConcat(std::initializer_list<const SecureBuffer*> parts) {
    size_t total = 0;
    for (const SecureBuffer* part : parts)
        total += part->size();
    SecureBuffer out(total);
    size_t at = 0;
    for (const SecureBuffer* part : parts) {
        if (part->size() != 0) std::memcpy(out.data() + at, part->data(), part->size());
        at += part->size();
    }
    return out;
}

SecureBuffer DerUnsigned(const uint8_t* value, size_t length) {
    while (length > 0 && value[0] == 0) {
        ++value;
        --length;
    }
    const bool pad = length == 0 || value[0] >= 0x80;
    SecureBuffer content(length + (pad ? 1 : 0));
    if (length != 0) std::memcpy(content.data() + (pad ? 1 : 0), value, length);
    return DerElement(kBerInteger, content);
}

SecureBuffer DerSmallUnsigned(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return DerUnsigned(bytes, sizeof bytes);
}

bool DerReadUnsigned(const uint8_t*& p, const uint8_t* end, SecureBuffer& value) {
    BerElement e;
    if (!BerReadExpect(p, end, kBerInteger, e) || e.length == 0) return false;
    if (e.content[0] >= 0x80) return false;
    size_t skip = 0;
    while (skip < e.length && e.content[skip] == 0)
        ++skip;
    value.Assign(e.content + skip, e.length - skip);
    return true;
}

}  // namespace qor::toolkit
