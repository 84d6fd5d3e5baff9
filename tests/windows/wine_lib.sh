# shellcheck shell=bash disable=SC2034  # settings used by the sourcing test scripts
# Shared by the tests of the Windows programs under Wine: sourced by each script, which CTest
# starts as
#   bash TEST.sh BIN HELPERS
# with the win64 build's bin folder (the programs, qor.exe, qor-install.exe) and the folder of
# the test helpers (recorder.exe, session_driver.exe, proxy/qorshell.dll). Each test installs the
# product into a home folder under a fresh temporary root with qor-install.exe, works in the Wine
# prefix's real registry, and leaves the prefix as it found it: the install removed, the test's
# own keys deleted. The prefix is one of these tests' own in the build folder, its server
# started and stopped by each test. QOR_WINE_KEEP=1 keeps the root for a look after a failure.
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

if [[ $# -lt 2 || ! -d $1 || ! -d $2 ]]; then
    echo "usage: bash $0 WIN64_BIN_DIR HELPERS_DIR" >&2
    exit 2
fi
BIN=$(cd "$1" && pwd)
HELPERS=$(cd "$2" && pwd)
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The programs' windows need a display: without one, the script runs again under a virtual one.
if [[ -z ${DISPLAY:-} && -z ${QOR_WINE_DISPLAY_STARTED:-} ]] && command -v xvfb-run >/dev/null; then
    export QOR_WINE_DISPLAY_STARTED=1
    exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

# A prefix and Wine server of these tests' own, started here with this display and stopped at
# the end: Wine's desktop process keeps the display it was started with.
QOR_WIN64_BUILD=$(dirname "$BIN")
# shellcheck source=../../scripts/wine-env.sh
source "$REPO/scripts/wine-env.sh"
export WINEPREFIX="$QOR_WIN64_BUILD/wineprefix-programs" QOR_WINE_HOME="$QOR_WIN64_BUILD/home-programs"
wine_start
ROOT=$(mktemp -d "${TMPDIR:-/tmp}/qor-wine.XXXXXX") || exit 2
HOME_DIR=$ROOT/home
# The passwords the tests type; none may appear in a transcript or a program's output.
SECRETS=(secret1)

KEY_RUN='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
KEY_RUNONCE='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce'
KEY_PRODUCT='HKLM\SOFTWARE\QOR Data Security\QOR Vaultis\1.1'
KEY_COMMANDS='HKLM\SOFTWARE\QOR Data Security\QOR Vaultis\1.1\Commands'
KEY_HOME='HKCR\CLSID\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\QOR'
KEY_SHELL_FOLDERS='HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'

# Wine's drive Z: is the Unix root.
winpath() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

wine_run() {
    # The names handed over are UTF-8, whatever the calling environment's locale.
    LC_ALL=C.UTF-8 HOME="$QOR_WINE_HOME" "$QOR_WINE" "$@" </dev/null
}

# reg_value KEY NAME: the data of a string value ("" NAME: the key's default value), or <missing>.
reg_value() {
    local out line name=$2 shown
    if [[ -z $name ]]; then
        out=$(wine_run reg query "$1" /ve 2>/dev/null) || { echo "<missing>"; return; }
        shown="(Default)"
    else
        out=$(wine_run reg query "$1" /v "$name" 2>/dev/null) || { echo "<missing>"; return; }
        shown=$name
    fi
    while IFS= read -r line; do
        line=${line%$'\r'}
        if [[ ${line,,} == "    ${shown,,}    reg_sz    "* ]]; then
            printf '%s\n' "${line:$((${#shown} + 18))}"
            return
        elif [[ ${line,,} == "    ${shown,,}    reg_sz" ]]; then
            echo ""
            return
        fi
    done <<<"$out"
    echo "<missing>"
}
expect_reg() {  # KEY NAME EXPECTED
    expect_eq "$(reg_value "$1" "$2")" "$3" "registry value $1 \"$2\""
}
reg_set() {  # KEY NAME VALUE
    wine_run reg add "$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null 2>&1 || fail "reg add $1 $2"
}
reg_delete_value() {  # KEY NAME
    wine_run reg delete "$1" /v "$2" /f >/dev/null 2>&1
}
reg_delete_key() {  # KEY
    wine_run reg delete "$1" /f >/dev/null 2>&1
}
reg_key_exists() {  # KEY
    wine_run reg query "$1" >/dev/null 2>&1
}

# install_product: lays out $HOME_DIR with the win64 build's qor-install.exe.
INSTALLED=0
install_product() {
    INSTALLED=1
    wine_run "$BIN/qor-install.exe" --home "$(winpath "$HOME_DIR")" >"$ROOT/install.out" 2>&1 ||
        { fail "qor-install.exe --home $(winpath "$HOME_DIR")"; cat "$ROOT/install.out" >&2; }
}

# logged_copy PROGRAM: a copy of the installed PROGRAM in a folder of its own whose qorshell.dll
# is the test's: it notes the calls of the shell library in $CALLS and passes them on to the
# installed library (loaded by its full path, so that the password kept in its shared data is the
# one the installed qor.exe sees). The core library is copied beside it, as the shell library
# finds it by its bare name. Prints the copy's path.
CALLS=$ROOT/calls.log
logged_copy() {
    local folder=$ROOT/logged
    mkdir -p "$folder"
    cp -- "$HELPERS/proxy/qorshell.dll" "$HOME_DIR/qorsec95.dll" "$HOME_DIR/$1" "$folder/"
    printf '%s\n' "$folder/$1"
}
export QOR_TEST_CALLS QOR_TEST_REAL_SHELL
QOR_TEST_CALLS=$(winpath "$CALLS")
QOR_TEST_REAL_SHELL=$(winpath "$HOME_DIR/qorshell.dll")
calls() {
    [[ -f $CALLS ]] && tr -d '\r' <"$CALLS"
}

# The recorder in place of every way of ending the session: each end appends its word to
# $SESSION_LOG and exits with the number in $SESSION_STATUS (0 when missing).
SESSION_LOG=$ROOT/session.log
SESSION_STATUS=$ROOT/session.status
recorder_command() {  # WORD [STATUS-FILE]
    printf '"%s" "%s" "%s" %s' "$(winpath "$HELPERS/recorder.exe")" "$(winpath "$SESSION_LOG")" \
        "$(winpath "${2:-$SESSION_STATUS}")" "$1"
}
use_recorder() {
    reg_set "$KEY_COMMANDS" Shutdown "$(recorder_command shutdown)"
    reg_set "$KEY_COMMANDS" Reboot "$(recorder_command reboot)"
    reg_set "$KEY_COMMANDS" Logoff "$(recorder_command logoff)"
}
recorded() {
    [[ -f $SESSION_LOG ]] && tr -d '\r' <"$SESSION_LOG"
}

# run_program NAME STATUS SCENARIO PROGRAM [ARGS...]: runs a Windows program with its dialogs
# answered from SCENARIO; its transcript is $ROOT/NAME.log, its output NAME.out and NAME.err.
run_program() {
    local name=$1 want=$2 scenario=$3 program=$4
    shift 4
    printf '%s\n' "$scenario" >"$ROOT/$name.scenario"
    rm -f -- "$ROOT/$name.log"
    QOR_UI="script:$(winpath "$ROOT/$name.scenario")" QOR_UI_LOG="$(winpath "$ROOT/$name.log")" \
        wine_run "$program" "$@" >"$ROOT/$name.out" 2>"$ROOT/$name.err"
    local got=$?
    if [[ $got != "$want" ]]; then
        fail "$name: ${program##*/} $* ended with status $got, expected $want"
        sed 's/^/    stderr: /' "$ROOT/$name.err" >&2
    fi
    touch -- "$ROOT/$name.log"
    expect_no_secrets "$ROOT/$name.log" "$ROOT/$name.out" "$ROOT/$name.err"
}
expect_transcript() {  # NAME, then the expected transcript on stdin
    local expected actual
    expected=$(cat)
    actual=$(tr -d '\r' <"$ROOT/$1.log" 2>/dev/null)
    [[ $actual == "$expected" ]] ||
        fail "$1: transcript differs:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
}
expect_output() {  # NAME out|err EXPECTED (Wine's own notes, "wine: ...", left out)
    expect_eq "$(tr -d '\r' <"$ROOT/$1.$2" | grep -v '^wine: ')" "$3" "$1: standard $2"
}
expect_no_secrets() {
    local file secret
    for file in "$@"; do
        for secret in "${SECRETS[@]}"; do
            grep -qF -- "$secret" "$file" 2>/dev/null && fail "$file holds the password $secret"
        done
    done
}
expect_file() {
    [[ -f $1 ]] || fail "missing file: $1"
}
expect_absent() {
    [[ ! -e $1 ]] || fail "should not exist: $1"
}

# setup_user: Alice with the password secret1, through the installed qor.exe.
setup_user() {
    run_program setup 0 "$SETUP_SCENARIO" "$HOME_DIR/qor.exe" setup
    expect_file "$HOME_DIR/userpref.!!!"
}

# Programs the test started in the background (the start-up program), by their process ids.
STARTED_PIDS=()

# start_logon_program: the installed start-up program in the background, as the log-on starts it.
# It keeps the shell library loaded all session, as Explorer does, so that a password kept in
# the library's shared data outlives each program that kept it.
start_logon_program() {
    : >"$ROOT/logon.scenario"
    QOR_UI="script:$(winpath "$ROOT/logon.scenario")" wine_run "$HOME_DIR/vodorura.rar" \
        >"$ROOT/logon.out" 2>&1 &
    STARTED_PIDS+=("$!")
    sleep 1
}

wine_cleanup() {
    local pid
    for pid in "${STARTED_PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    reg_delete_key "$KEY_COMMANDS"
    if ((INSTALLED)); then
        wine_run "$HOME_DIR/qor-install.exe" --uninstall --home "$(winpath "$HOME_DIR")" \
            >/dev/null 2>&1
    fi
    wine_stop
    if [[ ${QOR_WINE_KEEP:-0} == 1 ]]; then
        echo "kept $ROOT"
    else
        rm -rf -- "$ROOT"
    fi
}
trap wine_cleanup EXIT
