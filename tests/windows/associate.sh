#!/usr/bin/env bash
# associat.exe under Wine, as a double-click starts it: the shell opens the encrypted file through
# the association the install made, associat.exe decrypts it with the right password and the
# shell opens the decrypted file in its own type's program (a test type whose program is the
# recorder). A cancelled or wrong password, a plain file or no file at all opens nothing; a path
# the core would read cut short is refused.
source "$(dirname "$0")/wine_lib.sh"

install_product
setup_user
ASSOCIATE=$HOME_DIR/associat.exe
expect_same "$ASSOCIATE" "$BIN/associat.exe"
# The decrypted files' type: its open command is the recorder.
TYPE_KEYS=('HKCR\.qortest' 'HKCR\QorTest.File')
reg_set 'HKCR\.qortest' "" QorTest.File
reg_set 'HKCR\QorTest.File\shell\open\command' "" "$(recorder_command open) \"%1\""

O="$ROOT/open folder"
mkdir -p "$O"
printf 'local letter\n' >"$ROOT/letter.qortest"
printf 'shared notes\n' >"$ROOT/notes.qortest"
cp -- "$ROOT/letter.qortest" "$ROOT/notes.qortest" "$O/"
run_program encrypt 0 'dialog "Encrypt": 1022="secret1" -> 1' "$HOME_DIR/qor.exe" encrypt \
    "$(winpath "$O/letter.qortest")"
run_program share 0 'dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1' \
    "$HOME_DIR/qor.exe" share-encrypt "$(winpath "$O/notes.qortest")"
SECRETS+=(onetime1 wrongpw1)
LETTER="$O/letter(qortest).!!!"
NOTES="$O/notes(qortest).s!!"
expect_file "$LETTER"
expect_file "$NOTES"

wait_recorded() {  # EXPECTED: the opener is not waited for
    local k
    for ((k = 0; k < 50; k++)); do
        [[ $(recorded) == "$1" ]] && break
        sleep 0.1
    done
    expect_eq "$(recorded)" "$1" "opened files"
}

# Cancel, then a wrong password (the prompt comes back; cancelled): the file stays encrypted.
run_program cancel 0 'dialog "Password" -> 2' "$ASSOCIATE" "$(winpath "$LETTER")"
expect_transcript cancel <<<"dialog: Password"
run_program wrong 0 'dialog "Password": 1022="wrongpw1" -> 1 -> 2
message "Invalid Password." -> OK' "$ASSOCIATE" "$(winpath "$LETTER")"
expect_transcript wrong <<<$'dialog: Password\nmessage: QOR Vaultis: Invalid Password.  [OK]'
sleep 0.5
expect_eq "$(recorded)" "" "opened after a cancelled or wrong password"
expect_file "$LETTER"

# The double-click with the right password: decrypted beside the encrypted file, and the
# decrypted file opened by its own type's program.
printf '%s\n' 'dialog "Password": 1022="secret1" -> 1' >"$ROOT/open.scenario"
rm -f -- "$SESSION_LOG"
QOR_UI="script:$(winpath "$ROOT/open.scenario")" QOR_UI_LOG="$(winpath "$ROOT/open.log")" \
    wine_run cmd /c start /wait "" "$(winpath "$LETTER")" >"$ROOT/open.out" 2>&1
wait_recorded "open $(winpath "$O/letter.qortest")"
expect_eq "$(tr -d '\r' <"$ROOT/open.log" | grep -v '^status: ')" \
    $'dialog: Password\ndialog: Decrypting' "the double-click's dialogs"
expect_same "$O/letter.qortest" "$ROOT/letter.qortest"
expect_absent "$LETTER"

# A file-sharing file asks for its one-time password: Cancel opens nothing, the right one does.
rm -f -- "$SESSION_LOG"
run_program share-cancel 0 'dialog "Password" -> 2' "$ASSOCIATE" "$(winpath "$NOTES")"
sleep 0.5
expect_eq "$(recorded)" "" "opened after a cancelled one-time password"
run_program share-open 0 'dialog "Password": 1014="onetime1" -> 1' "$ASSOCIATE" "$(winpath "$NOTES")"
wait_recorded "open $(winpath "$O/notes.qortest")"
expect_same "$O/notes.qortest" "$ROOT/notes.qortest"

# A plain file and no argument: no dialog, nothing opened, status 0.
rm -f -- "$SESSION_LOG"
run_program plain 0 "" "$ASSOCIATE" "$(winpath "$O/letter.qortest")"
run_program bare 0 "" "$ASSOCIATE"
expect_transcript plain </dev/null
sleep 0.5
expect_eq "$(recorded)" "" "opened after a plain file"

# A path the core library would read cut short is refused whole.
LONG="Z:\\$(printf 'x%.0s' {1..255}).!!!"
run_program long 2 "" "$ASSOCIATE" "$LONG"
expect_output long err "qor-associate: the path is longer than 259 characters: $LONG"

for key in "${TYPE_KEYS[@]}"; do reg_delete_key "$key"; done
checks_end
