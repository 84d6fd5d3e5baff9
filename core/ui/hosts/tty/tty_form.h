// A dialog as text: the caption as a heading, then one line per visible control in template
// order. Controls the user can change are numbered; the push buttons share the last line.
//
//   == Password ==
//   User Name: alice
//    1) Please type in your password: ***
//    2) [x] Keep password in memory for
//    3) 5 minute(s)
//    4) OK   5) Cancel
//
// A static ending in ':' just before an edit, a drop-down list or another static is that
// control's label and shares its line (the buttons are numbered last, whatever their place in
// the template); a static just after an edit (past spin arrows) shares
// the edit's line as its unit. Password fields show one '*' per character. A list box shows
// its items one a line, each numbered, "[x]" before the selected ones.
#pragma once

#include <string>
#include <vector>

#include "src/state_view.h"

namespace qor::ui::tty {

struct Form {
    std::string text;
    // choices[n - 1] is the index in the template of the control numbered n, and items[n - 1]
    // the list box's item that number stands for (-1: the control itself).
    std::vector<size_t> choices;
    std::vector<int> items;
};

// `buttons` false leaves the push buttons out (a progress dialog is cancelled with Esc).
Form RenderForm(const StateView& view, bool buttons = true);

// The label printed before an edit field's value (with its trailing blank), or "".
std::string FieldLabel(const StateView& view, size_t index);

// What a field shows: its text, or one '*' per character for a password.
std::string Shown(const ControlState& state);

// The control Enter presses: the visible, enabled default push button, else the control with
// id kIdOk; -1 when there is neither (Enter then still means OK).
int DefaultButton(const StateView& view);

}  // namespace qor::ui::tty
