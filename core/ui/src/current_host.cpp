// The process's dialog host, chosen once from $QOR_UI.
#include <qor/platform/system.h>
#include <qor/ui/dialog_host.h>

#include <iostream>
#include <memory>

#include "hosts/script/script_host.h"
#include "hosts/tty/tty_host.h"
#include "hosts/tty/tty_io.h"
#include "message_box.h"
#ifdef _WIN32
#include "hosts/win32/win32_host.h"
#endif

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

constexpr char kGtkModule[] = "libqor-ui-gtk.so";

// The GTK host from its module, loaded for the life of the process (GTK cannot be unloaded);
// nullptr when the module or the display cannot be had.
DialogHost* LoadGtkHost() {
    platform::LibraryHandle module = platform::LoadLibrary(kGtkModule);
    if (module == nullptr) return nullptr;
    using Create = DialogHost* (*)();
    const auto create =
        reinterpret_cast<Create>(platform::LibrarySymbol(module, "QorUiCreateGtkHost"));
    DialogHost* host = create != nullptr ? create() : nullptr;
    if (host == nullptr) platform::FreeLibrary(module);
    return host;
}

// The process's host when it lives in the GTK module, whose code must outlive it: a thin owner
// that the process's static may delete while the module's host is left alone.
class ForwardingHost : public DialogHost {
  public:
    explicit ForwardingHost(DialogHost& host) : host_(host) {}
    int RunModal(DialogModel& model, OwnerWindow owner) override {
        return host_.RunModal(model, owner);
    }
    int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon icon) override {
        return host_.ShowMessage(owner, text, caption, buttons, icon);
    }
    void Beep() override { host_.Beep(); }
    int ProgressCancelAfter() const override { return host_.ProgressCancelAfter(); }
    int ChooseSaveFile(OwnerWindow owner, const SaveFileRequest& request,
                       std::string* chosen) override {
        return host_.ChooseSaveFile(owner, request, chosen);
    }

  private:
    DialogHost& host_;
};

bool DisplayPresent() {
    return !platform::EnvironmentVariable("DISPLAY").empty() ||
           !platform::EnvironmentVariable("WAYLAND_DISPLAY").empty();
}

std::unique_ptr<DialogHost> MakeHost() {
    std::string setting = platform::EnvironmentVariable("QOR_UI");
    std::unique_ptr<tty::TtyIo> terminal;
    const bool display = !kWindows && DisplayPresent();
    if (!kWindows && (setting.empty() || setting == "tty" || setting == "gtk"))
        terminal = tty::OpenTerminal();
    HostChoice choice = ChooseHost(setting, kWindows, terminal != nullptr, display);
    if (!choice.warning.empty()) std::cerr << choice.warning << std::endl;
    if (choice.kind == HostKind::kGtk) {
        if (DialogHost* gtk = LoadGtkHost()) return std::make_unique<ForwardingHost>(*gtk);
        if (choice.asked) std::cerr << "QOR_UI=gtk: cannot load " << kGtkModule << std::endl;
        choice.kind = choice.fallback;
    }
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
#ifdef _WIN32
            return std::make_unique<win32::Win32Host>();
#endif
        case HostKind::kGtk:
        case HostKind::kNone:
            break;
    }
    return std::make_unique<NoUserHost>();
}

DialogHost* testHost = nullptr;
DialogHost* adoptedHost = nullptr;

}  // namespace

HostChoice ChooseHost(std::string_view qorUi, bool windows, bool terminalPresent,
                      bool displayPresent) {
    HostChoice choice;
    HostKind fallback =
        windows ? HostKind::kWin32 : (terminalPresent ? HostKind::kTty : HostKind::kNone);
    choice.kind = fallback;
    choice.fallback = fallback;
    if (!windows && displayPresent && (qorUi.empty() || qorUi == "gtk")) {
        choice.kind = HostKind::kGtk;
        choice.asked = !qorUi.empty();
        return choice;
    }
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
    } else if (qorUi == "gtk") {
        choice.warning = windows ? "QOR_UI=gtk: there is no GTK host on Windows"
                                 : "QOR_UI=gtk: there is no display";
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
