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
//
// A numbered control's marked letter (its own text's '&', or its label's for a field or a
// drop-down list) is underlined as in a window, and picks it as well as its number does.
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
    // letters[n - 1] is the lower-case letter that picks choice n as well, or 0.
    std::vector<char> letters;
};

// `buttons` false leaves the push buttons out (a progress dialog is cancelled with Esc).
Form RenderForm(const StateView& view, bool buttons = true);

// The choice `key` picks by its letter, in either case: its number (from 1), or 0 when no
// choice has that letter. Where several share it the first in the dialog's order wins.
int ChoiceByLetter(const Form& form, int key);

// The lower-case ASCII letter a single '&' marks in `text`, or 0.
char MnemonicLetter(std::string_view text);

// `text` without its '&' markers, the marked character underlined (SGR 4 ... 24).
std::string Underlined(std::string_view text);

// The label printed before an edit field's value (with its trailing blank), or "".
std::string FieldLabel(const StateView& view, size_t index);

// What a field shows: its text, or one '*' per character for a password.
std::string Shown(const ControlState& state);

// The control Enter presses: the visible, enabled default push button, else the control with
// id kIdOk; -1 when there is neither (Enter then still means OK).
int DefaultButton(const StateView& view);

}  // namespace qor::ui::tty
