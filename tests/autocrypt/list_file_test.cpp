// The list's two forms on disk: the plain lines, the handle's modes and sticky statuses, the
// encrypted form as a local file, and what happens to a plain list left behind.
#include <qor/autocrypt/text_line_file.h>
#include <qor/engine/own_file_crypt.h>
#include <qor/platform/files.h>

#include <filesystem>
#include <fstream>

#include "autocrypt_test_support.h"

namespace qor::autocrypt::test {
namespace {

namespace fs = std::filesystem;

TEST_F(AutoCryptTest, LinesAreReadAndWrittenAsTheListKeepsThem) {
    const std::string path = Path("lines.txt");
    {
        TextLineFile out(path, TextLineFile::Access::kWrite);
        ASSERT_TRUE(out.IsOpen());
        EXPECT_EQ(out.WriteLine("C:\\A\\B.TXT"), kTextLineOk);
        EXPECT_EQ(out.WriteLine(""), kTextLineOk);
    }
    EXPECT_EQ(ReadFile(path),
              (Bytes{'C', ':', '\\', 'A', '\\', 'B', '.', 'T', 'X', 'T', 13, 10, 13, 10}));

    // LF alone, CR LF, stray CRs at the end, a last line without its end, and a line of 600
    // characters, which is read as 510 and then the rest.
    const std::string long600(600, 'x');
    Touch(path, "one\ntwo\r\nthree\r\r\n" + long600 + "\r\nlast");
    TextLineFile in(path, TextLineFile::Access::kRead);
    std::string line;
    std::vector<std::string> lines;
    while (in.ReadLine(&line, kListLineBuffer) == kTextLineOk)
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", std::string(510, 'x'),
                                               std::string(90, 'x'), "last"}));
    EXPECT_EQ(in.ReadLine(&line, kListLineBuffer), kTextLineEnd);
    EXPECT_EQ(in.Rewind(), kTextLineOk);
    ASSERT_EQ(in.ReadLine(&line, kListLineBuffer), kTextLineOk);
    EXPECT_EQ(line, "one");

    TextLineFile missing(Path("none.txt"), TextLineFile::Access::kRead);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.ReadLine(&line, kListLineBuffer), kTextLineFailed);
    EXPECT_EQ(missing.WriteLine("x"), kTextLineFailed);
}

TEST_F(AutoCryptTest, HandleModesAndStickyStatuses) {
    ScriptedRun run("");
    AutoCryptList list;
    EXPECT_EQ(list.Open(ListModeRead, kPassword), kListMissing);
    EXPECT_EQ(list.ReadFirst(nullptr), kListMissing);
    EXPECT_EQ(list.Close(), 0);
    EXPECT_EQ(list.Open(7, kPassword), kListBadMode);
    EXPECT_EQ(list.Open(ListModeWrite, std::string(33, 'p')), kListPasswordLong);
    EXPECT_FALSE(PlainListExists());

    WriteList({"/a/b.txt", "/docs/*.*"});
    ASSERT_EQ(list.Open(ListModeRead, kPassword), kListOk);
    EXPECT_TRUE(PlainListExists());
    EXPECT_EQ(list.Count(), 2);
    std::string entry = "untouched";
    EXPECT_EQ(list.ReadFirst(&entry), 0);
    EXPECT_EQ(entry, "/a/b.txt");
    EXPECT_EQ(list.ReadNext(&entry), 0);
    EXPECT_EQ(entry, "/docs/*.*");
    EXPECT_EQ(list.ReadNext(&entry), -1);
    EXPECT_EQ(list.WriteEntry("x"), kListBadMode);
    // The handle failed: closing it does not encrypt, and every later operation fails.
    EXPECT_EQ(list.ReadNext(&entry), -1);
    EXPECT_EQ(list.Count(), -1);
    list.Close();

    ASSERT_EQ(list.Open(ListModeCreate, kPassword), kListOk);
    EXPECT_EQ(list.WriteEntry("x"), kListBadMode);
    EXPECT_EQ(list.status(), kListBadMode);
    list.Close();
    run.ExpectClean();
}

TEST_F(AutoCryptTest, EmptyListReadsAsNoEntryAndIsEncryptedAsALocalFile) {
    ScriptedRun run("");
    AutoCryptList list;
    ASSERT_EQ(list.Open(ListModeCreate, kPassword), kListOk);
    ASSERT_EQ(list.Close(), 0);
    EXPECT_FALSE(PlainListExists());
    const Bytes encrypted = ReadFile(EncryptedList());
    // The 35-byte trailer of a local file: the stored name, the plaintext size 0, mode 2.
    ASSERT_GT(encrypted.size(), 35u);
    const Bytes trailer(encrypted.end() - 35, encrypted.end());
    EXPECT_EQ(std::string(trailer.begin() + 6, trailer.begin() + 18), "autocryp.lst");
    EXPECT_EQ(trailer[33], 35);
    EXPECT_EQ(trailer[31], 2);
    EXPECT_EQ(engine::ProbePlaintextSize(EncryptedList()), 0);

    ASSERT_EQ(list.Open(ListModeRead, kPassword), kListOk);
    std::string entry = "as it was";
    EXPECT_EQ(list.ReadFirst(&entry), 0);
    EXPECT_EQ(entry, "as it was");
    EXPECT_EQ(list.ReadNext(&entry), -1);
    list.Close();

    WriteList({"C:\\A\\B.TXT", "D:\\DOCS\\*.*"});
    EXPECT_EQ(ListPlaintext(EncryptedList()), "C:\\A\\B.TXT\r\nD:\\DOCS\\*.*\r\n");
    EXPECT_EQ(engine::ProbePlaintextSize(EncryptedList()), 25);
    run.ExpectClean();
}

TEST_F(AutoCryptTest, ALeftoverPlainListIsWipedOrKeptEncrypted) {
    ScriptedRun run("");
    WriteList({"/kept/one"});
    // A process died while the list was open: the encrypted list is the last complete one.
    Touch(PlainList(), "/unfinished\r\n");
    AutoCryptList list;
    ASSERT_EQ(list.Open(ListModeRead, kPassword), kListOk);
    std::string entry;
    list.ReadFirst(&entry);
    EXPECT_EQ(entry, "/kept/one");
    list.Close();
    EXPECT_FALSE(PlainListExists());

    // Without an encrypted list the leftover's entries are all there is: they are kept.
    fs::remove(EncryptedList());
    Touch(PlainList(), "/only/here\r\n");
    ASSERT_EQ(list.Open(ListModeRead, kPassword), kListOk);
    list.ReadFirst(&entry);
    EXPECT_EQ(entry, "/only/here");
    list.Close();
    EXPECT_FALSE(PlainListExists());
    run.ExpectClean();
}

TEST_F(AutoCryptTest, AFailedEncryptionKeepsThePreviousListAndNoPlainOne) {
    ScriptedRun run("");
    WriteList({"/old"});
    const Bytes before = ReadFile(EncryptedList());
    Touch(PlainList(), "/new\r\n");
    // A wrong password cannot unlock the key: nothing may replace the list.
    EXPECT_NE(EncryptListFile("wrongpw"), 0);
    EXPECT_EQ(ReadFile(EncryptedList()), before);
    EXPECT_FALSE(PlainListExists());
    for (const auto& file : fs::directory_iterator(home_))
        EXPECT_EQ(file.path().filename().string().rfind("~fs", 0), std::string::npos);

    // A list that does not decrypt leaves no plain form behind.
    std::vector<uint8_t> damaged = before;
    damaged[damaged.size() / 2] ^= 0x20;
    WriteFile(EncryptedList(), damaged);
    AutoCryptList list;
    EXPECT_EQ(list.Open(ListModeRead, kPassword), kListUndecryptable);
    list.Close();
    EXPECT_FALSE(PlainListExists());
    run.ExpectClean();
}

// The plain list names the user's files: it is the owner's alone whenever it exists, also where
// a leftover open to everyone stood before.
TEST_F(AutoCryptTest, ThePlainListIsTheOwnersAlone) {
#ifdef _WIN32
    GTEST_SKIP() << "no permission bits: the home folder's access rules apply";
#else
    ScriptedRun run("");
    WriteList({"/a"});
    AutoCryptList list;
    ASSERT_EQ(list.Open(ListModeRead, kPassword), kListOk);
    EXPECT_EQ(platform::GetPermissions(PlainList()), 0600u) << "decrypted for reading";
    list.Close();
    for (const int32_t mode : {ListModeWrite, ListModeCreate}) {
        SCOPED_TRACE(mode);
        Touch(PlainList(), "/left\r\n");
        fs::permissions(PlainList(), fs::perms::owner_read | fs::perms::owner_write |
                                         fs::perms::group_read | fs::perms::others_read);
        ASSERT_EQ(list.Open(mode, kPassword), kListOk);
        EXPECT_EQ(platform::GetPermissions(PlainList()), 0600u);
        list.Close();
        EXPECT_FALSE(PlainListExists());
    }
    run.ExpectClean();
#endif
}

TEST_F(AutoCryptTest, ProbeReadsOnlyTheTrailer) {
    EXPECT_EQ(engine::ProbePlaintextSize(EncryptedList()), -1);
    WriteList({"/a"});
    Bytes bytes = ReadFile(EncryptedList());
    // A length of 300 is outside every trailer's.
    bytes[bytes.size() - 2] = 300 & 0xff;
    bytes[bytes.size() - 1] = 300 >> 8;
    WriteFile(EncryptedList(), bytes);
    EXPECT_EQ(engine::ProbePlaintextSize(EncryptedList()), -2);
    WriteFile(EncryptedList(), Bytes{1});
    EXPECT_EQ(engine::ProbePlaintextSize(EncryptedList()), -2);
}

}  // namespace
}  // namespace qor::autocrypt::test
