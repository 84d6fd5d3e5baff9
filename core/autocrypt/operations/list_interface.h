// The AutoCrypt list as the calling programs see it: read entry by entry (with the check of
// entries that can no longer be found), written whole with the two AutoCrypt settings, created
// empty at the end of setup. Each operation makes sure of the preference file and the password
// first and reports its failures to the user, as the exports built on it do.
#pragma once

#include <qor/profile/password_hand_over.h>
#include <qor/ui/dialog_host.h>

#include <string>
#include <string_view>
#include <vector>

namespace qor::autocrypt {

// The callers' buffers for one entry hold this many characters, terminator included; a longer
// entry is handed over as an empty one (nothing to show), never cut into another path.
inline constexpr size_t kEntryBufferSize = 260;

// Opens the list for reading as the process's current list and puts its first entry into
// `buffer` (kEntryBufferSize characters). 0: an entry (possibly empty) is in the buffer, or the
// list could not be opened (said to the user; the next AutoCryptGetNext ends it); -1: the
// preference file or the password was not had, or the list is empty. The password is copied into
// the hand-over's password field for the caller's later UpdateAutocryptList.
int AutoCryptGetFirst(ui::OwnerWindow owner, char* buffer, PasswordHandOver* handOver);
// The current list's next entry: 0 with it in `buffer` (empty when it was removed), or -1 at the
// end, after the list was closed and encrypted again.
int AutoCryptGetNext(ui::OwnerWindow owner, char* buffer);
// Writes the list anew from `entries` and sets the start-up and shut-down settings (1 exactly
// means on). The hand-over's password is taken without asking.
void UpdateAutocryptList(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                         int startUp, int shutDown, PasswordHandOver* handOver);
// The settings as the preference file holds them: 1 on, 0 off (or no readable file).
int GetStartUpFlag();
int GetShutDownFlag();
// The list created under `password` from `entries` (empty at setup), replacing any old one.
void CreateAutoCryptList(ui::OwnerWindow owner, const std::vector<std::string>& entries,
                         std::string_view password);
// Closes the process's current list, if one is still open (the library's unloading).
void CloseCurrentList();

// The plaintext size the encrypted list records, without decrypting it: -1 when autocryp.!!!
// cannot be opened, -2 when its trailer is damaged; 0 for an empty list.
int ProbeListSize();

}  // namespace qor::autocrypt
