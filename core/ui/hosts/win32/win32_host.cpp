#include "win32_host.h"

#include "src/message_box.h"

namespace qor::ui::win32 {

int Win32Host::RunModal(DialogModel& model, OwnerWindow) {
    RecordResult(model, kIdCancel);
    return kIdCancel;
}

int Win32Host::ShowMessage(OwnerWindow, std::string_view, std::string_view, MessageButtons buttons,
                           MessageIcon) {
    return DismissResult(buttons);
}

}  // namespace qor::ui::win32
