#include "desktop_entries.h"

#include <qor/platform/files.h>
#include <qor/platform/system.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "file_managers.h"

namespace qor::install {

namespace fs = std::filesystem;

namespace {

const char kMimePackage[] = "/mime/packages/qor-vaultis.xml";
const char kOpenEntry[] = "/applications/qor-vaultis-open.desktop";
const char kAutostartEntry[] = "/autostart/qor-vaultis-autocrypt.desktop";
const char kHomeKey[] = "X-QOR-Home=";

// The start-up program's installed name; the log-on entry is written only beside it.
const char kAutostartProgram[] = "vodorura.rar";
// The program that decrypts and opens a double-clicked file.
const char kAssociateProgram[] = "qor-associate";

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '-':
                out += "&#45;";
                break;  // "--" may not appear inside a comment
            default:
                out += c;
        }
    }
    return out;
}

bool IsXml(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".xml") == 0;
}

// The line that says which home folder a file was written for.
std::string HomeMarker(const std::string& path, const std::string& home) {
    return IsXml(path) ? "<!-- " + std::string(kHomeKey) + XmlEscape(home) + " -->"
                       : kHomeKey + home;
}

bool WriteFile(const std::string& path, const std::string& text, std::string* error) {
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
    fs::rename(fs::u8path(temporary), fs::u8path(path), ec);
    if (ec) {
        fs::remove(fs::u8path(temporary), ec);
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

// One argument of a command line as a started program splits it: quoted, with the backslashes
// before a quote (or the closing one) doubled and each quote escaped.
std::string QuoteCommandArgument(const std::string& argument) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') quoted.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

// The desktop reads the file types and which program opens them from caches that these programs
// build from the folders; where a desktop has not got them it reads the folders themselves, so
// their absence is no fault.
void UpdateDesktopCaches(const DesktopFolders& folders) {
    platform::RunProgram("update-mime-database", QuoteCommandArgument(folders.data + "/mime"));
    platform::RunProgram("update-desktop-database",
                         QuoteCommandArgument(folders.data + "/applications"));
}

bool WrittenFor(const std::string& path, const std::string& home) {
    std::ifstream in(fs::u8path(path));
    const std::string marker = HomeMarker(path, home);
    for (std::string line; std::getline(in, line);) {
        if (line == marker) return true;
    }
    return false;
}

std::string MimePackage(const std::string& home) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + HomeMarker(".xml", home) +
           "\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"application/x-qor-encrypted\">\n"
           "    <comment>QOR Vaultis encrypted file</comment>\n"
           "    <glob pattern=\"*.!!!\"/>\n"
           "  </mime-type>\n"
           "  <mime-type type=\"application/x-qor-shared\">\n"
           "    <comment>QOR Vaultis file-sharing file</comment>\n"
           "    <glob pattern=\"*.s!!\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

// The program that opens encrypted files on a double-click shows no window of its own; where it
// is not installed, `qor open` does the same from a terminal.
std::string OpenEntry(const std::string& home) {
    const bool companion = platform::Exists(home + "/" + kAssociateProgram);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=QOR Vaultis\n"
           "Comment=Decrypt and open an encrypted file\n"
           "Exec=" +
           (companion ? QuoteExecArgument(home + "/" + kAssociateProgram) + " %f\n"
                      : QuoteExecArgument(home + "/qor") + " open %f\n") +
           "MimeType=application/x-qor-encrypted;application/x-qor-shared;\n" +
           (companion ? "Terminal=false\n" : "Terminal=true\n") + "NoDisplay=true\n" + kHomeKey +
           home + "\n";
}

// The start-up program's dialogs (the log-on decryption) appear in a terminal.
std::string AutostartEntry(const std::string& home) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=QOR Vaultis AutoCrypt\n"
           "Comment=Decrypt the AutoCrypt list's files at log-on\n"
           "Exec=" +
           QuoteExecArgument(home + "/" + kAutostartProgram) +
           "\n"
           "Terminal=true\n"
           "NoDisplay=true\n" +
           kHomeKey + home + "\n";
}

#ifndef _WIN32
// The folders in `folder`; none when it cannot be read.
std::vector<fs::path> Subfolders(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        found.push_back(it->path());
    return found;
}

// The library that loads Nautilus's Python extensions, in the system's library folders
// (/usr/lib/<architecture>/nautilus/extensions-<version>/ on Debian and its kin).
bool NautilusPythonInstalled() {
    std::error_code ec;
    for (const char* root : {"/usr/lib", "/usr/lib64", "/usr/local/lib"}) {
        std::vector<fs::path> candidates = {fs::path(root) / "nautilus"};
        for (const fs::path& folder : Subfolders(root))
            candidates.push_back(folder / "nautilus");
        for (const fs::path& nautilus : candidates) {
            for (const fs::path& version : Subfolders(nautilus)) {
                if (fs::exists(version / "libnautilus-python.so", ec)) return true;
            }
        }
    }
    return false;
}
#endif

}  // namespace

DesktopFolders DefaultDesktopFolders() {
    DesktopFolders folders;
#ifndef _WIN32  // on Windows the association and the start-up entry are registry matters
    const std::string userHome = platform::EnvironmentVariable("HOME");
    folders.data = platform::EnvironmentVariable("XDG_DATA_HOME");
    if (folders.data.empty() && !userHome.empty()) folders.data = userHome + "/.local/share";
    folders.config = platform::EnvironmentVariable("XDG_CONFIG_HOME");
    if (folders.config.empty() && !userHome.empty()) folders.config = userHome + "/.config";
    std::string dirs = platform::EnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.empty()) dirs = "/etc/xdg";
    for (size_t start = 0; start <= dirs.size();) {
        const size_t colon = std::min(dirs.find(':', start), dirs.size());
        if (colon > start) folders.systemConfig.push_back(dirs.substr(start, colon - start));
        start = colon + 1;
    }
    folders.nautilusPython = NautilusPythonInstalled();
#endif
    return folders;
}

std::vector<std::string> DesktopEntryPaths(const DesktopFolders& folders) {
    return {folders.data + kMimePackage, folders.data + kOpenEntry,
            folders.config + kAutostartEntry};
}

std::string QuoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // The desktop entry's own string escapes apply on top of the Exec quoting.
    std::string escaped;
    for (char c : quoted) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

int WriteDesktopEntries(const DesktopFolders& folders, const std::string& home,
                        std::string* error) {
    if (folders.data.empty() || folders.config.empty()) return 0;
    // A line break in the home folder's name would end the entry's line early.
    for (char c : home) {
        if (c == '\n' || c == '\r') {
            *error = "the home folder's name holds a line break";
            return 1;
        }
    }
    const std::vector<std::string> paths = DesktopEntryPaths(folders);
    if (!WriteFile(paths[0], MimePackage(home), error)) return 1;
    if (!WriteFile(paths[1], OpenEntry(home), error)) return 1;
    UpdateDesktopCaches(folders);
    if (platform::Exists(home + "/" + kAutostartProgram)) {
        if (!WriteFile(paths[2], AutostartEntry(home), error)) return 1;
    } else if (WrittenFor(paths[2], home)) {
        // The start-up program is gone; an entry left behind would fail at every log-on.
        std::error_code ec;
        fs::remove(fs::u8path(paths[2]), ec);
    }
    return WriteFileManagerEntries(folders, home, error);
}

void RemoveDesktopEntries(const DesktopFolders& folders, const std::string& home) {
    if (folders.data.empty() || folders.config.empty()) return;
    bool removed = false;
    for (const std::string& path : DesktopEntryPaths(folders)) {
        if (!WrittenFor(path, home)) continue;
        std::error_code ec;
        fs::remove(fs::u8path(path), ec);
        removed = true;
    }
    if (removed) UpdateDesktopCaches(folders);
    RemoveFileManagerEntries(folders, home);
}

}  // namespace qor::install
