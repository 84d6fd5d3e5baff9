// The AutoCrypt exports through the loaded library, bound by name and called with the argument
// types their callers pass: entries in buffers of 260 characters, string arrays, the 48-byte
// hand-over block and the caller's string list. After every call the list rests on disk only in
// its encrypted form.
#include <qor/entry/exports.h>
#include <qor/entry/string_array.h>
#include <qor/platform/files.h>
#include <qor/profile/password_hand_over.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "library_test_support.h"

namespace qor::entry::test {
namespace {

using qor::entry::StringArray;

using WindowCall = int (*)(QorWindow);
using PlainCall = int (*)();
using GetFirstCall = int (*)(QorWindow, char*, PasswordHandOver*);
using UpdateCall = int (*)(QorWindow, const QorStringArray*, int, int, PasswordHandOver*);
using EditCall = int (*)(QorWindow, void*);
using GetListCall = int (*)(QorWindow, QorStringList**, void*);
using RunCall = int (*)(QorWindow, PasswordHandOver*);
using EntriesCall = int (*)(QorWindow, const QorStringArray*, PasswordHandOver*);

constexpr size_t kEntryBuffer = 260;
const std::string kSep(1, qor::platform::kSeparator);

// Setup (which leaves the empty encrypted list), the password once for reading the list, once
// more at log-on after the caller dropped its block, and for each run on demand (the password
// is not kept, so the block does not carry it from one to the other).
const char kScenario[] = R"(# the AutoCrypt exports after the first use
dialog "QOR Vaultis" -> 1
dialog "Random Seeding": events=300
message "Done with random seeding." -> OK
dialog "QOR Vaultis": "Enter your user &name:"="Alice" "Enter your user &password:"="secret1" "Enter the password again to &confirm it:"="secret1" -> 1
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
message "QOR Vaultis setup is now complete." -> OK
dialog "Password": 1022="secret1" -> 1
dialog "QOR Vaultis Auto Decryption": 1022="secret1" -> 1
dialog "Password": 1022="secret1" -> 1
dialog "Password": 1022="secret1" -> 1
message "not installed" -> OK
)";

void Append(void* context, const char* text) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(text);
}

TEST(CoreLibrary, AutoCryptThroughTheLoadedLibrary) {
    const fs::path root = fs::temp_directory_path() / "qor-autocrypt-exports-test";
    const std::string home = PrepareRun(root, kScenario);
    const fs::path encryptedList = fs::path(home) / "autocryp.!!!";
    const fs::path plainList = fs::path(home) / "autocryp.lst";

    const fs::path data = root / "data";
    const fs::path one = data / "one.txt";
    const fs::path inDocs = data / "docs" / "a.txt";
    const fs::path deep = data / "docs" / "sub" / "b.doc";
    Write(one, "first file");
    Write(inDocs, "in the folder");
    Write(deep, std::string(20000, 'd'));

    LoadedLibrary library;
    ASSERT_TRUE(library.loaded()) << kLibrary;
    auto setup = library.Bind<WindowCall>("SetupQORSecure");
    auto getFirst = library.Bind<GetFirstCall>("AutoCryptGetFirst");
    auto getNext = library.Bind<GetFirstCall>("AutoCryptGetNext");
    auto update = library.Bind<UpdateCall>("UpdateAutocryptList");
    auto startUpFlag = library.Bind<PlainCall>("GetStartUpFlag");
    auto shutDownFlag = library.Bind<PlainCall>("GetShutDownFlag");
    auto edit = library.Bind<EditCall>("EditAutocryptList");
    auto getList = library.Bind<GetListCall>("GetAutocryptList");
    auto help = library.Bind<WindowCall>("ShowAutoCryptHelp");
    auto autoEncrypt = library.Bind<RunCall>("AutoEncrypt");
    auto autoDecrypt = library.Bind<RunCall>("AutoDecrypt");
    auto encryptNow = library.Bind<EntriesCall>("EncryptNow");
    auto decryptNow = library.Bind<EntriesCall>("DecryptNow");
    ASSERT_NE(decryptNow, nullptr);

    ASSERT_EQ(setup(nullptr), 1);
    EXPECT_TRUE(fs::exists(encryptedList)) << "setup leaves the empty list, encrypted";
    EXPECT_FALSE(fs::exists(plainList));

    // Guard bytes after the caller's 260 must stay as they are.
    char buffer[kEntryBuffer + 16];
    std::memset(buffer, 0x55, sizeof buffer);
    buffer[0] = '\0';
    auto guardsIntact = [&] {
        for (size_t k = kEntryBuffer; k < sizeof buffer; ++k) {
            if (static_cast<unsigned char>(buffer[k]) != 0x55) return false;
        }
        return true;
    };
    qor::PasswordHandOver handOver{};
    {
        SCOPED_TRACE("the list setup left: one empty entry, then the end");
        EXPECT_EQ(getFirst(nullptr, buffer, &handOver), 0);
        EXPECT_STREQ(buffer, "");
        EXPECT_STREQ(handOver.password, "secret1") << "for the edit dialog's later update";
        EXPECT_EQ(handOver.valid, 0);
        EXPECT_EQ(getNext(nullptr, buffer, nullptr), -1);
        EXPECT_STREQ(buffer, "");
        EXPECT_FALSE(fs::exists(plainList));
    }
    const std::string folderEntry = (data / "docs").string() + kSep + "*.*";
    {
        SCOPED_TRACE("the list and the settings written from a string array");
        const std::vector<std::string> entries = {one.string(), folderEntry};
        EXPECT_EQ(update(nullptr, StringArray(entries).get(), 1, 2, &handOver), 1);
        EXPECT_EQ(handOver.valid, 1);
        EXPECT_EQ(startUpFlag(), 1);
        EXPECT_EQ(shutDownFlag(), 0) << "only exactly 1 is on";
        EXPECT_FALSE(fs::exists(plainList));

        std::vector<std::string> read;
        ASSERT_EQ(getFirst(nullptr, buffer, &handOver), 0);
        read.emplace_back(buffer);
        while (getNext(nullptr, buffer, nullptr) == 0)
            read.emplace_back(buffer);
        EXPECT_EQ(read, entries);
        EXPECT_TRUE(guardsIntact());
        EXPECT_FALSE(fs::exists(plainList));
    }
    {
        SCOPED_TRACE("the two exports kept for old callers");
        EXPECT_EQ(edit(nullptr, nullptr), 1);
        std::vector<std::string> appended = {"the caller's"};
        QorStringList list{&appended, Append};
        QorStringList* listPointer = &list;
        EXPECT_EQ(getList(nullptr, &listPointer, nullptr), 1);
        EXPECT_EQ(appended, (std::vector<std::string>{"the caller's", "test"}));
    }
    {
        SCOPED_TRACE("the shut-down run with the block the update left");
        EXPECT_EQ(autoEncrypt(nullptr, &handOver), 1);
        EXPECT_FALSE(fs::exists(one));
        EXPECT_TRUE(fs::exists(data / "one(txt).!!!"));
        EXPECT_TRUE(fs::exists(data / "docs" / "a(txt).!!!"));
        EXPECT_TRUE(fs::exists(data / "docs" / "sub" / "b(doc).!!!"));
        EXPECT_FALSE(fs::exists(plainList));
    }
    {
        SCOPED_TRACE("the log-on run asks with its own caption");
        std::memset(&handOver, 0, sizeof handOver);
        EXPECT_EQ(autoDecrypt(nullptr, &handOver), 1);
        EXPECT_EQ(Contents(one), "first file");
        EXPECT_EQ(Contents(inDocs), "in the folder");
        EXPECT_EQ(Contents(deep), std::string(20000, 'd'));
        EXPECT_FALSE(fs::exists(data / "one(txt).!!!"));
        EXPECT_FALSE(fs::exists(plainList));
    }
    {
        SCOPED_TRACE("the runs on demand over the entries given");
        std::memset(&handOver, 0, sizeof handOver);
        const std::vector<std::string> entries = {one.string()};
        EXPECT_EQ(encryptNow(nullptr, StringArray(entries).get(), &handOver), 1);
        EXPECT_TRUE(fs::exists(data / "one(txt).!!!"));
        EXPECT_TRUE(fs::exists(inDocs)) << "only the entries given";
        EXPECT_EQ(decryptNow(nullptr, StringArray(entries).get(), &handOver), 1);
        EXPECT_EQ(Contents(one), "first file");
        EXPECT_FALSE(fs::exists(plainList));
    }
    EXPECT_EQ(help(nullptr), 1);
    library.Unload();

    const std::vector<std::string> expected = {
        "dialog: QOR Vaultis",
        "dialog: Random Seeding",
        "message: QOR Vaultis: Done with random seeding. [OK]",
        "dialog: QOR Vaultis",
        "dialog: QOR Vaultis",
        "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
        "confirm this. [OK/Cancel]",
        "message: QOR Vaultis: QOR Vaultis setup is now complete. [OK]",
        "dialog: Password",
        "dialog: Encrypting",
        "dialog: QOR Vaultis Auto Decryption",
        "dialog: Decrypting",
        "dialog: Password",
        "dialog: Encrypting",
        "dialog: Password",
        "dialog: Decrypting",
        "message: QOR Vaultis Help: Help topic 240 is not installed. [OK]",
    };
    // The dialogs and messages; the walks' status lines are the progress tests' concern.
    std::vector<std::string> shown;
    for (const std::string& line : Lines(root / "transcript.txt")) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << "no password in the transcript";
        if (line.rfind("status: ", 0) != 0) shown.push_back(line);
    }
    EXPECT_EQ(shown, expected);
    EXPECT_FALSE(fs::exists(plainList));
    fs::remove_all(root);
}

}  // namespace
}  // namespace qor::entry::test
