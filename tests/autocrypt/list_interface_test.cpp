// The list as the callers read and write it: entries one by one with the check of entries that
// cannot be found, the messages for a list that cannot be read, the settings, the callers'
// 260-character buffers, and the list encrypted anew by every complete read.
#include <qor/autocrypt/missing_entry.h>
#include <qor/platform/files.h>
#include <qor/profile/password_hand_over.h>
#include <qor/profile/user_profile.h>

#include <cstring>
#include <filesystem>

#include "autocrypt_test_support.h"
#include "list_interface.h"

namespace qor::autocrypt::test {
namespace {

namespace fs = std::filesystem;

const std::string kSep(1, platform::kSeparator);

// Reads the whole list as the edit dialog does: the first entry, then the next until -1.
std::vector<std::string> ReadAll(PasswordHandOver* handOver, int* first = nullptr) {
    char buffer[kEntryBufferSize] = {};
    std::vector<std::string> entries;
    const int result = AutoCryptGetFirst(nullptr, buffer, handOver);
    if (first != nullptr) *first = result;
    if (result != 0) return entries;
    entries.emplace_back(buffer);
    while (AutoCryptGetNext(nullptr, buffer) == 0)
        entries.emplace_back(buffer);
    EXPECT_EQ(buffer[0], '\0');
    return entries;
}

TEST_F(AutoCryptTest, ANeverWrittenListGivesOneEmptyEntryAndStaysEncrypted) {
    ScriptedRun setup("");
    CreateAutoCryptList(nullptr, {}, kPassword);
    setup.ExpectClean();
    const Bytes before = ReadFile(EncryptedList());

    ScriptedRun run(kPasswordAnswer);
    PasswordHandOver handOver{};
    int first = -5;
    EXPECT_EQ(ReadAll(&handOver, &first), std::vector<std::string>{""});
    EXPECT_EQ(first, 0);
    EXPECT_STREQ(handOver.password, kPassword);
    run.ExpectClean();
    // Only the encrypted list is left, with new random values and the same plaintext.
    EXPECT_FALSE(PlainListExists());
    EXPECT_NE(ReadFile(EncryptedList()), before);
    EXPECT_EQ(ListPlaintext(EncryptedList()), "");
}

TEST_F(AutoCryptTest, EntriesThatStandForSomethingAreKeptWithoutAQuestion) {
    const std::string file = Path("work" + kSep + "b.txt");
    Touch(file);
    Touch(Path("work" + kSep + "report(doc).!!!"));
    const std::vector<std::string> entries = {file, Path("gone" + kSep + "*.*"),
                                              Path("work" + kSep + "report.doc"), ""};
    WriteList(entries);
    const std::string before = ListPlaintext(EncryptedList());
    const Bytes encryptedBefore = ReadFile(EncryptedList());

    ScriptedRun run(kPasswordAnswer);
    EXPECT_EQ(ReadAll(nullptr), entries);
    run.ExpectClean();
    EXPECT_EQ(run.transcript, Lines{"dialog: Password"});
    EXPECT_FALSE(PlainListExists());
    EXPECT_NE(ReadFile(EncryptedList()), encryptedBefore);
    EXPECT_EQ(ListPlaintext(EncryptedList()), before);
}

TEST_F(AutoCryptTest, MissingEntriesAreAskedAboutOnceWhenTheUserSaysSoForAll) {
    const std::vector<std::string> missing = {Path("m1.txt"), Path("m2.txt"), Path("m3.txt")};
    WriteList(missing);
    {
        ScriptedRun run(std::string(kPasswordAnswer) +
                        "dialog \"AutoCrypt List\": \"Remove &all entries that cannot be "
                        "found\"=1 -> 1\n");
        EXPECT_EQ(ReadAll(nullptr), (std::vector<std::string>{"", "", ""}));
        run.ExpectClean();
        EXPECT_EQ(run.transcript, (Lines{"dialog: Password", "dialog: AutoCrypt List"}));
    }
    {
        // Cancel keeps that entry and every later missing one of the same read.
        ScriptedRun run(std::string(kPasswordAnswer) + "dialog \"AutoCrypt List\" -> 2\n");
        EXPECT_EQ(ReadAll(nullptr), missing);
        run.ExpectClean();
    }
    {
        // The choice lasts for one read only: the next one asks again; OK as the dialog opens
        // keeps the entry, "Remove this entry" removes only that one.
        ScriptedRun run(std::string(kPasswordAnswer) + "dialog \"AutoCrypt List\" -> 1\n" +
                        "dialog \"AutoCrypt List\": \"&Remove this entry\"=1 -> 1\n" +
                        "dialog \"AutoCrypt List\" -> 1\n");
        EXPECT_EQ(ReadAll(nullptr), (std::vector<std::string>{missing[0], "", missing[2]}));
        run.ExpectClean();
    }
    EXPECT_FALSE(PlainListExists());
}

TEST_F(AutoCryptTest, TheMissingEntryDialogShowsTheEntryShortenedToItsField) {
    MissingEntryDialog dialog("x");
    ASSERT_EQ(dialog.fieldWidth(), 51);
    const std::string sep = kSep;
    const std::string longPath = "C:" + sep + "Documents and Settings" + sep + "someone" + sep +
                                 "My Documents" + sep + "projects" + sep + "report.doc";
    const std::string shown = ShortenEntry(longPath, 51);
    EXPECT_EQ(shown, "C:" + sep + "..." + sep + "someone" + sep + "My Documents" + sep +
                         "projects" + sep + "report.doc");
    EXPECT_LE(shown.size(), 51u);
    EXPECT_EQ(ShortenEntry("C:" + sep + "short.txt", 51), "C:" + sep + "short.txt");
    EXPECT_EQ(ShortenEntry("C:" + sep + std::string(80, 'n'), 51).size(), 51u);
}

TEST_F(AutoCryptTest, AListThatCannotBeReadIsSaidAndThenEnds) {
    {
        fs::remove(EncryptedList());
        ScriptedRun run(std::string(kPasswordAnswer) + "message \"cannot be found\" -> OK\n");
        char buffer[kEntryBufferSize] = "kept";
        EXPECT_EQ(AutoCryptGetFirst(nullptr, buffer, nullptr), 0);
        EXPECT_STREQ(buffer, "kept");
        EXPECT_EQ(AutoCryptGetNext(nullptr, buffer), -1);
        EXPECT_STREQ(buffer, "");
        run.ExpectClean();
        EXPECT_EQ(run.transcript.back(),
                  "message: AutoCrypt: The AutoCrypt list cannot be found.  A new list will be "
                  "created. [OK]");
    }
    {
        WriteFile(EncryptedList(), Bytes(100, 0x41));
        ScriptedRun run(std::string(kPasswordAnswer) + "message \"cannot be recovered\" -> OK\n");
        EXPECT_EQ(ReadAll(nullptr), std::vector<std::string>{""});
        run.ExpectClean();
        EXPECT_EQ(run.transcript.back(),
                  "message: AutoCrypt: The AutoCrypt list cannot be recovered. A new list will be "
                  "created. [OK]");
        EXPECT_FALSE(PlainListExists());
    }
    {
        // A cancelled password reads nothing and opens nothing.
        WriteList({"/a"});
        ScriptedRun run("dialog \"Password\" -> 2\n");
        int first = 0;
        EXPECT_TRUE(ReadAll(nullptr, &first).empty());
        EXPECT_EQ(first, -1);
        EXPECT_FALSE(PlainListExists());
        run.ExpectClean();
    }
}

TEST_F(AutoCryptTest, EntriesTooLongForTheCallersBuffersAreHandedOverEmpty) {
    const std::string fits = "/" + std::string(258, 'f');
    WriteListBytes("/" + std::string(299, 'a') + "\r\n" + fits + "\r\n" + std::string(600, 'b') +
                   "\r\n/last\r\n");
    ScriptedRun run(std::string(kPasswordAnswer) + "dialog \"AutoCrypt List\" -> 2\n");
    // Guard bytes after the 260 the caller owns must stay as they are.
    char buffer[kEntryBufferSize + 64];
    std::memset(buffer, 0x55, sizeof buffer);
    buffer[0] = '\0';
    ASSERT_EQ(AutoCryptGetFirst(nullptr, buffer, nullptr), 0);
    std::vector<std::string> entries{buffer};
    while (AutoCryptGetNext(nullptr, buffer) == 0)
        entries.emplace_back(buffer);
    for (size_t k = kEntryBufferSize; k < sizeof buffer; ++k)
        ASSERT_EQ(static_cast<unsigned char>(buffer[k]), 0x55) << k;
    // The 600-character line is read as 510 characters and then 90 more, as two lines.
    EXPECT_EQ(entries, (std::vector<std::string>{"", fits, "", std::string(90, 'b'), "/last"}));
    run.ExpectClean();
}

TEST_F(AutoCryptTest, UpdateWritesTheEntriesAndTheSettingsWithoutAskingAgain) {
    ScriptedRun run("");
    PasswordHandOver handOver{};
    std::strcpy(handOver.password, kPassword);
    UpdateAutocryptList(nullptr, {"/b", "/a/*.*"}, 2, 1, &handOver);
    run.ExpectClean();
    EXPECT_TRUE(run.transcript.empty());
    EXPECT_EQ(handOver.valid, 1);
    EXPECT_EQ(ListPlaintext(EncryptedList()), "/b\r\n/a/*.*\r\n");
    EXPECT_FALSE(PlainListExists());
    // Only exactly 1 means on.
    EXPECT_EQ(GetStartUpFlag(), 0);
    EXPECT_EQ(GetShutDownFlag(), 1);
    profile::Profile().Unload();
    EXPECT_EQ(GetShutDownFlag(), 1);

    UpdateAutocryptList(nullptr, {}, 1, 0, &handOver);
    profile::Profile().Unload();
    EXPECT_EQ(GetStartUpFlag(), 1);
    EXPECT_EQ(GetShutDownFlag(), 0);
    EXPECT_EQ(ListPlaintext(EncryptedList()), "");
}

}  // namespace
}  // namespace qor::autocrypt::test
