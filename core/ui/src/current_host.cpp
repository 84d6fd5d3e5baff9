// The process's dialog host, chosen once from $QOR_UI.
#include <qor/platform/system.h>
#include <qor/ui/dialog_host.h>

#include <iostream>
#include <memory>

#include "hosts/script/script_host.h"
#include "hosts/tty/tty_host.h"
#include "hosts/tty/tty_io.h"
#include "hosts/win32/win32_host.h"
#include "message_box.h"

namespace qor::ui {

namespace {

// Without a terminal or a scenario nobody can answer: each dialog and message box is
// reported on stderr and ends as cancelled.
class NoUserHost : public DialogHost {
  public:
    int RunModal(DialogModel& model, OwnerWindow) override {
        std::cerr << "no terminal to show the dialog: " << model.Template().caption << std::endl;
        RecordResult(model, kIdCancel);
        return kIdCancel;
    }
    int ShowMessage(OwnerWindow, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon) override {
        std::cerr << "no terminal to show the message: " << caption << ": " << text << std::endl;
        return DismissResult(buttons);
    }
    void Beep() override {}
};

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

std::unique_ptr<DialogHost> MakeHost() {
    std::string setting = platform::EnvironmentVariable("QOR_UI");
    std::unique_ptr<tty::TtyIo> terminal;
    if (!kWindows && (setting.empty() || setting == "tty")) terminal = tty::OpenTerminal();
    HostChoice choice = ChooseHost(setting, kWindows, terminal != nullptr);
    if (!choice.warning.empty()) std::cerr << choice.warning << std::endl;
    switch (choice.kind) {
        case HostKind::kScript: {
            std::string error;
            std::unique_ptr<script::ScriptHost> host =
                script::ScriptHost::FromFile(choice.scenarioPath, &error);
            if (host == nullptr) {
                std::cerr << error << std::endl;
                std::exit(script::kScriptFailureExit);
            }
            std::string log = platform::EnvironmentVariable("QOR_UI_LOG");
            if (!log.empty()) host->SetTranscript(script::AppendToFile(log));
            return host;
        }
        case HostKind::kTty:
            return std::make_unique<tty::TtyHost>(std::move(terminal));
        case HostKind::kWin32:
            return std::make_unique<win32::Win32Host>();
        case HostKind::kNone:
            break;
    }
    return std::make_unique<NoUserHost>();
}

DialogHost* testHost = nullptr;
DialogHost* adoptedHost = nullptr;

}  // namespace

HostChoice ChooseHost(std::string_view qorUi, bool windows, bool terminalPresent) {
    HostChoice choice;
    HostKind fallback =
        windows ? HostKind::kWin32 : (terminalPresent ? HostKind::kTty : HostKind::kNone);
    choice.kind = fallback;
    constexpr std::string_view kScriptPrefix = "script:";
    if (qorUi.substr(0, kScriptPrefix.size()) == kScriptPrefix) {
        choice.scenarioPath = std::string(qorUi.substr(kScriptPrefix.size()));
        if (!choice.scenarioPath.empty())
            choice.kind = HostKind::kScript;
        else
            choice.warning = "QOR_UI=script: names no scenario file";
    } else if (qorUi == "tty") {
        if (windows)
            choice.warning = "QOR_UI=tty: there is no terminal host on Windows";
        else if (!terminalPresent)
            choice.warning = "QOR_UI=tty: this process has no terminal";
    } else if (qorUi == "win32") {
        if (!windows) choice.warning = "QOR_UI=win32: Windows dialogs exist on Windows only";
    } else if (!qorUi.empty()) {
        choice.warning = "QOR_UI=" + std::string(qorUi) + ": unknown dialog host";
    }
    return choice;
}

DialogHost& CurrentHost() {
    if (testHost != nullptr) return *testHost;
    if (adoptedHost != nullptr) return *adoptedHost;
    // Created on first use and kept for the life of the process.
    static std::unique_ptr<DialogHost> host = MakeHost();
    return *host;
}

void SetHostForTesting(DialogHost* host) {
    testHost = host;
}

void AdoptHost(DialogHost* host) {
    adoptedHost = host;
}

}  // namespace qor::ui
