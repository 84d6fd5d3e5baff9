// First-time setup: the random seeding, the setup dialog and what follows it, and the three
// entry points that run them. Each shows its dialogs and messages through the process's
// dialog host and returns the result the caller hands on.
#pragma once

#include <qor/ui/dialog_host.h>

#include <functional>
#include <string_view>

namespace qor::dialogs {

// What the setup does last with the password just accepted: create the user's AutoCrypt list.
// The list sits above the dialogs, so the caller hands its creator in; without one no list is
// created.
using ListCreator = std::function<void(ui::OwnerWindow owner, std::string_view password)>;

// Gathers the system's entropy, shows the welcome dialog and then "Random Seeding" until the
// user has provided enough events, and says "Done with random seeding.". 0, or -1 when the
// host ended the seeding before it completed (its input ran out).
int RunRandomSeeding(ui::OwnerWindow owner);

// Gathers the system's entropy and shows the setup dialog. Cancelled (or the key could not be
// made): "QOR Vaultis setup was unsuccessful." and -1. Otherwise offers the diskette backup,
// creates the AutoCrypt list with the new password, clears the password unless it is kept and
// says "QOR Vaultis setup is now complete."; 0.
int RunSetup(ui::OwnerWindow owner, const ListCreator& createList = {});

// The random seeding, then the setup; always 1 (the outcome was shown to the user). A seeding
// that did not complete ends the setup as unsuccessful.
int SetupQORSecure(ui::OwnerWindow owner, const ListCreator& createList = {});
// 0 when the user is set up or there is no preference file; -1 when it cannot be read or holds
// no wrapped key.
int SetupCompleted();
// Starts the AutoCrypt start-up program "vodorura.rar" in the home folder (whether it starts
// does not matter), then completes the setup when the user is not set up: 0 when nothing was
// needed or the setup completed, -1 when it was unsuccessful.
int ContinueSetup(ui::OwnerWindow owner, const ListCreator& createList = {});

}  // namespace qor::dialogs
