#include "shutdown_dialog.h"

#include <utility>

namespace qor::shutdown {

using namespace ui;

ShutdownDialog::ShutdownDialog(bool networkPresent, std::function<void()> encrypt,
                               std::function<void(DialogView&)> help)
    : networkPresent_(networkPresent), encrypt_(std::move(encrypt)), help_(std::move(help)) {
    template_.caption = "Encrypt and Shutdown";
    template_.rect = {0, 0, 222, 118};
    template_.style = kStyleCentered | kStyleModalFrame | kStyleSystemMenu;
    template_.controls = {
        Icon(kProgramIcon, "128", {10, 10, 20, 20}),
        Static("Are you sure you want to encrypt files and ", {40, 10, 172, 10}),
        RadioButton(kShutDown, "&Shut down the computer?", {40, 24, 172, 10}, true),
        RadioButton(kRestart, "&Restart the computer?", {40, 37, 172, 10}, false),
        RadioButton(kRestartMsDos, "Restart the computer in &MS-DOS mode?", {40, 50, 172, 10},
                    false),
        RadioButton(kLogOff, "&Close all programs and log on as a different user?",
                    {40, 63, 172, 10}, false),
        DefPushButton(kIdOk, "&Yes", {20, 94, 50, 14}),
        PushButton(kIdCancel, "&No", {86, 94, 50, 14}),
        PushButton(kHelp, "Help", {152, 94, 50, 14}),
    };
}

void ShutdownDialog::OnInit(DialogView& view) {
    if (!networkPresent_) {
        view.Show(kLogOff, false);
        view.Enable(kLogOff, false);
    }
    view.SetCheck(kShutDown, true);
}

void ShutdownDialog::OnCommand(DialogView& view, int controlId) {
    switch (controlId) {
        case kIdOk:
            for (int id : {kShutDown, kRestart, kRestartMsDos, kLogOff}) {
                if (view.IsChecked(id)) {
                    choice_ = id;
                    break;
                }
            }
            encrypt_();
            view.Close(kIdOk);
            return;
        case kHelp:
            help_(view);
            return;
        case kShutDown:
        case kRestart:
        case kRestartMsDos:
        case kLogOff:
            return;  // the radio button has changed already
        default:
            DialogModel::OnCommand(view, controlId);
    }
}

platform::SessionEnd SessionEndFor(int choice) {
    switch (choice) {
        case ShutdownDialog::kShutDown:
            return platform::SessionEnd::kShutdown;
        case ShutdownDialog::kLogOff:
            return platform::SessionEnd::kLogoff;
        default:
            return platform::SessionEnd::kReboot;
    }
}

}  // namespace qor::shutdown
