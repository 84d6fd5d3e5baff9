// The profile's load with its fall-back to the backup diskette, run at the start of every
// operation that needs the user's profile.
#pragma once

#include <qor/ui/dialog_host.h>

namespace qor::dialogs {

// Reads the profile from the home folder, else from drive A, else from drive B (moving the
// home folder there for the rest of the process); else asks for the backup diskette with the
// drive prompt until a readable copy is found or the user cancels. 0 when a sound file is
// loaded, -1 when the user gave up.
int LoadOrRecover(ui::OwnerWindow owner);

}  // namespace qor::dialogs
