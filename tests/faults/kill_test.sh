#!/usr/bin/env bash
# A qor encrypt or decrypt killed (SIGKILL) at a random moment, again and again. After every
# kill the user's data must still be there in one complete copy: the plaintext byte-identical,
# or the encrypted file, which a fresh qor decrypt turns back into that plaintext. What else a
# kill leaves is counted and shown.
#
#   QOR_FAULTS_SEED   seed of the kill moments (printed; set it to repeat a run)
#   QOR_FAULTS_KILLS  kills per direction (default 25; 15 in a sanitizer build)
source "$(dirname "$0")/lib.sh"

MIB_COUNT=24
KILLS=${QOR_FAULTS_KILLS:-$([[ $SANITIZED == 1 ]] && echo 15 || echo 25)}
SEED=${QOR_FAULTS_SEED:-$(($(date +%s%N) % 32768))}
echo "seed $SEED, $KILLS kills each way (QOR_FAULTS_SEED=$SEED repeats the moments)"
RANDOM=$SEED

SOURCE=$DATA/big.dat
ENCRYPTED="$DATA/big(dat).!!!"
REF=$ROOT/big.ref
ENC_REF=$ROOT/big.enc
VERIFY=$ROOT/verify
make_data "$REF" $MIB_COUNT

# A fresh qor decrypt of a link to the encrypted file in a folder of its own gives the original
# plaintext and nothing else.
decrypts_to_original() {  # ENCRYPTED-FILE
    rm -rf -- "$VERIFY" && mkdir -p "$VERIFY"
    ln -- "$1" "$VERIFY/big(dat).!!!" || return 1
    run_qor "verify" "$DECRYPT_DIALOG" decrypt "$VERIFY/big(dat).!!!"
    if [[ $RC -ne 0 || -n $(messages "$LOG") ]] || ! cmp -s -- "$VERIFY/big.dat" "$REF" ||
        [[ $(listing "$VERIFY") != big.dat ]]; then
        show_run
        return 1
    fi
    return 0
}

# One qor process in the background, killed after DELAY milliseconds unless it ended before.
# Sets KILLED to 1 when the kill found it running.
run_and_kill() {  # DELAY-MS SCENARIO ARGS...
    local delay=$1 scenario=$2
    shift 2
    printf '%s\n' "$scenario" >"$ROOT/runs/killed.scenario"
    QOR_UI="script:$ROOT/runs/killed.scenario" QOR_UI_LOG=$ROOT/runs/killed.log \
        LD_PRELOAD=$PRELOAD "$QOR" "$@" >"$ROOT/runs/killed.out" 2>&1 &
    local pid=$!
    sleep "$(awk -v ms="$delay" 'BEGIN { printf "%.3f", ms / 1000 }')"
    kill -KILL "$pid" 2>/dev/null
    local rc=0
    wait "$pid" 2>/dev/null || rc=$?
    KILLED=0
    [[ $rc -eq $((128 + 9)) ]] && KILLED=1
    if [[ $KILLED == 0 && $rc -ne 0 ]]; then
        fail "qor $1 ended with status $rc before it was killed"
        cat "$ROOT/runs/killed.log" "$ROOT/runs/killed.out" >&2
    fi
}

declare -A OUTCOMES=()

# The invariant, what else the kill left, and which state that was. A killed encryption may
# leave its output (partial or complete) beside the intact plaintext, or a partly overwritten
# plaintext beside the complete encrypted file; a killed decryption its temporary file beside
# the encrypted one, or both complete files. Anything else fails.
check() {  # WHAT encrypt|decrypt
    local what=$1 direction=$2 state name temporary=0
    if [[ -f $SOURCE ]] && cmp -s -- "$SOURCE" "$REF"; then
        state="plaintext intact"
        [[ -e $ENCRYPTED ]] && state+=", encrypted file beside it"
    elif [[ -f $ENCRYPTED ]] && cmp -s -- "$ENCRYPTED" "$ENC_REF"; then
        # Byte for byte the file that a fresh qor decrypt turned into the plaintext above.
        state="encrypted file intact"
    elif [[ -f $ENCRYPTED ]] && decrypts_to_original "$ENCRYPTED"; then
        state="encrypted file complete"
    else
        fail "$what: the plaintext is gone or damaged, and no encrypted file decrypts to it"
        state="DATA LOST"
    fi
    if [[ -e $SOURCE ]] && ! cmp -s -- "$SOURCE" "$REF"; then
        state+=", plaintext partly overwritten beside it"
        # Only the overwrite of an encrypted source writes over the plaintext's own name.
        [[ $direction == encrypt ]] || fail "$what: a damaged plaintext under the final name"
    fi
    while IFS= read -r name; do
        case $name in
            big.dat | "big(dat).!!!") ;;
            "~fs"[0-9][0-9][0-9][0-9a-z].tmp) temporary=$((temporary + 1)) ;;
            *) fail "$what: unexpected file $name" ;;
        esac
    done < <(listing "$DATA")
    if [[ $temporary -gt 0 ]]; then
        state+=", temporary file left"
        [[ $direction == decrypt ]] || fail "$what: a temporary file after an encryption"
        [[ $temporary -eq 1 ]] || fail "$what: $temporary temporary files"
    fi
    OUTCOMES[$state]=$((${OUTCOMES[$state]:-0} + 1))
}

summary() {  # DIRECTION
    echo "$1: after $KILLS attempts ($2 killed while running):"
    local state
    for state in "${!OUTCOMES[@]}"; do
        printf '  %3d  %s\n' "${OUTCOMES[$state]}" "$state"
    done | sort -k2
    OUTCOMES=()
}

echo "== baseline: one encryption and one decryption to the end"
cp -- "$REF" "$SOURCE"
start=$(now_ms)
run_qor "encrypt" "$ENCRYPT_DIALOG" encrypt "$SOURCE"
ENCRYPT_MS=$(($(now_ms) - start))
expect_listing "$DATA" "big(dat).!!!"
cp -- "$ENCRYPTED" "$ENC_REF"
start=$(now_ms)
run_qor "decrypt" "$DECRYPT_DIALOG" decrypt "$ENCRYPTED"
DECRYPT_MS=$(($(now_ms) - start))
expect_same "$SOURCE" "$REF"
expect_listing "$DATA" big.dat
echo "encryption ${ENCRYPT_MS} ms, decryption ${DECRYPT_MS} ms for $MIB_COUNT MiB"
[[ $CHECK_FAILURES -eq 0 ]] || checks_end

echo "== encryption killed"
killed=0
for ((k = 1; k <= KILLS; k++)); do
    rm -rf -- "$DATA" && mkdir -p "$DATA" && cp -- "$REF" "$SOURCE"
    run_and_kill $((RANDOM * ENCRYPT_MS / 32768)) "$ENCRYPT_DIALOG" encrypt "$SOURCE"
    killed=$((killed + KILLED))
    check "encryption kill $k" encrypt
done
summary "encryption" $killed

echo "== decryption killed"
killed=0
for ((k = 1; k <= KILLS; k++)); do
    rm -rf -- "$DATA" && mkdir -p "$DATA" && cp -- "$ENC_REF" "$ENCRYPTED"
    run_and_kill $((RANDOM * DECRYPT_MS / 32768)) "$DECRYPT_DIALOG" decrypt "$ENCRYPTED"
    killed=$((killed + KILLED))
    check "decryption kill $k" decrypt
done
summary "decryption" $killed

checks_end
