// Cross-checks the padded CBC modes, RC4 with MAC and the password blocks against OpenSSL's
// libcrypto on pseudo-random inputs, fed to our side in random pieces.
// libcrypto is an independent reference for these tests only; the product never links it.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "block_cbc.h"
#include "rc4_mac.h"
#include "status.h"
#include "vector_file.h"

namespace qor::toolkit {
namespace {

using test::Bytes;
using test::ToHex;

class OpenSslModesCrossCheck : public ::testing::Test {
  protected:
    Bytes RandomBytes(size_t n) {
        Bytes out(n);
        for (auto& b : out)
            b = static_cast<uint8_t>(rng_() & 0xff);
        return out;
    }
    unsigned RandomIn(unsigned lo, unsigned hi) {
        return std::uniform_int_distribution<unsigned>(lo, hi)(rng_);
    }

    // Calls f(offset, length) over [0, total) in random pieces of 0..maxPiece bytes. Empty
    // pieces are deliberate (callers may pass them), and an empty total still gets one call.
    template <typename F>
    void InPieces(size_t total, unsigned maxPiece, F&& f) {
        size_t pos = 0;
        do {
            const size_t piece = std::min<size_t>(RandomIn(0, maxPiece), total - pos);
            f(pos, piece);
            pos += piece;
        } while (pos < total);
    }

    struct Outcome {
        int status;
        Bytes out;
    };

    // A whole message through an initialised CBC context, stopping at the first failure.
    Outcome RunCbc(CbcContext& ctx, const Bytes& in) {
        Bytes out(in.size() + 8);
        size_t written = 0;
        int status = kMethodOk;
        InPieces(in.size(), 40, [&](size_t pos, size_t length) {
            if (status != kMethodOk) return;
            uint32_t produced = 0;
            status = CbcUpdate(ctx, out.data() + written, &produced, out.size() - written,
                               in.data() + pos, length);
            written += produced;
        });
        if (status == kMethodOk) {
            uint32_t produced = 0;
            status = CbcFinal(ctx, out.data() + written, &produced, out.size() - written);
            written += produced;
        }
        out.resize(written);
        return {status, out};
    }

    // A whole ciphertext through RC4-with-MAC decryption; the status is the final's.
    Outcome RunRc4MacDecrypt(Rc4MacContext& ctx, const Bytes& in) {
        Bytes out(in.size() + 1);
        size_t written = 0;
        int status = kMethodOk;
        InPieces(in.size(), 600, [&](size_t pos, size_t length) {
            if (status != kMethodOk) return;
            uint32_t produced = 0;
            status = Rc4MacDecryptUpdate(ctx, out.data() + written, &produced, out.size() - written,
                                         in.data() + pos, length);
            written += produced;
        });
        if (status == kMethodOk) status = Rc4MacDecryptFinal(ctx);
        out.resize(written);
        return {status, out};
    }

    std::mt19937 rng_{20240612};
};

struct CtxDeleter {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter>;

struct Reference {
    bool ok;  // false when OpenSSL refused the data (bad padding or length)
    Bytes out;
};

// A whole message through OpenSSL. rc2Bits != 0 sets RC2's effective key length; an empty iv
// means the cipher takes none. Set-up failures are test failures, not a refusal.
Reference OpenSslCipher(const EVP_CIPHER* cipher, const Bytes& key, unsigned rc2Bits,
                        const Bytes& iv, const Bytes& in, bool encrypt, bool padding) {
    CtxPtr ctx(EVP_CIPHER_CTX_new());
    const int enc = encrypt ? 1 : 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr, enc) != 1) {
        ADD_FAILURE() << "cipher init failed";
        return {false, {}};
    }
    const int keyLength = static_cast<int>(key.size());
    if (EVP_CIPHER_CTX_get_key_length(ctx.get()) != keyLength &&
        EVP_CIPHER_CTX_set_key_length(ctx.get(), keyLength) != 1) {
        ADD_FAILURE() << "key length " << keyLength << " rejected";
        return {false, {}};
    }
    if (rc2Bits != 0 && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_SET_RC2_KEY_BITS,
                                            static_cast<int>(rc2Bits), nullptr) != 1) {
        ADD_FAILURE() << "RC2 effective bits " << rc2Bits << " rejected";
        return {false, {}};
    }
    if (EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv.empty() ? nullptr : iv.data(),
                          enc) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0) != 1) {
        ADD_FAILURE() << "key set-up failed";
        return {false, {}};
    }
    Bytes out(in.size() + 16);
    int first = 0;
    int second = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &first, in.data(), static_cast<int>(in.size())) !=
            1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + first, &second) != 1) {
        return {false, {}};
    }
    out.resize(static_cast<size_t>(first + second));
    return {true, out};
}

Bytes OpenSslMd5(const Bytes& data) {
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned length = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_md5(), nullptr) != 1) {
        ADD_FAILURE() << "MD5 failed";
    }
    digest.resize(length);
    return digest;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The MAC straight from its definition, one byte at a time, with nothing carried over.
Bytes ReferenceMac(const Bytes& keyAndSalt, const Bytes& plaintext, size_t n) {
    Bytes b(n, 0);
    size_t p = 0;
    auto absorb = [&](uint8_t x) {
        b[p] = static_cast<uint8_t>(kMacPermutation[b[p] ^ b[(p + 1) % n]] ^ x);
        p = (p + 1) % n;
    };
    for (uint8_t x : keyAndSalt)
        absorb(x);
    for (uint8_t x : plaintext)
        absorb(x);
    for (size_t k = 0; k < n; ++k)
        absorb(0);
    Bytes value(n);
    for (size_t k = 0; k < n; ++k)
        value[k] = b[(p + k) % n];
    return value;
}

// ---- CBC with padding ---------------------------------------------------------------------

struct CbcCipher {
    const char* name;
    const EVP_CIPHER* (*openssl)();
    bool rc2;
};
const CbcCipher kRc2Cbc = {"RC2-CBC", EVP_rc2_cbc, true};
const CbcCipher kDesCbc = {"DES-CBC", EVP_des_cbc, false};

int InitCbc(CbcContext& ctx, const CbcCipher& c, const Bytes& key, unsigned bits, const Bytes& iv,
            bool decrypt) {
    return c.rc2 ? CbcInitRc2(ctx, key.data(), key.size(), bits, iv.data(), decrypt)
                 : CbcInitDes(ctx, key.data(), iv.data(), decrypt);
}

class CbcCrossCheck : public OpenSslModesCrossCheck {
  protected:
    // Encrypts a random plaintext both ways and compares, then decrypts OpenSSL's ciphertext.
    void CheckRoundTrip(const CbcCipher& c, size_t keyLength, unsigned bits, size_t plainLength) {
        const Bytes key = RandomBytes(keyLength);
        const Bytes iv = RandomBytes(8);
        const Bytes plain = RandomBytes(plainLength);
        SCOPED_TRACE(std::string(c.name) + " key " + ToHex(key) + " bits " + std::to_string(bits) +
                     " iv " + ToHex(iv) + " plaintext " + ToHex(plain));

        const Reference expected =
            OpenSslCipher(c.openssl(), key, c.rc2 ? bits : 0, iv, plain, true, true);
        ASSERT_TRUE(expected.ok);

        CbcContext ctx;
        ASSERT_EQ(kMethodOk, InitCbc(ctx, c, key, bits, iv, false));
        const Outcome encrypted = RunCbc(ctx, plain);
        ASSERT_EQ(kMethodOk, encrypted.status);
        // Padding always adds 1..8 bytes, a whole block when the plaintext fills its last one.
        EXPECT_EQ(plainLength / 8 * 8 + 8, encrypted.out.size());
        EXPECT_EQ(ToHex(expected.out), ToHex(encrypted.out));

        ASSERT_EQ(kMethodOk, InitCbc(ctx, c, key, bits, iv, true));
        const Outcome decrypted = RunCbc(ctx, expected.out);
        ASSERT_EQ(kMethodOk, decrypted.status);
        EXPECT_EQ(ToHex(plain), ToHex(decrypted.out));
    }

    // Decrypts a ciphertext whose last plaintext block carries crafted (often invalid)
    // padding; we must refuse exactly what OpenSSL refuses and otherwise agree on the output.
    // Returns whether OpenSSL accepted it.
    bool CheckPaddingVerdict(const CbcCipher& c) {
        const Bytes key = RandomBytes(c.rc2 ? RandomIn(1, 128) : 8);
        const unsigned bits = RandomIn(1, 1024);
        const Bytes iv = RandomBytes(8);
        Bytes plain = RandomBytes(8 * RandomIn(0, 5) + 8);
        // Mostly pad values near the valid range, sometimes one pad byte other than the last
        // spoiled.
        const unsigned k = RandomIn(0, 3) == 0 ? RandomIn(0, 255) : RandomIn(0, 9);
        for (unsigned m = 0; m < std::clamp(k, 1u, 8u); ++m)
            plain[plain.size() - 1 - m] = static_cast<uint8_t>(k);
        if (k >= 2 && k <= 8 && RandomIn(0, 1) == 0) {
            plain[plain.size() - 1 - RandomIn(1, k - 1)] ^= static_cast<uint8_t>(RandomIn(1, 255));
        }
        const unsigned rc2Bits = c.rc2 ? bits : 0;
        const Reference raw = OpenSslCipher(c.openssl(), key, rc2Bits, iv, plain, true, false);
        EXPECT_TRUE(raw.ok);
        SCOPED_TRACE(std::string(c.name) + " key " + ToHex(key) + " bits " + std::to_string(bits) +
                     " iv " + ToHex(iv) + " ciphertext " + ToHex(raw.out));

        const Reference expected =
            OpenSslCipher(c.openssl(), key, rc2Bits, iv, raw.out, false, true);
        CbcContext ctx;
        EXPECT_EQ(kMethodOk, InitCbc(ctx, c, key, bits, iv, true));
        const Outcome ours = RunCbc(ctx, raw.out);
        if (expected.ok) {
            EXPECT_EQ(kMethodOk, ours.status);
            EXPECT_EQ(ToHex(expected.out), ToHex(ours.out));
        } else {
            EXPECT_EQ(kMethodBadData, ours.status);
        }
        return expected.ok;
    }

    // A ciphertext that is not a whole number of blocks (possibly empty) is refused by both.
    void CheckPartialBlockRefused(const CbcCipher& c) {
        const Bytes key = RandomBytes(c.rc2 ? RandomIn(1, 128) : 8);
        const unsigned bits = RandomIn(1, 1024);
        const Bytes iv = RandomBytes(8);
        const unsigned blocks = RandomIn(0, 6);
        const Bytes cipher = RandomBytes(blocks == 0 ? 0 : 8 * blocks - RandomIn(1, 7));
        SCOPED_TRACE(std::string(c.name) + " key " + ToHex(key) + " ciphertext " + ToHex(cipher));

        EXPECT_FALSE(OpenSslCipher(c.openssl(), key, c.rc2 ? bits : 0, iv, cipher, false, true).ok);
        CbcContext ctx;
        ASSERT_EQ(kMethodOk, InitCbc(ctx, c, key, bits, iv, true));
        EXPECT_EQ(kMethodBadLength, RunCbc(ctx, cipher).status);
    }
};

TEST_F(CbcCrossCheck, Rc2CbcMatchesOpenSsl) {
    for (int i = 0; i < 400; ++i) {
        CheckRoundTrip(kRc2Cbc, RandomIn(1, 128), RandomIn(1, 1024), RandomIn(0, 300));
    }
    // The corners of both key ranges, with empty, short and one-block plaintexts.
    for (size_t keyLength : {size_t{1}, size_t{128}}) {
        for (unsigned bits : {1u, 1024u}) {
            for (size_t plainLength : {size_t{0}, size_t{7}, size_t{8}}) {
                CheckRoundTrip(kRc2Cbc, keyLength, bits, plainLength);
            }
        }
    }
}

TEST_F(CbcCrossCheck, DesCbcMatchesOpenSsl) {
    for (int i = 0; i < 400; ++i) {
        CheckRoundTrip(kDesCbc, 8, 0, RandomIn(0, 300));
    }
}

TEST_F(CbcCrossCheck, RefusesWhatOpenSslRefuses) {
    for (const CbcCipher* c : {&kRc2Cbc, &kDesCbc}) {
        int accepted = 0;
        for (int i = 0; i < 300; ++i) {
            if (CheckPaddingVerdict(*c)) ++accepted;
        }
        // The crafted pads must exercise both verdicts, or the comparison proves little.
        EXPECT_GT(accepted, 30) << c->name;
        EXPECT_LT(accepted, 270) << c->name;
        for (int i = 0; i < 100; ++i) {
            CheckPartialBlockRefused(*c);
        }
    }
}

// ---- RC4 with MAC -------------------------------------------------------------------------

TEST_F(OpenSslModesCrossCheck, Rc4MacMatchesOpenSslAndReferenceMac) {
    for (int i = 0; i < 300; ++i) {
        const Bytes key = RandomBytes(RandomIn(1, 16));
        const Bytes salt = RandomBytes(RandomIn(0, 16));
        const uint32_t n = RandomIn(kRc4MacMinMac, kRc4MacMaxMac);
        const Bytes plain = RandomBytes(RandomIn(0, 5000));
        const Bytes keyAndSalt = Concat(key, salt);
        SCOPED_TRACE("key " + ToHex(key) + " salt " + ToHex(salt) + " n " + std::to_string(n) +
                     " plaintext length " + std::to_string(plain.size()));

        Rc4MacContext ctx;
        ASSERT_EQ(kMethodOk, Rc4MacInit(ctx, key.data(), key.size(), salt.data(), salt.size(), n));
        Bytes cipher(plain.size() + n);
        InPieces(plain.size(), 600, [&](size_t pos, size_t length) {
            Rc4MacEncryptUpdate(ctx, cipher.data() + pos, plain.data() + pos, length);
        });
        Rc4MacEncryptFinal(ctx, cipher.data() + plain.size());

        // Plaintext and MAC value are one continuous RC4 stream under key || salt.
        const Reference opened = OpenSslCipher(EVP_rc4(), keyAndSalt, 0, {}, cipher, false, false);
        ASSERT_TRUE(opened.ok);
        ASSERT_EQ(cipher.size(), opened.out.size());
        const Bytes openedPlain(opened.out.begin(), opened.out.end() - n);
        const Bytes openedMac(opened.out.end() - n, opened.out.end());
        EXPECT_EQ(ToHex(plain), ToHex(openedPlain));
        EXPECT_EQ(ToHex(ReferenceMac(keyAndSalt, plain, n)), ToHex(openedMac));

        ASSERT_EQ(kMethodOk, Rc4MacInit(ctx, key.data(), key.size(), salt.data(), salt.size(), n));
        const Outcome decrypted = RunRc4MacDecrypt(ctx, cipher);
        EXPECT_EQ(kMethodOk, decrypted.status);
        EXPECT_EQ(ToHex(plain), ToHex(decrypted.out));

        // One flipped bit anywhere: accepted exactly when the reference MAC of what OpenSSL
        // reads out still matches the MAC bytes it reads out.
        Bytes tampered = cipher;
        tampered[RandomIn(0, static_cast<unsigned>(tampered.size() - 1))] ^=
            static_cast<uint8_t>(1u << RandomIn(0, 7));
        const Reference read = OpenSslCipher(EVP_rc4(), keyAndSalt, 0, {}, tampered, false, false);
        ASSERT_TRUE(read.ok);
        const Bytes readPlain(read.out.begin(), read.out.end() - n);
        const Bytes readMac(read.out.end() - n, read.out.end());
        const bool macHolds = ReferenceMac(keyAndSalt, readPlain, n) == readMac;
        ASSERT_EQ(kMethodOk, Rc4MacInit(ctx, key.data(), key.size(), salt.data(), salt.size(), n));
        const Outcome tamperedResult = RunRc4MacDecrypt(ctx, tampered);
        EXPECT_EQ(macHolds ? kMethodOk : kMethodBadData, tamperedResult.status);
        EXPECT_EQ(ToHex(readPlain), ToHex(tamperedResult.out));

        // Fewer bytes than a MAC value: nothing to check against.
        const Bytes tooShort(cipher.begin(), cipher.begin() + RandomIn(0, n - 1));
        ASSERT_EQ(kMethodOk, Rc4MacInit(ctx, key.data(), key.size(), salt.data(), salt.size(), n));
        const Outcome shortResult = RunRc4MacDecrypt(ctx, tooShort);
        EXPECT_EQ(kMethodBadLength, shortResult.status);
        EXPECT_TRUE(shortResult.out.empty());
    }
}

// ---- Password blocks ----------------------------------------------------------------------

struct PasswordBlockDeleter {
    void operator()(PasswordBlockObject* p) const { PasswordBlockDestroy(&p); }
};
using PasswordBlockPtr = std::unique_ptr<PasswordBlockObject, PasswordBlockDeleter>;

ByteItem ItemOf(Bytes& b) {
    return {b.data(), static_cast<unsigned>(b.size())};
}

struct DerivedKey {
    Bytes key;  // 16 bytes
    Bytes iv;   // 8 bytes
};

// K = MD5(password || salt8), V = MD5(password || salt8 || 01), each re-hashed
// iterations - 1 times; the key is K, the IV the front of V.
DerivedKey OpenSslDerive(const Bytes& password, const Bytes& salt, unsigned iterations) {
    const Bytes passwordAndSalt = Concat(password, Bytes(salt.begin(), salt.begin() + 8));
    Bytes k = OpenSslMd5(passwordAndSalt);
    Bytes v = OpenSslMd5(Concat(passwordAndSalt, Bytes{0x01}));
    for (unsigned m = 1; m < iterations; ++m) {
        k = OpenSslMd5(k);
        v = OpenSslMd5(v);
    }
    return {k, Bytes(v.begin(), v.begin() + 8)};
}

TEST_F(OpenSslModesCrossCheck, PasswordBlocksMatchOpenSsl) {
    int wrongPasswordAccepted = 0;
    for (int i = 0; i < 300; ++i) {
        Bytes password = RandomBytes(RandomIn(0, 20));
        Bytes salt = RandomBytes(RandomIn(8, 20));
        const unsigned iterations = RandomIn(1, 5);
        Bytes data = RandomBytes(RandomIn(0, 64));
        SCOPED_TRACE("password " + ToHex(password) + " salt " + ToHex(salt) + " iterations " +
                     std::to_string(iterations) + " data " + ToHex(data));

        const DerivedKey derived = OpenSslDerive(password, salt, iterations);
        Reference expected =
            OpenSslCipher(EVP_rc2_cbc(), derived.key, 128, derived.iv, data, true, true);
        ASSERT_TRUE(expected.ok);

        PasswordBlockObject* raw = nullptr;
        const ByteItem saltItem = ItemOf(salt);
        ASSERT_EQ(kStatusOk,
                  PasswordBlockCreate(&raw, kPasswordBlockMd5Rc2, iterations, &saltItem));
        PasswordBlockPtr block(raw);
        const ByteItem dataItem = ItemOf(data);
        const ByteItem passwordItem = ItemOf(password);
        ByteItem* result = nullptr;
        ASSERT_EQ(kStatusOk, PasswordBlockEncrypt(&result, block.get(), &dataItem, &passwordItem));
        EXPECT_EQ(ToHex(expected.out), ToHex(result->data, result->len));

        const ByteItem cipherItem = ItemOf(expected.out);
        ASSERT_EQ(kStatusOk,
                  PasswordBlockDecrypt(&result, block.get(), &cipherItem, &passwordItem));
        EXPECT_EQ(ToHex(data), ToHex(result->data, result->len));

        // A wrong password: refused exactly when OpenSSL finds the padding bad under the key it
        // derives, and otherwise the same (garbage) plaintext.
        Bytes wrong = password;
        if (wrong.empty() || RandomIn(0, 1) == 0) {
            wrong.push_back(static_cast<uint8_t>(RandomIn(0, 255)));
        } else {
            wrong[RandomIn(0, static_cast<unsigned>(wrong.size() - 1))] ^=
                static_cast<uint8_t>(RandomIn(1, 255));
        }
        const DerivedKey wrongKey = OpenSslDerive(wrong, salt, iterations);
        const Reference wrongExpected =
            OpenSslCipher(EVP_rc2_cbc(), wrongKey.key, 128, wrongKey.iv, expected.out, false, true);
        const ByteItem wrongItem = ItemOf(wrong);
        const int status = PasswordBlockDecrypt(&result, block.get(), &cipherItem, &wrongItem);
        if (wrongExpected.ok) {
            ++wrongPasswordAccepted;
            ASSERT_EQ(kStatusOk, status);
            EXPECT_EQ(ToHex(wrongExpected.out), ToHex(result->data, result->len));
        } else {
            EXPECT_EQ(kStatusPasswordBlockDecryptFailed, status);
        }
    }
    // Random padding passes about 1 time in 200; far more means the check is not happening.
    EXPECT_LT(wrongPasswordAccepted, 10);
}

}  // namespace
}  // namespace qor::toolkit
