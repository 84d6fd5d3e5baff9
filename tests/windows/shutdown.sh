#!/usr/bin/env bash
# shutdwn.exe under Wine: the "Encrypt and Shutdown" dialog. No does nothing; Yes has the
# AutoCrypt list's files encrypted and then ends the session the chosen way (the recorder stands
# in for the end, writing to the call log so that the order shows); an empty list asks for no
# password. The log-off choice exists only with a network.
source "$(dirname "$0")/wine_lib.sh"

install_product
setup_user
start_logon_program
expect_same "$HOME_DIR/shutdwn.exe" "$BIN/shutdwn.exe"
SHUTDOWN=$(logged_copy shutdwn.exe)
SESSION_LOG=$CALLS
use_recorder
export QOR_NETWORK=up
DIALOG='dialog: Encrypt and Shutdown'

# No, and the close box: nothing encrypted, nothing ended.
run_program no 0 'dialog "Encrypt and Shutdown" -> "&No"' "$SHUTDOWN"
expect_transcript no <<<"$DIALOG"
run_program close 0 'dialog "Encrypt and Shutdown" -> 2' "$SHUTDOWN"
expect_eq "$(calls)" "" "calls after No"

# Help shows topic 151 from the home folder and leaves the dialog open.
run_program no-help 0 'dialog "Encrypt and Shutdown" -> "Help" -> 2
message "Help topic 151 is not installed." -> OK' "$SHUTDOWN"
expect_transcript no-help <<<"$DIALOG
message: QOR Vaultis Help: Help topic 151 is not installed. [OK]"
mkdir -p "$HOME_DIR/help"
printf 'Encrypt and Shut Down\r\nChoose how to end.\r\n' >"$HOME_DIR/help/151.txt"
run_program help 0 'dialog "Encrypt and Shutdown" -> 1000 -> "&No"
message "Choose how to end." -> OK' "$SHUTDOWN"
expect_transcript help <<<"$DIALOG
message: QOR Vaultis Help: Encrypt and Shut Down\\nChoose how to end. [OK]"
expect_eq "$(calls)" "" "calls after Help"

# Yes with the empty list the setup left: the session ends at once, with no password asked.
run_program empty 0 'dialog "Encrypt and Shutdown" -> "&Yes"' "$SHUTDOWN"
expect_transcript empty <<<"$DIALOG"
expect_eq "$(calls)" $'SH_AutoEncrypt\nshutdown' "calls with an empty list"

# A listed file is encrypted before the session ends, with the password the user kept when
# adding it; each choice by its text.
W=$ROOT/work
mkdir -p "$W"
printf 'MARKER listed\n' >"$W/listed.txt"
KEEP='dialog "Password": 1022="secret1" "&Keep password in memory for"=1 -> 1'
run_program add 0 "$KEEP" "$HOME_DIR/qor.exe" autocrypt add "$(winpath "$W/listed.txt")"
rm -f -- "$CALLS"
run_program restart 0 'dialog "Encrypt and Shutdown": "&Restart the computer?"=1 -> 1' "$SHUTDOWN"
expect_eq "$(tr -d '\r' <"$ROOT/restart.log" | grep -v '^status: ')" "$DIALOG
dialog: Encrypting" "restart: the dialogs"
expect_absent "$W/listed.txt"
expect_file "$W/listed(txt).!!!"
expect_eq "$(calls)" $'SH_AutoEncrypt\nreboot' "calls for a restart"

for choice in "Restart the computer in &MS-DOS mode?=reboot" \
    "&Close all programs and log on as a different user?=logoff" \
    "&Shut down the computer?=shutdown"; do
    run_program decrypt 0 "$KEEP" "$HOME_DIR/qor.exe" autocrypt decrypt-now
    expect_file "$W/listed.txt"
    rm -f -- "$CALLS"
    run_program choice 0 "dialog \"Encrypt and Shutdown\": \"${choice%=*}\"=1 -> 1" "$SHUTDOWN"
    expect_file "$W/listed(txt).!!!"
    expect_eq "$(calls)" "SH_AutoEncrypt"$'\n'"${choice#*=}" "calls for ${choice%=*}"
done

# Without a kept password the core asks for it in this program's own host: the next lines of the
# same scenario answer it.
run_program decrypt 0 "$KEEP" "$HOME_DIR/qor.exe" autocrypt decrypt-now
run_program forget 0 '' "$HOME_DIR/qor.exe" clear-password
rm -f -- "$CALLS"
run_program prompt 0 'dialog "Encrypt and Shutdown" -> 1
dialog "Password": 1022="secret1" -> 1' "$SHUTDOWN"
expect_eq "$(tr -d '\r' <"$ROOT/prompt.log" | grep -v '^status: ')" "$DIALOG
dialog: Password
dialog: Encrypting" "prompt: the dialogs"
expect_file "$W/listed(txt).!!!"
expect_eq "$(calls)" $'SH_AutoEncrypt\nshutdown' "calls after the prompt"

# A refused end is told on stderr and in the exit status.
rm -f -- "$CALLS"
echo 1 >"$SESSION_STATUS"
run_program refused 1 'dialog "Encrypt and Shutdown" -> 1' "$SHUTDOWN"
expect_output refused err "qor-shutdown: the session could not be ended"
rm -f -- "$SESSION_STATUS" "$CALLS"

# Without a network the log-off choice is hidden and disabled: a scenario cannot choose it.
QOR_NETWORK=none run_program none 3 'dialog "Encrypt and Shutdown": 1004=1 -> 1' "$SHUTDOWN"
expect_output none err 'scenario line 1: 1004 is hidden or disabled in "Encrypt and Shutdown"'
expect_eq "$(calls)" "" "calls without a network"
# The real probe: Wine has no network provider, so the network providers answer that there is no
# network, as a machine without one does.
unset QOR_NETWORK
run_program probe 3 'dialog "Encrypt and Shutdown": 1004=1 -> 1' "$SHUTDOWN"
expect_output probe err 'scenario line 1: 1004 is hidden or disabled in "Encrypt and Shutdown"'
checks_end
