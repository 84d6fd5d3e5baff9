// The terminal host's view of the real terminal, through the platform layer.
#include <qor/platform/terminal.h>

#include <chrono>
#include <string>
#include <thread>

#include "tty_io.h"

namespace qor::ui::tty {

namespace {

class PlatformTerminal : public TtyIo {
  public:
    bool Open() { return terminal_.Open(); }

    void Write(std::string_view text) override { terminal_.Write(std::string(text)); }

    int ReadKey(int timeoutMs) override {
        if (timeoutMs < 0) return terminal_.ReadKey();
        // The platform's read waits for a key without a time limit, so while a timer runs the
        // dialog gives the timer its turn first and reads keys once no timer is pending.
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return kKeyTimeout;
    }

    void SetRaw(bool raw) override { terminal_.SetRaw(raw); }

  private:
    platform::Terminal terminal_;
};

}  // namespace

std::unique_ptr<TtyIo> OpenTerminal() {
#ifdef _WIN32
    return nullptr;
#else
    auto terminal = std::make_unique<PlatformTerminal>();
    if (!terminal->Open()) return nullptr;
    return terminal;
#endif
}

}  // namespace qor::ui::tty
