// The preference file: its exact layout, the derivations that bind it to the password, the
// read errors, and the wrapped user key.
#include <gtest/gtest.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>
#include <qor/toolkit.h>
#include <qor/ui/dialog_host.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vector_file.h"

namespace {

namespace fs = std::filesystem;
using namespace qor::profile;
using qor::test::Bytes;
using qor::test::ToHex;

class TempFolder {
  public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                ("qor-profile-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string str() const { return path_.string(); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Md5(const Bytes& data) {
    DigestObject* d = nullptr;
    EXPECT_EQ(DigestCreate(&d, kDigestMd5), kStatusOk);
    unsigned char* out = nullptr;
    unsigned int n = 0;
    EXPECT_EQ(DigestFinal(&out, &n, d, data.data(), static_cast<unsigned int>(data.size())),
              kStatusOk);
    Bytes r(out, out + n);
    DigestDestroy(&d);
    return r;
}

// Fills every attribute with a pattern that names its index, so a misplaced field shows.
void FillPattern(UserProfile& p) {
    for (int index = 1; index <= kAttributeCount; ++index) {
        Bytes value(AttributeSizeOf(index));
        for (size_t k = 0; k < value.size(); ++k) {
            value[k] = static_cast<uint8_t>(index * 16 + k % 16);
        }
        p.SetAttribute(index, value.data());
    }
}

constexpr std::string_view kPassword = "secret1";

TEST(PreferenceFile, LayoutIsByteExact) {
    TempFolder home;
    UserProfile p;
    p.SetHomeFolder(home.str());
    FillPattern(p);
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    const Bytes file = ReadAll(home / "userpref.!!!");
    ASSERT_EQ(file.size(), 541u);

    const size_t tagOffsets[] = {0,   65,  82,  338, 340, 342, 407, 472,
                                 489, 491, 494, 496, 498, 507, 524};
    Bytes authenticated;
    for (int index = 1; index <= kAttributeCount; ++index) {
        const size_t at = tagOffsets[index - 1];
        EXPECT_EQ(file[at], index) << "tag " << index;
        EXPECT_EQ(AttributeFileOffset(index), at + 1);
        if (index < kAttrAuthenticator) {
            EXPECT_EQ(file[at + 1], static_cast<uint8_t>(index * 16)) << "value " << index;
            authenticated.insert(authenticated.end(), file.begin() + static_cast<long>(at + 1),
                                 file.begin() + static_cast<long>(at + 1 + AttributeSizeOf(index)));
        }
    }
    ASSERT_EQ(authenticated.size(), 510u);
    authenticated.insert(authenticated.end(), kPassword.begin(), kPassword.end());
    EXPECT_EQ(ToHex(Bytes(file.begin() + 525, file.end())), ToHex(Md5(authenticated)));
    EXPECT_TRUE(p.authentic());
    EXPECT_FALSE(p.modified());
}

TEST(PreferenceFile, ReadingAndRewritingReproducesTheFile) {
    TempFolder home;
    {
        UserProfile p;
        p.SetHomeFolder(home.str());
        FillPattern(p);
        ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    }
    const Bytes original = ReadAll(home / "userpref.!!!");
    UserProfile q;
    q.SetHomeFolder(home.str());
    ASSERT_EQ(q.Read(), kProfileOk);
    EXPECT_TRUE(q.loaded());
    EXPECT_EQ(q.CheckAuthenticity(kPassword), 1);
    ASSERT_EQ(q.Write(&kPassword), kProfileOk);
    EXPECT_EQ(ReadAll(home / "userpref.!!!"), original);

    // Loaded: the file is not read again, even once it is gone.
    fs::remove(home / "userpref.!!!");
    EXPECT_EQ(q.Read(), kProfileOk);
    // Extra bytes after the 541 are ignored.
    Bytes longer = original;
    longer.push_back(0xee);
    WriteAll(home / "userpref.!!!", longer);
    UserProfile r;
    r.SetHomeFolder(home.str());
    EXPECT_EQ(r.Read(), kProfileOk);
}

// The same bytes on both platforms: a file written on one is read by the other.
TEST(PreferenceFile, KnownFileIsWrittenAndReadAlike) {
    const auto vectors = qor::test::LoadVectors("userpref.vec");
    ASSERT_EQ(vectors.size(), 1u);
    const auto& v = vectors[0];
    const Bytes expected = v.GetBytes("file");
    const Bytes salt = v.GetBytes("salt");
    const Bytes key = v.GetBytes("key");
    const Bytes passwordBytes = v.GetBytes("password");
    const std::string_view password(reinterpret_cast<const char*>(passwordBytes.data()),
                                    passwordBytes.size());
    ASSERT_EQ(expected.size(), 541u);

    TempFolder home;
    UserProfile p;
    p.SetHomeFolder(home.str());
    char name[64] = "Alice Example";
    char organisation[64] = "Example Organisation";
    uint8_t emergency[255] = {0x30, 0x81, 0x9f};
    const uint8_t length = 162, optional = 1, keep = 1, minutes[2] = {0x2c, 0x01};
    uint8_t wrapped[16];
    ASSERT_EQ(WrapUserKey(key.data(), salt.data(), password, wrapped), kStatusOk);
    p.SetAttribute(kAttrUserName, name);
    p.SetAttribute(kAttrSalt, salt.data());
    p.SetAttribute(kAttrWrappedKey, wrapped);
    p.SetAttribute(kAttrEmergencyKey, emergency);
    p.SetAttribute(kAttrEmergencyKeyLength, &length);
    p.SetAttribute(kAttrEmergencyOptional, &optional);
    p.SetAttribute(kAttrOrganisation, organisation);
    p.SetAttribute(kAttrKeepPassword, &keep);
    p.SetAttribute(kAttrKeepMinutes, minutes);
    ASSERT_EQ(p.SetPassword(password), kProfileOk);
    ASSERT_EQ(p.Write(&password), kProfileOk);
    EXPECT_EQ(ToHex(ReadAll(home / "userpref.!!!")), ToHex(expected));

    WriteAll(home / "known.!!!", expected);
    UserProfile q;
    ASSERT_EQ(q.Read((home / "known.!!!").string()), kProfileOk);
    EXPECT_EQ(q.CheckAuthenticity(password), 1);
    EXPECT_EQ(q.UserName(), "Alice Example");
    EXPECT_EQ(q.KeepMinutes(), 300);
    uint8_t out[16];
    uint32_t n = 0;
    ASSERT_EQ(q.UnlockUserKey(password, out, &n), kStatusOk);
    EXPECT_EQ(ToHex(out, n), ToHex(key));
}

TEST(PreferenceFile, ReadErrors) {
    TempFolder home;
    UserProfile p;
    p.SetHomeFolder(home.str());
    FillPattern(p);
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    const Bytes good = ReadAll(home / "userpref.!!!");

    Bytes wrongTag = good;
    wrongTag[338] = 5;  // the fourth tag
    WriteAll(home / "bad.!!!", wrongTag);
    UserProfile a;
    EXPECT_EQ(a.Read((home / "bad.!!!").string()), kProfileMalformed);
    EXPECT_FALSE(a.loaded());

    WriteAll(home / "cut.!!!", Bytes(good.begin(), good.begin() + 300));
    UserProfile b;
    EXPECT_EQ(b.Read((home / "cut.!!!").string()), kProfileMalformed);

    UserProfile c;
    EXPECT_EQ(c.Read((home / "missing.!!!").string()), kProfileCannotOpen);

    UserProfile d;
    EXPECT_EQ(d.Read((home / "userpref.!!!").string()), kProfileOk);
}

TEST(PreferenceFile, AuthenticatorFollowsThePasswordOfTheLastWrite) {
    TempFolder home;
    UserProfile p;
    p.SetHomeFolder(home.str());
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    p.SetAttribute(kAttrSalt, salt);
    ASSERT_EQ(p.SetPassword(kPassword), kProfileOk);
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    EXPECT_EQ(p.VerifyPassword(kPassword), 0);
    EXPECT_NE(p.VerifyPassword("secret2"), 0);
    EXPECT_EQ(p.CheckAuthenticity(kPassword), 1);

    // Rewritten by someone else with another password: the check value still accepts ours,
    // the authenticator does not.
    const std::string_view other = "other-pw";
    ASSERT_EQ(p.Write(&other), kProfileOk);
    EXPECT_EQ(p.VerifyPassword(kPassword), 0);
    EXPECT_EQ(p.CheckAuthenticity(kPassword), 0);
    EXPECT_FALSE(p.authentic());

    // A change written without a password keeps the old authenticator, which no longer fits.
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    const uint8_t minutes[2] = {0x2c, 0x01};
    p.SetAttribute(kAttrKeepMinutes, minutes);
    EXPECT_EQ(p.KeepMinutes(), 300);
    char text[5];
    p.GetAttribute(kAttrKeepMinutes, text, true);
    EXPECT_STREQ(text, "2c01");
    ASSERT_EQ(p.Write(nullptr), kProfileOk);
    EXPECT_EQ(p.CheckAuthenticity(kPassword), 0);
}

TEST(PreferenceFile, PasswordCheckValueAndUnknownAttributes) {
    UserProfile p;
    const uint8_t salt[8] = {8, 7, 6, 5, 4, 3, 2, 1};
    p.SetAttribute(kAttrSalt, salt);
    ASSERT_EQ(p.SetPassword(kPassword), kProfileOk);
    uint8_t check[16];
    p.GetAttribute(kAttrPasswordCheck, check, false);
    Bytes input(salt, salt + 8);
    input.insert(input.end(), kPassword.begin(), kPassword.end());
    EXPECT_EQ(ToHex(check, 16), ToHex(Md5(input)));

    size_t size = 99;
    EXPECT_EQ(UserProfile::AttributeSize(16, &size), kProfileUnknownAttribute);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(UserProfile::AttributeSize(3, &size), kProfileOk);
    EXPECT_EQ(size, 255u);
}

TEST(PreferenceFile, UserKeyWrapsUnderThePasswordAndComesBack) {
    const uint8_t salt[8] = {9, 9, 9, 9, 1, 1, 1, 1};
    const uint8_t key[10] = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xa9};
    uint8_t wrapped[16];
    ASSERT_EQ(WrapUserKey(key, salt, kPassword, wrapped), kStatusOk);

    // The wrapping key is MD5(salt || password || password).
    uint8_t wk[16];
    WrappingKey(salt, kPassword, wk);
    Bytes input(salt, salt + 8);
    input.insert(input.end(), kPassword.begin(), kPassword.end());
    input.insert(input.end(), kPassword.begin(), kPassword.end());
    EXPECT_EQ(ToHex(wk, 16), ToHex(Md5(input)));

    UserProfile p;
    p.SetAttribute(kAttrSalt, salt);
    p.SetAttribute(kAttrWrappedKey, wrapped);
    uint8_t out[16];
    uint32_t length = 0;
    ASSERT_EQ(p.UnlockUserKey(kPassword, out, &length), kStatusOk);
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(ToHex(out, 10), ToHex(key, 10));
    EXPECT_EQ(p.UnlockUserKey("wrong-pw", out, &length), kStatusPasswordBlockDecryptFailed);

    // Re-wrapping from A to B and back to A gives the same bytes: the wrap is deterministic.
    uint8_t viaB[16], back[16];
    ASSERT_EQ(WrapUserKey(key, salt, "password-b", viaB), kStatusOk);
    ASSERT_EQ(UnwrapUserKey(viaB, salt, "password-b", out, &length), kStatusOk);
    ASSERT_EQ(WrapUserKey(out, salt, kPassword, back), kStatusOk);
    EXPECT_EQ(ToHex(back, 16), ToHex(wrapped, 16));
}

std::string Fingerprint(const Bytes& digest) {
    std::string hex = ToHex(digest);
    std::string out;
    for (int start : {0, 6, 12}) {
        if (!out.empty()) out += " - ";
        for (int k = 0; k < 3; ++k) {
            char c = hex[start + k];
            out += c >= 'a' ? static_cast<char>('0' + (c - 'a')) : c;
        }
    }
    return out;
}

TEST(PreferenceFile, EmergencyFingerprint) {
    UserProfile p;
    char text[33];
    ASSERT_EQ(p.EmergencyFingerprint(text), kProfileOk);
    EXPECT_STREQ(text, "NONE");

    // Find a key block whose digest starts a, 3, f: its first group must read 035.
    Bytes block(255, 0);
    for (uint32_t n = 1;; ++n) {
        std::memcpy(block.data(), &n, sizeof n);
        Bytes d(block.begin(), block.begin() + 126);
        d.insert(d.end(), block.begin(), block.begin() + 126);
        if (ToHex(Md5(d)).rfind("a3f", 0) == 0) {
            p.SetAttribute(kAttrEmergencyKey, block.data());
            ASSERT_EQ(p.EmergencyFingerprint(text), kProfileOk);
            EXPECT_EQ(std::string(text), Fingerprint(Md5(d)));
            EXPECT_EQ(std::string(text).substr(0, 3), "035");
            EXPECT_EQ(std::strlen(text), 15u);
            break;
        }
        ASSERT_LT(n, 200000u);
    }
}

TEST(PreferenceFile, SetUpTest) {
    TempFolder home;
    UserProfile p;
    p.SetHomeFolder(home.str());
    EXPECT_EQ(p.IsSetUp(), 0) << "no file at all";
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    p.Unload();
    EXPECT_EQ(p.IsSetUp(), -1) << "a prepared file without a wrapped key";
    const uint8_t wrapped[16] = {1};
    p.SetAttribute(kAttrWrappedKey, wrapped);
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    p.Unload();
    EXPECT_EQ(p.IsSetUp(), 0);
    WriteAll(home / "userpref.!!!", Bytes(100, 1));
    UserProfile q;
    q.SetHomeFolder(home.str());
    EXPECT_EQ(q.IsSetUp(), -1) << "unreadable";
}

// Records the message boxes the profile shows instead of showing them.
class RecordingHost : public qor::ui::DialogHost {
  public:
    RecordingHost() { qor::ui::SetHostForTesting(this); }
    ~RecordingHost() override { qor::ui::SetHostForTesting(nullptr); }
    int RunModal(qor::ui::DialogModel&, qor::ui::OwnerWindow) override {
        return qor::ui::kIdCancel;
    }
    int ShowMessage(qor::ui::OwnerWindow, std::string_view text, std::string_view caption,
                    qor::ui::MessageButtons, qor::ui::MessageIcon icon) override {
        messages.push_back(std::string(caption) + ": " + std::string(text));
        icons.push_back(icon);
        return qor::ui::kIdOk;
    }
    void Beep() override {}
    std::vector<std::string> messages;
    std::vector<qor::ui::MessageIcon> icons;
};

TEST(PreferenceFile, AFailedWriteLeavesTheOldFileWhole) {
    RecordingHost host;
    TempFolder home;
    UserProfile p;
    p.SetHomeFolder(home.str());
    FillPattern(p);
    ASSERT_EQ(p.Write(&kPassword), kProfileOk);
    const Bytes before = ReadAll(home / "userpref.!!!");
    // The temporary name is taken by a folder, so the new file cannot be made.
    fs::create_directories(home / "userpref.!!!.new" / "x");
    const uint8_t changed[1] = {1};
    p.SetAttribute(kAttrKeepPassword, changed);
    EXPECT_EQ(p.Write(&kPassword), kProfileCannotCreate);
    EXPECT_EQ(ReadAll(home / "userpref.!!!"), before);

    UserProfile q;
    q.SetHomeFolder((home / "no-such-folder").string());
    EXPECT_EQ(q.Write(&kPassword), kProfileCannotCreate);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0], "QOR Vaultis: Could not open QOR Vaultis user preference file");
    EXPECT_EQ(host.icons[0], qor::ui::MessageIcon::kExclamation);
}

}  // namespace
