// The texts the encrypt, decrypt and file-sharing dialogs show for a selection: the folder,
// shortened so that it fits its field, and the selected names.
//
// A selection is element 0 the folder, then one element per selected name; a folder is given as
// its name followed by the separator and "*.*".
#pragma once

#include <qor/platform/files.h>
#include <qor/ui/dialog_template.h>

#include <string>
#include <string_view>
#include <vector>

namespace qor::dialogs {

// The folder as a field `widthChars` average characters wide shows it. With N = widthChars - 2,
// a last component (from its separator) longer than N - 7 keeps the separator and 12
// characters followed by "..."; a text still longer than N - 7 becomes its first three
// characters, "..." and the end of the path from the first separator (after those three) at
// which the rest is at most N - 7 long. Hosts measure fields differently, so the width is the
// caller's.
std::string ShortenFolderText(std::string_view folder, int widthChars,
                              char separator = platform::kSeparator);

// Elements 1 and following, joined by single blanks.
std::string SelectionListText(const std::vector<std::string>& selection);

// The width in average characters of a template's control (4 dialog units per character), or 0
// when the template has no such control.
int FieldWidthInChars(const ui::DialogTemplate& dialog, int id);

}  // namespace qor::dialogs
