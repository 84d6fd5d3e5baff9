#!/usr/bin/env bash
# qor-uninstall: No changes nothing; Yes blanks the start-up entry, deletes the AutoCrypt list
# beside the start-up program, schedules the remover once and ends the session. When ending
# fails, OK tries a reboot and Cancel gives up; giving up (or a failed reboot) puts the registry
# back, while the list stays deleted. The session's end is a recorder here.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/session_lib.sh"

BUILT_UNINSTALL=${4:-}
[[ -x $BUILT_UNINSTALL ]] || { echo "usage: bash $0 QOR QOR_INSTALL DECEXE QOR_UNINSTALL" >&2; exit 2; }

CAPTION='QOR Vaultis Uninstall'
ASK="message: $CAPTION: Are you sure you want to uninstall QOR Vaultis? Please decrypt all encrypted files before uninstalling QOR Vaultis. [Yes/No]"
WAIT="message: $CAPTION: Please wait while Windows restarts. [OK]"
FAILED="message: $CAPTION: Windows could not be restarted. Please wait while your system is rebooted [OK/Cancel]"
YES='message "Are you sure you want to uninstall" -> Yes
message "Please wait while Windows restarts." -> OK'

e2e_install
use_recorder
UNINSTALL=$QOR_HOME/qor-uninstall
expect_same "$UNINSTALL" "$BUILT_UNINSTALL"
LIST=$QOR_HOME/autocryp.!!!
REMOVER="\"$QOR_HOME/qor-install\" --uninstall --home \"$QOR_HOME\""
printf 'list\n' >"$LIST"
printf 'prefs\n' >"$QOR_HOME/userpref.!!!"
printf 'not the list\n' >"$QOR_HOME/vodorura.!!!"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" "$QOR_HOME/vodorura.rar"
expect_reg "$REGISTRY_PRODUCT" UninstallString "$REMOVER"

# No: nothing changes, nothing ends.
cp -- "$QOR_REGISTRY" "$E2E_ROOT/registry-before"
run_program no 0 'message "Are you sure" -> No' "$UNINSTALL"
expect_transcript no <<<"$ASK"
expect_same "$QOR_REGISTRY" "$E2E_ROOT/registry-before"
expect_file "$LIST"
expect_eq "$(recorded)" "" "session commands after No"

# The session end fails and the user cancels the reboot: the registry is as it was, except that
# the list stays deleted (the literal "vodorura.!!!" beside it is not the list and stays).
echo 1 >"$SESSION_STATUS"
run_program cancel 0 "$YES
message \"could not be restarted\" -> Cancel" "$UNINSTALL"
expect_transcript cancel <<<"$ASK
$WAIT
$FAILED"
expect_eq "$(recorded)" "logoff" "session commands after Cancel"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" "$QOR_HOME/vodorura.rar"
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_reg "$REGISTRY_PRODUCT" UninstallString "$REMOVER"
expect_absent "$LIST"
expect_file "$QOR_HOME/vodorura.!!!"
expect_file "$QOR_HOME/userpref.!!!"

# OK after the failure tries the reboot; when that fails as well, the same undo.
rm -f -- "$SESSION_LOG"
printf 'list\n' >"$LIST"
run_program reboot-fails 0 "$YES
message \"could not be restarted\" -> OK" "$UNINSTALL"
expect_transcript reboot-fails <<<"$ASK
$WAIT
$FAILED"
expect_eq "$(recorded)" $'logoff\nreboot' "session commands when both fail"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" "$QOR_HOME/vodorura.rar"
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_absent "$LIST"

# Success: the start-up entry blank, the remover scheduled once, the session ended by logging
# off; the user's preference file is not the uninstall's to touch.
rm -f -- "$SESSION_LOG" "$SESSION_STATUS"
printf 'list\n' >"$LIST"
run_program yes 0 "$YES" "$UNINSTALL"
expect_transcript yes <<<"$ASK
$WAIT"
expect_eq "$(recorded)" "logoff" "session commands on success"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" ""
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "$REMOVER"
expect_absent "$LIST"
expect_file "$QOR_HOME/userpref.!!!"

# A reboot that succeeds after the failed log-off keeps the changes.
rm -f -- "$SESSION_LOG"
reg_section "$REGISTRY_RUN" "QOR Autocrypt=$QOR_HOME/vodorura.rar"
reg_section "$REGISTRY_COMMANDS" "Logoff=false"
run_program reboot 0 "$YES
message \"could not be restarted\" -> OK" "$UNINSTALL"
expect_eq "$(recorded)" "reboot" "session commands when only the reboot works"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" ""
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "$REMOVER"

# The list is found beside the program the Run value starts, quoted or not, whatever that
# program is called; the value's name is matched without regard to case.
fresh_registry() {  # RUN-VALUE-NAME RUN-VALUE
    rm -f -- "$QOR_REGISTRY" "$SESSION_LOG"
    reg_section "$REGISTRY_RUN" "$1=$2"
    use_recorder
}
APP="$E2E_ROOT/app dir"
mkdir -p "$APP"
printf 'list\n' | tee "$APP/autocryp.!!!" "$LIST" >/dev/null
fresh_registry "qor autocrypt" "$APP/vodorura.rar"
run_program elsewhere 0 "$YES" "$UNINSTALL"
expect_absent "$APP/autocryp.!!!"
expect_file "$LIST"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" ""
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_eq "$(recorded)" "logoff" "the session ends without a remover to schedule"

printf 'list\n' >"$APP/autocryp.!!!"
fresh_registry "QOR Autocrypt" "\"$APP/vodorura.rar\" --at-logon"
run_program quoted 0 "$YES" "$UNINSTALL"
expect_absent "$APP/autocryp.!!!"

# A command line without a folder names no list: nothing is deleted in the current folder.
printf 'list\n' >"$APP/autocryp.!!!"
fresh_registry "QOR Autocrypt" "vodorura.rar"
(cd "$APP" && run_program bare 0 "$YES" "$UNINSTALL")
expect_file "$APP/autocryp.!!!"

# Without any value nothing is blanked or scheduled, and the session still ends.
rm -f -- "$QOR_REGISTRY" "$SESSION_LOG"
use_recorder
run_program empty-registry 0 "$YES" "$UNINSTALL"
expect_eq "$(recorded)" "logoff" "session commands with an empty registry"
expect_reg "$REGISTRY_RUN" "QOR Autocrypt" "<missing>"
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "<missing>"
expect_file "$LIST"
checks_end
