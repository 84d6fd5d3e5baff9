// The script host driving real models: settings reach the model as clicks and typing would,
// presses in order, message boxes take the following lines, the transcript is exact and free
// of passwords, and everything the scenario does not cover ends the run with status 3.
#include <gtest/gtest.h>
#include <qor/ui/dialog_host.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "demo_password_dialog.h"
#include "hosts/script/script_host.h"
#include "test_models.h"

namespace qor::ui::script {
namespace {

using test::DemoPasswordDialog;
using Lines = std::vector<std::string>;

// A script host on a scenario text, with its transcript, error output and exits captured.
class ScriptRun {
  public:
    explicit ScriptRun(std::string_view text) {
        Scenario scenario;
        std::string error;
        EXPECT_TRUE(ParseScenario(text, &scenario, &error)) << error;
        host = std::make_unique<ScriptHost>(std::move(scenario));
        host->SetTranscript([this](std::string_view line) { transcript.emplace_back(line); });
        host->SetErrorStream(errors);
        host->SetExitForTesting([this](int status) { exits.push_back(status); });
    }

    std::unique_ptr<ScriptHost> host;
    Lines transcript;
    std::ostringstream errors;
    std::vector<int> exits;
};

DemoPasswordDialog Demo(bool keep = false) {
    return DemoPasswordDialog("alice", "hunter2", keep, 5);
}

TEST(ScriptHost, SettingsReachTheModelInOrderAsTheUserWouldMakeThem) {
    ScriptRun run(R"(dialog "Password": 1014="hunter2" 1010=1 1026=15 -> 1)");
    DemoPasswordDialog dialog = Demo();
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_EQ(dialog.Result(), kIdOk);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_TRUE(dialog.keep());
    EXPECT_EQ(dialog.minutes(), 15);
    // The minutes field is disabled until the check box's click enables it.
    EXPECT_EQ(dialog.calls(),
              (Lines{"init", "text 1014", "command 1010", "text 1026", "command 1"}));
    EXPECT_EQ(run.transcript, Lines{"dialog: Password"});
    EXPECT_TRUE(run.exits.empty());
    EXPECT_EQ(run.errors.str(), "");
    EXPECT_EQ(run.host->remaining(), 0u);
}

TEST(ScriptHost, ControlsAreNamedByTheirOwnTextOrTheirLabelWithOrWithoutMnemonic) {
    for (const char* text : {
             R"(dialog "Password": "Please type in your &password:"="hunter2" )"
             R"("&Keep password in memory for"=1 -> "OK")",
             R"(dialog "Password": "Please type in your password:"="hunter2" )"
             R"("Keep password in memory for"=1 -> "OK")",
         }) {
        ScriptRun run(text);
        DemoPasswordDialog dialog = Demo();
        EXPECT_EQ(run.host->RunModal(dialog), kIdOk) << text;
        EXPECT_TRUE(dialog.confirmed()) << text;
        EXPECT_TRUE(dialog.keep()) << text;
        EXPECT_TRUE(run.exits.empty()) << run.errors.str();
    }
    // Unchecking an already checked box is a click; checking it again is not.
    ScriptRun run(R"(dialog "Password": 1014="hunter2" 1010=1 1010=0 -> 1)");
    DemoPasswordDialog dialog = Demo(true);
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_FALSE(dialog.keep());
    EXPECT_EQ(dialog.calls(), (Lines{"init", "text 1014", "command 1010", "command 1"}));
}

TEST(ScriptHost, PressesRunInOrderAndAnEmptyPasswordOnlyBeeps) {
    ScriptRun run(R"(dialog "Password": -> 1 -> "Cancel")");
    DemoPasswordDialog dialog = Demo();
    EXPECT_EQ(run.host->RunModal(dialog), kIdCancel);
    EXPECT_EQ(run.host->beeps(), 1);
    EXPECT_FALSE(dialog.confirmed());
    EXPECT_EQ(dialog.calls(), (Lines{"init", "command 1", "command 2"}));
    EXPECT_TRUE(run.exits.empty());
}

TEST(ScriptHost, WrongPasswordsTakeMessageLinesAndTheThirdCancels) {
    ScriptRun run(
        "dialog \"Password\": 1014=\"wrong1\" -> 1 1014=\"wrong2\" -> 1 1014=\"wrong3\" -> 1\n"
        "message \"Invalid Password\" -> OK\n"
        "message \"Invalid\" -> OK\n"
        "message \"Password. \" -> OK\n");
    DemoPasswordDialog dialog = Demo();
    EXPECT_EQ(run.host->RunModal(dialog), kIdCancel);
    EXPECT_EQ(dialog.failures(), 3);
    EXPECT_FALSE(dialog.confirmed());
    const std::string message = "message: QOR Vaultis: Invalid Password.  [OK]";
    EXPECT_EQ(run.transcript, (Lines{"dialog: Password", message, message, message}));
    EXPECT_TRUE(run.exits.empty()) << run.errors.str();
}

TEST(ScriptHost, TranscriptHoldsCaptionsMessagesAndStatusLinesButNoPassword) {
    ScriptRun run(
        "dialog *: 1014=\"wrong1\" -> 1 1014=\"hunter2\" -> 1\n"
        "message \"Invalid\" -> OK\n"
        "progress cancel-after=1\n"
        "message \"Replace\" -> No\n");
    SetHostForTesting(run.host.get());
    DemoPasswordDialog dialog = Demo();
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    test::ProgressModel progress(CurrentHost(), 3);
    EXPECT_EQ(CurrentHost().RunModal(progress), kIdCancel);
    EXPECT_EQ(CurrentHost().ShowMessage(nullptr, "Replace a.txt?\nIt exists.", "QOR Vaultis",
                                        MessageButtons::kYesNoCancel, MessageIcon::kQuestion),
              kIdNo);
    SetHostForTesting(nullptr);

    EXPECT_EQ(run.transcript,
              (Lines{
                  "dialog: Password",
                  "message: QOR Vaultis: Invalid Password.  [OK]",
                  "dialog: Encrypting",
                  "status: file1.txt",
                  "message: QOR Vaultis: Replace a.txt?\\nIt exists. [Yes/No/Cancel]",
              }));
    for (const std::string& line : run.transcript) {
        EXPECT_EQ(line.find("hunter2"), std::string::npos) << line;
        EXPECT_EQ(line.find("wrong1"), std::string::npos) << line;
    }
    EXPECT_TRUE(run.exits.empty()) << run.errors.str();
}

TEST(ScriptHost, UncoveredDialogsAndMessagesEndTheRunWithStatus3) {
    {
        ScriptRun run("");
        DemoPasswordDialog dialog = Demo();
        EXPECT_EQ(run.host->RunModal(dialog), kIdCancel);
        EXPECT_EQ(run.exits, std::vector<int>{kScriptFailureExit});
        EXPECT_EQ(run.errors.str(), "unscripted dialog: Password\n");
        EXPECT_TRUE(dialog.calls().empty());  // never opened
        EXPECT_EQ(run.transcript, Lines{"dialog: Password"});
    }
    {
        ScriptRun run("message \"Invalid\" -> OK\n");
        DemoPasswordDialog dialog = Demo();
        run.host->RunModal(dialog);
        EXPECT_EQ(run.errors.str(), "unscripted dialog: Password\n");
        EXPECT_EQ(run.host->remaining(), 1u);
    }
    {
        // The message box finds no line; the injected exit returns, the run goes on to Cancel.
        ScriptRun run(R"(dialog "Password": 1014="bad" -> 1 -> 2)");
        DemoPasswordDialog dialog = Demo();
        EXPECT_EQ(run.host->RunModal(dialog), kIdCancel);
        EXPECT_EQ(run.exits, std::vector<int>{kScriptFailureExit});
        EXPECT_EQ(run.errors.str(), "unscripted message: QOR Vaultis\n");
    }
    {
        ScriptRun run("dialog \"Password\": -> 2\n");
        EXPECT_EQ(run.host->ShowMessage(nullptr, "Done.", "QOR Vaultis", MessageButtons::kOk,
                                        MessageIcon::kInformation),
                  kIdOk);
        EXPECT_EQ(run.errors.str(), "unscripted message: QOR Vaultis\n");
        EXPECT_EQ(run.exits, std::vector<int>{kScriptFailureExit});
    }
}

TEST(ScriptHost, CaptionsMustMatchUnlessTheLineAcceptsAny) {
    ScriptRun run("dialog \"Encrypt\": -> 1\n");
    DemoPasswordDialog dialog = Demo();
    EXPECT_EQ(run.host->RunModal(dialog), kIdCancel);
    EXPECT_EQ(run.errors.str(), "scenario expected dialog \"Encrypt\" but got \"Password\"\n");
    EXPECT_EQ(run.exits, std::vector<int>{kScriptFailureExit});

    ScriptRun any("dialog * -> 2\n");
    DemoPasswordDialog other = Demo();
    EXPECT_EQ(any.host->RunModal(other), kIdCancel);
    EXPECT_TRUE(any.exits.empty());
}

TEST(ScriptHost, MessageLinesMustMatchTheBoxTextAndButtons) {
    ScriptRun text("message \"Replace\" -> OK\n");
    EXPECT_EQ(text.host->ShowMessage(nullptr, "Invalid Password. ", "QOR Vaultis",
                                     MessageButtons::kOk, MessageIcon::kNone),
              kIdOk);
    EXPECT_EQ(text.errors.str(),
              "scenario expected message \"Replace\" but got \"Invalid Password. \"\n");
    EXPECT_EQ(text.exits, std::vector<int>{kScriptFailureExit});

    ScriptRun button("\n\nmessage \"Invalid\" -> Yes\n");
    EXPECT_EQ(button.host->ShowMessage(nullptr, "Invalid Password. ", "QOR Vaultis",
                                       MessageButtons::kOkCancel, MessageIcon::kNone),
              kIdCancel);
    EXPECT_EQ(button.errors.str(),
              "scenario line 3: the message box \"Invalid Password. \" has no Yes button\n");
}

TEST(ScriptHost, StepsThatCannotBeCarriedOutEndTheRunWithStatus3) {
    const std::pair<const char*, const char*> cases[] = {
        {R"(dialog "Password": 1026=5 -> 2)",
         "scenario line 1: 1026 is hidden or disabled in \"Password\""},
        {R"(dialog "Password": "Nope"=1 -> 2)",
         "scenario line 1: no control named \"Nope\" in \"Password\""},
        {R"(dialog "Password": 4242=1 -> 2)", "scenario line 1: no control 4242 in \"Password\""},
        {R"(dialog "Password": "User Name:"=x -> 2)",
         "scenario line 1: cannot set the static text \"User Name:\""},
        {R"(dialog "Password": 1010=yes -> 2)", "scenario line 1: the check box 1010 takes 0 or 1"},
        {R"(dialog "Password": -> 1015)", "scenario line 1: cannot press the static text 1015"},
        {R"(dialog "Password": -> 1014)", "scenario line 1: cannot press the password field 1014"},
        {R"(dialog "Password": -> "&More")",
         "scenario line 1: no control named \"&More\" in \"Password\""},
        {R"(dialog "Password": 1014="hunter2" -> 1 -> 2)",
         "scenario line 1: \"Password\" closed before the press of 2"},
        {R"(dialog "Password": 1014="hunter2" -> 1 1026=3)",
         "scenario line 1: \"Password\" closed before setting 1026"},
        {R"(dialog "Password": -> 1)", "dialog did not close: Password"},
        {R"(dialog "Password": 1014="hunter2")", "dialog did not close: Password"},
    };
    for (const auto& [text, expected] : cases) {
        ScriptRun run(text);
        DemoPasswordDialog dialog = Demo();
        run.host->RunModal(dialog);
        EXPECT_EQ(run.errors.str(), std::string(expected) + "\n") << text;
        EXPECT_EQ(run.exits, std::vector<int>{kScriptFailureExit}) << text;
    }
}

TEST(ScriptHost, EditLimitsRefuseWhatGoesBeyondThem) {
    // Ten characters reach the field; the eleventh and later are refused as key strokes would.
    ScriptRun run(R"(dialog "Password": 1014="abcdefghijKLM" 1010=1 1026=1234 -> 1)");
    DemoPasswordDialog dialog("alice", "abcdefghij", false, 5);
    EXPECT_EQ(run.host->RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_EQ(dialog.minutes(), 123);
}

TEST(ScriptHost, EventsAlternateKeyStrokesAndPointerMoves) {
    {
        ScriptRun run(R"(dialog "Random Seeding": events=10 -> 2)");
        test::SeedingModel seeding(0, 100);
        EXPECT_EQ(run.host->RunModal(seeding), kIdCancel);
        EXPECT_EQ(seeding.keys.size(), 5u);
        EXPECT_EQ(seeding.moves.size(), 5u);
        std::set<std::pair<int, int>> distinct(seeding.moves.begin(), seeding.moves.end());
        EXPECT_EQ(distinct.size(), 5u);
        // Cancel is refused, so the dialog stays open: the scenario did not close it.
        EXPECT_EQ(run.errors.str(), "dialog did not close: Random Seeding\n");
    }
    {
        // A seeding dialog closes itself; events beyond that point are not sent.
        ScriptRun run(R"(dialog "Random Seeding": events=300)");
        test::SeedingModel seeding(257, 1000);
        EXPECT_EQ(run.host->RunModal(seeding), kIdOk);
        EXPECT_EQ(seeding.keys.size(), 129u);
        EXPECT_EQ(seeding.moves.size(), 128u);
        std::set<int> lowX, lowY;
        for (const auto& [x, y] : seeding.moves) {
            lowX.insert(x & 15);
            lowY.insert(y & 15);
        }
        EXPECT_EQ(lowX.size(), 16u);
        EXPECT_EQ(lowY.size(), 16u);
        EXPECT_TRUE(run.exits.empty());
    }
    {
        // Escape is refused until enough events came, then accepted; Enter does nothing.
        ScriptRun run(R"(dialog "Random Seeding": events=4 -> 2 -> 1 events=3 -> 2)");
        test::SeedingModel seeding(0, 6);
        EXPECT_EQ(run.host->RunModal(seeding), kIdCancel);
        EXPECT_EQ(seeding.events(), 7);
        EXPECT_TRUE(run.exits.empty()) << run.errors.str();
    }
}

TEST(ScriptHost, ProgressDialogsRunFromTheirTimersAndTakeProgressLines) {
    {
        ScriptRun run("progress cancel-after=2\ndialog \"Password\": -> 2\n");
        test::ProgressModel progress(*run.host, 4);
        EXPECT_EQ(run.host->RunModal(progress), kIdCancel);
        EXPECT_EQ(progress.cancelAfter, 2);
        EXPECT_EQ(progress.done, 2);
        EXPECT_EQ(run.transcript,
                  (Lines{"dialog: Encrypting", "status: file1.txt", "status: file2.txt"}));
        EXPECT_EQ(run.host->remaining(), 1u);
        EXPECT_EQ(run.host->ProgressCancelAfter(), kNeverCancel);
    }
    {
        // Without a progress line the work runs to its end and the next line stays unused; a
        // message box during the work takes the line after the progress line.
        ScriptRun run("message \"Cannot open file2\" -> OK\ndialog \"Password\": -> 2\n");
        test::ProgressModel progress(*run.host, 3, 2);
        EXPECT_EQ(run.host->RunModal(progress), kIdCancel);
        EXPECT_EQ(progress.cancelAfter, kNeverCancel);
        EXPECT_EQ(progress.done, 3);
        EXPECT_EQ(run.transcript,
                  (Lines{"dialog: Encrypting", "status: file1.txt", "status: file2.txt",
                         "message: QOR Vaultis: Cannot open file2.txt [OK]", "status: file3.txt"}));
        EXPECT_EQ(run.host->remaining(), 1u);
        EXPECT_TRUE(run.exits.empty()) << run.errors.str();
    }
}

TEST(ScriptHost, TimersFireInTheOrderTheyFallDue) {
    ScriptRun run("dialog \"Timers\"\n");
    test::TimerModel timers;
    EXPECT_EQ(run.host->RunModal(timers), kIdOk);
    // 100 and 200 ms for the fast timer; at 300 ms both are due and the older one goes first.
    EXPECT_EQ(timers.ticks, (std::vector<int>{2, 2, 1}));
}

TEST(ScriptHost, RadioButtonsAndListsAreSetAsAClickWould) {
    ScriptRun run(R"(dialog "Options": "Safe"=1 "&Cipher:"=DES 104=1 "Large"=1 -> 1)");
    test::OptionsModel options;
    EXPECT_EQ(run.host->RunModal(options), kIdOk);
    // Each group keeps exactly one choice; the other group is left alone until clicked.
    EXPECT_EQ(options.checked, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(options.calls,
              (Lines{"command 102", "text 104 2", "text 104 1", "command 105", "command 1"}));

    ScriptRun bad(R"(dialog "Options": 104=RC5 -> 1)");
    test::OptionsModel other;
    bad.host->RunModal(other);
    EXPECT_EQ(bad.errors.str(), "scenario line 1: the drop-down list 104 has no item \"RC5\"\n");
}

TEST(ScriptHost, ListBoxItemsAreSelectedOneByOneByTheirText) {
    ScriptRun run(R"(dialog "List": 110="c" 110="a" -> "&Take")");
    test::ListModel list;
    EXPECT_EQ(run.host->RunModal(list), kIdOk);
    EXPECT_EQ(list.taken, (std::vector<int>{0, 2}));
    EXPECT_EQ(list.first, 0);

    ScriptRun cleared(R"(dialog "List": "Items:"="b" 110="" -> "&Take")");
    test::ListModel none;
    cleared.host->RunModal(none);
    EXPECT_TRUE(none.taken.empty());
    EXPECT_EQ(none.first, -1);

    ScriptRun bad(R"(dialog "List": 110="d" -> "&Take")");
    test::ListModel other;
    bad.host->RunModal(other);
    EXPECT_EQ(bad.errors.str(), "scenario line 1: the list box 110 has no item \"d\"\n");
}

TEST(ScriptHost, DialogsOpenedByADialogTakeTheFollowingLines) {
    ScriptRun run(
        "dialog \"Encrypt\": -> \"&More\" -> 1\n"
        "dialog \"Password\": \"&password\"=x 1014=\"hunter2\" -> 1\n");
    DemoPasswordDialog inner = Demo();
    test::OuterModel outer(*run.host, inner);
    EXPECT_EQ(run.host->RunModal(outer), kIdOk);
    EXPECT_EQ(outer.innerResult, kIdCancel);
    // The inner line named no control "&password" (the label reads "...&password:").
    EXPECT_EQ(run.errors.str(),
              "scenario line 2: no control named \"&password\" in \"Password\"\n");

    ScriptRun good(
        "dialog \"Encrypt\": -> \"More\" -> 1\n"
        "dialog \"Password\": 1014=\"hunter2\" -> 1\n");
    DemoPasswordDialog inner2 = Demo();
    test::OuterModel outer2(*good.host, inner2);
    EXPECT_EQ(good.host->RunModal(outer2), kIdOk);
    EXPECT_EQ(outer2.innerResult, kIdOk);
    EXPECT_EQ(good.transcript, (Lines{"dialog: Encrypt", "dialog: Password"}));
    EXPECT_TRUE(good.exits.empty()) << good.errors.str();
}

// A scratch folder under the system's temporary folder, removed afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("qor-ui-test-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    std::string File(const char* name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ScriptHost, ScenarioFilesAndTranscriptFiles) {
    ScratchFolder folder;
    std::string error;
    EXPECT_EQ(ScriptHost::FromFile(folder.File("missing.txt"), &error), nullptr);
    EXPECT_EQ(error, "cannot read the scenario file " + folder.File("missing.txt"));

    std::ofstream(folder.File("bad.txt")) << "# bad\ndialog Password\n";
    EXPECT_EQ(ScriptHost::FromFile(folder.File("bad.txt"), &error), nullptr);
    EXPECT_EQ(error, "scenario file " + folder.File("bad.txt") +
                         ", line 2: expected a quoted caption or * after \"dialog\"");

    std::ofstream(folder.File("good.txt"), std::ios::binary)
        << "dialog \"Password\": 1014=\"wrong1\" -> 1 1014=\"hunter2\" -> 1\r\n"
           "message \"Invalid\" -> OK\r\n";
    std::ofstream(folder.File("log.txt"), std::ios::binary) << "earlier line\n";
    std::unique_ptr<ScriptHost> host = ScriptHost::FromFile(folder.File("good.txt"), &error);
    ASSERT_NE(host, nullptr) << error;
    EXPECT_EQ(host->remaining(), 2u);
    host->SetTranscript(AppendToFile(folder.File("log.txt")));
    DemoPasswordDialog dialog = Demo();
    EXPECT_EQ(host->RunModal(dialog), kIdOk);
    EXPECT_EQ(ReadAll(folder.File("log.txt")),
              "earlier line\ndialog: Password\nmessage: QOR Vaultis: Invalid Password.  [OK]\n");
}

}  // namespace
}  // namespace qor::ui::script
