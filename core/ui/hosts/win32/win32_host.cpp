#include "win32_host.h"

#include "src/message_box.h"
#include "win32_dialog.h"
#include "win32_file_dialogs.h"
#include "win32_text.h"

namespace qor::ui::win32 {

int Win32Host::RunModal(DialogModel& model, OwnerWindow owner) {
    Win32Dialog dialog(model, static_cast<HWND>(owner));
    INT_PTR result = dialog.Run();
    // No window could be made: nobody is there to answer, which is Cancel.
    if (result == -1) result = kIdCancel;
    RecordResult(model, static_cast<int>(result));
    return static_cast<int>(result);
}

int Win32Host::ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                           MessageButtons buttons, MessageIcon icon) {
    return ShowMessageBox(owner, text, caption, buttons, icon);
}

void Win32Host::Beep() {
    MessageBeep(0);
}

int Win32Host::ChooseSaveFile(OwnerWindow owner, const SaveFileRequest& request,
                              std::string* chosen) {
    return ChooseFileToSave(owner, request, chosen);
}

int ShowMessageBox(void* owner, std::string_view text, std::string_view caption,
                   MessageButtons buttons, MessageIcon icon) {
    UINT style = 0;
    switch (buttons) {
        case MessageButtons::kOk:
            style = MB_OK;
            break;
        case MessageButtons::kOkCancel:
            style = MB_OKCANCEL;
            break;
        case MessageButtons::kYesNo:
            style = MB_YESNO;
            break;
        case MessageButtons::kYesNoCancel:
            style = MB_YESNOCANCEL;
            break;
    }
    switch (icon) {
        case MessageIcon::kNone:
            break;
        case MessageIcon::kInformation:
            style |= MB_ICONINFORMATION;
            break;
        case MessageIcon::kExclamation:
            style |= MB_ICONEXCLAMATION;
            break;
        case MessageIcon::kStop:
            style |= MB_ICONSTOP;
            break;
        case MessageIcon::kQuestion:
            style |= MB_ICONQUESTION;
            break;
    }
    // Without an owner the box still keeps the program's other windows waiting.
    if (owner == nullptr) style |= MB_TASKMODAL | MB_SETFOREGROUND;
    const int pressed =
        MessageBoxW(static_cast<HWND>(owner), Wide(text).c_str(), Wide(caption).c_str(), style);
    // The box could not be shown: nobody is there to choose.
    return pressed == 0 ? DismissResult(buttons) : pressed;
}

}  // namespace qor::ui::win32
