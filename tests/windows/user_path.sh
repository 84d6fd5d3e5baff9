#!/usr/bin/env bash
# The Windows user's path from the install to the end of a session, through the real dialogs:
# no scenario stands in for them, dialog_driver.exe answers them from outside as a user would,
# photographs each into the build's screenshots folder and checks its layout. The setup with the
# random seeding fed by keys and pointer moves; a file encrypted from Explorer's context menu (the
# installed COM object, created through the registry); the encrypted file double-clicked, its
# password asked, the decrypted file opened by its type's program; a file added to the AutoCrypt
# list in its edit dialog and encrypted by shutdwn.exe before the session ends; uninstall.exe's
# question. The files are checked byte for byte after each round trip.
source "$(dirname "$0")/wine_lib.sh"

# The real dialog host, whatever the caller's environment chose.
unset QOR_UI QOR_UI_LOG
SHOTS=$(dirname "$BIN")/screenshots
mkdir -p "$SHOTS"
SECRETS+=(wrongpw1 share-it1)

# drive NAME SCENARIO PROGRAM [ARGS...]: runs PROGRAM with dialog_driver.exe answering its
# dialogs from SCENARIO; both must end with status 0. The driver's lines are $ROOT/NAME.driver,
# the program's output $ROOT/NAME.out and .err.
drive() {
    local name=$1 scenario=$2 program=$3
    shift 3
    printf '%s\n' "$scenario" >"$ROOT/$name.scenario"
    wine_run "$HELPERS/dialog_driver.exe" --shots "$(winpath "$SHOTS")" --name "$name" \
        --timeout 40 "$(winpath "$ROOT/$name.scenario")" >"$ROOT/$name.driver" \
        2>"$ROOT/$name.driver-err" &
    local driver=$!
    wine_run "$program" "$@" >"$ROOT/$name.out" 2>"$ROOT/$name.err" &
    local started=$!
    STARTED_PIDS+=("$driver" "$started")
    wait "$driver"
    local answered=$?
    # A dialog the driver could not answer would hold the program for ever.
    ((answered == 0)) || kill -TERM "$started" 2>/dev/null
    wait "$started"
    local got=$?
    ((got == 0)) || fail "$name: ${program##*/} $* ended with status $got"
    if ((answered != 0)); then
        fail "$name: dialog_driver ended with status $answered"
        sed 's/^/    /' "$ROOT/$name.driver-err" >&2
    fi
    tr -d '\r' <"$ROOT/$name.driver" | sed "s/^/$name: /"
    expect_no_secrets "$ROOT/$name.driver" "$ROOT/$name.driver-err" "$ROOT/$name.out" \
        "$ROOT/$name.err"
}

install_product
use_recorder

# The first use: the welcome, the random seeding, name and password, no backup.
drive setup "$SETUP_SCENARIO" "$HOME_DIR/qor.exe" setup
expect_file "$HOME_DIR/userpref.!!!"

W=$ROOT/documents
mkdir -p "$W"

# File sharing as a self-extracting program, from the menu: the proposed plan.exe exists, so the
# system's Save As dialog asks for another name, typed without its extension.
head -c 30000 /dev/urandom >"$W/plan.txt"
printf 'taken' >"$W/plan.exe"
drive share "dialog \"File Sharing - Encryption\": 1044=\"share-it1\" 1045=\"share-it1\" 1046=1 -> 1
message \"already exsists\" -> OK
dialog \"Save As\": 1148=\"plan for sam\" -> 1" \
    "$HELPERS/explorer_menu.exe" share-encrypt "$(winpath "$W/plan.txt")"
program=$(find "$W" -maxdepth 1 -iname 'plan for sam.exe' -print -quit)
[[ -n $program ]] || fail "share: no self-extracting program 'plan for sam.exe' in $(ls "$W")"
[[ -n $program && $(head -c 2 -- "$program") == MZ ]] || fail "share: $program is no program"
expect_eq "$(cat "$W/plan.exe")" taken "the existing plan.exe"

# A right-click on report.doc and Encrypt, as Explorer does it.
head -c 70000 /dev/urandom >"$ROOT/report.doc"
cp -- "$ROOT/report.doc" "$W/report.doc"
drive encrypt 'dialog "Encrypt": 1022="secret1" -> 1' \
    "$HELPERS/explorer_menu.exe" encrypt "$(winpath "$W/report.doc")"
grep -q '^&Encrypt\.\.\. \[' "$ROOT/encrypt.out" || fail "encrypt: the menu has no Encrypt"
expect_file "$W/report(doc).!!!"
expect_absent "$W/report.doc"

# The double-click: the install's association starts associat.exe, which asks the password
# (a wrong one first), decrypts and has the shell open report.doc with its type's program.
OLD_DOC=$(reg_value 'HKCR\.doc' "")
reg_set 'HKCR\.doc' "" QorTest.File
reg_set 'HKCR\QorTest.File\shell\open\command' "" "$(recorder_command open) \"%1\""
drive open 'dialog "Password": 1022="wrongpw1" -> 1
message "Invalid Password." -> OK
dialog "Password": 1022="secret1" -> 1' cmd /c start /wait "" "$(winpath "$W/report(doc).!!!")"
for ((k = 0; k < 50; k++)); do
    [[ -n $(recorded) ]] && break
    sleep 0.1
done
expect_eq "$(recorded)" "open $(winpath "$W/report.doc")" "the double-click's opened file"
expect_same "$W/report.doc" "$ROOT/report.doc"
expect_absent "$W/report(doc).!!!"
reg_delete_key 'HKCR\QorTest.File'
if [[ $OLD_DOC == "<missing>" ]]; then reg_delete_key 'HKCR\.doc'; else reg_set 'HKCR\.doc' "" "$OLD_DOC"; fi

# The AutoCrypt list edited in its dialog, from the menu: report.doc typed into the open
# dialog's name field (1148, its combo box) and added.
drive autocrypt "dialog \"Password\": 1022=\"secret1\" -> 1
dialog \"Edit AutoCrypt List\": 1148=\"$(winpath "$W/report.doc")\" -> 1002 -> 1009" \
    "$HELPERS/explorer_menu.exe" autocrypt "$(winpath "$W/report.doc")"

# Encrypt and Shut Down: the listed file encrypted, then the session ended (the recorder).
rm -f -- "$SESSION_LOG"
drive shutdown 'dialog "Encrypt and Shutdown" -> 1
dialog "Password": 1022="secret1" -> 1' "$HOME_DIR/shutdwn.exe"
expect_eq "$(recorded)" "shutdown" "the session's end"
expect_file "$W/report(doc).!!!"
expect_absent "$W/report.doc"
# At the next log-on the list is decrypted: the same bytes back.
drive decrypt-now 'dialog "Password": 1022="secret1" -> 1' "$HOME_DIR/qor.exe" autocrypt \
    decrypt-now
expect_same "$W/report.doc" "$ROOT/report.doc"

# uninstall.exe's question, answered No: nothing changes.
drive uninstall 'message "Are you sure you want to uninstall" -> No' "$HOME_DIR/uninstall.exe"
expect_file "$HOME_DIR/qorshell.dll"

# The driver's own failures say which window did not come and what was shown instead, or where
# the scenario is wrong.
printf 'dialog "Nowhere" -> 1\n' >"$ROOT/missing.scenario"
wine_run "$HELPERS/dialog_driver.exe" --timeout 1 "$(winpath "$ROOT/missing.scenario")" \
    >/dev/null 2>"$ROOT/missing.err"
expect_eq "$?" 3 "the driver's status for a window that did not come"
expect_output missing err "dialog_driver: $(winpath "$ROOT/missing.scenario") line 1: the dialog \
\"Nowhere\" did not appear within 1 seconds (shown: none)"
printf 'dialog "Nowhere" ->\n' >"$ROOT/bad.scenario"
wine_run "$HELPERS/dialog_driver.exe" "$(winpath "$ROOT/bad.scenario")" >/dev/null \
    2>"$ROOT/bad.err"
expect_eq "$?" 2 "the driver's status for a bad scenario"
grep -qF "dialog_driver: $(winpath "$ROOT/bad.scenario"): line 1: " "$ROOT/bad.err" ||
    fail "the driver's message for a bad scenario: $(cat "$ROOT/bad.err")"
checks_end
