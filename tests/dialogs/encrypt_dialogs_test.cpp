// The "Encrypt" and "Decrypt" dialogs and the emergency access information: what they show on
// opening, a password kept in memory (used at once, or expired while the dialog was open),
// "&More" with and without an emergency key, the help topics and the held spin button.
#include <qor/platform/files.h>
#include <qor/profile/password_cache.h>

#include "decrypt_dialog.h"
#include "dialog_test_support.h"
#include "emergency_info_dialog.h"
#include "encrypt_dialog.h"

namespace qor::dialogs::test {
namespace {

using namespace ui;

const std::string kSep(1, platform::kSeparator);
const int kPasswordControls[] = {
    kIdPasswordLabel, kIdPassword,     kIdKeep,           kIdMinutes, kIdUp,
    kIdDown,          kIdMinutesLabel, kIdMinutesLabelOff};

class EncryptDialogTest : public DialogTest {
  protected:
    static std::vector<std::string> Selection() {
        return {kSep + "data" + kSep + "Quarterly reports of the whole company", "a.txt",
                "old" + kSep + "*.*"};
    }
    // An organisation with an emergency key; `optional` is attribute 5.
    static void SetUpEmergency(bool optional) {
        profile::UserProfile& p = profile::Profile();
        char organisation[64] = "Acme Corp";
        p.SetAttribute(profile::kAttrOrganisation, organisation);
        uint8_t key[255] = {};
        for (size_t i = 0; i < sizeof key; ++i)
            key[i] = static_cast<uint8_t>(i * 7 + 1);
        p.SetAttribute(profile::kAttrEmergencyKey, key);
        const uint8_t flag = optional ? 1 : 0;
        p.SetAttribute(profile::kAttrEmergencyOptional, &flag);
    }
    // The password as a successful check leaves it: kept from now.
    static void KeepPassword(const char* password) {
        profile::Cache().StorePassword(password);
        profile::Cache().StartKeepPeriod();
        profile::Cache().SetHeld(true);
    }
};

TEST_F(EncryptDialogTest, OpeningShowsTheSelectionTheShortenedFolderAndTheUser) {
    SetUpEmergency(true);
    SetUpUser("secret1", 7, false);
    EncryptDialog dialog(Selection(), 40);
    TestView view(dialog.Template());
    dialog.OnInit(view);
    EXPECT_EQ(view.caption(), "Encrypt");
    EXPECT_EQ(view.GetText(kIdFolder), kSep + "data" + kSep + "Quarterly re...");
    EXPECT_EQ(view.GetText(kIdSelectionList), "a.txt old" + kSep + "*.*");
    EXPECT_EQ(view.GetText(kIdUserName), "alice");
    EXPECT_EQ(view.GetText(kIdOrganisation), "Acme Corp");
    EXPECT_EQ(view.GetText(kIdMinutes), "7");
    EXPECT_EQ(view.focus(), kIdPassword);
    EXPECT_FALSE(dialog.inMemory());
    // Not kept: the minutes stay visible but disabled, and "minute(s)" replaces "mi&nute(s)".
    for (int id : {kIdMinutes, kIdUp, kIdDown}) {
        EXPECT_TRUE(view.Visible(id)) << id;
        EXPECT_FALSE(view.Enabled(id)) << id;
    }
    EXPECT_FALSE(view.Visible(kIdMinutesLabel));
    EXPECT_TRUE(view.Visible(kIdMinutesLabelOff));
    view.Click(dialog, kIdKeep);
    EXPECT_TRUE(view.Enabled(kIdMinutes));
    EXPECT_TRUE(view.Visible(kIdMinutesLabel));
    EXPECT_FALSE(view.Visible(kIdMinutesLabelOff));

    DecryptDialog decrypt(Selection());
    EXPECT_EQ(decrypt.Template().caption, "Decrypt");
    EXPECT_EQ(decrypt.Template().Find(kIdMore), nullptr);
    EXPECT_EQ(decrypt.Template().Find(kIdOrganisation), nullptr);
    EXPECT_EQ(decrypt.Template().Find(kIdMinutesLabel)->text, "&minute(s)");
    EXPECT_EQ(dialog.Template().Find(kIdMinutesLabel)->text, "mi&nute(s)");
}

TEST_F(EncryptDialogTest, TypedPasswordConfirmsAndKeptPasswordIsUsedWithoutAField) {
    SetUpUser("secret1", 5, true);
    {
        ScriptedRun run("dialog \"Encrypt\": 1022=\"secret1\" 1026=9 -> 1\n");
        EncryptDialog dialog(Selection());
        EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
        EXPECT_EQ(dialog.resultFlag(), 1);
        EXPECT_EQ(dialog.minutes(), 9);
        EXPECT_FALSE(dialog.inMemory());
        EXPECT_FALSE(dialog.noEmergency());
        run.ExpectClean();
    }
    // Now kept: the next dialog hides every password control and OK goes ahead at once.
    DecryptDialog shown(Selection());
    TestView view(shown.Template());
    shown.OnInit(view);
    EXPECT_TRUE(shown.inMemory());
    for (int id : kPasswordControls) {
        EXPECT_FALSE(view.Visible(id)) << id;
        EXPECT_FALSE(view.Enabled(id)) << id;
    }
    ScriptedRun run("dialog \"Decrypt\": -> 1\n");
    DecryptDialog dialog(Selection());
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_EQ(dialog.resultFlag(), 1);
    EXPECT_TRUE(dialog.inMemory());
    EXPECT_EQ(run.transcript, Lines{"dialog: Decrypt"});
    run.ExpectClean();
}

TEST_F(EncryptDialogTest, KeptPasswordThatExpiresWhileTheDialogIsOpenIsAskedFor) {
    SetUpUser("secret1", 5, true);
    KeepPassword("secret1");
    EncryptDialog dialog(Selection());
    TestView view(dialog.Template());
    dialog.OnInit(view);
    ASSERT_TRUE(dialog.inMemory());
    EXPECT_FALSE(view.Visible(kIdPassword));

    now += 5 * 60 + 1;
    dialog.OnCommand(view, kIdOk);
    EXPECT_EQ(view.messages, Lines{"QOR Vaultis: Password no longer in memory."});
    EXPECT_EQ(view.beeps, 1) << "the field that has just appeared is empty";
    EXPECT_FALSE(view.closed());
    EXPECT_FALSE(dialog.inMemory());
    for (int id : {kIdPasswordLabel, kIdPassword, kIdKeep, kIdMinutes, kIdMinutesLabel}) {
        EXPECT_TRUE(view.Visible(id)) << id;
        EXPECT_TRUE(view.Enabled(id)) << id;
    }
    view.SetText(kIdPassword, "secret1");
    dialog.OnCommand(view, kIdOk);
    EXPECT_TRUE(view.closed());
    EXPECT_EQ(view.result(), kIdOk);
    EXPECT_EQ(dialog.resultFlag(), 1);
    EXPECT_FALSE(dialog.inMemory()) << "typed here: the caller hands it back";
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(EncryptDialogTest, MoreWithoutEmergencyKeyOnlySaysSo) {
    SetUpUser("secret1");
    ScriptedRun run(
        "dialog \"Encrypt\": -> \"&More\" -> 2\n"
        "message \"No Emergency\" -> OK\n");
    EncryptDialog dialog(Selection());
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
    EXPECT_EQ(
        run.transcript,
        (Lines{"dialog: Encrypt",
               "message: QOR Vaultis: No Emergency Access is available for this user. [OK]"}));
    EXPECT_FALSE(dialog.noEmergency());
    EXPECT_EQ(dialog.resultFlag(), 0);
    run.ExpectClean();
}

TEST_F(EncryptDialogTest, MoreOpensTheEmergencyInformationAndKeepsItsChoice) {
    SetUpEmergency(true);  // before the user, whose file authenticates it
    SetUpUser("secret1");
    ScriptedRun run(
        "dialog \"Encrypt\": -> 1048 1022=\"secret1\" -> 1\n"
        "dialog \"Emergency Access Information\": 1014=1 -> 1\n");
    EncryptDialog dialog(Selection());
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.noEmergency());
    EXPECT_EQ(run.transcript, (Lines{"dialog: Encrypt", "dialog: Emergency Access Information"}));
    run.ExpectClean();

    // Opened again, the box shows the choice made before; cancelling keeps it.
    EmergencyInfoDialog info(true);
    TestView view(info.Template());
    info.OnInit(view);
    EXPECT_TRUE(view.IsChecked(EmergencyInfoDialog::kDisable));
    EXPECT_EQ(view.GetText(EmergencyInfoDialog::kOrganisation), "Acme Corp");
    char fingerprint[33] = {};
    profile::Profile().EmergencyFingerprint(fingerprint);
    EXPECT_NE(std::string(fingerprint), "NONE");
    EXPECT_EQ(view.GetText(EmergencyInfoDialog::kFingerprint), fingerprint);
    info.OnCommand(view, kIdCancel);
    EXPECT_TRUE(info.noEmergency());
}

TEST_F(EncryptDialogTest, EmergencyAccessThatIsNotOptionalHasNoBoxAndStaysOn) {
    SetUpEmergency(false);
    SetUpUser("secret1");
    EmergencyInfoDialog info(true);
    TestView view(info.Template());
    info.OnInit(view);
    EXPECT_FALSE(view.Visible(EmergencyInfoDialog::kDisable));
    EXPECT_FALSE(view.Enabled(EmergencyInfoDialog::kDisable));
    info.OnCommand(view, kIdOk);
    EXPECT_EQ(view.result(), kIdOk);
    EXPECT_FALSE(info.noEmergency());

    ScriptedRun run(
        "dialog \"Encrypt\": -> 1048 -> 2\n"
        "dialog \"Emergency Access Information\": -> 1\n");
    EncryptDialog dialog(Selection());
    CurrentHost().RunModal(dialog);
    EXPECT_FALSE(dialog.noEmergency());
    run.ExpectClean();
}

TEST_F(EncryptDialogTest, HelpButtonsOpenTheirTopics) {
    SetUpUser("secret1");
    ScriptedRun run(
        "dialog \"Encrypt\": -> \"&Help\" -> 2\n"
        "message \"130\" -> OK\n"
        "dialog \"Decrypt\": -> \"&Help\" -> 2\n"
        "message \"170\" -> OK\n");
    EncryptDialog encrypt(Selection());
    DecryptDialog decrypt(Selection());
    CurrentHost().RunModal(encrypt);
    CurrentHost().RunModal(decrypt);
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: Encrypt",
                     "message: QOR Vaultis Help: Help topic 130 is not installed. [OK]",
                     "dialog: Decrypt",
                     "message: QOR Vaultis Help: Help topic 170 is not installed. [OK]"}));
    run.ExpectClean();
}

TEST_F(EncryptDialogTest, HoldingUpStepsAfterHalfASecondThenEveryTenthAndStopsAt999) {
    SetUpUser("secret1", 996, true);
    EncryptDialog dialog(Selection());
    TestView view(dialog.Template());
    dialog.OnInit(view);
    dialog.OnButtonPressed(view, kIdUp);
    view.RunTimersUntil(dialog, 499);
    EXPECT_EQ(view.GetText(kIdMinutes), "996");
    view.RunTimersUntil(dialog, 500);
    EXPECT_EQ(view.GetText(kIdMinutes), "997");
    view.RunTimersUntil(dialog, 600);
    EXPECT_EQ(view.GetText(kIdMinutes), "998");
    view.RunTimersUntil(dialog, 900);
    EXPECT_EQ(view.GetText(kIdMinutes), "999");
    dialog.OnButtonReleased(view);
    dialog.OnCommand(view, kIdUp);  // the click the release makes
    EXPECT_EQ(view.GetText(kIdMinutes), "999");
    EXPECT_EQ(dialog.minutes(), 999);
}

}  // namespace
}  // namespace qor::dialogs::test
