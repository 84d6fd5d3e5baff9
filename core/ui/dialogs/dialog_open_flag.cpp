#include "dialog_open_flag.h"

namespace qor::dialogs {

namespace {
// Process-wide, used only by the thread running an export (one export at a time).
bool gDialogOpenFlag = true;
}  // namespace

bool DialogOpenFlag() {
    return gDialogOpenFlag;
}

void SetDialogOpenFlag(bool open) {
    gDialogOpenFlag = open;
}

}  // namespace qor::dialogs
