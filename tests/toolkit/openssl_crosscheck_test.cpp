// Cross-checks DES, RC2 and MD5 against OpenSSL's libcrypto on pseudo-random inputs.
// libcrypto is an independent reference for these tests only; the product never links it.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "des.h"
#include "md5.h"
#include "rc2.h"
#include "vector_file.h"

namespace qor::toolkit {
namespace {

using test::ToHex;

class OpenSslCrossCheck : public ::testing::Test {
  protected:
    std::vector<uint8_t> RandomBytes(size_t n) {
        std::vector<uint8_t> out(n);
        for (auto& b : out)
            b = static_cast<uint8_t>(rng_() & 0xff);
        return out;
    }
    unsigned RandomIn(unsigned lo, unsigned hi) {
        return std::uniform_int_distribution<unsigned>(lo, hi)(rng_);
    }

    std::mt19937 rng_{20240611};
};

struct CtxDeleter {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
using CtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CtxDeleter>;

// One ECB block through OpenSSL. rc2Bits != 0 selects RC2 with that effective key length.
std::vector<uint8_t> OpenSslBlock(const EVP_CIPHER* cipher, const std::vector<uint8_t>& key,
                                  unsigned rc2Bits, const std::vector<uint8_t>& in, bool encrypt) {
    CtxPtr ctx(EVP_CIPHER_CTX_new());
    const int enc = encrypt ? 1 : 0;
    if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, nullptr, nullptr, enc) != 1) {
        ADD_FAILURE() << "cipher init failed";
        return {};
    }
    if (rc2Bits != 0) {
        if (EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) != 1 ||
            EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_SET_RC2_KEY_BITS, static_cast<int>(rc2Bits),
                                nullptr) != 1) {
            ADD_FAILURE() << "RC2 parameters rejected";
            return {};
        }
    }
    std::vector<uint8_t> out(in.size() + 16);
    int n = 0;
    if (EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(), nullptr, enc) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
        EVP_CipherUpdate(ctx.get(), out.data(), &n, in.data(), static_cast<int>(in.size())) != 1) {
        ADD_FAILURE() << "cipher operation failed";
        return {};
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST_F(OpenSslCrossCheck, DesSingleBlock) {
    for (int i = 0; i < 400; ++i) {
        const auto key = RandomBytes(8);
        const auto block = RandomBytes(8);
        SCOPED_TRACE("key " + ToHex(key) + " block " + ToHex(block));
        DesKeySchedule ks;
        DesSetKey(ks, key.data());
        uint8_t out[8];
        DesEncryptBlock(ks, block.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(OpenSslBlock(EVP_des_ecb(), key, 0, block, true)));
        DesDecryptBlock(ks, block.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(OpenSslBlock(EVP_des_ecb(), key, 0, block, false)));
    }
}

TEST_F(OpenSslCrossCheck, Rc2SingleBlock) {
    // Random lengths and effective sizes, then the corners of both ranges explicitly.
    struct Params {
        size_t length;
        unsigned bits;
    };
    std::vector<Params> params;
    for (int i = 0; i < 400; ++i) {
        params.push_back({RandomIn(1, kRc2MaxKeyBytes), RandomIn(1, kRc2MaxEffectiveBits)});
    }
    for (size_t length : {size_t{1}, size_t{8}, size_t{127}, kRc2MaxKeyBytes}) {
        for (unsigned bits : {1u, 7u, 8u, 9u, 40u, 1016u, 1017u, 1023u, kRc2MaxEffectiveBits}) {
            params.push_back({length, bits});
        }
    }
    for (const Params& p : params) {
        const auto key = RandomBytes(p.length);
        const auto block = RandomBytes(8);
        SCOPED_TRACE("key " + ToHex(key) + " bits " + std::to_string(p.bits) + " block " +
                     ToHex(block));
        Rc2KeySchedule ks;
        ASSERT_TRUE(Rc2ExpandKey(ks, key.data(), key.size(), p.bits));
        uint8_t out[8];
        Rc2EncryptBlock(ks, block.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(OpenSslBlock(EVP_rc2_ecb(), key, p.bits, block, true)));
        Rc2DecryptBlock(ks, block.data(), out);
        EXPECT_EQ(ToHex(out, 8), ToHex(OpenSslBlock(EVP_rc2_ecb(), key, p.bits, block, false)));
    }
}

TEST_F(OpenSslCrossCheck, Md5OneShotAndIncremental) {
    for (int i = 0; i < 300; ++i) {
        const auto data = RandomBytes(RandomIn(0, 20000));
        SCOPED_TRACE("length " + std::to_string(data.size()));
        uint8_t expected[EVP_MAX_MD_SIZE];
        unsigned expectedLength = 0;
        ASSERT_EQ(
            1, EVP_Digest(data.data(), data.size(), expected, &expectedLength, EVP_md5(), nullptr));
        ASSERT_EQ(expectedLength, kMd5DigestSize);

        uint8_t digest[kMd5DigestSize];
        Md5(data.data(), data.size(), digest);
        EXPECT_EQ(ToHex(digest, sizeof digest), ToHex(expected, expectedLength));

        // The same data fed in random pieces, which crosses block boundaries every way.
        Md5Context ctx;
        Md5Init(ctx);
        size_t pos = 0;
        while (pos < data.size()) {
            const size_t piece = std::min<size_t>(RandomIn(0, 150), data.size() - pos);
            Md5Update(ctx, data.data() + pos, piece);
            pos += piece;
        }
        Md5Final(ctx, digest);
        EXPECT_EQ(ToHex(digest, sizeof digest), ToHex(expected, expectedLength));
    }
}

}  // namespace
}  // namespace qor::toolkit
