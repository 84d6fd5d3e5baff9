// The file managers' entries: Thunar's uca.xml merged without losing a byte of the user's own
// actions, across install, reinstall and uninstall, whoever rewrote it in between; a broken file
// left alone; every entry gone with its own install only.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "file_managers.h"
#include "installer.h"
#include "thunar_actions.h"

#ifndef _WIN32
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Put(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// The user's own file: a comment, a reference, a CDATA command, a localised name, CRLF line ends
// in one place, no newline at the end.
const char kUserUca[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!-- mine: keep -->\n"
    "<actions>\n"
    "<action>\n"
    "\t<icon>utilities-terminal</icon>\n"
    "\t<name>Open &amp; Terminal</name>\n"
    "\t<name xml:lang=\"de\">Terminal &#246;ffnen</name>\r\n"
    "\t<unique-id>1234-user</unique-id>\n"
    "\t<command><![CDATA[xterm -e 'ls <%f>']]></command>\n"
    "\t<patterns>*</patterns>\n"
    "\t<directories/>\n"
    "</action>\n"
    "</actions>";

struct Fixture {
    fs::path root;
    qor::install::DesktopFolders folders;
    std::string home;
    fs::path uca;

    explicit Fixture(const char* name) {
        root = fs::temp_directory_path() / name;
        fs::remove_all(root);
        folders = {(root / "data").string(), (root / "config").string()};
        folders.systemConfig = {(root / "etc").string()};
        home = (root / "a b $x 'q' \"d\" é").string();
        uca = root / "config" / "Thunar" / "uca.xml";
        setenv("QOR_REGISTRY", (root / "registry.reg").string().c_str(), 1);
    }
    ~Fixture() { fs::remove_all(root); }

    std::vector<qor::install::UcaEntry> Actions() const {
        std::vector<qor::install::UcaEntry> actions;
        std::string error;
        EXPECT_TRUE(qor::install::ReadUcaActions(Contents(uca), &actions, &error)) << error;
        return actions;
    }
    int Install(const std::string& forHome) const {
        std::string error;
        return qor::install::WriteDesktopEntries(folders, forHome, &error);
    }
};

int Count(const std::vector<qor::install::UcaEntry>& actions, const std::string& id) {
    int n = 0;
    for (const auto& action : actions)
        n += action.uniqueId == id ? 1 : 0;
    return n;
}

TEST(FileManagers, ThunarKeepsTheUsersActionsByteForByte) {
    Fixture f("qor-fm-thunar-keep");
    Put(f.uca, kUserUca);
    ASSERT_EQ(f.Install(f.home), 0);
    const std::string installed = Contents(f.uca);
    // The user's part is still there, to the byte, and ours follows it inside <actions>.
    const std::string userPart(kUserUca, sizeof kUserUca - 1 - std::string("</actions>").size());
    EXPECT_EQ(installed.substr(0, userPart.size()), userPart);
    EXPECT_EQ(installed.substr(installed.size() - 10), "</actions>");
    auto actions = f.Actions();
    ASSERT_EQ(actions.size(), 12u);
    EXPECT_EQ(actions[0].uniqueId, "1234-user");
    EXPECT_EQ(actions[0].command, "xterm -e 'ls <%f>'");
    EXPECT_EQ(actions[1].uniqueId, "qor-vaultis-encrypt");
    // The launcher quoted for sh, its percent signs doubled for Thunar.
    EXPECT_EQ(actions[1].command, "'" + f.home.substr(0, f.home.find('\'')) +
                                      "'\\''q'\\'' \"d\" é/qor-desktop' encrypt %F");
    EXPECT_EQ(Count(actions, "qor-vaultis-decrypt"), 1);
    EXPECT_EQ(Count(actions, "qor-vaultis-decrypt-folder"), 1);

    // Again: the same file, no action twice.
    ASSERT_EQ(f.Install(f.home), 0);
    EXPECT_EQ(Contents(f.uca), installed);

    // Another install's uninstall leaves ours; ours gives back the user's file as it was.
    qor::install::RemoveDesktopEntries(f.folders, (f.root / "other").string());
    EXPECT_EQ(Contents(f.uca), installed);
    qor::install::RemoveDesktopEntries(f.folders, f.home);
    EXPECT_EQ(Contents(f.uca), kUserUca);
}

// Thunar writes the whole file anew when the user edits an action: one line, comments gone,
// its own escapes. Ours are still known by their id and command, the user's new one stays.
TEST(FileManagers, ThunarRewrittenByThunarStillLosesOnlyOurs) {
    Fixture f("qor-fm-thunar-rewritten");
    Put(f.uca, kUserUca);
    ASSERT_EQ(f.Install(f.home), 0);
    std::string rewritten = "<?xml encoding=\"UTF-8\" version=\"1.0\"?>\n<actions>";
    for (const auto& action : f.Actions()) {
        std::string command;
        for (char c : action.command) {
            if (c == '\'')
                command += "&apos;";
            else if (c == '"')
                command += "&quot;";
            else if (c == '<')
                command += "&lt;";
            else if (c == '>')
                command += "&gt;";
            else
                command += c;
        }
        rewritten += "<action><icon></icon><name>x</name><unique-id>" + action.uniqueId +
                     "</unique-id><command>" + command +
                     "</command><patterns>*</patterns></action>";
    }
    rewritten +=
        "<action><name>new</name><unique-id>qor-vaultis-mine</unique-id>"
        "<command>echo %F</command></action></actions>\n";
    Put(f.uca, rewritten);
    qor::install::RemoveDesktopEntries(f.folders, f.home);
    const auto left = f.Actions();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].uniqueId, "1234-user");
    EXPECT_EQ(left[1].uniqueId, "qor-vaultis-mine") << "our prefix alone does not make it ours";
}

// Without a file of the user's, Thunar reads the system's; the install starts from a copy of it so
// that its actions stay, and the uninstall takes the copy away unless the user changed it.
TEST(FileManagers, ThunarStartsFromTheSystemFileAndRemovesItsCopy) {
    Fixture f("qor-fm-thunar-system");
    const std::string system =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE actions [\n"
        "  <!ELEMENT actions (action)+>\n]>\n<actions>\n  <action>\n"
        "    <unique-id>sys</unique-id>\n    <command>exo-open %f</command>\n"
        "  </action>\n</actions>\n";
    Put(f.root / "etc" / "Thunar" / "uca.xml", system);
    ASSERT_EQ(f.Install(f.home), 0);
    EXPECT_EQ(f.Actions().front().uniqueId, "sys");
    qor::install::RemoveDesktopEntries(f.folders, f.home);
    EXPECT_FALSE(fs::exists(f.uca));

    ASSERT_EQ(f.Install(f.home), 0);
    std::string text = Contents(f.uca);
    text.insert(text.find("</actions>"), "<action><unique-id>added</unique-id></action>\n");
    Put(f.uca, text);
    qor::install::RemoveDesktopEntries(f.folders, f.home);
    ASSERT_TRUE(fs::exists(f.uca));
    const auto left = f.Actions();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].uniqueId, "added");
    EXPECT_EQ(Contents(f.uca).find("X-QOR"), std::string::npos);
}

TEST(FileManagers, ABrokenUcaFileIsLeftAsItWas) {
    Fixture f("qor-fm-thunar-broken");
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"<actions><action></actions>", "</actions> closes no open <actions> on line 1"},
        {"<actions>\n<action><name>a &bogus; b</name></action></actions>",
         "a broken character reference on line 2"},
        {"<actions><!-- open </actions>", "an unclosed comment on line 1"},
        {"<?xml version=\"1.0\"?>\n<menu></menu>", "the root element is <menu> on line 2"},
        {"<actions>\n<action>\n", "<action> is never closed on line 3"},
        {"", "no <actions> element on line 1"},
        {"<actions></actions><actions></actions>", "a second root element on line 1"},
        {"<actions a=b></actions>", "an unquoted attribute value on line 1"},
    };
    for (const auto& c : cases) {
        Put(f.uca, c.text);
        std::string error;
        EXPECT_EQ(qor::install::WriteDesktopEntries(f.folders, f.home, &error), 1) << c.text;
        EXPECT_EQ(error, f.uca.string() + " is not well-formed (" + c.why + "); left as it was");
        EXPECT_EQ(Contents(f.uca), c.text);
        qor::install::RemoveDesktopEntries(f.folders, f.home);
        EXPECT_EQ(Contents(f.uca), c.text);
    }
}

// Everything written goes with the uninstall of its own home and only then; a folder of the
// user's in the scripts folder stays.
TEST(FileManagers, UninstallRemovesEveryEntryOfItsOwnHomeOnly) {
    Fixture f("qor-fm-all");
    f.home = (f.root / "home").string();  // Nemo's actions too: no '%' in the name
    Put(f.root / "data" / "nautilus" / "scripts" / "QOR Settings" / "mine", "#!/bin/sh\n");
    ASSERT_EQ(f.Install(f.home), 0);
    int written = 0;
    for (const std::string& path : qor::install::FileManagerEntryPaths(f.folders))
        written += fs::exists(path) ? 1 : 0;
    // Nine scripts (not the provider: no Python extensions), five service menus, nine Nemo
    // actions, Thunar's file.
    EXPECT_EQ(written, 9 + 5 + 9 + 1);
    const fs::path nemo = f.root / "data" / "nemo" / "actions" / "qor-vaultis-decrypt.nemo_action";
    EXPECT_NE(Contents(nemo).find("\nExec='" + f.home + "/qor-desktop' decrypt %F\n"),
              std::string::npos);
    EXPECT_NE(Contents(nemo).find("\nExtensions=!!!;dir;\n"), std::string::npos);
    const fs::path dolphin =
        f.root / "data" / "kio" / "servicemenus" / "qor-vaultis-settings.desktop";
    EXPECT_TRUE((fs::status(dolphin).permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_NE(Contents(dolphin).find("X-KDE-Submenu=&QOR Settings\n"), std::string::npos);

    // With the Python extensions installed the provider replaces the scripts.
    f.folders.nautilusPython = true;
    ASSERT_EQ(f.Install(f.home), 0);
    EXPECT_TRUE(fs::exists(f.root / "data" / "nautilus-python" / "extensions" / "qor_vaultis.py"));
    EXPECT_FALSE(fs::exists(f.root / "data" / "nautilus" / "scripts" / "Encrypt..."));

    qor::install::RemoveDesktopEntries(f.folders, (f.root / "other").string());
    EXPECT_TRUE(fs::exists(nemo));
    qor::install::RemoveDesktopEntries(f.folders, f.home);
    for (const std::string& path : qor::install::FileManagerEntryPaths(f.folders))
        EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_TRUE(fs::exists(f.root / "data" / "nautilus" / "scripts" / "QOR Settings" / "mine"));
}

TEST(FileManagers, ShellQuotingKeepsEveryCharacter) {
    EXPECT_EQ(qor::install::ShellQuote("/h/a b"), "'/h/a b'");
    EXPECT_EQ(qor::install::ShellQuote("it's $x \"%\" `y`"), "'it'\\''s $x \"%\" `y`'");
}

}  // namespace
#endif
