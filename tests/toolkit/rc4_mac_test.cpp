// RC4 with MAC: the hold-back of the MAC bytes, tamper detection and the MAC's permutation.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "algorithm_tier.h"
#include "kinds.h"
#include "rc4_mac.h"
#include "status.h"
#include "vector_file.h"

namespace {

using namespace qor::toolkit;
using qor::test::Bytes;
using qor::test::ToHex;

const Bytes kKey = {0x11, 0x22, 0x33, 0x44, 0x55};
const Bytes kSalt = {0xa1, 0xa2, 0xa3, 0xa4, 0xa5};

Bytes Seal(const Bytes& plain, uint32_t n, const Bytes& salt = kSalt) {
    Rc4MacContext c;
    EXPECT_EQ(Rc4MacInit(c, kKey.data(), kKey.size(), salt.data(), salt.size(), n), kMethodOk);
    Bytes out(plain.size() + n);
    Rc4MacEncryptUpdate(c, out.data(), plain.data(), plain.size());
    Rc4MacEncryptFinal(c, out.data() + plain.size());
    return out;
}

// Feeds `sealed` in pieces of `piece` bytes; returns the final's method code.
int Open(const Bytes& sealed, uint32_t n, size_t piece, Bytes& plain, const Bytes& salt = kSalt) {
    Rc4MacContext c;
    EXPECT_EQ(Rc4MacInit(c, kKey.data(), kKey.size(), salt.data(), salt.size(), n), kMethodOk);
    plain.assign(sealed.size(), 0);
    size_t produced = 0;
    for (size_t at = 0; at < sealed.size(); at += piece) {
        size_t len = std::min(piece, sealed.size() - at);
        uint32_t got = 0;
        int s = Rc4MacDecryptUpdate(c, plain.data() + produced, &got, plain.size() - produced,
                                    sealed.data() + at, len);
        if (s != kMethodOk) return s;
        produced += got;
    }
    plain.resize(produced);
    return Rc4MacDecryptFinal(c);
}

TEST(Rc4Mac, MacPermutationIsTheEffectiveKeyBitsTable) {
    std::set<int> values(std::begin(kMacPermutation), std::end(kMacPermutation));
    EXPECT_EQ(values.size(), 256u) << "a permutation";
    EXPECT_EQ(ToHex(kMacPermutation, 16), "bd56eaf2a2f1ac2ab093d19c1b33fdd0");
    EXPECT_EQ(kMacPermutation[40], 0xa0);
    EXPECT_EQ(kMacPermutation[64], 0x78);
    EXPECT_EQ(kMacPermutation[128], 0x3a);
}

TEST(Rc4Mac, EmptyPlaintextGivesJustTheMacAndEveryByteOfItCounts) {
    Bytes sealed = Seal({}, 4);
    ASSERT_EQ(sealed.size(), 4u);
    Bytes plain;
    EXPECT_EQ(Open(sealed, 4, 4, plain), kMethodOk);
    EXPECT_TRUE(plain.empty());
    for (size_t k = 0; k < 4; ++k) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = sealed;
            bad[k] ^= static_cast<uint8_t>(1 << bit);
            EXPECT_EQ(Open(bad, 4, 4, plain), kMethodBadData) << "byte " << k << " bit " << bit;
        }
    }
}

TEST(Rc4Mac, StreamShorterThanTheMacIsAnInputLengthError) {
    Bytes sealed = Seal({}, 4);
    sealed.pop_back();
    Bytes plain;
    EXPECT_EQ(Open(sealed, 4, 1, plain), kMethodBadLength);
    EXPECT_EQ(MapMethodStatus(kMethodBadLength), kAlgBadLength);
}

TEST(Rc4Mac, DecryptionHoldsBackTheMacWhateverThePieces) {
    Bytes plain(1000);
    std::mt19937 rng(7);
    for (auto& b : plain)
        b = static_cast<uint8_t>(rng());
    for (uint32_t n : {2u, 4u, 16u}) {
        Bytes sealed = Seal(plain, n);
        for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{15},
                             size_t{16}, size_t{17}, size_t{999}, size_t{1000 + n}}) {
            Bytes back;
            EXPECT_EQ(Open(sealed, n, piece, back), kMethodOk) << n << "/" << piece;
            EXPECT_EQ(back, plain) << n << "/" << piece;
        }
        // A flipped bit in the data, in the MAC, or a dropped final byte all fail.
        for (size_t at : {size_t{0}, size_t{500}, plain.size(), sealed.size() - 1}) {
            Bytes bad = sealed;
            bad[at] ^= 0x80;
            Bytes back;
            EXPECT_EQ(Open(bad, n, 7, back), kMethodBadData) << "flip at " << at;
        }
    }
}

// The product's 4-byte MAC takes a word-at-a-time path for runs of 8 bytes or more; pieces
// shorter than 8 go byte by byte. Both must give the same stream, in place or not, from any
// starting position of the MAC.
TEST(Rc4Mac, WordPathAndBytePathGiveTheSameBytes) {
    Bytes plain(3 * 8144 + 13);
    std::mt19937 rng(11);
    for (auto& b : plain)
        b = static_cast<uint8_t>(rng());
    const Bytes bytewise = [&] {
        Rc4MacContext c;
        EXPECT_EQ(Rc4MacInit(c, kKey.data(), 5, kSalt.data(), 5, 4), kMethodOk);
        Bytes out(plain.size() + 4);
        for (size_t at = 0; at < plain.size(); at += 7) {
            const size_t length = std::min<size_t>(7, plain.size() - at);
            Rc4MacEncryptUpdate(c, out.data() + at, plain.data() + at, length);
        }
        Rc4MacEncryptFinal(c, out.data() + plain.size());
        return out;
    }();
    EXPECT_EQ(Seal(plain, 4), bytewise);

    // In place, after an odd first piece so that the word path starts mid-MAC.
    for (size_t first : {size_t{0}, size_t{1}, size_t{3}, size_t{9}}) {
        Rc4MacContext c;
        ASSERT_EQ(Rc4MacInit(c, kKey.data(), 5, kSalt.data(), 5, 4), kMethodOk);
        Bytes buffer = plain;
        buffer.resize(plain.size() + 4);
        Rc4MacEncryptUpdate(c, buffer.data(), buffer.data(), first);
        Rc4MacEncryptUpdate(c, buffer.data() + first, buffer.data() + first, plain.size() - first);
        Rc4MacEncryptFinal(c, buffer.data() + plain.size());
        EXPECT_EQ(buffer, bytewise) << "first piece " << first;
    }

    // Decryption in large pieces (word path) and in pieces of 5 (byte path).
    for (size_t piece : {size_t{5}, size_t{8144}, bytewise.size()}) {
        Bytes back;
        EXPECT_EQ(Open(bytewise, 4, piece, back), kMethodOk) << piece;
        EXPECT_EQ(back, plain) << piece;
    }
}

// Decryption's word path takes its MAC steps two words behind its key stream and catches up
// after its last word. Over every length around those edges, in one piece and in pieces that
// leave an odd rest, the MAC must come out right, and a flipped bit in any one byte, the last
// data bytes and the MAC included, must be caught.
TEST(Rc4Mac, DecryptionMacCountsEveryByteAtTheWordPathsEdges) {
    std::mt19937 rng(13);
    for (size_t length = 0; length <= 41; ++length) {
        Bytes plain(length);
        for (auto& b : plain)
            b = static_cast<uint8_t>(rng());
        const Bytes sealed = Seal(plain, 4);
        for (size_t piece : {sealed.size(), size_t{19}, size_t{9}}) {
            if (piece == 0) continue;
            Bytes back;
            EXPECT_EQ(Open(sealed, 4, piece, back), kMethodOk) << length << "/" << piece;
            EXPECT_EQ(back, plain) << length << "/" << piece;
        }
        for (size_t at = 0; at < sealed.size(); ++at) {
            Bytes bad = sealed;
            bad[at] ^= 0x01;
            Bytes back;
            EXPECT_EQ(Open(bad, 4, bad.size(), back), kMethodBadData)
                << length << " bytes, flip at " << at;
        }
    }
}

TEST(Rc4Mac, EmptySaltKeysWithTheKeyAlone) {
    // With an empty salt the RC4 key is the key bytes alone, so sealing with key||salt as the key
    // and no salt must give the same bytes as key plus salt.
    Bytes plain = {'d', 'a', 't', 'a'};
    Bytes a = Seal(plain, 4, kSalt);
    Rc4MacContext c;
    Bytes joined = kKey;
    joined.insert(joined.end(), kSalt.begin(), kSalt.end());
    ASSERT_EQ(Rc4MacInit(c, joined.data(), joined.size(), nullptr, 0, 4), kMethodOk);
    Bytes b(plain.size() + 4);
    Rc4MacEncryptUpdate(c, b.data(), plain.data(), plain.size());
    Rc4MacEncryptFinal(c, b.data() + plain.size());
    EXPECT_EQ(a, b);
}

TEST(Rc4Mac, RefusesMacAndKeyLengthsOutOfRange) {
    Rc4MacContext c;
    const Bytes big(256, 1);
    EXPECT_EQ(Rc4MacInit(c, kKey.data(), 5, nullptr, 0, 1), kMethodParamRange);
    EXPECT_EQ(Rc4MacInit(c, kKey.data(), 5, nullptr, 0, 17), kMethodParamRange);
    EXPECT_EQ(Rc4MacInit(c, nullptr, 0, nullptr, 0, 4), kMethodKeyLength);
    EXPECT_EQ(Rc4MacInit(c, big.data(), 256, nullptr, 0, 4), kMethodOk);
    EXPECT_EQ(Rc4MacInit(c, big.data(), 256, kSalt.data(), 1, 4), kMethodKeyLength);
    EXPECT_EQ(MapMethodStatus(kMethodKeyLength), kAlgKeyLength);
    EXPECT_EQ(MapMethodStatus(kMethodParamRange), kAlgParamOutOfRange);
}

TEST(Rc4Mac, DecryptUpdateChecksTheRoomItIsGiven) {
    Bytes sealed = Seal(Bytes(20, 3), 4);
    Rc4MacContext c;
    ASSERT_EQ(Rc4MacInit(c, kKey.data(), 5, kSalt.data(), 5, 4), kMethodOk);
    Bytes out(19);
    uint32_t got = 0;
    EXPECT_EQ(Rc4MacDecryptUpdate(c, out.data(), &got, out.size(), sealed.data(), sealed.size()),
              kMethodOutputTooSmall);
}

}  // namespace
