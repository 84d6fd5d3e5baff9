#include "autocrypt_test_support.h"

#include <qor/engine/own_file_crypt.h>
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qor::autocrypt::test {

namespace fs = std::filesystem;

void AutoCryptTest::SetUp() {
    DialogTest::SetUp();
    ASSERT_TRUE(platform::RegistryWriteString(platform::Hive::kClassesRoot,
                                              "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                              "UserHomeDir", home_));
    SetUpUser(kPassword);
    for (int round = 0; round < 3; ++round)
        profile::GatherSystemEntropy(0, 0);
}

std::string AutoCryptTest::EncryptedList() const {
    return (fs::path(home_) / kEncryptedListName).string();
}

std::string AutoCryptTest::PlainList() const {
    return (fs::path(home_) / kPlainListName).string();
}

bool AutoCryptTest::PlainListExists() const {
    return fs::exists(PlainList());
}

void AutoCryptTest::WriteList(const std::vector<std::string>& entries) {
    AutoCryptList list;
    ASSERT_EQ(list.Open(ListModeWrite, kPassword), kListOk);
    for (const std::string& entry : entries)
        ASSERT_EQ(list.WriteEntry(entry), 0);
    ASSERT_EQ(list.Close(), 0);
    ASSERT_FALSE(PlainListExists());
}

void AutoCryptTest::WriteListBytes(const std::string& bytes) {
    std::ofstream(PlainList(), std::ios::binary) << bytes;
    ASSERT_EQ(EncryptListFile(kPassword), 0);
    ASSERT_FALSE(PlainListExists());
}

std::string AutoCryptTest::ListPlaintext(const std::string& encrypted) {
    SecureBuffer key(32);
    uint32_t length = 0;
    EXPECT_EQ(profile::Profile().UnlockUserKey(kPassword, key.data(), &length), 0);
    const std::string out = (scratch_ / "list-plaintext").string();
    EXPECT_EQ(engine::DecryptOwnFile(encrypted, out, key.data(), length), 0);
    std::ifstream in(out, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    in.close();
    fs::remove(out);
    return bytes.str();
}

std::string AutoCryptTest::Path(const std::string& name) const {
    return (scratch_ / name).string();
}

void AutoCryptTest::Touch(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

}  // namespace qor::autocrypt::test
