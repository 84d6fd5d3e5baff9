#!/usr/bin/env bash
# File sharing under a one-time password: ".s!!" files decrypted with a wrong and then the right
# password, the password rules of the dialog, and self-extracting programs that the recipient
# runs with nothing but the password.
source "$(dirname "$0")/lib.sh"

e2e_setup_user
S=$DATA/share
mkdir -p "$S"
head -c 100000 /dev/urandom >"$E2E_ROOT/data.dat"
cp "$E2E_ROOT/data.dat" "$S/data.dat"

SHARE_OK='dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1049=1 -> 1'
run_qor encrypt 0 "$SHARE_OK" share-encrypt "$S/data.dat"
expect_transcript encrypt <<<$'dialog: File Sharing - Encryption\ndialog: Encrypting'
expect_tree "$S" <<<"data(dat).s!!"
# The 75-byte file-sharing trailer ends in its own length, 4B 00.
expect_eq "$(tail -c 2 "$S/data(dat).s!!" | od -An -tx1 | tr -d ' ')" "4b00" "trailer end"

# A wrong password: one message, nothing written, the encrypted file kept.
run_qor wrong 0 'dialog "File Sharing - Decryption": 1022="wrongpw1" 1049=1 -> 1
message "was encrypted with a different password." -> OK' share-decrypt "$S/data(dat).s!!"
expect_transcript wrong <<TEXT
dialog: File Sharing - Decryption
dialog: Decrypting
message: QOR Vaultis: "$S/data(dat).s!!" was encrypted with a different password. [OK/Cancel]
TEXT
expect_tree "$S" <<<"data(dat).s!!"

run_qor right 0 'dialog "File Sharing - Decryption": 1022="onetime1" 1049=1 -> 1' share-decrypt "$S"
expect_transcript right <<<$'dialog: File Sharing - Decryption\ndialog: Decrypting'
expect_same "$S/data.dat" "$E2E_ROOT/data.dat"
expect_tree "$S" <<<"data.dat"

# The dialog's rules: at least 6 characters, both fields alike, a self-extracting program from
# one file only (the box is unchecked again and the files are shared as ".s!!").
printf 'one\n' >"$S/one.txt"
printf 'two\n' >"$S/two.txt"
run_qor rules 0 'dialog "File Sharing - Encryption": 1044="short" 1045="short" -> 1 1044="onetime1" 1045="onetime2" -> 1 1044="onetime1" 1045="onetime1" 1046=1 -> 1
message "at least 6 characters" -> OK
message "do not match" -> OK
message "More than one file" -> OK' share-encrypt "$S/one.txt" "$S/two.txt"
expect_transcript rules <<'TEXT'
dialog: File Sharing - Encryption
message: QOR_Secure: The password must be at least 6 characters long. [OK]
message: QOR : Passwords do not match, please re-enter. [OK]
message: QOR Vaultis: More than one file is selected.  Self extracting files can only be created from one file at a time. [OK]
dialog: Encrypting
TEXT
expect_file "$S/one(txt).s!!"
expect_file "$S/two(txt).s!!"
run_qor folder 0 'dialog "File Sharing - Encryption": 1046=1 -> 2
message "with a directory" -> OK' share-encrypt "$S"
expect_transcript folder <<'TEXT'
dialog: File Sharing - Encryption
message: QOR Vaultis: Self extracting files cannot be created with a directory. [OK]
TEXT

# A self-extracting program: the stub, then the envelope and the trailer. The source stays.
SELF_EXTRACTING='dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1046=1 -> 1'
run_qor self 0 "$SELF_EXTRACTING" share-encrypt "$S/data.dat"
expect_transcript self <<<$'dialog: File Sharing - Encryption\ndialog: Encrypting'
expect_same "$S/data.dat" "$E2E_ROOT/data.dat"
expect_file "$S/data.exe"
cmp -s -n "$(stat -c %s "$BUILT_DECEXE")" "$S/data.exe" "$BUILT_DECEXE" ||
    fail "data.exe does not begin with the stub"
expect_eq "$(tail -c 2 "$S/data.exe" | od -An -tx1 | tr -d ' ')" "4b00" "trailer end"
# Whoever may read the program may run it; the source's other permission bits carry over.
expect_eq "$(stat -c %a "$S/data.exe")" "$(stat -c %a "$S/data.dat" | sed 's/4/5/g; s/6/7/g')" \
    "the program's permissions"
cp "$S/data.exe" "$E2E_ROOT/sent.exe"
chmod +x "$E2E_ROOT/sent.exe"  # as the recipient does with a program received

# run_stub NAME FOLDER STATUS PASSWORD [ARGS]: the program run in FOLDER, the password on stdin.
run_stub() {
    local name=$1 folder=$2 want=$3 password=$4
    shift 4
    mkdir -p "$folder"
    # In a session of its own: no terminal, whatever the test runner's (the program asks on one).
    (cd "$folder" && printf '%s\n' "$password" | setsid -w "$E2E_ROOT/sent.exe" "$@") \
        >"$E2E_ROOT/$name.out" 2>"$E2E_ROOT/$name.err"
    local got=$?
    [[ $got == "$want" ]] || fail "$name: the program ended with status $got, expected $want"
    expect_no_secrets "$E2E_ROOT/$name.out" "$E2E_ROOT/$name.err"
}
run_stub stub-wrong "$E2E_ROOT/recipient1" 2 wrongpw1 --password-stdin
expect_output stub-wrong err "The password does not match this file."
expect_tree "$E2E_ROOT/recipient1" </dev/null
run_stub stub-right "$E2E_ROOT/recipient2" 0 onetime1 --password-stdin
expect_output stub-right out $'Password: \nWrote data.dat.'
expect_same "$E2E_ROOT/recipient2/data.dat" "$E2E_ROOT/data.dat"
expect_tree "$E2E_ROOT/recipient2" <<<"data.dat"
# Through its prompt on a terminal (a pseudo-terminal here): the password typed is not echoed.
if command -v script >/dev/null; then
    typescript=$E2E_ROOT/tty.typescript
    : >"$typescript"
    mkdir -p "$E2E_ROOT/recipient4"
    (
        cd "$E2E_ROOT/recipient4" &&
            {
                # Type only once the prompt is up and the terminal no longer echoes.
                for _ in $(seq 100); do
                    grep -q "Password: " "$typescript" && break
                    sleep 0.1
                done
                sleep 0.3
                printf 'onetime1\r'
                # Done once the file is there, however slow the machine.
                for _ in $(seq 300); do
                    [[ -e $E2E_ROOT/recipient4/data.dat ]] && break
                    sleep 0.1
                done
                sleep 0.5
            } | timeout -k 5 90 script -qfec "$E2E_ROOT/sent.exe" "$typescript"
    ) >/dev/null 2>&1
    expect_eq "$?" 0 "the program's status on a terminal"
    expect_same "$E2E_ROOT/recipient4/data.dat" "$E2E_ROOT/data.dat"
    grep -q "Password: " "$typescript" || fail "no password prompt on the terminal"
    expect_no_secrets "$typescript"
fi
# Without a terminal the password comes from standard input as well; an existing file stays.
printf 'mine\n' >"$E2E_ROOT/recipient2/data.dat"
run_stub stub-exists "$E2E_ROOT/recipient2" 3 onetime1
expect_output stub-exists err '"data.dat" already exists; it was left unchanged.'
expect_eq "$(cat "$E2E_ROOT/recipient2/data.dat")" "mine" "the recipient's own file"
expect_tree "$E2E_ROOT/recipient2" <<<"data.dat"

# data.exe is taken: the user is told, picks a taken name, then a free one without extension.
run_qor save-as 0 "$SELF_EXTRACTING
message \"Please choose another file name.\" -> OK
dialog \"Save As\": 1152=\"data.exe\" -> 1
message \"Please choose another name.\" -> OK
dialog \"Save As\": 1152=\"copy2\" -> 1" share-encrypt "$S/data.dat"
expect_transcript save-as <<TEXT
dialog: File Sharing - Encryption
dialog: Encrypting
message: QOR Vaultis: "$S/data.exe" already exsists.  Please choose another file name. [OK]
dialog: Save As
message: QOR Vaultis: File already exsists, Please choose another name. [OK]
dialog: Save As
TEXT
expect_file "$S/copy2.exe"
cp "$S/copy2.exe" "$E2E_ROOT/sent.exe"
run_stub stub-copy "$E2E_ROOT/recipient3" 0 onetime1 --password-stdin
expect_same "$E2E_ROOT/recipient3/data.dat" "$E2E_ROOT/data.dat"

# Cancelling the choice skips the file without a further word.
run_qor save-as-cancel 0 "$SELF_EXTRACTING
message \"Please choose another file name.\" -> OK
dialog \"Save As\" -> 2" share-encrypt "$S/data.dat"
expect_transcript save-as-cancel <<TEXT
dialog: File Sharing - Encryption
dialog: Encrypting
message: QOR Vaultis: "$S/data.exe" already exsists.  Please choose another file name. [OK]
dialog: Save As
TEXT
expect_tree "$S" <<'TEXT'
copy2.exe
data.dat
data.exe
one(txt).s!!
one.txt
two(txt).s!!
two.txt
TEXT
checks_end
