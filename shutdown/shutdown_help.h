// The help of the "Encrypt and Shutdown" dialog, topic 151, shown as the core library shows its
// topics: "<home>/help/151.txt" in a message box captioned "QOR Vaultis Help". The home folder is
// the registry's UserHomeDir; without it nothing is shown.
#pragma once

#include <qor/ui/dialog_view.h>

namespace qor::shutdown {

inline constexpr int kHelpContext = 151;

void ShowShutdownHelp(ui::DialogView& view);

}  // namespace qor::shutdown
