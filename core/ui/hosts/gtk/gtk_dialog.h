// One dialog on the screen: the window built from the template, and the view the model talks
// to. The view keeps every control's state (StateView) and mirrors it into the widgets; signals
// of the widgets update the state first and then reach the model.
#pragma once

#include <gtk/gtk.h>
#include <qor/ui/dialog_model.h>

#include <map>
#include <string>
#include <vector>

#include "gtk_host.h"
#include "src/state_view.h"

namespace qor::ui::gtk {

class GtkDialogWindow;

// The file chooser's buttons besides Cancel: files are added with the chooser's accept button,
// folders with a button of their own.
inline constexpr char kAddFilesLabel[] = "_Add";
inline constexpr char kAddFolderLabel[] = "Add _Folder";
inline constexpr int kAddFolderResponse = 1;

class GtkView : public StateView {
  public:
    GtkView(GtkDialogWindow& window, const DialogTemplate& dialog);

    void SetText(int id, std::string_view text) override;
    void SetStatus(int id, std::string_view text) override;
    void SetCheck(int id, bool checked) override;
    void Show(int id, bool visible) override;
    void Enable(int id, bool enabled) override;
    void Focus(int id) override;
    void SetCaption(std::string_view caption) override;
    void SetItems(int id, const std::vector<std::string>& items) override;
    void SetSelection(int id, int index) override;
    void SetItemSelected(int id, int index, bool selected) override;
    void StartTimer(int timerId, uint32_t milliseconds) override;
    void StopTimer(int timerId) override;
    void Close(int result) override;
    int ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons,
                    MessageIcon icon) override;
    void Beep() override;
    void SetCursor(CursorShape shape, int frame) override;
    void PumpMessages() override;
    bool CanChooseFiles() const override { return true; }
    std::vector<std::string> ChooseFiles(std::string_view title, std::string_view folder) override;

  private:
    GtkDialogWindow& window_;
};

class GtkDialogWindow {
  public:
    GtkDialogWindow(GtkHost& host, DialogModel& model, GtkWidget* owner);
    ~GtkDialogWindow();
    GtkDialogWindow(const GtkDialogWindow&) = delete;
    GtkDialogWindow& operator=(const GtkDialogWindow&) = delete;

    // Shows the dialog, runs it until the model closes it, and returns the result.
    int Run();

    GtkWidget* window() const { return window_; }
    GtkView& view() { return view_; }
    DialogModel& model() { return model_; }
    // The widget of the control with that id (nullptr for none). A spin's buddy, a group box
    // and a list box come as their outer widget.
    GtkWidget* Widget(int id) const;
    // As the user would: a button or a picture clicked, a field's text typed, a list item chosen.
    void Click(int id);
    void Type(int id, const std::string& text);
    void SetChecked(int id, bool checked);
    // The window's pixels as a PNG file; false when they cannot be had.
    bool SaveScreenshot(const std::string& path) const;
    // The shown controls that take more room than their template gives them (they would cover
    // their neighbours or be cut), and a window grown past its template, one line each.
    std::vector<std::string> LayoutFaults() const;

  private:
    friend class GtkView;
    struct Control {
        const ControlTemplate* control = nullptr;
        GtkWidget* widget = nullptr;  // what is placed (a frame, a scrolled window, ...)
        GtkWidget* inner = nullptr;   // what holds the text or state
    };

    void Build();
    GtkWidget* MakeWidget(const ControlTemplate& control, GtkWidget** inner);
    void Connect(size_t index);
    Control* Find(int id);
    const Control* Find(int id) const;
    void Mirror(size_t index);  // state -> widget, without reaching the model
    void Ended();

    static void OnClicked(GtkWidget* widget, gpointer data);
    static void OnToggled(GtkWidget* widget, gpointer data);
    static void OnChanged(GtkWidget* widget, gpointer data);
    static void OnComboChanged(GtkWidget* widget, gpointer data);
    static void OnSelectionChanged(GtkTreeSelection* selection, gpointer data);
    static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer data);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data);
    static gboolean OnButtonPress(GtkWidget* widget, GdkEvent* event, gpointer data);
    static gboolean OnButtonRelease(GtkWidget* widget, GdkEvent* event, gpointer data);
    static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data);
    static gboolean OnDrawPicture(GtkWidget* widget, cairo_t* cr, gpointer data);
    static gboolean OnPictureClicked(GtkWidget* widget, GdkEvent* event, gpointer data);
    static gboolean OnTimer(gpointer data);
    static gboolean OnShown(gpointer data);

    GtkHost& host_;
    DialogModel& model_;
    GtkWidget* owner_;
    GtkView view_;
    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    std::vector<Control> controls_;
    GMainLoop* loop_ = nullptr;
    guint shownSource_ = 0;  // the idle call after the dialog shows, while it is pending
    int quiet_ = 0;          // > 0 while the view mirrors a state: the widgets' signals are its own
    struct Timer {
        GtkDialogWindow* window;
        int id;
        guint source;
    };
    std::map<int, Timer*> timers_;
    std::map<std::string, GdkPixbuf*> pictures_;  // decoded once a window, by name
    double baseX_ = 6;
    double baseY_ = 13;
};

// A window's pixels as a PNG file, once what was changed is drawn; false when they cannot be had.
bool SaveWindowScreenshot(GtkWidget* window, const std::string& path);

// "&Open" as GTK spells a mnemonic: "_Open" ("&&" stays one "&", "_" doubles).
std::string Mnemonic(std::string_view text);

}  // namespace qor::ui::gtk
