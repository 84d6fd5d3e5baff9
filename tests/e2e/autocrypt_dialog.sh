#!/usr/bin/env bash
# The AutoCrypt list's edit dialog, as `qor autocrypt` (the menu's "&AutoCrypt...") shows it:
# paths typed into its field, refusals with the list's own messages, removal of the selected
# entries, Cancel that writes nothing, Done that writes the list and the start-up setting, and
# "Encrypt Now" whose password prompt and progress appear in the same host as the dialog.
source "$(dirname "$0")/lib.sh"

PASSWORD_OK='dialog "Password": 1022="secret1" -> 1'
LIST=$QOR_HOME/autocryp.!!!
EDIT='dialog: Edit AutoCrypt List'
CAPTION='AutoCrypt List'

e2e_setup_user
W=$DATA/work
mkdir -p "$W/old" "$W/more"
printf 'MARKER a\n' >"$W/a.doc"
printf 'MARKER b\n' >"$W/b.exe"
printf 'MARKER c\n' >"$W/c d.txt"
printf 'MARKER old\n' >"$W/old/kept.txt"

# Cancel after adding: the list keeps what it held (reading it writes it anew, the same).
run_qor cancel 0 "$PASSWORD_OK
dialog \"Edit AutoCrypt List\": 1152=\"$W/a.doc\" -> \"&Add to List\" -> 2" autocrypt
expect_transcript cancel <<<"dialog: Password
$EDIT"
run_qor still-empty 0 "$PASSWORD_OK" autocrypt list
expect_output still-empty out ""

# Two files at once, as the open dialog hands them: the program is refused with its extension
# as the path spells it; a folder is added once however often; a path that names nothing, a system folder and
# a name too long are refused; Enter (OK) adds too; Done writes the list and the start-up
# setting.
cd -- "$W" || exit 1
LONG=$W/$(printf 'x%.0s' {1..250}).txt
: >"$LONG"
run_qor add 0 "$PASSWORD_OK
dialog \"Edit AutoCrypt List\": 1152=\"\\\"$W/a.doc\\\" \\\"$W/b.exe\\\"\" -> \"&Add to List\" \
 \"&File or folder to add:\"=\"$W/old\" -> 1002 1152=\"$W/old\" -> 1002 \
 1152=\"$W/none.txt\" -> 1002 1152=/usr/bin -> 1002 1152=\"$LONG\" -> 1002 \
 1152=\"c d.txt\" -> 1 1006=1 -> \"Done\"
message \".exe extension\" -> OK
message \"cannot be found\" -> OK
message \"Windows directory\" -> OK
message \"too long\" -> OK" autocrypt
expect_transcript add <<<"dialog: Password
$EDIT
message: $CAPTION: Sorry, you cannot add a file with .exe extension to your AutoCrypt list. [OK]
message: $CAPTION: $W/none.txt cannot be found. Type the full path of a file or folder. [OK]
message: $CAPTION: Sorry, you cannot add the Windows directory or a file or subdirectory in your Windows directory to the AutoCrypt list. [OK]
message: $CAPTION: $LONG is too long for the AutoCrypt list. [OK]"
cd - >/dev/null || exit 1
run_qor listed 0 "$PASSWORD_OK" autocrypt list
expect_output listed out "$W/a.doc
$W/c d.txt
$W/old/*.*"
run_qor startup 0 "" autocrypt startup
expect_output startup out "on"

# A relative path is taken from the current folder (above: "c d.txt" from $W). The selected
# entries are removed; "Encrypt Now" acts on what the list shows, unsaved, and asks for the
# password in the dialog's own host; the dialog stays open, and Cancel keeps the list file.
run_qor now 0 "$PASSWORD_OK
dialog \"Edit AutoCrypt List\": 1004=\"$W/old/*.*\" 1004=\"$W/c d.txt\" -> \"&Remove from List\" \
 -> \"&Encrypt Now\" -> \"&Help\" -> 2
dialog \"Password\": 1022=\"secret1\" -> 1
message \"Help topic\" -> OK" autocrypt
expect_transcript now <<<"dialog: Password
$EDIT
dialog: Password
dialog: Encrypting
message: QOR Vaultis Help: Help topic 240 is not installed. [OK]"
rm -- "$LONG"
expect_tree "$W" <<<"a(doc).!!!
b.exe
c d.txt
old/kept.txt"
run_qor kept 0 "$PASSWORD_OK" autocrypt list
expect_output kept out "$W/a.doc
$W/c d.txt
$W/old/*.*"

checks_end
