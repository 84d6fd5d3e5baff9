// What the shell makes of the items the file manager hands over: the selection as the core
// library takes it (the folder, then each item's name inside it, a folder's followed by the
// separator and "*.*") and the selection's state, which decides the menu's gray items.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qor::shell {

enum SelectionState : int {
    kStateNone = 0,            // no selection made yet
    kStatePlain = 1,           // plain files only (or a file without extension)
    kStateLocalEncrypted = 2,  // locally encrypted files
    kStateMixed = 3,           // a folder, or plain files mixed with encrypted ones
    kStateExcluded = 4,        // only program and system types, or inside the system folder
    kStateShareEncrypted = 5,  // file-sharing encrypted files
};

// What the selection needs to know about the system around it.
struct SelectionEnvironment {
    char separator = '/';
    // True when the path is the system folder itself or lies inside it (the Windows folder).
    std::function<bool(const std::string& path)> isSystemPath;
    // True when the path names a folder.
    std::function<bool(const std::string& path)> isFolder;
};

struct Selection {
    std::vector<std::string> list;  // element 0 the folder, then the items
    SelectionState state = kStateNone;
    bool insideSystemFolder = false;
};

// The selection for `names` (full paths, all in one folder as a file manager hands them over).
// False when there are none.
bool BuildShellSelection(const std::vector<std::string>& names, const SelectionEnvironment& env,
                         Selection* selection);

}  // namespace qor::shell
