#!/usr/bin/env bash
# The small programs' dialogs as windows on a (virtual) desktop, each scenario line carried out
# through the widgets: qor-shutdown's choices, its help and the password the core asks for, and
# qor-uninstall's question and messages when the session cannot be ended. Every dialog and box
# is photographed into <build>/screenshots/desktop/shutdown/ and desktop/uninstall/ (RUN-NN-*.png)
# and checked for controls that do not fit. The session's end is the recorder.
DESKTOP=${DISPLAY:-}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/session_lib.sh"

BUILT_SHUTDOWN=${4:-}
BUILT_UNINSTALL=${5:-}
[[ -x $BUILT_SHUTDOWN && -x $BUILT_UNINSTALL ]] ||
    { echo "usage: bash $0 QOR QOR_INSTALL DECEXE QOR_SHUTDOWN QOR_UNINSTALL" >&2; exit 2; }
[[ -n $DESKTOP ]] || { echo "no display (run under xvfb-run): skipped"; exit 0; }
SHOTS=$(cd "$(dirname "$BUILT_QOR")/.." && pwd)/screenshots/desktop
e2e_setup_user
[[ -f $QOR_HOME/libqor-ui-gtk.so ]] || { echo "the GTK host was not built: skipped"; exit 0; }
use_recorder
export QOR_NETWORK=up  # every way to end the session is offered
rm -rf -- "${SHOTS:?}/shutdown" "${SHOTS:?}/uninstall"
mkdir -p -- "$SHOTS/shutdown" "$SHOTS/uninstall"

# run_gtk_program NAME STATUS SCENARIO FOLDER PROGRAM: the program with the GTK host, its
# screenshots moved to FOLDER with the run's name before theirs.
run_gtk_program() {
    local name=$1 want=$2 scenario=$3 folder=$4 program=$5 shot
    printf '%s\n' "$scenario" >"$E2E_ROOT/$name.scenario"
    rm -rf -- "${E2E_ROOT:?}/$name.shots" "$E2E_ROOT/$name.log"
    mkdir -p -- "$E2E_ROOT/$name.shots"
    DISPLAY=$DESKTOP NO_AT_BRIDGE=1 QOR_UI=gtk QOR_GTK_SCENARIO="$E2E_ROOT/$name.scenario" \
        QOR_GTK_SHOTS="$E2E_ROOT/$name.shots" QOR_UI_LOG="$E2E_ROOT/$name.log" \
        "$program" </dev/null >"$E2E_ROOT/$name.out" 2>"$E2E_ROOT/$name.err"
    local got=$?
    if [[ $got != "$want" ]]; then
        fail "$name: ${program##*/} ended with status $got, expected $want"
        sed 's/^/    stderr: /' "$E2E_ROOT/$name.err" >&2
    fi
    touch -- "$E2E_ROOT/$name.log"
    expect_no_secrets "$E2E_ROOT/$name.log" "$E2E_ROOT/$name.out" "$E2E_ROOT/$name.err"
    ! grep -F "layout of" "$E2E_ROOT/$name.err" >&2 || fail "$name: a dialog's controls do not fit"
    for shot in "$E2E_ROOT/$name.shots"/*.png; do
        [[ -s $shot ]] || { fail "$name: no screenshot"; continue; }
        mv -- "$shot" "$SHOTS/$folder/$name-${shot##*/}"
    done
}

DIALOG='dialog: Encrypt and Shutdown'

# The choices, and Help's topic in a box over them; No ends nothing.
mkdir -p "$QOR_HOME/help"
printf 'Encrypt and Shut Down\nChoose how to end the session.\n\n' >"$QOR_HOME/help/151.txt"
run_gtk_program help 0 'dialog "Encrypt and Shutdown" -> "Help" -> "&No"
message "Choose how to end the session." -> OK' shutdown "$QOR_HOME/qor-shutdown"
expect_transcript help <<<"$DIALOG
message: QOR Vaultis Help: Encrypt and Shut Down\\nChoose how to end the session. [OK]"
expect_eq "$(recorded)" "" "session commands after No"

# A restart with a file on the AutoCrypt list and no kept password: the core asks for it in
# the program's own windows, encrypts the file, then the session ends.
W=$DATA/work
mkdir -p "$W"
printf 'MARKER listed\n' >"$W/listed.txt"
run_qor add 0 'dialog "Password": 1022="secret1" "&Keep password in memory for"=1 -> 1' \
    autocrypt add "$W/listed.txt"
run_qor forget 0 '' clear-password
rm -f -- "$SESSION_LOG"
run_gtk_program restart 0 'dialog "Encrypt and Shutdown": "&Restart the computer?"=1 -> 1
dialog "Password": 1022="secret1" -> 1' shutdown "$QOR_HOME/qor-shutdown"
expect_transcript restart <<<"$DIALOG
dialog: Password
dialog: Encrypting"
expect_tree "$W" <<<"listed(txt).!!!"
expect_eq "$(recorded)" "reboot" "session commands after a restart"

# The uninstall's question; No changes nothing.
CAPTION='QOR Vaultis Uninstall'
ASK="message: $CAPTION: Are you sure you want to uninstall QOR Vaultis? Please decrypt all encrypted files before uninstalling QOR Vaultis. [Yes/No]"
run_gtk_program no 0 'message "Are you sure you want to uninstall" -> No' uninstall \
    "$QOR_HOME/qor-uninstall"
expect_transcript no <<<"$ASK"

# Yes, a session that cannot be ended, and Cancel: the three boxes, and the registry put back.
rm -f -- "$SESSION_LOG"
echo 1 >"$SESSION_STATUS"
run_gtk_program cancel 0 'message "Are you sure you want to uninstall" -> Yes
message "Please wait while Windows restarts." -> OK
message "could not be restarted" -> Cancel' uninstall "$QOR_HOME/qor-uninstall"
expect_transcript cancel <<<"$ASK
message: $CAPTION: Please wait while Windows restarts. [OK]
message: $CAPTION: Windows could not be restarted. Please wait while your system is rebooted [OK/Cancel]"
expect_eq "$(recorded)" "logoff" "session commands after Cancel"
expect_reg "$REGISTRY_RUNONCE" QOR_UNINSTALL "<missing>"
rm -f -- "$SESSION_STATUS"
checks_end
