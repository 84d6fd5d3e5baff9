// One dialog on the screen: the window the dialog manager built from the template, and the view
// the model talks to. The view keeps every control's state (StateView) and mirrors it into the
// controls; notifications of the controls update the state first and then reach the model.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <qor/ui/dialog_model.h>

#include <string>

#include "src/state_view.h"

namespace qor::ui::win32 {

class Win32Dialog;

class Win32View : public StateView {
  public:
    Win32View(Win32Dialog& dialog, const DialogTemplate& form);

    void SetText(int id, std::string_view text) override;
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

    // The dialog's window (the open dialog's child, when the model is shown inside one).
    HWND window() const;

  private:
    Win32Dialog& dialog_;
};

class Win32Dialog {
  public:
    Win32Dialog(DialogModel& model, HWND owner);
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    // Shows the dialog, runs it until the model closes it, and returns the result; -1 when the
    // dialog could not be made.
    INT_PTR Run();

    // Shows the platform's Explorer-style open dialog (title `title`, several items may be
    // selected) with the model's template as its child dialog, and runs it until the model closes
    // it; returns the model's result, kIdCancel when the open dialog ended otherwise (Escape, its
    // close box), -1 when it could not be shown. The open dialog's own OK (Enter in its name
    // field) reaches the model as kIdOk and never ends it: the model says what its selection does.
    INT_PTR RunInOpenDialog(std::string_view title);

    HWND window() const { return window_; }

  private:
    friend class Win32View;

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MessageFilter(int code, WPARAM wParam, LPARAM lParam);
    static UINT_PTR CALLBACK OpenDialogHook(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    void Enter();  // this dialog becomes the thread's innermost
    void Leave();
    // The top-level window: the dialog itself, or the open dialog around it.
    HWND Root() const;

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Init();
    void OnCommand(int id, int notification, HWND control);
    // Keys, pointer motion and button presses on their way to the dialog or its controls.
    void Observe(const MSG& message);
    void Mirror(size_t index);  // state -> control, without reaching the model
    void ReadText(ControlState& state);
    void SetImage(const ControlTemplate& control, HWND handle);
    static void DrawArrow(const DRAWITEMSTRUCT& item, bool up);
    static void DrawBar(const DRAWITEMSTRUCT& item, int value);
    void WipePasswordFields();
    HWND Control(int id) const;

    DialogModel& model_;
    HWND owner_;
    Win32View view_;
    HWND window_ = nullptr;
    Win32Dialog* outer_ = nullptr;  // the dialog this one was opened from, on the same thread
    HHOOK filter_ = nullptr;
    int quiet_ = 0;             // > 0 while the view mirrors a state: the notifications are its own
    HCURSOR cursor_ = nullptr;  // shown over the dialog instead of the class's, when set
    bool pressed_ = false;      // a push button is held down
    bool child_ = false;        // the open dialog's child: the open dialog is what ends
    bool attached_ = false;     // the open dialog made the child
};

}  // namespace qor::ui::win32
