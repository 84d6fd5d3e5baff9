#include "string_table.h"

#include <array>

namespace qor::shell {

namespace {

// Index 0 is unused: the table counts from 1. The spacing inside the texts is theirs.
constexpr std::array<std::string_view, kShellStringCount + 1> kStrings = {
    "",
    "&QOR Settings",
    "&Encrypt...",
    "Encrypt a file  ",
    "Decr&ypt...",
    "Decrypt a file ",
    "&File Share",
    "Encrypt a shared file",
    "Decrypt a shared file",
    "&AutoCrypt...",
    "Add or remove from AutoCrypt list",
    "&Password",
    "&Change Password...",
    "Change Password",
    "C&lear Password from Memory",
    "Clear Password from memory",
    "QOR &Help...",
    "QOR Help",
    "&About QOR...",
    "QOR About box",
    "Unknown command",
    "&Setup QOR Vaultis...",
    "Initializes QOR Vaultis",
    "AutoCrypt List",
    "Sorry, you cannot add the Windows directory or a file or subdirectory in your Windows "
    "directory to the AutoCrypt list.",
    "Sorry, you cannot add a file with %s extension to your AutoCrypt list.",
};

}  // namespace

std::string_view LoadShellString(int id) {
    if (id < 1 || id > kShellStringCount) return {};
    return kStrings[static_cast<size_t>(id)];
}

}  // namespace qor::shell
