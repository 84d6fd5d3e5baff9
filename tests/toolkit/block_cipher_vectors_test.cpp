// Known-answer tests for the DES and RC2 block primitives.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "des.h"
#include "rc2.h"
#include "vector_file.h"

namespace qor::toolkit {
namespace {

using test::Bytes;
using test::LoadVectors;
using test::ToHex;
using test::VectorRecord;

std::string Label(const VectorRecord& v) {
    return "record at line " + std::to_string(v.line()) +
           (v.Has("name") ? " (" + v.Raw("name") + ")" : "");
}

Bytes DesEncrypt(const Bytes& key, const Bytes& in) {
    DesKeySchedule ks;
    DesSetKey(ks, key.data());
    Bytes out(8);
    DesEncryptBlock(ks, in.data(), out.data());
    return out;
}

// ---------------------------------------------------------------- DES

TEST(DesTest, KnownAnswersEncryptAndDecrypt) {
    const auto vectors = LoadVectors("des.vec");
    int blocks = 0;
    int iterated = 0;
    for (const auto& v : vectors) {
        SCOPED_TRACE(Label(v));
        if (v.Has("iterate_start")) {
            // Each step keys DES with the block itself, alternating direction, so every
            // step depends on the key schedule and both directions being right.
            Bytes x = v.GetBytes("iterate_start");
            const uint64_t rounds = v.GetNumber("iterate_rounds");
            for (uint64_t i = 0; i < rounds; ++i) {
                DesKeySchedule ks;
                DesSetKey(ks, x.data());
                Bytes next(8);
                if (i % 2 == 0) {
                    DesEncryptBlock(ks, x.data(), next.data());
                } else {
                    DesDecryptBlock(ks, x.data(), next.data());
                }
                x = next;
            }
            EXPECT_EQ(ToHex(x), ToHex(v.GetBytes("iterate_result")));
            ++iterated;
            continue;
        }
        const Bytes key = v.GetBytes("key");
        const Bytes plain = v.GetBytes("plaintext");
        const Bytes cipher = v.GetBytes("ciphertext");
        ASSERT_EQ(key.size(), 8u);
        ASSERT_EQ(plain.size(), 8u);
        ASSERT_EQ(cipher.size(), 8u);

        DesKeySchedule ks;
        DesSetKey(ks, key.data());
        uint8_t out[8];
        DesEncryptBlock(ks, plain.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(cipher));
        DesDecryptBlock(ks, cipher.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(plain));

        // The mode layer transforms blocks in place.
        uint8_t inPlace[8];
        std::memcpy(inPlace, plain.data(), 8);
        DesEncryptBlock(ks, inPlace, inPlace);
        EXPECT_EQ(ToHex(inPlace, 8), ToHex(cipher));
        DesDecryptBlock(ks, inPlace, inPlace);
        EXPECT_EQ(ToHex(inPlace, 8), ToHex(plain));
        ++blocks;
    }
    // Guards against a missing or truncated data file passing vacuously.
    EXPECT_GE(blocks, 150);
    EXPECT_EQ(iterated, 1);
}

TEST(DesTest, ParityBitsAreIgnored) {
    const auto vectors = LoadVectors("des.vec");
    int checked = 0;
    for (const auto& v : vectors) {
        if (!v.Has("key")) continue;
        SCOPED_TRACE(Label(v));
        const Bytes key = v.GetBytes("key");
        Bytes flipped = key;
        for (auto& b : flipped)
            b ^= 0x01;
        Bytes cleared = key;
        for (auto& b : cleared)
            b &= 0xfe;

        DesKeySchedule a, b, c;
        DesSetKey(a, key.data());
        DesSetKey(b, flipped.data());
        DesSetKey(c, cleared.data());
        EXPECT_EQ(0, std::memcmp(a.subkeys, b.subkeys, sizeof a.subkeys));
        EXPECT_EQ(0, std::memcmp(a.subkeys, c.subkeys, sizeof a.subkeys));
        EXPECT_EQ(ToHex(DesEncrypt(flipped, v.GetBytes("plaintext"))),
                  ToHex(v.GetBytes("ciphertext")));
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(DesTest, EveryNonParityKeyBitMatters) {
    // Complements the parity test: a schedule that dropped a real key bit would also
    // "ignore" it.
    const uint8_t base[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
    DesKeySchedule reference;
    DesSetKey(reference, base);
    for (int bit = 0; bit < 64; ++bit) {
        if (bit % 8 == 7) continue;
        uint8_t key[8];
        std::memcpy(key, base, 8);
        key[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
        DesKeySchedule ks;
        DesSetKey(ks, key);
        EXPECT_NE(0, std::memcmp(reference.subkeys, ks.subkeys, sizeof ks.subkeys))
            << "key bit " << bit;
    }
}

// ---------------------------------------------------------------- RC2

TEST(Rc2Test, KnownAnswersEncryptAndDecrypt) {
    const auto vectors = LoadVectors("rc2.vec");
    for (const auto& v : vectors) {
        SCOPED_TRACE(Label(v));
        const Bytes key = v.GetBytes("key");
        const auto bits = static_cast<unsigned>(v.GetNumber("effective_bits"));
        const Bytes plain = v.GetBytes("plaintext");
        const Bytes cipher = v.GetBytes("ciphertext");
        ASSERT_EQ(plain.size(), 8u);
        ASSERT_EQ(cipher.size(), 8u);

        Rc2KeySchedule ks;
        ASSERT_TRUE(Rc2ExpandKey(ks, key.data(), key.size(), bits));
        uint8_t out[8];
        Rc2EncryptBlock(ks, plain.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(cipher));
        Rc2DecryptBlock(ks, cipher.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(plain));

        uint8_t inPlace[8];
        std::memcpy(inPlace, plain.data(), 8);
        Rc2EncryptBlock(ks, inPlace, inPlace);
        EXPECT_EQ(ToHex(inPlace, 8), ToHex(cipher));
        Rc2DecryptBlock(ks, inPlace, inPlace);
        EXPECT_EQ(ToHex(inPlace, 8), ToHex(plain));
    }
    EXPECT_EQ(vectors.size(), 8u);
}

TEST(Rc2Test, KeyExpansionRejectsOutOfRangeInputAndZeroesSchedule) {
    const std::vector<uint8_t> key(kRc2MaxKeyBytes + 1, 0x5a);
    struct Case {
        const uint8_t* key;
        size_t length;
        unsigned bits;
    };
    const Case bad[] = {
        {key.data(), 0, 64},                    // empty key
        {key.data(), kRc2MaxKeyBytes + 1, 64},  // 129 bytes
        {key.data(), 16, 0},                    // no effective bits
        {key.data(), 16, kRc2MaxEffectiveBits + 1},
        {nullptr, 16, 64},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE("length " + std::to_string(c.length) + ", bits " + std::to_string(c.bits));
        Rc2KeySchedule ks;
        std::memset(&ks, 0xa5, sizeof ks);  // stale material a failed call must not leave
        EXPECT_FALSE(Rc2ExpandKey(ks, c.key, c.length, c.bits));
        for (uint16_t w : ks.k)
            ASSERT_EQ(w, 0u);
    }

    // The extremes of the ranges are accepted.
    const Case good[] = {
        {key.data(), 1, 1},
        {key.data(), 1, kRc2MaxEffectiveBits},
        {key.data(), kRc2MaxKeyBytes, 1},
        {key.data(), kRc2MaxKeyBytes, kRc2MaxEffectiveBits},
    };
    for (const Case& c : good) {
        SCOPED_TRACE("length " + std::to_string(c.length) + ", bits " + std::to_string(c.bits));
        Rc2KeySchedule ks;
        EXPECT_TRUE(Rc2ExpandKey(ks, c.key, c.length, c.bits));
    }
}

TEST(Rc2Test, EffectiveBitsKeepOnlyTheLastBitsOfAFullLengthKey) {
    // A 128-byte key is used as is, and the reduction to T1 bits then rebuilds the whole
    // schedule from the last ceil(T1/8) bytes, the first of them masked to T1 mod 8 bits.
    // With T1 = 37 that is the low 5 bits of byte 123 and all of bytes 124..127: flipping
    // any other bit must leave the schedule unchanged, flipping one of those must not.
    constexpr unsigned kBits = 37;
    uint8_t key[kRc2MaxKeyBytes];
    for (size_t i = 0; i < sizeof key; ++i)
        key[i] = static_cast<uint8_t>(i * 29 + 7);
    Rc2KeySchedule reference;
    ASSERT_TRUE(Rc2ExpandKey(reference, key, sizeof key, kBits));
    for (unsigned bit = 0; bit < 8 * kRc2MaxKeyBytes; ++bit) {
        const unsigned byte = bit / 8;
        const unsigned mask = 1u << (bit % 8);
        const bool significant = byte > 123 || (byte == 123 && mask < 0x20);
        key[byte] ^= static_cast<uint8_t>(mask);
        Rc2KeySchedule ks;
        ASSERT_TRUE(Rc2ExpandKey(ks, key, sizeof key, kBits));
        key[byte] ^= static_cast<uint8_t>(mask);
        EXPECT_EQ(significant, std::memcmp(reference.k, ks.k, sizeof ks.k) != 0)
            << "byte " << byte << " mask " << mask;
    }
}

}  // namespace
}  // namespace qor::toolkit
