#!/usr/bin/env bash
# The AutoCrypt list under faults: the new list cannot be written (disk full, write error), and
# the shut-down run is killed at random moments. The previous encrypted list must always stand,
# the plain list must never outlive the command that follows, and the listed file must stay
# recoverable.
#
#   QOR_FAULTS_SEED   seed of the kill moments (printed; set it to repeat a run)
#   QOR_FAULTS_KILLS  kills (default 8)
source "$(dirname "$0")/lib.sh"

PASSWORD_DIALOG='dialog "Password": 1022="secret1" -> 1'
LIST=$ROOT/home/autocryp.!!!
PLAIN=$ROOT/home/autocryp.lst
KILLS=${QOR_FAULTS_KILLS:-8}
SEED=${QOR_FAULTS_SEED:-$(($(date +%s%N) % 32768))}
echo "seed $SEED, $KILLS kills (QOR_FAULTS_SEED=$SEED repeats the moments)"
RANDOM=$SEED

listed() {  # the list as qor shows it
    run_qor list "$PASSWORD_DIALOG" autocrypt list
    [[ $RC -eq 0 ]] || { fail "qor autocrypt list ended with $RC"; show_run; }
    cat "$OUT"
}
expect_no_leftovers() {  # WHEN
    [[ ! -e $PLAIN ]] || fail "the plain list is on disk $1"
    compgen -G "$ROOT/home/~fs*" >/dev/null && fail "a temporary file is left in the home folder $1"
    return 0
}

SOURCE=$DATA/big.dat
ENCRYPTED="$DATA/big(dat).!!!"
REF=$ROOT/big.ref
make_data "$REF" 16
cp -- "$REF" "$SOURCE"
printf 'small\n' >"$DATA/small.txt"
run_qor add "$PASSWORD_DIALOG" autocrypt add "$SOURCE" "$DATA/small.txt"
WANT="$SOURCE
$DATA/small.txt"
[[ $(listed) == "$WANT" ]] || fail "the list after adding: $(cat "$OUT")"

# The new list cannot be written: the old one stands, the user is told, nothing is left over.
for errno in ENOSPC EIO; do
    cp -- "$LIST" "$ROOT/list-before"
    QOR_FAULT_PATH="$ROOT/home/~fs*" QOR_FAULT_BUDGET=100 QOR_FAULT_ERRNO=$errno \
        run_qor "add-$errno" "$PASSWORD_DIALOG
message \"Cannot write to the AutoCrypt list.\" -> OK" autocrypt add "$DATA"
    [[ $RC -eq 0 ]] || { fail "add with $errno ended with $RC"; show_run; }
    [[ $(messages "$LOG") == "message: AutoCrypt: Cannot write to the AutoCrypt list. [OK]" ]] ||
        { fail "add with $errno: not the expected message"; show_run; }
    cmp -s -- "$LIST" "$ROOT/list-before" || fail "add with $errno replaced the list"
    expect_no_leftovers "after a failed write ($errno)"
    [[ $(listed) == "$WANT" ]] || fail "the list after a failed write ($errno): $(cat "$OUT")"
done

# The shut-down run killed at random moments. After each kill: the next use of the list leaves
# no plain list, the entries are the same, and the big file is there in one complete copy.
# The kill moments spread over the time a whole run takes here.
start=$(now_ms)
run_qor measure "$PASSWORD_DIALOG" autocrypt run-shutdown
span=$(($(now_ms) - start))
[[ -e $ENCRYPTED && ! -e $SOURCE ]] || fail "the shut-down run did not encrypt the big file"
run_qor measure-back "$PASSWORD_DIALOG" autocrypt decrypt-now
cmp -s -- "$SOURCE" "$REF" || fail "decrypt-now did not give the big file back"
killed=0
for ((trial = 1; trial <= KILLS; trial++)); do
    delay=$((RANDOM % (span + 1)))
    printf '%s\n' "$PASSWORD_DIALOG" >"$ROOT/runs/killed.scenario"
    QOR_UI="script:$ROOT/runs/killed.scenario" QOR_UI_LOG=$ROOT/runs/killed.log \
        LD_PRELOAD=$PRELOAD "$QOR" autocrypt run-shutdown >"$ROOT/runs/killed.out" 2>&1 &
    pid=$!
    sleep "$(awk -v ms="$delay" 'BEGIN { printf "%.3f", ms / 1000 }')"
    kill -KILL "$pid" 2>/dev/null
    rc=0
    wait "$pid" 2>/dev/null || rc=$?
    [[ $rc -eq 137 ]] && killed=$((killed + 1))
    [[ $(listed) == "$WANT" ]] || fail "trial $trial (kill after $delay ms): the list: $(cat "$OUT")"
    # A kill while the new list was being written may leave its temporary file (encrypted
    # bytes only); the plain list must be gone.
    [[ ! -e $PLAIN ]] || fail "trial $trial (kill after $delay ms): the plain list is on disk"
    # A partial encrypted file beside the intact plaintext is the kill's leftover; an encrypted
    # file must decrypt to the original, over a plaintext the kill left partly overwritten.
    if [[ -e $SOURCE ]] && cmp -s -- "$SOURCE" "$REF"; then rm -f -- "$ENCRYPTED"; fi
    if [[ -e $ENCRYPTED ]]; then
        run_qor "back-$trial" "$DECRYPT_DIALOG
message \"already exists.  Overwrite this file?\" -> Yes" decrypt "$ENCRYPTED"
        [[ $RC -eq 0 && ! -e $ENCRYPTED ]] || { fail "trial $trial: decrypting it"; show_run; }
    fi
    [[ -e $DATA/small.txt ]] && rm -f -- "$DATA/small(txt).!!!"
    if [[ -e "$DATA/small(txt).!!!" ]]; then
        run_qor "small-$trial" "$DECRYPT_DIALOG" decrypt "$DATA/small(txt).!!!"
    fi
    cmp -s -- "$SOURCE" "$REF" || fail "trial $trial (kill after $delay ms): the big file is lost"
    [[ -e $DATA/small.txt ]] || fail "trial $trial (kill after $delay ms): small.txt is lost"
done
echo "$killed of $KILLS runs were killed while working"
checks_end
