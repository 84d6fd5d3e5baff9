// Encryption failures: what is shown, what is deleted and what is left alone.
#include <qor/engine/file_engine.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>

#include "engine_internal.h"
#include "engine_test_support.h"
#include "file_stream.h"

namespace qor::engine::test {

class EncryptFailure : public EngineTest {
  protected:
    void TearDown() override {
        FailStreamWritesAfterForTesting(FileStream::kNoLimit);
        EngineTest::TearDown();
    }
};

TEST_F(EncryptFailure, ExistingOutputIsLeftAlone) {
    const std::string source = Path("src", "a.b");
    WriteAll(source, Pattern(100));
    const std::string output = Path("out", "a.b.!!!");
    WriteAll(output, Pattern(7, 5));
    host_.answers = {ui::kIdCancel};  // the answer is not used
    EXPECT_EQ(EncryptFile(job_, source, output), kEngineOutputExists);
    EXPECT_EQ(ReadAll(output), Pattern(7, 5));
    EXPECT_EQ(ReadAll(source), Pattern(100));
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(
        host_.messages[0].text,
        WithPath("QOR Vaultis: Could not encrypt \"%s\".  Encrypted file already exists.", source));
    EXPECT_EQ(host_.messages[0].buttons, ui::MessageButtons::kOkCancel);
    EXPECT_EQ(state_.cancelled, 0);

    job_.quiet = 1;
    EXPECT_EQ(EncryptFile(job_, source, output), kEngineOutputExists);
    EXPECT_EQ(host_.messages.size(), 1u);
}

TEST_F(EncryptFailure, MissingSourceTouchesNoOtherFile) {
    const std::string source = Path("src", "gone");
    const std::string output = Path("out", "gone.!!!");
    WriteAll(output, Pattern(7, 5));
    host_.answers = {ui::kIdCancel};
    EXPECT_EQ(EncryptFile(job_, source, output), kEngineCannotOpen);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text,
              WithPath("QOR Vaultis: Could not encrypt \"%s\".  Disk or drive may be "
                       "write-protected.",
                       source));
    EXPECT_EQ(state_.cancelled, 1) << "Cancel in the message stops the run";
    EXPECT_EQ(ReadAll(output), Pattern(7, 5)) << "not created by this run, so not deleted";

    // Once the run is cancelled no further message is shown.
    EXPECT_EQ(EncryptFile(job_, source, Path("out", "second.!!!")), kEngineCannotOpen);
    EXPECT_EQ(host_.messages.size(), 1u);
}

TEST_F(EncryptFailure, FailedWriteKeepsTheSourceAndLeavesNoOutput) {
    options_.removeSource = 1;
    const std::string source = Path("src", "big");
    WriteAll(source, Pattern(200'000));
    const std::string output = Path("out", "big.!!!");
    for (const uint64_t budget : {uint64_t{0}, uint64_t{70'000}, uint64_t{200'200}}) {
        SCOPED_TRACE(budget);
        host_.messages.clear();
        FailStreamWritesAfterForTesting(budget);
        const int status = EncryptFile(job_, source, output);
        FailStreamWritesAfterForTesting(FileStream::kNoLimit);
        EXPECT_NE(status, kEngineOk);
        EXPECT_EQ(ReadAll(source), Pattern(200'000));
        EXPECT_FALSE(platform::Exists(output));
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(host_.messages[0].text,
                  WithPath("QOR Vaultis: Could not encrypt \"%s\".", source));
        EXPECT_EQ(host_.messages[0].buttons, ui::MessageButtons::kOkCancel);
    }
    job_.quiet = 1;
    host_.messages.clear();
    FailStreamWritesAfterForTesting(0);
    EXPECT_NE(EncryptFile(job_, source, output), kEngineOk);
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(EncryptFailure, CancelledRunShowsNothingAndLeavesNoOutput) {
    const std::string source = Path("src", "a");
    WriteAll(source, Pattern(50'000));
    const std::string output = Path("out", "a.!!!");
    state_.cancelled = 1;
    EXPECT_EQ(EncryptFile(job_, source, output), kStatusCancelled);
    EXPECT_FALSE(platform::Exists(output));
    EXPECT_TRUE(platform::Exists(source));
    EXPECT_TRUE(host_.messages.empty());
}

TEST_F(EncryptFailure, WrongKeyOnDecryptionIsReportedEvenWhenQuiet) {
    const std::string source = Path("src", "a");
    WriteAll(source, Pattern(500));
    const std::string output = Path("out", "a.!!!");
    ASSERT_EQ(EncryptFile(job_, source, output), kEngineOk);
    // Another user's key: the file is someone else's.
    const uint8_t otherSalt[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    profile::Profile().SetAttribute(profile::kAttrSalt, otherSalt);
    job_.quiet = 1;
    std::string decrypted;
    EXPECT_NE(DecryptFile(job_, output, &decrypted), kEngineOk);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text,
              WithPath("QOR Vaultis: Could not decrypt  \"%s\".  File may have been tampered with "
                       "or encrypted by another person.",
                       output));
    EXPECT_EQ(Names(Folder("out")), std::vector<std::string>{"a.!!!"});
}

}  // namespace qor::engine::test
