#!/usr/bin/env bash
# The product's dialogs as windows on a (virtual) desktop: the GTK host shows each one, and the
# scenario's lines are carried out through the widgets themselves. The main paths: setup with
# seeding, encrypt with the password kept, decrypt without a prompt, file sharing as a
# self-extracting program, a change of password, the AutoCrypt edit dialog, and a kept password
# serving a file manager's action (Nemo's encrypt, then Thunar's decrypt through the launcher). A screenshot of every
# dialog and message box lands in <build>/screenshots/desktop/<run>/.
DESKTOP=${DISPLAY:-}
source "$(dirname "$0")/lib.sh"

[[ -n $DESKTOP ]] || { echo "no display (run under xvfb-run): skipped"; exit 0; }
SHOTS=$(cd "$(dirname "$BUILT_QOR")/.." && pwd)/screenshots/desktop
e2e_install
[[ -f $QOR_HOME/libqor-ui-gtk.so ]] || { echo "the GTK host was not built: skipped"; exit 0; }

# run_gtk NAME STATUS SCENARIO [ARGS...]: run_qor with the GTK host on the desktop, each dialog
# photographed and checked for controls that do not fit.
run_gtk() {
    rm -rf -- "${SHOTS:?}/$1"
    mkdir -p -- "$SHOTS/$1"
    E2E_HOST_ENV="DISPLAY=$DESKTOP NO_AT_BRIDGE=1 QOR_UI=gtk \
QOR_GTK_SCENARIO=$E2E_ROOT/@NAME@.scenario QOR_GTK_SHOTS=$SHOTS/@NAME@" run_qor "$@"
    ls "$SHOTS/$1"/*.png >/dev/null 2>&1 || fail "$1: no screenshot"
    ! grep -F "layout of" "$E2E_ROOT/$1.err" >&2 || fail "$1: a dialog's controls do not fit"
}

run_gtk setup 0 "$SETUP_SCENARIO" setup
expect_transcript setup <<<"$SETUP_TRANSCRIPT"
expect_file "$QOR_HOME/userpref.!!!"

W=$DATA/work
mkdir -p "$W"
printf 'MARKER report\n' >"$W/report.doc"
cp -- "$W/report.doc" "$E2E_ROOT/report.doc"

# Kept for 5 minutes: the decryption that follows, another process, asks for no password.
run_gtk encrypt 0 'dialog "Encrypt": 1022="secret1" "&Keep password in memory for"=1 -> 1' \
    encrypt "$W/report.doc"
expect_transcript encrypt <<<$'dialog: Encrypt\ndialog: Encrypting'
expect_tree "$W" <<<"report(doc).!!!"
run_gtk decrypt 0 'dialog "Decrypt" -> 1' decrypt "$W/report(doc).!!!"
expect_transcript decrypt <<<$'dialog: Decrypt\ndialog: Decrypting'
expect_same "$W/report.doc" "$E2E_ROOT/report.doc"
run_qor forget 0 "" clear-password

run_gtk share 0 'dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1046=1 -> 1' \
    share-encrypt "$W/report.doc"
expect_transcript share <<<$'dialog: File Sharing - Encryption\ndialog: Encrypting'
expect_tree "$W" <<<"report.doc
report.exe"
# Again: report.exe exists now, so the desktop's save dialog asks for another name (the
# product adds ".exe" to a name typed without one).
run_gtk share-again 0 'dialog "File Sharing - Encryption": 1044="onetime1" 1045="onetime1" 1046=1 -> 1
message "already exsists" -> OK
dialog "Save As": 1152="report copy" -> 1' share-encrypt "$W/report.doc"
expect_transcript share-again <<<"dialog: File Sharing - Encryption
dialog: Encrypting
message: QOR Vaultis: \"$W/report.exe\" already exsists.  Please choose another file name. [OK]
dialog: Save As"
expect_tree "$W" <<<"report copy.exe
report.doc
report.exe"
[[ $(head -c 4 -- "$W/report copy.exe" | od -An -tx1 | tr -d ' \n') == 7f454c46 ]] ||
    fail "report copy.exe is no program"

run_gtk change 0 'dialog "Change Password": 1301="secret1" 1302="badpass9" 1303="badpass9" -> 1
dialog "QOR Vaultis": -> 2
message "will not be backed up" -> OK' change-password
expect_transcript change <<<"dialog: Change Password
dialog: QOR Vaultis
message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to confirm this. [OK/Cancel]"

run_gtk autocrypt 0 "dialog \"Password\": 1022=\"badpass9\" -> 1
dialog \"Edit AutoCrypt List\": 1152=\"$W/report.doc\" -> \"&Add to List\" 1006=1 -> \"Done\"" \
    autocrypt
expect_transcript autocrypt <<<$'dialog: Password\ndialog: Edit AutoCrypt List'
run_qor listed 0 'dialog "Password": 1022="badpass9" -> 1' autocrypt list
expect_output listed out "$W/report.doc"

# A file manager's actions start qor through the installed launcher with nothing chosen but the
# display: the encryption from Nemo's action keeps the password typed in its window, and the
# decryption from Thunar's, another process, then shows its dialog without asking for one.
# run_action NAME SCENARIO COMMAND: COMMAND run by /bin/sh -c, as Thunar runs its actions.
run_action() {
    rm -rf -- "${SHOTS:?}/$1"
    mkdir -p -- "$SHOTS/$1"
    printf '%s\n' "$2" >"$E2E_ROOT/$1.scenario"
    rm -f -- "$E2E_ROOT/$1.log"
    env -u QOR_UI DISPLAY="$DESKTOP" NO_AT_BRIDGE=1 QOR_GTK_SCENARIO="$E2E_ROOT/$1.scenario" \
        QOR_GTK_SHOTS="$SHOTS/$1" QOR_UI_LOG="$E2E_ROOT/$1.log" timeout 60 /bin/sh -c "$3" </dev/null \
        >"$E2E_ROOT/$1.out" 2>"$E2E_ROOT/$1.err" ||
        { fail "$1: the action failed"; sed 's/^/    stderr: /' "$E2E_ROOT/$1.err" >&2; }
    touch -- "$E2E_ROOT/$1.log"
    expect_no_secrets "$E2E_ROOT/$1.log" "$E2E_ROOT/$1.out" "$E2E_ROOT/$1.err"
    ls "$SHOTS/$1"/*.png >/dev/null 2>&1 || fail "$1: no screenshot"
    ! grep -F "layout of" "$E2E_ROOT/$1.err" >&2 || fail "$1: a dialog's controls do not fit"
}
run_qor forget-before 0 "" clear-password
printf 'MARKER kept\n' >"$W/kept.txt"
cp -- "$W/kept.txt" "$E2E_ROOT/kept.txt"
# Nemo puts each path in double quotes in place of %F and splits the line as a shell would.
nemo=$(sed -n 's/^Exec=//p' "$HOME/.local/share/nemo/actions/qor-vaultis-encrypt.nemo_action")
[[ $nemo == *" encrypt %F" ]] || fail "Nemo's encrypt action runs $nemo"
run_action nemo-encrypt 'dialog "Encrypt": 1022="badpass9" "&Keep password in memory for"=1 -> 1' \
    "exec ${nemo//%F/\"$W/kept.txt\"}"
expect_transcript nemo-encrypt <<<$'dialog: Encrypt\ndialog: Encrypting'
expect_file "$W/kept(txt).!!!"
expect_absent "$W/kept.txt"
# Thunar's action: the selection in single quotes in place of %F, the whole given to /bin/sh -c.
thunar=$(grep -A1 -F '<unique-id>qor-vaultis-decrypt</unique-id>' "$HOME/.config/Thunar/uca.xml" |
    sed -n 's|.*<command>\(.*\)</command>.*|\1|p' |
    sed "s/&lt;/</g; s/&gt;/>/g; s/&quot;/\"/g; s/&apos;/'/g; s/&amp;/\\&/g")
[[ $thunar == *" decrypt %F" ]] || fail "Thunar's decrypt action runs $thunar"
run_action thunar-decrypt 'dialog "Decrypt" -> 1' "${thunar//%F/\'$W/kept(txt).!!!\'}"
expect_transcript thunar-decrypt <<<$'dialog: Decrypt\ndialog: Decrypting'
expect_same "$W/kept.txt" "$E2E_ROOT/kept.txt"
expect_absent "$W/kept(txt).!!!"
run_qor forget-kept 0 "" clear-password
checks_end
