#!/usr/bin/env bash
# `qor open FILE`, as a double-click on an encrypted file: the kind comes from the two
# characters after the last dot (".!!" the user's own key, ".s!" or ".S!" a one-time password);
# the decrypted file's path is printed.
source "$(dirname "$0")/lib.sh"

e2e_setup_user
O=$DATA/open
mkdir -p "$O"
printf 'local letter\n' >"$E2E_ROOT/letter.txt"
printf 'shared notes\n' >"$E2E_ROOT/notes.txt"
cp "$E2E_ROOT/letter.txt" "$E2E_ROOT/notes.txt" "$O/"
run_qor encrypt 0 "$ENCRYPT_OK" encrypt "$O/letter.txt"
run_qor share 0 'dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1' \
    share-encrypt "$O/notes.txt"
expect_tree "$O" <<<$'letter(txt).!!!\nnotes(txt).s!!'

# The user's password; a relative path is taken from the current folder.
(cd "$O" && run_qor open-local 0 'dialog "Password": 1022="secret1" -> 1' open 'letter(txt).!!!')
expect_output open-local out "$O/letter.txt"
expect_transcript open-local <<<$'dialog: Password\ndialog: Decrypting'
expect_same "$O/letter.txt" "$E2E_ROOT/letter.txt"
expect_absent "$O/letter(txt).!!!"

# Any other suffix is refused before any dialog.
run_qor open-plain 1 "" open "$O/letter.txt"
expect_output open-plain err "qor: not an encrypted file: $O/letter.txt"
expect_output open-plain out ""
expect_transcript open-plain </dev/null

# A one-time password: the wrong one decrypts nothing and keeps the file, the right one does.
run_qor open-wrong 1 'dialog "Password": 1014="wrongpw1" -> 1
message "was encrypted with a different password." -> OK' open "$O/notes(txt).s!!"
expect_transcript open-wrong <<TEXT
dialog: Password
dialog: Decrypting
message: QOR Vaultis: "$O/notes(txt).s!!" was encrypted with a different password. [OK/Cancel]
TEXT
expect_output open-wrong err "qor: nothing was decrypted: $O/notes(txt).s!!"
expect_tree "$O" <<<$'letter.txt\nnotes(txt).s!!'

# Upper case S counts as well, and the file's current name does not matter.
mv "$O/notes(txt).s!!" "$O/renamed.S!!"
run_qor open-share 0 'dialog "Password": 1014="onetime1" -> 1' open "$O/renamed.S!!"
expect_output open-share out "$O/notes.txt"
expect_transcript open-share <<<$'dialog: Password\ndialog: Decrypting'
expect_same "$O/notes.txt" "$E2E_ROOT/notes.txt"
expect_tree "$O" <<<$'letter.txt\nnotes.txt'

# Only the first two characters after the last dot count: ".!!old" opens with the user's key.
rm "$O/letter.txt"
run_qor encrypt-again 0 "$ENCRYPT_OK" encrypt "$O/notes.txt"
mv "$O/notes(txt).!!!" "$O/backup.!!old"
run_qor open-prefix 0 'dialog "Password": 1022="secret1" -> 1' open "$O/backup.!!old"
expect_output open-prefix out "$O/notes.txt"
expect_same "$O/notes.txt" "$E2E_ROOT/notes.txt"
expect_tree "$O" <<<"notes.txt"

# Cancelling the password decrypts nothing.
run_qor encrypt-third 0 "$ENCRYPT_OK" encrypt "$O/notes.txt"
run_qor open-cancel 1 'dialog "Password" -> 2' open "$O/notes(txt).!!!"
expect_output open-cancel err "qor: nothing was decrypted: $O/notes(txt).!!!"
expect_tree "$O" <<<"notes(txt).!!!"
checks_end
