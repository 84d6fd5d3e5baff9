// The session's end on Linux: a command per way of ending, and the signals that end it.
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "qor/platform/session.h"
#include "qor/platform/system.h"
#include "shell_command.h"

namespace qor::platform {

namespace {

sigset_t EndSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGINT);
    return set;
}

uint64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace

bool EndSession(SessionEnd how) {
    std::string command;
    switch (how) {
        case SessionEnd::kShutdown:
            command = posix::ConfiguredCommand("Shutdown", "systemctl poweroff");
            break;
        case SessionEnd::kReboot:
            command = posix::ConfiguredCommand("Reboot", "systemctl reboot");
            break;
        case SessionEnd::kLogoff:
            command = posix::ConfiguredCommand(
                "Logoff", EnvironmentVariable("XDG_SESSION_ID").empty()
                              ? "loginctl terminate-session"
                              : "loginctl terminate-session \"$XDG_SESSION_ID\"");
            break;
    }
    return posix::RunShellCommand(command, {}, true) == 0;
}

struct SessionWatch::State {
    sigset_t held;
    uint64_t periodMs = 1;
};

SessionWatch::SessionWatch(int, uint32_t periodMs) : state_(std::make_unique<State>()) {
    state_->periodMs = periodMs == 0 ? 1 : periodMs;
    state_->held = EndSignals();
    pthread_sigmask(SIG_BLOCK, &state_->held, nullptr);
}

SessionWatch::~SessionWatch() = default;

void* SessionWatch::window() const {
    return nullptr;
}

void SessionWatch::Wait(const std::function<bool()>& tick) {
    const uint64_t period = state_->periodMs;
    // Ticks keep to their schedule however long one takes; missed ones are not made up.
    uint64_t due = NowMs() + period;
    for (;;) {
        const uint64_t now = NowMs();
        if (now >= due) {
            if (!tick()) return;
            due += period;
            const uint64_t after = NowMs();
            if (due <= after) due = after + period;
            continue;
        }
        const uint64_t wait = due - now;
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(wait / 1000);
        timeout.tv_nsec = static_cast<long>((wait % 1000) * 1000000);
        const int signal = sigtimedwait(&state_->held, nullptr, &timeout);
        if (signal > 0) return;
        // EAGAIN: the period is over; EINTR: another signal came in between.
    }
}

}  // namespace qor::platform
