#include "file_managers.h"

#include <qor/platform/files.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "string_table.h"
#include "thunar_actions.h"

namespace qor::install {

namespace fs = std::filesystem;

namespace {

using shell::LoadShellString;

const char kHomeKey[] = "X-QOR-Home=";
const char kNautilusExtension[] = "/nautilus-python/extensions/qor_vaultis.py";
const char kNautilusScripts[] = "/nautilus/scripts";
const char kDolphinFolder[] = "/kio/servicemenus/";
const char kNemoFolder[] = "/nemo/actions/";
const char kThunarActions[] = "/Thunar/uca.xml";
// Marks a uca.xml that did not exist before the install, so that the uninstall may take it away
// again once nothing but what it was created with is left.
const char kUcaCreatedKey[] = "<!-- X-QOR-Created-For=";

// Which selections an item applies to, as far as a file manager's conditions can tell.
enum class Applies {
    kAnything,   // the settings: any selection
    kPlain,      // Encrypt: files and folders (encrypted ones where the conditions can exclude)
    kEncrypted,  // Decrypt: locally encrypted files, and folders
    kShared,     // the file-sharing Decrypt: file-sharing files, and folders
};

struct Item {
    const char* command;
    int text;    // string-table number of the item's text
    int help;    // and of its help text
    int parent;  // 0 at the top, else the popup's text
    Applies applies;
};

// The product's menu as file managers without its gray rules show it. The Password popup's two
// items sit in QOR Settings: not every file manager nests submenus.
const Item kItems[] = {
    {"encrypt", shell::kStrEncrypt, shell::kStrEncryptHelp, 0, Applies::kPlain},
    {"decrypt", shell::kStrDecrypt, shell::kStrDecryptHelp, 0, Applies::kEncrypted},
    {"share-encrypt", shell::kStrEncrypt, shell::kStrShareEncryptHelp, shell::kStrFileShare,
     Applies::kPlain},
    {"share-decrypt", shell::kStrDecrypt, shell::kStrShareDecryptHelp, shell::kStrFileShare,
     Applies::kShared},
    {"autocrypt", shell::kStrAutoCrypt, shell::kStrAutoCryptHelp, shell::kStrSettings,
     Applies::kAnything},
    {"change-password", shell::kStrChangePassword, shell::kStrChangePasswordHelp,
     shell::kStrSettings, Applies::kAnything},
    {"clear-password", shell::kStrClearPassword, shell::kStrClearPasswordHelp, shell::kStrSettings,
     Applies::kAnything},
    {"help", shell::kStrHelp, shell::kStrHelpHelp, shell::kStrSettings, Applies::kAnything},
    {"about", shell::kStrAbout, shell::kStrAboutHelp, shell::kStrSettings, Applies::kAnything},
};

bool TakesSelection(const Item& item) {
    return item.applies != Applies::kAnything;
}

std::string Text(int id) {
    return std::string(LoadShellString(id));
}

// A menu text without its mnemonic mark, for file managers that show the '&' literally.
std::string Plain(const std::string& text) {
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '&' && k + 1 < text.size()) ++k;
        out.push_back(text[k]);
    }
    return out;
}

// The mnemonic marked as GTK marks it.
std::string Underlined(const std::string& text) {
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '_') out.push_back('_');
        if (text[k] == '&' && k + 1 < text.size() && text[k + 1] != '&') {
            out.push_back('_');
            continue;
        }
        if (text[k] == '&') ++k;
        out.push_back(text[k]);
    }
    return out;
}

std::string Trimmed(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return std::string(text);
}

std::string Launcher(const std::string& home) {
    return home + "/" + kLauncherName;
}

// A desktop-entry string value: its escapes for the backslash and the line breaks.
std::string KeyFileValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out.push_back(c);
    }
    return out;
}

bool WriteFile(const std::string& path, const std::string& text, bool executable,
               std::string* error) {
    std::error_code ec;
    fs::create_directories(fs::u8path(path).parent_path(), ec);
    const std::string temporary = path + ".new";
    {
        std::ofstream out(fs::u8path(temporary), std::ios::trunc | std::ios::binary);
        out << text;
        if (!out.flush()) {
            *error = "cannot write " + path;
            return false;
        }
    }
    if (executable) {
        fs::permissions(fs::u8path(temporary),
                        fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, ec);
    }
    fs::rename(fs::u8path(temporary), fs::u8path(path), ec);
    if (ec) {
        fs::remove(fs::u8path(temporary), ec);
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the file at `path` holds `marker` as a whole line.
bool HasLine(const std::string& path, const std::string& marker) {
    std::ifstream in(fs::u8path(path));
    for (std::string line; std::getline(in, line);) {
        if (line == marker) return true;
    }
    return false;
}

void RemoveIfMarked(const std::string& path, const std::string& marker) {
    if (!HasLine(path, marker)) return;
    std::error_code ec;
    fs::remove(fs::u8path(path), ec);
}

// ---- The launcher ----

// An item's command as a POSIX shell runs it, the selection following as "$@".
std::string LauncherCall(const std::string& home, const Item& item) {
    return ShellQuote(Launcher(home)) + " " + item.command;
}

// ---- Nautilus ----

std::string PythonString(const std::string& text) {
    // Bytes, so that a folder name that is not UTF-8 still names the same folder.
    std::string out = "os.fsdecode(b\"";
    const char* hex = "0123456789abcdef";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
            out += "\\x";
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out + "\")";
}

std::string PythonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

// The menu provider asks `qor menu` for the selection's menu, so it shows exactly the product's
// items and gray states (the setup item before setup, the gray of a busy moment or of a password
// not kept); each item runs the launcher with its command.
std::string NautilusExtension(const std::string& home) {
    std::string commands;
    for (const Item& item : kItems) {
        if (item.parent == shell::kStrSettings && item.text != shell::kStrAutoCrypt &&
            item.text != shell::kStrHelp && item.text != shell::kStrAbout) {
            // Change and clear sit in the Password popup of the real menu.
            commands += "    (" + PythonText(Text(shell::kStrPassword)) + ", ";
        } else {
            commands +=
                "    (" + PythonText(item.parent == 0 ? std::string() : Text(item.parent)) + ", ";
        }
        commands += PythonText(Text(item.text)) + "): (\"" + item.command + "\", " +
                    (TakesSelection(item) ? "True" : "False") + "),\n";
    }
    commands += "    (" + PythonText(Text(shell::kStrSettings)) + ", " +
                PythonText(Text(shell::kStrSetup)) + "): (\"setup\", False),\n";
    return "# QOR Vaultis in the file manager's context menu. It asks `qor menu` what the product\n"
           "# shows for the selection (its items and their gray states) and runs the chosen\n"
           "# command through the launcher, which shows the dialogs.\n"
           "# " +
           std::string(kHomeKey) + home +
           "\n"
           "import os\n"
           "import subprocess\n"
           "\n"
           "import gi\n"
           "\n"
           "try:\n"
           "    gi.require_version(\"Nautilus\", \"4.0\")\n"
           "except ValueError:\n"
           "    gi.require_version(\"Nautilus\", \"3.0\")\n"
           "from gi.repository import GObject, Nautilus  # noqa: E402\n"
           "\n"
           "HOME = " +
           PythonString(home) +
           "\n"
           "QOR = os.path.join(HOME, \"qor\")\n"
           "LAUNCHER = os.path.join(HOME, \"" +
           kLauncherName +
           "\")\n"
           "\n"
           "# (the popup's text, the item's text) -> (command, whether it takes the selection)\n"
           "COMMANDS = {\n" +
           commands +
           "}\n"
           "\n"
           "\n"
           "def plain(text):\n"
           "    \"\"\"The text without its mnemonic mark.\"\"\"\n"
           "    return text.replace(\"&&\", \"\\0\").replace(\"&\", \"\").replace(\"\\0\", \"&\")\n"
           "\n"
           "\n"
           "def parse_menu(output):\n"
           "    \"\"\"The lines of `qor menu` as a tree: [text, grayed, children].\"\"\"\n"
           "    root = [\"\", False, []]\n"
           "    stack = [(-1, root)]\n"
           "    for line in output.splitlines():\n"
           "        text = line.lstrip(\" \")\n"
           "        depth = (len(line) - len(text)) // 2\n"
           "        if not text or text == \"-\":\n"
           "            continue\n"
           "        grayed = text.endswith(\" (grayed)\")\n"
           "        if grayed:\n"
           "            text = text[: -len(\" (grayed)\")]\n"
           "        while stack[-1][0] >= depth:\n"
           "            stack.pop()\n"
           "        node = [text, grayed, []]\n"
           "        stack[-1][1][2].append(node)\n"
           "        stack.append((depth, node))\n"
           "    return root[2]\n"
           "\n"
           "\n"
           "class QorVaultisMenu(GObject.GObject, Nautilus.MenuProvider):\n"
           "    def get_file_items(self, *args):\n"
           "        # Nautilus 43 passes the files alone; older versions pass the window first.\n"
           "        files = args[-1]\n"
           "        paths = []\n"
           "        for item in files:\n"
           "            path = item.get_location().get_path()\n"
           "            if path is None:\n"
           "                return []  # not a local file: the product works on local files\n"
           "            paths.append(path)\n"
           "        if not paths:\n"
           "            return []\n"
           "        try:\n"
           "            done = subprocess.run([QOR, \"menu\"] + paths, capture_output=True,\n"
           "                                  timeout=5, check=False)\n"
           "        except (OSError, subprocess.SubprocessError):\n"
           "            return []\n"
           "        if done.returncode != 0:\n"
           "            return []\n"
           "        output = done.stdout.decode(\"utf-8\", \"replace\")\n"
           "        return self._items(parse_menu(output), \"\", paths)\n"
           "\n"
           "    def _items(self, nodes, parent, paths):\n"
           "        items = []\n"
           "        for text, grayed, children in nodes:\n"
           "            name = \"QorVaultis::\" + parent + \"/\" + text\n"
           "            item = Nautilus.MenuItem(name=name, label=plain(text), sensitive=not "
           "grayed)\n"
           "            if children:\n"
           "                submenu = Nautilus.Menu()\n"
           "                for child in self._items(children, text, paths):\n"
           "                    submenu.append_item(child)\n"
           "                item.set_submenu(submenu)\n"
           "            elif (parent, text) in COMMANDS:\n"
           "                command, selection = COMMANDS[(parent, text)]\n"
           "                arguments = [LAUNCHER, command] + (paths if selection else [])\n"
           "                item.connect(\"activate\", self._run, arguments)\n"
           "            items.append(item)\n"
           "        return items\n"
           "\n"
           "    def _run(self, _item, arguments):\n"
           "        subprocess.Popen(arguments, start_new_session=True,\n"
           "                         stdin=subprocess.DEVNULL)\n";
}

// Where the Python extensions are not installed, the file manager's scripts folder: one script an
// item, in folders named as the popups. Scripts get no gray state; the product says what it
// refuses.
std::string ScriptPath(const DesktopFolders& folders, const Item& item) {
    std::string path = folders.data + kNautilusScripts + "/";
    if (item.parent != 0) path += Plain(Text(item.parent)) + "/";
    return path + Plain(Text(item.text));
}

std::string NautilusScript(const std::string& home, const Item& item) {
    return "#!/bin/sh\n"
           "# " +
           Trimmed(LoadShellString(item.help)) + ", through QOR Vaultis.\n# " + kHomeKey + home +
           "\n"
           "exec " +
           LauncherCall(home, item) + (TakesSelection(item) ? " \"$@\"\n" : "\n");
}

// ---- Dolphin ----

struct DolphinMenu {
    const char* file;
    const char* mimeTypes;
    Applies applies;
    int submenu;
};

// One service menu per condition: a service menu's MIME types apply to all of its actions. The
// entries are also valid desktop entries (of an application nobody sees), which the desktop's
// validator checks; the service menu reads its MimeType, Actions and submenu from them.
const DolphinMenu kDolphinMenus[] = {
    {"qor-vaultis-encrypt.desktop", "application/octet-stream;inode/directory;", Applies::kPlain,
     0},
    {"qor-vaultis-decrypt.desktop", "application/x-qor-encrypted;inode/directory;",
     Applies::kEncrypted, 0},
    {"qor-vaultis-share-encrypt.desktop", "application/octet-stream;inode/directory;",
     Applies::kPlain, shell::kStrFileShare},
    {"qor-vaultis-share-decrypt.desktop", "application/x-qor-shared;inode/directory;",
     Applies::kShared, shell::kStrFileShare},
    {"qor-vaultis-settings.desktop", "application/octet-stream;inode/directory;",
     Applies::kAnything, shell::kStrSettings},
};

std::string DolphinEntry(const std::string& home, const DolphinMenu& menu) {
    std::string actions;
    std::string sections;
    std::string firstExec;
    for (const Item& item : kItems) {
        if (item.applies != menu.applies || item.parent != menu.submenu) continue;
        const std::string exec = QuoteExecArgument(Launcher(home)) + " " + item.command +
                                 (TakesSelection(item) ? " %F" : "");
        if (firstExec.empty()) firstExec = exec;
        actions += std::string(item.command) + ";";
        // Qt menus take '&' as the mnemonic mark, as the product's texts do.
        sections += std::string("\n[Desktop Action ") + item.command +
                    "]\nName=" + Text(item.text) + "\nExec=" + exec + "\n";
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=QOR Vaultis\n"
           "NoDisplay=true\n"
           "Exec=" +
           firstExec + "\nMimeType=" + menu.mimeTypes + "\nActions=" + actions + "\n" +
           (menu.submenu != 0 ? "X-KDE-Submenu=" + Text(menu.submenu) + "\n" : std::string()) +
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n" + kHomeKey + KeyFileValue(home) + "\n" +
           sections;
}

// ---- Nemo ----

std::string NemoPath(const DesktopFolders& folders, const Item& item) {
    return folders.data + kNemoFolder + "qor-vaultis-" + item.command + ".nemo_action";
}

// Nemo finds its tokens (%F and the like) anywhere in Exec and knows no escape for a percent
// sign; a home folder with one in its name would have it taken for a token.
bool NemoCanName(const std::string& home) {
    return home.find('%') == std::string::npos;
}

std::string NemoAction(const std::string& home, const Item& item) {
    std::string name = Underlined(Text(item.text));
    // Nemo shows its actions in one list; the popup's name says where the item belongs.
    if (item.parent != 0) name = Plain(Text(item.parent)) + ": " + name;
    std::string extensions = "any;";
    if (item.applies == Applies::kEncrypted) extensions = "!!!;dir;";
    if (item.applies == Applies::kShared) extensions = "s!!;dir;";
    // Nemo puts each path in double quotes (Quote=double) and then splits the line as a shell
    // would; the launcher in single quotes survives that split whatever its folder is called.
    return "[Nemo Action]\n"
           "Name=" +
           name + "\nComment=" + Trimmed(LoadShellString(item.help)) + "\nExec=" +
           KeyFileValue(ShellQuote(Launcher(home)) + " " + item.command +
                        (TakesSelection(item) ? " %F" : "")) +
           "\nSelection=" + (TakesSelection(item) ? "notnone" : "any") +
           "\nExtensions=" + extensions + "\nQuote=double\n" + kHomeKey + KeyFileValue(home) + "\n";
}

// ---- Thunar ----

// Thunar runs its command with /bin/sh -c after putting each selected path, shell-quoted, in
// place of %F; a percent sign of its own is written %%.
std::string ThunarCommand(const std::string& home, const Item& item) {
    std::string command;
    for (char c : LauncherCall(home, item)) {
        if (c == '%') command.push_back('%');
        command.push_back(c);
    }
    return command + (TakesSelection(item) ? " %F" : "");
}

std::vector<UcaAction> ThunarActions(const std::string& home) {
    std::vector<UcaAction> actions;
    for (const Item& item : kItems) {
        UcaAction action;
        action.uniqueId = std::string(kUcaIdPrefix) + item.command;
        action.name = Plain(Text(item.text));
        if (item.parent != 0) action.submenu = Plain(Text(item.parent));
        action.description = Trimmed(LoadShellString(item.help));
        action.command = ThunarCommand(home, item);
        action.patterns = "*";
        action.files = true;
        action.directories = true;
        if (item.applies == Applies::kEncrypted || item.applies == Applies::kShared) {
            // A pattern applies to folders too: the files by their extension here, and the
            // folders (which may hold encrypted files) by a second action of the same name.
            action.patterns = item.applies == Applies::kEncrypted ? "*.!!!" : "*.s!!";
            action.directories = false;
            UcaAction folders = action;
            folders.uniqueId += "-folder";
            folders.patterns = "*";
            folders.files = false;
            folders.directories = true;
            actions.push_back(action);
            actions.push_back(folders);
            continue;
        }
        actions.push_back(action);
    }
    return actions;
}

// Ours: our unique-id, and a command that runs this home folder's launcher.
bool OwnedBy(const UcaEntry& entry, const std::string& home) {
    if (entry.uniqueId.rfind(kUcaIdPrefix, 0) != 0) return false;
    for (const Item& item : kItems) {
        if (entry.command == ThunarCommand(home, item)) return true;
    }
    return false;
}

std::string CreatedMarker(const std::string& home) {
    std::string marker = kUcaCreatedKey;
    for (char c : home)
        marker += c == '-' ? std::string("&#45;") : std::string(1, c);  // no "--" in a comment
    return marker + " -->";
}

// The uca.xml Thunar reads when the user has none: the first in the system's configuration
// folders. Copied, so that its actions stay when the user's file takes its place.
std::string SystemUcaFile(const DesktopFolders& folders) {
    for (const std::string& folder : folders.systemConfig) {
        const std::string path = folder + kThunarActions;
        if (platform::Exists(path)) return ReadFile(path);
    }
    return EmptyUcaFile();
}

// The text with the marker line added after the XML declaration (or at the start).
std::string WithMarker(const std::string& text, const std::string& marker) {
    size_t at = 0;
    if (text.rfind("<?xml", 0) == 0) {
        const size_t end = text.find("?>");
        at = end == std::string::npos ? 0 : end + 2;
        if (at < text.size() && text[at] == '\n') ++at;
        return text.substr(0, at) + marker + "\n" + text.substr(at);
    }
    return marker + "\n" + text;
}

int WriteThunarActions(const DesktopFolders& folders, const std::string& home, std::string* error) {
    const std::string path = folders.config + kThunarActions;
    const bool existed = platform::Exists(path);
    std::string text =
        existed ? ReadFile(path) : WithMarker(SystemUcaFile(folders), CreatedMarker(home));
    std::string merged;
    std::string why;
    if (!MergeUcaActions(
            text, [&](const UcaEntry& entry) { return OwnedBy(entry, home); }, ThunarActions(home),
            &merged, &why)) {
        *error = path + " is not well-formed (" + why + "); left as it was";
        return 1;
    }
    return WriteFile(path, merged, false, error) ? 0 : 1;
}

void RemoveThunarActions(const DesktopFolders& folders, const std::string& home) {
    const std::string path = folders.config + kThunarActions;
    if (!platform::Exists(path)) return;
    const std::string text = ReadFile(path);
    std::string kept;
    std::string why;
    if (!MergeUcaActions(
            text, [&](const UcaEntry& entry) { return OwnedBy(entry, home); }, {}, &kept, &why)) {
        return;  // not ours to repair
    }
    const std::string marker = CreatedMarker(home) + "\n";
    const size_t at = kept.find(marker);
    std::error_code ec;
    if (at != std::string::npos) {
        kept.erase(at, marker.size());
        // Created by the install and unchanged since: the system's file serves again.
        if (kept == SystemUcaFile(folders)) {
            fs::remove(fs::u8path(path), ec);
            return;
        }
    }
    if (kept == text) return;
    std::string ignored;
    WriteFile(path, kept, false, &ignored);
}

bool HasNautilusPython(const DesktopFolders& folders) {
    return folders.nautilusPython;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted.push_back(c);
    }
    return quoted + "'";
}

std::string LauncherScript(const std::string& home) {
    return "#!/bin/sh\n"
           "# Runs one qor command for a file manager's context menu, where its dialogs can be "
           "seen.\n"
           "# " +
           std::string(kHomeKey) + home +
           "\n"
           "#\n"
           "# The dialogs need no terminal when qor shows them as windows (the desktop dialog "
           "host\n"
           "# installed beside the core library, and a display) or a QOR_UI host the user chose;\n"
           "# otherwise a terminal window is opened for them. Decided at every run, so that the\n"
           "# entries stay as they are when the dialog host comes or goes.\n"
           "home=" +
           ShellQuote(home) +
           "\n"
           "qor=\"$home/qor\"\n"
           "\n"
           "run() {\n"
           "    # The file managers' menus cannot offer the setup item alone before setup, as the\n"
           "    # product's own menu does; a command other than these four sets the user up "
           "first.\n"
           "    case $1 in\n"
           "    setup | help | about | clear-password) ;;\n"
           "    *) \"$qor\" status >/dev/null 2>&1 || \"$qor\" setup || return ;;\n"
           "    esac\n"
           "    \"$qor\" \"$@\"\n"
           "}\n"
           "\n"
           "if [ \"${1-}\" = --in-terminal ]; then\n"
           "    shift\n"
           "    run \"$@\"\n"
           "    status=$?\n"
           "    if [ \"$status\" -ne 0 ]; then\n"
           "        printf '\\nPress Enter to close this window. '\n"
           "        read -r _\n"
           "    fi\n"
           "    exit \"$status\"\n"
           "fi\n"
           "\n"
           "# A terminal may start its command in another folder: relative names (the scripts of "
           "a\n"
           "# file manager get them) are made absolute here.\n"
           "command=$1\n"
           "shift\n"
           "for item; do\n"
           "    shift\n"
           "    case $item in\n"
           "    /*) set -- \"$@\" \"$item\" ;;\n"
           "    *) set -- \"$@\" \"$PWD/$item\" ;;\n"
           "    esac\n"
           "done\n"
           "set -- \"$command\" \"$@\"\n"
           "\n"
           "case ${QOR_UI-} in\n"
           "'')\n"
           "    if [ -n \"${DISPLAY-}${WAYLAND_DISPLAY-}\" ] && [ -e \"$home/libqor-ui-gtk.so\" ]; "
           "then\n"
           "        run \"$@\"\n"
           "        exit\n"
           "    fi\n"
           "    ;;\n"
           "tty) ;;\n"
           "*)\n"
           "    run \"$@\"\n"
           "    exit\n"
           "    ;;\n"
           "esac\n"
           "if [ -t 0 ] && [ -t 1 ]; then\n"
           "    run \"$@\"\n"
           "    exit\n"
           "fi\n"
           "for terminal in x-terminal-emulator gnome-terminal konsole xfce4-terminal "
           "mate-terminal xterm; do\n"
           "    command -v \"$terminal\" >/dev/null 2>&1 || continue\n"
           "    case $terminal in\n"
           "    gnome-terminal) exec \"$terminal\" -- \"$0\" --in-terminal \"$@\" ;;\n"
           "    xfce4-terminal | mate-terminal) exec \"$terminal\" -x \"$0\" --in-terminal \"$@\" "
           ";;\n"
           "    *) exec \"$terminal\" -e \"$0\" --in-terminal \"$@\" ;;\n"
           "    esac\n"
           "done\n"
           "echo \"qor-desktop: no terminal to show the dialogs of qor $1 in\" >&2\n"
           "exit 1\n";
}

bool WriteLauncher(const std::string& home, std::string* error) {
    return WriteFile(Launcher(home), LauncherScript(home), true, error);
}

std::vector<std::string> FileManagerEntryPaths(const DesktopFolders& folders) {
    std::vector<std::string> paths = {folders.data + kNautilusExtension};
    for (const Item& item : kItems)
        paths.push_back(ScriptPath(folders, item));
    for (const DolphinMenu& menu : kDolphinMenus)
        paths.push_back(folders.data + kDolphinFolder + menu.file);
    for (const Item& item : kItems)
        paths.push_back(NemoPath(folders, item));
    paths.push_back(folders.config + kThunarActions);
    return paths;
}

int WriteFileManagerEntries(const DesktopFolders& folders, const std::string& home,
                            std::string* error) {
    if (folders.data.empty() || folders.config.empty()) return 0;
    const std::string marker = std::string("# ") + kHomeKey + home;
    // Nautilus: the menu provider where its Python extensions are installed, else the scripts;
    // never both, which would show every item twice.
    if (HasNautilusPython(folders)) {
        if (!WriteFile(folders.data + kNautilusExtension, NautilusExtension(home), false, error))
            return 1;
        for (const Item& item : kItems)
            RemoveIfMarked(ScriptPath(folders, item), marker);
    } else {
        for (const Item& item : kItems) {
            if (!WriteFile(ScriptPath(folders, item), NautilusScript(home, item), true, error))
                return 1;
        }
        RemoveIfMarked(folders.data + kNautilusExtension, marker);
    }
    // Dolphin reads a service menu only when it may be executed.
    for (const DolphinMenu& menu : kDolphinMenus) {
        if (!WriteFile(folders.data + kDolphinFolder + menu.file, DolphinEntry(home, menu), true,
                       error)) {
            return 1;
        }
    }
    for (const Item& item : kItems) {
        if (!NemoCanName(home)) break;
        if (!WriteFile(NemoPath(folders, item), NemoAction(home, item), false, error)) return 1;
    }
    return WriteThunarActions(folders, home, error);
}

void RemoveFileManagerEntries(const DesktopFolders& folders, const std::string& home) {
    if (folders.data.empty() || folders.config.empty()) return;
    const std::string scriptMarker = std::string("# ") + kHomeKey + home;
    const std::string entryMarker = kHomeKey + KeyFileValue(home);
    RemoveIfMarked(folders.data + kNautilusExtension, scriptMarker);
    for (const Item& item : kItems) {
        const std::string script = ScriptPath(folders, item);
        RemoveIfMarked(script, scriptMarker);
        // The popups' folders go when the scripts in them were the last things there.
        if (item.parent != 0) {
            std::error_code ec;
            fs::remove(fs::u8path(script).parent_path(), ec);
        }
    }
    for (const DolphinMenu& menu : kDolphinMenus)
        RemoveIfMarked(folders.data + kDolphinFolder + menu.file, entryMarker);
    for (const Item& item : kItems)
        RemoveIfMarked(NemoPath(folders, item), entryMarker);
    RemoveThunarActions(folders, home);
}

}  // namespace qor::install
