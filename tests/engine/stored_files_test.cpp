// Files encrypted once by the Linux build and once by the Windows build, kept with the
// preference file and the passwords they were made with: every build, on either platform, must
// open all of them to the same plaintext under the same stored name, whichever build made them.
#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/platform/files.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>

#include <algorithm>
#include <string>
#include <vector>

#include "crypt_context.h"
#include "engine_internal.h"
#include "engine_test_support.h"
#include "file_trailer.h"
#include "vector_file.h"

namespace qor::engine::test {

namespace {

struct StoredFile {
    std::string made;  // the build that made it: "linux" or "windows"
    std::string password;
    Bytes userpref;  // local files: the preference file of the user who encrypted it
    std::string user;
    std::string name;  // the stored name, without its terminator
    std::string encryptedName;
    Bytes plaintext;
    Bytes file;
};

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A folder's names as UTF-8, sorted: on Windows path::string() would give the ANSI code page.
std::vector<std::string> Utf8Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::u8path(folder))) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<StoredFile> Load(const std::string& kind) {
    std::vector<StoredFile> files;
    for (const auto& record : qor::test::LoadVectors("stored_files.vec")) {
        if (Text(record.GetBytes("kind")) != kind) continue;
        StoredFile f;
        f.made = Text(record.GetBytes("made"));
        f.password = Text(record.GetBytes("password"));
        if (record.Has("userpref")) f.userpref = record.GetBytes("userpref");
        f.user = Text(record.GetBytes("user"));
        f.name = Text(record.GetBytes("name"));
        f.encryptedName = Text(record.GetBytes("encrypted_name"));
        f.plaintext = record.GetBytes("plaintext");
        f.file = record.GetBytes("file");
        files.push_back(f);
    }
    return files;
}

}  // namespace

class StoredFiles : public EngineTest {
  protected:
    // The file's own preference file in place of the one SetUp wrote, read and unlocked.
    void UseProfileOf(const StoredFile& f) {
        ASSERT_EQ(f.userpref.size(), profile::kProfileFileSize);
        WriteAll(home_ + platform::kSeparator + profile::kProfileFileName, f.userpref);
        profile::UserProfile& p = profile::Profile();
        p.Unload();
        ASSERT_EQ(p.Read(), 0);
        ASSERT_EQ(p.VerifyPassword(f.password), 0);
        EXPECT_EQ(p.CheckAuthenticity(f.password), 1);
        EXPECT_EQ(p.UserName(), f.user);
        profile::Cache().StorePassword(f.password);
    }

    void UseSharePassword(const std::string& password) {
        sharePassword_ = password;
        options_.mode = kModeFileShare;
        options_.password = sharePassword_.c_str();
        options_.passwordLength = static_cast<uint32_t>(sharePassword_.size());
    }

    // The file decrypted through the engine: the plaintext lands under the stored name beside
    // the encrypted file, without a message.
    void ExpectDecrypts(const StoredFile& f) {
        const std::string folder = Folder(f.made);
        const std::string encrypted = Utf8Path(f.made, f.encryptedName);
        WriteAll(encrypted, f.file);
        std::string decrypted;
        ASSERT_EQ(DecryptFile(job_, encrypted, &decrypted), kEngineOk);
        EXPECT_EQ(decrypted, Utf8Path(f.made, f.name));
        EXPECT_EQ(ReadAll(decrypted), f.plaintext);
        std::vector<std::string> both = {f.encryptedName, f.name};
        std::sort(both.begin(), both.end());
        EXPECT_EQ(Utf8Names(folder), both);
        EXPECT_TRUE(host_.messages.empty());
    }

    // The envelope's attribute list as stored: the whole name with its terminator, and the
    // name of the user who encrypted it.
    void ExpectAttributes(const StoredFile& f, const uint8_t* key, uint32_t keyLength) {
        const std::string encrypted = Utf8Path("attributes", f.encryptedName);
        WriteAll(encrypted, f.file);
        CryptContext context;
        std::string decrypted;
        uint32_t nameLength = 0;
        ASSERT_EQ(
            ReadEncryptedFile(context, encrypted, Utf8Path("attributes", "plain"), &decrypted,
                              &nameLength, CryptContext::kFileNameSize, key, keyLength, nullptr),
            0);
        EXPECT_EQ(std::string(context.fileName()), f.name);
        EXPECT_EQ(nameLength, f.name.size() + 1);
        EXPECT_EQ(std::string(context.userName()), f.user);
        EXPECT_EQ(ReadAll(Utf8Path("attributes", "plain")), f.plaintext);
    }

    // Path() goes through std::filesystem's narrow strings, which are not UTF-8 on Windows.
    std::string Utf8Path(const std::string& folder, const std::string& name) const {
        return Folder(folder) + platform::kSeparator + name;
    }

    std::string sharePassword_;
};

TEST_F(StoredFiles, LocalFilesOfBothBuildsOpenUnderTheirPreferenceFile) {
    const std::vector<StoredFile> files = Load("local");
    ASSERT_EQ(files.size(), 2u);
    for (const StoredFile& f : files) {
        SCOPED_TRACE("made by the " + f.made + " build: " + f.encryptedName);
        UseProfileOf(f);
        // The trailer keeps 13 bytes of the name (a longer one cut short), the size and mode.
        ASSERT_GT(f.file.size(), kLocalTrailerSize);
        EXPECT_EQ(Bytes(f.file.end() - kLocalTrailerSize, f.file.end()),
                  BuildTrailer(f.name, static_cast<int32_t>(f.plaintext.size()), kModeLocal,
                               nullptr, nullptr));
        ExpectDecrypts(f);

        uint8_t key[16] = {};
        uint32_t keyLength = 0;
        ASSERT_EQ(profile::Profile().UnlockUserKey(f.password, key, &keyLength), 0);
        EXPECT_EQ(keyLength, profile::kUserKeySize);
        ExpectAttributes(f, key, keyLength);
        SecureWipe(key, sizeof key);
    }
}

TEST_F(StoredFiles, LocalFileUnderAnotherUsersPreferenceFileIsRefused) {
    const std::vector<StoredFile> files = Load("local");
    ASSERT_EQ(files.size(), 2u);
    ASSERT_NE(files[0].userpref, files[1].userpref);
    const StoredFile& f = files[0];
    UseProfileOf(files[1]);
    const std::string encrypted = Utf8Path("other", f.encryptedName);
    WriteAll(encrypted, f.file);
    std::string decrypted;
    EXPECT_NE(DecryptFile(job_, encrypted, &decrypted), kEngineOk);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text,
              WithPath("QOR Vaultis: Could not decrypt  \"%s\".  File may have been tampered with "
                       "or encrypted by another person.",
                       encrypted));
    EXPECT_EQ(Utf8Names(Folder("other")), std::vector<std::string>{f.encryptedName});
    EXPECT_EQ(ReadAll(encrypted), f.file);
}

TEST_F(StoredFiles, SharedFilesOfBothBuildsOpenWithTheirOneTimePassword) {
    const std::vector<StoredFile> files = Load("share");
    ASSERT_EQ(files.size(), 2u);
    for (const StoredFile& f : files) {
        SCOPED_TRACE("made by the " + f.made + " build: " + f.encryptedName);
        host_.messages.clear();
        UseSharePassword(f.password);
        // The trailer: 13 bytes of the name, the size, the mode, then the check value of the
        // password under the stored salt.
        ASSERT_GT(f.file.size(), kShareTrailerSize);
        const Bytes trailer(f.file.end() - kShareTrailerSize, f.file.end());
        const uint8_t* salt = trailer.data() + kTrailerSaltAt;
        uint8_t key[16] = {}, check[16] = {};
        ASSERT_EQ(DeriveShareKey(f.password, salt, key, check), 0);
        EXPECT_EQ(trailer, BuildTrailer(f.name, static_cast<int32_t>(f.plaintext.size()),
                                        kModeFileShare, check, salt));
        ExpectDecrypts(f);
        ExpectAttributes(f, key, 16);
        SecureWipe(key, sizeof key);

        // Another file's password is refused before the envelope is read.
        const StoredFile& other = files[0].password == f.password ? files[1] : files[0];
        ASSERT_NE(other.password, f.password);
        UseSharePassword(other.password);
        const std::string encrypted = Utf8Path("wrong-" + f.made, f.encryptedName);
        WriteAll(encrypted, f.file);
        std::string decrypted;
        EXPECT_EQ(DecryptFile(job_, encrypted, &decrypted), kEngineWrongPassword);
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(
            host_.messages[0].text,
            WithPath("QOR Vaultis: \"%s\" was encrypted with a different password.", encrypted));
        EXPECT_EQ(Utf8Names(Folder("wrong-" + f.made)), std::vector<std::string>{f.encryptedName});
    }
}

}  // namespace qor::engine::test
