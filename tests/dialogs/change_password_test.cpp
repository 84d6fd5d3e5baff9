// The change of password: the same user key under a new wrapping, the checks and their
// messages in order, the non-authentic file, a re-wrap that fails without touching anything,
// the help button, and the flow around the dialog (dialog-open flag, backup offer).
#include <qor/profile/password_cache.h>
#include <qor/toolkit.h>

#include <filesystem>
#include <fstream>

#include "change_password_dialog.h"
#include "dialog_open_flag.h"
#include "dialog_test_support.h"
#include "password_check.h"

namespace qor::dialogs::test {
namespace {

using namespace ui;

// The backup offered after a change, declined.
const char* const kDeclineBackup =
    "dialog \"QOR Vaultis\": -> 2\n"
    "message \"will not be backed up\" -> OK\n";
const std::string kDeclineMessage =
    "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
    "confirm this. [OK/Cancel]";

std::string Change(std::string_view from, std::string_view to) {
    return "dialog \"Change Password\": 1301=\"" + std::string(from) + "\" 1302=\"" +
           std::string(to) + "\" 1303=\"" + std::string(to) + "\" -> 1\n";
}

class ChangePasswordTest : public DialogTest {
  protected:
    // A fresh process: the profile is read from the home folder by the operation itself.
    void Reload() { profile::Profile().Unload(); }
};

TEST_F(ChangePasswordTest, ChangingAndChangingBackReproducesTheFileAndKeepsTheUserKey) {
    SetUpUser("secretA");
    const Bytes original = ReadFile(HomeFile());
    profile::Cache().SetHeld(true);
    Reload();
    {
        ScriptedRun run(Change("secretA", "secretB") + kDeclineBackup);
        EXPECT_EQ(RunChangePassword(nullptr), 0);
        EXPECT_EQ(run.transcript,
                  (Lines{"dialog: Change Password", "dialog: QOR Vaultis", kDeclineMessage}));
        // Cleared while the change dialog is open, and back afterwards.
        EXPECT_EQ(run.host().openFlagAtDialog, (std::vector<bool>{false, false}));
        EXPECT_TRUE(DialogOpenFlag());
        run.ExpectClean();
    }
    const Bytes changed = ReadFile(HomeFile());
    for (int index :
         {profile::kAttrWrappedKey, profile::kAttrPasswordCheck, profile::kAttrAuthenticator}) {
        EXPECT_NE(AttributeIn(changed, index), AttributeIn(original, index)) << index;
    }
    EXPECT_EQ(profile::Cache().Password(), "secretB");
    EXPECT_TRUE(profile::Cache().held()) << "held keeps its value";
    EXPECT_EQ(profile::Cache().IsPasswordKept(), 1) << "the period starts again";

    // The key that unlocked files before the change unlocks them now, with the new password.
    profile::UserProfile reread;
    reread.SetHomeFolder(home_);
    ASSERT_EQ(reread.Read(), 0);
    EXPECT_EQ(reread.VerifyPassword("secretB"), 0);
    EXPECT_EQ(reread.CheckAuthenticity("secretB"), 1);
    uint8_t key[16] = {};
    uint32_t length = 0;
    ASSERT_EQ(reread.UnlockUserKey("secretB", key, &length), 0);
    EXPECT_EQ(Bytes(key, key + length), Bytes(kUserKey, kUserKey + sizeof kUserKey));
    EXPECT_NE(reread.VerifyPassword("secretA"), 0);

    profile::Cache().SetHeld(false);
    Reload();
    {
        ScriptedRun run(Change("secretB", "secretA") + kDeclineBackup);
        EXPECT_EQ(RunChangePassword(nullptr), 0);
        run.ExpectClean();
    }
    const Bytes back = ReadFile(HomeFile());
    EXPECT_EQ(back, original) << "attributes 2, 8 and 15 as before the first change";
    EXPECT_FALSE(profile::Cache().held());
}

TEST_F(ChangePasswordTest, ChecksRunInOrderAndOnlyTheFirstFailureIsShown) {
    SetUpUser("secretA");
    Reload();
    ScriptedRun run(
        "dialog \"Change Password\":"
        // all empty: a beep
        " -> 1"
        // wrong current and mismatching new ones: only the current password is mentioned
        " 1301=\"wrongpw\" 1302=\"newpass1\" 1303=\"newpass2\" -> 1"
        // the current field was emptied with the others: a beep
        " 1302=\"newpass1\" 1303=\"newpass1\" -> 1"
        // right current, five characters
        " 1301=\"secretA\" 1302=\"short\" 1303=\"short\" -> 1"
        // the current password stayed in its field: the mismatch is found next
        " 1302=\"newpass1\" 1303=\"newpass2\" -> 1"
        " 1302=\"newpass1\" 1303=\"newpass1\" -> 1\n"
        "message \"Current password\" -> OK\n"
        "message \"six characters\" -> OK\n"
        "message \"does not match\" -> OK\n" +
        std::string(kDeclineBackup));
    EXPECT_EQ(RunChangePassword(nullptr), 0);
    EXPECT_EQ(run.transcript,
              (Lines{
                  "dialog: Change Password",
                  "message: Password: Current password not entered correctly. [OK]",
                  "message: Password: User password must be at least six characters long. [OK]",
                  "message: Password: New password does not match. [OK]",
                  "dialog: QOR Vaultis",
                  kDeclineMessage,
              }));
    EXPECT_EQ(run.host().beeps(), 2);
    run.ExpectClean();
    EXPECT_EQ(profile::Profile().VerifyPassword("newpass1"), 0);
    for (const std::string& line : run.transcript) {
        EXPECT_EQ(line.find("secretA"), std::string::npos) << line;
        EXPECT_EQ(line.find("newpass1"), std::string::npos) << line;
    }
}

TEST_F(ChangePasswordTest, ANewPasswordEqualToTheCurrentOneIsAcceptedAndRewritesTheFile) {
    SetUpUser("secretA");
    Bytes file = ReadFile(HomeFile());
    const Bytes original = file;
    file.insert(file.end(), {'x', 'y', 'z'});  // ignored on reading, gone after a rewrite
    WriteFile(HomeFile(), file);
    Reload();
    ScriptedRun run(Change("secretA", "secretA") + kDeclineBackup);
    EXPECT_EQ(RunChangePassword(nullptr), 0);
    run.ExpectClean();
    EXPECT_EQ(ReadFile(HomeFile()), original);
}

TEST_F(ChangePasswordTest, NonAuthenticFileEndsTheDialogWithResultCodeMinus2) {
    SetUpUser("secretA", 5, true, "other99");
    const Bytes before = ReadFile(HomeFile());
    ScriptedRun run(
        "dialog \"Change Password\": 1301=\"secretA\" 1302=\"newpass1\" 1303=\"newpass1\" -> 1\n"
        "message \"is not valid\" -> OK\n");
    ChangePasswordDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
    EXPECT_EQ(dialog.resultCode(), kResultNotAuthentic);
    EXPECT_FALSE(dialog.changeDone());
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: Change Password",
                     "message: QOR Vaultis: The authentication for your user preference file "
                     "(userpref.!!!) is not valid. [OK]"}));
    EXPECT_EQ(run.host().icons, std::vector<MessageIcon>{MessageIcon::kStop});
    EXPECT_EQ(ReadFile(HomeFile()), before);
    run.ExpectClean();

    // Through the operation: no backup is offered and the result is -1.
    Reload();
    ScriptedRun flow(
        "dialog \"Change Password\": 1301=\"secretA\" 1302=\"newpass1\" 1303=\"newpass1\" -> 1\n"
        "message \"is not valid\" -> OK\n");
    EXPECT_EQ(RunChangePassword(nullptr), -1);
    EXPECT_TRUE(DialogOpenFlag());
    flow.ExpectClean();
}

TEST_F(ChangePasswordTest, AFailedRewrapLeavesTheKeyTheCheckValueAndTheFileAlone) {
    SetUpUser("secretA");
    // A wrapping that the right password cannot open, in an otherwise sound file.
    profile::UserProfile& p = profile::Profile();
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t corrupt[16];
    for (uint8_t fill = 1;; ++fill) {
        for (size_t k = 0; k < sizeof corrupt; ++k)
            corrupt[k] = static_cast<uint8_t>(fill + 37 * k);
        uint8_t out[16];
        uint32_t length = 0;
        if (profile::UnwrapUserKey(corrupt, salt, "secretA", out, &length) != 0 || length != 10)
            break;
    }
    p.SetAttribute(profile::kAttrWrappedKey, corrupt);
    const std::string_view password = "secretA";
    ASSERT_EQ(p.Write(&password), 0);
    const Bytes before = ReadFile(HomeFile());
    Reload();

    ScriptedRun run(Change("secretA", "newpass1") + "message \"could not be changed\" -> OK\n");
    EXPECT_EQ(RunChangePassword(nullptr), -1);
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: Change Password",
                     "message: QOR Vaultis: Your password could not be changed because the key "
                     "in your user preference file (userpref.!!!) could not be re-encrypted.  "
                     "Your current password is still valid. [OK]"}));
    run.ExpectClean();
    EXPECT_EQ(ReadFile(HomeFile()), before);
    EXPECT_EQ(AttributeNow(profile::kAttrWrappedKey),
              AttributeIn(before, profile::kAttrWrappedKey));
    EXPECT_EQ(AttributeNow(profile::kAttrPasswordCheck),
              AttributeIn(before, profile::kAttrPasswordCheck));
    EXPECT_EQ(p.VerifyPassword("secretA"), 0);
    EXPECT_NE(profile::Cache().Password(), "newpass1");
}

TEST_F(ChangePasswordTest, AnUnwritableFileLeavesTheOldPasswordInMemoryToo) {
    SetUpUser("secretA");
    Reload();
    ASSERT_EQ(profile::Profile().Read(), 0);
    const Bytes wrapped = AttributeNow(profile::kAttrWrappedKey);
    const Bytes check = AttributeNow(profile::kAttrPasswordCheck);
    const Bytes authenticator = AttributeNow(profile::kAttrAuthenticator);
    profile::Profile().SetHomeFolder((scratch_ / "no-such-folder").string());
    ScriptedRun run("message \"Could not open QOR Vaultis user preference file\" -> OK\n");
    EXPECT_NE(ChangeUserPassword("secretA", "newpass1"), 0);
    run.ExpectClean();
    EXPECT_EQ(AttributeNow(profile::kAttrWrappedKey), wrapped);
    EXPECT_EQ(AttributeNow(profile::kAttrPasswordCheck), check);
    EXPECT_EQ(AttributeNow(profile::kAttrAuthenticator), authenticator);
    EXPECT_EQ(profile::Cache().Password(), "");
}

TEST_F(ChangePasswordTest, HelpShowsTopic310AndCancelChangesNothing) {
    SetUpUser("secretA");
    const Bytes before = ReadFile(HomeFile());
    Reload();
    {
        ScriptedRun run(
            "dialog \"Change Password\": -> \"&Help\" -> 2\n"
            "message \"Help topic 310\" -> OK\n");
        EXPECT_EQ(RunChangePassword(nullptr), -1);
        EXPECT_EQ(run.transcript,
                  (Lines{"dialog: Change Password",
                         "message: QOR Vaultis Help: Help topic 310 is not installed. [OK]"}));
        EXPECT_TRUE(DialogOpenFlag());
        run.ExpectClean();
    }
    std::filesystem::create_directories(std::filesystem::path(home_) / "help");
    std::ofstream(std::filesystem::path(home_) / "help" / "310.txt")
        << "Changing your password\n\nType the current password once and the new one twice.\n";
    {
        ScriptedRun run(
            "dialog \"Change Password\": -> \"Help\" -> 2\n"
            "message \"Changing your password\" -> OK\n");
        EXPECT_EQ(RunChangePassword(nullptr), -1);
        EXPECT_EQ(run.transcript.at(1),
                  "message: QOR Vaultis Help: Changing your password\\n\\nType the current "
                  "password once and the new one twice. [OK]");
        run.ExpectClean();
    }
    EXPECT_EQ(ReadFile(HomeFile()), before);
}

}  // namespace
}  // namespace qor::dialogs::test
