// One edit field typed on the terminal: the field's limit is enforced as keys arrive, a
// password field echoes '*' per character, backspace removes whole characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "src/secret_text.h"

namespace qor::ui::tty {

class LineEditor {
  public:
    enum class Action {
        kChanged,  // a character was added or removed
        kPending,  // part of a multi-byte character arrived
        kRefused,  // the field is full
        kIgnored,  // a key that does nothing here
        kEnter,
        kTab,
        kCancel,  // Esc or Ctrl-C
        kEnd,     // input ended
    };

    // `limit` in characters, 0 for none.
    LineEditor(std::string_view initial, size_t limit, bool masked);

    // Applies one key; *echo receives what the terminal should show for it.
    Action Key(int key, std::string* echo);
    std::string_view text() const { return text_.view(); }
    // What the terminal shows for the current text.
    std::string Shown() const;

  private:
    SecretText text_;
    size_t limit_;
    bool masked_;
    int pending_ = 0;        // continuation bytes still expected
    bool dropping_ = false;  // the character being received was refused
};

}  // namespace qor::ui::tty
