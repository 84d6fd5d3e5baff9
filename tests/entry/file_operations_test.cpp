// The file operations through the loaded library: a local encryption that keeps the password,
// the local decryption with the kept password, file sharing with a one-time password, and the
// opening of single encrypted files. Dialogs are answered by the script host from a scenario;
// the results are checked on disk, in the hand-over block and in the transcript.
#include <qor/entry/exports.h>
#include <qor/entry/string_array.h>
#include <qor/platform/files.h>
#include <qor/profile/password_hand_over.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "library_test_support.h"

namespace qor::entry::test {
namespace {

using qor::entry::StringArray;

using SelectionCall = int (*)(QorWindow, const QorStringArray*, PasswordHandOver*);
using ShareCall = int (*)(QorWindow, const QorStringArray*, void*);
using OpenCall = int (*)(QorWindow, const char*, char*, PasswordHandOver*);
using WindowCall = int (*)(QorWindow);

const char kSeparator[] = {qor::platform::kSeparator, '\0'};

// Setup, then: local encryption keeping the password for 5 minutes (the hidden file refused),
// local decryption with the kept password (no password typed), file sharing of two files with
// their sources deleted, a wrong one-time password, the right one; the kept password opening a
// ".!!!" file and the one-time password prompt opening a ".s!!" file.
const char kScenario[] = R"(# file operations after the first use
dialog "QOR Vaultis" -> 1
dialog "Random Seeding": events=300
message "Done with random seeding." -> OK
dialog "QOR Vaultis": "Enter your user &name:"="Alice" "Enter your user &password:"="secret1" "Enter the password again to &confirm it:"="secret1" -> 1
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
message "QOR Vaultis setup is now complete." -> OK
dialog "Encrypt": 1022="secret1" "&Keep password in memory for"=1 1026=5 -> 1
message "hidden file." -> OK
dialog "Decrypt" -> 1
dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1
dialog "File Sharing - Decryption": 1022="wrongpw1" -> 1
message "was encrypted with a different password." -> OK
dialog "File Sharing - Decryption": 1022="onetime1" 1049=1 -> 1
dialog "Encrypt" -> 1
dialog "Password": 1014="onetime1" -> 1
)";

// A folder's files, relative and sorted.
std::vector<std::string> Tree(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            names.push_back(fs::relative(entry.path(), folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CoreLibrary, FileOperationsThroughTheLoadedLibrary) {
    const fs::path root = fs::temp_directory_path() / "qor-file-operations-test";
    const std::string home = PrepareRun(root, kScenario);

    const fs::path data = root / "data";
    const std::string report = "quarterly figures\n" + std::string(5000, 'x');
    const std::string notes = std::string("nested \0 bytes", 14) + std::string(70000, 'n');
    Write(data / "report.doc", report);
    Write(data / "sub" / "deep" / "notes.txt", notes);
    Write(data / "sub" / ".hidden", "not for encryption");
#ifdef _WIN32
    ASSERT_TRUE(qor::platform::SetAttributes((data / "sub" / ".hidden").string(),
                                             qor::platform::kAttrHidden));
#endif
    Write(data / "share.txt", "shared text");
    Write(data / "other.txt", "other shared text");
    Write(data / "open.txt", "opened by double-click");

    LoadedLibrary library;
    ASSERT_TRUE(library.loaded()) << kLibrary;
    auto setup = library.Bind<WindowCall>("SetupQORSecure");
    auto localEncrypt = library.Bind<SelectionCall>("LocalEncrypt");
    auto localDecrypt = library.Bind<SelectionCall>("LocalDecrypt");
    auto shareEncrypt = library.Bind<ShareCall>("FileShareEncrypt");
    auto shareDecrypt = library.Bind<ShareCall>("FileShareDecrypt");
    auto associateDecrypt = library.Bind<OpenCall>("AssociateDecrypt");
    ASSERT_NE(associateDecrypt, nullptr);
    ASSERT_EQ(setup(nullptr), 1);

    qor::PasswordHandOver handOver{};
    const std::vector<std::string> selection = {data.string(), "report.doc",
                                                std::string("sub") + kSeparator + "*.*"};
    {
        SCOPED_TRACE("local encryption, the password typed and kept");
        EXPECT_EQ(localEncrypt(nullptr, StringArray(selection).get(), &handOver), 1);
        EXPECT_EQ(Tree(data),
                  (std::vector<std::string>{"open.txt", "other.txt", "report(doc).!!!", "share.txt",
                                            "sub/.hidden", "sub/deep/notes(txt).!!!"}));
        EXPECT_EQ(Contents(data / "report(doc).!!!").find("quarterly"), std::string::npos);
        EXPECT_EQ(Contents(data / "sub" / ".hidden"), "not for encryption");
        EXPECT_EQ(handOver.valid, 1);
        EXPECT_EQ(handOver.keepMinutes, 5u);
        EXPECT_NE(handOver.cacheTime, 0u);
        EXPECT_STREQ(handOver.password, "secret1");
    }
    {
        SCOPED_TRACE("local decryption with the kept password");
        const std::vector<std::string> encrypted = {data.string(), "report(doc).!!!",
                                                    std::string("sub") + kSeparator + "*.*"};
        EXPECT_EQ(localDecrypt(nullptr, StringArray(encrypted).get(), &handOver), 1);
        EXPECT_EQ(Contents(data / "report.doc"), report);
        EXPECT_EQ(Contents(data / "sub" / "deep" / "notes.txt"), notes);
        EXPECT_FALSE(fs::exists(data / "report(doc).!!!"));
        EXPECT_FALSE(fs::exists(data / "sub" / "deep" / "notes(txt).!!!"));
        EXPECT_EQ(handOver.valid, 1) << "the block stays as it was";
    }
    {
        SCOPED_TRACE("file sharing with a one-time password");
        const qor::PasswordHandOver before = handOver;
        int untouched = 7;
        const std::vector<std::string> files = {data.string(), "share.txt", "other.txt"};
        EXPECT_EQ(shareEncrypt(nullptr, StringArray(files).get(), &untouched), 1);
        EXPECT_EQ(untouched, 7);
        EXPECT_EQ(std::memcmp(&before, &handOver, sizeof handOver), 0);
        EXPECT_FALSE(fs::exists(data / "share.txt"));
        EXPECT_FALSE(fs::exists(data / "other.txt"));
        ASSERT_TRUE(fs::exists(data / "share(txt).s!!"));
        ASSERT_TRUE(fs::exists(data / "other(txt).s!!"));

        const std::vector<std::string> shared = {data.string(), "share(txt).s!!"};
        EXPECT_EQ(shareDecrypt(nullptr, StringArray(shared).get(), nullptr), 1);
        EXPECT_FALSE(fs::exists(data / "share.txt")) << "the wrong password decrypts nothing";
        EXPECT_TRUE(fs::exists(data / "share(txt).s!!"));
        EXPECT_EQ(shareDecrypt(nullptr, StringArray(shared).get(), nullptr), 1);
        EXPECT_EQ(Contents(data / "share.txt"), "shared text");
        EXPECT_FALSE(fs::exists(data / "share(txt).s!!"));
    }
    {
        SCOPED_TRACE("opening single encrypted files");
        const std::vector<std::string> one = {data.string(), "open.txt"};
        EXPECT_EQ(localEncrypt(nullptr, StringArray(one).get(), &handOver), 1);
        ASSERT_TRUE(fs::exists(data / "open(txt).!!!"));

        char result[260] = "untouched";
        EXPECT_EQ(
            associateDecrypt(nullptr, (data / "report.doc").string().c_str(), result, &handOver),
            -1);
        EXPECT_EQ(associateDecrypt(nullptr, "no-dot-at-all", result, &handOver), -1);
        EXPECT_STREQ(result, "untouched");

        EXPECT_EQ(
            associateDecrypt(nullptr, (data / "open(txt).!!!").string().c_str(), result, &handOver),
            0);
        EXPECT_EQ(std::string(result), (data / "open.txt").string());
        EXPECT_EQ(Contents(data / "open.txt"), "opened by double-click");
        EXPECT_FALSE(fs::exists(data / "open(txt).!!!"));

        std::memset(result, 0, sizeof result);
        EXPECT_EQ(
            associateDecrypt(nullptr, (data / "other(txt).s!!").string().c_str(), result, nullptr),
            0);
        EXPECT_EQ(std::string(result), (data / "other.txt").string());
        EXPECT_EQ(Contents(data / "other.txt"), "other shared text");
    }
    library.Unload();

    const std::string hidden = (data / "sub" / ".hidden").string();
    const std::string shared = (data / "share(txt).s!!").string();
    const std::vector<std::string> expected = {
        "dialog: QOR Vaultis",
        "dialog: Random Seeding",
        "message: QOR Vaultis: Done with random seeding. [OK]",
        "dialog: QOR Vaultis",
        "dialog: QOR Vaultis",
        "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
        "confirm this. [OK/Cancel]",
        "message: QOR Vaultis: QOR Vaultis setup is now complete. [OK]",
        "dialog: Encrypt",
        "dialog: Encrypting",
        "message: QOR Vaultis: Cannot encrypt \"" + hidden + "\": hidden file. [OK/Cancel]",
        "dialog: Decrypt",
        "dialog: Decrypting",
        "dialog: File Sharing - Encryption",
        "dialog: Encrypting",
        "dialog: File Sharing - Decryption",
        "dialog: Decrypting",
        "message: QOR Vaultis: \"" + shared +
            "\" was encrypted with a different password. [OK/Cancel]",
        "dialog: File Sharing - Decryption",
        "dialog: Decrypting",
        "dialog: Encrypt",
        "dialog: Encrypting",
        "dialog: Decrypting",
        "dialog: Password",
        "dialog: Decrypting",
    };
    std::vector<std::string> shown;
    int statusLines = 0;
    for (const std::string& line : Lines(root / "transcript.txt")) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << "no password in the transcript";
        EXPECT_EQ(line.find("onetime"), std::string::npos) << "no password in the transcript";
        EXPECT_EQ(line.find("wrongpw"), std::string::npos) << "no password in the transcript";
        if (line.rfind("status: ", 0) == 0) {
            ++statusLines;
        } else {
            shown.push_back(line);
        }
    }
    EXPECT_EQ(shown, expected);
    EXPECT_GT(statusLines, 0);
    fs::remove_all(root);
}

}  // namespace
}  // namespace qor::entry::test
