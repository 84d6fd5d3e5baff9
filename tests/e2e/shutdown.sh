#!/usr/bin/env bash
# qor-shutdown: the "Encrypt and Shutdown" dialog. No does nothing; Yes has the AutoCrypt list's
# files encrypted and then ends the session the chosen way (the recorder stands in for the
# commands); an empty list asks for no password. The log-off choice exists only with a network.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/session_lib.sh"

BUILT_SHUTDOWN=${4:-}
CALL_LOG=$(realpath -- "${5:-}" 2>/dev/null)
[[ -x $BUILT_SHUTDOWN && -f $CALL_LOG ]] ||
    { echo "usage: bash $0 QOR QOR_INSTALL DECEXE QOR_SHUTDOWN CALL_LOG_LIBRARY" >&2; exit 2; }

e2e_setup_user
use_recorder
SHUTDOWN=$QOR_HOME/qor-shutdown
expect_same "$SHUTDOWN" "$BUILT_SHUTDOWN"
# The exports the program calls go to the recorder's log too, so their order shows.
export LD_PRELOAD=$CALL_LOG QOR_TEST_CALLS=$SESSION_LOG QOR_NETWORK=up
DIALOG='dialog: Encrypt and Shutdown'

# No, and the close box: nothing encrypted, nothing ended.
run_program no 0 'dialog "Encrypt and Shutdown" -> "&No"' "$SHUTDOWN"
expect_transcript no <<<"$DIALOG"
run_program close 0 'dialog "Encrypt and Shutdown" -> 2' "$SHUTDOWN"
expect_eq "$(recorded)" "" "calls after No"

# Help shows topic 151 from the home folder and leaves the dialog open.
run_program no-help 0 'dialog "Encrypt and Shutdown" -> "Help" -> 2
message "Help topic 151 is not installed." -> OK' "$SHUTDOWN"
expect_transcript no-help <<<"$DIALOG
message: QOR Vaultis Help: Help topic 151 is not installed. [OK]"
mkdir -p "$QOR_HOME/help"
printf 'Encrypt and Shut Down\nChoose how to end.\n\n' >"$QOR_HOME/help/151.txt"
run_program help 0 'dialog "Encrypt and Shutdown" -> 1000 -> "&No"
message "Choose how to end." -> OK' "$SHUTDOWN"
expect_transcript help <<<"$DIALOG
message: QOR Vaultis Help: Encrypt and Shut Down\\nChoose how to end. [OK]"
expect_eq "$(recorded)" "" "calls after Help"

# Yes with the empty list setup left: the session ends at once, with no password asked; the
# first choice is the one selected when the dialog opens.
run_program empty 0 'dialog "Encrypt and Shutdown" -> "&Yes"' "$SHUTDOWN"
expect_transcript empty <<<"$DIALOG"
expect_eq "$(recorded)" $'SH_AutoEncrypt\nshutdown' "calls with an empty list"

# A listed file is encrypted before the session ends, with the password the user kept when
# adding it; each choice by its text.
W=$DATA/work
mkdir -p "$W"
printf 'MARKER listed\n' >"$W/listed.txt"
KEEP='dialog "Password": 1022="secret1" "&Keep password in memory for"=1 -> 1'
run_qor add 0 "$KEEP" autocrypt add "$W/listed.txt"
rm -f -- "$SESSION_LOG"
run_program restart 0 'dialog "Encrypt and Shutdown": "&Restart the computer?"=1 -> 1' "$SHUTDOWN"
expect_transcript restart <<<"$DIALOG
dialog: Encrypting"
expect_tree "$W" <<<"listed(txt).!!!"
expect_eq "$(recorded)" $'SH_AutoEncrypt\nreboot' "calls for a restart"

for choice in "Restart the computer in &MS-DOS mode?=reboot" \
    "&Close all programs and log on as a different user?=logoff" \
    "&Shut down the computer?=shutdown"; do
    rm -f -- "$SESSION_LOG"
    run_qor decrypt 0 "$KEEP" autocrypt decrypt-now
    run_program choice 0 "dialog \"Encrypt and Shutdown\": \"${choice%=*}\"=1 -> 1" "$SHUTDOWN"
    expect_tree "$W" <<<"listed(txt).!!!"
    expect_eq "$(recorded)" "SH_AutoEncrypt"$'\n'"${choice#*=}" "calls for ${choice%=*}"
done

# Without a kept password the core asks for it in this program's own host: the next lines of the
# same scenario answer it.
run_qor decrypt 0 "$KEEP" autocrypt decrypt-now
run_qor forget 0 '' clear-password
rm -f -- "$SESSION_LOG"
run_program prompt 0 'dialog "Encrypt and Shutdown" -> 1
dialog "Password": 1022="secret1" -> 1' "$SHUTDOWN"
expect_transcript prompt <<<"$DIALOG
dialog: Password
dialog: Encrypting"
expect_tree "$W" <<<"listed(txt).!!!"
expect_eq "$(recorded)" $'SH_AutoEncrypt\nshutdown' "calls after the prompt"

# A refused end is told on stderr and in the exit status.
rm -f -- "$SESSION_LOG"
echo 1 >"$SESSION_STATUS"
run_program refused 1 'dialog "Encrypt and Shutdown" -> 1' "$SHUTDOWN"
expect_output refused err "qor-shutdown: the session could not be ended"
rm -f -- "$SESSION_STATUS" "$SESSION_LOG"

# Without a network the log-off choice is hidden and disabled: a scenario cannot choose it.
QOR_NETWORK=none run_program none 3 'dialog "Encrypt and Shutdown": 1004=1 -> 1' "$SHUTDOWN"
expect_output none err 'scenario line 1: 1004 is hidden or disabled in "Encrypt and Shutdown"'
expect_eq "$(recorded)" "" "calls without a network"
# The real probe, where a process can have a network namespace of its own (only loopback, down).
if unshare -rn true 2>/dev/null; then
    printf 'dialog "Encrypt and Shutdown": 1004=1 -> 1\n' >"$E2E_ROOT/ns.scenario"
    (unset QOR_NETWORK
     QOR_UI="script:$E2E_ROOT/ns.scenario" unshare -rn "$SHUTDOWN" </dev/null >/dev/null \
         2>"$E2E_ROOT/ns.err")
    expect_eq "$?" 3 "exit status in a namespace without a network"
    expect_output ns err 'scenario line 1: 1004 is hidden or disabled in "Encrypt and Shutdown"'
else
    echo "note: no network namespace here; the real probe is not tried"
fi
checks_end
