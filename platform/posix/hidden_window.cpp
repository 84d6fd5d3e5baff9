// No windows outside Windows: the dialogs of a window-less program have no owner there.
#include "qor/platform/hidden_window.h"

namespace qor::platform {

HiddenWindow::HiddenWindow() = default;
HiddenWindow::~HiddenWindow() = default;

}  // namespace qor::platform
