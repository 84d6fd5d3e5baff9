// Cross-checks RSA private keys against OpenSSL's libcrypto: keys we generate pass OpenSSL's
// key check and its primality test and decrypt in OpenSSL; keys OpenSSL generates pass our check;
// whatever OpenSSL encrypts for either kind of key, we decrypt. libcrypto is an independent
// reference for these tests only.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>
#include <qor/rsa_private.h>

#include <memory>
#include <random>

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
    void operator()(BIGNUM* p) const { BN_clear_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;
using BnPtr = std::unique_ptr<BIGNUM, BnDeleter>;

BnPtr ToBn(const SecureBuffer& b) {
    return BnPtr(BN_bin2bn(b.data(), static_cast<int>(b.size()), nullptr));
}

SecureBuffer FromBn(const BIGNUM* bn) {
    SecureBuffer out(static_cast<size_t>(BN_num_bytes(bn)));
    BN_bn2bin(bn, out.data());
    return out;
}

// Our key's eight numbers handed to OpenSSL as they are.
PkeyPtr ToOpenSsl(const RsaPrivateKey& key) {
    const SecureBuffer* parts[] = {&key.modulus,   &key.publicExponent, &key.privateExponent,
                                   &key.prime1,    &key.prime2,         &key.exponent1,
                                   &key.exponent2, &key.coefficient};
    const char* names[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                           OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                           OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                           OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
    std::vector<BnPtr> bns;
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    for (int k = 0; k < 8; ++k) {
        bns.push_back(ToBn(*parts[k]));
        OSSL_PARAM_BLD_push_BN(bld, names[k], bns.back().get());
    }
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* pkey = nullptr;
    EXPECT_EQ(EVP_PKEY_fromdata_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_KEYPAIR, params), 1);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    return PkeyPtr(pkey);
}

RsaPrivateKey FromOpenSsl(EVP_PKEY* pkey) {
    const char* names[] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                           OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                           OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                           OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
    RsaPrivateKey key;
    SecureBuffer* parts[] = {&key.modulus,   &key.publicExponent, &key.privateExponent,
                             &key.prime1,    &key.prime2,         &key.exponent1,
                             &key.exponent2, &key.coefficient};
    for (int k = 0; k < 8; ++k) {
        BIGNUM* bn = nullptr;
        EXPECT_EQ(EVP_PKEY_get_bn_param(pkey, names[k], &bn), 1) << names[k];
        if (bn != nullptr) *parts[k] = FromBn(bn);
        BN_clear_free(bn);
    }
    return key;
}

PkeyPtr OpenSslKey(int bits) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    EXPECT_EQ(EVP_PKEY_keygen_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits), 1);
    EXPECT_EQ(EVP_PKEY_generate(ctx.get(), &key), 1);
    return PkeyPtr(key);
}

Bytes OpenSslEncrypt(EVP_PKEY* key, const Bytes& data) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    size_t length = 0;
    EXPECT_EQ(EVP_PKEY_encrypt_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING), 1);
    EXPECT_EQ(EVP_PKEY_encrypt(ctx.get(), nullptr, &length, data.data(), data.size()), 1);
    Bytes out(length);
    EXPECT_EQ(EVP_PKEY_encrypt(ctx.get(), out.data(), &length, data.data(), data.size()), 1);
    out.resize(length);
    return out;
}

Bytes OpenSslDecrypt(EVP_PKEY* key, const Bytes& data) {
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(key, nullptr));
    size_t length = 0;
    EXPECT_EQ(EVP_PKEY_decrypt_init(ctx.get()), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING), 1);
    EXPECT_EQ(EVP_PKEY_decrypt(ctx.get(), nullptr, &length, data.data(), data.size()), 1);
    Bytes out(length);
    EXPECT_EQ(EVP_PKEY_decrypt(ctx.get(), out.data(), &length, data.data(), data.size()), 1);
    out.resize(length);
    return out;
}

struct Mt {
    std::mt19937_64 rng{0x3141};
    static int Generate(void* context, unsigned char* out, unsigned int length) {
        auto* self = static_cast<Mt*>(context);
        for (unsigned int i = 0; i < length; ++i)
            out[i] = static_cast<unsigned char>(self->rng());
        return 0;
    }
    RandomSource source() { return {Generate, this}; }
};

Bytes Message(size_t length, uint8_t salt) {
    Bytes m(length);
    for (size_t i = 0; i < length; ++i)
        m[i] = static_cast<uint8_t>(i * 13 + salt);
    return m;
}

TEST(RsaPrivateCrossCheck, OurKeysPassOpenSslsChecksAndWorkInBothDirections) {
    Mt random;
    BN_CTX* bnCtx = BN_CTX_new();
    for (uint32_t bits : {1024u, 2048u}) {
        SCOPED_TRACE(bits);
        RsaPrivateKey key;
        ASSERT_EQ(RsaGenerateKey(bits, 65537, random.source(), nullptr, &key), kStatusOk);
        EXPECT_EQ(BN_check_prime(ToBn(key.prime1).get(), bnCtx, nullptr), 1);
        EXPECT_EQ(BN_check_prime(ToBn(key.prime2).get(), bnCtx, nullptr), 1);
        PkeyPtr pkey = ToOpenSsl(key);
        ASSERT_TRUE(pkey);
        PkeyCtxPtr check(EVP_PKEY_CTX_new(pkey.get(), nullptr));
        EXPECT_EQ(EVP_PKEY_check(check.get()), 1);
        EXPECT_EQ(EVP_PKEY_pairwise_check(check.get()), 1);

        for (size_t length : {size_t{5}, size_t{40}, size_t{bits / 8 - 11}}) {
            const Bytes m = Message(length, static_cast<uint8_t>(bits));
            // OpenSSL encrypts for our key; we decrypt.
            const Bytes c = OpenSslEncrypt(pkey.get(), m);
            SecureBuffer plain;
            ASSERT_EQ(RsaPrivateDecrypt(key, c.data(), c.size(), random.source(), &plain),
                      kStatusOk);
            EXPECT_EQ(ToHex(plain.data(), plain.size()), ToHex(m));
            // OpenSSL decrypts with our private key too.
            EXPECT_EQ(ToHex(OpenSslDecrypt(pkey.get(), c)), ToHex(m));
        }
    }
    BN_CTX_free(bnCtx);
}

TEST(RsaPrivateCrossCheck, OpenSslsKeysPassOurCheckAndDecrypt) {
    Mt random;
    for (int bits : {1024, 2048}) {
        SCOPED_TRACE(bits);
        PkeyPtr pkey = OpenSslKey(bits);
        ASSERT_TRUE(pkey);
        const RsaPrivateKey key = FromOpenSsl(pkey.get());
        EXPECT_EQ(RsaModulusBits(key), static_cast<uint32_t>(bits));
        ASSERT_EQ(RsaCheckPrivateKey(key), kStatusOk);
        for (int round = 0; round < 8; ++round) {
            const Bytes m =
                Message(1 + static_cast<size_t>(round) * 7, static_cast<uint8_t>(round));
            const Bytes c = OpenSslEncrypt(pkey.get(), m);
            SecureBuffer plain;
            ASSERT_EQ(RsaPrivateDecrypt(key, c.data(), c.size(), random.source(), &plain),
                      kStatusOk);
            EXPECT_EQ(ToHex(plain.data(), plain.size()), ToHex(m));
        }
    }
}

}  // namespace
}  // namespace qor::toolkit
