#!/usr/bin/env bash
# The power fails during qor encrypt or qor decrypt, at a random moment, again and again. The
# data folder sits on a simulated disk with a write-back cache (power_cut_shim.cpp): after the
# cut it holds only what had been flushed, every file's data as of its last sync and every
# folder's names as of the folder's last sync, the rest dropped. The moment falls anywhere in a
# run and a little after it, when what qor did but did not flush is lost as well. Afterwards
# every file must be there in one complete copy: the plaintext byte-identical, or an encrypted
# file that a fresh qor decrypt turns back into that plaintext. What else the cut leaves is
# counted and shown.
#
#   bash power_cut_test.sh QOR QOR_INSTALL POWER_CUT_SHIM [TRIALS [file|tree]]
#
#   TRIALS            cuts per direction (else QOR_FAULTS_CUTS, else 10)
#   file | tree       one file of 8 MiB (the default), or a tree of 60 files of up to 128 KiB
#                     in 6 folders
#   QOR_FAULTS_SEED   seed of the moments and the tree's sizes (printed; set it to repeat a run)
source "$(dirname "$0")/lib.sh"

CUTS=${4:-${QOR_FAULTS_CUTS:-10}}
SHAPE=${5:-file}
[[ $SHAPE == file || $SHAPE == tree ]] || { echo "shape must be file or tree" >&2; exit 2; }
SEED=${QOR_FAULTS_SEED:-$(($(date +%s%N) % 32768))}
echo "seed $SEED, $CUTS power cuts each way over a $SHAPE (QOR_FAULTS_SEED=$SEED repeats them)"
RANDOM=$SEED

REF=$ROOT/ref      # the plaintexts
ENC_REF=$ROOT/enc  # the encrypted files a full run made of them
VERIFY=$ROOT/verify
IMAGE=$ROOT/image  # the shim's durable image of the data folder
LOST=0

FILES=()
if [[ $SHAPE == file ]]; then
    mkdir -p "$REF"
    make_data "$REF/big.dat" 8
    FILES=(big.dat)
else
    for ((d = 0; d < 6; d++)); do
        mkdir -p "$REF/d$d"
        for ((f = 1; f <= 10; f++)); do
            name=$(printf 'd%d/f%03d.dat' "$d" $((d * 10 + f)))
            head -c $((RANDOM * 4)) /dev/urandom >"$REF/$name"
            FILES+=("$name")
        done
    done
fi
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

# The disk as the power cut leaves it: the folder FOLDER-INODE of the image rebuilt at OUT,
# files with their durable data (empty when they were never flushed).
rebuild() {  # FOLDER-INODE OUT
    mkdir -p -- "$2"
    [[ -f $IMAGE/dirs/$1 ]] || return 0
    local type inode generation name
    while read -r type inode generation name; do
        if [[ $type == d ]]; then
            rebuild "$inode" "$2/$name"
        elif [[ -f $IMAGE/files/$inode.$generation ]]; then
            cp -- "$IMAGE/files/$inode.$generation" "$2/$name"
        else
            : >"$2/$name"
        fi
    done <"$IMAGE/dirs/$1"
}

# One qor process on the simulated disk, and the power cut after DELAY milliseconds (or once it
# ended, for "end"): the process killed if it still runs, then the data folder replaced by what
# the disk kept. Sets CUT_RUNNING to 1 when the cut found qor running, RUN_MS to how long qor ran.
run_and_cut() {  # DELAY-MS|end SCENARIO ARGS...
    local delay=$1 scenario=$2
    shift 2
    rm -rf -- "$IMAGE" && mkdir -p "$IMAGE"
    local root_inode
    root_inode=$(stat -c %i "$DATA")
    # The image starts as the folder stands, taken before qor runs so that no cut falls into it.
    QOR_POWERCUT_ROOT=$DATA QOR_POWERCUT_STATE=$IMAGE LD_PRELOAD=$SHIM /bin/true
    printf '%s\n' "$scenario" >"$ROOT/runs/cut.scenario"
    rm -f -- "$ROOT/runs/cut.log"
    local start
    start=$(now_ms)
    QOR_POWERCUT_ROOT=$DATA QOR_POWERCUT_STATE=$IMAGE \
        QOR_UI="script:$ROOT/runs/cut.scenario" QOR_UI_LOG=$ROOT/runs/cut.log \
        LD_PRELOAD=$PRELOAD "$QOR" "$@" >"$ROOT/runs/cut.out" 2>&1 &
    local pid=$!
    if [[ $delay != end ]]; then
        sleep "$(awk -v ms="$delay" 'BEGIN { printf "%.3f", ms / 1000 }')"
        kill -KILL "$pid" 2>/dev/null
    fi
    local rc=0
    wait "$pid" 2>/dev/null || rc=$?
    RUN_MS=$(($(now_ms) - start))
    CUT_RUNNING=0
    [[ $rc -eq $((128 + 9)) ]] && CUT_RUNNING=1
    if [[ $CUT_RUNNING == 0 && $rc -ne 0 ]]; then
        fail "qor $1 ended with status $rc before the cut"
        cat "$ROOT/runs/cut.log" "$ROOT/runs/cut.out" >&2
    fi
    rm -rf -- "$ROOT/rebuilt"
    rebuild "$root_inode" "$ROOT/rebuilt"
    rm -rf -- "$DATA" && mv -- "$ROOT/rebuilt" "$DATA"
}

declare -A OUTCOMES=()
declare -A NOW=() REF_SUM=() ENC_SUM=()

# The invariant for every file, and the states the cut left the files in.
check() {  # WHAT
    local what=$1 rel enc state path
    local -a unverified=()
    local -A states=()
    sums_of "$DATA" NOW
    for rel in "${FILES[@]}"; do
        enc="${rel%.dat}(dat).!!!"
        if [[ ${NOW[$rel]:-} == "${REF_SUM[$rel]}" ]]; then
            state="plaintext intact"
            [[ -n ${NOW[$enc]:-} ]] && state+=", encrypted file beside it"
        elif [[ ${NOW[$enc]:-} == "${ENC_SUM[$enc]}" ]]; then
            state="encrypted file intact"
        elif [[ -n ${NOW[$enc]:-} ]]; then
            unverified+=("$rel")
            state="encrypted file complete"
        else
            fail "$what: $rel: the plaintext is gone or damaged, and no encrypted file is left"
            state="DATA LOST"
            LOST=$((LOST + 1))
        fi
        [[ -n ${NOW[$rel]:-} && ${NOW[$rel]} != "${REF_SUM[$rel]}" ]] &&
            state+=", damaged plaintext beside it"
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
    local temporary=0 other=0
    for path in "${!NOW[@]}"; do
        case ${path##*/} in
            *.dat | *"(dat).!!!") ;;
            "~fs"*) temporary=$((temporary + 1)) ;;
            *) other=$((other + 1)) ;;
        esac
    done
    local -A seen=()
    for rel in "${FILES[@]}"; do
        seen[${states[$rel]}]=1
    done
    state=$(printf '%s\n' "${!seen[@]}" | sort | paste -sd '|' | sed 's/|/ + /g')
    [[ $temporary -gt 0 ]] && state+=", temporary file left"
    [[ $other -gt 0 ]] && fail "$what: unexpected files in $(listing "$DATA")"
    OUTCOMES[$state]=$((${OUTCOMES[$state]:-0} + 1))
}

summary() {  # DIRECTION RUNNING
    echo "$1: after $CUTS cuts ($2 while qor ran):"
    local state
    for state in "${!OUTCOMES[@]}"; do
        printf '  %4d  %s\n' "${OUTCOMES[$state]}" "$state"
    done | sort -k2
    OUTCOMES=()
}

# The simulated disk itself, driven by coreutils: data never flushed is lost, a flushed file
# without a flushed name is lost too, a deletion not flushed is undone; a flushed folder keeps
# its names, with each file's data as of its own last flush.
echo "== the simulated disk"
rm -rf -- "$DATA" && mkdir -p "$DATA" && printf 'kept\n' >"$DATA/a"
on_disk() {  # COMMAND...
    QOR_POWERCUT_ROOT=$DATA QOR_POWERCUT_STATE=$IMAGE LD_PRELOAD=$SHIM "$@"
}
disk_after() {  # the folder's files and sizes as the disk keeps them
    rm -rf -- "$ROOT/rebuilt"
    rebuild "$(stat -c %i "$DATA")" "$ROOT/rebuilt"
    (cd "$ROOT/rebuilt" && find . -type f -printf '%P:%s\n' | LC_ALL=C sort | paste -sd ' ')
}
rm -rf -- "$IMAGE" && mkdir -p "$IMAGE"
on_disk /bin/true
on_disk dd if=/dev/zero of="$DATA/b" bs=1k count=4 status=none
on_disk dd if=/dev/zero of="$DATA/c" bs=1k count=8 conv=fsync status=none
on_disk rm "$DATA/a"
expect_eq "$(disk_after)" "a:5" "the disk before the folder is flushed"
on_disk sync "$DATA"
on_disk dd if=/dev/zero of="$DATA/c" bs=1k count=2 status=none
expect_eq "$(disk_after)" "b:0 c:8192" "the disk after the folder is flushed"
on_disk sync -f "$DATA/b"
expect_eq "$(disk_after)" "b:4096 c:2048" "the disk after the file system is flushed"
[[ $CHECK_FAILURES -eq 0 ]] || checks_end

# One run each way to the end on the simulated disk: the reference files and the length of a
# run, over which the moments of the cuts are spread.
echo "== baseline: one encryption and one decryption to the end on the simulated disk"
fresh_data plain
run_and_cut end "$ENCRYPT_DIALOG" encrypt "$TARGET"
ENCRYPT_MS=$RUN_MS
expect_eq "$(messages "$ROOT/runs/cut.log")" "" "encrypt: messages"
for rel in "${FILES[@]}"; do
    enc="${rel%.dat}(dat).!!!"
    [[ -f $DATA/$enc && ! -e $DATA/$rel ]] ||
        fail "encrypt: $rel not encrypted on the disk after the run"
done
rm -rf -- "$ENC_REF" && cp -a -- "$DATA" "$ENC_REF"
sums_of "$REF" REF_SUM
sums_of "$ENC_REF" ENC_SUM
run_and_cut end "$DECRYPT_DIALOG" decrypt "$DECRYPT_TARGET"
DECRYPT_MS=$RUN_MS
expect_eq "$(messages "$ROOT/runs/cut.log")" "" "decrypt: messages"
expect_eq "$(cd "$DATA" && find . -type f | sort)" "$(cd "$REF" && find . -type f | sort)" \
    "files on the disk after the round trip"
for rel in "${FILES[@]}"; do
    expect_same "$DATA/$rel" "$REF/$rel"
done
echo "encryption ${ENCRYPT_MS} ms, decryption ${DECRYPT_MS} ms for ${#FILES[@]} file(s)"
[[ $CHECK_FAILURES -eq 0 ]] || checks_end

# A moment in 0..1.2 times a run's length: a sixth of the cuts come after the run ended.
moment() {  # RUN-MS
    echo $((RANDOM * $1 * 6 / 5 / 32768))
}

for direction in encryption decryption; do
    echo "== power cut during $direction"
    running=0
    for ((k = 1; k <= CUTS; k++)); do
        if [[ $direction == encryption ]]; then
            fresh_data plain
            run_and_cut "$(moment $ENCRYPT_MS)" "$ENCRYPT_DIALOG" encrypt "$TARGET"
        else
            fresh_data encrypted
            run_and_cut "$(moment $DECRYPT_MS)" "$DECRYPT_DIALOG" decrypt "$DECRYPT_TARGET"
        fi
        running=$((running + CUT_RUNNING))
        check "$direction cut $k"
    done
    summary "$direction" $running
done

echo "lost: $LOST (seed $SEED)"
checks_end
