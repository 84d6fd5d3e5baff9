// Password blocks: sizes, round trips, wrong passwords and every refusal with its code.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <string>
#include <vector>

#include "vector_file.h"

namespace {

using qor::test::Bytes;
using qor::test::ToHex;

struct Block {
    PasswordBlockObject* handle = nullptr;
    Bytes saltBytes;
    int created;
    Block(unsigned int iterations, Bytes salt) : saltBytes(std::move(salt)) {
        ByteItem item = {saltBytes.data(), static_cast<unsigned int>(saltBytes.size())};
        created = PasswordBlockCreate(&handle, kPasswordBlockMd5Rc2, iterations, &item);
    }
    ~Block() { PasswordBlockDestroy(&handle); }

    int Encrypt(Bytes data, std::string password, Bytes& out) {
        return Call(false, std::move(data), std::move(password), out);
    }
    int Decrypt(Bytes data, std::string password, Bytes& out) {
        return Call(true, std::move(data), std::move(password), out);
    }
    int Call(bool decrypt, Bytes data, std::string password, Bytes& out) {
        ByteItem d = {data.data(), static_cast<unsigned int>(data.size())};
        ByteItem p = {reinterpret_cast<unsigned char*>(password.data()),
                      static_cast<unsigned int>(password.size())};
        ByteItem* result = nullptr;
        int s = decrypt ? PasswordBlockDecrypt(&result, handle, &d, &p)
                        : PasswordBlockEncrypt(&result, handle, &d, &p);
        if (s == kStatusOk) out.assign(result->data, result->data + result->len);
        return s;
    }
};

const Bytes kSalt = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80};
const Bytes kUserKey = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

TEST(PasswordBlock, SizesAndRoundTrip) {
    Block b(1, kSalt);
    ASSERT_EQ(b.created, kStatusOk);
    Bytes sealed, sealed16, opened;
    ASSERT_EQ(b.Encrypt(kUserKey, "secret1", sealed), kStatusOk);
    EXPECT_EQ(sealed.size(), 16u);
    ASSERT_EQ(b.Encrypt(Bytes(16, 0xee), "secret1", sealed16), kStatusOk);
    EXPECT_EQ(sealed16.size(), 24u);
    ASSERT_EQ(b.Encrypt({}, "secret1", opened), kStatusOk);
    EXPECT_EQ(opened.size(), 8u) << "padding always adds a block's worth at most";

    ASSERT_EQ(b.Decrypt(sealed, "secret1", opened), kStatusOk);
    EXPECT_EQ(opened, kUserKey);
    ASSERT_EQ(b.Decrypt(sealed16, "secret1", opened), kStatusOk);
    EXPECT_EQ(opened, Bytes(16, 0xee));
}

TEST(PasswordBlock, SameDirectionTwiceGivesTheSameBytes) {
    Block b(3, kSalt);
    Bytes first, second, opened;
    ASSERT_EQ(b.Encrypt(kUserKey, "pw-one", first), kStatusOk);
    ASSERT_EQ(b.Encrypt(kUserKey, "pw-one", second), kStatusOk);
    EXPECT_EQ(first, second);
    ASSERT_EQ(b.Decrypt(first, "pw-one", opened), kStatusOk);
    ASSERT_EQ(b.Decrypt(first, "pw-one", opened), kStatusOk);
    EXPECT_EQ(opened, kUserKey);
}

TEST(PasswordBlock, WrongPasswordIsADecryptFailure) {
    Block b(1, kSalt);
    Bytes sealed, opened;
    ASSERT_EQ(b.Encrypt(kUserKey, "correct", sealed), kStatusOk);
    // A wrong password decrypts to garbage that almost never carries valid padding; over a set
    // of passwords every one must either fail with 1311 or (rarely) not return the key.
    int failures = 0;
    for (int k = 0; k < 50; ++k) {
        int s = b.Decrypt(sealed, "wrong" + std::to_string(k), opened);
        if (s == kStatusPasswordBlockDecryptFailed) {
            ++failures;
        } else {
            ASSERT_EQ(s, kStatusOk);
            EXPECT_NE(opened, kUserKey);
        }
    }
    EXPECT_GE(failures, 40);
    // Ciphertext that is not whole blocks cannot decrypt.
    EXPECT_EQ(b.Decrypt(Bytes(15, 0), "correct", opened), kStatusPasswordBlockDecryptFailed);
    EXPECT_EQ(b.Decrypt({}, "correct", opened), kStatusPasswordBlockDecryptFailed);
}

TEST(PasswordBlock, SaltAndKindRules) {
    EXPECT_EQ(Block(1, Bytes(7, 1)).created, kStatusBadPasswordBlockParams);
    EXPECT_EQ(Block(1, {}).created, kStatusBadPasswordBlockParams);

    PasswordBlockObject* h = reinterpret_cast<PasswordBlockObject*>(0x1);
    ByteItem salt = {const_cast<unsigned char*>(kSalt.data()), 8};
    EXPECT_EQ(PasswordBlockCreate(&h, 2, 1, &salt), kStatusBadPasswordBlockKind);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(PasswordBlockCreate(&h, 1, 1, nullptr), kStatusBadPasswordBlockParams);

    // Only the first 8 salt bytes count.
    Bytes long1 = kSalt, long2 = kSalt;
    for (int k = 0; k < 12; ++k) {
        long1.push_back(static_cast<uint8_t>(k));
        long2.push_back(static_cast<uint8_t>(0xff - k));
    }
    Block a(1, long1), b(1, long2), c(1, kSalt);
    Bytes ea, eb, ec;
    ASSERT_EQ(a.Encrypt(kUserKey, "secret", ea), kStatusOk);
    ASSERT_EQ(b.Encrypt(kUserKey, "secret", eb), kStatusOk);
    ASSERT_EQ(c.Encrypt(kUserKey, "secret", ec), kStatusOk);
    EXPECT_EQ(ea, eb);
    EXPECT_EQ(ea, ec);
}

TEST(PasswordBlock, ZeroIterationsIsAcceptedButEveryCallFails) {
    Block b(0, kSalt);
    ASSERT_EQ(b.created, kStatusOk);
    Bytes out;
    EXPECT_EQ(b.Encrypt(kUserKey, "secret", out), kStatusPasswordBlockEncryptFailed);
    EXPECT_EQ(b.Decrypt(Bytes(16, 0), "secret", out), kStatusPasswordBlockDecryptFailed);
}

TEST(PasswordBlock, IterationsAndPasswordChangeTheResult) {
    Block one(1, kSalt), two(2, kSalt);
    Bytes a, b, c;
    ASSERT_EQ(one.Encrypt(kUserKey, "secret", a), kStatusOk);
    ASSERT_EQ(two.Encrypt(kUserKey, "secret", b), kStatusOk);
    ASSERT_EQ(one.Encrypt(kUserKey, "secreT", c), kStatusOk);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    // An empty password is a valid (if unwise) key.
    ASSERT_EQ(one.Encrypt(kUserKey, "", c), kStatusOk);
    Bytes back;
    ASSERT_EQ(one.Decrypt(c, "", back), kStatusOk);
    EXPECT_EQ(back, kUserKey);
}

}  // namespace
