// qor-uninstall: prepares the product's removal and ends the session (no arguments are read).
#include <qor/ui/dialog_host.h>

#include "uninstall_flow.h"

int main() {
    return qor::uninstall::RunUninstall(qor::ui::CurrentHost());
}
