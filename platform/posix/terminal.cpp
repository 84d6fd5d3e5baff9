// The controlling terminal for the terminal dialog host. Raw mode reads single keys without
// echo (passwords are typed here) and with signals off, so that Ctrl-C reaches the dialog as a
// key and the host can restore the terminal itself; output processing stays on, so "\n" still
// starts a new line.
#include "qor/platform/terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace qor::platform {

bool Terminal::Open() {
    if (fd_ >= 0) return true;
    fd_ = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return fd_ >= 0;
}

void Terminal::Close() {
    if (fd_ >= 0) {
        if (raw_) SetRaw(false);
        close(fd_);
        fd_ = -1;
    }
    delete static_cast<termios*>(saved_);
    saved_ = nullptr;
    raw_ = false;
}

bool Terminal::Write(const std::string& text) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int Terminal::ReadKey() {
    if (fd_ < 0) return -1;
    unsigned char key = 0;
    for (;;) {
        ssize_t n = read(fd_, &key, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        break;
    }
    // Enter sends a carriage return once the terminal no longer translates it.
    return key == '\r' ? '\n' : key;
}

bool Terminal::SetRaw(bool raw) {
    if (fd_ < 0) return false;
    if (raw == raw_) return true;
    if (!raw) {
        if (tcsetattr(fd_, TCSADRAIN, static_cast<termios*>(saved_)) != 0) return false;
        raw_ = false;
        return true;
    }
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) return false;
    if (!saved_) saved_ = new termios;
    *static_cast<termios*>(saved_) = settings;
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | BRKINT | ISTRIP);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSADRAIN, &settings) != 0) return false;
    raw_ = true;
    return true;
}

}  // namespace qor::platform
