#include "ber.h"

#include <cstring>

namespace qor::toolkit {

size_t BerWriteHeader(uint8_t* out, uint8_t tag, size_t length) {
    out[0] = tag;
    if (length < 0x80) {
        out[1] = static_cast<uint8_t>(length);
        return 2;
    }
    if (length < 0x100) {
        out[1] = 0x81;
        out[2] = static_cast<uint8_t>(length);
        return 3;
    }
    if (length <= kBerMaxDefiniteLength) {
        out[1] = 0x82;
        out[2] = static_cast<uint8_t>(length >> 8);
        out[3] = static_cast<uint8_t>(length);
        return 4;
    }
    return 0;
}

bool BerAppend(uint8_t* buffer, size_t capacity, size_t& used, bool& overflow, uint8_t tag,
               const uint8_t* content, size_t length) {
    uint8_t header[4];
    size_t h = BerWriteHeader(header, tag, length);
    if (h == 0 || overflow || capacity - used < h + length) {
        overflow = true;
        return false;
    }
    std::memcpy(buffer + used, header, h);
    if (length != 0) std::memmove(buffer + used + h, content, length);
    used += h + length;
    return true;
}

size_t BerUnsignedContent(uint32_t value, uint8_t out[5]) {
    uint8_t bytes[5] = {0, static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    // Drop leading zero bytes while the next byte keeps the sign bit clear.
    size_t start = 0;
    while (start < 4 && bytes[start] == 0 && (bytes[start + 1] & 0x80) == 0)
        ++start;
    size_t n = 5 - start;
    std::memcpy(out, bytes + start, n);
    return n;
}

bool BerRead(const uint8_t*& p, const uint8_t* end, BerElement& element) {
    if (end - p < 2) return false;
    const uint8_t* start = p;
    uint8_t tag = start[0];
    if ((tag & 0x1f) == 0x1f) return false;  // multi-byte tags never occur in these forms
    size_t length = 0;
    size_t header = 2;
    uint8_t first = start[1];
    if (first < 0x80) {
        length = first;
    } else if (first == 0x81) {
        if (end - p < 3) return false;
        length = start[2];
        header = 3;
    } else if (first == 0x82) {
        if (end - p < 4) return false;
        length = static_cast<size_t>(start[2]) << 8 | start[3];
        header = 4;
    } else {
        return false;  // indefinite here, or a length form longer than two bytes
    }
    if (static_cast<size_t>(end - start) - header < length) return false;
    element = {tag, start + header, length, header};
    p = start + header + length;
    return true;
}

bool BerReadExpect(const uint8_t*& p, const uint8_t* end, uint8_t tag, BerElement& element) {
    const uint8_t* q = p;
    if (!BerRead(q, end, element) || element.tag != tag) return false;
    p = q;
    return true;
}

bool BerUnsigned(const BerElement& integer, uint32_t& value) {
    if (integer.tag != kBerInteger || integer.length == 0) return false;
    if ((integer.content[0] & 0x80) != 0) return false;  // negative
    size_t k = 0;
    while (k < integer.length && integer.content[k] == 0)
        ++k;
    if (integer.length - k > 4) return false;
    uint32_t v = 0;
    for (; k < integer.length; ++k)
        v = v << 8 | integer.content[k];
    value = v;
    return true;
}

bool BerIsOid(const BerElement& element, const uint8_t* oid, size_t length) {
    return element.tag == kBerObjectId && element.length == length &&
           std::memcmp(element.content, oid, length) == 0;
}

}  // namespace qor::toolkit
