# shellcheck shell=bash disable=SC2034  # settings used by the sourcing test scripts
# Shared by the end-to-end tests: sourced by each test script, which CTest starts as
#   bash TEST.sh QOR QOR_INSTALL DECEXE
# with the paths of the built programs. Every test gets a fresh temporary root holding the
# emulated registry, a home folder laid out by qor-install, its own $HOME and its data; the root
# goes when the test ends (QOR_E2E_KEEP=1 keeps it for a look after a failure).
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

if [[ $# -lt 3 ]]; then
    echo "usage: bash $0 QOR QOR_INSTALL DECEXE" >&2
    exit 2
fi
BUILT_QOR=$1
BUILT_INSTALL=$2
BUILT_DECEXE=$3
for program in "$BUILT_QOR" "$BUILT_INSTALL" "$BUILT_DECEXE"; do
    [[ -x $program ]] || { echo "not a built program: $program" >&2; exit 2; }
done

E2E_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/qor-e2e.XXXXXX") || exit 2
# The passwords the tests type; none may ever appear in a transcript or in a program's output.
E2E_SECRETS=(secret1 onetime1 wrongpw1 badpass9)

# The AutoCrypt start-up program, which the setup starts, runs until its session ends; the
# programs started from the test's root end with the test (found by their own file, by id).
e2e_end_programs() {
    local exe pid
    for exe in /proc/[0-9]*/exe; do
        [[ $(readlink -- "$exe" 2>/dev/null) == "$E2E_ROOT"/* ]] || continue
        pid=${exe#/proc/}
        kill -TERM "${pid%/exe}" 2>/dev/null
    done
}

e2e_cleanup() {
    e2e_end_programs
    if [[ ${QOR_E2E_KEEP:-0} == 1 ]]; then
        echo "kept $E2E_ROOT"
        return
    fi
    # Read-only files and folders are part of the tests; make them removable first.
    chmod -R u+w -- "$E2E_ROOT" 2>/dev/null
    rm -rf -- "$E2E_ROOT"
}
trap e2e_cleanup EXIT

expect_file() {
    [[ -f $1 ]] || fail "missing file: $1"
}
expect_absent() {
    [[ ! -e $1 && ! -L $1 ]] || fail "should not exist: $1"
}
expect_differs() {  # A B: both there, contents differ (an encrypted file is not its plaintext)
    if [[ ! -f $1 || ! -f $2 ]]; then
        fail "missing file: $1 or $2"
    elif cmp -s -- "$1" "$2"; then
        fail "same content: $1 and $2"
    fi
}
# The regular files under a folder, relative and sorted, one per line.
tree_of() {
    (cd "$1" && find . \( -type f -o -type l -o -type p \) -printf '%P\n' | LC_ALL=C sort)
}
expect_tree() {  # FOLDER, then the expected relative names on stdin
    local actual expected
    actual=$(tree_of "$1")
    expected=$(LC_ALL=C sort)
    if [[ $actual != "$expected" ]]; then
        fail "files under $1 differ from what was expected:"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' >&2
    fi
}
mode_of() { stat -c %a -- "$1"; }
mtime_of() { stat -c %y -- "$1"; }

# The environment every program of the product sees: the registry file, the scenario host, a
# home of the test's own. Nothing of the user running the tests is read or changed.
export HOME=$E2E_ROOT/user
export QOR_REGISTRY=$E2E_ROOT/registry.reg
unset XDG_DATA_HOME XDG_CONFIG_HOME QOR_UI QOR_UI_LOG QOR_NETWORK QOR_AUTOSTART_PERIOD_MS
# No desktop either: a display would bring up real dialogs where the tests expect none.
unset DISPLAY WAYLAND_DISPLAY
export TZ=UTC
# A sanitized build's programs run with the call log preloaded in front of their runtime.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
# The password block and busy flag the user's processes share: this test's own, so that tests
# running side by side never see each other's.
export QOR_SHARED_TAG="e2e-${E2E_ROOT##*.}"
mkdir -p -- "$HOME"
QOR_HOME=$E2E_ROOT/qorhome
DATA=$E2E_ROOT/data
mkdir -p -- "$DATA"
QOR=$QOR_HOME/qor

# Lays out the home folder with qor-install; qor then runs from there, beside its core library.
e2e_install() {
    local output
    output=$("$BUILT_INSTALL" --home "$QOR_HOME") || { fail "qor-install failed"; checks_end; }
    expect_eq "$output" "Installed in $QOR_HOME" "qor-install output"
    for program in qor libqorsec95.so decexe; do
        [[ -x $QOR_HOME/$program ]] || { fail "qor-install did not place $program"; checks_end; }
    done
    expect_same "$QOR_HOME/decexe" "$BUILT_DECEXE"
    expect_same "$QOR_HOME/qor" "$BUILT_QOR"
}

# run_qor NAME STATUS SCENARIO [ARGS...]: runs the installed qor with ARGS, its dialogs answered
# from SCENARIO (a new file per run: the host reads it once per process) and its transcript in
# $E2E_ROOT/NAME.log; standard output and error go to NAME.out and NAME.err. Checks the exit
# status, and that no password reached the transcript or the output. E2E_HOST_ENV, when a test
# sets it, replaces the script host's settings: NAME=VALUE words (without blanks) for env; @NAME@
# stands for the run's name (another host that answers the same scenario).
run_qor() {
    local name=$1 want=$2 scenario=$3
    shift 3
    printf '%s\n' "$scenario" >"$E2E_ROOT/$name.scenario"
    rm -f -- "$E2E_ROOT/$name.log"
    local -a host=("QOR_UI=script:$E2E_ROOT/$name.scenario")
    [[ -n ${E2E_HOST_ENV:-} ]] && read -r -a host <<<"${E2E_HOST_ENV//@NAME@/$name}"
    env "${host[@]}" QOR_UI_LOG="$E2E_ROOT/$name.log" \
        "$QOR" "$@" </dev/null >"$E2E_ROOT/$name.out" 2>"$E2E_ROOT/$name.err"
    local got=$?
    if [[ $got != "$want" ]]; then
        fail "$name: qor $* ended with status $got, expected $want"
        sed 's/^/    stderr: /' "$E2E_ROOT/$name.err" >&2
    fi
    touch -- "$E2E_ROOT/$name.log"
    expect_no_secrets "$E2E_ROOT/$name.log" "$E2E_ROOT/$name.out" "$E2E_ROOT/$name.err"
}

expect_no_secrets() {
    local file secret
    for file in "$@"; do
        for secret in "${E2E_SECRETS[@]}"; do
            if grep -qF -- "$secret" "$file"; then fail "a password shows in $file"; fi
        done
    done
}

# The dialogs and messages of run NAME, exactly and in order (the progress dialogs' status lines
# left out), against the lines on stdin.
expect_transcript() {
    local name=$1 actual expected
    actual=$(grep -v '^status: ' "$E2E_ROOT/$name.log")
    expected=$(cat)
    if [[ $actual != "$expected" ]]; then
        fail "$name: the transcript differs from what was expected:"
        diff <(echo "$expected") <(echo "$actual") | sed 's/^/    /' >&2
    fi
}

expect_output() {  # NAME out|err EXPECTED: the whole of a run's standard output or error
    expect_eq "$(cat "$E2E_ROOT/$1.$2")" "$3" "$1: std$2"
}

# What the setup of SETUP_SCENARIO (tests/support/checks.sh) shows.
SETUP_TRANSCRIPT='dialog: QOR Vaultis
dialog: Random Seeding
message: QOR Vaultis: Done with random seeding. [OK]
dialog: QOR Vaultis
dialog: QOR Vaultis
message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to confirm this. [OK/Cancel]
message: QOR Vaultis: QOR Vaultis setup is now complete. [OK]'

# Installs and sets up the user Alice with the password secret1.
e2e_setup_user() {
    e2e_install
    run_qor setup 0 "$SETUP_SCENARIO" setup
    expect_transcript setup <<<"$SETUP_TRANSCRIPT"
    [[ -f $QOR_HOME/userpref.!!! ]] || { fail "setup wrote no preference file"; checks_end; }
}

# The local encrypt and decrypt dialogs answered with the user's password, not kept.
ENCRYPT_OK='dialog "Encrypt": 1022="secret1" -> 1'
DECRYPT_OK='dialog "Decrypt": 1022="secret1" -> 1'
