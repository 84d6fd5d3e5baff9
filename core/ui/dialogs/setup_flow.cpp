#include "setup_flow.h"

#include <qor/platform/files.h>
#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>

#include "drive_dialogs.h"
#include "random_seeding_dialog.h"
#include "setup_dialog.h"
#include "welcome_dialog.h"

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr const char* kCaption = "QOR Vaultis";
constexpr const char* kStartUpProgram = "vodorura.rar";

int ReportUnsuccessful(OwnerWindow owner) {
    CurrentHost().ShowMessage(owner, "QOR Vaultis setup was unsuccessful.", kCaption,
                              MessageButtons::kOk, MessageIcon::kExclamation);
    return -1;
}

int SeedThenSetUp(OwnerWindow owner, const ListCreator& createList) {
    if (RunRandomSeeding(owner) != 0) return ReportUnsuccessful(owner);
    return RunSetup(owner, createList);
}

}  // namespace

int RunRandomSeeding(OwnerWindow owner) {
    // The pointer's position is not known outside a dialog (a terminal has none).
    profile::GatherSystemEntropy(0, 0);
    DialogHost& host = CurrentHost();
    WelcomeDialog welcome;
    host.RunModal(welcome, owner);
    RandomSeedingDialog seeding;
    host.RunModal(seeding, owner);
    // The dialog refuses to close before it completes; only a host whose input ran out ends it
    // early, and then a setup on a thinly seeded generator must not follow.
    if (!seeding.Complete()) return -1;
    host.ShowMessage(owner, "Done with random seeding.", kCaption, MessageButtons::kOk,
                     MessageIcon::kNone);
    return 0;
}

int RunSetup(OwnerWindow owner, const ListCreator& createList) {
    profile::GatherSystemEntropy(0, 0);
    DialogHost& host = CurrentHost();
    SetupDialog dialog;
    host.RunModal(dialog, owner);
    if (!dialog.done()) return ReportUnsuccessful(owner);
    const SecureBuffer password = dialog.TakePassword();
    // The backup writes the new file with the password the cache holds, so it comes before
    // the password is cleared.
    OfferDriveBackup(owner);
    if (createList) {
        createList(owner, {reinterpret_cast<const char*>(password.data()), password.size()});
    }
    profile::Cache().ClearPassword(false);
    host.ShowMessage(owner, "QOR Vaultis setup is now complete.", kCaption, MessageButtons::kOk,
                     MessageIcon::kNone);
    return 0;
}

int SetupQORSecure(OwnerWindow owner, const ListCreator& createList) {
    SeedThenSetUp(owner, createList);
    return 1;
}

int SetupCompleted() {
    return profile::Profile().IsSetUp();
}

int ContinueSetup(OwnerWindow owner, const ListCreator& createList) {
    profile::UserProfile& profile = profile::Profile();
    platform::StartProgram(profile.HomeFolder() + platform::kSeparator + kStartUpProgram);
    if (profile.IsSetUp() == 0) return 0;
    return SeedThenSetUp(owner, createList);
}

}  // namespace qor::dialogs
