#!/usr/bin/env bash
# The disk fills, or a write fails, at a random offset of what a run writes, in both
# directions and again and again: at a write or at the sync that follows, as a full disk
# (ENOSPC, with the free space that is left reported) or as a failing one (EIO, with room to
# spare). Whatever the moment, the user sees at most one message and it is the one for that
# failure, and one complete copy of the data remains: the untouched plaintext alone, or the
# complete encrypted file when only the overwrite of the plaintext failed; in decryption the
# untouched encrypted file alone, or the whole plaintext. Nothing partial is left behind. The
# same faults while the AutoCrypt list is rewritten leave it readable, old or new.
#
#   bash random_fault_test.sh QOR QOR_INSTALL SHIM [TRIALS]
#
#   TRIALS            faults per direction (else QOR_FAULTS_TRIALS, else 12)
#   QOR_FAULTS_SEED   seed of the offsets and kinds (printed; set it to repeat a run)
source "$(dirname "$0")/lib.sh"

TRIALS=${4:-${QOR_FAULTS_TRIALS:-12}}
SEED=${QOR_FAULTS_SEED:-$(($(date +%s%N) % 32768))}
echo "seed $SEED, $TRIALS faults each way (QOR_FAULTS_SEED=$SEED repeats them)"
RANDOM=$SEED

SOURCE=$DATA/big.dat
ENCRYPTED="$DATA/big(dat).!!!"
REF=$ROOT/big.ref
ENC_REF=$ROOT/big.enc
MIB_COUNT=6
make_data "$REF" $MIB_COUNT
SIZE=$(stat -c %s "$REF")
# The overwrite covers the plaintext with whole 512-byte blocks.
OVERWRITE=$(((SIZE + 511) / 512 * 512))

fresh() {  # FILE-TO-PLACE NAME
    rm -rf -- "$DATA" && mkdir -p "$DATA" && cp -- "$1" "$DATA/$2"
}

# A random number in 0..N-1 for N up to 2^30.
random_below() {
    echo $((((RANDOM << 15) | RANDOM) % $1))
}

# The shim's settings for one fault: a budget, a kind and a place. Sets FAULT_ENV and KIND.
choose_fault() {  # TOTAL-BYTES
    local budget
    budget=$(random_below "$1")
    FAULT_ENV=("QOR_FAULT_PATH=$DATA/*" "QOR_FAULT_BUDGET=$budget" "QOR_FAULT_REPORT=$ROOT/written")
    if ((RANDOM % 2 == 0)); then
        KIND=full
        FAULT_ENV+=("QOR_FAULT_FREE=budget")
    else
        KIND=error
        FAULT_ENV+=("QOR_FAULT_ERRNO=EIO" "QOR_FAULT_FREE=$((1 << 40))")
    fi
    if ((RANDOM % 4 == 0)); then
        KIND+=" at sync"
        FAULT_ENV+=("QOR_FAULT_SYNC=1")
    fi
    KIND+=" after $budget bytes"
}

# run_qor with the fault's settings in its environment.
run_faulty() {  # NAME SCENARIO ARGS...
    local setting
    for setting in "${FAULT_ENV[@]}"; do
        export "${setting?}"
    done
    run_qor "$@"
    unset QOR_FAULT_PATH QOR_FAULT_BUDGET QOR_FAULT_REPORT QOR_FAULT_FREE QOR_FAULT_ERRNO \
        QOR_FAULT_SYNC
}

declare -A OUTCOMES=()
count() {
    OUTCOMES[$1]=$((${OUTCOMES[$1]:-0} + 1))
}
summary() {  # DIRECTION
    echo "$1: after $TRIALS faults:"
    local state
    for state in "${!OUTCOMES[@]}"; do
        printf '  %4d  %s\n' "${OUTCOMES[$state]}" "$state"
    done | sort -k2
    OUTCOMES=()
}

# Any message is answered OK; the check says which one it had to be.
ENCRYPT_ANSWERING="$ENCRYPT_DIALOG
message \"\" -> OK
message \"\" -> OK"
DECRYPT_ANSWERING="$DECRYPT_DIALOG
message \"\" -> OK
message \"\" -> OK"

echo "== baseline"
fresh "$REF" big.dat
run_qor "encrypt" "$ENCRYPT_DIALOG" encrypt "$SOURCE"
expect_eq "$(messages "$LOG")" "" "baseline encrypt: messages"
cp -- "$ENCRYPTED" "$ENC_REF"
ENC_SIZE=$(stat -c %s "$ENC_REF")
[[ $CHECK_FAILURES -eq 0 ]] || checks_end

echo "== encryption"
for ((k = 1; k <= TRIALS; k++)); do
    fresh "$REF" big.dat
    # The output, then the overwrite of the source, and a little beyond: a budget that is
    # never reached must change nothing either.
    choose_fault $((ENC_SIZE + OVERWRITE + 4096))
    run_faulty "encrypt $k" "$ENCRYPT_ANSWERING" encrypt "$SOURCE"
    what="encryption $k ($KIND)"
    expect_eq "$RC" 0 "$what: exit status"
    said=$(messages "$LOG")
    if [[ -f $SOURCE ]] && cmp -s -- "$SOURCE" "$REF" && [[ ! -e $ENCRYPTED ]]; then
        state="refused, plaintext untouched"
        if [[ $KIND == full* ]]; then
            expect_eq "$said" \
                "message: QOR Vaultis: Not enough disk space to encrypt \"$SOURCE\". [OK/Cancel]" \
                "$what: message"
        else
            expect_eq "$said" "message: QOR Vaultis: Could not encrypt \"$SOURCE\". [OK/Cancel]" \
                "$what: message"
        fi
    elif [[ -f $ENCRYPTED && ! -e $SOURCE ]]; then
        if [[ -n $said ]]; then
            state="encrypted, the overwrite failed"
            expect_eq "$said" \
                "message: QOR Vaultis: Unable to zeroize the original file \"$SOURCE\". [OK]" \
                "$what: message"
        else
            state="encrypted, no fault reached"
        fi
        # The encrypted file is the only copy now: it must decrypt to the plaintext.
        run_qor "decrypt after $k" "$DECRYPT_DIALOG" decrypt "$ENCRYPTED"
        expect_eq "$(messages "$LOG")" "" "$what: messages of its decryption"
        if ! cmp -s -- "$SOURCE" "$REF"; then
            fail "$what: the encrypted file does not decrypt to the plaintext"
            state="DATA LOST"
        fi
    else
        fail "$what: left [$(listing "$DATA" | paste -sd ' ')] and said [$said]"
        state="DATA LOST"
    fi
    [[ -z $(listing "$DATA" | grep -v -x -e big.dat -e 'big(dat).!!!') ]] ||
        fail "$what: left $(listing "$DATA")"
    count "$state"
    [[ $CHECK_FAILURES -eq 0 ]] || show_run
done
summary encryption

echo "== decryption"
no_space_decrypt="message: QOR Vaultis: Not enough disk space to decrypt \"$ENCRYPTED\". [OK/Cancel]"
tampered_decrypt="message: QOR Vaultis: Could not decrypt  \"$ENCRYPTED\".  File may have been"
tampered_decrypt+=" tampered with or encrypted by another person. [OK/Cancel]"
for ((k = 1; k <= TRIALS; k++)); do
    fresh "$ENC_REF" "big(dat).!!!"
    choose_fault $((SIZE + 4096))
    run_faulty "decrypt $k" "$DECRYPT_ANSWERING" decrypt "$ENCRYPTED"
    what="decryption $k ($KIND)"
    expect_eq "$RC" 0 "$what: exit status"
    said=$(messages "$LOG")
    if [[ -f $ENCRYPTED ]] && cmp -s -- "$ENCRYPTED" "$ENC_REF" &&
        [[ $(listing "$DATA") == "big(dat).!!!" ]]; then
        state="refused, encrypted file untouched"
        if [[ $KIND == full* ]]; then
            expect_eq "$said" "$no_space_decrypt" "$what: message"
        else
            expect_eq "$said" "$tampered_decrypt" "$what: message"
        fi
    elif [[ $(listing "$DATA") == big.dat ]] && cmp -s -- "$SOURCE" "$REF"; then
        state="decrypted, no fault reached"
        expect_eq "$said" "" "$what: messages"
    else
        fail "$what: left [$(listing "$DATA" | paste -sd ' ')] and said [$said]"
        state="DATA LOST"
    fi
    count "$state"
    [[ $CHECK_FAILURES -eq 0 ]] || show_run
done
summary decryption

# The AutoCrypt list rewritten by `qor autocrypt add` and by `qor autocrypt encrypt-now` while
# the disk fills or fails at a random offset of what the run writes in the home folder (the
# list, its temporary files and the preference file). Whatever the moment, the list reads back
# whole, old or new, and the failed run leaves no plain list behind.
echo "== AutoCrypt list"
PASSWORD_DIALOG='dialog "Password": 1022="secret1" -> 1'
PASSWORD_ANSWERING="$PASSWORD_DIALOG$(printf '\nmessage "" -> OK%.0s' 1 2 3 4 5 6)"
LIST=$ROOT/home/autocryp.!!!
PLAIN=$ROOT/home/autocryp.lst
SMALL=$DATA/small.txt
listed() {  # the list as qor shows it, one line an entry
    run_qor list "$PASSWORD_DIALOG" autocrypt list
    [[ $RC -eq 0 ]] || { fail "qor autocrypt list ended with $RC"; show_run; }
    cat "$OUT"
}
fresh_list_data() {
    fresh "$REF" big.dat
    printf 'small\n' >"$SMALL"
}
fresh_list_data
run_qor "list" "$PASSWORD_DIALOG" autocrypt add "$SOURCE"
OLD_LIST=$SOURCE
NEW_LIST="$SOURCE
$SMALL"
[[ $(listed) == "$OLD_LIST" ]] || fail "the first list: $(cat "$OUT")"
cp -a -- "$ROOT/home" "$ROOT/home.ref"
fresh_home() {
    rm -rf -- "$ROOT/home" && cp -a -- "$ROOT/home.ref" "$ROOT/home"
}
# What each command writes in the home folder when nothing fails.
declare -A LIST_BYTES=()
for command in add encrypt-now; do
    fresh_list_data
    fresh_home
    args=(autocrypt "$command")
    [[ $command == add ]] && args+=("$SMALL")
    QOR_FAULT_PATH="$ROOT/home/*" QOR_FAULT_REPORT=$ROOT/written \
        run_qor "$command" "$PASSWORD_DIALOG" "${args[@]}"
    expect_eq "$(messages "$LOG")" "" "autocrypt $command: messages"
    LIST_BYTES[$command]=$(cat "$ROOT/written")
done
echo "the home folder takes ${LIST_BYTES[add]} bytes for add, ${LIST_BYTES[encrypt-now]} for" \
    "encrypt-now"
[[ $CHECK_FAILURES -eq 0 ]] || checks_end

for ((k = 1; k <= TRIALS; k++)); do
    fresh_list_data
    fresh_home
    if ((RANDOM % 2 == 0)); then
        command=add
        args=(autocrypt add "$SMALL")
        want_new=$NEW_LIST
    else
        command=encrypt-now
        args=(autocrypt encrypt-now)
        want_new=$OLD_LIST
    fi
    choose_fault $((${LIST_BYTES[$command]} + 1024))
    FAULT_ENV[0]="QOR_FAULT_PATH=$ROOT/home/*"
    run_faulty "autocrypt $command $k" "$PASSWORD_ANSWERING" "${args[@]}"
    what="autocrypt $command $k ($KIND)"
    expect_eq "$RC" 0 "$what: exit status"
    said=$(messages "$LOG")
    plain_left=0
    [[ -e $PLAIN ]] && plain_left=1
    now=$(listed)
    if [[ $now == "$want_new" ]]; then
        state="$command: the new list"
        [[ $want_new == "$OLD_LIST" ]] && state="$command: the list as it was"
    elif [[ $now == "$OLD_LIST" ]]; then
        state="$command: the old list"
    else
        fail "$what: the list reads [$now] and the run said [$said]"
        state="LIST LOST"
    fi
    [[ -n $said ]] && state+=", with a message"
    [[ $plain_left == 0 ]] || fail "$what: the failed run left the plain list on disk"
    [[ ! -e $PLAIN ]] || fail "$what: the plain list is on disk after listing it"
    count "$state"
    [[ $CHECK_FAILURES -eq 0 ]] || show_run
done
summary "the AutoCrypt list"

checks_end
