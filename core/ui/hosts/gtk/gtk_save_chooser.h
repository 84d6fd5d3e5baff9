// The desktop's own save dialog (GtkFileChooserDialog), where the product asks for the name of
// a file to write.
#pragma once

#include <qor/ui/dialog_host.h>

#include <string>

typedef struct _GtkWidget GtkWidget;

namespace qor::ui::gtk {

class GtkHost;

// Shown over `parent`: kIdOk with the full path in `chosen`, or kIdCancel.
int RunSaveChooser(GtkHost& host, GtkWidget* parent, const SaveFileRequest& request,
                   std::string* chosen);

}  // namespace qor::ui::gtk
