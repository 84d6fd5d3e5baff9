#include <qor/autocrypt/missing_entry.h>
#include <qor/platform/files.h>

namespace qor::autocrypt {

using namespace ui;

namespace {
// Dialog units are a quarter of the font's average character width.
constexpr int kUnitsPerCharacter = 4;
// The start of the path kept before the "..." (a drive and its separator on Windows).
constexpr size_t kKeptHead = 3;
}  // namespace

std::string ShortenEntry(const std::string& entry, int width) {
    if (width <= 0 || entry.size() <= static_cast<size_t>(width)) return entry;
    const size_t marks = kKeptHead + 3;
    if (static_cast<size_t>(width) <= marks) return entry.substr(0, static_cast<size_t>(width));
    const size_t room = static_cast<size_t>(width) - marks;
    const std::string head = entry.substr(0, kKeptHead) + "...";
    // As many whole last components as fit; a last name too long for the room keeps its end.
    const size_t cut = entry.find(platform::kSeparator, entry.size() - room);
    if (cut != std::string::npos && cut >= kKeptHead) return head + entry.substr(cut);
    return head + entry.substr(entry.size() - room);
}

MissingEntryDialog::MissingEntryDialog(const std::string& entry) : entry_(entry) {
    template_.caption = "AutoCrypt List";
    template_.rect = {0, 0, 220, 112};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    ControlTemplate field = Edit(kEntry, {7, 18, 206, 12});
    field.readOnly = true;
    template_.controls = {
        Static("The following entry could not be found:", {7, 7, 206, 8}),
        field,
        GroupBox("Options", {7, 36, 206, 48}),
        RadioButton(kRemoveThis, "&Remove this entry", {14, 48, 192, 10}, true),
        RadioButton(kKeepThis, "&Keep this entry ", {14, 59, 192, 10}, false),
        RadioButton(kRemoveAll, "Remove &all entries that cannot be found", {14, 70, 192, 10},
                    false),
        DefPushButton(kIdOk, "OK", {50, 92, 50, 14}),
        PushButton(kIdCancel, "Cancel", {120, 92, 50, 14}),
    };
    fieldWidth_ = field.rect.width / kUnitsPerCharacter;
}

void MissingEntryDialog::OnInit(DialogView& view) {
    view.SetCheck(kRemoveThis, false);
    view.SetCheck(kKeepThis, true);
    view.SetCheck(kRemoveAll, false);
    view.SetText(kEntry, ShortenEntry(entry_, fieldWidth_));
}

void MissingEntryDialog::OnCommand(DialogView& view, int controlId) {
    if (controlId != kIdOk) {
        DialogModel::OnCommand(view, controlId);
        return;
    }
    for (const int id : {kRemoveThis, kKeepThis, kRemoveAll}) {
        if (view.IsChecked(id)) choice_ = id;
    }
    view.Close(kIdOk);
}

}  // namespace qor::autocrypt
