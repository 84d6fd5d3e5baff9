// The host for real dialogs on a Linux desktop, with GTK 3. Built as a module of its own
// (libqor-ui-gtk.so) that the framework loads at run time when a display is present, so that the
// core and its programs run where GTK is absent.
//
// Each template becomes a window whose controls sit where the template puts them: dialog units
// become pixels through the font's average character size, as Windows maps them. Control states
// live in the view the model talks to (StateView); the widgets mirror them, and what the user
// does reaches the model as it would on Windows (a click as OnCommand, typing as OnTextChanged,
// keys and pointer motion as OnKey and OnPointerMove). A modal run is a nested main loop.
#pragma once

#include <qor/ui/dialog_host.h>

#include <functional>
#include <memory>

typedef struct _GtkWidget GtkWidget;

namespace qor::ui::gtk {

class GtkAutomation;
class GtkDialogWindow;

class GtkHost : public DialogHost {
  public:
    GtkHost();
    ~GtkHost() override;

    int RunModal(DialogModel& model, OwnerWindow owner = nullptr) override;
    int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon icon) override;
    void Beep() override;
    int ProgressCancelAfter() const override;
    int ChooseSaveFile(OwnerWindow owner, const SaveFileRequest& request,
                       std::string* chosen) override;

    // The scenario that drives the dialogs in end-to-end tests ($QOR_GTK_SCENARIO), or nullptr.
    GtkAutomation* automation() const { return automation_.get(); }

    // Tests drive the shown dialogs and message boxes through GTK's own calls: the hook runs
    // once each is on the screen, from the main loop.
    using DialogHook = std::function<void(GtkDialogWindow& dialog)>;
    using MessageHook = std::function<void(GtkWidget* box, int defaultButton)>;
    void SetDialogHookForTesting(DialogHook hook) { dialogHook_ = std::move(hook); }
    void SetMessageHookForTesting(MessageHook hook) { messageHook_ = std::move(hook); }

    const DialogHook& dialogHook() const { return dialogHook_; }
    const MessageHook& messageHook() const { return messageHook_; }
    // The window of the innermost modal run, which owns the message boxes and nested dialogs.
    GtkWidget* top() const { return top_; }
    void SetTop(GtkWidget* top) { top_ = top; }

  private:
    DialogHook dialogHook_;
    MessageHook messageHook_;
    GtkWidget* top_ = nullptr;
    std::unique_ptr<GtkAutomation> automation_;
};

}  // namespace qor::ui::gtk
