// The AutoCrypt list's edit dialog, over the list's editor. Windows shows it inside the platform's
// file-open dialog, whose selection is what "&Add to List" adds; the portable form stands a path
// field in its place (one path, or several each in double quotes), which a terminal user types
// into and automation fills.
#pragma once

#include <qor/ui/dialog_model.h>

#include <functional>
#include <string>
#include <vector>

#include "autocrypt_editor.h"

namespace qor::shell {

class AutoCryptEditDialog : public ui::DialogModel {
  public:
    enum ControlId {
        kHelp = 1001,
        kAdd = 1002,
        kRemove = 1003,
        kList = 1004,
        kStartUp = 1006,
        kEncryptNow = 1007,
        kDecryptNow = 1008,
        kDone = 1009,
        kPathLabel = 1090,  // the open dialog's file-name label and field stand in for it
        kPath = 1152,
        kBrowse = 1119,  // the desktop's own file chooser, where the host has one
    };

    // The full paths of the files and folders selected in the open dialog around the view's
    // dialog; the reader clears the open dialog's name field once it has taken them.
    using SelectionReader = std::function<std::vector<std::string>(ui::DialogView&)>;

    // The portable form: the typed path field, made absolute in `currentFolder`.
    AutoCryptEditDialog(AutoCryptEditor& editor, std::string currentFolder);
    // The form shown inside the platform's open dialog (the path field, its label and the
    // Browse button are the open dialog's own): "&Add to List" and the open dialog's OK take its
    // selection.
    AutoCryptEditDialog(AutoCryptEditor& editor, SelectionReader selection);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

  private:
    void Add(ui::DialogView& view);
    void AddPath(ui::DialogView& view, const std::string& path);
    void Remove(ui::DialogView& view);
    // The list box shows the editor's entries; the buttons that need one are usable when any.
    void Refresh(ui::DialogView& view);

    AutoCryptEditor& editor_;
    std::string currentFolder_;
    SelectionReader selection_;  // set in the open dialog's form
    ui::DialogTemplate template_;
};

// The paths of the field: several when the text holds double quotes (each quoted piece a path,
// in the folder given before the first quote when there is one), else the whole text as one
// path; blank pieces are dropped.
std::vector<std::string> SplitTypedPaths(const std::string& text);

}  // namespace qor::shell
