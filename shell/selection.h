// The selection as the file manager hands it to the core: element 0 the folder that holds the
// chosen items, then each item's name relative to it, a folder's name followed by the separator
// and "*.*" so that the core walks its contents.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qor::shell {

// A path made absolute against `currentFolder` and reduced lexically: "." components dropped,
// ".." taking away the component before it, doubled and trailing separators removed. On Windows
// "/" counts as a separator too.
std::string MakeAbsolute(const std::string& path, const std::string& currentFolder);

// The attributes of a path (qor::platform::GetAttributes in the program; tests pass their own).
using AttributesOf = std::function<uint32_t(const std::string&)>;

// Builds the selection for `paths`. False with a one-line reason in *error when there is nothing
// to select, an item does not exist, is a whole drive or the root, or the items do not all lie
// in the same folder (the file manager can only hand over items of one folder).
bool BuildSelection(const std::vector<std::string>& paths, const std::string& currentFolder,
                    const AttributesOf& attributesOf, std::vector<std::string>* selection,
                    std::string* error);

}  // namespace qor::shell
