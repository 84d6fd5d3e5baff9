// Scenario files of the script host: one line per dialog or message box, answered in order.
//
//   dialog "Encrypt": 1022="secret1" 1010=1 1026=5 -> 1
//   dialog *: "Enter your user &name:"="Alice" -> "&More" -> 1
//   message "Invalid Password" -> OK
//   dialog "Random Seeding": events=300
//   progress cancel-after=3
//
// A dialog line names the caption it expects (or * for any), then its steps, done in order:
// settings (`id=value`, or `"name"=value` with the control's own text or its label's, '&'
// optional), `events=N` synthetic key strokes and pointer moves, and presses (`-> id` or
// `-> "text"`). Settings usually come first; one placed after a press is made before the next
// press (`1014="a" -> 1 1014="b" -> 1` types a second password after the first was refused).
// A value is a quoted text (\" and \\ escape) or a bare word. `#` starts a comment.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "src/secret_text.h"

namespace qor::ui::script {

// A control by id, or by name when `name` is not empty.
struct ControlRef {
    int id = -1;
    std::string name;
};

enum class StepKind { kSet, kEvents, kPress };

// One thing done to an open dialog, in the order of the line.
struct Step {
    StepKind kind = StepKind::kSet;
    ControlRef control;  // kSet, kPress
    SecretText value;    // kSet; may be a password
    int events = 0;      // kEvents
};

enum class EntryKind { kDialog, kMessage, kProgress };

struct Entry {
    EntryKind kind = EntryKind::kDialog;
    int line = 0;
    // kDialog
    bool anyCaption = false;
    std::string caption;
    std::vector<Step> steps;
    // kMessage: the text the box must contain, and the button to answer with (kIdOk ...)
    std::string substring;
    int answer = 0;
    // kProgress
    int cancelAfter = 0;
};

struct Scenario {
    std::vector<Entry> entries;
};

// Parses a scenario. On failure returns false with "line N: <reason>" in *error.
bool ParseScenario(std::string_view text, Scenario* scenario, std::string* error);

}  // namespace qor::ui::script
