// The host for real Windows dialogs.
//
// For now a placeholder: every dialog ends as cancelled and every message box as dismissed
// (Cancel, or OK/No where the box has no Cancel), without showing anything, so that Windows
// builds run their dialog paths to a defined end until the dialogs are built from templates.
#pragma once

#include <qor/ui/dialog_host.h>

namespace qor::ui::win32 {

class Win32Host : public DialogHost {
  public:
    int RunModal(DialogModel& model, OwnerWindow owner = nullptr) override;
    int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon icon) override;
    void Beep() override {}
};

}  // namespace qor::ui::win32
