// The product's part of a file manager's context menu, as a tree of items, and what each of its
// commands means: the items and their gray states, the help text of each command offset, the
// action behind it, and the icon of an encrypted file.
#pragma once

#include <string>
#include <vector>

#include "selection_model.h"

namespace qor::shell {

struct MenuItem {
    enum class Kind { kCommand, kSeparator, kPopup };
    Kind kind = Kind::kCommand;
    int id = -1;  // command id (first id + offset); -1 for popups and unnumbered separators
    std::string text;
    bool grayed = false;
    bool marked = false;  // shows the product's mark (bitmap 102) beside it
    std::vector<MenuItem> items;
};

// What the menu's gray states depend on besides the selection.
struct MenuConditions {
    bool busy = false;          // a command runs in some process of the user
    bool setupNeeded = false;   // no user is set up yet
    bool passwordKept = false;  // the shared hand-over holds a password
    SelectionState state = kStateNone;
};

// The command offsets the menu uses: first id + 0 ... first id + 12.
enum MenuOffset : int {
    kOffsetSeparator = 0,
    kOffsetSettings = 1,
    kOffsetEncrypt = 2,
    kOffsetDecrypt = 3,
    kOffsetFileShare = 4,
    kOffsetAutoCrypt = 5,
    kOffsetShareEncrypt = 6,
    kOffsetShareDecrypt = 7,
    kOffsetChangePassword = 8,
    kOffsetClearPassword = 9,
    kOffsetHelp = 10,
    kOffsetAbout = 11,
    kOffsetSetup = 12,
    kOffsetLast = 13,
};
inline constexpr int kMenuIdsUsed = 13;

// Inserts the product's items into `menu` at `position` (clamped to its end) with command ids
// from `firstId`; returns the number of ids used (13).
int QueryContextMenu(std::vector<MenuItem>* menu, size_t position, int firstId,
                     const MenuConditions& conditions);

// The help text's string number for a command offset; 0 for an offset above 13.
int CommandStringId(int offset);

enum class MenuAction {
    kNothing,  // offsets 0, 1, 4 and 13: no command
    kLocalEncrypt,
    kLocalDecrypt,
    kAutoCryptList,
    kShareEncrypt,
    kShareDecrypt,
    kChangePassword,
    kClearPassword,
    kHelp,
    kAbout,
    kSetup,
    kInvalid,  // an offset above 13
};
MenuAction ActionForOffset(int offset);

// The icon of an encrypted file by its name: 1 for a file-sharing file (".s" after the last
// dot, either case), 0 for any other with a dot, -1 for a name without one.
int IconIndexFor(const std::string& fileName);

// The menu as text, one line per item: two spaces of indent per popup level, the text as the
// string table spells it, " (grayed)" after a grayed item, "-" for a separator.
std::string MenuText(const std::vector<MenuItem>& menu);

}  // namespace qor::shell
