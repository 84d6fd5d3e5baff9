#include "selection_text.h"

namespace qor::dialogs {

namespace {

// The characters of the last component kept after its separator when it is too long.
constexpr size_t kKeptOfLastComponent = 12;
constexpr size_t kKeptAtStart = 3;
// What N - 7 leaves room for: the three kept characters, "..." and a margin.
constexpr int kReserved = 7;
constexpr int kFrameChars = 2;
constexpr int kDialogUnitsPerChar = 4;

}  // namespace

std::string ShortenFolderText(std::string_view folder, int widthChars, char separator) {
    std::string text(folder);
    const long limit = static_cast<long>(widthChars) - kFrameChars - kReserved;

    const size_t last = text.rfind(separator);
    if (last != std::string::npos && static_cast<long>(text.size() - last) > limit &&
        text.size() - last > kKeptOfLastComponent + 1) {
        text.resize(last + 1 + kKeptOfLastComponent);
        text += "...";
    }
    if (static_cast<long>(text.size()) <= limit) return text;

    // The end of the path from the first separator at which the rest fits; when none does, the
    // last component alone is the best there is.
    size_t from = std::string::npos;
    for (size_t at = text.find(separator, kKeptAtStart); at != std::string::npos;
         at = text.find(separator, at + 1)) {
        from = at;
        if (static_cast<long>(text.size() - at) <= limit) break;
    }
    if (from == std::string::npos) return text;
    return text.substr(0, kKeptAtStart) + "..." + text.substr(from);
}

std::string SelectionListText(const std::vector<std::string>& selection) {
    std::string text;
    for (size_t i = 1; i < selection.size(); ++i) {
        if (i > 1) text += ' ';
        text += selection[i];
    }
    return text;
}

int FieldWidthInChars(const ui::DialogTemplate& dialog, int id) {
    const ui::ControlTemplate* control = dialog.Find(id);
    return control == nullptr ? 0 : control->rect.width / kDialogUnitsPerChar;
}

}  // namespace qor::dialogs
