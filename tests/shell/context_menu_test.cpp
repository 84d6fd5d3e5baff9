// The shell's menu for each kind of selection: the selection as the core takes it, its state,
// every item's gray state, the help texts of every command offset, the actions and the icons.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "classify_extension.h"
#include "context_menu.h"
#include "selection_model.h"
#include "string_table.h"

namespace qor::shell {
namespace {

// A Windows-like system: C:\WINDOWS is the system folder, names ending in a backslash-free
// "DATA" or "DOCS" are folders.
SelectionEnvironment Environment() {
    SelectionEnvironment env;
    env.separator = '\\';
    env.isSystemPath = [](const std::string& path) {
        return path == "C:\\WINDOWS" || path.rfind("C:\\WINDOWS\\", 0) == 0;
    };
    env.isFolder = [](const std::string& path) {
        return path.size() >= 4 &&
               (path.substr(path.size() - 4) == "DATA" || path.substr(path.size() - 4) == "DOCS");
    };
    return env;
}

Selection Select(const std::vector<std::string>& names) {
    Selection selection;
    EXPECT_TRUE(BuildShellSelection(names, Environment(), &selection));
    return selection;
}

TEST(ShellSelection, StatesAndTheListTheCoreTakes) {
    Selection mixed = Select({"C:\\DOC\\A.TXT", "C:\\DOC\\B.!!!"});
    EXPECT_EQ(mixed.state, kStateMixed);
    EXPECT_EQ(mixed.list, (std::vector<std::string>{"C:\\DOC", "A.TXT", "B.!!!"}));

    Selection folder = Select({"C:\\DATA"});
    EXPECT_EQ(folder.state, kStateMixed);
    EXPECT_EQ(folder.list, (std::vector<std::string>{"C:", "DATA\\*.*"}));

    Selection system = Select({"C:\\WINDOWS\\SYSTEM\\A.TXT", "C:\\WINDOWS\\SYSTEM\\DOCS"});
    EXPECT_EQ(system.state, kStateExcluded);
    EXPECT_TRUE(system.insideSystemFolder);
    // Inside the system folder a folder is not expanded: nothing there is walked.
    EXPECT_EQ(system.list[2], "DOCS");

    EXPECT_EQ(Select({"C:\\WINDOWS"}).state, kStateExcluded);
    EXPECT_EQ(Select({"C:\\A\\README"}).state, kStatePlain);
    EXPECT_EQ(Select({"C:\\A\\X.S!1"}).state, kStateShareEncrypted);
    EXPECT_EQ(Select({"C:\\A\\X.s!!", "C:\\A\\Y.S!!"}).state, kStateShareEncrypted);
    EXPECT_EQ(Select({"C:\\A\\X.!!!", "C:\\A\\Y.!!7"}).state, kStateLocalEncrypted);
    EXPECT_EQ(Select({"C:\\A\\PAGE.HTML"}).state, kStatePlain);
    EXPECT_EQ(Select({"C:\\A\\RUN.EXE", "C:\\A\\LIB.Dll"}).state, kStateExcluded);
    EXPECT_EQ(Select({"C:\\A\\README", "C:\\A\\B.TXT"}).state, kStateMixed);
    // A dot in a folder's name is no extension.
    EXPECT_EQ(Select({"C:\\A.S!1\\README"}).state, kStatePlain);

    Selection none;
    EXPECT_FALSE(BuildShellSelection({}, Environment(), &none));
}

TEST(ShellSelection, ExtensionKinds) {
    EXPECT_EQ(ClassifyExtension(".!!!"), kExtensionLocalEncrypted);
    EXPECT_EQ(ClassifyExtension(".!!a"), kExtensionLocalEncrypted);
    EXPECT_EQ(ClassifyExtension(".S!9"), kExtensionShareEncrypted);
    EXPECT_EQ(ClassifyExtension(".s!-"), kExtensionPlain);
    EXPECT_EQ(ClassifyExtension(".E!!"), kExtensionExcluded);
    EXPECT_EQ(ClassifyExtension(".Vbx"), kExtensionExcluded);
    EXPECT_EQ(ClassifyExtension(".html"), kExtensionPlain);
    EXPECT_EQ(ClassifyExtension(".ex"), kExtensionPlain);
}

// The product's items, found by command id, and the popups by text.
struct Items {
    std::vector<MenuItem> menu;
    const MenuItem* Find(const std::vector<MenuItem>& items, int id) const {
        for (const MenuItem& item : items) {
            if (item.id == id && item.kind == MenuItem::Kind::kCommand) return &item;
            if (const MenuItem* inner = Find(item.items, id)) return inner;
        }
        return nullptr;
    }
    bool Gray(int id) const {
        const MenuItem* item = Find(menu, id);
        EXPECT_NE(item, nullptr) << id;
        return item != nullptr && item->grayed;
    }
    const MenuItem& Popup(const std::string& text) const {
        for (const MenuItem& item : menu)
            if (item.text == text) return item;
        for (const MenuItem& item : menu)
            for (const MenuItem& inner : item.items)
                if (inner.text == text) return inner;
        static MenuItem none;
        ADD_FAILURE() << text;
        return none;
    }
};

constexpr int kFirst = 100;

Items Menu(SelectionState state, bool busy = false, bool setupNeeded = false, bool kept = false) {
    Items items;
    MenuItem existing;
    existing.text = "Open";
    items.menu = {existing, existing};
    EXPECT_EQ(QueryContextMenu(&items.menu, 1, kFirst, {busy, setupNeeded, kept, state}), 13);
    return items;
}

TEST(ShellMenu, GrayStatesForEverySelection) {
    struct Case {
        SelectionState state;
        bool encrypt, decrypt, fileShare, shareEncrypt, shareDecrypt;  // grayed
    };
    for (const Case& c : {Case{kStatePlain, false, true, false, false, true},
                          Case{kStateLocalEncrypted, true, false, false, true, true},
                          Case{kStateMixed, false, false, false, false, false},
                          Case{kStateExcluded, true, true, true, true, true},
                          Case{kStateShareEncrypted, true, true, false, true, false}}) {
        SCOPED_TRACE(c.state);
        const Items m = Menu(c.state);
        EXPECT_EQ(m.Gray(kFirst + kOffsetEncrypt), c.encrypt);
        EXPECT_EQ(m.Gray(kFirst + kOffsetDecrypt), c.decrypt);
        EXPECT_EQ(m.Popup("&File Share").grayed, c.fileShare);
        EXPECT_EQ(m.Gray(kFirst + kOffsetShareEncrypt), c.shareEncrypt);
        EXPECT_EQ(m.Gray(kFirst + kOffsetShareDecrypt), c.shareDecrypt);
        // The settings stay usable whatever the selection.
        EXPECT_FALSE(m.Popup("&QOR Settings").grayed);
        EXPECT_FALSE(m.Gray(kFirst + kOffsetAutoCrypt));
        EXPECT_FALSE(m.Gray(kFirst + kOffsetHelp));
        EXPECT_FALSE(m.Gray(kFirst + kOffsetAbout));
        EXPECT_EQ(m.Find(m.menu, kFirst + kOffsetSetup), nullptr);
    }
}

TEST(ShellMenu, LayoutAsTheFileManagerShowsIt) {
    const Items m = Menu(kStatePlain);
    EXPECT_EQ(MenuText(m.menu),
              "Open\n"
              "-\n"
              "&Encrypt...\n"
              "Decr&ypt... (grayed)\n"
              "&File Share\n"
              "  &Encrypt...\n"
              "  Decr&ypt... (grayed)\n"
              "&QOR Settings\n"
              "  &AutoCrypt...\n"
              "  -\n"
              "  &Password\n"
              "    &Change Password...\n"
              "    C&lear Password from Memory (grayed)\n"
              "  QOR &Help...\n"
              "  -\n"
              "  &About QOR...\n"
              "-\n"
              "Open\n");
    // The separator takes the first id; the items before and after the product's stay.
    EXPECT_EQ(m.menu[1].id, kFirst);
    for (size_t i = 2; i <= 5; ++i)
        EXPECT_TRUE(m.menu[i].marked) << i;
    // Every id lies in first .. first + 12.
    std::set<int> ids;
    std::vector<const std::vector<MenuItem>*> open = {&m.menu};
    while (!open.empty()) {
        const std::vector<MenuItem>* items = open.back();
        open.pop_back();
        for (const MenuItem& item : *items) {
            if (item.id >= 0) ids.insert(item.id);
            open.push_back(&item.items);
        }
    }
    EXPECT_GE(*ids.begin(), kFirst);
    EXPECT_LE(*ids.rbegin(), kFirst + 12);
}

TEST(ShellMenu, BusyAndBeforeSetup) {
    // Another process runs a command: every product item is gray, the settings popup too.
    const Items busy = Menu(kStateMixed, true, false, true);
    EXPECT_TRUE(busy.Popup("&QOR Settings").grayed);
    for (int offset : {2, 3, 5, 6, 7, 8, 10, 11})
        EXPECT_TRUE(busy.Gray(kFirst + offset)) << offset;
    // Clearing the kept password is not a command that needs the core.
    EXPECT_FALSE(busy.Gray(kFirst + kOffsetClearPassword));

    // Before setup only Setup and About are usable.
    const Items fresh = Menu(kStateMixed, false, true, false);
    EXPECT_FALSE(fresh.Gray(kFirst + kOffsetSetup));
    EXPECT_FALSE(fresh.Gray(kFirst + kOffsetAbout));
    EXPECT_TRUE(fresh.Popup("&Password").grayed);
    for (int offset : {2, 3, 5, 6, 7, 8, 9, 10})
        EXPECT_TRUE(fresh.Gray(kFirst + offset)) << offset;
    EXPECT_FALSE(fresh.Popup("&QOR Settings").grayed);
}

TEST(ShellMenu, CommandStringsActionsAndIcons) {
    const char* const kExpected[] = {"Unknown command",
                                     "&QOR Settings",
                                     "Encrypt a file  ",
                                     "Decrypt a file ",
                                     "Encrypt a shared file",
                                     "Add or remove from AutoCrypt list",
                                     "Encrypt a shared file",
                                     "Decrypt a shared file",
                                     "Change Password",
                                     "Clear Password from memory",
                                     "QOR Help",
                                     "QOR About box",
                                     "Initializes QOR Vaultis",
                                     "Unknown command"};
    for (int offset = 0; offset <= 13; ++offset)
        EXPECT_EQ(LoadShellString(CommandStringId(offset)), kExpected[offset]) << offset;
    EXPECT_EQ(CommandStringId(14), 0);

    EXPECT_EQ(ActionForOffset(13), MenuAction::kNothing);
    EXPECT_EQ(ActionForOffset(4), MenuAction::kNothing);
    EXPECT_EQ(ActionForOffset(14), MenuAction::kInvalid);
    EXPECT_EQ(ActionForOffset(9), MenuAction::kClearPassword);
    EXPECT_EQ(ActionForOffset(12), MenuAction::kSetup);

    EXPECT_EQ(IconIndexFor("C:\\A\\REPORT(DOC).!!!"), 0);
    EXPECT_EQ(IconIndexFor("C:\\A\\REPORT(DOC).S!!"), 1);
    EXPECT_EQ(IconIndexFor("C:\\A\\REPORT(DOC).s!!"), 1);
    EXPECT_EQ(IconIndexFor("C:\\A\\README"), -1);
    EXPECT_EQ(LoadShellString(25),
              "Sorry, you cannot add a file with %s extension to your AutoCrypt list.");
    EXPECT_EQ(LoadShellString(26), "");
}

}  // namespace
}  // namespace qor::shell
