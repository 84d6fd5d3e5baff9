#include "selection.h"

#include <qor/platform/files.h>

namespace qor::shell {

namespace {

using qor::platform::kSeparator;

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// The root part of an absolute path ("/" on Linux; "C:\" or "\\" on Windows), or "" when the
// path is relative.
std::string RootOf(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]))
        return path.substr(0, 2) + kSeparator;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]))
        return std::string(2, kSeparator);
    return "";
#else
    return !path.empty() && IsSeparator(path[0]) ? std::string(1, kSeparator) : "";
#endif
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (IsSeparator(c)) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// Root plus components joined by the separator; no trailing separator unless nothing follows
// the root.
std::string Join(const std::string& root, const std::vector<std::string>& parts, size_t count) {
    std::string out = root;
    for (size_t k = 0; k < count; ++k) {
        if (k > 0) out += kSeparator;
        out += parts[k];
    }
    return out;
}

std::string WithoutTrailingSeparator(std::string path) {
    while (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
    return path;
}

}  // namespace

std::string MakeAbsolute(const std::string& path, const std::string& currentFolder) {
    std::string full = path;
    std::string root = RootOf(path);
    if (root.empty()) {
#ifdef _WIN32
        // "\name" is absolute on the current folder's drive.
        if (!path.empty() && IsSeparator(path[0])) {
            full = currentFolder.substr(0, 2) + path;
            root = RootOf(full);
        }
#endif
        if (root.empty()) {
            full = currentFolder + kSeparator + path;
            root = RootOf(full);
        }
    }
    std::vector<std::string> reduced;
    for (const std::string& part : Components(full.substr(root.size()))) {
        if (part == ".") continue;
        if (part == "..") {
            if (!reduced.empty()) reduced.pop_back();
            continue;
        }
        reduced.push_back(part);
    }
    return Join(root, reduced, reduced.size());
}

bool BuildSelection(const std::vector<std::string>& paths, const std::string& currentFolder,
                    const AttributesOf& attributesOf, std::vector<std::string>* selection,
                    std::string* error) {
    selection->clear();
    if (paths.empty()) {
        *error = "no files or folders given";
        return false;
    }
    std::vector<std::string> names;
    std::string folder;
    for (size_t k = 0; k < paths.size(); ++k) {
        const std::string item = MakeAbsolute(paths[k], currentFolder);
        const std::string root = RootOf(item);
        const std::vector<std::string> parts = Components(item.substr(root.size()));
        if (parts.empty()) {
            *error = "cannot select a whole drive or the root folder: " + paths[k];
            return false;
        }
        const uint32_t attributes = attributesOf(item);
        if (attributes == qor::platform::kInvalidAttributes) {
            *error = "no such file or folder: " + paths[k];
            return false;
        }
        const std::string itemFolder =
            WithoutTrailingSeparator(Join(root, parts, parts.size() - 1));
        if (k == 0) {
            folder = itemFolder;
        } else if (itemFolder != folder) {
            *error =
                "all items must lie in one folder (" + folder + "), but " + paths[k] + " does not";
            return false;
        }
        std::string name = parts.back();
        if ((attributes & qor::platform::kAttrDirectory) != 0) {
            name += kSeparator;
            name += "*.*";
        }
        names.push_back(name);
    }
    selection->push_back(folder);
    selection->insert(selection->end(), names.begin(), names.end());
    return true;
}

}  // namespace qor::shell
