#include "des.h"

#include <qor/secure_buffer.h>

#include <array>
#include <bit>
#include <cstddef>

namespace qor::toolkit {

using qor::SecureWipe;

namespace {

// The standard tables, bits numbered from 1 at the most significant end as DES numbers them.
// They are only read at compile time to build the lookup tables the cipher runs on.

// S1..S8, each as four rows of sixteen.
// clang-format off
constexpr uint8_t kSBoxes[8][4][16] = {
    {
        {14,  4, 13,  1,  2, 15, 11,  8,  3, 10,  6, 12,  5,  9,  0,  7},
        { 0, 15,  7,  4, 14,  2, 13,  1, 10,  6, 12, 11,  9,  5,  3,  8},
        { 4,  1, 14,  8, 13,  6,  2, 11, 15, 12,  9,  7,  3, 10,  5,  0},
        {15, 12,  8,  2,  4,  9,  1,  7,  5, 11,  3, 14, 10,  0,  6, 13},
    },
    {
        {15,  1,  8, 14,  6, 11,  3,  4,  9,  7,  2, 13, 12,  0,  5, 10},
        { 3, 13,  4,  7, 15,  2,  8, 14, 12,  0,  1, 10,  6,  9, 11,  5},
        { 0, 14,  7, 11, 10,  4, 13,  1,  5,  8, 12,  6,  9,  3,  2, 15},
        {13,  8, 10,  1,  3, 15,  4,  2, 11,  6,  7, 12,  0,  5, 14,  9},
    },
    {
        {10,  0,  9, 14,  6,  3, 15,  5,  1, 13, 12,  7, 11,  4,  2,  8},
        {13,  7,  0,  9,  3,  4,  6, 10,  2,  8,  5, 14, 12, 11, 15,  1},
        {13,  6,  4,  9,  8, 15,  3,  0, 11,  1,  2, 12,  5, 10, 14,  7},
        { 1, 10, 13,  0,  6,  9,  8,  7,  4, 15, 14,  3, 11,  5,  2, 12},
    },
    {
        { 7, 13, 14,  3,  0,  6,  9, 10,  1,  2,  8,  5, 11, 12,  4, 15},
        {13,  8, 11,  5,  6, 15,  0,  3,  4,  7,  2, 12,  1, 10, 14,  9},
        {10,  6,  9,  0, 12, 11,  7, 13, 15,  1,  3, 14,  5,  2,  8,  4},
        { 3, 15,  0,  6, 10,  1, 13,  8,  9,  4,  5, 11, 12,  7,  2, 14},
    },
    {
        { 2, 12,  4,  1,  7, 10, 11,  6,  8,  5,  3, 15, 13,  0, 14,  9},
        {14, 11,  2, 12,  4,  7, 13,  1,  5,  0, 15, 10,  3,  9,  8,  6},
        { 4,  2,  1, 11, 10, 13,  7,  8, 15,  9, 12,  5,  6,  3,  0, 14},
        {11,  8, 12,  7,  1, 14,  2, 13,  6, 15,  0,  9, 10,  4,  5,  3},
    },
    {
        {12,  1, 10, 15,  9,  2,  6,  8,  0, 13,  3,  4, 14,  7,  5, 11},
        {10, 15,  4,  2,  7, 12,  9,  5,  6,  1, 13, 14,  0, 11,  3,  8},
        { 9, 14, 15,  5,  2,  8, 12,  3,  7,  0,  4, 10,  1, 13, 11,  6},
        { 4,  3,  2, 12,  9,  5, 15, 10, 11, 14,  1,  7,  6,  0,  8, 13},
    },
    {
        { 4, 11,  2, 14, 15,  0,  8, 13,  3, 12,  9,  7,  5, 10,  6,  1},
        {13,  0, 11,  7,  4,  9,  1, 10, 14,  3,  5, 12,  2, 15,  8,  6},
        { 1,  4, 11, 13, 12,  3,  7, 14, 10, 15,  6,  8,  0,  5,  9,  2},
        { 6, 11, 13,  8,  1,  4, 10,  7,  9,  5,  0, 15, 14,  2,  3, 12},
    },
    {
        {13,  2,  8,  4,  6, 15, 11,  1, 10,  9,  3, 14,  5,  0, 12,  7},
        { 1, 15, 13,  8, 10,  3,  7,  4, 12,  5,  6, 11,  0, 14,  9,  2},
        { 7, 11,  4,  1,  9, 12, 14,  2,  0,  6, 10, 13, 15,  3,  5,  8},
        { 2,  1, 14,  7,  4, 10,  8, 13, 15, 12,  9,  0,  3,  5,  6, 11},
    },
};
// clang-format on

// P: bit i of the permuted word is bit kP[i] of the S-box output.
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// PC-1: selects the 56 key bits (never a parity bit) into C (first 28) and D (last 28).
constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                              10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                              63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                              14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

// PC-2: selects the 48 round-key bits from C||D; the first 24 come from C only and the last
// 24 from D only, which lets C and D be looked up independently.
constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                              26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                              51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr uint32_t Bit32(unsigned position) {
    return uint32_t{1} << (32 - position);
}

// The cipher keeps each half rotated left by one bit. Then the six input bits of every S-box
// sit contiguously in either the half rotated right by four (S1, S3, S5, S7) or the half
// itself (S2, S4, S6, S8), in bits 24..29, 16..21, 8..13 and 0..5, so the expansion E costs
// one rotate. Each table entry is the S-box output already put through P and rotated the
// same way, so a round is eight lookups and XORs.
using SpTables = std::array<std::array<uint32_t, 64>, 8>;

constexpr SpTables MakeSpTables() {
    SpTables sp{};
    for (unsigned box = 0; box < 8; ++box) {
        for (unsigned x = 0; x < 64; ++x) {
            const unsigned row = ((x >> 4) & 2) | (x & 1);
            const unsigned col = (x >> 1) & 15;
            const unsigned s = kSBoxes[box][row][col];
            uint32_t unpermuted = static_cast<uint32_t>(s) << (28 - 4 * box);
            uint32_t permuted = 0;
            for (unsigned i = 1; i <= 32; ++i) {
                if (unpermuted & Bit32(kP[i - 1])) permuted |= Bit32(i);
            }
            sp[box][x] = std::rotl(permuted, 1);
        }
    }
    return sp;
}

constexpr bool SBoxRowsArePermutations() {
    for (const auto& box : kSBoxes) {
        for (const auto& row : box) {
            unsigned seen = 0;
            for (uint8_t v : row)
                seen |= 1u << v;
            if (seen != 0xffff) return false;
        }
    }
    return true;
}
static_assert(SBoxRowsArePermutations(), "an S-box row was mistyped");

constexpr SpTables kSp = MakeSpTables();

// PC-1 by table: for each key byte, the C and D bits its seven non-parity bits land on.
// Entry = C << 28 | D, with C and D as 28-bit numbers whose top bit is bit 1.
using Pc1Tables = std::array<std::array<uint64_t, 128>, 8>;

constexpr Pc1Tables MakePc1Tables() {
    Pc1Tables t{};
    for (unsigned byte = 0; byte < 8; ++byte) {
        for (unsigned v = 0; v < 128; ++v) {
            uint64_t cd = 0;
            for (unsigned j = 0; j < 56; ++j) {
                const unsigned keyBit = kPc1[j] - 1u;  // 0-based, MSB of byte 0 first
                if (keyBit / 8 != byte) continue;
                const unsigned shift = 7 - keyBit % 8;  // 1..7: bit 0 (parity) never chosen
                if ((v << 1) & (1u << shift)) cd |= uint64_t{1} << (55 - j);
            }
            t[byte][v] = cd;
        }
    }
    return t;
}

constexpr Pc1Tables kPc1Tables = MakePc1Tables();

// PC-2 by table, straight into the two words a round consumes: for each 7-bit slice of C
// (slices 0..3) and of D (slices 4..7), the bits it contributes to word A (upper 32 bits of
// the entry: chunks for S1, S3, S5, S7) and word B (lower: S2, S4, S6, S8), each chunk in
// the byte position its S-box is read from.
using Pc2Tables = std::array<std::array<uint64_t, 128>, 8>;

constexpr uint64_t SubkeyBitPosition(unsigned k) {
    // k = 0..47: bit k of the 48-bit round key belongs to S-box k / 6, bit k % 6 of its
    // six (0 = most significant).
    const unsigned box = k / 6;
    const unsigned within = 5 - k % 6;
    const unsigned byteShift = 24 - 8 * (box / 2);
    const unsigned wordShift = (box % 2 == 0) ? 32 : 0;
    return uint64_t{1} << (wordShift + byteShift + within);
}

constexpr Pc2Tables MakePc2Tables() {
    Pc2Tables t{};
    for (unsigned slice = 0; slice < 8; ++slice) {
        for (unsigned v = 0; v < 128; ++v) {
            uint64_t ab = 0;
            for (unsigned k = 0; k < 48; ++k) {
                const unsigned cdBit = kPc2[k] - 1u;  // 0..55 over C||D
                if (cdBit / 7 != slice) continue;
                if (v & (64u >> (cdBit % 7))) ab |= SubkeyBitPosition(k);
            }
            t[slice][v] = ab;
        }
    }
    return t;
}

constexpr Pc2Tables kPc2Tables = MakePc2Tables();

constexpr uint32_t kMask28 = (uint32_t{1} << 28) - 1;

inline uint32_t Rotl28(uint32_t x, unsigned n) {
    return ((x << n) | (x >> (28 - n))) & kMask28;
}

inline uint32_t LoadBe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

inline void StoreBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Exchanges the bits of a selected by mask << shift with the bits of b selected by mask.
inline void SwapMove(uint32_t& a, uint32_t& b, unsigned shift, uint32_t mask) {
    const uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// f(R, K) on a rotated half, given the round's two subkey words.
inline uint32_t F(uint32_t r, const uint32_t* k) {
    uint32_t w = std::rotr(r, 4) ^ k[0];
    uint32_t out = kSp[6][w & 0x3f] ^ kSp[4][(w >> 8) & 0x3f] ^ kSp[2][(w >> 16) & 0x3f] ^
                   kSp[0][(w >> 24) & 0x3f];
    w = r ^ k[1];
    out ^= kSp[7][w & 0x3f] ^ kSp[5][(w >> 8) & 0x3f] ^ kSp[3][(w >> 16) & 0x3f] ^
           kSp[1][(w >> 24) & 0x3f];
    return out;
}

template <bool kDecrypt>
inline void Crypt(const DesKeySchedule& schedule, const uint8_t in[8], uint8_t out[8]) {
    uint32_t l = LoadBe32(in);
    uint32_t r = LoadBe32(in + 4);

    // Initial permutation.
    SwapMove(l, r, 4, 0x0f0f0f0f);
    SwapMove(l, r, 16, 0x0000ffff);
    SwapMove(r, l, 2, 0x33333333);
    SwapMove(r, l, 8, 0x00ff00ff);
    r = std::rotl(r, 1);
    const uint32_t t = (l ^ r) & 0xaaaaaaaa;
    l ^= t;
    r ^= t;
    l = std::rotl(l, 1);

    const uint32_t* sk = schedule.subkeys;
    for (int round = 0; round < 16; round += 2) {
        if constexpr (kDecrypt) {
            l ^= F(r, sk + 2 * (15 - round));
            r ^= F(l, sk + 2 * (14 - round));
        } else {
            l ^= F(r, sk + 2 * round);
            r ^= F(l, sk + 2 * (round + 1));
        }
    }

    // Final permutation (inverse of the above), with the halves exchanged.
    r = std::rotr(r, 1);
    const uint32_t u = (l ^ r) & 0xaaaaaaaa;
    l ^= u;
    r ^= u;
    l = std::rotr(l, 1);
    SwapMove(l, r, 8, 0x00ff00ff);
    SwapMove(l, r, 2, 0x33333333);
    SwapMove(r, l, 16, 0x0000ffff);
    SwapMove(r, l, 4, 0x0f0f0f0f);

    StoreBe32(out, r);
    StoreBe32(out + 4, l);
}

}  // namespace

void DesSetKey(DesKeySchedule& schedule, const uint8_t key[8]) {
    // cd[0] = C, cd[1] = D; kept in memory so that they can be wiped afterwards.
    uint32_t cd[2];
    uint64_t both = 0;
    for (unsigned i = 0; i < 8; ++i)
        both |= kPc1Tables[i][key[i] >> 1];
    cd[0] = static_cast<uint32_t>(both >> 28) & kMask28;
    cd[1] = static_cast<uint32_t>(both) & kMask28;

    for (unsigned round = 0; round < 16; ++round) {
        cd[0] = Rotl28(cd[0], kShifts[round]);
        cd[1] = Rotl28(cd[1], kShifts[round]);
        const uint64_t ab =
            kPc2Tables[0][(cd[0] >> 21) & 0x7f] | kPc2Tables[1][(cd[0] >> 14) & 0x7f] |
            kPc2Tables[2][(cd[0] >> 7) & 0x7f] | kPc2Tables[3][cd[0] & 0x7f] |
            kPc2Tables[4][(cd[1] >> 21) & 0x7f] | kPc2Tables[5][(cd[1] >> 14) & 0x7f] |
            kPc2Tables[6][(cd[1] >> 7) & 0x7f] | kPc2Tables[7][cd[1] & 0x7f];
        schedule.subkeys[2 * round] = static_cast<uint32_t>(ab >> 32);
        schedule.subkeys[2 * round + 1] = static_cast<uint32_t>(ab);
    }
    SecureWipe(cd, sizeof cd);
    SecureWipe(&both, sizeof both);
}

void DesEncryptBlock(const DesKeySchedule& schedule, const uint8_t in[8], uint8_t out[8]) {
    Crypt<false>(schedule, in, out);
}

void DesDecryptBlock(const DesKeySchedule& schedule, const uint8_t in[8], uint8_t out[8]) {
    Crypt<true>(schedule, in, out);
}

}  // namespace qor::toolkit
