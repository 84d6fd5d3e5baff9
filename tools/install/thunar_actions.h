// Thunar's custom actions live in one file per user (~/.config/Thunar/uca.xml) that the user edits
// too, through Thunar's dialog or by hand. The product's actions are merged into it and taken out
// again without touching anything else: the text outside our <action> elements is kept byte for
// byte, comments and the user's formatting included.
//
// An action is ours when its unique-id starts with kUcaIdPrefix and its command runs the launcher
// of the home folder in question; Thunar keeps both when it rewrites the file (it drops comments),
// so recognising our actions never depends on a comment surviving.
#pragma once

#include <string>
#include <vector>

namespace qor::install {

inline constexpr const char* kUcaIdPrefix = "qor-vaultis-";

struct UcaAction {
    std::string uniqueId;
    std::string name;
    std::string submenu;  // empty: at the top of the menu
    std::string description;
    std::string command;   // as Thunar reads it: %F is the selection, %% a percent sign
    std::string patterns;  // ";"-separated, Thunar's globs
    bool directories = false;
    bool files = false;  // every kind of file (audio, image, other, text, video)
};

// The actions of a uca.xml text: their unique-id and command, unescaped.
struct UcaEntry {
    std::string uniqueId;
    std::string command;
};

// Checks that `text` is a well-formed uca.xml (one <actions> root; tags balanced; comments,
// processing instructions, CDATA and the document type declaration closed; entity references
// complete) and lists its actions. False with a one-line reason otherwise.
bool ReadUcaActions(const std::string& text, std::vector<UcaEntry>* actions, std::string* error);

// `text` without the actions for which `isOurs(entry)` holds, with `add` appended at the end of
// <actions>. False (and `*out` untouched) when `text` is not well-formed.
template <typename Predicate>
bool MergeUcaActions(const std::string& text, Predicate isOurs, const std::vector<UcaAction>& add,
                     std::string* out, std::string* error);

// The XML of one action, indented by two spaces, one line per element, ending with a newline.
std::string UcaActionXml(const UcaAction& action);

// The skeleton written when neither the user nor the system has a uca.xml.
std::string EmptyUcaFile();

namespace detail {
// Byte ranges [begin, end) of each <action> element, with the entries they hold, and the offset
// of the root's closing tag.
struct UcaLayout {
    std::vector<std::pair<size_t, size_t>> ranges;
    std::vector<UcaEntry> entries;
    size_t rootClose = 0;
};
bool ScanUca(const std::string& text, UcaLayout* layout, std::string* error);
std::string RewriteUca(const std::string& text, const UcaLayout& layout,
                       const std::vector<bool>& remove, const std::vector<UcaAction>& add);
}  // namespace detail

template <typename Predicate>
bool MergeUcaActions(const std::string& text, Predicate isOurs, const std::vector<UcaAction>& add,
                     std::string* out, std::string* error) {
    detail::UcaLayout layout;
    if (!detail::ScanUca(text, &layout, error)) return false;
    std::vector<bool> remove;
    for (const UcaEntry& entry : layout.entries)
        remove.push_back(isOurs(entry));
    *out = detail::RewriteUca(text, layout, remove, add);
    return true;
}

}  // namespace qor::install
