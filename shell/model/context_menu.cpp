#include "context_menu.h"

#include "string_table.h"

namespace qor::shell {

namespace {

MenuItem Command(int id, int stringId, bool grayed, bool marked = false) {
    MenuItem item;
    item.id = id;
    item.text = std::string(LoadShellString(stringId));
    item.grayed = grayed;
    item.marked = marked;
    return item;
}

MenuItem Separator(int id = -1) {
    MenuItem item;
    item.kind = MenuItem::Kind::kSeparator;
    item.id = id;
    return item;
}

MenuItem Popup(int stringId, bool grayed, bool marked, std::vector<MenuItem> items) {
    MenuItem item;
    item.kind = MenuItem::Kind::kPopup;
    item.text = std::string(LoadShellString(stringId));
    item.grayed = grayed;
    item.marked = marked;
    item.items = std::move(items);
    return item;
}

// Which of Encrypt, Decrypt, File Share, its Encrypt and its Decrypt a selection grays.
struct StateGrays {
    bool encrypt, decrypt, fileShare, shareEncrypt, shareDecrypt;
};

StateGrays GraysFor(SelectionState state) {
    switch (state) {
        case kStatePlain:
            return {false, true, false, false, true};
        case kStateLocalEncrypted:
            return {true, false, false, true, true};
        case kStateMixed:
            return {false, false, false, false, false};
        case kStateExcluded:
            return {true, true, true, true, true};
        case kStateShareEncrypted:
            return {true, true, false, true, false};
        case kStateNone:
            break;
    }
    return {false, false, false, false, false};
}

void AppendText(const std::vector<MenuItem>& items, int depth, std::string* out) {
    for (const MenuItem& item : items) {
        out->append(static_cast<size_t>(depth) * 2, ' ');
        if (item.kind == MenuItem::Kind::kSeparator) {
            out->append("-\n");
            continue;
        }
        out->append(item.text);
        if (item.grayed) out->append(" (grayed)");
        out->push_back('\n');
        if (item.kind == MenuItem::Kind::kPopup) AppendText(item.items, depth + 1, out);
    }
}

}  // namespace

int QueryContextMenu(std::vector<MenuItem>* menu, size_t position, int firstId,
                     const MenuConditions& c) {
    const bool g = c.busy || c.setupNeeded;
    const StateGrays s = GraysFor(c.state);
    const int f = firstId;

    MenuItem password =
        Popup(kStrPassword, g, false,
              {Command(f + kOffsetChangePassword, kStrChangePassword, g),
               Command(f + kOffsetClearPassword, kStrClearPassword, !c.passwordKept)});
    std::vector<MenuItem> settingsItems = {
        Command(f + kOffsetAutoCrypt, kStrAutoCrypt, g),
        Separator(),
        std::move(password),
        Command(f + kOffsetHelp, kStrHelp, g),
        Separator(),
        Command(f + kOffsetAbout, kStrAbout, c.busy),
    };
    if (c.setupNeeded) settingsItems.push_back(Command(f + kOffsetSetup, kStrSetup, false));

    std::vector<MenuItem> inserted = {
        Separator(f + kOffsetSeparator),
        Command(f + kOffsetEncrypt, kStrEncrypt, g || s.encrypt, true),
        Command(f + kOffsetDecrypt, kStrDecrypt, g || s.decrypt, true),
        Popup(kStrFileShare, g || c.state == kStateExcluded, true,
              {Command(f + kOffsetShareEncrypt, kStrEncrypt, g || s.shareEncrypt),
               Command(f + kOffsetShareDecrypt, kStrDecrypt, g || s.shareDecrypt)}),
        Popup(kStrSettings, c.busy, true, std::move(settingsItems)),
        Separator(),
    };
    const size_t at = position > menu->size() ? menu->size() : position;
    menu->insert(menu->begin() + static_cast<std::ptrdiff_t>(at),
                 std::make_move_iterator(inserted.begin()),
                 std::make_move_iterator(inserted.end()));
    return kMenuIdsUsed;
}

int CommandStringId(int offset) {
    switch (offset) {
        case kOffsetSeparator:
        case kOffsetLast:
            return kStrUnknownCommand;
        case kOffsetSettings:
            return kStrSettings;
        case kOffsetEncrypt:
            return kStrEncryptHelp;
        case kOffsetDecrypt:
            return kStrDecryptHelp;
        case kOffsetFileShare:
        case kOffsetShareEncrypt:
            return kStrShareEncryptHelp;
        case kOffsetAutoCrypt:
            return kStrAutoCryptHelp;
        case kOffsetShareDecrypt:
            return kStrShareDecryptHelp;
        case kOffsetChangePassword:
            return kStrChangePasswordHelp;
        case kOffsetClearPassword:
            return kStrClearPasswordHelp;
        case kOffsetHelp:
            return kStrHelpHelp;
        case kOffsetAbout:
            return kStrAboutHelp;
        case kOffsetSetup:
            return kStrSetupHelp;
        default:
            return 0;
    }
}

MenuAction ActionForOffset(int offset) {
    switch (offset) {
        case kOffsetEncrypt:
            return MenuAction::kLocalEncrypt;
        case kOffsetDecrypt:
            return MenuAction::kLocalDecrypt;
        case kOffsetAutoCrypt:
            return MenuAction::kAutoCryptList;
        case kOffsetShareEncrypt:
            return MenuAction::kShareEncrypt;
        case kOffsetShareDecrypt:
            return MenuAction::kShareDecrypt;
        case kOffsetChangePassword:
            return MenuAction::kChangePassword;
        case kOffsetClearPassword:
            return MenuAction::kClearPassword;
        case kOffsetHelp:
            return MenuAction::kHelp;
        case kOffsetAbout:
            return MenuAction::kAbout;
        case kOffsetSetup:
            return MenuAction::kSetup;
        case kOffsetSeparator:
        case kOffsetSettings:
        case kOffsetFileShare:
        case kOffsetLast:
            return MenuAction::kNothing;
        default:
            return MenuAction::kInvalid;
    }
}

int IconIndexFor(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return -1;
    const char next = dot + 1 < fileName.size() ? fileName[dot + 1] : '\0';
    return next == 's' || next == 'S' ? 1 : 0;
}

std::string MenuText(const std::vector<MenuItem>& menu) {
    std::string out;
    AppendText(menu, 0, &out);
    return out;
}

}  // namespace qor::shell
