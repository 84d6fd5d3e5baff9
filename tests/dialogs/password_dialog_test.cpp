// The password check shared by the password dialogs, the "Password" dialog and AskPassword:
// exact messages in the transcript, the three-attempt limit, the minutes rule, the keep
// settings saved with a fresh authenticator, the non-authentic file, the hand-over, and the
// spin and keep box driven directly.
#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/password_hand_over.h>

#include <cstring>

#include "dialog_test_support.h"
#include "password_check.h"
#include "password_dialog.h"

namespace qor::dialogs::test {
namespace {

using namespace ui;

const std::string kInvalid = "message: QOR Vaultis: Invalid Password.  [OK]";
const std::string kTime = "message: QOR Vaultis: Time must be an integer between 1 and 999. [OK]";
const std::string kNotAuthentic =
    "message: QOR Vaultis: The authentication for your user preference file (userpref.!!!) is "
    "not valid. [OK]";

class PasswordDialogTest : public DialogTest {};

TEST_F(PasswordDialogTest, ThreeWrongPasswordsCloseTheDialogAndTheCountIsPerDialog) {
    SetUpUser("secret1");
    const Bytes before = ReadFile(HomeFile());
    {
        ScriptedRun run(
            "dialog \"Password\": 1022=\"wrong1\" -> 1 1022=\"wrong2\" -> 1 1022=\"wrong3\" -> 1\n"
            "message \"Invalid Password. \" -> OK\n"
            "message \"Invalid Password. \" -> OK\n"
            "message \"Invalid Password. \" -> OK\n");
        PasswordHandOver block{};
        EXPECT_EQ(AskPassword(nullptr, &block, nullptr), -1);
        EXPECT_EQ(run.transcript, (Lines{"dialog: Password", kInvalid, kInvalid, kInvalid}));
        EXPECT_EQ(block.valid, 0);
        run.ExpectClean();
    }
    {
        // Two refusals in an earlier dialog do not count here: two more and then the right one.
        ScriptedRun run(
            "dialog \"Password\": 1022=\"wrong1\" -> 1 1022=\"wrong2\" -> 1 1022=\"secret1\" -> 1\n"
            "message \"Invalid\" -> OK\n"
            "message \"Invalid\" -> OK\n");
        PasswordHandOver block{};
        EXPECT_EQ(AskPassword(nullptr, &block, nullptr), 0);
        EXPECT_EQ(run.transcript, (Lines{"dialog: Password", kInvalid, kInvalid}));
        run.ExpectClean();
        for (const std::string& line : run.transcript)
            EXPECT_EQ(line.find("secret1"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(HomeFile()), before) << "a check without changes rewrites the same file";
}

TEST_F(PasswordDialogTest, EmptyPasswordOnlyBeeps) {
    SetUpUser("secret1");
    ScriptedRun run("dialog \"Password\": -> 1 -> 2\n");
    PasswordHandOver block{};
    EXPECT_EQ(AskPassword(nullptr, &block, nullptr), -1);
    EXPECT_EQ(run.host().beeps(), 1);
    EXPECT_EQ(run.transcript, Lines{"dialog: Password"});
    run.ExpectClean();
}

TEST_F(PasswordDialogTest, MinutesOutsideOneTo999AreRefusedAndThePreviousValueComesBack) {
    SetUpUser("secret1", 5);
    // 0, an empty field and letters are refused; the last press finds 5 back in the field.
    ScriptedRun run(
        "dialog \"Password\": 1022=\"secret1\" 1026=0 -> 1 1026=\"\" -> 1 1026=x9 -> 1 -> 1\n"
        "message \"Time must\" -> OK\n"
        "message \"Time must\" -> OK\n"
        "message \"Time must\" -> OK\n");
    PasswordDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_EQ(run.transcript, (Lines{"dialog: Password", kTime, kTime, kTime}));
    EXPECT_EQ(dialog.resultFlag(), 1);
    EXPECT_EQ(dialog.minutes(), 5);
    EXPECT_EQ(AttributeIn(ReadFile(HomeFile()), profile::kAttrKeepMinutes), (Bytes{5, 0}));
    run.ExpectClean();
}

TEST_F(PasswordDialogTest, ChangingOnlyTheMinutesRewritesTheFileWithANewAuthenticator) {
    SetUpUser("secret1", 5);
    const Bytes before = ReadFile(HomeFile());
    ScriptedRun run("dialog \"Password\": 1022=\"secret1\" 1026=6 -> 1\n");
    PasswordHandOver block{};
    EXPECT_EQ(AskPassword(nullptr, &block, nullptr), 0);
    run.ExpectClean();

    const Bytes after = ReadFile(HomeFile());
    ASSERT_EQ(after.size(), profile::kProfileFileSize);
    EXPECT_EQ(AttributeIn(after, profile::kAttrKeepMinutes), (Bytes{6, 0}));
    EXPECT_EQ(AttributeIn(after, profile::kAttrKeepPassword), Bytes{1});
    EXPECT_NE(AttributeIn(after, profile::kAttrAuthenticator),
              AttributeIn(before, profile::kAttrAuthenticator));
    profile::UserProfile reread;
    reread.SetHomeFolder(home_);
    ASSERT_EQ(reread.Read(), 0);
    EXPECT_EQ(reread.CheckAuthenticity("secret1"), 1);

    // Kept: the cache holds it from now, and the caller's block carries it with the minutes.
    EXPECT_TRUE(profile::Cache().held());
    EXPECT_EQ(profile::Cache().Password(), "secret1");
    EXPECT_EQ(block.valid, 1);
    EXPECT_EQ(block.keepMinutes, 6u);
    EXPECT_EQ(block.cacheTime, static_cast<uint32_t>(now));
    EXPECT_STREQ(block.password, "secret1");
}

TEST_F(PasswordDialogTest, UncheckingKeepSavesItAndHandsNothingBack) {
    SetUpUser("secret1", 5, true);
    ScriptedRun run("dialog \"Password\": 1022=\"secret1\" 1010=0 -> 1\n");
    PasswordHandOver block{};
    EXPECT_EQ(AskPassword(nullptr, &block, nullptr), 0);
    run.ExpectClean();
    EXPECT_EQ(AttributeIn(ReadFile(HomeFile()), profile::kAttrKeepPassword), Bytes{0});
    EXPECT_FALSE(profile::Cache().held());
    EXPECT_EQ(profile::Cache().Password(), "secret1") << "still there for the running operation";
    EXPECT_EQ(block.valid, 0);
    EXPECT_EQ(block.password[0], 0);
}

TEST_F(PasswordDialogTest, NonAuthenticFileClosesTheDialogWithResultCodeMinus2) {
    // The check value accepts "secret1", but the file was last written with another password.
    SetUpUser("secret1", 5, true, "other99");
    const Bytes before = ReadFile(HomeFile());
    ScriptedRun run(
        "dialog \"Password\": 1022=\"secret1\" 1026=9 -> 1\n"
        "message \"is not valid\" -> OK\n");
    PasswordDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdCancel);
    EXPECT_EQ(dialog.resultCode(), kResultNotAuthentic);
    EXPECT_EQ(dialog.resultFlag(), 0);
    EXPECT_EQ(run.transcript, (Lines{"dialog: Password", kNotAuthentic}));
    EXPECT_EQ(run.host().icons, std::vector<MessageIcon>{MessageIcon::kStop});
    EXPECT_EQ(ReadFile(HomeFile()), before);
    EXPECT_EQ(profile::Cache().Password(), "");
    run.ExpectClean();

    ScriptedRun again(
        "dialog \"Password\": 1022=\"secret1\" -> 1\n"
        "message \"is not valid\" -> OK\n");
    PasswordHandOver block{};
    EXPECT_EQ(AskPassword(nullptr, &block, nullptr), -1);
    again.ExpectClean();
}

TEST_F(PasswordDialogTest, ValidHandOverIsTakenWithoutADialog) {
    SetUpUser("secret1");
    ScriptedRun run("");  // any dialog would be unscripted
    PasswordHandOver block{};
    block.valid = 1;
    block.cacheTime = 12345;
    block.keepMinutes = 3;
    std::strcpy(block.password, "secret1");
    EXPECT_EQ(AskPassword(nullptr, &block, "AutoCrypt"), 0);
    EXPECT_TRUE(run.transcript.empty());
    EXPECT_TRUE(run.exits.empty()) << run.errors.str();
    EXPECT_TRUE(profile::Cache().held());
    EXPECT_EQ(profile::Cache().Password(), "secret1");

    // Anything but 1 in the valid field is an empty block: the dialog asks.
    ScriptedRun asked("dialog \"Password\": -> 2\n");
    block.valid = 2;
    EXPECT_EQ(AskPassword(nullptr, &block, nullptr), -1);
    asked.ExpectClean();
}

TEST_F(PasswordDialogTest, OpeningShowsTheUserTheCaptionAndTheKeepSettings) {
    SetUpUser("secret1", 300, false);
    PasswordDialog dialog("Open Encrypted File");
    TestView view(dialog.Template());
    dialog.OnInit(view);
    EXPECT_EQ(view.caption(), "Open Encrypted File");
    EXPECT_EQ(view.GetText(kIdUserName), "alice");
    EXPECT_EQ(view.GetText(kIdMinutes), "300");
    EXPECT_EQ(view.focus(), kIdPassword);
    EXPECT_FALSE(view.IsChecked(kIdKeep));
    // The minutes controls exist only while the box is checked.
    for (int id : {kIdMinutes, kIdUp, kIdDown, kIdMinutesLabel}) {
        EXPECT_FALSE(view.Visible(id)) << id;
        EXPECT_FALSE(view.Enabled(id)) << id;
    }
    view.Click(dialog, kIdKeep);
    EXPECT_TRUE(dialog.keep());
    for (int id : {kIdMinutes, kIdUp, kIdDown, kIdMinutesLabel}) {
        EXPECT_TRUE(view.Visible(id)) << id;
        EXPECT_TRUE(view.Enabled(id)) << id;
    }

    PasswordDialog plain;
    TestView plainView(plain.Template());
    plain.OnInit(plainView);
    EXPECT_EQ(plainView.caption(), "Password");
}

TEST_F(PasswordDialogTest, SpinStepsPerClickAndWhileHeldWithinOneTo999) {
    SetUpUser("secret1", 5, true);
    PasswordDialog dialog;
    TestView view(dialog.Template());
    dialog.OnInit(view);
    auto shown = [&] { return view.GetText(kIdMinutes); };

    dialog.OnButtonPressed(view, kIdUp);
    view.RunTimersUntil(dialog, 499);
    EXPECT_EQ(shown(), "5");
    view.RunTimersUntil(dialog, 500);
    EXPECT_EQ(shown(), "6");
    view.RunTimersUntil(dialog, 1000);
    EXPECT_EQ(shown(), "11");
    // The release stops the timers; the click it makes steps once more.
    dialog.OnButtonReleased(view);
    dialog.OnCommand(view, kIdUp);
    view.RunTimersUntil(dialog, 5000);
    EXPECT_EQ(shown(), "12");

    // A field that holds no number gives way to the last valid value; the bounds hold.
    view.SetText(kIdMinutes, "ab");
    dialog.OnCommand(view, kIdDown);
    EXPECT_EQ(shown(), "11");
    view.SetText(kIdMinutes, "0");
    dialog.OnCommand(view, kIdDown);
    EXPECT_EQ(shown(), "1");
    view.SetText(kIdMinutes, "995");
    dialog.OnButtonPressed(view, kIdUp);
    view.RunTimersUntil(dialog, 8000);
    EXPECT_EQ(shown(), "999");
    dialog.OnButtonReleased(view);
    EXPECT_EQ(dialog.minutes(), 999);
    EXPECT_TRUE(view.messages.empty()) << "the spin re-reads silently";
}

// The encrypt and decrypt dialogs' use of the same check: a kept password confirms without the
// field; one that expired while the dialog was open is announced and asked for.
class KeptPasswordDialog : public DialogModel {
  public:
    KeptPasswordDialog() {
        controls_.usesKeptPassword = true;
        controls_.minutesLabelOff = kIdMinutesLabelOff;
        template_.caption = "Encrypt";
        template_.controls = {
            Static("Please type your &password:", {}, kIdPasswordLabel),
            PasswordEdit(kIdPassword, {}, kPasswordLimit),
            CheckBox(kIdKeep, "&Keep password in memory for", {}),
            Edit(kIdMinutes, {}, 3),
            PushButton(kIdUp, "UP", {}),
            PushButton(kIdDown, "DOWN", {}),
            Static("mi&nute(s)", {}, kIdMinutesLabel),
            Static("minute(s)", {}, kIdMinutesLabelOff),
            DefPushButton(kIdOk, "OK", {}),
        };
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override {
        state = LoadKeepSettings();
        ShowKeepSettings(view, controls_, state);
        state.inMemory = profile::Cache().IsPasswordKept() == 1;
        if (state.inMemory) ShowPasswordControls(view, controls_, false, state.keep);
    }
    void OnCommand(DialogView& view, int id) override {
        if (id == kIdKeep) {
            OnKeepClicked(view, controls_, state);
        } else if (id == kIdOk) {
            RunPasswordCheck(view, controls_, state);
        }
    }
    PasswordDialogState state;

  private:
    PasswordControls controls_;
    DialogTemplate template_;
};

TEST_F(PasswordDialogTest, KeptPasswordSkipsTheFieldUntilItExpires) {
    SetUpUser("secret1", 5, true);
    profile::Cache().StartKeepPeriod();
    profile::Cache().StorePassword("secret1");
    profile::Cache().SetHeld(true);

    KeptPasswordDialog kept;
    TestView keptView(kept.Template());
    kept.OnInit(keptView);
    for (int id : {kIdPasswordLabel, kIdPassword, kIdKeep, kIdMinutes, kIdUp, kIdDown,
                   kIdMinutesLabel, kIdMinutesLabelOff}) {
        EXPECT_FALSE(keptView.Visible(id)) << id;
    }
    kept.OnCommand(keptView, kIdOk);
    EXPECT_TRUE(keptView.closed());
    EXPECT_EQ(kept.state.resultFlag, 1);
    EXPECT_TRUE(keptView.messages.empty());

    // Opened while kept, confirmed 5 minutes 1 second after the password was typed.
    KeptPasswordDialog late;
    TestView lateView(late.Template());
    late.OnInit(lateView);
    now += 5 * 60 + 1;
    late.OnCommand(lateView, kIdOk);
    EXPECT_EQ(lateView.messages, Lines{"QOR Vaultis: Password no longer in memory."});
    EXPECT_EQ(lateView.beeps, 1) << "the field it now shows is empty";
    EXPECT_FALSE(lateView.closed());
    EXPECT_FALSE(late.state.inMemory);
    for (int id : {kIdPasswordLabel, kIdPassword, kIdKeep, kIdMinutes, kIdUp, kIdDown}) {
        EXPECT_TRUE(lateView.Visible(id)) << id;
    }
    EXPECT_TRUE(lateView.Visible(kIdMinutesLabel));
    EXPECT_FALSE(lateView.Visible(kIdMinutesLabelOff));

    // Unchecked, these dialogs keep the minutes in view but disabled, and swap the labels.
    lateView.Click(late, kIdKeep);
    EXPECT_TRUE(lateView.Visible(kIdMinutes));
    EXPECT_FALSE(lateView.Enabled(kIdMinutes));
    EXPECT_FALSE(lateView.Enabled(kIdUp));
    EXPECT_FALSE(lateView.Visible(kIdMinutesLabel));
    EXPECT_TRUE(lateView.Visible(kIdMinutesLabelOff));
}

TEST_F(PasswordDialogTest, AStoredPeriodOutsideTheRangeIsShownInRangeAndSavedOnce) {
    SetUpUser("secret1", 0, false);
    ScriptedRun run("dialog \"Password\": 1022=\"secret1\" -> 1\n");
    PasswordDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    run.ExpectClean();
    EXPECT_EQ(AttributeIn(ReadFile(HomeFile()), profile::kAttrKeepMinutes), (Bytes{1, 0}));
}

}  // namespace
}  // namespace qor::dialogs::test
