// The view: everything a dialog model may do to the dialog on the screen.
//
// A model never sees a window, a terminal or a scenario; it reads and changes controls by id
// through this interface, and each host implements it (Win32 dialog, terminal prompts, script).
// Calls on an id the template does not hold are ignored (reads give "" and unchecked), as the
// Win32 calls they stand for fail quietly.
//
// Secrets: a password field's text is read with CopyText into the model's own buffer or with
// GetSecret into a SecureBuffer, and the model wipes it; GetText is for everything else.
#pragma once

#include <qor/secure_buffer.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor::ui {

// Buttons a message box offers, and the ids of the buttons pressed (IDOK, IDCANCEL, ...).
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class MessageIcon { kNone, kInformation, kExclamation, kStop, kQuestion };
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Mouse cursors by name; kAnimation takes a frame index (the progress dialogs' twelve frames).
enum class CursorShape { kArrow, kWait, kQuestion, kAnimation };

class DialogView {
  public:
    virtual ~DialogView() = default;

    // GetDlgItemText: copies at most size - 1 bytes and a terminating zero; returns the bytes
    // copied. TextLength gives the whole length.
    virtual size_t CopyText(int id, char* buffer, size_t size) const = 0;
    virtual size_t TextLength(int id) const = 0;
    virtual void SetText(int id, std::string_view text) = 0;
    // The line a progress dialog keeps current (SetText, and hosts may show it specially).
    virtual void SetStatus(int id, std::string_view text) { SetText(id, text); }

    virtual bool IsChecked(int id) const = 0;
    virtual void SetCheck(int id, bool checked) = 0;
    virtual void Show(int id, bool visible) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual void Focus(int id) = 0;
    virtual void SetCaption(std::string_view caption) = 0;

    // Drop-down lists and list boxes: the items (none selected afterwards), and the selected
    // index (-1 = none; a list box: the first selected, and SetSelection selects that one only).
    virtual void SetItems(int id, const std::vector<std::string>& items) = 0;
    virtual int Selection(int id) const = 0;
    virtual void SetSelection(int id, int index) = 0;
    // List boxes: each item's own selection.
    virtual bool IsSelected(int id, int index) const = 0;
    virtual void SetItemSelected(int id, int index, bool selected) = 0;

    // SetTimer / KillTimer: OnTimer(timerId) arrives every `milliseconds` until stopped;
    // starting a running timer again restarts it with the new period.
    virtual void StartTimer(int timerId, uint32_t milliseconds) = 0;
    virtual void StopTimer(int timerId) = 0;

    // EndDialog: the modal run ends with `result` once the current handler returns.
    virtual void Close(int result) = 0;

    // A message box modal to this dialog; returns the id of the button pressed (kIdOk ...).
    // (Not named MessageBox: <windows.h> defines that name as a macro.)
    virtual int ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons,
                            MessageIcon icon) = 0;
    virtual void Beep() = 0;
    virtual void SetCursor(CursorShape shape, int frame = 0) = 0;

    // The desktop's own file chooser, opened in `folder`, where the host has one: the full
    // paths of the files the user picked (several allowed), or none when cancelled.
    virtual bool CanChooseFiles() const { return false; }
    virtual std::vector<std::string> ChooseFiles(std::string_view /*title*/,
                                                 std::string_view /*folder*/) {
        return {};
    }
    // Handles the user's input that is already waiting, then returns: a dialog that works
    // inside one of its own handlers (a progress dialog) calls it to stay responsive, so that
    // Cancel can still reach it.
    virtual void PumpMessages() {}

    // Whole text of a control that holds no secret.
    std::string GetText(int id) const;
    // Text of a password field, in a buffer that wipes itself (no terminator).
    SecureBuffer GetSecret(int id) const;
};

}  // namespace qor::ui
