// The algorithm tier: parameter representations (the BER forms written into stored files),
// key holders, the registry walk and the codes of misuse.
#include <gtest/gtest.h>

#include <memory>

#include "algorithm_tier.h"
#include "block_cbc.h"
#include "kinds.h"
#include "md5.h"
#include "status.h"
#include "vector_file.h"

namespace {

using namespace qor::toolkit;
using qor::test::Bytes;
using qor::test::FromHex;
using qor::test::ToHex;

struct Instance {
    AlgInstance* p = nullptr;
    Instance() { EXPECT_EQ(CreateAlgInstance(&p), kAlgOk); }
    ~Instance() { DestroyAlgInstance(&p); }
};

struct Key {
    KeyHolder* p = nullptr;
    explicit Key(const Bytes& bytes) {
        EXPECT_EQ(CreateKeyHolder(&p), kAlgOk);
        ByteSpan span = {bytes.data(), static_cast<uint32_t>(bytes.size())};
        EXPECT_EQ(SetKey(p, KeyKindByteString(), &span), kAlgOk);
    }
    ~Key() { DestroyKeyHolder(&p); }
};

std::string BerOf(AlgInstance* instance, const AlgKind* berKind) {
    const void* block = nullptr;
    if (GetAlgParams(instance, berKind, &block) != kAlgOk) return "<none>";
    const auto* span = static_cast<const ByteSpan*>(block);
    return ToHex(span->data, span->length);
}

TEST(AlgorithmTier, Rc4MacIdentifierWithSaltIsByteExact) {
    Instance i;
    const Bytes salt = FromHex("0102030405");
    Rc4MacParams p = {salt.data(), 5, 4};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindRc4Mac(), &p), kAlgOk);
    EXPECT_EQ(BerOf(i.p, AlgKindRc4MacBer()),
              "3016"
              "06082a864886f70d0305"
              "300a"
              "04050102030405"
              "020104");
}

TEST(AlgorithmTier, Rc4MacIdentifierLeavesOutAnEmptySalt) {
    Instance i;
    Rc4MacParams p = {nullptr, 0, 4};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindRc4Mac(), &p), kAlgOk);
    EXPECT_EQ(BerOf(i.p, AlgKindRc4MacBer()), "300f06082a864886f70d03053003020104");
}

TEST(AlgorithmTier, Rc4MacIdentifierDecodesBackToTheSameParameters) {
    const Bytes ber = FromHex("301606082a864886f70d0305300a04050a0b0c0d0e020108");
    Instance i;
    ByteSpan item = {ber.data(), static_cast<uint32_t>(ber.size())};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindRc4MacBer(), &item), kAlgOk);
    const void* block = nullptr;
    ASSERT_EQ(GetAlgParams(i.p, AlgKindRc4Mac(), &block), kAlgOk);
    const auto* p = static_cast<const Rc4MacParams*>(block);
    EXPECT_EQ(ToHex(p->salt, p->saltLength), "0a0b0c0d0e");
    EXPECT_EQ(p->macLength, 8u);
    EXPECT_EQ(SetAlgParams(i.p, AlgKindRc4Mac(), p), kAlgParamsAlreadySet);
}

TEST(AlgorithmTier, Rc4MacIdentifierRefusals) {
    struct Case {
        const char* hex;
        int status;
    } cases[] = {
        // MAC length 1 and 17 are out of range.
        {"301606082a864886f70d0305300a04050a0b0c0d0e020101", kAlgParamOutOfRange},
        {"301606082a864886f70d0305300a04050a0b0c0d0e020111", kAlgParamOutOfRange},
        // Another algorithm's identifier.
        {"301606082a864886f70d0306300a04050a0b0c0d0e020104", kAlgUnknownAlgorithm},
        // Negative MAC length, trailing garbage, truncation, indefinite length.
        {"301606082a864886f70d0305300a04050a0b0c0d0e0201f4", kAlgBadData},
        {"301606082a864886f70d0305300a04050a0b0c0d0e02010400", kAlgBadData},
        {"301606082a864886f70d0305300a04050a0b0c0d0e0201", kAlgBadData},
        {"308006082a864886f70d0305300a04050a0b0c0d0e0201040000", kAlgBadData},
        {"", kAlgBadData},
    };
    for (const Case& c : cases) {
        Instance i;
        Bytes ber = FromHex(c.hex);
        ByteSpan item = {ber.data(), static_cast<uint32_t>(ber.size())};
        EXPECT_EQ(SetAlgParams(i.p, AlgKindRc4MacBer(), &item), c.status) << c.hex;
        EXPECT_EQ(i.p->paramCount, 0u) << "a refused block leaves nothing behind";
    }
}

TEST(AlgorithmTier, PasswordXorIdentifierIsByteExactAndChecksTheSaltLength) {
    Instance i;
    const Bytes salt = FromHex("0011223344556677");
    PbeXorParams p = {salt.data(), 1};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindPbeMd5Xor(), &p), kAlgOk);
    const std::string ber = BerOf(i.p, AlgKindPbeMd5XorBer());
    EXPECT_EQ(ber,
              "301a"
              "06092a864886f70d010509"
              "300d"
              "04080011223344556677"
              "020101");

    Instance j;
    Bytes bytes = FromHex(ber);
    ByteSpan item = {bytes.data(), static_cast<uint32_t>(bytes.size())};
    ASSERT_EQ(SetAlgParams(j.p, AlgKindPbeMd5XorBer(), &item), kAlgOk);

    Instance k;
    Bytes shortSalt = FromHex("301906092a864886f70d010509300c040700112233445566020101");
    ByteSpan bad = {shortSalt.data(), static_cast<uint32_t>(shortSalt.size())};
    EXPECT_EQ(SetAlgParams(k.p, AlgKindPbeMd5XorBer(), &bad), kAlgBadData);
}

// The content-key wrapping: a 5-byte value XOR the first 5 bytes of MD5(MD5(D)), where
// D = MD5(secret || salt) for one iteration.
TEST(AlgorithmTier, PasswordXorWrapsWithTheGeneratorKeyStream) {
    const Bytes salt = FromHex("0102030405060708");
    const Bytes secret = {'s', 'h', 'a', 'r', 'e', 'd', '-', 'k', 'e', 'y'};
    const Bytes value = FromHex("a1b2c3d4e5");
    Instance i;
    PbeXorParams p = {salt.data(), 1};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindPbeMd5Xor(), &p), kAlgOk);
    Key key(secret);
    ASSERT_EQ(AlgEncryptInit(i.p, key.p, GeneralRegistry()), kAlgOk);
    uint8_t out[5];
    uint32_t n = 0, m = 0;
    ASSERT_EQ(AlgCipherUpdate(i.p, out, &n, 5, value.data(), 5, nullptr, nullptr), kAlgOk);
    ASSERT_EQ(AlgCipherFinal(i.p, out + n, &m, 0, nullptr, nullptr), kAlgOk);
    ASSERT_EQ(n + m, 5u);

    Bytes joined = secret;
    joined.insert(joined.end(), salt.begin(), salt.end());
    uint8_t d[16], s0[16], o[16];
    Md5(joined.data(), joined.size(), d);
    Md5(d, 16, s0);
    Md5(s0, 16, o);
    Bytes expected(5);
    for (int k = 0; k < 5; ++k)
        expected[k] = static_cast<uint8_t>(value[k] ^ o[k]);
    EXPECT_EQ(ToHex(out, 5), ToHex(expected));

    // Decryption is the same key stream.
    Instance j;
    ASSERT_EQ(SetAlgParams(j.p, AlgKindPbeMd5Xor(), &p), kAlgOk);
    ASSERT_EQ(AlgDecryptInit(j.p, key.p, GeneralRegistry()), kAlgOk);
    uint8_t back[5];
    ASSERT_EQ(AlgCipherUpdate(j.p, back, &n, 5, out, 5, nullptr, nullptr), kAlgOk);
    EXPECT_EQ(ToHex(back, 5), ToHex(value));
}

TEST(AlgorithmTier, PasswordXorRefusesZeroIterations) {
    const Bytes salt(8, 1);
    Instance i;
    PbeXorParams p = {salt.data(), 0};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindPbeMd5Xor(), &p), kAlgOk);
    Key key({1, 2, 3});
    EXPECT_EQ(AlgEncryptInit(i.p, key.p, GeneralRegistry()), kAlgBadData);
}

TEST(AlgorithmTier, MisuseCodes) {
    Instance i;
    uint8_t buf[16];
    uint32_t n = 0;
    Key key({1, 2, 3, 4, 5});
    EXPECT_EQ(AlgEncryptInit(i.p, key.p, GeneralRegistry()), kAlgNoParams);
    EXPECT_EQ(AlgCipherUpdate(i.p, buf, &n, 16, buf, 1, nullptr, nullptr), kAlgNotInitialised);
    EXPECT_EQ(AlgCipherFinal(i.p, buf, &n, 16, nullptr, nullptr), kAlgNotInitialised);
    EXPECT_EQ(SetAlgParams(i.p, nullptr, nullptr), kAlgKindAccessorFailed);
    EXPECT_EQ(AlgRandomGenerate(i.p, buf, 4), kAlgRandomNotSeeded);
    EXPECT_EQ(AlgRandomSeed(i.p, buf, 4), kAlgRandomNotSeeded);

    AlgInstance stray = {};  // not made by CreateAlgInstance: its self pointer does not match
    AlgInstance* bogus = &stray;
    EXPECT_EQ(AlgRandomGenerate(bogus, buf, 4), kAlgInvalidRandom);
    EXPECT_EQ(AlgCipherUpdate(bogus, buf, &n, 16, buf, 1, nullptr, nullptr), kAlgInvalidInstance);
    DestroyAlgInstance(&bogus);  // not ours: only the handle is cleared
    EXPECT_EQ(bogus, nullptr);

    // The digest registry has no cipher; the random registry has no digest.
    Rc4MacParams p = {nullptr, 0, 4};
    ASSERT_EQ(SetAlgParams(i.p, AlgKindRc4Mac(), &p), kAlgOk);
    EXPECT_EQ(AlgEncryptInit(i.p, key.p, DigestRegistry()), kAlgNoMethod);
    Instance d;
    ASSERT_EQ(SetAlgParams(d.p, AlgKindMd5(), nullptr), kAlgOk);
    EXPECT_EQ(AlgDigestInit(d.p, RandomRegistry()), kAlgNoMethod);
    ASSERT_EQ(AlgDigestInit(d.p, GeneralRegistry()), kAlgOk);
    EXPECT_EQ(AlgDigestFinal(d.p, buf, &n, 15), kAlgOutputTooSmall);
}

TEST(AlgorithmTier, KeyHolderIsFilledOnceAndConvertsOnDemand) {
    KeyHolder* h = nullptr;
    ASSERT_EQ(CreateKeyHolder(&h), kAlgOk);
    const void* block = nullptr;
    EXPECT_EQ(GetKey(h, KeyKindByteString(), &block), kAlgKeyHolderEmpty);
    const Bytes eight = FromHex("0123456789abcdef");
    ByteSpan span = {eight.data(), 8};
    ASSERT_EQ(SetKey(h, KeyKindByteString(), &span), kAlgOk);
    EXPECT_EQ(SetKey(h, KeyKindByteString(), &span), kAlgKeyAlreadySet);
    ASSERT_EQ(GetKey(h, KeyKindDes8(), &block), kAlgOk);
    EXPECT_EQ(ToHex(static_cast<const uint8_t*>(block), 8), "0123456789abcdef");
    DestroyKeyHolder(&h);
    EXPECT_EQ(h, nullptr);

    Key seven({1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(GetKey(seven.p, KeyKindDes8(), &block), kAlgUnknownAlgorithm);
    EXPECT_EQ(GetKey(nullptr, KeyKindDes8(), &block), kAlgInvalidKeyHolder);
}

// A DES-CBC instance runs only with a key that yields an 8-byte DES key: the registry walk
// skips the entry when the holder cannot produce the kind it requires.
TEST(AlgorithmTier, RegistryWalkRequiresAConvertibleKey) {
    const Bytes iv(8, 0);
    DesCbcParams p = {iv.data()};
    Instance i;
    ASSERT_EQ(SetAlgParams(i.p, AlgKindDesCbc(), &p), kAlgOk);
    Key seven({1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(AlgEncryptInit(i.p, seven.p, GeneralRegistry()), kAlgNoMethod);
    Key eight(FromHex("0123456789abcdef"));
    ASSERT_EQ(AlgEncryptInit(i.p, eight.p, GeneralRegistry()), kAlgOk);
    // FIPS 81's first block under a zero IV is plain DES of "Now is t".
    const Bytes plain = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
    uint8_t out[16];
    uint32_t n = 0;
    ASSERT_EQ(AlgCipherUpdate(i.p, out, &n, 16, plain.data(), 8, nullptr, nullptr), kAlgOk);
    EXPECT_EQ(ToHex(out, n), "3fa40e8a984d4815");
}

TEST(Cbc, PaddingIsCheckedOnDecryption) {
    const Bytes key = FromHex("00112233445566778899aabbccddeeff");
    const Bytes iv(8, 0x42);
    auto seal = [&](const Bytes& plain) {
        CbcContext c;
        EXPECT_EQ(CbcInitRc2(c, key.data(), key.size(), 128, iv.data(), false), kMethodOk);
        Bytes out(plain.size() + 8);
        uint32_t n = 0, m = 0;
        EXPECT_EQ(CbcUpdate(c, out.data(), &n, out.size(), plain.data(), plain.size()), kMethodOk);
        EXPECT_EQ(CbcFinal(c, out.data() + n, &m, out.size() - n), kMethodOk);
        out.resize(n + m);
        return out;
    };
    auto open = [&](const Bytes& sealed, Bytes& plain, size_t room) {
        CbcContext c;
        EXPECT_EQ(CbcInitRc2(c, key.data(), key.size(), 128, iv.data(), true), kMethodOk);
        plain.assign(sealed.size(), 0);
        uint32_t n = 0, m = 0;
        int s = CbcUpdate(c, plain.data(), &n, plain.size(), sealed.data(), sealed.size());
        if (s != kMethodOk) return s;
        s = CbcFinal(c, plain.data() + n, &m, room);
        plain.resize(n + m);
        return s;
    };
    for (size_t len = 0; len <= 17; ++len) {
        Bytes plain(len, 0x5c), back;
        Bytes sealed = seal(plain);
        EXPECT_EQ(sealed.size(), len + 8 - len % 8);
        EXPECT_EQ(open(sealed, back, 8), kMethodOk);
        EXPECT_EQ(back, plain);
    }
    // Decrypting with padding bytes that do not all agree fails; so does an empty stream and
    // a final without room for what it must release.
    Bytes sealed = seal(Bytes(5, 1)), back;
    sealed[7] ^= 0x01;  // the single block: flips a plaintext byte inside the padding
    EXPECT_EQ(open(sealed, back, 8), kMethodBadData);
    EXPECT_EQ(open({}, back, 8), kMethodBadLength);
    EXPECT_EQ(open(seal(Bytes(5, 1)), back, 4), kMethodOutputTooSmall);
    EXPECT_EQ(MapMethodStatus(kMethodBadData), kAlgBadData);
    EXPECT_EQ(MapMethodStatus(kMethodOutputTooSmall), kAlgOutputTooSmall);
}

TEST(StatusMapping, AlgorithmCodesBecomeServiceCodes) {
    EXPECT_EQ(MapAlgStatus(0), 0);
    EXPECT_EQ(MapAlgStatus(1300), 1300);
    EXPECT_EQ(MapAlgStatus(kAlgOutOfMemory), kStatusOutOfMemory);
    EXPECT_EQ(MapAlgStatus(kAlgCancelled), kStatusCancelled);
    EXPECT_EQ(MapAlgStatus(kAlgDataError), kStatusGeneralFailure);
    EXPECT_EQ(MapAlgStatus(kAlgBadLength), kStatusBadInputLength);
    EXPECT_EQ(MapAlgStatus(kAlgOutputTooSmall), kStatusOutputTooSmall);
    EXPECT_EQ(MapAlgStatus(kAlgTooLong), kStatusEncodingTooLong);
    EXPECT_EQ(MapAlgStatus(kAlgBadData), kStatusGeneralFailure);
    EXPECT_EQ(MapMethodStatus(kMethodCancelled), kAlgCancelled);
    EXPECT_EQ(MapMethodStatus(kMethodOutOfMemory), kAlgOutOfMemory);
    EXPECT_EQ(MapMethodStatus(99), kAlgDataError);
}

}  // namespace
