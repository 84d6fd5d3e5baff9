#include "selection_model.h"

#include "classify_extension.h"

namespace qor::shell {

bool BuildShellSelection(const std::vector<std::string>& names, const SelectionEnvironment& env,
                         Selection* selection) {
    if (names.empty()) return false;
    Selection result;
    // "other": something that is not a plain file (a folder, an encrypted file, a name without
    // extension); "plain": a plain file, or a folder, which holds plain files as well.
    bool other = false;
    bool plain = false;
    ExtensionKind lastKind = kExtensionPlain;
    size_t cut = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        std::string name = names[i];
        if (i == 0) {
            const size_t separator = name.rfind(env.separator);
            const std::string folder =
                separator == std::string::npos ? std::string() : name.substr(0, separator);
            result.list.push_back(folder);
            cut = separator == std::string::npos ? 0 : separator + 1;
            if (env.isSystemPath && env.isSystemPath(folder.empty() ? name : folder))
                result.insideSystemFolder = true;
        }
        if (env.isSystemPath && env.isSystemPath(name)) result.insideSystemFolder = true;
        const bool inside = result.insideSystemFolder;
        if (!inside && env.isFolder && env.isFolder(name)) {
            name += env.separator;
            name += "*.*";
            other = plain = true;
        }
        result.list.push_back(name.size() > cut ? name.substr(cut) : std::string());
        if (!inside && !(other && plain)) {
            // A dot in a folder's name is no extension: only the last component's counts.
            const size_t separator = name.rfind(env.separator);
            const size_t dot = name.rfind('.');
            if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
                other = true;
                lastKind = kExtensionPlain;
            } else {
                lastKind = ClassifyExtension(std::string_view(name).substr(dot));
                if (lastKind == kExtensionLocalEncrypted || lastKind == kExtensionShareEncrypted)
                    other = true;
                else if (lastKind == kExtensionPlain)
                    plain = true;
            }
        }
        if (other) {
            result.state = plain ? kStateMixed : static_cast<SelectionState>(lastKind);
        } else {
            result.state = plain ? kStatePlain : kStateExcluded;
        }
    }
    *selection = std::move(result);
    return true;
}

}  // namespace qor::shell
