// The terminal as the terminal host sees it: write text, read one key, switch raw mode. Tests
// put a scripted keyboard and a screen buffer behind it.
#pragma once

#include <memory>
#include <string_view>

namespace qor::ui::tty {

// Keys as the terminal delivers them.
inline constexpr int kKeyEnd = -1;      // no more input
inline constexpr int kKeyTimeout = -2;  // nothing arrived within the time asked for
inline constexpr int kKeyCtrlC = 0x03;
inline constexpr int kKeyBackspace = 0x08;
inline constexpr int kKeyTab = '\t';
inline constexpr int kKeyEnter = '\n';
inline constexpr int kKeyReturn = '\r';
inline constexpr int kKeyEscape = 0x1b;
inline constexpr int kKeyDelete = 0x7f;

class TtyIo {
  public:
    virtual ~TtyIo() = default;
    virtual void Write(std::string_view text) = 0;
    // One key; waits at most `timeoutMs` (for ever when negative), then kKeyTimeout.
    virtual int ReadKey(int timeoutMs) = 0;
    // Raw mode: keys arrive one by one, unechoed, Ctrl-C as a key.
    virtual void SetRaw(bool raw) = 0;
};

// The process's controlling terminal; nullptr when it has none (and on Windows).
std::unique_ptr<TtyIo> OpenTerminal();

}  // namespace qor::ui::tty
