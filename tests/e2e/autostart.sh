#!/usr/bin/env bash
# qor-autostart, the log-on program: with decryption at start-up off it asks nothing, still makes
# the Start-menu link and calls SH_CheckPassword once per period (shortened here); with it on it
# decrypts the listed files first. SIGTERM or SIGHUP, the session's end, ends it with status 0,
# never in the middle of the log-on decryption. A Run value blanked by the uninstall leaves it
# nothing to do but start the remover of the RunOnce key.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/session_lib.sh"

BUILT_AUTOSTART=${4:-}
CALL_LOG=$(realpath -- "${5:-}" 2>/dev/null)
[[ -x $BUILT_AUTOSTART && -f $CALL_LOG ]] ||
    { echo "usage: bash $0 QOR QOR_INSTALL DECEXE QOR_AUTOSTART CALL_LOG_LIBRARY" >&2; exit 2; }

e2e_setup_user
AUTOSTART=$QOR_HOME/vodorura.rar
expect_same "$AUTOSTART" "$BUILT_AUTOSTART"
expect_same "$QOR_HOME/qor-autostart" "$BUILT_AUTOSTART"
LINK="$HOME/.local/share/applications/QOR Encrypt and Shut Down....desktop"
CALLS=$E2E_ROOT/calls.log
AUTOSTART_PID=

# start_autostart NAME SCENARIO: starts the installed start-up program in the background, its
# exports noted in $CALLS and its period 50 ms.
start_autostart() {
    printf '%s\n' "$2" >"$E2E_ROOT/$1.scenario"
    rm -f -- "$CALLS" "$E2E_ROOT/$1.log"
    LD_PRELOAD=$CALL_LOG QOR_TEST_CALLS=$CALLS QOR_AUTOSTART_PERIOD_MS=50 \
        QOR_UI="script:$E2E_ROOT/$1.scenario" QOR_UI_LOG="$E2E_ROOT/$1.log" \
        "$AUTOSTART" </dev/null >"$E2E_ROOT/$1.out" 2>"$E2E_ROOT/$1.err" &
    AUTOSTART_PID=$!
}

# checks_made N: waits up to 10 s for N calls of SH_CheckPassword.
checks_made() {
    local k
    for ((k = 0; k < 100; k++)); do
        [[ $(grep -c '^SH_CheckPassword$' "$CALLS" 2>/dev/null) -ge $1 ]] && return 0
        sleep 0.1
    done
    return 1
}

# stop_autostart NAME SIGNAL: sends the signal and expects the program to end with status 0.
stop_autostart() {
    kill "-$2" "$AUTOSTART_PID"
    wait "$AUTOSTART_PID"
    expect_eq "$?" 0 "$1: exit status after SIG$2"
    touch -- "$E2E_ROOT/$1.log"
    expect_no_secrets "$E2E_ROOT/$1.log" "$E2E_ROOT/$1.out" "$E2E_ROOT/$1.err"
}

# Start-up decryption off: no dialog, the link made, then a check on every period.
rm -f -- "$LINK"
start_autostart off ""
checks_made 3 || fail "off: SH_CheckPassword was not called three times"
stop_autostart off TERM
expect_transcript off </dev/null
expect_eq "$(sed -n 1,3p "$CALLS")" $'SH_AutoDecrypt\nSH_AddToStartMenu\nSH_CheckPassword' \
    "off: the calls in order"
expect_file "$LINK"
grep -qF -- "$QOR_HOME/qor-shutdown" "$LINK" 2>/dev/null ||
    fail "off: the Start-menu link does not name $QOR_HOME/qor-shutdown"

# The period is kept: 50 ms apart, so about 20 checks a second and never a burst.
start_autostart rate ""
checks_made 2 || fail "rate: no checks"
sleep 1
stop_autostart rate HUP
count=$(grep -c '^SH_CheckPassword$' "$CALLS")
((count >= 8 && count <= 30)) || fail "rate: $count checks in about a second at 50 ms"

# A bad period is said so and the default used (the program then waits 30 s: ended at once).
: >"$E2E_ROOT/period.scenario"
QOR_AUTOSTART_PERIOD_MS=0 QOR_UI="script:$E2E_ROOT/period.scenario" "$AUTOSTART" </dev/null >/dev/null 2>"$E2E_ROOT/period.err" &
pid=$!
sleep 0.5
kill -TERM "$pid"
wait "$pid"
expect_eq "$?" 0 "exit status with a bad period"
expect_output period err "qor-autostart: QOR_AUTOSTART_PERIOD_MS=0 is not 1 to 3600000; using 30000"

# Start-up decryption on: the listed file is decrypted with the password asked at log-on.
W=$DATA/work
mkdir -p "$W"
printf 'MARKER listed\n' >"$W/listed.txt"
cp -- "$W/listed.txt" "$E2E_ROOT/listed.txt"
run_qor add 0 'dialog "Password": 1022="secret1" -> 1' autocrypt add "$W/listed.txt"
run_qor on 0 'dialog "Password": 1022="secret1" -> 1' autocrypt startup on
run_qor encrypt 0 'dialog "Password": 1022="secret1" -> 1' autocrypt run-shutdown
run_qor forget 0 "" clear-password
expect_tree "$W" <<<"listed(txt).!!!"
# The end of the session asked for at once, while the log-on decryption may still run: it waits
# for the decryption (the signal is sent as soon as the program holds it back).
start_autostart on 'dialog "QOR Vaultis Auto Decryption": 1022="secret1" -> 1'
for ((k = 0; k < 100; k++)); do
    mask=$(awk '/^SigBlk:/ { print $2 }' "/proc/$AUTOSTART_PID/status" 2>/dev/null)
    [[ -n $mask ]] && (((16#$mask >> 14) & 1)) && break
    sleep 0.05
done
stop_autostart on TERM
expect_transcript on <<<$'dialog: QOR Vaultis Auto Decryption\ndialog: Decrypting'
expect_tree "$W" <<<"listed.txt"
expect_same "$W/listed.txt" "$E2E_ROOT/listed.txt"
expect_eq "$(sed -n 1,2p "$CALLS")" $'SH_AutoDecrypt\nSH_AddToStartMenu' "on: the calls in order"

# Blanked by the uninstall: it ends at once and calls nothing, but first starts the remover the
# uninstall left in RunOnce, once: the value goes before the command starts.
REMOVER="$E2E_ROOT/remover dir/remove"
mkdir -p -- "${REMOVER%/*}"
printf '#!/bin/sh\necho "ran $*" >>"%s"\n' "$E2E_ROOT/removed" >"$REMOVER"
chmod +x -- "$REMOVER"
reg_section "$REGISTRY_RUN" "QOR Autocrypt="
reg_section "$REGISTRY_RUNONCE" "QOR_UNINSTALL=\"$REMOVER\" --uninstall"
for run in blank blank-again; do
    start_autostart "$run" ""
    wait "$AUTOSTART_PID"
    expect_eq "$?" 0 "$run: exit status with a blank Run value"
    expect_eq "$(cat -- "$CALLS" 2>/dev/null)" "" "$run: calls with a blank Run value"
done
for ((k = 0; k < 50; k++)); do [[ -s $E2E_ROOT/removed ]] && break; sleep 0.1; done
expect_eq "$(cat -- "$E2E_ROOT/removed" 2>/dev/null)" "ran --uninstall" "the RunOnce command, once"
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "<missing>"
checks_end
