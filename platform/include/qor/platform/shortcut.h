// A link to a program in the user's start menu: a shell link (.lnk) on Windows; on Linux a
// desktop entry in the user's applications folder, named as the link with ".desktop" in place of
// ".lnk".
#pragma once

#include <string>

namespace qor::platform {

// Writes (or overwrites) the link at `linkPath` that starts `target`, shown as `description`
// (an "&" marks the access key and is dropped where the desktop has none). 0, or the failure
// (a COM result on Windows, an errno on Linux; -1 for an empty link path).
int WriteShortcut(const std::string& linkPath, const std::string& target,
                  const std::string& description);
// The file a link path stands for on this platform (Linux: ".lnk" becomes ".desktop").
std::string ShortcutFile(const std::string& linkPath);

}  // namespace qor::platform
