// BER encoding and decoding of small in-memory elements: algorithm identifiers and their
// parameters. Definite lengths only, in the shortest form when writing (one byte below 128,
// 81 nn below 256, 82 nn nn up to 32767); the 83 form and longer are refused when reading.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

enum BerTag : uint8_t {
    kBerInteger = 0x02,
    kBerBitString = 0x03,
    kBerOctetString = 0x04,
    kBerNull = 0x05,
    kBerObjectId = 0x06,
    kBerPrintableString = 0x13,
    kBerT61String = 0x14,
    kBerSequence = 0x30,
    kBerSet = 0x31,
};

inline constexpr size_t kBerMaxDefiniteLength = 32767;

// Content bytes of the object identifiers the toolkit writes.
inline constexpr uint8_t kOidRc4WithMac[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x03, 0x05};
inline constexpr uint8_t kOidPbeMd5Xor[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x05, 0x09};
inline constexpr uint8_t kOidMd5[] = {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x05};

// A fixed-capacity output buffer; running out of room sets `overflow` and writes nothing more.
template <size_t N>
struct BerBuffer {
    uint8_t data[N];
    size_t length = 0;
    bool overflow = false;
};

// Writes tag and length into `out` (room for 4 bytes); returns the header length, or 0 when
// the length exceeds 32767.
size_t BerWriteHeader(uint8_t* out, uint8_t tag, size_t length);

// Appends one primitive or constructed element with the given content.
bool BerAppend(uint8_t* buffer, size_t capacity, size_t& used, bool& overflow, uint8_t tag,
               const uint8_t* content, size_t length);
template <size_t N>
bool BerAppend(BerBuffer<N>& b, uint8_t tag, const uint8_t* content, size_t length) {
    return BerAppend(b.data, N, b.length, b.overflow, tag, content, length);
}
// Appends a non-negative INTEGER in its shortest two's-complement form.
template <size_t N>
bool BerAppendUnsigned(BerBuffer<N>& b, uint32_t value);
// Encodes `value` as INTEGER content into `out` (room for 5 bytes); returns its length.
size_t BerUnsignedContent(uint32_t value, uint8_t out[5]);

template <size_t N>
bool BerAppendUnsigned(BerBuffer<N>& b, uint32_t value) {
    uint8_t content[5];
    size_t n = BerUnsignedContent(value, content);
    return BerAppend(b, kBerInteger, content, n);
}

struct BerElement {
    uint8_t tag;
    const uint8_t* content;
    size_t length;
    size_t headerLength;
};

// Reads the element at `p` (definite length, single-byte tag), advancing `p` past it.
// False on anything malformed or running past `end`.
bool BerRead(const uint8_t*& p, const uint8_t* end, BerElement& element);
// Reads an element that must carry `tag`.
bool BerReadExpect(const uint8_t*& p, const uint8_t* end, uint8_t tag, BerElement& element);
// A non-negative INTEGER that fits 32 bits (leading zero bytes allowed). False otherwise.
bool BerUnsigned(const BerElement& integer, uint32_t& value);
bool BerIsOid(const BerElement& element, const uint8_t* oid, size_t length);

}  // namespace qor::toolkit
