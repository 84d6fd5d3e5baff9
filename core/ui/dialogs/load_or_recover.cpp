#include "load_or_recover.h"

#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>

#include <string>

#include "drive_dialogs.h"

namespace qor::dialogs {

using namespace ui;

int LoadOrRecover(OwnerWindow owner) {
    profile::UserProfile& profile = profile::Profile();
    if (profile.Read() == profile::kProfileOk) return 0;
    for (char letter : {'a', 'b'}) {
        const std::string folder = DriveFolder(letter);
        if (folder.empty()) continue;  // no diskette: the read fails as on an empty drive
        if (profile.Read(folder + platform::kSeparator + profile::kProfileFileName) ==
            profile::kProfileOk) {
            profile.SetHomeFolder(folder);
            return 0;
        }
    }
    for (;;) {
        DrivePromptDialog prompt(
            "The user preference file (userpref.!!!) is either corrupted or missing.  Please "
            "insert a disk containing the backup copy of your preference file.",
            "QOR Vaultis");
        CurrentHost().RunModal(prompt, owner);
        if (!prompt.confirmed()) return -1;
        const std::string folder = DriveFolder(prompt.driveLetter());
        if (folder.empty()) continue;
        // A failed attempt leaves the home folder where it was, so that nothing is written to
        // a drive the user's file could not be read from.
        const std::string previous = profile.HomeFolder();
        profile.SetHomeFolder(folder);
        if (profile.Read() == profile::kProfileOk) return 0;
        profile.SetHomeFolder(previous);
    }
}

}  // namespace qor::dialogs
