#include "rc2.h"

#include <qor/secure_buffer.h>

namespace qor::toolkit {

using qor::SecureWipe;

namespace {

// A permutation of 0..255 derived from the digits of pi.
constexpr uint8_t kPiTable[256] = {
    0xd9, 0x78, 0xf9, 0xc4, 0x19, 0xdd, 0xb5, 0xed, 0x28, 0xe9, 0xfd, 0x79, 0x4a, 0xa0, 0xd8, 0x9d,
    0xc6, 0x7e, 0x37, 0x83, 0x2b, 0x76, 0x53, 0x8e, 0x62, 0x4c, 0x64, 0x88, 0x44, 0x8b, 0xfb, 0xa2,
    0x17, 0x9a, 0x59, 0xf5, 0x87, 0xb3, 0x4f, 0x13, 0x61, 0x45, 0x6d, 0x8d, 0x09, 0x81, 0x7d, 0x32,
    0xbd, 0x8f, 0x40, 0xeb, 0x86, 0xb7, 0x7b, 0x0b, 0xf0, 0x95, 0x21, 0x22, 0x5c, 0x6b, 0x4e, 0x82,
    0x54, 0xd6, 0x65, 0x93, 0xce, 0x60, 0xb2, 0x1c, 0x73, 0x56, 0xc0, 0x14, 0xa7, 0x8c, 0xf1, 0xdc,
    0x12, 0x75, 0xca, 0x1f, 0x3b, 0xbe, 0xe4, 0xd1, 0x42, 0x3d, 0xd4, 0x30, 0xa3, 0x3c, 0xb6, 0x26,
    0x6f, 0xbf, 0x0e, 0xda, 0x46, 0x69, 0x07, 0x57, 0x27, 0xf2, 0x1d, 0x9b, 0xbc, 0x94, 0x43, 0x03,
    0xf8, 0x11, 0xc7, 0xf6, 0x90, 0xef, 0x3e, 0xe7, 0x06, 0xc3, 0xd5, 0x2f, 0xc8, 0x66, 0x1e, 0xd7,
    0x08, 0xe8, 0xea, 0xde, 0x80, 0x52, 0xee, 0xf7, 0x84, 0xaa, 0x72, 0xac, 0x35, 0x4d, 0x6a, 0x2a,
    0x96, 0x1a, 0xd2, 0x71, 0x5a, 0x15, 0x49, 0x74, 0x4b, 0x9f, 0xd0, 0x5e, 0x04, 0x18, 0xa4, 0xec,
    0xc2, 0xe0, 0x41, 0x6e, 0x0f, 0x51, 0xcb, 0xcc, 0x24, 0x91, 0xaf, 0x50, 0xa1, 0xf4, 0x70, 0x39,
    0x99, 0x7c, 0x3a, 0x85, 0x23, 0xb8, 0xb4, 0x7a, 0xfc, 0x02, 0x36, 0x5b, 0x25, 0x55, 0x97, 0x31,
    0x2d, 0x5d, 0xfa, 0x98, 0xe3, 0x8a, 0x92, 0xae, 0x05, 0xdf, 0x29, 0x10, 0x67, 0x6c, 0xba, 0xc9,
    0xd3, 0x00, 0xe6, 0xcf, 0xe1, 0x9e, 0xa8, 0x2c, 0x63, 0x16, 0x01, 0x3f, 0x58, 0xe2, 0x89, 0xa9,
    0x0d, 0x38, 0x34, 0x1b, 0xab, 0x33, 0xff, 0xb0, 0xbb, 0x48, 0x0c, 0x5f, 0xb9, 0xb1, 0xcd, 0x2e,
    0xc5, 0xf3, 0xdb, 0x47, 0xe5, 0xa5, 0x9c, 0x77, 0x0a, 0xa6, 0x20, 0x68, 0xfe, 0x7f, 0xc1, 0xad,
};

constexpr bool PiTableIsPermutation() {
    bool seen[256] = {};
    for (uint8_t v : kPiTable) {
        if (seen[v]) return false;
        seen[v] = true;
    }
    return true;
}
static_assert(PiTableIsPermutation(), "PITABLE was mistyped");

inline uint16_t Rotl16(uint16_t x, unsigned s) {
    return static_cast<uint16_t>((x << s) | (x >> (16 - s)));
}

inline uint16_t Rotr16(uint16_t x, unsigned s) {
    return static_cast<uint16_t>((x >> s) | (x << (16 - s)));
}

inline uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// One mixing round: each word takes a key word plus a bitwise select of the other three
// (the previous word chooses between the two before it), then rotates.
inline void MixRound(uint16_t r[4], const uint16_t* k) {
    r[0] = Rotl16(static_cast<uint16_t>(r[0] + k[0] + (r[3] & r[2]) + (~r[3] & r[1])), 1);
    r[1] = Rotl16(static_cast<uint16_t>(r[1] + k[1] + (r[0] & r[3]) + (~r[0] & r[2])), 2);
    r[2] = Rotl16(static_cast<uint16_t>(r[2] + k[2] + (r[1] & r[0]) + (~r[1] & r[3])), 3);
    r[3] = Rotl16(static_cast<uint16_t>(r[3] + k[3] + (r[2] & r[1]) + (~r[2] & r[0])), 5);
}

// Inverse of MixRound, words in the opposite order; k points at the same four key words.
inline void UnmixRound(uint16_t r[4], const uint16_t* k) {
    r[3] = static_cast<uint16_t>(Rotr16(r[3], 5) - k[3] - (r[2] & r[1]) - (~r[2] & r[0]));
    r[2] = static_cast<uint16_t>(Rotr16(r[2], 3) - k[2] - (r[1] & r[0]) - (~r[1] & r[3]));
    r[1] = static_cast<uint16_t>(Rotr16(r[1], 2) - k[1] - (r[0] & r[3]) - (~r[0] & r[2]));
    r[0] = static_cast<uint16_t>(Rotr16(r[0], 1) - k[0] - (r[3] & r[2]) - (~r[3] & r[1]));
}

// Mashing round: each word takes the key word chosen by the low six bits of its predecessor.
inline void MashRound(uint16_t r[4], const uint16_t* k) {
    r[0] = static_cast<uint16_t>(r[0] + k[r[3] & 63]);
    r[1] = static_cast<uint16_t>(r[1] + k[r[0] & 63]);
    r[2] = static_cast<uint16_t>(r[2] + k[r[1] & 63]);
    r[3] = static_cast<uint16_t>(r[3] + k[r[2] & 63]);
}

inline void UnmashRound(uint16_t r[4], const uint16_t* k) {
    r[3] = static_cast<uint16_t>(r[3] - k[r[2] & 63]);
    r[2] = static_cast<uint16_t>(r[2] - k[r[1] & 63]);
    r[1] = static_cast<uint16_t>(r[1] - k[r[0] & 63]);
    r[0] = static_cast<uint16_t>(r[0] - k[r[3] & 63]);
}

}  // namespace

bool Rc2ExpandKey(Rc2KeySchedule& schedule, const uint8_t* key, size_t length,
                  unsigned effectiveBits) {
    if (key == nullptr || length < 1 || length > kRc2MaxKeyBytes || effectiveBits < 1 ||
        effectiveBits > kRc2MaxEffectiveBits) {
        SecureWipe(schedule.k, sizeof schedule.k);
        return false;
    }

    uint8_t l[kRc2MaxKeyBytes];
    for (size_t i = 0; i < length; ++i)
        l[i] = key[i];
    for (size_t i = length; i < kRc2MaxKeyBytes; ++i) {
        l[i] = kPiTable[(l[i - 1] + l[i - length]) & 0xff];
    }

    // Reduce the search space to effectiveBits: the top byte is masked to the bits that
    // remain, then everything below is rebuilt from it, so no other key bits survive.
    const size_t t8 = (effectiveBits + 7) / 8;
    const unsigned tm = 0xffu >> (8 * t8 - effectiveBits);
    l[kRc2MaxKeyBytes - t8] = kPiTable[l[kRc2MaxKeyBytes - t8] & tm];
    for (size_t i = kRc2MaxKeyBytes - t8; i-- > 0;)
        l[i] = kPiTable[l[i + 1] ^ l[i + t8]];

    for (size_t i = 0; i < 64; ++i)
        schedule.k[i] = Load16(l + 2 * i);
    SecureWipe(l, sizeof l);
    return true;
}

void Rc2EncryptBlock(const Rc2KeySchedule& schedule, const uint8_t in[8], uint8_t out[8]) {
    uint16_t r[4] = {Load16(in), Load16(in + 2), Load16(in + 4), Load16(in + 6)};
    const uint16_t* k = schedule.k;
    for (int i = 0; i < 5; ++i)
        MixRound(r, k + 4 * i);
    MashRound(r, k);
    for (int i = 5; i < 11; ++i)
        MixRound(r, k + 4 * i);
    MashRound(r, k);
    for (int i = 11; i < 16; ++i)
        MixRound(r, k + 4 * i);
    for (int i = 0; i < 4; ++i)
        Store16(out + 2 * i, r[i]);
}

void Rc2DecryptBlock(const Rc2KeySchedule& schedule, const uint8_t in[8], uint8_t out[8]) {
    uint16_t r[4] = {Load16(in), Load16(in + 2), Load16(in + 4), Load16(in + 6)};
    const uint16_t* k = schedule.k;
    for (int i = 15; i >= 11; --i)
        UnmixRound(r, k + 4 * i);
    UnmashRound(r, k);
    for (int i = 10; i >= 5; --i)
        UnmixRound(r, k + 4 * i);
    UnmashRound(r, k);
    for (int i = 4; i >= 0; --i)
        UnmixRound(r, k + 4 * i);
    for (int i = 0; i < 4; ++i)
        Store16(out + 2 * i, r[i]);
}

}  // namespace qor::toolkit
