// The profile's own messages to the user, shown through the dialog host.
#pragma once

namespace qor::profile {

// "Could not open QOR Vaultis user preference file" (caption "QOR Vaultis", exclamation, OK).
void ReportCannotOpenProfile();

}  // namespace qor::profile
