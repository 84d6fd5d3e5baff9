# shellcheck shell=bash disable=SC2034  # settings used by the sourcing test scripts
# Shared by the fault tests: sourced by each test script, which CTest starts as
#   bash TEST.sh QOR QOR_INSTALL SHIM
# with the built programs and the disk-fault shim. Every test gets a fresh temporary root with
# the emulated registry, a home folder laid out by qor-install, its own $HOME, a user set up
# with the password "secret1", and a data folder. The root goes when the test ends
# (QOR_FAULTS_KEEP=1 keeps it for a look after a failure).
set -uo pipefail
# shellcheck source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

if [[ $# -lt 3 ]]; then
    echo "usage: bash $0 QOR QOR_INSTALL SHIM" >&2
    exit 2
fi
BUILT_QOR=$1
BUILT_INSTALL=$2
SHIM=$3
for program in "$BUILT_QOR" "$BUILT_INSTALL"; do
    [[ -x $program ]] || { echo "not a built program: $program" >&2; exit 2; }
done
[[ -f $SHIM ]] || { echo "no shim library: $SHIM" >&2; exit 2; }

ROOT=$(mktemp -d "${TMPDIR:-/tmp}/qor-faults.XXXXXX") || exit 2
ROOT=$(cd "$ROOT" && pwd -P)  # the product shows real paths in its messages

cleanup() {
    if [[ ${QOR_FAULTS_KEEP:-0} == 1 ]]; then
        echo "kept $ROOT"
        return
    fi
    rm -rf -- "$ROOT"
}
trap cleanup EXIT

# The names in a folder, one line each, sorted; hidden names included.
listing() {
    (cd "$1" && LC_ALL=C ls -A)
}
expect_listing() {  # FOLDER EXPECTED-NAMES...
    local folder=$1
    shift
    local expected=""
    [[ $# -gt 0 ]] && expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
    local actual
    actual=$(listing "$folder")
    [[ $actual == "$expected" ]] ||
        fail "folder $folder holds [${actual//$'\n'/ }], expected [${expected//$'\n'/ }]"
}
# The transcript's message lines, in order.
messages() {
    grep '^message: ' "$1" || true
}

# A sanitizer runtime must come first among the loaded libraries: when the programs carry one,
# it is preloaded in front of the shim.
PRELOAD=$SHIM
SANITIZED=0
asan_runtime=$(ldd "$BUILT_QOR" 2>/dev/null | awk '/libasan/ { print $3; exit }')
if [[ -n $asan_runtime ]]; then
    PRELOAD=$asan_runtime:$SHIM
    SANITIZED=1
fi

export HOME=$ROOT/user
export XDG_DATA_HOME=$HOME/.local/share
export XDG_CONFIG_HOME=$HOME/.config
export QOR_REGISTRY=$ROOT/registry.reg
# This test's own shared password block and busy flag (tests run side by side).
export QOR_SHARED_TAG="faults-${ROOT##*.}"
unset QOR_UI QOR_UI_LOG
mkdir -p "$HOME" "$ROOT/runs"
DATA=$ROOT/data
mkdir -p "$DATA"

PASSWORD=secret1
ENCRYPT_DIALOG='dialog "Encrypt": 1022="secret1" -> 1'
DECRYPT_DIALOG='dialog "Decrypt": 1022="secret1" -> 1'

# run_qor NAME SCENARIO ARGS...: one qor process answered from SCENARIO, with the shim loaded
# (it does nothing unless QOR_FAULT_* variables are set for the call). Sets RC, LOG and OUT.
# A password in the transcript or the output fails the test.
RUNS=0
run_qor() {
    local name=$1 scenario=$2
    shift 2
    RUNS=$((RUNS + 1))
    local base=$ROOT/runs/$RUNS-$name
    printf '%s\n' "$scenario" >"$base.scenario"
    LOG=$base.log
    OUT=$base.out
    RC=0
    QOR_UI="script:$base.scenario" QOR_UI_LOG=$LOG LD_PRELOAD=$PRELOAD "$QOR" "$@" >"$OUT" 2>&1 ||
        RC=$?
    touch "$LOG"
    if grep -q -F -- "$PASSWORD" "$LOG" "$OUT"; then
        fail "$name: the password shows in the transcript or the output"
    fi
}
show_run() {  # after a failed check: what the last run said
    echo "--- transcript $LOG" >&2
    cat "$LOG" >&2
    echo "--- output $OUT" >&2
    cat "$OUT" >&2
}

# Random bytes of SIZE MiB, real data on disk (no holes).
make_data() {  # FILE MIB
    head -c "$(($2 << 20))" /dev/urandom >"$1"
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# The MD5 of every file below a folder, by its path there: one pass over a whole tree.
sums_of() {  # FOLDER ARRAY-NAME
    local -n into=$2
    into=()
    local sum path
    while read -r sum path; do
        into[${path#./}]=$sum
    done < <(cd "$1" && find . -type f -exec md5sum -- {} +)
}

# Every encrypted file given (by its plaintext's path below $DATA and $REF) decrypts, in one
# fresh qor run over links to them in the folder $VERIFY, to its original plaintext and nothing
# else. Prints the paths that do not.
failing_decryptions() {  # PATHS...
    rm -rf -- "$VERIFY" && mkdir -p "$VERIFY"
    local rel
    for rel in "$@"; do
        ln -- "$DATA/${rel%.dat}(dat).!!!" "$VERIFY/" || { echo "$rel"; continue; }
    done
    run_qor "verify" "$DECRYPT_DIALOG" decrypt "$VERIFY"
    if [[ $RC -ne 0 || -n $(messages "$LOG") ]]; then
        show_run
        printf '%s\n' "$@"
        return
    fi
    for rel in "$@"; do
        cmp -s -- "$VERIFY/${rel##*/}" "$REF/$rel" || echo "$rel"
        rm -f -- "$VERIFY/${rel##*/}"
    done
    [[ -z $(listing "$VERIFY") ]] || fail "verify: the decryption left $(listing "$VERIFY")"
}

install_output=$("$BUILT_INSTALL" --home "$ROOT/home") || {
    echo "qor-install failed" >&2
    exit 1
}
QOR=$ROOT/home/qor
[[ -x $QOR ]] || {
    echo "qor-install placed no qor in $ROOT/home ($install_output)" >&2
    exit 1
}
run_qor setup "$SETUP_SCENARIO" setup
if [[ $RC -ne 0 ]]; then
    show_run
    echo "setup failed" >&2
    exit 1
fi
