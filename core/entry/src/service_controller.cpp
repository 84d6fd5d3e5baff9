#include "service_controller.h"

#include "about_box.h"
#include "change_password_dialog.h"
#include "help.h"
#include "setup_flow.h"

namespace qor::entry {

namespace {
// The help topic of the AutoCrypt list.
constexpr int kAutoCryptHelpContext = 240;
}  // namespace

int ServiceController::Setup(QorWindow owner) {
    return dialogs::SetupQORSecure(owner);
}

int ServiceController::SetupCompleted() {
    return dialogs::SetupCompleted();
}

int ServiceController::ContinueSetup(QorWindow owner) {
    return dialogs::ContinueSetup(owner);
}

int ServiceController::ChangePassword(QorWindow owner) {
    return dialogs::RunChangePassword(owner);
}

int ServiceController::AboutBox(QorWindow owner) {
    dialogs::ShowAboutBox(owner);
    return 1;
}

int ServiceController::ShowHelp(QorWindow owner) {
    dialogs::ShowHelpFinder(owner);
    return 1;
}

int ServiceController::ShowAutoCryptHelp(QorWindow owner) {
    dialogs::ShowHelpContext(owner, kAutoCryptHelpContext);
    return 1;
}

}  // namespace qor::entry
