#!/usr/bin/env bash
# The AutoCrypt list from the terminal: the empty list setup leaves, entries added and refused,
# the start-up setting, the shut-down run that encrypts the listed files and re-encrypts the list,
# and the log-on run that gives every file back with its times. The plain list never stays.
source "$(dirname "$0")/lib.sh"

PASSWORD_OK='dialog "Password": 1022="secret1" -> 1'
LIST=$QOR_HOME/autocryp.!!!
PLAIN=$QOR_HOME/autocryp.lst

expect_no_plain_list() {  # WHEN
    [[ ! -e $PLAIN ]] || fail "the plain AutoCrypt list is left on disk $1"
}

e2e_setup_user
expect_file "$LIST"
expect_no_plain_list "after setup"

# The list setup made is empty; reading it writes it anew, with the same plaintext.
cp -- "$LIST" "$E2E_ROOT/list-before"
run_qor empty 0 "$PASSWORD_OK" autocrypt list
expect_output empty out ""
expect_transcript empty <<<"dialog: Password"
expect_differs "$LIST" "$E2E_ROOT/list-before"
expect_no_plain_list "after reading it"

W=$DATA/work
mkdir -p "$W/docs/deep" "$W/other"
printf 'MARKER first\n' >"$W/first.txt"
head -c 50000 /dev/urandom >"$W/second file.doc"
printf 'MARKER in docs\n' >"$W/docs/note.txt"
printf 'MARKER deep\n' >"$W/docs/deep/deeper.txt"
printf 'own\n' >"$W/docs/autocryp.lst"          # a file of the product's own name: never walked
printf 'MARKER not listed\n' >"$W/other/left.txt"
printf 'MARKER program\n' >"$W/tool.exe"
touch -d '2003-04-05 06:07:08.5' "$W/first.txt"
touch -d '1998-07-06 05:04:03' "$W/docs/deep/deeper.txt"
# Times are kept to 100 ns, as both systems keep them.
touch -d '2010-01-01 00:00:00.1234567' "$W/second file.doc" "$W/docs/note.txt"
cp -a -- "$W" "$E2E_ROOT/original"

# Refused entries say why and change nothing; the rest is added once, in list-box order.
run_qor refused 0 "$PASSWORD_OK" autocrypt add "$W/tool.exe" /usr/bin "$W/first.txt"
expect_output refused err 'Sorry, you cannot add a file with .exe extension to your AutoCrypt list.
Sorry, you cannot add the Windows directory or a file or subdirectory in your Windows directory to the AutoCrypt list.'
run_qor add 0 "$PASSWORD_OK" autocrypt add "$W/second file.doc" "$W/docs" "$W/first.txt"
expect_transcript add <<<"dialog: Password"
run_qor list 0 "$PASSWORD_OK" autocrypt list
expect_output list out "$W/docs/*.*
$W/first.txt
$W/second file.doc"
expect_no_plain_list "after adding"

# A missing path is refused before anything is read.
run_qor missing 2 "" autocrypt add "$W/nothing.txt"
expect_output missing err "qor: no such file or folder: $W/nothing.txt"

# A folder whose entry would not fit the callers' 260-character buffers is refused, and the list
# stays as it was.
LONG_TOP=$DATA/$(printf 'd%.0s' {1..90})
LONG=$LONG_TOP/$(printf 'e%.0s' {1..90})/$(printf 'f%.0s' {1..80})
mkdir -p "$LONG"
run_qor too-long 2 "" autocrypt add "$LONG"
expect_output too-long err "qor: path too long for the AutoCrypt list: $LONG"
rm -rf -- "$LONG_TOP"

# The start-up setting.
run_qor off 0 "" autocrypt startup
expect_output off out "off"
run_qor on 0 "$PASSWORD_OK" autocrypt startup on
run_qor is-on 0 "" autocrypt startup
expect_output is-on out "on"

# Shut-down: every listed file encrypted (the folder's whole tree but the product's own names),
# the list encrypted anew, nothing else touched.
cp -- "$LIST" "$E2E_ROOT/list-before"
run_qor shutdown 0 "$PASSWORD_OK" autocrypt run-shutdown
expect_transcript shutdown <<'TEXT'
dialog: Password
dialog: Encrypting
TEXT
expect_tree "$W" <<'TEXT'
docs/autocryp.lst
docs/deep/deeper(txt).!!!
docs/note(txt).!!!
first(txt).!!!
other/left.txt
second file(doc).!!!
tool.exe
TEXT
expect_differs "$LIST" "$E2E_ROOT/list-before"
expect_no_plain_list "after the shut-down run"

# Log-on: the start-up run asks with its own caption and gives everything back as it was.
run_qor startup 0 'dialog "QOR Vaultis Auto Decryption": 1022="secret1" -> 1' autocrypt run-startup
expect_transcript startup <<'TEXT'
dialog: QOR Vaultis Auto Decryption
dialog: Decrypting
TEXT
expect_eq "$(tree_of "$W")" "$(tree_of "$E2E_ROOT/original")" "files after the log-on run"
for file in first.txt "second file.doc" docs/note.txt docs/deep/deeper.txt; do
    expect_same "$W/$file" "$E2E_ROOT/original/$file"
    expect_eq "$(mtime_of "$W/$file")" "$(mtime_of "$E2E_ROOT/original/$file")" "time of $file"
done
expect_no_plain_list "after the log-on run"

# Encrypt and decrypt now act on the list as it stands; removing an entry leaves the rest.
run_qor remove 0 "$PASSWORD_OK" autocrypt remove "$W/docs"
run_qor after-remove 0 "$PASSWORD_OK" autocrypt list
expect_output after-remove out "$W/first.txt
$W/second file.doc"
run_qor now 0 "$PASSWORD_OK" autocrypt encrypt-now
expect_file "$W/first(txt).!!!"
expect_file "$W/docs/note.txt"
run_qor back 0 "$PASSWORD_OK" autocrypt decrypt-now
expect_same "$W/first.txt" "$E2E_ROOT/original/first.txt"
expect_no_plain_list "after the runs on demand"

# With the start-up setting off, the log-on run asks nothing and does nothing.
run_qor off-again 0 "$PASSWORD_OK" autocrypt startup off
run_qor quiet-startup 0 "" autocrypt run-startup
expect_transcript quiet-startup <<<""

# Cancelling the password keeps the list as it is and reads nothing.
cp -- "$LIST" "$E2E_ROOT/list-before"
run_qor cancelled 1 'dialog "Password" -> 2' autocrypt list
expect_output cancelled err "qor: the AutoCrypt list was not read"
expect_same "$LIST" "$E2E_ROOT/list-before"
expect_no_plain_list "after a cancelled password"

# Usage errors (alone, "autocrypt" is the edit dialog: autocrypt_dialog.sh).
run_qor bad-command 2 "" autocrypt frobnicate
run_qor bad-startup 2 "" autocrypt startup maybe
run_qor list-args 2 "" autocrypt list extra
checks_end
