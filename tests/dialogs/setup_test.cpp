// First-time setup: a seeding that cannot be skipped, the setup dialog's rules and messages,
// what the setup keeps and changes in the preference file, and the entry points' results.
#include <gtest/gtest.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "dialog_test_support.h"
#include "hosts/tty/tty_host.h"
#include "random_seeding_dialog.h"
#include "setup_dialog.h"
#include "setup_flow.h"

namespace qor::dialogs {
namespace {

namespace fs = std::filesystem;
using namespace qor::ui;
using namespace qor::profile;
using namespace qor::dialogs::test;

// A generator that still needs all its 256 seed bytes.
struct FreshRandom {
    FreshRandom() { RandomCreate(&random); }
    ~FreshRandom() { RandomDestroy(&random); }
    unsigned int Needed() const {
        unsigned int needed = 0;
        RandomBytesNeeded(&needed, random);
        return needed;
    }
    void Seed(Bytes bytes) {
        RandomSeed(random, bytes.data(), static_cast<unsigned>(bytes.size()));
    }
    Bytes Draw() {
        Seed(Bytes(256, 0));
        Bytes out(16);
        EXPECT_EQ(RandomGenerate(out.data(), random, 16), kStatusOk);
        return out;
    }
    RandomObject* random = nullptr;
};

uint32_t FixedTick() {
    return 0x11223344;
}
const Bytes kTickBytes = {0x44, 0x33, 0x22, 0x11};

// A file as the installation prepares it: each attribute a pattern naming its index, the
// wrapped key zero (not set up) unless `setUp`.
Bytes PreparedFile(bool setUp) {
    Bytes file;
    for (int index = 1; index <= kAttributeCount; ++index) {
        file.push_back(static_cast<uint8_t>(index));
        for (size_t k = 0; k < AttributeSizeOf(index); ++k)
            file.push_back(index == kAttrWrappedKey && !setUp ? 0 : uint8_t(index * 16 + k % 16));
    }
    return file;
}

class SetupTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        for (int k = 0; k < 3; ++k)  // enough seed bytes for a salt, whatever ran before
            GatherSystemEntropy(0, 0);
    }
};

const std::string kTyped =
    R"("Enter your user &name:"="Alice" "Enter your user &password:"="abcdef" )"
    R"("Enter the password again to &confirm it:"="abcdef")";
// The setup dialog answered, the diskette backup declined, the final message.
const std::string kSetupLines = "dialog \"QOR Vaultis\": " + kTyped + " -> 1\n" +
                                "dialog \"QOR Vaultis\": -> 2\n"
                                "message \"will not be backed up\" -> OK\n"
                                "message \"setup is now complete\" -> OK\n";
const Lines kSetupTranscript = {
    "dialog: QOR Vaultis",
    "dialog: QOR Vaultis",
    "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
    "confirm this. [OK/Cancel]",
    "message: QOR Vaultis: QOR Vaultis setup is now complete. [OK]",
};
// The welcome dialog, the seeding and its closing message.
const std::string kSeedingLines =
    "dialog \"QOR Vaultis\": -> 1\n"
    "dialog \"Random Seeding\": events=400\n"
    "message \"Done with random seeding.\" -> OK\n";
const Lines kSeedingTranscript = {"dialog: QOR Vaultis", "dialog: Random Seeding",
                                  "message: QOR Vaultis: Done with random seeding. [OK]"};

TEST(RandomSeeding, ClosesOnlyAfterMoreThan256EventsEvenWhenTheGeneratorIsSatisfiedEarlier) {
    FreshRandom fresh;
    RandomSeedingDialog dialog(fresh.random, FixedTick);
    TestView view(dialog.Template());
    dialog.OnInit(view);
    EXPECT_EQ(view.GetText(RandomSeedingDialog::kPercent), "0%");
    EXPECT_EQ(view.focus(), RandomSeedingDialog::kKeys);
    for (int k = 0; k < 32; ++k)  // 8 seed bytes each
        dialog.OnPointerMove(view, k, 2 * k);
    EXPECT_EQ(fresh.Needed(), 0u);
    for (int k = 32; k < 128; ++k)
        dialog.OnKey(view, 'a', 1);
    EXPECT_EQ(view.GetText(RandomSeedingDialog::kPercent), "50%");
    EXPECT_EQ(dialog.FilledWidth(),
              dialog.Template().Find(RandomSeedingDialog::kBar)->rect.width / 2);
    EXPECT_EQ(dialog.FilledWidth(400), 200);
    for (int k = 128; k < 256; ++k)
        dialog.OnKey(view, 'a', 1);
    EXPECT_EQ(view.GetText(RandomSeedingDialog::kPercent), "100%");
    dialog.OnCommand(view, kIdCancel);  // Escape
    dialog.OnCommand(view, kIdOk);      // Enter
    EXPECT_FALSE(view.closed());
    dialog.OnPointerMove(view, 1, 1);
    EXPECT_TRUE(view.closed());
    EXPECT_EQ(view.result(), kIdOk);
    EXPECT_EQ(dialog.FilledWidth(400), 400);  // never wider than the bar
}

TEST(RandomSeeding, ScriptedEscapeIsRefusedAndEnoughEventsCloseIt) {
    ScriptedRun refused("dialog \"Random Seeding\": events=256 -> 2 -> 1\n");
    RandomSeedingDialog early;
    CurrentHost().RunModal(early);
    EXPECT_EQ(refused.errors.str(), "dialog did not close: Random Seeding\n");

    ScriptedRun done("dialog \"Random Seeding\": events=300\n");
    RandomSeedingDialog seeding;
    EXPECT_EQ(CurrentHost().RunModal(seeding), kIdOk);
    EXPECT_EQ(seeding.events(), 257);
    done.ExpectClean();
}

TEST(RandomSeeding, AKeyStrokeOnATerminalCountsOnceThoughItAlsoChangesTheText) {
    struct Keys : tty::TtyIo {
        explicit Keys(int count) : left(count) {}
        void Write(std::string_view) override {}
        int ReadKey(int) override { return left-- > 0 ? 'k' : tty::kKeyEnd; }
        void SetRaw(bool) override {}
        int left;
    };
    FreshRandom fresh;
    RandomSeedingDialog short_(fresh.random, FixedTick), enough(fresh.random, FixedTick);
    EXPECT_EQ(tty::TtyHost(std::make_unique<Keys>(256)).RunModal(short_), kIdCancel);
    EXPECT_EQ(short_.events(), 256);
    EXPECT_EQ(tty::TtyHost(std::make_unique<Keys>(257)).RunModal(enough), kIdOk);
}

TEST(EntropyEvents, MixTheirBytesInOrder) {
    FreshRandom seeded, setup, reference, setupReference;
    RandomSeedingDialog seeding(seeded.random, FixedTick);
    TestView seedingView(seeding.Template());
    seeding.OnKey(seedingView, 'q', 1);
    seeding.OnPointerMove(seedingView, 0x1234, 0x5678);
    EXPECT_EQ(seeded.Needed(), 256u - 12);
    reference.Seed(kTickBytes);
    reference.Seed(kTickBytes);
    reference.Seed({0x84, 0x44, 0x33, 0x22});  // x's low nibble, y's above it, the low tick bytes
    EXPECT_EQ(seeded.Draw(), reference.Draw());

    SetupDialog dialog(setup.random, FixedTick);
    TestView view(dialog.Template());
    dialog.OnPointerMove(view, 0x01020304, 7);
    dialog.OnKey(view, 'A', 3);
    for (Bytes piece : {kTickBytes, Bytes{4, 3, 2, 1}, Bytes{7, 0, 0, 0}, kTickBytes,
                        Bytes{'A', 0, 0, 0}, Bytes{3, 0, 0, 0}})
        setupReference.Seed(piece);
    EXPECT_EQ(setup.Draw(), setupReference.Draw());
}

TEST_F(SetupTest, PasswordRulesApplyInOrderWithExactMessages) {
    ScriptedRun run(
        "dialog \"QOR Vaultis\": 1301=\"Alice\" -> 1 1302=\"abcdef\" 1303=\"abcdeg\" -> 1 "
        "1302=\"abcde\" 1303=\"abcde\" -> 1 1302=\"abcdef\" -> 1 1303=\"abcdef\" -> 1\n"
        "message \"New password\" -> OK\nmessage \"at least 6\" -> OK\n");
    SetupDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.done());
    // The first press, and the confirmation the refusal emptied.
    EXPECT_EQ(run.host().beeps(), 2);
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: QOR Vaultis", "message: Password: New password does not match. [OK]",
                     "message: Password: Password must be at least 6 characters long. [OK]"}));
    SecureBuffer kept = dialog.TakePassword();
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(kept.data()), kept.size()), "abcdef");
    EXPECT_EQ(Cache().Password(), "abcdef");
    run.ExpectClean();
    Bytes name(64, 0);
    std::copy_n("Alice", 5, name.begin());
    EXPECT_EQ(AttributeIn(ReadFile(HomeFile()), kAttrUserName), name);
    Profile().Unload();
    ASSERT_EQ(Profile().Read(), kProfileOk);
    EXPECT_EQ(Profile().VerifyPassword("abcdef"), 0);
}

// Enter presses OK wherever the focus is: a refused OK moves on to the first empty field, so
// that a newcomer's name, Enter, password, Enter, password, Enter fills the form in order.
TEST_F(SetupTest, RefusedOkMovesOnToTheFirstEmptyField) {
    SetupDialog dialog;
    TestView view(dialog.Template());
    dialog.OnInit(view);
    EXPECT_EQ(view.focus(), SetupDialog::kName);
    view.SetText(SetupDialog::kName, "Alice");
    dialog.OnCommand(view, kIdOk);
    EXPECT_EQ(view.focus(), SetupDialog::kPassword);
    view.SetText(SetupDialog::kPassword, "abcdef");
    dialog.OnCommand(view, kIdOk);
    EXPECT_EQ(view.focus(), SetupDialog::kConfirm);
    EXPECT_EQ(view.beeps, 2);
    EXPECT_FALSE(view.closed());
    view.SetText(SetupDialog::kName, "");
    view.SetText(SetupDialog::kConfirm, "abcdef");
    dialog.OnCommand(view, kIdOk);
    EXPECT_EQ(view.focus(), SetupDialog::kName) << "the name emptied again comes first";
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(SetupTest, PasswordFieldsRefuseTheEleventhCharacter) {
    ScriptedRun run("dialog *: 1301=\"Bob\" 1302=\"abcdefghijk\" 1303=\"abcdefghijk\" -> 1\n");
    SetupDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    Profile().Unload();
    ASSERT_EQ(Profile().Read(), kProfileOk);
    EXPECT_EQ(Profile().VerifyPassword("abcdefghij"), 0);
    run.ExpectClean();
}

TEST_F(SetupTest, AnUnseededGeneratorRefusesTheSaltAndTheDialogStays) {
    FreshRandom fresh;
    ScriptedRun run("dialog *: " + kTyped + " -> 1 -> 2\nmessage \"restart QOR\" -> OK\n");
    SetupDialog dialog(fresh.random, FixedTick);
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
    EXPECT_FALSE(dialog.done());
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: QOR Vaultis",
                     "message: QOR Vaultis: An error has ocurred during QOR Vaultis password "
                     "generation.  Please restart QOR Vaultis setup. [OK]"}));
    EXPECT_FALSE(fs::exists(HomeFile()));
    run.ExpectClean();
}

TEST_F(SetupTest, SetupOverAPreparedFileKeepsWhatTheInstallationPutThere) {
    WriteFile(HomeFile(), PreparedFile(false));
    ScriptedRun run(kSetupLines);
    EXPECT_EQ(RunSetup(nullptr), 0);
    EXPECT_EQ(run.transcript, kSetupTranscript);
    run.ExpectClean();
    const Bytes prepared = PreparedFile(false), written = ReadFile(HomeFile());
    ASSERT_EQ(written.size(), kProfileFileSize);
    for (int index : {3, 4, 5, 6, 7, 9, 10, 11, 12, 14})
        EXPECT_EQ(AttributeIn(written, index), AttributeIn(prepared, index)) << index;
    for (int index : {1, 2, 8, 13, 15})
        EXPECT_NE(AttributeIn(written, index), AttributeIn(prepared, index)) << index;
    EXPECT_EQ(Cache().Password(), "");  // not kept beyond the setup
    Profile().Unload();
    EXPECT_EQ(SetupCompleted(), 0);
    EXPECT_EQ(Profile().CheckAuthenticity("abcdef"), 1);
}

TEST_F(SetupTest, TwoSetupsWithTheSameAnswersDifferInSaltKeyAndFile) {
    ScriptedRun run(kSetupLines + kSetupLines);
    std::vector<Bytes> files, keys;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(RunSetup(nullptr), 0);
        files.push_back(ReadFile(HomeFile()));
        uint8_t key[16];
        uint32_t length = 0;
        ASSERT_EQ(
            UnwrapUserKey(AttributeIn(files.back(), kAttrWrappedKey).data(),
                          AttributeIn(files.back(), kAttrSalt).data(), "abcdef", key, &length),
            kStatusOk);
        keys.emplace_back(key, key + length);
    }
    EXPECT_EQ(keys[0].size(), kUserKeySize);
    EXPECT_NE(AttributeIn(files[0], kAttrSalt), AttributeIn(files[1], kAttrSalt));
    EXPECT_NE(keys[0], keys[1]);
    EXPECT_NE(files[0], files[1]);
    run.ExpectClean();
}

TEST_F(SetupTest, EntryPointsSeedThenSetUpAndReportTheOutcome) {
    WriteFile(HomeFile(), PreparedFile(false));
    EXPECT_EQ(SetupCompleted(), -1);
    {
        ScriptedRun run(kSeedingLines +
                        "dialog \"QOR Vaultis\": -> 2\n"
                        "message \"unsuccessful\" -> OK\n");
        EXPECT_EQ(SetupQORSecure(nullptr), 1);
        Lines expected = kSeedingTranscript;
        expected.insert(expected.end(),
                        {"dialog: QOR Vaultis",
                         "message: QOR Vaultis: QOR Vaultis setup was unsuccessful. [OK]"});
        EXPECT_EQ(run.transcript, expected);
        EXPECT_EQ(run.host().icons.back(), MessageIcon::kExclamation);
        EXPECT_EQ(ReadFile(HomeFile()), PreparedFile(false));
        run.ExpectClean();
    }
    {
        ScriptedRun run(kSeedingLines +
                        "dialog \"QOR Vaultis\": -> 2\nmessage \"unsuccessful\" -> OK\n");
        EXPECT_EQ(ContinueSetup(nullptr), -1);
        run.ExpectClean();
    }
    ScriptedRun run(kSeedingLines + kSetupLines);
    EXPECT_EQ(ContinueSetup(nullptr), 0);
    Lines expected = kSeedingTranscript;
    expected.insert(expected.end(), kSetupTranscript.begin(), kSetupTranscript.end());
    EXPECT_EQ(run.transcript, expected);
    run.ExpectClean();
    EXPECT_EQ(SetupCompleted(), 0);
}

TEST_F(SetupTest, ContinueSetupForASetUpUserStartsTheProgramAndShowsNothing) {
    WriteFile(HomeFile(), PreparedFile(true));
    ScriptedRun run("");
    // No "vodorura.rar" in the home folder: starting it fails, the call does not.
    EXPECT_EQ(ContinueSetup(nullptr), 0);
    EXPECT_TRUE(run.transcript.empty());
#ifndef _WIN32
    const fs::path program = fs::path(home_) / "vodorura.rar", marker = fs::path(home_) / "started";
    std::ofstream(program) << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
    fs::permissions(program, fs::perms::owner_all);
    EXPECT_EQ(ContinueSetup(nullptr), 0);
    for (int k = 0; k < 100 && !fs::exists(marker); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(fs::exists(marker));
#endif
    run.ExpectClean();
}

}  // namespace
}  // namespace qor::dialogs
