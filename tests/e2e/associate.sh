#!/usr/bin/env bash
# qor-associate, as a double-click starts it: an encrypted file given the right password is
# decrypted in place and its decrypted path handed to the desktop's opener (the recorder here);
# a cancelled or wrong password, a plain file or no file at all opens nothing.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/session_lib.sh"

BUILT_ASSOCIATE=${4:-}
[[ -x $BUILT_ASSOCIATE ]] || { echo "usage: bash $0 QOR QOR_INSTALL DECEXE QOR_ASSOCIATE" >&2; exit 2; }

e2e_setup_user
use_recorder
ASSOCIATE=$QOR_HOME/qor-associate
expect_same "$ASSOCIATE" "$BUILT_ASSOCIATE"
O="$DATA/open folder"
mkdir -p "$O"
printf 'local letter\n' >"$E2E_ROOT/letter.txt"
printf 'shared notes\n' >"$E2E_ROOT/notes.txt"
cp "$E2E_ROOT/letter.txt" "$E2E_ROOT/notes.txt" "$O/"
run_qor encrypt 0 "$ENCRYPT_OK" encrypt "$O/letter.txt"
run_qor share 0 'dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1' \
    share-encrypt "$O/notes.txt"
expect_tree "$O" <<<$'letter(txt).!!!\nnotes(txt).s!!'
# The password the setup and the encryption left in memory is forgotten, so that it is asked.
run_qor forget 0 "" clear-password

# Nothing is opened: the opener would have been started by the time the program ended.
expect_nothing_opened() {  # WHAT
    sleep 0.3
    expect_eq "$(recorded)" "" "opened after $1"
}

# Cancel, then a wrong password (the prompt comes back; cancelled): the file stays encrypted.
run_program cancel 0 'dialog "Password" -> 2' "$ASSOCIATE" "$O/letter(txt).!!!"
expect_transcript cancel <<<"dialog: Password"
run_program wrong 0 'dialog "Password": 1022="wrongpw1" -> 1 -> 2
message "Invalid Password." -> OK' "$ASSOCIATE" "$O/letter(txt).!!!"
expect_transcript wrong <<<$'dialog: Password\nmessage: QOR Vaultis: Invalid Password.  [OK]'
expect_nothing_opened "a cancelled or wrong password"
expect_tree "$O" <<<$'letter(txt).!!!\nnotes(txt).s!!'

# The right password: decrypted beside the encrypted file, and the decrypted path opened. The
# desktop may pass the path in pieces; the whole tail is the path.
run_program open-local 0 'dialog "Password": 1022="secret1" -> 1' "$ASSOCIATE" \
    "$DATA/open" "folder/letter(txt).!!!"
expect_transcript open-local <<<$'dialog: Password\ndialog: Decrypting'
wait_recorded "open $O/letter.txt"
expect_same "$O/letter.txt" "$E2E_ROOT/letter.txt"
expect_output open-local out ""

# A file-sharing file asks for its one-time password: Cancel opens nothing, the right one does.
rm -f -- "$SESSION_LOG"
run_program share-cancel 0 'dialog "Password" -> 2' "$ASSOCIATE" "$O/notes(txt).s!!"
expect_nothing_opened "a cancelled one-time password"
run_program share-open 0 'dialog "Password": 1014="onetime1" -> 1' "$ASSOCIATE" "$O/notes(txt).s!!"
wait_recorded "open $O/notes.txt"
expect_same "$O/notes.txt" "$E2E_ROOT/notes.txt"

# A plain file and no argument: no dialog, nothing opened, status 0. A missing encrypted file
# is found missing once the password is given; cancelled here.
rm -f -- "$SESSION_LOG"
run_program plain 0 "" "$ASSOCIATE" "$O/letter.txt"
run_program bare 0 "" "$ASSOCIATE"
run_program missing 0 'dialog "Password" -> 2' "$ASSOCIATE" "$O/gone(txt).!!!"
expect_transcript plain </dev/null
expect_nothing_opened "a plain file"
expect_tree "$O" <<<$'letter.txt\nnotes.txt'

# A path the core library would read cut short is refused whole.
LONG=$DATA/$(printf 'x%.0s' {1..250})'.!!!'
run_program long 2 "" "$ASSOCIATE" "$LONG"
expect_output long err "qor-associate: the path is longer than 259 characters: $LONG"
expect_nothing_opened "a path too long"
checks_end
