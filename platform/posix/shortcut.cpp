#include <qor/platform/files.h>
#include <qor/platform/shortcut.h>

#include <cerrno>
#include <string_view>

namespace qor::platform {

namespace {

// The desktop entry format's quoting of one Exec argument, then its string escapes.
std::string QuoteForExec(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string escaped;
    for (const char c : quoted) {
        if (c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string WithoutAccessKey(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            if (text[i + 1] == '&') out += '&';
            ++i;
            if (text[i] != '&') out += text[i];
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

std::string ShortcutFile(const std::string& linkPath) {
    constexpr std::string_view kLink = ".lnk";
    if (linkPath.size() >= kLink.size() &&
        linkPath.compare(linkPath.size() - kLink.size(), kLink.size(), kLink) == 0) {
        return linkPath.substr(0, linkPath.size() - kLink.size()) + ".desktop";
    }
    return linkPath;
}

int WriteShortcut(const std::string& linkPath, const std::string& target,
                  const std::string& description) {
    if (linkPath.empty()) return -1;
    const std::string file = ShortcutFile(linkPath);
    const std::string text =
        "[Desktop Entry]\nType=Application\nName=" + WithoutAccessKey(description) +
        "\nExec=" + QuoteForExec(target) + "\nTerminal=false\nCategories=Utility;\n";
    const std::string temporary = file + ".new";
    {
        File out = File::Open(temporary, kAccessWrite, kShareNone, kCreateAlways);
        if (!out.IsOpen()) return errno != 0 ? errno : -1;
        if (!out.Write(text.data(), static_cast<uint32_t>(text.size())) || !out.Flush()) {
            out.Close();
            DeleteFile(temporary);
            return EIO;
        }
    }
    // Readable by the desktop's menu, like any entry the user makes.
    SetPermissions(temporary, 0644);
    if (!ReplaceFile(temporary, file)) {
        DeleteFile(temporary);
        return EIO;
    }
    return 0;
}

}  // namespace qor::platform
