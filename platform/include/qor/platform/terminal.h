// The controlling terminal, for the terminal dialog host (Linux; on Windows it is absent).
#pragma once

#include <string>

namespace qor::platform {

class Terminal {
  public:
    // Opens /dev/tty; false when the process has no terminal.
    bool Open();
    void Close();
    ~Terminal() { Close(); }
    bool IsOpen() const { return fd_ >= 0; }

    bool Write(const std::string& text);
    // One key: a printable byte, '\n' for Enter, 0x1b for Esc, 0x03 for Ctrl-C, 0x7f or 0x08 for
    // backspace; -1 on end of input or error.
    int ReadKey();
    // Raw mode: no line buffering, no echo, signals off (Ctrl-C arrives as a key).
    bool SetRaw(bool raw);

  private:
    int fd_ = -1;
    bool raw_ = false;
    void* saved_ = nullptr;  // the terminal's settings before SetRaw
};

}  // namespace qor::platform
