// Cross-checks RSA public-key encryption, the key's BER form and modular exponentiation against
// OpenSSL's libcrypto: keys made by OpenSSL, messages padded and encrypted by the toolkit and
// decrypted by OpenSSL. libcrypto is an independent reference for these tests only.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <qor/toolkit.h>

#include <memory>
#include <random>
#include <vector>

#include "bignum.h"
#include "kinds.h"
#include "status.h"
#include "vector_file.h"

namespace qor::toolkit {
namespace {

using test::Bytes;
using test::ToHex;

struct PkeyDeleter {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct BnDeleter {
    void operator()(BIGNUM* p) const { BN_free(p); }
};
struct BnCtxDeleter {
    void operator()(BN_CTX* p) const { BN_CTX_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;
using BnPtr = std::unique_ptr<BIGNUM, BnDeleter>;

PkeyPtr GenerateKey(int bits, unsigned long exponent) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    BnPtr e(BN_new());
    EVP_PKEY* key = nullptr;
    if (!ctx || !e || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) != 1 ||
        BN_set_word(e.get(), exponent) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()) != 1 ||
        EVP_PKEY_generate(ctx.get(), &key) != 1) {
        ADD_FAILURE() << "OpenSSL could not make a " << bits << "-bit key";
    }
    return PkeyPtr(key);
}

Bytes BnBytes(const BIGNUM* bn) {
    Bytes out(static_cast<size_t>(BN_num_bytes(bn)));
    BN_bn2bin(bn, out.data());
    return out;
}

Bytes KeyParam(EVP_PKEY* key, const char* name) {
    BIGNUM* bn = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &bn) != 1) {
        ADD_FAILURE() << "no parameter " << name;
        return {};
    }
    Bytes out = BnBytes(bn);
    BN_free(bn);
    return out;
}

// SubjectPublicKeyInfo in DER.
Bytes PublicKeyDer(EVP_PKEY* key) {
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(key, &der);
    if (length <= 0) return {};
    Bytes out(der, der + length);
    OPENSSL_free(der);
    return out;
}

// Decrypts with the private key; padding is RSA_PKCS1_PADDING or RSA_NO_PADDING.
bool OpenSslDecrypt(EVP_PKEY* key, const Bytes& in, int padding, Bytes& out) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    size_t length = 0;
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) != 1 ||
        EVP_PKEY_decrypt(ctx.get(), nullptr, &length, in.data(), in.size()) != 1) {
        return false;
    }
    out.resize(length);
    if (EVP_PKEY_decrypt(ctx.get(), out.data(), &length, in.data(), in.size()) != 1) return false;
    out.resize(length);
    return true;
}

struct Holder {
    KeyHolder* p = nullptr;
    Holder() { EXPECT_EQ(CreateKeyHolder(&p), kAlgOk); }
    ~Holder() { DestroyKeyHolder(&p); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
};

struct Instance {
    AlgInstance* p = nullptr;
    Instance() { EXPECT_EQ(CreateAlgInstance(&p), kAlgOk); }
    ~Instance() { DestroyAlgInstance(&p); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
};

int Encrypt(KeyHolder* key, const Bytes& data, AlgInstance* random, Bytes& out) {
    Instance i;
    int status = SetAlgParams(i.p, AlgKindRsaPkcs1(), nullptr);
    if (status == kAlgOk) status = AlgEncryptInit(i.p, key, GeneralRegistry());
    uint32_t n = 0;
    if (status == kAlgOk) {
        status = AlgCipherUpdate(i.p, nullptr, &n, 0, data.data(),
                                 static_cast<uint32_t>(data.size()), random, nullptr);
    }
    out.assign(256, 0);
    if (status == kAlgOk) status = AlgCipherFinal(i.p, out.data(), &n, 256, random, nullptr);
    out.resize(n);
    return status;
}

class RsaCrossCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RandomCreate(&random_), kStatusOk);
        Bytes seed(256);
        for (auto& b : seed)
            b = static_cast<uint8_t>(rng_());
        ASSERT_EQ(RandomSeed(random_, seed.data(), 256), kStatusOk);
    }
    void TearDown() override { RandomDestroy(&random_); }

    Bytes RandomBytes(size_t n) {
        Bytes out(n);
        for (auto& b : out)
            b = static_cast<uint8_t>(rng_());
        return out;
    }

    RandomObject* random_ = nullptr;
    std::mt19937 rng_{20240613};
};

TEST_F(RsaCrossCheck, OpenSslDecryptsWhatWeEncrypt) {
    for (int bits : {512, 1024, 2048}) {
        for (unsigned long exponent : {3ul, 65537ul}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, e = " << exponent);
            PkeyPtr pkey = GenerateKey(bits, exponent);
            ASSERT_TRUE(pkey);
            const Bytes n = KeyParam(pkey.get(), OSSL_PKEY_PARAM_RSA_N);
            const Bytes e = KeyParam(pkey.get(), OSSL_PKEY_PARAM_RSA_E);
            const size_t k = n.size();
            Holder key;
            RsaPublicKey components = {{n.data(), static_cast<uint32_t>(n.size())},
                                       {e.data(), static_cast<uint32_t>(e.size())}};
            ASSERT_EQ(SetKey(key.p, KeyKindRsaPublic(), &components), kAlgOk);

            for (int round = 0; round < 12; ++round) {
                const size_t length =
                    round == 0 ? k - 11 : (round == 1 ? 1 : 1 + rng_() % (k - 11));
                const Bytes data = RandomBytes(length);
                Bytes c;
                ASSERT_EQ(Encrypt(key.p, data, RandomInstanceOf(random_), c), kAlgOk);
                ASSERT_EQ(c.size(), k);

                Bytes plain;
                ASSERT_TRUE(OpenSslDecrypt(pkey.get(), c, RSA_PKCS1_PADDING, plain));
                EXPECT_EQ(ToHex(plain), ToHex(data)) << length;

                Bytes block;  // the whole block, to see every padding byte
                ASSERT_TRUE(OpenSslDecrypt(pkey.get(), c, RSA_NO_PADDING, block));
                ASSERT_EQ(block.size(), k);
                EXPECT_EQ(block[0], 0x00);
                EXPECT_EQ(block[1], 0x02);
                for (size_t i = 2; i < k - length - 1; ++i)
                    ASSERT_NE(block[i], 0x00) << "padding byte " << i;
                EXPECT_EQ(block[k - length - 1], 0x00);
            }
            Bytes c;
            EXPECT_EQ(Encrypt(key.p, RandomBytes(k - 10), RandomInstanceOf(random_), c),
                      kAlgBadLength);
        }
    }
}

TEST_F(RsaCrossCheck, KeyBerMatchesOpenSslPublicKeyDer) {
    for (int bits : {512, 1024, 2048}) {
        PkeyPtr pkey = GenerateKey(bits, 65537);
        ASSERT_TRUE(pkey);
        const Bytes der = PublicKeyDer(pkey.get());
        const Bytes n = KeyParam(pkey.get(), OSSL_PKEY_PARAM_RSA_N);
        const Bytes e = KeyParam(pkey.get(), OSSL_PKEY_PARAM_RSA_E);

        Holder fromComponents;  // our encoding equals OpenSSL's DER byte for byte
        RsaPublicKey components = {{n.data(), static_cast<uint32_t>(n.size())},
                                   {e.data(), static_cast<uint32_t>(e.size())}};
        ASSERT_EQ(SetKey(fromComponents.p, KeyKindRsaPublic(), &components), kAlgOk);
        const void* block = nullptr;
        ASSERT_EQ(GetKey(fromComponents.p, KeyKindRsaPublicBer(), &block), kAlgOk);
        const auto* ber = static_cast<const ByteSpan*>(block);
        EXPECT_EQ(ToHex(ber->data, ber->length), ToHex(der)) << bits;

        Holder fromDer;  // and OpenSSL's DER reads back to the same numbers
        ByteSpan span = {der.data(), static_cast<uint32_t>(der.size())};
        ASSERT_EQ(SetKey(fromDer.p, KeyKindRsaPublicBer(), &span), kAlgOk);
        ASSERT_EQ(GetKey(fromDer.p, KeyKindRsaPublic(), &block), kAlgOk);
        const auto* key = static_cast<const RsaPublicKey*>(block);
        EXPECT_EQ(ToHex(key->modulus.data, key->modulus.length), ToHex(n));
        EXPECT_EQ(ToHex(key->exponent.data, key->exponent.length), ToHex(e));
    }
}

TEST_F(RsaCrossCheck, ModExpMatchesBnModExp) {
    std::unique_ptr<BN_CTX, BnCtxDeleter> bnCtx(BN_CTX_new());
    ASSERT_TRUE(bnCtx);
    for (int round = 0; round < 60; ++round) {
        // Moduli of 33 to 2048 bits, mostly full size; bases sometimes longer than the modulus;
        // exponents of every length up to the modulus's.
        const size_t modulusBytes = round % 3 == 0 ? 5 + rng_() % 252 : 256;
        Bytes m = RandomBytes(modulusBytes);
        m[0] |= 0x80;
        m.back() |= 1;
        const Bytes b = RandomBytes(round % 5 == 0 ? modulusBytes + 1 + rng_() % 20 : modulusBytes);
        const Bytes e = RandomBytes(1 + rng_() % modulusBytes);

        BigNum ours[4] = {};
        ASSERT_EQ(BigNumFromBytes(ours[0], b.data(), b.size()), kMethodOk);
        ASSERT_EQ(BigNumFromBytes(ours[1], e.data(), e.size()), kMethodOk);
        ASSERT_EQ(BigNumFromBytes(ours[2], m.data(), m.size()), kMethodOk);
        ASSERT_EQ(BigNumModExp(ours[3], ours[0], ours[1], ours[2], nullptr), kMethodOk);
        Bytes got(modulusBytes);
        ASSERT_EQ(BigNumToBytes(ours[3], got.data(), got.size()), kMethodOk);
        for (BigNum& x : ours)
            BigNumRelease(x);

        BnPtr bb(BN_bin2bn(b.data(), static_cast<int>(b.size()), nullptr));
        BnPtr be(BN_bin2bn(e.data(), static_cast<int>(e.size()), nullptr));
        BnPtr bm(BN_bin2bn(m.data(), static_cast<int>(m.size()), nullptr));
        BnPtr br(BN_new());
        ASSERT_EQ(BN_mod_exp(br.get(), bb.get(), be.get(), bm.get(), bnCtx.get()), 1);
        Bytes want(modulusBytes);
        ASSERT_EQ(BN_bn2binpad(br.get(), want.data(), static_cast<int>(want.size())),
                  static_cast<int>(want.size()));
        EXPECT_EQ(ToHex(got), ToHex(want)) << "round " << round;
    }
}

}  // namespace
}  // namespace qor::toolkit
