// libqor-ui-gtk.so's one export: the framework looks it up after loading the module.
#include <gtk/gtk.h>

#include "gtk_host.h"

extern "C" __attribute__((visibility("default"))) qor::ui::DialogHost* QorUiCreateGtkHost() {
    // Without a display that GTK can open there is no host: the caller falls back.
    if (gtk_init_check(nullptr, nullptr) == FALSE) return nullptr;
    return new qor::ui::gtk::GtkHost();
}
