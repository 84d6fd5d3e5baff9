#!/usr/bin/env bash
# uninstall.exe under Wine: No changes nothing; Yes blanks the start-up entry, deletes the
# AutoCrypt list beside the start-up program, schedules the remover once and logs off. When that
# fails, OK tries a reboot and Cancel gives up; giving up (or a failed reboot) puts the registry
# back, while the list stays deleted. The session's end is the recorder here (the registry's
# commands, which only a build with the test hooks reads).
source "$(dirname "$0")/wine_lib.sh"

CAPTION='QOR Vaultis Uninstall'
ASK="message: $CAPTION: Are you sure you want to uninstall QOR Vaultis? Please decrypt all encrypted files before uninstalling QOR Vaultis. [Yes/No]"
WAIT="message: $CAPTION: Please wait while Windows restarts. [OK]"
FAILED="message: $CAPTION: Windows could not be restarted. Please wait while your system is rebooted [OK/Cancel]"
YES='message "Are you sure you want to uninstall" -> Yes
message "Please wait while Windows restarts." -> OK'

install_product
use_recorder
UNINSTALL=$HOME_DIR/uninstall.exe
expect_same "$UNINSTALL" "$BIN/uninstall.exe"
# The Run value is quoted: Windows reads it as a command line.
STARTUP="\"$(winpath "$HOME_DIR/vodorura.rar")\""
REMOVER="\"$(winpath "$HOME_DIR/qor-install.exe")\" --uninstall --home \"$(winpath "$HOME_DIR")\""
LIST=$HOME_DIR/autocryp.!!!
printf 'list\n' >"$LIST"
printf 'prefs\n' >"$HOME_DIR/userpref.!!!"
printf 'not the list\n' >"$HOME_DIR/vodorura.!!!"
expect_reg "$KEY_RUN" "QOR Autocrypt" "$STARTUP"
expect_reg "$KEY_PRODUCT" UninstallString "$REMOVER"

# No: nothing changes, nothing ends.
run_program no 0 'message "Are you sure" -> No' "$UNINSTALL"
expect_transcript no <<<"$ASK"
expect_reg "$KEY_RUN" "QOR Autocrypt" "$STARTUP"
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_file "$LIST"
expect_eq "$(recorded)" "" "session ends after No"

# The log-off fails and the user cancels the reboot: the registry is as it was, except that the
# list stays deleted (the "vodorura.!!!" beside it is not the list and stays).
echo 1 >"$SESSION_STATUS"
run_program cancel 0 "$YES
message \"could not be restarted\" -> Cancel" "$UNINSTALL"
expect_transcript cancel <<<"$ASK
$WAIT
$FAILED"
expect_eq "$(recorded)" "logoff" "session ends after Cancel"
expect_reg "$KEY_RUN" "QOR Autocrypt" "$STARTUP"
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_reg "$KEY_PRODUCT" UninstallString "$REMOVER"
expect_absent "$LIST"
expect_file "$HOME_DIR/vodorura.!!!"
expect_file "$HOME_DIR/userpref.!!!"

# OK after the failure tries the reboot; when that fails as well, the same undo.
rm -f -- "$SESSION_LOG"
printf 'list\n' >"$LIST"
run_program reboot-fails 0 "$YES
message \"could not be restarted\" -> OK" "$UNINSTALL"
expect_eq "$(recorded)" $'logoff\nreboot' "session ends when both fail"
expect_reg "$KEY_RUN" "QOR Autocrypt" "$STARTUP"
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_absent "$LIST"

# Success: the start-up entry blank, the remover scheduled once, the session ended by logging
# off; the user's preference file is not the uninstall's to touch.
rm -f -- "$SESSION_LOG" "$SESSION_STATUS"
printf 'list\n' >"$LIST"
run_program yes 0 "$YES" "$UNINSTALL"
expect_transcript yes <<<"$ASK
$WAIT"
expect_eq "$(recorded)" "logoff" "session ends on success"
expect_reg "$KEY_RUN" "QOR Autocrypt" ""
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "$REMOVER"
expect_absent "$LIST"
expect_file "$HOME_DIR/userpref.!!!"

# A reboot that succeeds after the failed log-off keeps the changes.
rm -f -- "$SESSION_LOG"
reg_delete_value "$KEY_RUNONCE" QOR_UNINSTALL
reg_set "$KEY_RUN" "QOR Autocrypt" "$STARTUP"
echo 1 >"$ROOT/logoff.status"
reg_set "$KEY_COMMANDS" Logoff "$(recorder_command logoff "$ROOT/logoff.status")"
run_program reboot 0 "$YES
message \"could not be restarted\" -> OK" "$UNINSTALL"
expect_eq "$(recorded)" $'logoff\nreboot' "session ends when only the reboot works"
expect_reg "$KEY_RUN" "QOR Autocrypt" ""
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "$REMOVER"
use_recorder

# The list is found beside the program the Run value starts, quoted or not, whatever that
# program is called; the value's name is matched without regard to case.
APP="$ROOT/app dir"
mkdir -p "$APP"
printf 'list\n' | tee "$APP/autocryp.!!!" "$LIST" >/dev/null
reg_delete_value "$KEY_RUNONCE" QOR_UNINSTALL
reg_delete_value "$KEY_RUN" "QOR Autocrypt"
reg_set "$KEY_RUN" "qor autocrypt" "$(winpath "$APP/VODORURA.RAR")"
rm -f -- "$SESSION_LOG"
run_program elsewhere 0 "$YES" "$UNINSTALL"
expect_absent "$APP/autocryp.!!!"
expect_file "$LIST"
expect_reg "$KEY_RUN" "QOR Autocrypt" ""
expect_eq "$(recorded)" "logoff" "session ends with the list elsewhere"

printf 'list\n' >"$APP/autocryp.!!!"
reg_set "$KEY_RUN" "QOR Autocrypt" "\"$(winpath "$APP/vodorura.rar")\" --at-logon"
run_program quoted 0 "$YES" "$UNINSTALL"
expect_absent "$APP/autocryp.!!!"

# A command line without a folder names no list: nothing is deleted in the current folder.
printf 'list\n' >"$APP/autocryp.!!!"
reg_set "$KEY_RUN" "QOR Autocrypt" "vodorura.rar"
(cd "$APP" && run_program bare 0 "$YES" "$UNINSTALL")
expect_file "$APP/autocryp.!!!"

# Without any of the values nothing is blanked or scheduled, and the session still ends.
reg_delete_value "$KEY_RUN" "QOR Autocrypt"
reg_delete_value "$KEY_RUNONCE" QOR_UNINSTALL
reg_delete_value "$KEY_PRODUCT" UninstallString
rm -f -- "$SESSION_LOG"
run_program no-values 0 "$YES" "$UNINSTALL"
expect_eq "$(recorded)" "logoff" "session ends without the values"
expect_reg "$KEY_RUN" "QOR Autocrypt" "<missing>"
expect_reg "$KEY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_file "$LIST"
checks_end
