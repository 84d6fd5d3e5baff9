// Dialog models: what a dialog does, written once for every host.
//
// Life of a modal run: the host takes Template(), shows the dialog, calls OnInit, then one
// handler per user action until a handler calls view.Close(result); RunModal returns that
// result, which Result() keeps afterwards. Handlers run one at a time on the caller's thread,
// and a handler may open a message box or another modal dialog through the view or the host.
//
// What reaches which handler:
//  - OnCommand: a button pressed (Enter presses the default button, id kIdOk when there is
//    none), a check box or radio button clicked (its new state is already set), and Escape or
//    the close box as kIdCancel.
//  - OnTextChanged: an edit's text changed (once per key stroke typed into it), or a drop-down
//    list's selection changed.
//  - OnTimer: a timer started with view.StartTimer fired.
//  - OnPointerMove: the mouse moved over the dialog (screen coordinates).
//  - OnKey: every key the user presses in the dialog, whichever control has the focus, before
//    that control handles it (key code, repeat count). Synthetic key strokes of automation
//    arrive here too.
//  - OnButtonPressed / OnButtonReleased: the pointer's button went down on a push button, and
//    up again anywhere (or the press was lost to another window), for buttons that act while
//    held (a spin's arrows). The click itself still arrives as OnCommand. Hosts without a
//    pointer (terminal, script) never call them.
#pragma once

#include <qor/ui/dialog_template.h>
#include <qor/ui/dialog_view.h>

namespace qor::ui {

class DialogHost;

class DialogModel {
  public:
    virtual ~DialogModel() = default;

    virtual const DialogTemplate& Template() const = 0;

    virtual void OnInit(DialogView& view);
    // The default closes with kIdOk on kIdOk and hands kIdCancel to OnCancel; models that
    // override it pass the ids they do not handle on to this one.
    virtual void OnCommand(DialogView& view, int controlId);
    virtual void OnTextChanged(DialogView& view, int controlId);
    virtual void OnTimer(DialogView& view, int timerId);
    virtual void OnPointerMove(DialogView& view, int x, int y);
    virtual void OnKey(DialogView& view, int key, int repeatCount);
    virtual void OnButtonPressed(DialogView& view, int controlId);
    virtual void OnButtonReleased(DialogView& view);

    // Escape, Ctrl-C, the close box or Cancel: the default closes with kIdCancel when CanClose
    // allows it. A dialog that must run to completion (the random seeding) refuses here.
    virtual bool CanClose(DialogView& view);
    virtual void OnCancel(DialogView& view);

    // A progress dialog starts its own work from a timer and closes when the work is done;
    // automation does not answer it.
    virtual bool IsProgressDialog() const { return false; }

    // The result of the last modal run (0 before any).
    int Result() const { return result_; }

  private:
    friend class DialogHost;
    int result_ = 0;
};

}  // namespace qor::ui
