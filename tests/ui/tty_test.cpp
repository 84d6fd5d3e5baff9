// The terminal host with a scripted keyboard: line editing within limits, the form's exact
// layout, and whole dialogs typed, cancelled, refused and timed.
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "demo_password_dialog.h"
#include "hosts/tty/line_editor.h"
#include "hosts/tty/tty_form.h"
#include "hosts/tty/tty_host.h"
#include "test_models.h"

namespace qor::ui::tty {
namespace {

using test::DemoPasswordDialog;
using Action = LineEditor::Action;

// Keys typed ahead are delivered at once; with none left a timed read lets the time pass and
// an untimed one finds the input ended. A '\xff' in the keys is a pause: that read finds none.
class FakeTerminal : public TtyIo {
  public:
    FakeTerminal(std::string_view keys, uint64_t* clock)
        : keys_(keys.begin(), keys.end()), clock_(clock) {}
    void Write(std::string_view text) override { screen += text; }
    int ReadKey(int timeoutMs) override {
        timeouts.push_back(timeoutMs);
        if (!keys_.empty()) {
            int key = static_cast<unsigned char>(keys_.front());
            keys_.pop_front();
            if (key != kPause) return key;
        }
        if (timeoutMs < 0) return kKeyEnd;
        *clock_ += static_cast<uint64_t>(timeoutMs);
        return kKeyTimeout;
    }
    void SetRaw(bool raw) override { rawModes.push_back(raw); }

    std::string screen;
    std::vector<int> timeouts;
    std::vector<bool> rawModes;

  private:
    static constexpr int kPause = 0xff;
    std::deque<char> keys_;
    uint64_t* clock_;
};

// A terminal host on typed-ahead keys and a clock that moves only when the terminal waits.
struct TtyRun {
    explicit TtyRun(std::string_view keys) {
        auto fake = std::make_unique<FakeTerminal>(keys, &now);
        terminal = fake.get();
        host = std::make_unique<TtyHost>(std::move(fake), [this] { return now; });
    }
    uint64_t now = 1000;
    FakeTerminal* terminal;
    std::unique_ptr<TtyHost> host;
};

// How the form underlines a choice's letter.
#define U(letter) "\x1b[4m" letter "\x1b[24m"

std::string Type(LineEditor& editor, std::string_view keys, std::vector<Action>* actions) {
    std::string echoes;
    for (char c : keys) {
        std::string echo;
        actions->push_back(editor.Key(static_cast<unsigned char>(c), &echo));
        echoes += echo;
    }
    return echoes;
}

TEST(TtyLineEditor, PasswordFieldsEchoStarsAndRefuseTheEleventhCharacter) {
    LineEditor editor("", 10, true);
    std::vector<Action> actions;
    EXPECT_EQ(Type(editor, "abcdefghijk", &actions), "**********\a");
    EXPECT_EQ(actions.back(), Action::kRefused);
    EXPECT_EQ(actions.front(), Action::kChanged);
    EXPECT_EQ(editor.text(), "abcdefghij");
    EXPECT_EQ(editor.Shown(), "**********");

    std::string echo;
    EXPECT_EQ(editor.Key(kKeyDelete, &echo), Action::kChanged);
    EXPECT_EQ(echo, "\b \b");
    EXPECT_EQ(editor.text(), "abcdefghi");
}

TEST(TtyLineEditor, LimitsAndBackspaceCountWholeCharacters) {
    LineEditor editor("", 3, false);
    std::vector<Action> actions;
    // "a", "é" (two bytes), "b"; then "c" and "ü" are refused, the latter without a trace.
    EXPECT_EQ(Type(editor,
                   "a\xc3\xa9"
                   "bc\xc3\xbc",
                   &actions),
              "a\xc3\xa9"
              "b\a\a");
    EXPECT_EQ(actions, (std::vector<Action>{Action::kChanged, Action::kPending, Action::kChanged,
                                            Action::kChanged, Action::kRefused, Action::kPending,
                                            Action::kRefused}));
    EXPECT_EQ(editor.text(),
              "a\xc3\xa9"
              "b");
    std::string echo;
    editor.Key(kKeyBackspace, &echo);
    editor.Key(kKeyBackspace, &echo);
    EXPECT_EQ(editor.text(), "a");
    editor.Key(kKeyBackspace, &echo);
    EXPECT_EQ(editor.Key(kKeyBackspace, &echo), Action::kIgnored);  // nothing left to erase
    EXPECT_EQ(editor.Key(0xa9, &echo), Action::kIgnored);  // a continuation byte without lead
    EXPECT_EQ(editor.text(), "");

    LineEditor masked("\xc3\xa9t\xc3\xa9", 0, true);
    EXPECT_EQ(masked.Shown(), "***");
}

// The controls of an encrypt-like dialog, for the layout.
class LayoutModel : public DialogModel {
  public:
    LayoutModel() {
        dialog_.caption = "Encrypt";
        dialog_.controls = {
            GroupBox("Encryption Information", {}),
            Static("&Encrypt:", {}),
            MultiLineEdit(1013, {}, true),
            Static("User Name:", {}),
            Static("", {}, 1015),
            Static("Please type your &password:", {}, 1028),
            PasswordEdit(1022, {}, 10),
            CheckBox(1010, "&Keep password in memory for", {}),
            Edit(1026, {}, 3),
            Spin(1042, {}),
            Static("mi&nute(s)", {}, 1030),
            Static("minute(s)", {}, 1031),
            Static("&Cipher:", {}),
            DropDownList(104, {}),
            RadioButton(101, "&Fast", {}, true),
            RadioButton(102, "&Safe", {}, false),
            Bitmap(kNoId, "LOGO", {}),
            Static("Percent Done:", {}),
            Static("50%", {}, 1040),
            Static("", {}, 1021),
            DefPushButton(kIdOk, "OK", {}),
            PushButton(kIdCancel, "Cancel", {}),
            PushButton(1018, "&Help", {}),
            PushButton(1048, "&More", {}),
        };
        dialog_.controls[11].visible = false;
        dialog_.controls[22].enabled = false;
        dialog_.controls[23].visible = false;
    }
    const DialogTemplate& Template() const override { return dialog_; }

  private:
    DialogTemplate dialog_;
};

// Control states alone, without a host behind them.
class PlainView : public StateView {
  public:
    using StateView::StateView;
    int ShowMessage(std::string_view, std::string_view, MessageButtons, MessageIcon) override {
        return kIdOk;
    }
    void Beep() override {}
    void SetCursor(CursorShape, int) override {}
};

TEST(TtyForm, LabelsUnitsChoicesAndButtonsHaveTheirPlaces) {
    LayoutModel model;
    PlainView view(model.Template());
    view.SetText(1013, "a.txt b.txt");
    view.SetText(1015, "alice");
    view.SetText(1022, "abc");
    view.SetCheck(1010, true);
    view.SetText(1026, "5");
    view.SetItems(104, {"RC4", "RC2"});
    view.SetSelection(104, 1);
    view.SetCheck(102, true);

    Form form = RenderForm(view);
    EXPECT_EQ(form.text,
              "\n== Encrypt ==\n"
              "    -- Encryption Information --\n"
              "    Encrypt: a.txt b.txt\n"
              "    User Name: alice\n"
              " 1) Please type your " U("p") "assword: ***\n"
              " 2) [x] " U("K") "eep password in memory for\n"
              " 3) 5 minute(s)\n"
              " 4) " U("C") "ipher: [RC2]\n"
              " 5) ( ) " U("F") "ast\n"
              " 6) (*) " U("S") "afe\n"
              "    Percent Done: 50%\n"
              " 7) OK   8) Cancel\n");
    // A field's letter is its label's; the minutes' field has no label and OK none of its own.
    EXPECT_EQ(form.letters, (std::vector<char>{'p', 'k', 0, 'c', 'f', 's', 0, 0}));
    std::vector<int> ids;
    for (size_t index : form.choices)
        ids.push_back(model.Template().controls[index].id);
    EXPECT_EQ(ids, (std::vector<int>{1022, 1010, 1026, 104, 101, 102, kIdOk, kIdCancel}));
    EXPECT_EQ(DefaultButton(view), kIdOk);

    // A disabled field loses its number; a hidden label goes with its field.
    view.Enable(1026, false);
    view.Show(1022, false);
    view.Show(1028, false);
    form = RenderForm(view);
    EXPECT_NE(form.text.find("\n    5 minute(s)\n 2) " U("C") "ipher: [RC2]\n"), std::string::npos)
        << form.text;
    EXPECT_EQ(form.text.find("password:"), std::string::npos);
    EXPECT_EQ(form.choices.size(), 6u);
}

TEST(TtyHost, ListBoxItemsAreNumberedAndEachNumberTogglesItsItem) {
    // b on, c on, b off again, then "&Take".
    TtyRun run("2\n3\n2\n4\n");
    test::ListModel list;
    EXPECT_EQ(run.host->RunModal(list), kIdOk);
    EXPECT_EQ(list.taken, (std::vector<int>{2}));
    EXPECT_NE(run.terminal->screen.find("    Items:\n"
                                        " 1) [ ] a\n"
                                        " 2) [x] b\n"
                                        " 3) [x] c\n"
                                        " 4) " U("T") "ake   5) OK\n"),
              std::string::npos)
        << run.terminal->screen;
}

TEST(TtyHost, EnterGoesOnToTheNextFieldAndTheLastOnePressesTheDefault) {
    // With the minutes field usable, the password's Enter asks for the minutes next.
    TtyRun run(
        "hunter2\n\x7f"
        "9\n");
    DemoPasswordDialog dialog("alice", "hunter2", true, 5);
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_EQ(dialog.minutes(), 9);
    EXPECT_NE(run.terminal->screen.find("(Enter = next field, Tab = choices, Esc = Cancel)\n"
                                        "Please type in your password: *******\n"),
              std::string::npos)
        << run.terminal->screen;
    EXPECT_NE(run.terminal->screen.find("(Enter = OK, Tab = choices, Esc = Cancel)\n"),
              std::string::npos);
}

TEST(TtyHost, TypingThePasswordAndEnterConfirms) {
    TtyRun run("hunter2\n");
    DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_EQ(run.terminal->screen,
              "\n== Password ==\n"
              "    User Name: alice\n"
              " 1) Please type in your " U("p") "assword: \n"
              " 2) [ ] " U("K") "eep password in memory for\n"
              "    5\n"
              " 3) OK   4) Cancel\n"
              "(Enter = OK, Tab = choices, Esc = Cancel)\n"
              "Please type in your password: *******\n");
    // Every key reached the field, one text change each, before OK.
    std::vector<std::string> expected{"init"};
    expected.insert(expected.end(), 7, "text 1014");
    expected.push_back("command 1");
    EXPECT_EQ(dialog.calls(), expected);
    EXPECT_EQ(run.terminal->rawModes, (std::vector<bool>{true, false}));
}

TEST(TtyHost, AWrongPasswordShowsTheMessageAndAsksAgain) {
    TtyRun run("bad\n\nhunter2\n");
    DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_EQ(dialog.failures(), 1);
    EXPECT_TRUE(dialog.confirmed());
    const std::string& screen = run.terminal->screen;
    EXPECT_NE(screen.find("Please type in your password: ***\n\nQOR Vaultis: Invalid Password. \n"
                          "1) OK > OK\n\n== Password ==\n"),
              std::string::npos)
        << screen;
    EXPECT_EQ(screen.find("hunter2"), std::string::npos);
    EXPECT_EQ(screen.find("bad"), std::string::npos);
    // Raw mode is entered once, however deeply message boxes nest in the dialog.
    EXPECT_EQ(run.terminal->rawModes, (std::vector<bool>{true, false}));
}

TEST(TtyHost, ChoicesToggleCheckBoxesAndMoveBetweenFields) {
    // Tab to the choices, check "keep", edit the minutes, back to the password, type it, Enter
    // (on to the minutes again), Enter.
    TtyRun run("\t2\n3\n\b9\t1\nhunter2\n\n");
    DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.keep());
    EXPECT_EQ(dialog.minutes(), 9);
    EXPECT_NE(run.terminal->screen.find(" 2) [x] " U("K") "eep password in memory for\n 3) 5\n"),
              std::string::npos)
        << run.terminal->screen;
}

TEST(TtyHost, ALetterPicksItsChoiceAtOnceInEitherCase) {
    // z is no one's letter; s and L click their radio buttons; after a digit a letter is
    // refused and the number stands; c opens the drop-down list (its label's letter), where 3
    // picks DES; Enter alone is OK.
    TtyRun run("zsL1x\nc3\n\n");
    test::OptionsModel options;
    EXPECT_EQ(run.host->RunModal(options), kIdOk);
    EXPECT_EQ(options.checked, (std::vector<bool>{true, false, false, true}));
    EXPECT_EQ(options.calls, (std::vector<std::string>{"command 102", "command 105", "command 101",
                                                       "text 104 2", "command 1"}));
    const std::string& screen = run.terminal->screen;
    EXPECT_NE(
        screen.find(" 1) (*) " U(
            "F") "ast\n"
                 " 2) ( ) " U(
                     "S") "afe\n"
                          " 3) (*) S" U(
                              "m") "all\n"
                                   " 4) ( ) " U(
                                       "L") "arge\n"
                                            " 5) " U(
                                                "C") "ipher: [RC4]\n"
                                                     " 6) OK\n"
                                                     "Choose 1-6, Enter = OK, Esc = Cancel: \as\n"),
        std::string::npos)
        << screen;
    EXPECT_NE(screen.find("Esc = Cancel: 1\a\n"), std::string::npos) << screen;

    // Within a field the letters are typed, not chosen: the password ends "kp".
    TtyRun typed("hunterkp\n");
    DemoPasswordDialog dialog("alice", "hunterkp", false, 5);
    EXPECT_EQ(typed.host->RunModal(dialog), kIdOk);
    EXPECT_FALSE(dialog.keep());

    // Tab, k ticks "Keep", P goes back to the password field.
    TtyRun back("\tkPhunter2\n\n");
    DemoPasswordDialog kept("alice", "hunter2", false, 5);
    EXPECT_EQ(back.host->RunModal(kept), kIdOk);
    EXPECT_TRUE(kept.keep());
}

TEST(TtyForm, WhereTwoChoicesShareALetterTheFirstInTheDialogWins) {
    DialogTemplate dialog;
    dialog.caption = "Shared";
    dialog.controls = {
        PushButton(111, "&Take", {}),   // first in the dialog, numbered last
        CheckBox(112, "&Tidy up", {}),  // the same letter, numbered first
        CheckBox(113, "S&&&tay", {}),   // "&&" is a visible ampersand: its letter is t
        CheckBox(114, "&&Co", {}),      // no letter at all
        Static("&Name:", {}),
        Edit(115, {}),
        CheckBox(116, "&\xc3\xa9t\xc3\xa9", {}),  // a letter outside ASCII underlined whole
    };
    PlainView view(dialog);
    Form form = RenderForm(view);
    EXPECT_EQ(form.text,
              "\n== Shared ==\n"
              " 1) [ ] " U("T") "idy up\n"
              " 2) [ ] S&" U("t") "ay\n"
              " 3) [ ] &Co\n"
              " 4) " U("N") "ame: \n"
              " 5) [ ] " U("\xc3\xa9") "t\xc3\xa9\n"
              " 6) " U("T") "ake\n");
    EXPECT_EQ(form.letters, (std::vector<char>{'t', 't', 0, 'n', 0, 't'}));
    EXPECT_EQ(ChoiceByLetter(form, 't'), 6);
    EXPECT_EQ(ChoiceByLetter(form, 'T'), 6);
    EXPECT_EQ(ChoiceByLetter(form, 'n'), 4);
    EXPECT_EQ(ChoiceByLetter(form, 'c'), 0);
    EXPECT_EQ(ChoiceByLetter(form, '5'), 0);

    // Once the button is gone the first check box takes the letter.
    view.Enable(111, false);
    EXPECT_EQ(ChoiceByLetter(RenderForm(view), 't'), 1);
}

TEST(TtyHost, EnterAloneAtTheChoicesPressesTheDefaultButton) {
    TtyRun run("\t\n\x1b");
    DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    EXPECT_EQ(run.host->RunModal(dialog), kIdCancel);
    // OK with an empty password beeps, and the terminal says what is missing.
    EXPECT_NE(
        run.terminal->screen.find("Choose 1-4, Enter = OK, Esc = Cancel: \n\a"
                                  "Not accepted; still empty: Please type in your password\n"),
        std::string::npos)
        << run.terminal->screen;
}

TEST(TtyHost, EscapeCtrlCAndTheEndOfInputCancel) {
    for (const char* keys : {"\x1b", "ab\x03", ""}) {
        TtyRun run(keys);
        DemoPasswordDialog dialog("alice", "hunter2", false, 5);
        EXPECT_EQ(run.host->RunModal(dialog), kIdCancel) << keys;
        EXPECT_FALSE(dialog.confirmed());
        EXPECT_EQ(dialog.Result(), kIdCancel);
    }
}

TEST(TtyHost, AModelMayRefuseCancelUntilItIsDone) {
    // Escape is refused after one key stroke, Enter is ignored; after five keys Escape closes.
    TtyRun run("\x1b\nab\x1b");
    test::SeedingModel seeding(0, 4);
    EXPECT_EQ(run.host->RunModal(seeding), kIdCancel);
    EXPECT_EQ(seeding.keys, (std::vector<int>{0x1b, '\n', 'a', 'b', 0x1b}));

    // What the model shows while the keys arrive is written on the line being typed.
    EXPECT_NE(run.terminal->screen.find("\r\x1b[K[Events: 4] > **\r\x1b[K[Events: 5] > **"),
              std::string::npos)
        << run.terminal->screen;

    // With no input left a dialog that refuses to be cancelled still ends.
    TtyRun ended("a");
    test::SeedingModel stubborn(0, 100);
    EXPECT_EQ(ended.host->RunModal(stubborn), kIdCancel);
}

TEST(TtyHost, TimersFireBetweenKeyReadsAndStatusLinesSpin) {
    TtyRun run("");
    test::TimerModel timers;
    EXPECT_EQ(run.host->RunModal(timers), kIdOk);
    EXPECT_EQ(timers.ticks, (std::vector<int>{2, 2, 1}));
    // Each wait lasts until the next tick; after a tick the keyboard is looked at first.
    EXPECT_EQ(run.terminal->timeouts, (std::vector<int>{100, 0, 100, 0, 100}));

    TtyRun progressRun("");
    test::ProgressModel progress(*progressRun.host, 2);
    EXPECT_EQ(progressRun.host->RunModal(progress), kIdCancel);
    EXPECT_EQ(progressRun.terminal->screen,
              "\n== Encrypting ==\n"
              "    Encrypting...\n"
              "(Esc = Cancel)\n"
              "\r/ file1.txt\x1b[K\r- file2.txt\x1b[K\n");
}

TEST(TtyHost, EscapeReachesAProgressDialogWhileItWorks) {
    // Nothing is typed until the work has begun; Escape then arrives between two files.
    TtyRun run("\xff\x1b");
    test::ProgressModel progress(*run.host, 3);
    EXPECT_EQ(run.host->RunModal(progress), kIdCancel);
    EXPECT_TRUE(progress.cancelled);
    EXPECT_EQ(progress.done, 1);
}

TEST(TtyHost, MessageBoxesListTheirButtons) {
    TtyRun run("2");
    EXPECT_EQ(run.host->ShowMessage(nullptr, "Replace a.txt?", "QOR Vaultis",
                                    MessageButtons::kYesNoCancel, MessageIcon::kQuestion),
              kIdNo);
    EXPECT_EQ(run.terminal->screen,
              "\nQOR Vaultis: Replace a.txt?\n1) Yes  2) No  3) Cancel > No\n");

    // A Yes/No box cannot be escaped; an OK box can, and so can one with Cancel.
    TtyRun yesNo(
        "\x1b"
        "1");
    EXPECT_EQ(yesNo.host->ShowMessage(nullptr, "Delete?", "QOR Vaultis", MessageButtons::kYesNo,
                                      MessageIcon::kQuestion),
              kIdYes);
    EXPECT_NE(yesNo.terminal->screen.find("> \aYes\n"), std::string::npos);
    TtyRun ok("\x1b");
    EXPECT_EQ(ok.host->ShowMessage(nullptr, "Done.", "QOR Vaultis", MessageButtons::kOk,
                                   MessageIcon::kInformation),
              kIdOk);
    TtyRun ended("");
    EXPECT_EQ(ended.host->ShowMessage(nullptr, "Go on?", "QOR Vaultis", MessageButtons::kOkCancel,
                                      MessageIcon::kNone),
              kIdCancel);
}

}  // namespace
}  // namespace qor::ui::tty
