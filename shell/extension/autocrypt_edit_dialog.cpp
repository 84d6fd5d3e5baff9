#include "autocrypt_edit_dialog.h"

#include <qor/platform/files.h>

#include <utility>

#include "selection.h"
#include "string_table.h"

namespace qor::shell {

using namespace ui;

namespace {

constexpr int kPathLimit = 520;

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<std::string> SplitTypedPaths(const std::string& text) {
    std::vector<std::string> paths;
    if (text.find('"') == std::string::npos) {
        if (!Blank(text)) paths.push_back(Trimmed(text));
        return paths;
    }
    // Inside quotes a piece is a path; outside them only blanks separate the paths, except a
    // first piece before any quote: the folder the quoted names are in, as the open dialog
    // answers for several selected items.
    std::string folder;
    size_t at = 0;
    bool quoted = false;
    while (at <= text.size()) {
        const size_t quote = text.find('"', at);
        const std::string piece = text.substr(at, quote == std::string::npos ? quote : quote - at);
        if (quoted && !piece.empty()) {
            const bool relative = piece.front() != platform::kSeparator && piece.front() != '/' &&
                                  !(piece.size() > 1 && piece[1] == ':');
            std::string path = relative ? folder : std::string();
            if (!path.empty() && path.back() != platform::kSeparator && path.back() != '/')
                path += platform::kSeparator;
            paths.push_back(path + piece);
        } else if (!quoted && at == 0) {
            folder = Trimmed(piece);
        } else if (!quoted && !Blank(piece)) {
            paths.push_back(Trimmed(piece));
        }
        if (quote == std::string::npos) break;
        quoted = !quoted;
        at = quote + 1;
    }
    return paths;
}

AutoCryptEditDialog::AutoCryptEditDialog(AutoCryptEditor& editor, std::string currentFolder)
    : editor_(editor), currentFolder_(std::move(currentFolder)) {
    template_.caption = "Edit AutoCrypt List";
    template_.rect = {0, 0, 300, 214};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    ControlTemplate path = Edit(kPath, {8, 18, 206, 12}, kPathLimit);
    ControlTemplate list = ListBox(kList, {8, 48, 206, 80});
    template_.controls = {
        Static("&File or folder to add:", {8, 6, 284, 10}, kPathLabel),
        path,
        PushButton(kBrowse, "&Browse...", {222, 17, 70, 14}),
        Static("AutoCrypt List:", {8, 38, 206, 10}),
        list,
        // Enter in the open dialog's name field adds what it names: the portable form makes
        // "&Add to List", which stands in for that, the default button.
        DefPushButton(kAdd, "&Add to List", {222, 48, 70, 14}),
        PushButton(kRemove, "&Remove from List", {222, 66, 70, 14}),
        PushButton(kEncryptNow, "&Encrypt Now", {222, 92, 70, 14}),
        PushButton(kDecryptNow, "&Decrypt Now", {222, 110, 70, 14}),
        GroupBox("", {8, 132, 284, 50}),
        CheckBox(kStartUp, "Decrypt Files when Windows starts &up", {16, 140, 268, 10}),
        Static("To encrypt files in your AutoCrypt list when Windows shuts down, choose \"QOR "
               "Encrypt and Shut Down\" from the Start Menu.",
               {16, 154, 268, 24}),
        PushButton(kDone, "Done", {86, 192, 62, 14}),
        PushButton(kIdCancel, "Cancel", {156, 192, 62, 14}),
        PushButton(kHelp, "&Help", {226, 192, 62, 14}),
    };
}

AutoCryptEditDialog::AutoCryptEditDialog(AutoCryptEditor& editor, SelectionReader selection)
    : AutoCryptEditDialog(editor, std::string()) {
    selection_ = std::move(selection);
    // The open dialog's controls sit above the child, in the place of the path field's row.
    constexpr int16_t kPathRow = 32;
    std::vector<ControlTemplate> controls;
    for (ControlTemplate control : template_.controls) {
        if (control.id == kPathLabel || control.id == kPath || control.id == kBrowse) continue;
        control.rect.y = static_cast<int16_t>(control.rect.y - kPathRow);
        // Enter in the open dialog adds; the child's default is "Done".
        if (control.id == kAdd) control.kind = ControlKind::kPushButton;
        if (control.id == kDone) control.kind = ControlKind::kDefPushButton;
        controls.push_back(control);
    }
    template_.controls = std::move(controls);
    template_.rect.height = static_cast<int16_t>(template_.rect.height - kPathRow);
}

void AutoCryptEditDialog::OnInit(DialogView& view) {
    view.SetCheck(kStartUp, editor_.startUp());
    if (selection_) {
        Refresh(view);
        view.Focus(kList);
        return;
    }
    view.Show(kBrowse, view.CanChooseFiles());
    view.Enable(kBrowse, view.CanChooseFiles());
    Refresh(view);
    view.Focus(kPath);
}

void AutoCryptEditDialog::Refresh(DialogView& view) {
    view.SetItems(kList, editor_.entries());
    const bool any = !editor_.entries().empty();
    for (int id : {kRemove, kEncryptNow, kDecryptNow})
        view.Enable(id, any);
}

void AutoCryptEditDialog::OnCommand(DialogView& view, int controlId) {
    switch (controlId) {
        case kAdd:
        case kIdOk:  // the open dialog's OK, as Enter in its name field sends it
            Add(view);
            return;
        case kRemove:
            Remove(view);
            return;
        case kBrowse:
            for (const std::string& path :
                 view.ChooseFiles("Add to the AutoCrypt List", currentFolder_))
                AddPath(view, path);
            Refresh(view);
            return;
        case kEncryptNow:
            editor_.EncryptNow(false);
            return;
        case kDecryptNow:
            editor_.DecryptNow(false);
            return;
        case kHelp:
            editor_.ShowHelp();
            return;
        case kStartUp:
            return;  // read by Done
        case kDone:
            editor_.SetStartUp(view.IsChecked(kStartUp));
            editor_.Done();
            view.Close(kIdOk);
            return;
        default:
            DialogModel::OnCommand(view, controlId);
    }
}

void AutoCryptEditDialog::Add(DialogView& view) {
    if (selection_) {
        const std::vector<std::string> chosen = selection_(view);
        if (chosen.empty()) {
            view.Beep();
            return;
        }
        for (const std::string& path : chosen)
            AddPath(view, path);
        Refresh(view);
        return;
    }
    const std::vector<std::string> paths = SplitTypedPaths(view.GetText(kPath));
    if (paths.empty()) {
        view.Beep();
        view.Focus(kPath);
        return;
    }
    view.SetText(kPath, "");
    // Each path is handled, with its own message when refused.
    for (const std::string& path : paths)
        AddPath(view, MakeAbsolute(path, currentFolder_));
    Refresh(view);
    view.Focus(kPath);
}

void AutoCryptEditDialog::AddPath(DialogView& view, const std::string& path) {
    const std::string_view caption = LoadShellString(kStrListCaption);
    const uint32_t attributes = platform::GetAttributes(path);
    if (attributes == platform::kInvalidAttributes) {
        // The open dialog offers only what exists; a typed path may name nothing.
        view.ShowMessage(path + " cannot be found. Type the full path of a file or folder.",
                         caption, MessageButtons::kOk, MessageIcon::kExclamation);
        return;
    }
    std::string message;
    const bool folder = (attributes & platform::kAttrDirectory) != 0;
    // The list keeps entries of at most 259 characters, a folder's "*.*" included.
    if (path.size() + (folder ? 4 : 0) >= platform::kMaxPath) {
        view.ShowMessage(path + " is too long for the AutoCrypt list.", caption,
                         MessageButtons::kOk, MessageIcon::kExclamation);
        return;
    }
    if (editor_.Add(path, folder, &message) == AutoCryptEditor::AddResult::kRefused)
        view.ShowMessage(message, caption, MessageButtons::kOk, MessageIcon::kNone);
}

void AutoCryptEditDialog::Remove(DialogView& view) {
    std::vector<std::string> chosen;
    const std::vector<std::string>& entries = editor_.entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (view.IsSelected(kList, static_cast<int>(i))) chosen.push_back(entries[i]);
    for (const std::string& entry : chosen)
        editor_.Remove(entry);
    Refresh(view);
}

}  // namespace qor::shell
