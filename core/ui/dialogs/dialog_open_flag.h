// The library's dialog-open flag: 1 while no dialog of an encryption, a decryption, the change
// of password or the about box is on the screen. The about box does nothing while it is 0, so
// that it never opens over (or under) one of those modal dialogs.
#pragma once

namespace qor::dialogs {

// True when the library is loaded and while none of those dialogs is open.
bool DialogOpenFlag();
void SetDialogOpenFlag(bool open);

}  // namespace qor::dialogs
