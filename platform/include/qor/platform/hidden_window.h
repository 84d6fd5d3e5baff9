// A top-level window that is never shown: the owner of the dialogs of a program that has no
// window of its own, so that they belong to it and not to the desktop. Windows only; elsewhere
// there is no window and the handle is nullptr.
#pragma once

namespace qor::platform {

class HiddenWindow {
  public:
    HiddenWindow();
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

    // The window (an HWND), or nullptr when none could be made or the platform has none.
    void* handle() const { return handle_; }

  private:
    void* handle_ = nullptr;
};

}  // namespace qor::platform
