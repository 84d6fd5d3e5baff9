#include "profile_messages.h"

#include <qor/ui/dialog_host.h>

namespace qor::profile {

void ReportCannotOpenProfile() {
    ui::CurrentHost().ShowMessage(nullptr, "Could not open QOR Vaultis user preference file",
                                  "QOR Vaultis", ui::MessageButtons::kOk,
                                  ui::MessageIcon::kExclamation);
}

}  // namespace qor::profile
