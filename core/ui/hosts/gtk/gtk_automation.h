// Automation of the real GTK dialogs, for end-to-end tests on a virtual display: the script
// host's scenario lines ($QOR_GTK_SCENARIO) carried out through the widgets themselves (typing
// into the entries, toggling the boxes, clicking the buttons), the same transcript
// ($QOR_UI_LOG), and a screenshot of every dialog and message box as it appears
// ($QOR_GTK_SHOTS, a folder). A dialog or box the scenario does not cover ends the process with
// status 3 and the reason, as with the script host.
#pragma once

#include <gtk/gtk.h>
#include <qor/ui/dialog_view.h>

#include <memory>
#include <string>
#include <string_view>

#include "hosts/script/scenario.h"

namespace qor::ui::gtk {

class GtkDialogWindow;

class GtkAutomation {
  public:
    // From the environment; nullptr when no scenario is named. A scenario that cannot be read
    // ends the process with status 3.
    static std::unique_ptr<GtkAutomation> FromEnvironment();

    // A dialog is about to show: its caption goes to the transcript.
    void DialogOpening(std::string_view caption);
    // The next line answers the dialog just shown.
    void DialogShown(GtkDialogWindow& dialog);
    // The next line answers the box on the screen; returns the button to press.
    int MessageShown(GtkWidget* box, std::string_view text, std::string_view caption,
                     MessageButtons buttons);
    // The next line answers the desktop's file chooser just shown (`caption` is what the
    // scenario names it): 1152, the file-name field as on Windows, is typed into its name;
    // returns the chooser's response to the button pressed (1 accepts, 2 cancels).
    int ChooserShown(GtkWidget* chooser, std::string_view caption);
    // A progress dialog takes a `progress` line when one is next.
    int ProgressCancelAfter();
    void Status(std::string_view text);

  private:
    const script::Entry* Take(script::EntryKind kind);
    void Log(const std::string& line);
    [[noreturn]] void Fail(const std::string& reason);
    void Shot(GtkWidget* window, std::string_view caption);
    int Resolve(GtkDialogWindow& dialog, const script::Entry& entry, const script::ControlRef& ref);

    script::Scenario scenario_;
    size_t next_ = 0;
    std::string transcript_;
    std::string shots_;
    int shotCount_ = 0;
};

}  // namespace qor::ui::gtk
