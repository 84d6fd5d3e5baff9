// File sharing: the one-time password, the trailer's check value and salt, and the
// self-extracting programs with their names.
#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/platform/files.h>

#include <cstring>

#include "engine_internal.h"
#include "engine_test_support.h"
#include "file_trailer.h"

namespace qor::engine::test {

class FileShare : public EngineTest {
  protected:
    void UsePassword(const char* password) {
        options_.mode = kModeFileShare;
        options_.password = password;
        options_.passwordLength = static_cast<uint32_t>(std::strlen(password));
    }
    std::string TheDifferentPasswordMessage(const std::string& path) const {
        return WithPath("QOR Vaultis: \"%s\" was encrypted with a different password.", path);
    }
};

TEST_F(FileShare, RoundTripWithTheTrailerHoldingCheckValueAndSalt) {
    UsePassword("one-time");
    const std::string source = Path("src", "shared.doc");
    WriteAll(source, Pattern(20'000));
    Bytes salts[2];
    for (int i = 0; i < 2; ++i) {
        const std::string output = Path("out" + std::to_string(i), "shared.doc.s!!");
        ASSERT_EQ(EncryptFile(job_, source, output), kEngineOk);
        const Bytes file = ReadAll(output);
        const Bytes trailer(file.end() - 75, file.end());
        const Bytes salt(trailer.begin() + 57, trailer.begin() + 73);
        uint8_t key[16], check[16];
        ASSERT_EQ(DeriveShareKey("one-time", salt.data(), key, check), 0);
        EXPECT_EQ(trailer, BuildTrailer("shared.doc", 20'000, kModeFileShare, check, salt.data()));
        salts[i] = salt;

        std::string decrypted;
        ASSERT_EQ(DecryptFile(job_, output, &decrypted), kEngineOk);
        EXPECT_EQ(ReadAll(decrypted), Pattern(20'000));
    }
    EXPECT_NE(salts[0], salts[1]) << "a new salt for every file";
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(FileShare, WrongPasswordOrMissingTrailerStopsBeforeTheEnvelope) {
    UsePassword("right");
    const std::string source = Path("src", "a.txt");
    WriteAll(source, Pattern(3000));
    const std::string output = Path("out", "a.txt.s!!");
    ASSERT_EQ(EncryptFile(job_, source, output), kEngineOk);
    const Bytes before = ReadAll(output);

    UsePassword("wrong");
    job_.quiet = 1;  // shown even so
    std::string decrypted;
    EXPECT_EQ(DecryptFile(job_, output, &decrypted), kEngineWrongPassword);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text, TheDifferentPasswordMessage(output));
    EXPECT_EQ(host_.messages[0].buttons, ui::MessageButtons::kOkCancel);
    EXPECT_EQ(Names(Folder("out")), std::vector<std::string>{"a.txt.s!!"});
    EXPECT_EQ(ReadAll(output), before);

    UsePassword("right");
    WriteAll(output, Bytes(before.begin(), before.end() - 75));
    EXPECT_EQ(DecryptFile(job_, output, &decrypted), kEngineWrongPassword);
    ASSERT_EQ(host_.messages.size(), 2u);
    EXPECT_EQ(host_.messages[1].text, TheDifferentPasswordMessage(output));
    EXPECT_EQ(Names(Folder("out")), std::vector<std::string>{"a.txt.s!!"});
}

TEST_F(FileShare, SelfExtractingProgramIsStubEnvelopeTrailer) {
    UsePassword("pw");
    options_.selfExtracting = 1;
    const Bytes stub = Pattern(25 * 1024 + 3, 4);
    WriteAll(home_ + platform::kSeparator + "decexe", stub);
    const std::string source = Path("src", "report.doc");
    WriteAll(source, Pattern(4000));
    std::string exe;
    ASSERT_EQ(SelfExtractingName(source, &exe), 0);
    ASSERT_EQ(EncryptFile(job_, source, exe), kEngineOk);
    const Bytes program = ReadAll(exe);
    ASSERT_GT(program.size(), stub.size() + 75);
    EXPECT_EQ(Bytes(program.begin(), program.begin() + static_cast<long>(stub.size())), stub);
    EXPECT_EQ(program[program.size() - 2], 0x4b);
    EXPECT_GE(hookCalls_, 2) << "the stub copy reports every 10 blocks";

    // What follows the stub is an ordinary file-sharing file.
    const std::string tail = Path("out", "tail.s!!");
    WriteAll(tail, Bytes(program.begin() + static_cast<long>(stub.size()), program.end()));
    std::string decrypted;
    ASSERT_EQ(DecryptFile(job_, tail, &decrypted), kEngineOk);
    EXPECT_EQ(NamePart(decrypted), "report.doc");
    EXPECT_EQ(ReadAll(decrypted), Pattern(4000));
}

TEST_F(FileShare, MissingStubLeavesNoProgram) {
    UsePassword("pw");
    options_.selfExtracting = 1;
    const std::string source = Path("src", "report.doc");
    WriteAll(source, Pattern(4000));
    const std::string exe = Path("src", "report.exe");
    EXPECT_EQ(EncryptFile(job_, source, exe), kEngineStubFailed);
    EXPECT_FALSE(platform::Exists(exe));
    EXPECT_TRUE(platform::Exists(source));
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(
        host_.messages[0].text,
        WithPath("QOR Vaultis: Could not encrypt \"%s\".  Could not create executable.", source));
    EXPECT_EQ(host_.messages[0].buttons, ui::MessageButtons::kOk);
}

TEST_F(FileShare, AnotherNameIsAskedForUntilAFreeOneOrCancel) {
    const std::string sep(1, platform::kSeparator);
    const std::string source = Path("src", "report.doc");
    WriteAll(Path("src", "report.exe"), {1});
    WriteAll(Path("src", "taken.exe"), {1});
    std::string name;
    ASSERT_EQ(SelfExtractingName(source, &name), -1);
    host_.names = {"taken.exe", "*.exe", Folder("elsewhere") + sep + "fresh"};
    ASSERT_EQ(ChooseAnotherName(job_, source, &name), 1);
    EXPECT_EQ(name, Folder("elsewhere") + sep + "fresh.exe");
    ASSERT_EQ(host_.messages.size(), 2u);
    EXPECT_EQ(host_.messages[0].text,
              WithPath("QOR Vaultis: \"%s\" already exsists.  Please choose another file name.",
                       Path("src", "report.exe")));
    EXPECT_EQ(host_.messages[1].text,
              "QOR Vaultis: File already exsists, Please choose another name.");
    EXPECT_EQ(host_.dialogCaptions.size(), 3u);
    EXPECT_EQ(host_.dialogCaptions[0], "Save As");
    EXPECT_EQ(host_.presetNames[0], "*.exe");

    host_.names.clear();
    name = Path("src", "report.exe");
    EXPECT_EQ(ChooseAnotherName(job_, source, &name), 0);
}

}  // namespace qor::engine::test
