#include "service_controller.h"

#include "about_box.h"
#include "change_password_dialog.h"
#include "help.h"
#include "list_interface.h"
#include "setup_flow.h"

namespace qor::entry {

namespace {
// The help topic of the AutoCrypt list.
constexpr int kAutoCryptHelpContext = 240;

// The end of every setup: the user's list, empty, under the new password.
void CreateEmptyList(QorWindow owner, std::string_view password) {
    autocrypt::CreateAutoCryptList(owner, {}, password);
}
}  // namespace

int ServiceController::Setup(QorWindow owner) {
    return dialogs::SetupQORSecure(owner, CreateEmptyList);
}

int ServiceController::SetupCompleted() {
    return dialogs::SetupCompleted();
}

int ServiceController::ContinueSetup(QorWindow owner) {
    return dialogs::ContinueSetup(owner, CreateEmptyList);
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
