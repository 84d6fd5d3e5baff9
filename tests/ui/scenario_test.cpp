// Scenario files: every line form reads into the steps the script host performs, in order, and
// every malformed line is refused with its line number.
#include <gtest/gtest.h>
#include <qor/ui/dialog_view.h>

#include <string>
#include <utility>
#include <vector>

#include "hosts/script/scenario.h"

namespace qor::ui::script {
namespace {

std::string Ref(const ControlRef& ref) {
    return ref.name.empty() ? std::to_string(ref.id) : "\"" + ref.name + "\"";
}

// A dialog line's steps as text: `set 1022=secret1`, `events 300`, `press 1`.
std::vector<std::string> Steps(const Entry& entry) {
    std::vector<std::string> steps;
    for (const Step& step : entry.steps) {
        switch (step.kind) {
            case StepKind::kSet:
                steps.push_back("set " + Ref(step.control) + "=" + std::string(step.value.view()));
                break;
            case StepKind::kEvents:
                steps.push_back("events " + std::to_string(step.events));
                break;
            case StepKind::kPress:
                steps.push_back("press " + Ref(step.control));
                break;
        }
    }
    return steps;
}

TEST(Scenario, EveryLineFormReadsInOrder) {
    const char* text =
        "# a comment line, then a blank one\n"
        "\n"
        "dialog \"Encrypt\": 1022=\"secret1\" 1010=1 1026=5 -> 1   # trailing comment\n"
        "message \"Invalid Password\" -> OK\r\n"
        "  dialog \"Password\": 1014=\"one-time-pw\" -> 2\n"
        "dialog \"Random Seeding\": events=300\n"
        "progress cancel-after=3\n"
        "dialog *: \"Enter your user &name:\"=\"Alice\" \"&Keep password in memory for\"=1 "
        "-> \"&More\" -> 1\n"
        "dialog \"Password\": 1014=\"a\\\"b\\\\c # not a comment\" -> 1 1014=bare -> 1\n"
        "message \"Replace\" -> yes\n"
        "message \"Delete\" -> No\n"
        "message \"Stop\" -> cancel\n"
        "dialog \"About\"";
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    const std::vector<Entry>& e = scenario.entries;
    ASSERT_EQ(e.size(), 11u);

    EXPECT_EQ(e[0].kind, EntryKind::kDialog);
    EXPECT_EQ(e[0].line, 3);
    EXPECT_EQ(e[0].caption, "Encrypt");
    EXPECT_FALSE(e[0].anyCaption);
    EXPECT_EQ(Steps(e[0]), (std::vector<std::string>{"set 1022=secret1", "set 1010=1", "set 1026=5",
                                                     "press 1"}));

    EXPECT_EQ(e[1].kind, EntryKind::kMessage);
    EXPECT_EQ(e[1].line, 4);
    EXPECT_EQ(e[1].substring, "Invalid Password");
    EXPECT_EQ(e[1].answer, kIdOk);

    EXPECT_EQ(e[2].caption, "Password");
    EXPECT_EQ(Steps(e[2]), (std::vector<std::string>{"set 1014=one-time-pw", "press 2"}));

    EXPECT_EQ(e[3].caption, "Random Seeding");
    EXPECT_EQ(Steps(e[3]), std::vector<std::string>{"events 300"});

    EXPECT_EQ(e[4].kind, EntryKind::kProgress);
    EXPECT_EQ(e[4].line, 7);
    EXPECT_EQ(e[4].cancelAfter, 3);

    EXPECT_TRUE(e[5].anyCaption);
    EXPECT_EQ(Steps(e[5]), (std::vector<std::string>{"set \"Enter your user &name:\"=Alice",
                                                     "set \"&Keep password in memory for\"=1",
                                                     "press \"&More\"", "press 1"}));

    // Escapes inside quotes, '#' inside quotes, and settings between presses.
    EXPECT_EQ(Steps(e[6]), (std::vector<std::string>{"set 1014=a\"b\\c # not a comment", "press 1",
                                                     "set 1014=bare", "press 1"}));

    EXPECT_EQ(e[7].answer, kIdYes);
    EXPECT_EQ(e[8].answer, kIdNo);
    EXPECT_EQ(e[9].answer, kIdCancel);
    EXPECT_EQ(e[10].caption, "About");
    EXPECT_TRUE(e[10].steps.empty());
}

TEST(Scenario, MalformedLinesAreRefusedWithTheirLineNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"dialgo \"X\"", "line 1: unknown keyword \"dialgo\""},
        {"# fine\n\ndialog Encrypt", "line 3: expected a quoted caption or * after \"dialog\""},
        {"dialog \"X: 1=2", "line 1: unterminated quoted text"},
        {"dialog \"X\": 1022=\"open", "line 1: unterminated quoted text"},
        {"dialog \"X\": foo=1", "line 1: unknown setting \"foo\""},
        {"dialog \"X\": events=many", "line 1: events needs a number: events=N"},
        {"dialog \"X\": 1022", "line 1: expected \"=\" and a value after the control"},
        {"dialog \"X\": 1022=", "line 1: expected a value after \"=\""},
        {"dialog \"X\": -> OK",
         "line 1: expected a button id or a quoted button text after \"->\""},
        {"dialog \"X\": 1=1 ;", "line 1: unexpected text \";\""},
        {"message Invalid -> OK", "line 1: expected a quoted text after \"message\""},
        {"message \"Invalid\"", "line 1: expected \"->\" and an answer after the message text"},
        {"message \"Invalid\" -> Maybe", "line 1: the answer must be OK, Cancel, Yes or No"},
        {"message \"x\" -> OK extra", "line 1: unexpected text \"extra\""},
        {"progress 3", "line 1: expected cancel-after=N after \"progress\""},
        {"progress cancel-after=3 now", "line 1: unexpected text \"now\""},
        {"dialog \"X\": -> 1\n= 2", "line 2: unexpected text \"= 2\""},
    };
    for (const auto& [text, expected] : cases) {
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(text, &scenario, &error)) << text;
        EXPECT_EQ(error, expected) << text;
        EXPECT_TRUE(scenario.entries.empty()) << text;
    }
}

TEST(Scenario, EmptyAndCommentOnlyTextsHaveNoLines) {
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(ParseScenario("", &scenario, &error));
    EXPECT_TRUE(scenario.entries.empty());
    EXPECT_TRUE(ParseScenario("  # only\n\t\n#\n", &scenario, &error));
    EXPECT_TRUE(scenario.entries.empty());
}

}  // namespace
}  // namespace qor::ui::script
