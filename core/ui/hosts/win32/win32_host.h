// The host for real Windows dialogs.
//
// Each model's template becomes an in-memory dialog template (dialog_template_bytes) shown with
// DialogBoxIndirectParamW, so the dialog manager lays the controls out in dialog units of the
// template's font, as a resource dialog would be. Control states live in the view the model
// talks to (a StateView) and are mirrored into the controls; what the user does reaches the model
// as on every host: clicks and Enter/Escape as OnCommand, typing as OnTextChanged, keys and
// pointer motion (seen through a message filter on the dialog's loop) as OnKey and
// OnPointerMove, a push button held down as OnButtonPressed/OnButtonReleased. Message boxes are
// MessageBoxW.
//
// Where no window can be made (a process without a desktop), a dialog ends as cancelled and a
// message box as dismissed, as if nobody were there to answer.
#pragma once

#include <qor/ui/dialog_host.h>

namespace qor::ui::win32 {

class Win32Host : public DialogHost {
  public:
    int RunModal(DialogModel& model, OwnerWindow owner = nullptr) override;
    int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon icon) override;
    void Beep() override;
    int ChooseSaveFile(OwnerWindow owner, const SaveFileRequest& request,
                       std::string* chosen) override;
};

// MessageBoxW with the product's buttons and icons, owned by `owner` (an HWND or nullptr).
int ShowMessageBox(void* owner, std::string_view text, std::string_view caption,
                   MessageButtons buttons, MessageIcon icon);

}  // namespace qor::ui::win32
