#!/usr/bin/env bash
# A qor encrypt or decrypt killed (SIGKILL) at a random moment, again and again. After every
# kill the user's data must still be there in one complete copy: the plaintext byte-identical,
# or the encrypted file, which a fresh qor decrypt turns back into that plaintext. What else a
# kill leaves is counted and shown.
#
#   bash kill_test.sh QOR QOR_INSTALL SHIM [TRIALS [file|tree]]
#
#   TRIALS            kills per direction (else QOR_FAULTS_KILLS, else 25; 15 in a sanitizer
#                     build); by hand, 1000 each way is the measure of record
#   file | tree       one file of 24 MiB (the default), or a tree of 200 files of up to 128 KiB
#                     in 10 folders, which tests the durability of a whole selection
#   QOR_FAULTS_SEED   seed of the kill moments and the tree's sizes (printed; set it to repeat
#                     a run)
source "$(dirname "$0")/lib.sh"

KILLS=${4:-${QOR_FAULTS_KILLS:-$([[ $SANITIZED == 1 ]] && echo 15 || echo 25)}}
SHAPE=${5:-file}
[[ $SHAPE == file || $SHAPE == tree ]] || { echo "shape must be file or tree" >&2; exit 2; }
SEED=${QOR_FAULTS_SEED:-$(($(date +%s%N) % 32768))}
echo "seed $SEED, $KILLS kills each way over a $SHAPE (QOR_FAULTS_SEED=$SEED repeats the moments)"
RANDOM=$SEED

REF=$ROOT/ref          # the plaintexts
ENC_REF=$ROOT/enc      # the encrypted files a full run made of them
VERIFY=$ROOT/verify
LOST=0

# The plaintexts, as paths below the data folder, and the encrypted name of each.
FILES=()
if [[ $SHAPE == file ]]; then
    mkdir -p "$REF"
    make_data "$REF/big.dat" 24
    FILES=(big.dat)
else
    for ((d = 0; d < 10; d++)); do
        mkdir -p "$REF/d$d"
        for ((f = 1; f <= 20; f++)); do
            name=$(printf 'd%d/f%03d.dat' "$d" $((d * 20 + f)))
            head -c $((RANDOM * 4)) /dev/urandom >"$REF/$name"
            FILES+=("$name")
        done
    done
fi
# What qor is given: the file, or the whole data folder.
TARGET=$DATA/big.dat
DECRYPT_TARGET="$DATA/big(dat).!!!"
[[ $SHAPE == tree ]] && TARGET=$DATA DECRYPT_TARGET=$DATA

fresh_data() {  # plain | encrypted
    rm -rf -- "$DATA"
    if [[ $1 == plain ]]; then
        cp -a -- "$REF" "$DATA"
    else
        cp -a -- "$ENC_REF" "$DATA"
    fi
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
count() {  # STATE
    OUTCOMES[$1]=$((${OUTCOMES[$1]:-0} + 1))
}

declare -A NOW=() REF_SUM=() ENC_SUM=()

# The invariant for every file, what else the kill left, and which states those were. A killed
# encryption may leave an output (partial or complete) beside an intact plaintext, or a partly
# overwritten plaintext beside the complete encrypted file; a killed decryption a temporary file
# beside the encrypted one, or both complete files. Anything else fails.
check() {  # WHAT encrypt|decrypt
    local what=$1 direction=$2 rel enc state path
    local -a unverified=()
    local -A states=()
    sums_of "$DATA" NOW
    for rel in "${FILES[@]}"; do
        enc="${rel%.dat}(dat).!!!"
        if [[ ${NOW[$rel]:-} == "${REF_SUM[$rel]}" ]]; then
            state="plaintext intact"
            [[ -n ${NOW[$enc]:-} ]] && state+=", encrypted file beside it"
        elif [[ ${NOW[$enc]:-} == "${ENC_SUM[$enc]}" ]]; then
            # Byte for byte the file that a fresh qor decrypt turned into the plaintext.
            state="encrypted file intact"
        elif [[ -n ${NOW[$enc]:-} ]]; then
            unverified+=("$rel")
            state="encrypted file complete"
        else
            fail "$what: $rel: the plaintext is gone or damaged, and no encrypted file is left"
            state="DATA LOST"
            LOST=$((LOST + 1))
        fi
        if [[ -n ${NOW[$rel]:-} && ${NOW[$rel]} != "${REF_SUM[$rel]}" ]]; then
            state+=", plaintext partly overwritten beside it"
            # Only the overwrite of an encrypted source writes over the plaintext's own name.
            [[ $direction == encrypt ]] || fail "$what: $rel: a damaged plaintext under its name"
        fi
        states[$rel]=$state
    done
    if [[ ${#unverified[@]} -gt 0 ]]; then
        while IFS= read -r rel; do
            [[ -n $rel ]] || continue
            fail "$what: $rel: the plaintext is gone or damaged, and the encrypted file" \
                "does not decrypt to it"
            states[$rel]="DATA LOST"
            LOST=$((LOST + 1))
        done < <(failing_decryptions "${unverified[@]}")
    fi
    local temporary=0
    for path in "${!NOW[@]}"; do
        case ${path##*/} in
            *.dat | *"(dat).!!!") ;;
            "~fs"[0-9][0-9][0-9][0-9a-z].tmp) temporary=$((temporary + 1)) ;;
            *) fail "$what: unexpected file $path" ;;
        esac
    done
    # The run's state: the states of its files, each once.
    local -A seen=()
    for rel in "${FILES[@]}"; do
        seen[${states[$rel]}]=1
    done
    state=$(printf '%s\n' "${!seen[@]}" | sort | paste -sd '|' | sed 's/|/ + /g')
    if [[ $temporary -gt 0 ]]; then
        state+=", temporary file left"
        [[ $direction == decrypt ]] || fail "$what: a temporary file after an encryption"
        [[ $temporary -eq 1 ]] || fail "$what: $temporary temporary files"
    fi
    count "$state"
}

summary() {  # DIRECTION KILLED
    echo "$1: after $KILLS attempts ($2 killed while running):"
    local state
    for state in "${!OUTCOMES[@]}"; do
        printf '  %4d  %s\n' "${OUTCOMES[$state]}" "$state"
    done | sort -k2
    OUTCOMES=()
}

echo "== baseline: one encryption and one decryption to the end"
fresh_data plain
start=$(now_ms)
run_qor "encrypt" "$ENCRYPT_DIALOG" encrypt "$TARGET"
ENCRYPT_MS=$(($(now_ms) - start))
expect_eq "$(messages "$LOG")" "" "encrypt: messages"
for rel in "${FILES[@]}"; do
    enc="${rel%.dat}(dat).!!!"
    [[ -f $DATA/$enc && ! -e $DATA/$rel ]] || fail "encrypt: $rel not encrypted"
done
rm -rf -- "$ENC_REF" && cp -a -- "$DATA" "$ENC_REF"
sums_of "$REF" REF_SUM
sums_of "$ENC_REF" ENC_SUM
start=$(now_ms)
run_qor "decrypt" "$DECRYPT_DIALOG" decrypt "$DECRYPT_TARGET"
DECRYPT_MS=$(($(now_ms) - start))
expect_eq "$(messages "$LOG")" "" "decrypt: messages"
expect_eq "$(cd "$DATA" && find . -type f | sort)" "$(cd "$REF" && find . -type f | sort)" \
    "files after the round trip"
for rel in "${FILES[@]}"; do
    expect_same "$DATA/$rel" "$REF/$rel"
done
echo "encryption ${ENCRYPT_MS} ms, decryption ${DECRYPT_MS} ms for ${#FILES[@]} file(s)"
[[ $CHECK_FAILURES -eq 0 ]] || checks_end

echo "== encryption killed"
killed=0
for ((k = 1; k <= KILLS; k++)); do
    fresh_data plain
    run_and_kill $((RANDOM * ENCRYPT_MS / 32768)) "$ENCRYPT_DIALOG" encrypt "$TARGET"
    killed=$((killed + KILLED))
    check "encryption kill $k" encrypt
done
summary "encryption" $killed

echo "== decryption killed"
killed=0
for ((k = 1; k <= KILLS; k++)); do
    fresh_data encrypted
    run_and_kill $((RANDOM * DECRYPT_MS / 32768)) "$DECRYPT_DIALOG" decrypt "$DECRYPT_TARGET"
    killed=$((killed + KILLED))
    check "decryption kill $k" decrypt
done
summary "decryption" $killed

echo "lost: $LOST (seed $SEED)"
checks_end
