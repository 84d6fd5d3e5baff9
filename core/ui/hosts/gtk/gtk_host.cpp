#include "gtk_host.h"

#include <gtk/gtk.h>

#include "gtk_automation.h"
#include "gtk_dialog.h"
#include "gtk_message.h"
#include "gtk_save_chooser.h"

namespace qor::ui::gtk {

GtkHost::GtkHost() : automation_(GtkAutomation::FromEnvironment()) {}
GtkHost::~GtkHost() = default;

int GtkHost::RunModal(DialogModel& model, OwnerWindow) {
    GtkDialogWindow window(*this, model, top_);
    const int result = window.Run();
    RecordResult(model, result);
    return result;
}

int GtkHost::ShowMessage(OwnerWindow, std::string_view text, std::string_view caption,
                         MessageButtons buttons, MessageIcon icon) {
    return RunMessageBox(*this, top_, text, caption, buttons, icon);
}

int GtkHost::ProgressCancelAfter() const {
    return automation_ != nullptr ? automation_->ProgressCancelAfter() : kNeverCancel;
}

int GtkHost::ChooseSaveFile(OwnerWindow, const SaveFileRequest& request, std::string* chosen) {
    return RunSaveChooser(*this, top_, request, chosen);
}

void GtkHost::Beep() {
    gdk_display_beep(gdk_display_get_default());
}

}  // namespace qor::ui::gtk
