// Reads sealed envelopes independently of the toolkit's reader: the content key comes back
// through the public-key recipient with OpenSSL's RSA decryption and the private key, and
// OpenSSL's RC4 under key || salt decrypts the joined chunks into the attribute set, 24 80,
// the framed data, 00 00 and the MAC. libcrypto is an independent reference for tests only.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <qor/toolkit.h>

#include <memory>
#include <random>

#include "ber.h"
#include "envelope_streams.h"
#include "rc4_mac.h"

namespace {

using namespace qor::test;
using qor::toolkit::BerElement;
using qor::toolkit::BerRead;
using qor::toolkit::BerReadExpect;

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

Bytes PublicKeyDer(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    int n = i2d_PUBKEY(key, &der);
    Bytes out(der, der + (n > 0 ? n : 0));
    OPENSSL_free(der);
    return out;
}

Bytes RsaDecrypt(EVP_PKEY* key, const Bytes& in) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    Bytes out(512);
    size_t n = out.size();
    bool ok = ctx != nullptr && EVP_PKEY_decrypt_init(ctx) == 1 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
              EVP_PKEY_decrypt(ctx, out.data(), &n, in.data(), in.size()) == 1;
    EVP_PKEY_CTX_free(ctx);
    out.resize(ok ? n : 0);
    return out;
}

Bytes Rc4(const Bytes& key, const Bytes& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CIPHER* rc4 = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    Bytes out(in.size() + 16);
    int n = 0;
    bool ok = ctx != nullptr && rc4 != nullptr &&
              EVP_CipherInit_ex2(ctx, rc4, nullptr, nullptr, 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) == 1 &&
              EVP_CipherInit_ex2(ctx, nullptr, key.data(), nullptr, 0, nullptr) == 1 &&
              EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1;
    EVP_CIPHER_free(rc4);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(ok ? static_cast<size_t>(n) : 0);
    return out;
}

// The MAC as described: B[p] = P[B[p] ^ B[p+1 mod n]] ^ x over key || salt, the data and n zero
// bytes, read from position p round.
Bytes ReferenceMac(const Bytes& keyAndSalt, const Bytes& data, size_t n) {
    Bytes b(n, 0);
    size_t p = 0;
    auto absorb = [&](uint8_t x) {
        b[p] = static_cast<uint8_t>(qor::toolkit::kMacPermutation[b[p] ^ b[(p + 1) % n]] ^ x);
        p = (p + 1) % n;
    };
    for (uint8_t x : keyAndSalt)
        absorb(x);
    for (uint8_t x : data)
        absorb(x);
    for (size_t k = 0; k < n; ++k)
        absorb(0);
    Bytes mac;
    for (size_t k = 0; k < n; ++k)
        mac.push_back(b[(p + k) % n]);
    return mac;
}

Bytes Hex(const char* h) {
    return FromHex(h);
}

class EnvelopeCrossCheck : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { key_.reset(EVP_RSA_gen(1024)); }
    static void TearDownTestSuite() { key_.reset(); }
    static Key key_;
};

Key EnvelopeCrossCheck::key_;

TEST_F(EnvelopeCrossCheck, PublicKeyRecipientAndContentReadWithOpenSsl) {
    ASSERT_NE(key_, nullptr);
    const Bytes spki = PublicKeyDer(key_.get());
    Bytes plain(20000);
    std::mt19937 rng(77);
    for (auto& x : plain)
        x = static_cast<uint8_t>(rng());
    SealOptions options;
    options.publicKeys = {spki};
    options.fileName = "report.doc";
    options.userName = "Alice";
    Bytes sealed;
    ASSERT_EQ(Seal(plain, options, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    ASSERT_EQ(parts.recipientInfos.size(), 2u);

    // RecipientInfo { 1, { 1.2.840.113549.1.9.12, key }, rsaEncryption, encryptedKey }
    const Bytes& info = parts.recipientInfos[1];
    const uint8_t* p = info.data();
    BerElement outer, version, identity, type, params, algorithm, wrapped;
    ASSERT_TRUE(BerReadExpect(p, info.data() + info.size(), 0x30, outer));
    p = outer.content;
    const uint8_t* end = outer.content + outer.length;
    ASSERT_TRUE(BerReadExpect(p, end, 0x02, version));
    ASSERT_TRUE(BerReadExpect(p, end, 0x30, identity));
    ASSERT_TRUE(BerRead(p, end, algorithm));
    ASSERT_TRUE(BerReadExpect(p, end, 0x04, wrapped));
    EXPECT_EQ(p, end);
    const uint8_t* q = identity.content;
    const uint8_t* identityEnd = identity.content + identity.length;
    ASSERT_TRUE(BerReadExpect(q, identityEnd, 0x06, type));
    ASSERT_TRUE(BerRead(q, identityEnd, params));
    EXPECT_EQ(ToHex(type.content, type.length), "2a864886f70d01090c");
    // The parameters are the key's canonical encoding: what OpenSSL writes for it.
    EXPECT_EQ(ToHex(params.content - params.headerLength, params.headerLength + params.length),
              ToHex(spki));
    EXPECT_EQ(ToHex(algorithm.content - algorithm.headerLength,
                    algorithm.headerLength + algorithm.length),
              "300d06092a864886f70d0101010500");
    EXPECT_EQ(wrapped.length, 128u);

    const Bytes contentKey =
        RsaDecrypt(key_.get(), Bytes(wrapped.content, wrapped.content + wrapped.length));
    ASSERT_EQ(contentKey.size(), 5u);
    Bytes keyAndSalt = contentKey;
    keyAndSalt.insert(keyAndSalt.end(), parts.contentAlgorithm.begin() + 16,
                      parts.contentAlgorithm.begin() + 21);
    Bytes cipher;
    for (const Bytes& c : parts.chunks)
        cipher.insert(cipher.end(), c.begin(), c.end());
    const Bytes content = Rc4(keyAndSalt, cipher);
    ASSERT_EQ(content.size(), cipher.size());

    // The attribute set in DER order: by complete encodings, so the shorter user name first.
    const Bytes attributes =
        Hex("3133"
            "3015 06092a864886f70d040102 3108 1306416c69636500"
            "301a 06092a864886f70d040101 310d 140b7265706f72742e646f6300");
    size_t at = 0;
    ASSERT_EQ(ToHex(Bytes(content.begin(), content.begin() + static_cast<long>(attributes.size()))),
              ToHex(attributes));
    at += attributes.size();
    EXPECT_EQ(content[at], 0x24);
    EXPECT_EQ(content[at + 1], 0x80);
    at += 2;
    Bytes data;
    while (content[at] == 0x04) {
        size_t n = content[at + 1] == 0x82   ? (content[at + 2] << 8 | content[at + 3])
                   : content[at + 1] == 0x81 ? content[at + 2]
                                             : content[at + 1];
        at += content[at + 1] == 0x82 ? 4 : content[at + 1] == 0x81 ? 3 : 2;
        data.insert(data.end(), content.begin() + static_cast<long>(at),
                    content.begin() + static_cast<long>(at + n));
        at += n;
    }
    EXPECT_EQ(data, plain);
    EXPECT_EQ(content[at], 0x00);
    EXPECT_EQ(content[at + 1], 0x00);
    at += 2;
    ASSERT_EQ(content.size() - at, 4u);
    const Bytes covered(content.begin(), content.begin() + static_cast<long>(at));
    EXPECT_EQ(ToHex(Bytes(content.begin() + static_cast<long>(at), content.end())),
              ToHex(ReferenceMac(keyAndSalt, covered, 4)));
}

TEST_F(EnvelopeCrossCheck, PublicKeyRecipientFirstStillOpensWithThePassword) {
    ASSERT_NE(key_, nullptr);
    SealOptions options;
    options.publicKeys = {PublicKeyDer(key_.get())};
    options.publicKeysFirst = true;
    Bytes sealed;
    ASSERT_EQ(Seal(Bytes(5000, 0x61), options, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    ASSERT_EQ(parts.recipientInfos.size(), 2u);
    EXPECT_NE(ToHex(parts.recipientInfos[0]).find("06092a864886f70d01090c"), std::string::npos)
        << "the public-key recipient comes first";
    OpenResult opened = Open(sealed, {"secret1"});
    EXPECT_EQ(opened.status, kStatusOk);
    EXPECT_EQ(opened.plain, Bytes(5000, 0x61));

    // An envelope that holds only the public key cannot open anything.
    EnvelopeObject* e = nullptr;
    ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
    const Bytes spki = PublicKeyDer(key_.get());
    ASSERT_EQ(EnvelopeAddPublicKey(e, spki.data(), static_cast<unsigned int>(spki.size())),
              kStatusOk);
    MemoryReader reader(sealed);
    MemoryWriter writer;
    StreamRecord in = reader.record(), out = writer.record();
    EXPECT_EQ(EnvelopeOpen(&out, nullptr, e, &in, nullptr), kStatusNoRecipientMatched);
    EXPECT_TRUE(writer.data.empty());
    EnvelopeDestroy(&e);
}

TEST_F(EnvelopeCrossCheck, OversizedModulusFailsTheSeal) {
    // A 2049-bit modulus decodes as a key but is refused when the wrapping starts.
    auto tlv = [](uint8_t tag, const Bytes& content) {
        uint8_t header[4];
        size_t h = qor::toolkit::BerWriteHeader(header, tag, content.size());
        Bytes out(header, header + h);
        out.insert(out.end(), content.begin(), content.end());
        return out;
    };
    Bytes modulus(257, 0xff);
    modulus[0] = 0x01;
    Bytes numbers = tlv(0x02, modulus);
    const Bytes exponent = tlv(0x02, Hex("010001"));
    numbers.insert(numbers.end(), exponent.begin(), exponent.end());
    Bytes bits = {0x00};
    const Bytes rsaKey = tlv(0x30, numbers);
    bits.insert(bits.end(), rsaKey.begin(), rsaKey.end());
    Bytes body = Hex("300d06092a864886f70d0101010500");
    const Bytes bitString = tlv(0x03, bits);
    body.insert(body.end(), bitString.begin(), bitString.end());
    const Bytes spki = tlv(0x30, body);

    SealOptions options;
    options.publicKeys = {spki};
    Bytes sealed;
    EXPECT_EQ(Seal(Bytes(10, 1), options, sealed), kStatusEnvelopeMalformed);
}

}  // namespace
