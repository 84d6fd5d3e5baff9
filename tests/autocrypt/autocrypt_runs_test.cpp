// The runs: what each asks and says before it starts, the files a list run encrypts and
// decrypts, the list written anew, the entries a run skips, and cancel.
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>

#include <filesystem>

#include "autocrypt_runs.h"
#include "autocrypt_test_support.h"
#include "list_interface.h"

namespace qor::autocrypt::test {
namespace {

namespace fs = std::filesystem;

const std::string kSep(1, platform::kSeparator);

void SetStartUp(uint8_t on) {
    profile::UserProfile& p = profile::Profile();
    p.SetAttribute(profile::kAttrDecryptAtStartup, &on);
    const std::string_view password = kPassword;
    ASSERT_EQ(p.Write(&password), 0);
}

TEST_F(AutoCryptTest, RunsThatHaveNothingToDoAskNothing) {
    {
        // A fresh installation: the empty list.
        CreateAutoCryptList(nullptr, {}, kPassword);
        ScriptedRun run("");
        AutoEncrypt(nullptr, nullptr);
        SetStartUp(1);
        AutoDecrypt(nullptr, nullptr);
        run.ExpectClean();
        EXPECT_TRUE(run.transcript.empty());
    }
    {
        // The start-up setting off: not even a password prompt.
        WriteList({Path("a.txt")});
        SetStartUp(0);
        ScriptedRun run("");
        AutoDecrypt(nullptr, nullptr);
        run.ExpectClean();
        EXPECT_TRUE(run.transcript.empty());
    }
}

TEST_F(AutoCryptTest, AListThatCannotBeProbedIsSaidBeforeAnyPassword) {
    {
        ScriptedRun run("message \"Could not open\" -> OK\n");
        AutoEncrypt(nullptr, nullptr);
        run.ExpectClean();
        EXPECT_EQ(run.transcript, (Lines{"message: AutoCrypt: Could not open the AutoCrypt list.  "
                                         "No files will be encrypted. [OK]"}));
    }
    {
        WriteList({Path("a.txt")});
        Bytes bytes = ReadFile(EncryptedList());
        bytes[bytes.size() - 2] = 300 & 0xff;
        bytes[bytes.size() - 1] = 300 >> 8;
        WriteFile(EncryptedList(), bytes);
        ScriptedRun run("message \"damaged\" -> OK\n");
        AutoEncrypt(nullptr, nullptr);
        SetStartUp(1);
        AutoDecrypt(nullptr, nullptr);
        run.ExpectClean();
        EXPECT_EQ(run.transcript, (Lines{"message: AutoCrypt: The AutoCrypt list has been "
                                         "damaged.  No files will be encrypted. [OK]"}));
    }
}

TEST_F(AutoCryptTest, ShutDownAndLogOnRunsEncryptAndDecryptTheListedFiles) {
    const std::string one = Path("work" + kSep + "one.txt");
    const std::string deep = Path("work" + kSep + "docs" + kSep + "sub" + kSep + "deep.doc");
    const std::string own = Path("work" + kSep + "docs" + kSep + "autocryp.lst");
    const std::string other = Path("work" + kSep + "other.txt");
    Touch(one, "first");
    Touch(deep, "second");
    Touch(own, "own name");
    Touch(other, "not listed");
    WriteList({one, Path("work" + kSep + "docs") + kSep + "*.*"});
    const std::string listBefore = ListPlaintext(EncryptedList());

    {
        ScriptedRun run(kPasswordAnswer);
        AutoEncrypt(nullptr, nullptr);
        run.ExpectClean();
        EXPECT_EQ(run.transcript[0], "dialog: Password");
        EXPECT_EQ(run.transcript[1], "dialog: Encrypting");
    }
    EXPECT_FALSE(fs::exists(one));
    EXPECT_TRUE(fs::exists(Path("work" + kSep + "one(txt).!!!")));
    EXPECT_TRUE(fs::exists(Path("work" + kSep + "docs" + kSep + "sub" + kSep + "deep(doc).!!!")));
    EXPECT_TRUE(fs::exists(own));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_FALSE(PlainListExists());
    EXPECT_EQ(ListPlaintext(EncryptedList()), listBefore);

    SetStartUp(1);
    {
        ScriptedRun run("dialog \"QOR Vaultis Auto Decryption\": 1022=\"secret1\" -> 1\n");
        AutoDecrypt(nullptr, nullptr);
        run.ExpectClean();
        EXPECT_EQ(run.transcript[1], "dialog: Decrypting");
    }
    EXPECT_EQ(ReadFile(one), (Bytes{'f', 'i', 'r', 's', 't'}));
    EXPECT_EQ(ReadFile(deep), (Bytes{'s', 'e', 'c', 'o', 'n', 'd'}));
    EXPECT_FALSE(PlainListExists());
}

TEST_F(AutoCryptTest, EntriesInsideTheSystemFolderAreSkippedSilently) {
    // A file of the test's own inside the system folder (Linux: /var/tmp; Windows: its temp).
#ifdef _WIN32
    const std::string folder = platform::WindowsFolder() + "\\Temp";
#else
    const std::string folder = "/var/tmp";
#endif
    const std::string file = folder + kSep + "qor-autocrypt-system-test.txt";
    Touch(file, "system");
    ScriptedRun run(kPasswordAnswer);
    EncryptNow(nullptr, {file}, nullptr);
    run.ExpectClean();
    EXPECT_EQ(run.transcript, (Lines{"dialog: Password", "dialog: Encrypting"}));
    EXPECT_TRUE(fs::exists(file));
    fs::remove(file);
    // Decryption has no such rule, and an encrypted file there is not expected either.
}

TEST_F(AutoCryptTest, CancelStopsTheRun) {
    std::vector<std::string> files;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        files.push_back(Path(std::string("many") + kSep + name));
        Touch(files.back(), name);
    }
    ScriptedRun run(std::string(kPasswordAnswer) + "progress cancel-after=1\n");
    EncryptNow(nullptr, files, nullptr);
    run.ExpectClean();
    int plain = 0;
    for (const std::string& file : files)
        plain += fs::exists(file) ? 1 : 0;
    EXPECT_GE(plain, 2);
    for (const auto& entry : fs::directory_iterator(Path("many")))
        EXPECT_EQ(entry.path().filename().string().rfind("~fs", 0), std::string::npos);
}

// A run cancelled at its first look at the flag: the listed files not reached stay as they
// were, and the list, read for the run, is encrypted again with the same entries.
TEST_F(AutoCryptTest, ACancelledListRunLeavesTheListEncryptedAsItWas) {
    std::vector<std::string> files;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        files.push_back(Path(std::string("listed") + kSep + name));
        Touch(files.back(), name);
    }
    WriteList(files);
    const std::string listBefore = ListPlaintext(EncryptedList());
    auto count = [&](bool plain) {
        int n = 0;
        for (const std::string& file : files) {
            const std::string name = plain ? file : engine::EncryptedCounterpart(file);
            n += fs::exists(name) ? 1 : 0;
        }
        return n;
    };
    auto noLeftovers = [&] {
        EXPECT_FALSE(PlainListExists());
        EXPECT_EQ(ListPlaintext(EncryptedList()), listBefore);
        for (const auto& entry : fs::directory_iterator(Path("listed")))
            EXPECT_EQ(entry.path().filename().string().rfind("~fs", 0), std::string::npos);
    };
    {
        ScriptedRun run(std::string(kPasswordAnswer) + "progress cancel-after=1\n");
        AutoEncrypt(nullptr, nullptr);
        run.ExpectClean();
    }
    EXPECT_GE(count(true), 2);
    EXPECT_EQ(count(true) + count(false), 3) << "each file in one form";
    noLeftovers();

    // Everything encrypted, then the log-on run cancelled: it stops, nothing is lost.
    {
        ScriptedRun run(kPasswordAnswer);
        AutoEncrypt(nullptr, nullptr);
        run.ExpectClean();
    }
    ASSERT_EQ(count(false), 3);
    SetStartUp(1);
    {
        ScriptedRun run(
            "dialog \"QOR Vaultis Auto Decryption\": 1022=\"secret1\" -> 1\n"
            "progress cancel-after=1\n");
        AutoDecrypt(nullptr, nullptr);
        run.ExpectClean();
    }
    EXPECT_GE(count(false), 2);
    EXPECT_EQ(count(true) + count(false), 3) << "each file in one form";
    noLeftovers();
}

}  // namespace
}  // namespace qor::autocrypt::test
