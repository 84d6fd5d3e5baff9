// RSA with a private key: the big-number arithmetic beneath it against 128-bit arithmetic and
// against identities, Miller-Rabin on known primes and composites, key generation (sizes, the
// key's own relations, reproducible from the caller's random bytes alone), decryption of blocks
// that the public-key tier encrypted, and every malformed type 2 block refused alike.
#include <gtest/gtest.h>
#include <qor/rsa_private.h>

#include <random>
#include <string>
#include <vector>

#include "bignum.h"
#include "bignum_arith.h"
#include "kinds.h"
#include "memory.h"
#include "prime_search.h"
#include "rsa_private_ops.h"
#include "status.h"
#include "vector_file.h"

namespace {

using namespace qor::toolkit;
using qor::SecureBuffer;
using qor::test::Bytes;
using qor::test::FromHex;
using qor::test::ToHex;

__extension__ typedef unsigned __int128 Wide;

struct Num {
    BigNum n = {};
    Num() = default;
    explicit Num(const Bytes& b) { EXPECT_EQ(BigNumFromBytes(n, b.data(), b.size()), kMethodOk); }
    explicit Num(const std::string& hex) : Num(FromHex(hex)) {}
    explicit Num(uint64_t v) {
        Bytes b(8);
        for (int i = 7; i >= 0; --i, v >>= 8)
            b[i] = static_cast<uint8_t>(v);
        EXPECT_EQ(BigNumFromBytes(n, b.data(), b.size()), kMethodOk);
    }
    ~Num() { BigNumRelease(n); }
    Num(const Num&) = delete;
    Num& operator=(const Num&) = delete;
};

std::string Hex(const BigNum& n) {
    size_t k = (BigNumBitLength(n) + 7) / 8;
    Bytes out(k == 0 ? 1 : k);
    EXPECT_EQ(BigNumToBytes(n, out.data(), out.size()), kMethodOk);
    return ToHex(out);
}
std::string Hex(const SecureBuffer& b) {
    return ToHex(b.data(), b.size());
}
std::string HexOf(Wide v) {
    Bytes b(16);
    for (int i = 15; i >= 0; --i, v >>= 8)
        b[i] = static_cast<uint8_t>(v);
    size_t skip = 0;
    while (skip + 1 < b.size() && b[skip] == 0)
        ++skip;
    return ToHex(Bytes(b.begin() + static_cast<long>(skip), b.end()));
}

// A random source over a seeded Mersenne twister: reproducible, and under the test's control.
struct TestRandom {
    std::mt19937_64 rng;
    int failAfter = -1;  // calls that succeed before every later one fails
    explicit TestRandom(uint64_t seed) : rng(seed) {}
    static int Generate(void* context, unsigned char* out, unsigned int length) {
        auto* self = static_cast<TestRandom*>(context);
        if (self->failAfter == 0) return 1;
        if (self->failAfter > 0) --self->failAfter;
        for (unsigned int i = 0; i < length; ++i)
            out[i] = static_cast<unsigned char>(self->rng());
        return 0;
    }
    RandomSource source() { return {Generate, this}; }
};

// Encrypts with block type 2 through the public-key tier, as an envelope does.
Bytes PublicEncrypt(const RsaPrivateKey& key, const Bytes& data, RandomObject* random) {
    KeyHolder* holder = nullptr;
    AlgInstance* instance = nullptr;
    EXPECT_EQ(CreateKeyHolder(&holder), kAlgOk);
    EXPECT_EQ(CreateAlgInstance(&instance), kAlgOk);
    const RsaPublicKey components = {
        {key.modulus.data(), static_cast<uint32_t>(key.modulus.size())},
        {key.publicExponent.data(), static_cast<uint32_t>(key.publicExponent.size())}};
    Bytes out(256);
    uint32_t n = 0, m = 0;
    EXPECT_EQ(SetKey(holder, KeyKindRsaPublic(), &components), kAlgOk);
    EXPECT_EQ(SetAlgParams(instance, AlgKindRsaPkcs1(), nullptr), kAlgOk);
    EXPECT_EQ(AlgEncryptInit(instance, holder, GeneralRegistry()), kAlgOk);
    EXPECT_EQ(
        AlgCipherUpdate(instance, nullptr, &n, 0, data.data(), static_cast<uint32_t>(data.size()),
                        RandomInstanceOf(random), nullptr),
        kAlgOk);
    EXPECT_EQ(AlgCipherFinal(instance, out.data(), &m, 256, RandomInstanceOf(random), nullptr),
              kAlgOk);
    out.resize(m);
    DestroyAlgInstance(&instance);
    DestroyKeyHolder(&holder);
    return out;
}

// block^e mod n: any block, well formed or not, as an encrypter would send it.
Bytes RawPublic(const RsaPrivateKey& key, const Bytes& block) {
    Num m(block),
        e(Bytes(key.publicExponent.data(), key.publicExponent.data() + key.publicExponent.size())),
        n(Bytes(key.modulus.data(), key.modulus.data() + key.modulus.size()));
    Num c;
    EXPECT_EQ(BigNumModExp(c.n, m.n, e.n, n.n, nullptr), kMethodOk);
    Bytes out(block.size());
    EXPECT_EQ(BigNumToBytes(c.n, out.data(), out.size()), kMethodOk);
    return out;
}

class SeededRandom {
  public:
    explicit SeededRandom(uint8_t fill) {
        EXPECT_EQ(RandomCreate(&random_), kStatusOk);
        std::vector<uint8_t> seed(256, fill);
        EXPECT_EQ(RandomSeed(random_, seed.data(), 256), kStatusOk);
    }
    ~SeededRandom() { RandomDestroy(&random_); }
    SeededRandom(const SeededRandom&) = delete;
    SeededRandom& operator=(const SeededRandom&) = delete;
    RandomObject* get() const { return random_; }
    RandomSource source() const { return RandomSourceOf(random_); }

  private:
    RandomObject* random_ = nullptr;
};

// One 512-bit key for the whole program: generation is the slow part.
const RsaPrivateKey& SmallKey() {
    static const RsaPrivateKey key = [] {
        TestRandom random(512);
        RsaPrivateKey k;
        EXPECT_EQ(RsaGenerateKey(512, 65537, random.source(), nullptr, &k), kStatusOk);
        return k;
    }();
    return key;
}

// ---- Arithmetic ----

TEST(BigNumArith, AgreesWithWideArithmeticOnSmallValues) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 2000; ++round) {
        const int shift = static_cast<int>(rng() % 64);
        const uint64_t a = rng() >> (rng() % 64), b = (rng() >> shift) | 1;
        Num x(a), y(b), r, q;
        ASSERT_EQ(BigNumAdd(r.n, x.n, y.n), kMethodOk);
        EXPECT_EQ(Hex(r.n), HexOf(Wide{a} + b));
        ASSERT_EQ(BigNumMul(r.n, x.n, y.n), kMethodOk);
        EXPECT_EQ(Hex(r.n), HexOf(Wide{a} * b));
        ASSERT_EQ(BigNumDivMod(&q.n, &r.n, x.n, y.n), kMethodOk);
        EXPECT_EQ(Hex(q.n), HexOf(a / b));
        EXPECT_EQ(Hex(r.n), HexOf(a % b));
        const auto w = static_cast<uint32_t>(b) | 1u;
        uint32_t rem = 0;
        ASSERT_EQ(BigNumDivWord(q.n, x.n, w, &rem), kMethodOk);
        EXPECT_EQ(Hex(q.n), HexOf(a / w));
        EXPECT_EQ(rem, a % w);
        EXPECT_EQ(BigNumModWord(x.n, w), a % w);
        if (a >= b) {
            ASSERT_EQ(BigNumSub(r.n, x.n, y.n), kMethodOk);
            EXPECT_EQ(Hex(r.n), HexOf(a - b));
        } else {
            EXPECT_EQ(BigNumSub(r.n, x.n, y.n), kMethodBadData);
        }
        const uint32_t s = static_cast<uint32_t>(rng() % 64);
        ASSERT_EQ(BigNumShiftLeft(r.n, x.n, s), kMethodOk);
        EXPECT_EQ(Hex(r.n), HexOf(Wide{a} << s));
        ASSERT_EQ(BigNumShiftRight(r.n, x.n, s), kMethodOk);
        EXPECT_EQ(Hex(r.n), HexOf(a >> s));
        uint64_t g = a, h = b;
        while (h != 0) {
            const uint64_t t = g % h;
            g = h;
            h = t;
        }
        ASSERT_EQ(BigNumGcd(r.n, x.n, y.n), kMethodOk);
        EXPECT_EQ(Hex(r.n), HexOf(g)) << a << " " << b;
    }
}

TEST(BigNumArith, DivisionInvertsMultiplicationOnLargeValues) {
    std::mt19937 rng(11);
    auto random = [&](size_t n) {
        Bytes b(n);
        for (auto& x : b)
            x = static_cast<uint8_t>(rng());
        b[0] |= 1;
        return b;
    };
    for (int round = 0; round < 50; ++round) {
        Num a(random(1 + rng() % 200)), m(random(1 + rng() % 130)), r0(random(1 + rng() % 130));
        Num rem0, prod, sum, q, r;
        ASSERT_EQ(BigNumMod(rem0.n, r0.n, m.n), kMethodOk);  // rem0 < m
        ASSERT_EQ(BigNumMul(prod.n, a.n, m.n), kMethodOk);
        ASSERT_EQ(BigNumAdd(sum.n, prod.n, rem0.n), kMethodOk);
        ASSERT_EQ(BigNumDivMod(&q.n, &r.n, sum.n, m.n), kMethodOk);
        EXPECT_EQ(Hex(q.n), Hex(a.n));
        EXPECT_EQ(Hex(r.n), Hex(rem0.n));
        // The result may be one of the inputs.
        ASSERT_EQ(BigNumSub(sum.n, sum.n, rem0.n), kMethodOk);
        EXPECT_EQ(Hex(sum.n), Hex(prod.n));
    }
    Num zero, one(1), r;
    EXPECT_EQ(BigNumDivMod(nullptr, &r.n, one.n, zero.n), kMethodBadData);
}

// ---- Primes ----

TEST(PrimeSearch, MillerRabinKnowsPrimesFromComposites) {
    TestRandom random(3);
    bool prime = false;
    // Mersenne primes 2^127 - 1 and 2^521 - 1.
    Num m127(std::string("7") + std::string(31, 'f'));
    ASSERT_EQ(MillerRabin(m127.n, 40, random.source(), &prime), kMethodOk);
    EXPECT_TRUE(prime);
    Num m521(std::string("01") + std::string(130, 'f'));
    ASSERT_EQ(MillerRabin(m521.n, 20, random.source(), &prime), kMethodOk);
    EXPECT_TRUE(prime);
    // 2^128 + 1 = 59649589127497217 * 5704689200685129054721; the Carmichael number 561; and
    // 3215031751, a strong pseudoprime to the bases 2, 3, 5 and 7, which random bases expose.
    for (const std::string hex : {"0100000000000000000000000000000001", "0231", "bfa17dc7"}) {
        Num n(hex);
        ASSERT_EQ(MillerRabin(n.n, 40, random.source(), &prime), kMethodOk);
        EXPECT_FALSE(prime) << hex;
    }
}

TEST(PrimeSearch, PrimesHaveTheirSizeTopBitsAndAnExponentFriendlyPMinusOne) {
    TestRandom random(5);
    for (uint32_t bits : {16u, 17u, 100u, 256u}) {
        for (uint32_t e : {3u, 65537u}) {
            Num p;
            ASSERT_EQ(GeneratePrime(p.n, bits, e, random.source(), nullptr), kMethodOk);
            EXPECT_EQ(BigNumBitLength(p.n), bits);
            EXPECT_EQ(BigNumBit(p.n, bits - 2), 1u);
            EXPECT_EQ(BigNumBit(p.n, 0), 1u);
            EXPECT_NE(BigNumModWord(p.n, e), 1u);  // e prime: p - 1 not divisible by e
            bool prime = false;
            ASSERT_EQ(MillerRabin(p.n, 40, random.source(), &prime), kMethodOk);
            EXPECT_TRUE(prime);
        }
    }
}

// ---- Keys ----

TEST(RsaKeyGeneration, KeysOfEachSizeCheckAndDecryptWhatThePublicHalfEncrypts) {
    SeededRandom random(0x5a);
    for (uint32_t bits : {256u, 512u, 1024u, 2048u}) {
        SCOPED_TRACE(bits);
        RsaPrivateKey key;
        ASSERT_EQ(RsaGenerateKey(bits, 65537, random.source(), nullptr, &key), kStatusOk);
        EXPECT_EQ(RsaModulusBits(key), bits);
        EXPECT_EQ(Hex(key.publicExponent), "010001");
        EXPECT_EQ(key.prime1.size(), ((bits + 1) / 2 + 7) / 8);
        EXPECT_EQ(RsaCheckPrivateKey(key), kStatusOk);
        // d lies above sqrt(n) and below n.
        Num d(Bytes(key.privateExponent.data(),
                    key.privateExponent.data() + key.privateExponent.size()));
        EXPECT_GT(BigNumBitLength(d.n), bits / 2);
        EXPECT_LT(BigNumBitLength(d.n), bits + 1);

        const size_t k = bits / 8;
        for (size_t length : {size_t{0}, size_t{1}, size_t{5}, k - 11}) {
            Bytes data(length);
            for (size_t i = 0; i < length; ++i)
                data[i] = static_cast<uint8_t>(i * 37 + length);
            const Bytes c = PublicEncrypt(key, data, random.get());
            ASSERT_EQ(c.size(), k);
            SecureBuffer plain;
            ASSERT_EQ(RsaPrivateDecrypt(key, c.data(), c.size(), random.source(), &plain),
                      kStatusOk);
            EXPECT_EQ(Hex(plain), ToHex(data)) << length;
        }
    }
}

TEST(RsaKeyGeneration, TheCallersRandomBytesAloneDecideTheKey) {
    RsaPrivateKey a, b, c;
    TestRandom ra(99), rb(99), rc(100);
    ASSERT_EQ(RsaGenerateKey(512, 3, ra.source(), nullptr, &a), kStatusOk);
    ASSERT_EQ(RsaGenerateKey(512, 3, rb.source(), nullptr, &b), kStatusOk);
    ASSERT_EQ(RsaGenerateKey(512, 3, rc.source(), nullptr, &c), kStatusOk);
    EXPECT_EQ(Hex(a.modulus), Hex(b.modulus));
    EXPECT_EQ(Hex(a.privateExponent), Hex(b.privateExponent));
    EXPECT_NE(Hex(a.modulus), Hex(c.modulus));
    EXPECT_EQ(Hex(a.publicExponent), "03");
}

TEST(RsaKeyGeneration, RefusesSizesAndExponentsAndStopsWhenAsked) {
    TestRandom random(1);
    RsaPrivateKey key;
    EXPECT_EQ(RsaGenerateKey(255, 65537, random.source(), nullptr, &key), kStatusKeySizeRefused);
    EXPECT_EQ(RsaGenerateKey(2049, 65537, random.source(), nullptr, &key), kStatusKeySizeRefused);
    EXPECT_EQ(RsaGenerateKey(1024, 65536, random.source(), nullptr, &key), kStatusKeySizeRefused);
    EXPECT_EQ(RsaGenerateKey(1024, 1, random.source(), nullptr, &key), kStatusKeySizeRefused);

    int calls = 0;
    ProgressHook hook = {[](void* n) { return ++*static_cast<int*>(n) > 5 ? 1 : 0; }, &calls};
    EXPECT_EQ(RsaGenerateKey(1024, 65537, random.source(), &hook, &key), kStatusCancelled);
    EXPECT_TRUE(key.modulus.empty());

    random.failAfter = 3;
    EXPECT_EQ(RsaGenerateKey(1024, 65537, random.source(), nullptr, &key), kStatusBadRandom);
    EXPECT_TRUE(key.modulus.empty());
}

TEST(RsaPrivateKeyCheck, EachComponentOutOfPlaceIsRefused) {
    const RsaPrivateKey& good = SmallKey();
    ASSERT_EQ(RsaCheckPrivateKey(good), kStatusOk);
    SecureBuffer RsaPrivateKey::*fields[] = {
        &RsaPrivateKey::modulus,    &RsaPrivateKey::privateExponent, &RsaPrivateKey::prime1,
        &RsaPrivateKey::prime2,     &RsaPrivateKey::exponent1,       &RsaPrivateKey::exponent2,
        &RsaPrivateKey::coefficient};
    for (auto field : fields) {
        RsaPrivateKey key;
        key.modulus = good.modulus.Clone();
        key.publicExponent = good.publicExponent.Clone();
        key.privateExponent = good.privateExponent.Clone();
        key.prime1 = good.prime1.Clone();
        key.prime2 = good.prime2.Clone();
        key.exponent1 = good.exponent1.Clone();
        key.exponent2 = good.exponent2.Clone();
        key.coefficient = good.coefficient.Clone();
        SecureBuffer& value = key.*field;
        value[value.size() / 2] ^= 0x10;
        EXPECT_EQ(RsaCheckPrivateKey(key), kStatusBadPrivateKey);
    }
    RsaPrivateKey even;
    even.publicExponent.Assign(good.publicExponent.data(), good.publicExponent.size());
    even.publicExponent[even.publicExponent.size() - 1] ^= 1;
    even.modulus = good.modulus.Clone();
    EXPECT_EQ(RsaCheckPrivateKey(even), kStatusKeySizeRefused);
    RsaPrivateKey empty;
    EXPECT_EQ(RsaCheckPrivateKey(empty), kStatusKeySizeRefused);
}

// Blocks that are no type 2 block, or the wrong length, or not below n: all one status.
TEST(RsaPrivateDecrypt, EveryMalformedBlockEndsInOneStatus) {
    const RsaPrivateKey& key = SmallKey();
    TestRandom random(17);
    const size_t k = 64;
    auto block = [&](uint8_t b0, uint8_t b1, size_t separator) {
        Bytes em(k, 0x5c);
        em[0] = b0;
        em[1] = b1;
        if (separator < k) em[separator] = 0;
        return em;
    };
    struct Case {
        const char* what;
        Bytes em;
        bool accepted;
    } cases[] = {
        {"well formed, 8 padding bytes", block(0, 2, 10), true},
        {"well formed, empty message", block(0, 2, k - 1), true},
        {"first byte not 00", block(1, 2, 20), false},
        {"block type 1", block(0, 1, 20), false},
        {"block type 0", block(0, 0, 20), false},
        {"no separator", block(0, 2, k), false},
        {"7 padding bytes", block(0, 2, 9), false},
        {"separator right after the type", block(0, 2, 2), false},
    };
    for (const Case& c : cases) {
        const Bytes encrypted = RawPublic(key, c.em);
        SecureBuffer message;
        const int status =
            RsaPrivateDecrypt(key, encrypted.data(), encrypted.size(), random.source(), &message);
        if (c.accepted) {
            EXPECT_EQ(status, kStatusOk) << c.what;
        } else {
            EXPECT_EQ(status, kStatusPrivateDecryptFailed) << c.what;
            EXPECT_TRUE(message.empty()) << c.what;
        }
    }
    SecureBuffer message;
    const Bytes n(key.modulus.data(), key.modulus.data() + key.modulus.size());
    EXPECT_EQ(RsaPrivateDecrypt(key, n.data(), n.size(), random.source(), &message),
              kStatusPrivateDecryptFailed);
    const Bytes shorter(k - 1, 1), longer(k + 1, 0);
    EXPECT_EQ(RsaPrivateDecrypt(key, shorter.data(), shorter.size(), random.source(), &message),
              kStatusPrivateDecryptFailed);
    EXPECT_EQ(RsaPrivateDecrypt(key, longer.data(), longer.size(), random.source(), &message),
              kStatusPrivateDecryptFailed);
    random.failAfter = 0;
    const Bytes good = RawPublic(key, block(0, 2, 30));
    EXPECT_EQ(RsaPrivateDecrypt(key, good.data(), good.size(), random.source(), &message),
              kStatusBadRandom);
}

TEST(RsaPrivateDecrypt, ShortMemoryFailsCleanlyAtEveryAllocation) {
    const RsaPrivateKey& key = SmallKey();
    TestRandom random(23);
    Bytes em(64, 0x33);
    em[0] = 0;
    em[1] = 2;
    em[40] = 0;
    const Bytes c = RawPublic(key, em);
    bool succeeded = false;
    for (long failAt = 0; failAt < 2000 && !succeeded; ++failAt) {
        SecureBuffer message;
        MemFailAfter(failAt);
        const int status = RsaPrivateDecrypt(key, c.data(), c.size(), random.source(), &message);
        MemFailAfter(-1);
        if (status == kStatusOk) {
            succeeded = true;
            EXPECT_EQ(ToHex(message.data(), message.size()),
                      ToHex(Bytes(em.begin() + 41, em.end())));
        } else {
            ASSERT_EQ(status, kStatusOutOfMemory) << failAt;
        }
    }
    EXPECT_TRUE(succeeded);
}

TEST(RsaPublicKeyBer, ThePublicHalfReadsBackThroughThePublicKeyTier) {
    const RsaPrivateKey& key = SmallKey();
    SecureBuffer ber;
    ASSERT_EQ(RsaPublicKeyBer(key, &ber), kStatusOk);
    // SEQUENCE { SEQUENCE { rsaEncryption, NULL }, BIT STRING { 00 SEQUENCE { n, e } } }
    EXPECT_EQ(ToHex(ber.data(), 20), "305c300d06092a864886f70d0101010500034b00");
    KeyHolder* holder = nullptr;
    ASSERT_EQ(CreateKeyHolder(&holder), kAlgOk);
    const ByteSpan span = {ber.data(), static_cast<uint32_t>(ber.size())};
    ASSERT_EQ(SetKey(holder, KeyKindRsaPublicBer(), &span), kAlgOk);
    const void* block = nullptr;
    ASSERT_EQ(GetKey(holder, KeyKindRsaPublic(), &block), kAlgOk);
    const auto* components = static_cast<const RsaPublicKey*>(block);
    EXPECT_EQ(ToHex(components->modulus.data, components->modulus.length), Hex(key.modulus));
    EXPECT_EQ(ToHex(components->exponent.data, components->exponent.length), "010001");
    DestroyKeyHolder(&holder);
}

}  // namespace
