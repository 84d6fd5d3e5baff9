#!/usr/bin/env bash
# vodorura.rar under Wine, the log-on program (a program called .rar, which Windows starts by its
# contents; installer.sh has a log-on start it from the Run value): with decryption at start-up
# off it asks nothing, makes the Start-menu link and calls SH_CheckPassword once per period
# (shortened here) from the timer of its hidden window; the end of the session is agreed to and
# stops the timer, an end called off starts it again, and the end itself ends the program with
# status 0; during the start-up work the end is refused. With decryption at start-up on it
# decrypts the listed files first, its password asked in its own window's dialog. A Run value
# blanked by the uninstall leaves it nothing to do.
source "$(dirname "$0")/wine_lib.sh"

DRIVER=$HELPERS/session_driver.exe
PID=

install_product
expect_same "$HOME_DIR/vodorura.rar" "$BIN/vodorura.rar"
AUTOSTART=$(logged_copy vodorura.rar)
setup_user

# start_autostart NAME SCENARIO: the installed program in the background, its period 50 ms.
start_autostart() {
    printf '%s\n' "$2" >"$ROOT/$1.scenario"
    rm -f -- "$CALLS"
    QOR_AUTOSTART_PERIOD_MS=${PERIOD:-50} QOR_UI="script:$(winpath "$ROOT/$1.scenario")" \
        QOR_UI_LOG="$(winpath "$ROOT/$1.log")" wine_run "$AUTOSTART" >"$ROOT/$1.out" \
        2>"$ROOT/$1.err" &
    PID=$!
    STARTED_PIDS+=("$PID")
}
checks() {
    calls | grep -c '^SH_CheckPassword$'
}
# checks_made N: waits up to 30 s (the Start-menu link is slow to make under Wine).
checks_made() {
    local k
    for ((k = 0; k < 300; k++)); do
        (($(checks) >= $1)) && return 0
        sleep 0.1
    done
    return 1
}
# end_autostart NAME: the session's end, agreed to, and the program gone with status 0.
end_autostart() {
    expect_eq "$(wine_run "$DRIVER" end | tr -d '\r')" "1" "$1: the end of the session agreed"
    wait "$PID"
    expect_eq "$?" 0 "$1: exit status at the end of the session"
    touch -- "$ROOT/$1.log"
    expect_no_secrets "$ROOT/$1.log" "$ROOT/$1.out" "$ROOT/$1.err"
}

# Start-up decryption off: no dialog, the link made, then a check on every period.
START_MENU=$(wine_run winepath -u "$(reg_value "$KEY_SHELL_FOLDERS" "Start Menu")" 2>/dev/null)
LINK="$START_MENU/QOR Encrypt and Shut Down....lnk"
rm -f -- "$LINK"
start_autostart off ""
checks_made 3 || fail "off: SH_CheckPassword was not called three times"
expect_eq "$(calls | sed -n 1,3p)" $'SH_AutoDecrypt\nSH_AddToStartMenu\nSH_CheckPassword' \
    "off: the calls in order"
expect_file "$LINK"

# The query of the session's end is agreed to and stops the timer; an end called off by another
# program starts it again.
expect_eq "$(wine_run "$DRIVER" query | tr -d '\r')" "1" "off: the query agreed to"
sleep 0.3
before=$(checks)
sleep 1
expect_eq "$(checks)" "$before" "off: checks while the end is pending"
wine_run "$DRIVER" cancel
checks_made $((before + 5)) || fail "off: no checks after the end was called off"
end_autostart off
expect_transcript off </dev/null

# While the log-on decryption's dialogs are up (pumping the window's messages), the end of the
# session is refused: it might cut the decryption short. Once it is done, the end is agreed to.
QOR_TEST_PUMP_MS=4000 start_autostart busy ""
for ((k = 0; k < 100; k++)); do [[ $(calls) == SH_AutoDecrypt* ]] && break; sleep 0.1; done
expect_eq "$(wine_run "$DRIVER" query | tr -d '\r')" "0" "busy: the query refused during the work"
checks_made 1 || fail "busy: no checks after the log-on decryption"
end_autostart busy

# A bad period is said so and the default used.
PERIOD=0 start_autostart period ""
for ((k = 0; k < 100; k++)); do [[ -s $ROOT/period.err ]] && break; sleep 0.1; done
end_autostart period
expect_output period err "qor-autostart: QOR_AUTOSTART_PERIOD_MS=0 is not 1 to 3600000; using 30000"

# Start-up decryption on: the listed file is decrypted with the password asked at log-on.
W=$ROOT/work
mkdir -p "$W"
printf 'MARKER listed\n' >"$W/listed.txt"
cp -- "$W/listed.txt" "$ROOT/listed.txt"
PASSWORD='dialog "Password": 1022="secret1" -> 1'
run_program add 0 "$PASSWORD" "$HOME_DIR/qor.exe" autocrypt add "$(winpath "$W/listed.txt")"
run_program startup-on 0 "$PASSWORD" "$HOME_DIR/qor.exe" autocrypt startup on
run_program encrypt 0 "$PASSWORD" "$HOME_DIR/qor.exe" autocrypt run-shutdown
expect_absent "$W/listed.txt"
expect_file "$W/listed(txt).!!!"
start_autostart on 'dialog "QOR Vaultis Auto Decryption": 1022="secret1" -> 1'
checks_made 1 || fail "on: no checks after the log-on decryption"
end_autostart on
# The dialogs (the progress dialog's status lines name the file in a shortened form).
expect_eq "$(tr -d '\r' <"$ROOT/on.log" | grep -v '^status: ')" \
    $'dialog: QOR Vaultis Auto Decryption\ndialog: Decrypting' "on: the dialogs"
expect_same "$W/listed.txt" "$ROOT/listed.txt"
expect_absent "$W/listed(txt).!!!"
expect_eq "$(calls | sed -n 1,2p)" $'SH_AutoDecrypt\nSH_AddToStartMenu' "on: the calls in order"

# Blanked by the uninstall: it ends at once and calls nothing.
reg_set "$KEY_RUN" "QOR Autocrypt" ""
start_autostart blank ""
wait "$PID"
expect_eq "$?" 0 "blank: exit status with a blank Run value"
expect_eq "$(calls)" "" "blank: calls with a blank Run value"
checks_end
