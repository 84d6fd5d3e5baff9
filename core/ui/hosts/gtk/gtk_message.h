// Message boxes as GTK shows them: the text, the caption as the title, the icon, the buttons of
// the box in their order; Escape and the close box dismiss it as the framework defines.
#pragma once

#include <gtk/gtk.h>
#include <qor/ui/dialog_view.h>

#include <string_view>

#include "gtk_host.h"

namespace qor::ui::gtk {

int RunMessageBox(GtkHost& host, GtkWidget* parent, std::string_view text, std::string_view caption,
                  MessageButtons buttons, MessageIcon icon);

}  // namespace qor::ui::gtk
