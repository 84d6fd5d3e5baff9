// Big numbers and RSA with a public key: byte layouts of the numbers, exponentiation against a
// slow reference and against values known from number theory, the window table and the cancel
// hook, the key's BER forms, and PKCS #1 v1.5 padding checked byte by byte.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <random>
#include <string>
#include <vector>

#include "bignum.h"
#include "kinds.h"
#include "memory.h"
#include "status.h"
#include "vector_file.h"

namespace {

using namespace qor::toolkit;
using qor::test::Bytes;
using qor::test::FromHex;
using qor::test::ToHex;

__extension__ typedef unsigned __int128 Wide;

// ---- Helpers ----

struct Num {
    BigNum n = {};
    Num() = default;
    explicit Num(const Bytes& b) { EXPECT_EQ(BigNumFromBytes(n, b.data(), b.size()), kMethodOk); }
    explicit Num(const std::string& hex) : Num(FromHex(hex)) {}
    ~Num() { BigNumRelease(n); }
    Num(const Num&) = delete;
    Num& operator=(const Num&) = delete;
};

// The value in its shortest big-endian form ("00" for zero).
std::string Hex(const BigNum& n) {
    size_t k = (BigNumBitLength(n) + 7) / 8;
    Bytes out(k == 0 ? 1 : k);
    EXPECT_EQ(BigNumToBytes(n, out.data(), out.size()), kMethodOk);
    return ToHex(out);
}

Bytes BigEndian(uint64_t v) {
    Bytes b(8);
    for (int i = 7; i >= 0; --i, v >>= 8)
        b[i] = static_cast<uint8_t>(v);
    return b;
}

// 2^bits - c for 1 <= c <= 256, big-endian.
Bytes PowerOfTwoMinus(unsigned bits, unsigned c) {
    Bytes b((bits + 7) / 8, 0xff);
    if (bits % 8 != 0) b[0] = static_cast<uint8_t>((1u << (bits % 8)) - 1);
    b.back() = static_cast<uint8_t>(b.back() - (c - 1));
    return b;
}

std::string Hex64(uint64_t v) {
    return Hex(Num(BigEndian(v)).n);
}

// Square-and-multiply over the exponent's bits, with 128-bit products.
uint64_t SlowModExp(uint64_t base, const Bytes& exponent, uint64_t modulus) {
    uint64_t result = 1 % modulus;
    base %= modulus;
    for (uint8_t byte : exponent) {
        for (int bit = 7; bit >= 0; --bit) {
            result = static_cast<uint64_t>(Wide{result} * result % modulus);
            if ((byte >> bit & 1) != 0)
                result = static_cast<uint64_t>(Wide{result} * base % modulus);
        }
    }
    return result;
}

int ModExp(Num& r, const Num& b, const Num& e, const Num& m, const CancelHook* hook = nullptr,
           uint32_t* entries = nullptr) {
    return BigNumModExp(r.n, b.n, e.n, m.n, hook, entries);
}

struct CountingHook {
    int calls = 0;
    int cancelAt = 0;  // 0: never
    CancelHook hook = {[](void* a) {
                           auto* self = static_cast<CountingHook*>(a);
                           ++self->calls;
                           return self->cancelAt != 0 && self->calls >= self->cancelAt ? 1 : 0;
                       },
                       this};
};

// ---- Big numbers ----

TEST(BigNum, WordLayoutAndNormalisation) {
    Num a("010203040506070809");
    ASSERT_EQ(a.n.length, 3);
    EXPECT_EQ(a.n.words[0], 0x06070809u);
    EXPECT_EQ(a.n.words[1], 0x02030405u);
    EXPECT_EQ(a.n.words[2], 0x01u);
    EXPECT_EQ(BigNumBitLength(a.n), 65u);

    // A shorter value reuses the block and leaves no word of the old one behind.
    const int32_t capacity = a.n.capacity;
    ASSERT_EQ(BigNumFromBytes(a.n, FromHex("0000000000ff").data(), 6), kMethodOk);
    EXPECT_EQ(a.n.length, 1);
    EXPECT_EQ(a.n.capacity, capacity);
    EXPECT_EQ(a.n.words[0], 0xffu);
    for (int32_t w = 1; w < capacity; ++w)
        EXPECT_EQ(a.n.words[w], 0u) << "word " << w;

    for (const char* zero : {"", "00", "00000000000000"}) {
        Num z(zero);
        EXPECT_EQ(z.n.length, 1) << zero;
        EXPECT_EQ(z.n.words[0], 0u) << zero;
        EXPECT_EQ(BigNumBitLength(z.n), 0u) << zero;
    }
    EXPECT_EQ(BigNumBitLength(Num("80000000").n), 32u);
    EXPECT_EQ(BigNumCompare(Num("ffffffff").n, Num("0100000000").n), -1);
    EXPECT_EQ(BigNumCompare(Num("0200000002").n, Num("0200000001").n), 1);
    EXPECT_EQ(BigNumCompare(Num("ffffffff").n, Num("00000000ffffffff").n), 0);
    BigNum empty = {};  // owns nothing and reads as 0
    EXPECT_EQ(BigNumCompare(Num("").n, empty), 0);
}

TEST(BigNum, FixedLengthOutput) {
    Num a("0badc0ffee");
    uint8_t out[8];
    ASSERT_EQ(BigNumToBytes(a.n, out, 8), kMethodOk);
    EXPECT_EQ(ToHex(out, 8), "0000000badc0ffee");
    ASSERT_EQ(BigNumToBytes(a.n, out, 5), kMethodOk);
    EXPECT_EQ(ToHex(out, 5), "0badc0ffee");
    EXPECT_EQ(BigNumToBytes(a.n, out, 4), kMethodOutputTooSmall);
    EXPECT_EQ(MapMethodStatus(kMethodOutputTooSmall), kAlgOutputTooSmall);
    ASSERT_EQ(BigNumToBytes(Num("").n, out, 3), kMethodOk);
    EXPECT_EQ(ToHex(out, 3), "000000");

    std::mt19937 rng(7);
    for (size_t length = 1; length <= 80; ++length) {
        Bytes in(length);
        for (auto& b : in)
            b = static_cast<uint8_t>(rng());
        in[0] |= 1;
        Num x(in);
        Bytes back(length + 3);
        ASSERT_EQ(BigNumToBytes(x.n, back.data(), back.size()), kMethodOk);
        EXPECT_EQ(ToHex(back), "000000" + ToHex(in));
        EXPECT_EQ(BigNumToBytes(x.n, back.data(), length - 1), kMethodOutputTooSmall);
    }
}

TEST(BigNum, GrowReleaseAndShortMemory) {
    Num a("0123456789abcdef");
    ASSERT_EQ(BigNumGrow(a.n, 10), kMethodOk);
    EXPECT_EQ(a.n.capacity, 10);
    EXPECT_EQ(Hex(a.n), "0123456789abcdef");
    BigNumRelease(a.n);
    EXPECT_EQ(a.n.capacity, 0);
    EXPECT_EQ(a.n.words, nullptr);
    BigNumRelease(a.n);  // an empty number is ignored
    MemFailAfter(0);
    EXPECT_EQ(BigNumFromBytes(a.n, FromHex("01").data(), 1), kMethodOutOfMemory);
    MemFailAfter(-1);
    EXPECT_EQ(a.n.words, nullptr);
}

// ---- Exponentiation ----

TEST(ModExp, SmallKnownValuesAndRefusals) {
    // The textbook key n = 61 × 53, e = 17, d = 2753.
    Num n("0ca1"), c, back;
    ASSERT_EQ(ModExp(c, Num("41"), Num("11"), n), kMethodOk);
    EXPECT_EQ(Hex(c.n), "0ae6");  // 2790
    ASSERT_EQ(ModExp(back, c, Num("0ac1"), n), kMethodOk);
    EXPECT_EQ(Hex(back.n), "41");

    Num r;
    ASSERT_EQ(ModExp(r, Num("07"), Num(""), n), kMethodOk);
    EXPECT_EQ(Hex(r.n), "01") << "x^0 = 1";
    ASSERT_EQ(ModExp(r, Num("07"), Num("05"), Num("01")), kMethodOk);
    EXPECT_EQ(Hex(r.n), "00") << "everything is 0 modulo 1";
    ASSERT_EQ(ModExp(r, Num("0ca1"), Num("03"), n), kMethodOk);
    EXPECT_EQ(Hex(r.n), "00") << "a base equal to the modulus";

    // Montgomery reduction needs an odd modulus.
    Num kept("2a");
    EXPECT_EQ(ModExp(kept, Num("03"), Num("03"), Num("0ca2")), kMethodBadData);
    EXPECT_EQ(ModExp(kept, Num("03"), Num("03"), Num("")), kMethodBadData);
    EXPECT_EQ(Hex(kept.n), "2a");
}

TEST(ModExp, MatchesSlowReferenceAcrossWindowWidthsAndBaseSizes) {
    std::mt19937_64 rng(20240612);
    const std::vector<Bytes> fixed = {FromHex("01"), FromHex("03"), FromHex("010001"),
                                      FromHex("02"), FromHex("0f"), FromHex("ffff")};
    for (int round = 0; round < 4000; ++round) {
        const unsigned modulusBits = 2 + static_cast<unsigned>(rng() % 63);
        uint64_t modulus = rng() >> (64 - modulusBits) | uint64_t{1} << (modulusBits - 1) | 1;
        if (round % 8 == 1) {
            // Just below a whole number of words, where the running sum of the Montgomery
            // multiplication overflows into its extra word.
            const uint64_t top = round % 16 == 1 ? 0 : uint64_t{0xffffffff} << 32;
            modulus = (top | 0xffffffff) - 2 * (rng() % 1000);
        }
        uint64_t base = rng() >> (rng() % 64);  // often longer than the modulus
        // Small negative numbers: their Montgomery forms lie just below the modulus too.
        if (round % 8 == 1) base = modulus - 1 - rng() % 3;
        Bytes exponent;
        if (round % 4 == 0) {
            exponent = fixed[(round / 4) % fixed.size()];
        } else {
            // 1 to 100 bits: every window width, and exponents longer than one word.
            const unsigned bits = 1 + static_cast<unsigned>(rng() % 100);
            exponent.assign((bits + 7) / 8, 0);
            for (auto& b : exponent)
                b = static_cast<uint8_t>(rng());
            exponent[0] &= static_cast<uint8_t>((1u << ((bits - 1) % 8 + 1)) - 1);
            exponent[0] |= static_cast<uint8_t>(1u << ((bits - 1) % 8));
        }
        Num b(BigEndian(base)), e(exponent), m(BigEndian(modulus)), r;
        ASSERT_EQ(ModExp(r, b, e, m), kMethodOk);
        ASSERT_EQ(Hex(r.n), Hex64(SlowModExp(base, exponent, modulus)))
            << std::hex << base << "^" << ToHex(exponent) << " mod " << modulus;
    }
}

TEST(ModExp, ResultMayBeAnInputOrALongerNumber) {
    const uint64_t modulus = 0xfffffffffffffc5ull;
    const Bytes exponent = FromHex("0123456789");
    const std::string expected = Hex64(SlowModExp(0x1234567, exponent, modulus));
    Num b(BigEndian(0x1234567)), e(exponent), m(BigEndian(modulus));
    ASSERT_EQ(BigNumModExp(m.n, b.n, e.n, m.n, nullptr), kMethodOk);
    EXPECT_EQ(Hex(m.n), expected);
    Num m2(BigEndian(modulus));
    ASSERT_EQ(BigNumModExp(b.n, b.n, e.n, m2.n, nullptr), kMethodOk);
    EXPECT_EQ(Hex(b.n), expected);

    // A longer earlier value leaves no words behind above the result.
    Num r(Bytes(40, 0x5a)), b2(BigEndian(0x1234567));
    ASSERT_EQ(BigNumModExp(r.n, b2.n, e.n, m2.n, nullptr), kMethodOk);
    EXPECT_EQ(Hex(r.n), expected);
    for (int32_t w = r.n.length; w < r.n.capacity; ++w)
        EXPECT_EQ(r.n.words[w], 0u) << "word " << w;
}

// Mersenne primes M = 2^p - 1 give multi-word answers known without computing them:
// 3 is a quadratic non-residue modulo each of them (p odd), so 3^((M-1)/2) = M - 1; Fermat
// gives a^M = a; and 2^x = 2^(x mod p).
TEST(ModExp, MersennePrimeIdentities) {
    std::mt19937 rng(11);
    for (unsigned p : {61u, 89u, 127u, 521u, 607u, 1279u, 2203u}) {
        SCOPED_TRACE(p);
        Num m(PowerOfTwoMinus(p, 1)), r;
        ASSERT_EQ(ModExp(r, Num("03"), Num(PowerOfTwoMinus(p - 1, 1)), m), kMethodOk);
        EXPECT_EQ(Hex(r.n), Hex(Num(PowerOfTwoMinus(p, 2)).n));

        Bytes a((p - 1) / 8);
        for (auto& b : a)
            b = static_cast<uint8_t>(rng());
        ASSERT_EQ(ModExp(r, Num(a), m, m), kMethodOk);
        EXPECT_EQ(Hex(r.n), Hex(Num(a).n));

        const uint64_t x = 1000003ull * p + 37;
        ASSERT_EQ(ModExp(r, Num("02"), Num(BigEndian(x)), m), kMethodOk);
        Bytes expected(37 / 8 + 1, 0);
        expected[0] = static_cast<uint8_t>(1u << (37 % 8));
        EXPECT_EQ(Hex(r.n), Hex(Num(expected).n));
    }
}

TEST(ModExp, TableEntriesAreFilledOnlyForWindowsThatOccur) {
    const uint64_t modulus = (uint64_t{1} << 61) - 1;
    struct Case {
        const char* exponent;
        uint32_t entries;
    } cases[] = {
        {"03", 1},                 // width 1: the base alone
        {"010001", 2},             // width 3: windows 4, 0, 0, 0, 0 and a last 1
        {"ffffffffffffffff", 2},   // width 4: every window is 15
        {"8000000000000001", 2},   // 8, zeros, 1
        {"fedcba9876543210", 15},  // every value once
        {"f0f0f0f0f0f0f0f0f0", 2},
    };
    for (const Case& c : cases) {
        Num b(BigEndian(0x0123456789abcdefull)), e(c.exponent), m(BigEndian(modulus)), r;
        uint32_t entries = 99;
        ASSERT_EQ(ModExp(r, b, e, m, nullptr, &entries), kMethodOk);
        EXPECT_EQ(entries, c.entries) << c.exponent;
        EXPECT_EQ(Hex(r.n), Hex64(SlowModExp(0x0123456789abcdefull, FromHex(c.exponent), modulus)))
            << c.exponent;
    }
}

TEST(ModExp, CancelHookIsAskedOncePerWindow) {
    Num b("1234"), m("0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f");
    struct Case {
        const char* exponent;
        int windows;
    } cases[] = {
        {"03", 2},                   // two 1-bit windows
        {"010001", 6},               // 17 bits in 3-bit windows: 3 + 4 × 3 + 2
        {"ffffffffffffffff", 16},    // 64 bits in 4-bit windows
        {"01ffffffffffffffff", 17},  // 65 bits: a last window of 1 bit
    };
    for (const Case& c : cases) {
        CountingHook counter;
        Num r;
        ASSERT_EQ(ModExp(r, b, Num(c.exponent), m, &counter.hook), kMethodOk);
        EXPECT_EQ(counter.calls, c.windows) << c.exponent;
    }

    CountingHook cancel;
    cancel.cancelAt = 3;
    Num r("77");
    EXPECT_EQ(ModExp(r, b, Num("010001"), m, &cancel.hook), kMethodCancelled);
    EXPECT_EQ(cancel.calls, 3) << "stops at the window that was cancelled";
    EXPECT_EQ(Hex(r.n), "77");
    EXPECT_EQ(MapMethodStatus(kMethodCancelled), kAlgCancelled);
}

TEST(ModExp, OutOfMemoryLeavesTheResultAlone) {
    Num b("1234"), e("010001"), m("0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f0f"), r;
    for (long failAt = 0;; ++failAt) {
        MemFailAfter(failAt);
        const int status = ModExp(r, b, e, m);
        MemFailAfter(-1);
        if (status == kMethodOk) break;
        ASSERT_EQ(status, kMethodOutOfMemory) << failAt;
        EXPECT_EQ(r.n.length, 0) << failAt;
        ASSERT_LT(failAt, 10);
    }
    Num expected;
    ASSERT_EQ(ModExp(expected, b, e, m), kMethodOk);
    EXPECT_EQ(Hex(r.n), Hex(expected.n));
}

// ---- RSA key forms ----

// A small DER writer for building test inputs independently of the code under test.
Bytes Tlv(uint8_t tag, const Bytes& content) {
    Bytes out = {tag};
    const size_t n = content.size();
    if (n >= 0x100) {
        out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    } else if (n >= 0x80) {
        out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
    } else {
        out.push_back(static_cast<uint8_t>(n));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kRsaOid = FromHex("2a864886f70d010101");
const Bytes kX500RsaOid = FromHex("55080101");

Bytes KeyBer(const Bytes& algorithm, const Bytes& modulusContent, const Bytes& exponentContent) {
    const Bytes pair = Tlv(0x30, Cat({Tlv(0x02, modulusContent), Tlv(0x02, exponentContent)}));
    return Tlv(0x30, Cat({algorithm, Tlv(0x03, Cat({Bytes{0}, pair}))}));
}

Bytes RsaAlgorithm(const Bytes& oid, bool withNull = true) {
    return Tlv(0x30, Cat({Tlv(0x06, oid), withNull ? FromHex("0500") : Bytes{}}));
}

struct Holder {
    KeyHolder* p = nullptr;
    Holder() { EXPECT_EQ(CreateKeyHolder(&p), kAlgOk); }
    ~Holder() { DestroyKeyHolder(&p); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    int SetComponents(const Bytes& n, const Bytes& e) {
        RsaPublicKey key = {{n.data(), static_cast<uint32_t>(n.size())},
                            {e.data(), static_cast<uint32_t>(e.size())}};
        return SetKey(p, KeyKindRsaPublic(), &key);
    }
    int SetBer(const Bytes& ber) {
        ByteSpan span = {ber.data(), static_cast<uint32_t>(ber.size())};
        return SetKey(p, KeyKindRsaPublicBer(), &span);
    }
    std::string Ber() {
        const void* block = nullptr;
        if (GetKey(p, KeyKindRsaPublicBer(), &block) != kAlgOk) return "<none>";
        const auto* span = static_cast<const ByteSpan*>(block);
        return ToHex(span->data, span->length);
    }
    std::string Components() {
        const void* block = nullptr;
        if (GetKey(p, KeyKindRsaPublic(), &block) != kAlgOk) return "<none>";
        const auto* key = static_cast<const RsaPublicKey*>(block);
        return ToHex(key->modulus.data, key->modulus.length) + "/" +
               ToHex(key->exponent.data, key->exponent.length);
    }
};

TEST(RsaKey, ComponentsEncodeToTheCanonicalForm) {
    Holder h;
    ASSERT_EQ(h.SetComponents(FromHex("0000b5e2d9c3"), FromHex("00010001")), kAlgOk);
    EXPECT_EQ(h.Components(), "b5e2d9c3/010001") << "leading zero bytes are not kept";
    EXPECT_EQ(h.Ber(),
              "3020"
              "300d06092a864886f70d0101010500"
              "030f00"
              "300c"
              "020500b5e2d9c3"  // a top bit set gets a 00 byte in front
              "0203010001");
    EXPECT_EQ(h.SetComponents(FromHex("0b"), FromHex("03")), kAlgKeyAlreadySet);
}

TEST(RsaKey, BerVariantsAreReadAndWrittenBackCanonically) {
    const Bytes n = FromHex("00b5e2d9c3"), e = FromHex("010001");
    const Bytes canonical = KeyBer(RsaAlgorithm(kRsaOid), n, e);
    Bytes longForm = canonical;  // the outer length in the two-byte form
    longForm.erase(longForm.begin(), longForm.begin() + 2);
    longForm.insert(longForm.begin(), {0x30, 0x81, static_cast<uint8_t>(longForm.size())});
    const std::vector<std::pair<const char*, Bytes>> variants = {
        {"canonical", canonical},
        {"directory-services identifier", KeyBer(RsaAlgorithm(kX500RsaOid), n, e)},
        {"parameters absent", KeyBer(RsaAlgorithm(kRsaOid, false), n, e)},
        {"both", KeyBer(RsaAlgorithm(kX500RsaOid, false), n, e)},
        {"extra leading zeros",
         KeyBer(RsaAlgorithm(kRsaOid), FromHex("000000b5e2d9c3"), FromHex("00010001"))},
        {"long length form", longForm},
    };
    for (const auto& [name, ber] : variants) {
        Holder h;
        ASSERT_EQ(h.SetBer(ber), kAlgOk) << name;
        EXPECT_EQ(h.Ber(), ToHex(canonical)) << name;
        EXPECT_EQ(h.Components(), "b5e2d9c3/010001") << name;
    }
}

TEST(RsaKey, BerRefusals) {
    const Bytes n = FromHex("00b5e2d9c3"), e = FromHex("03");
    const Bytes good = KeyBer(RsaAlgorithm(kRsaOid), n, e);
    auto pairIn = [&](const Bytes& pairContent, uint8_t unusedBits = 0) {
        return Tlv(0x30, Cat({RsaAlgorithm(kRsaOid),
                              Tlv(0x03, Cat({Bytes{unusedBits}, Tlv(0x30, pairContent)}))}));
    };
    Bytes trailing = good;
    trailing.push_back(0);
    const struct {
        const char* name;
        Bytes ber;
        int status;
    } cases[] = {
        {"other identifier", KeyBer(RsaAlgorithm(FromHex("2a8648ce380401")), n, e),
         kAlgUnknownAlgorithm},
        {"negative modulus", KeyBer(RsaAlgorithm(kRsaOid), FromHex("b5e2d9c3"), e), kAlgBadData},
        {"negative exponent", KeyBer(RsaAlgorithm(kRsaOid), n, FromHex("ff")), kAlgBadData},
        {"zero modulus", KeyBer(RsaAlgorithm(kRsaOid), FromHex("0000"), e), kAlgBadData},
        {"parameters not NULL", KeyBer(Tlv(0x30, Cat({Tlv(0x06, kRsaOid), FromHex("0400")})), n, e),
         kAlgBadData},
        {"unused bits", pairIn(Cat({Tlv(0x02, n), Tlv(0x02, e)}), 1), kAlgBadData},
        {"exponent missing", pairIn(Tlv(0x02, n)), kAlgBadData},
        {"third INTEGER", pairIn(Cat({Tlv(0x02, n), Tlv(0x02, e), Tlv(0x02, e)})), kAlgBadData},
        {"trailing byte", trailing, kAlgBadData},
        {"truncated", Bytes(good.begin(), good.end() - 1), kAlgBadData},
    };
    for (const auto& c : cases) {
        Holder h;
        Bytes ber = c.ber;
        ber.push_back(0xee);  // a sentinel past the end, so a read beyond shows as data
        ByteSpan span = {ber.data(), static_cast<uint32_t>(ber.size() - 1)};
        EXPECT_EQ(SetKey(h.p, KeyKindRsaPublicBer(), &span), c.status) << c.name;
        const void* block = nullptr;
        EXPECT_EQ(GetKey(h.p, KeyKindRsaPublic(), &block), kAlgKeyHolderEmpty) << c.name;
    }
    Holder h;
    EXPECT_EQ(h.SetComponents(FromHex("0000"), e), kAlgBadData);
    EXPECT_EQ(h.SetComponents(n, Bytes{}), kAlgBadData);
}

// ---- The wrapper's identifier ----

struct Instance {
    AlgInstance* p = nullptr;
    int status = CreateAlgInstance(&p);
    Instance() = default;
    ~Instance() { DestroyAlgInstance(&p); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
};

TEST(RsaWrapper, IdentifierIsByteExactAndReadStrictly) {
    const std::string expected = "300d06092a864886f70d0101010500";
    {
        Instance i;
        ASSERT_EQ(SetAlgParams(i.p, AlgKindRsaPkcs1(), nullptr), kAlgOk);
        const void* block = nullptr;
        ASSERT_EQ(GetAlgParams(i.p, AlgKindRsaPkcs1Ber(), &block), kAlgOk);
        const auto* span = static_cast<const ByteSpan*>(block);
        EXPECT_EQ(ToHex(span->data, span->length), expected);
    }
    const struct {
        std::string hex;
        int status;
    } cases[] = {
        {expected, kAlgOk},
        {"300b06092a864886f70d010101", kAlgBadData},      // parameters absent
        {"300d06092a864886f70d0101010400", kAlgBadData},  // not NULL
        {"300e06092a864886f70d010101058100", kAlgBadData},
        {"300f06092a864886f70d01010105000500", kAlgBadData},
        {"300d06092a864886f70d0101010500ff", kAlgBadData},
        {"30080604550801010500", kAlgUnknownAlgorithm},
        {"300c06082a864886f70d03050500", kAlgUnknownAlgorithm},
    };
    for (const auto& c : cases) {
        Instance i;
        const Bytes ber = FromHex(c.hex);
        ByteSpan span = {ber.data(), static_cast<uint32_t>(ber.size())};
        EXPECT_EQ(SetAlgParams(i.p, AlgKindRsaPkcs1Ber(), &span), c.status) << c.hex;
        if (c.status != kAlgOk) continue;
        const void* block = nullptr;
        EXPECT_EQ(GetAlgParams(i.p, AlgKindRsaPkcs1(), &block), kAlgOk);
    }
}

// ---- Encryption and decryption ----

// A 512-bit key made once with a standard tool; only the test knows d.
const std::string kModulus512 =
    "ec8c7fd2891b69130a4b97fd5f837a4a54ee25b6ff6880acb8587fd833fe2c4c366e4a9cd92b5ade2514706976f5"
    "a0598fc53d519eeb3b256a41bcdbf73b1065";
const std::string kPrivate512 =
    "1db8414f085ee342bb2668403341e79973364092cf6027da8b86c2f93cff103d7d3566d069aef319f6c3cdd5b0"
    "1f24eaddf5e3cdc93764a51e923baacdbf4079";

// A generator whose bytes the test chooses, recording every request.
struct Script {
    Bytes bytes;
    size_t next = 0;
    std::vector<uint32_t> requests;
};
Script* gScript = nullptr;

int ScriptedGenerate(void*, uint8_t* out, uint32_t length) {
    gScript->requests.push_back(length);
    for (uint32_t i = 0; i < length; ++i)
        out[i] = gScript->bytes[gScript->next++ % gScript->bytes.size()];
    return kMethodOk;
}

const MethodTable kScriptedTable = {4, nullptr, nullptr, nullptr, ScriptedGenerate};
extern const AlgKind kScriptedKind;
const AlgKind kScriptedKind = {"scripted", SetNoParams, nullptr, &kScriptedKind, nullptr, nullptr};
const MethodEntry kScriptedEntries[] = {
    {&kScriptedKind, Direction::kRandom, nullptr, &kScriptedTable},
    {nullptr, Direction::kEncrypt, nullptr, nullptr},
};
const MethodRegistry kScriptedRegistry = {kScriptedEntries};

struct ScriptedRandom {
    Script script;
    Instance instance;
    explicit ScriptedRandom(Bytes bytes) {
        script.bytes = std::move(bytes);
        gScript = &script;
        EXPECT_EQ(SetAlgParams(instance.p, &kScriptedKind, nullptr), kAlgOk);
        EXPECT_EQ(AlgRandomInit(instance.p, kScriptedRegistry), kAlgOk);
    }
    ~ScriptedRandom() { gScript = nullptr; }
};

struct SeededRandom {
    RandomObject* object = nullptr;
    explicit SeededRandom(uint8_t seed) {
        EXPECT_EQ(RandomCreate(&object), kStatusOk);
        const Bytes bytes(256, seed);
        EXPECT_EQ(RandomSeed(object, bytes.data(), 256), kStatusOk);
    }
    ~SeededRandom() { RandomDestroy(&object); }
    AlgInstance* instance() const { return RandomInstanceOf(object); }
};

struct Outcome {
    int status = kAlgOk;
    Bytes out;
};

Outcome Cipher(bool encrypt, KeyHolder* key, const std::vector<Bytes>& pieces, AlgInstance* random,
               uint32_t capacity = 300, const CancelHook* hook = nullptr) {
    Outcome run;
    Instance i;
    run.status = i.status;
    if (run.status != kAlgOk) return run;
    run.status = SetAlgParams(i.p, AlgKindRsaPkcs1(), nullptr);
    if (run.status != kAlgOk) return run;
    run.status = encrypt ? AlgEncryptInit(i.p, key, GeneralRegistry())
                         : AlgDecryptInit(i.p, key, GeneralRegistry());
    if (run.status != kAlgOk) return run;
    uint32_t n = 0;
    for (const Bytes& piece : pieces) {
        run.status = AlgCipherUpdate(i.p, nullptr, &n, 0, piece.data(),
                                     static_cast<uint32_t>(piece.size()), random, hook);
        if (run.status != kAlgOk) return run;
        EXPECT_EQ(n, 0u) << "update only collects";
    }
    run.out.assign(capacity, 0xa5);
    run.status = AlgCipherFinal(i.p, run.out.data(), &n, capacity, random, hook);
    run.out.resize(n);
    return run;
}

Outcome Encrypt(KeyHolder* key, const Bytes& data, AlgInstance* random, uint32_t capacity = 300,
                const CancelHook* hook = nullptr) {
    return Cipher(true, key, {data}, random, capacity, hook);
}

// x^d mod n for the 512-bit key: opens a ciphertext, or signs a block.
Bytes Private512(const Bytes& in) {
    Num x(in), d(kPrivate512), n(kModulus512);
    EXPECT_EQ(BigNumModExp(x.n, x.n, d.n, n.n, nullptr), kMethodOk);
    Bytes out(64);
    EXPECT_EQ(BigNumToBytes(x.n, out.data(), out.size()), kMethodOk);
    return out;
}

TEST(RsaEncrypt, BlockLayoutIsByteExactAndPaddingIsDrawnOneNonzeroByteAtATime) {
    // With exponent 1 the ciphertext is the padded block itself.
    Holder key;
    ASSERT_EQ(key.SetComponents(Bytes(64, 0xff), FromHex("01")), kAlgOk);
    ScriptedRandom random(FromHex("00110000223300445566778899aabbccddeeff"));
    const Bytes data = FromHex("c0ffee0001");
    const Outcome run = Encrypt(key.p, data, random.instance.p);
    ASSERT_EQ(run.status, kAlgOk);
    ASSERT_EQ(run.out.size(), 64u);

    std::string ps;  // 64 - 5 - 3 = 56 nonzero bytes, in the order drawn
    size_t draws = 0;
    for (size_t i = 0; ps.size() < 2 * 56; ++i, ++draws) {
        uint8_t b = random.script.bytes[i % random.script.bytes.size()];
        if (b != 0) ps += ToHex(&b, 1);
    }
    EXPECT_EQ(ToHex(run.out), "0002" + ps + "00" + "c0ffee0001");
    EXPECT_EQ(random.script.requests, std::vector<uint32_t>(draws, 1u));
}

TEST(RsaEncrypt, PaddedBlockOpensWithThePrivateExponent) {
    Holder key;
    ASSERT_EQ(key.SetComponents(FromHex(kModulus512), FromHex("010001")), kAlgOk);
    SeededRandom random(0x5a);
    std::mt19937 rng(3);
    for (size_t length : {5u, 0u, 1u, 20u, 52u, 53u}) {
        Bytes data(length);
        for (auto& b : data)
            b = static_cast<uint8_t>(rng());
        // In pieces, as a caller may hand them over.
        const size_t half = length / 2;
        const Outcome run = Cipher(
            true, key.p,
            {Bytes(data.begin(), data.begin() + half), Bytes(data.begin() + half, data.end())},
            random.instance());
        ASSERT_EQ(run.status, kAlgOk) << length;
        ASSERT_EQ(run.out.size(), 64u) << length;
        const Bytes eb = Private512(run.out);
        ASSERT_EQ(eb[0], 0x00);
        ASSERT_EQ(eb[1], 0x02);
        const size_t psLength = 64 - 3 - length;
        for (size_t i = 2; i < 2 + psLength; ++i)
            ASSERT_NE(eb[i], 0) << "padding byte " << i - 2 << " of " << psLength;
        EXPECT_EQ(eb[2 + psLength], 0x00);
        EXPECT_EQ(ToHex(eb.data() + 3 + psLength, length), ToHex(data));
    }
}

TEST(RsaEncrypt, LengthLimitsAndOutputRoom) {
    Holder key;
    ASSERT_EQ(key.SetComponents(Bytes(64, 0xff), FromHex("03")), kAlgOk);
    SeededRandom random(1);
    EXPECT_EQ(Encrypt(key.p, Bytes(53, 7), random.instance()).out.size(), 64u);
    EXPECT_EQ(Encrypt(key.p, Bytes(54, 7), random.instance()).status, kAlgBadLength);
    EXPECT_EQ(Encrypt(key.p, Bytes(65, 7), random.instance()).status, kAlgBadLength)
        << "more than a block is refused by update";
    EXPECT_EQ(Encrypt(key.p, Bytes(5, 7), random.instance(), 63).status, kAlgOutputTooSmall);
    EXPECT_EQ(Encrypt(key.p, Bytes(5, 7), random.instance(), 64).status, kAlgOk);
    EXPECT_EQ(Encrypt(key.p, Bytes(5, 7), nullptr).status, kAlgDataError)
        << "padding needs a random instance";
}

// Keys read from BER, whose INTEGERs carry a leading 00 whenever the top bit is set.
TEST(RsaEncrypt, ModulusBoundsAtInit) {
    SeededRandom random(2);
    struct Case {
        const char* name;
        Bytes modulus;
        int status;
        size_t k;
    } cases[] = {
        {"2048 bits", Cat({Bytes{0}, Bytes(256, 0xff)}), kAlgOk, 256},
        {"2048 bits, extra leading zeros", Cat({Bytes(3, 0), Bytes(256, 0xff)}), kAlgOk, 256},
        {"2049 bits", Cat({Bytes{1}, Bytes(256, 0xff)}), kAlgModulusLength, 0},
        {"even", Cat({Bytes{0}, Bytes(63, 0xff), Bytes{0xfe}}), kAlgBadData, 0},
        {"tiny", Bytes{0x0b}, kAlgBadLength, 0},  // no room for any padding
        {"505 bits", Cat({Bytes{1}, Bytes(63, 0xff)}), kAlgOk, 64},
        {"512-bit key, extra leading zeros", Cat({Bytes(3, 0), FromHex(kModulus512)}), kAlgOk, 64},
    };
    for (const Case& c : cases) {
        Holder key;
        ASSERT_EQ(key.SetBer(KeyBer(RsaAlgorithm(kRsaOid), c.modulus, FromHex("010001"))), kAlgOk);
        const Outcome run = Encrypt(key.p, FromHex("0102030405"), random.instance());
        EXPECT_EQ(run.status, c.status) << c.name;
        EXPECT_EQ(run.out.size(), c.k) << c.name;
    }
}

TEST(RsaEncrypt, CancelStopsTheExponentiationAndEmptiesTheBlock) {
    Holder key;
    ASSERT_EQ(key.SetComponents(FromHex(kModulus512), FromHex("010001")), kAlgOk);
    SeededRandom random(4);
    CountingHook cancel;
    cancel.cancelAt = 2;
    Instance i;
    ASSERT_EQ(SetAlgParams(i.p, AlgKindRsaPkcs1(), nullptr), kAlgOk);
    ASSERT_EQ(AlgEncryptInit(i.p, key.p, GeneralRegistry()), kAlgOk);
    uint32_t n = 0;
    const Bytes data = FromHex("0102030405");
    ASSERT_EQ(AlgCipherUpdate(i.p, nullptr, &n, 0, data.data(), 5, random.instance(), nullptr),
              kAlgOk);
    Bytes out(64);
    EXPECT_EQ(AlgCipherFinal(i.p, out.data(), &n, 64, random.instance(), &cancel.hook),
              kAlgCancelled);
    EXPECT_EQ(n, 0u);
    // Nothing of the cancelled message is left: a new final encrypts the empty message.
    ASSERT_EQ(AlgCipherFinal(i.p, out.data(), &n, 64, random.instance(), nullptr), kAlgOk);
    EXPECT_EQ(Private512(out).back(), 0x00);
}

TEST(RsaEncrypt, OutOfMemoryAtEachAllocation) {
    Holder key;
    ASSERT_EQ(key.SetComponents(FromHex(kModulus512), FromHex("03")), kAlgOk);
    ScriptedRandom random(FromHex("17"));
    for (long failAt = 0;; ++failAt) {
        MemFailAfter(failAt);
        const Outcome run = Encrypt(key.p, FromHex("0102030405"), random.instance.p);
        MemFailAfter(-1);
        if (run.status == kAlgOk) break;
        ASSERT_EQ(run.status, kAlgOutOfMemory) << failAt;
        ASSERT_LT(failAt, 20);
    }
}

Bytes TypeOne(size_t ffCount, const Bytes& data) {
    return Cat({FromHex("0001"), Bytes(ffCount, 0xff), Bytes{0}, data});
}

TEST(RsaDecrypt, RemovesBlockTypeOne) {
    Holder key;
    ASSERT_EQ(key.SetComponents(FromHex(kModulus512), FromHex("010001")), kAlgOk);
    for (size_t length : {0u, 5u, 20u, 53u}) {
        Bytes data(length, static_cast<uint8_t>(length + 1));
        const Outcome run = Cipher(false, key.p, {Private512(TypeOne(61 - length, data))}, nullptr);
        ASSERT_EQ(run.status, kAlgOk) << length;
        EXPECT_EQ(ToHex(run.out), ToHex(data));
    }
    const Outcome tight = Cipher(false, key.p, {Private512(TypeOne(56, Bytes(5, 9)))}, nullptr, 4);
    EXPECT_EQ(tight.status, kAlgOutputTooSmall);

    Bytes wrongType = TypeOne(56, Bytes(5, 9));
    wrongType[1] = 0x02;
    Bytes strayByte = TypeOne(56, Bytes(5, 9));
    strayByte[30] = 0xfe;
    Bytes leadingByte = TypeOne(56, Bytes(5, 9));
    leadingByte[0] = 0x01;
    const struct {
        const char* name;
        Bytes block;
    } bad[] = {
        {"block type 2", wrongType},
        {"non-FF padding byte", strayByte},
        {"nonzero first byte", leadingByte},
        {"seven FF bytes", Cat({TypeOne(7, Bytes(54, 9))})},
        {"no separator", Cat({FromHex("0001"), Bytes(62, 0xff)})},
    };
    for (const auto& c : bad) {
        ASSERT_EQ(c.block.size(), 64u) << c.name;
        EXPECT_EQ(Cipher(false, key.p, {Private512(c.block)}, nullptr).status, kAlgBadData)
            << c.name;
    }
    EXPECT_EQ(Cipher(false, key.p, {FromHex(kModulus512)}, nullptr).status, kAlgBadData)
        << "a block not below the modulus";
    // A valid block plus the modulus would decode if it were reduced first; it is refused.
    const Bytes n = FromHex(kModulus512);
    bool tried = false;
    for (uint8_t v = 0; v < 200 && !tried; ++v) {
        Bytes c = Private512(TypeOne(56, Bytes(5, v)));
        unsigned carry = 0;
        for (size_t i = 64; i-- > 0;) {
            unsigned sum = c[i] + n[i] + carry;
            c[i] = static_cast<uint8_t>(sum);
            carry = sum >> 8;
        }
        if (carry != 0) continue;  // c + n needs a 65th byte
        tried = true;
        EXPECT_EQ(Cipher(false, key.p, {c}, nullptr).status, kAlgBadData);
    }
    EXPECT_TRUE(tried);
    EXPECT_EQ(Cipher(false, key.p, {Bytes(63, 1)}, nullptr).status, kAlgBadLength);
    EXPECT_EQ(Cipher(false, key.p, {Bytes(60, 1), Bytes(5, 1)}, nullptr).status, kAlgBadLength);
}

}  // namespace
