// Drives real Windows dialogs from outside, as a user would: from another thread or another
// process of the same desktop, by the messages a person's typing and clicks produce. Each dialog
// and message box can be photographed into a PNG file.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qor::test::win32 {

// Whether windows can be made here at all (Wine needs a display for them).
bool DesktopPresent();

// Runs a user's steps on a thread of their own beside the dialog the test opens.
class UserThread {
  public:
    explicit UserThread(std::function<void()> steps) : thread_(std::move(steps)) {}
    ~UserThread() { thread_.join(); }
    UserThread(const UserThread&) = delete;
    UserThread& operator=(const UserThread&) = delete;

  private:
    std::thread thread_;
};

// The first shown dialog or message box whose caption is `caption` (any, when empty), other
// than `except`, waiting up to `milliseconds` for one to appear; nullptr when none does.
HWND WaitForDialog(const std::string& caption, DWORD milliseconds = 15000, HWND except = nullptr);
// Waits until the window is gone; false when it is still there after `milliseconds`.
bool WaitUntilClosed(HWND window, DWORD milliseconds = 15000);

// The control with that id anywhere inside the dialog: a dialog shown as the child of another
// (inside the open dialog) keeps its controls one level down.
HWND Control(HWND dialog, int id);

std::string Caption(HWND window);
std::string Text(HWND dialog, int id);
// A message box's text (the static that holds it).
std::string MessageText(HWND box);
bool IsVisible(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);

// Sets a field's text (the control tells the dialog it changed, as typing does).
void Type(HWND dialog, int id, const std::string& text);
// Clicks a button, check box or radio button; posted, so that a dialog or box the click opens
// does not hold the driver.
void Click(HWND dialog, int id);
// Presses a key in the dialog (Escape, Return, ...).
void PressKey(HWND dialog, WORD key);

// The window as it is on the screen, into a PNG file; false when it cannot be had.
bool SaveScreenshot(HWND window, const std::string& path);

// Controls whose text needs more room than they have, or that lie partly outside the dialog,
// or that cover another shown control; one line each.
std::vector<std::string> LayoutFaults(HWND dialog);

}  // namespace qor::test::win32
