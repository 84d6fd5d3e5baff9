#!/usr/bin/env bash
# Whole-process wall times of `qor encrypt` and `qor decrypt` on one large file, beside other
# tools that encrypt a file under a password on this machine: `openssl enc -rc4` (legacy
# provider), `gpg -c` and `age` where installed. Also the peak resident memory of each qor run,
# which must stay flat whatever the file size; the machine's own limits measured in the same run
# (the cipher's in-memory rate from qor_bench, the disk's write-and-flush rate from dd) and qor's
# time as a multiple of the larger of the two; and a tree of many small files, encrypted and
# decrypted by qor and by gpg and openssl over the same files. A by-hand tool; run it on an
# otherwise idle machine:
#   bench/end_to_end.sh [SIZE_MIB]      (default 1024)
# $QOR_BENCH_FILES small files of $QOR_BENCH_FILE_KIB KiB (defaults 10000 and 4), 100 to a
# folder; 0 files leaves the case out. gpg derives a key from the passphrase for every file
# (about a tenth of a second each), so it and openssl run over the first $QOR_BENCH_OTHER_FILES
# of the same files (default 300) and their time per file is set beside qor's.
# The work folder ($BENCH_DIR, else /tmp) needs room for about three copies of the file.
# $QOR_BENCH_BUILD names the optimised build folder to use (default build/linux-release).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${QOR_BENCH_BUILD:-$root/build/linux-release}")
size_mib=${1:-1024}
small_count=${QOR_BENCH_FILES:-10000}
small_kib=${QOR_BENCH_FILE_KIB:-4}
other_count=${QOR_BENCH_OTHER_FILES:-300}
password=bench-password-1

if [[ $build == "$root/build/linux-release" ]]; then
    (cd "$root" && cmake --preset linux-release >/dev/null)
elif [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQOR_BUILD_BENCH=ON >/dev/null
fi
nice cmake --build "$build" -j1 --target qor qorsec95 qor-install decexe qor_bench >/dev/null

work=$(mktemp -d "${BENCH_DIR:-/tmp}/qor-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
export HOME=$work/user QOR_REGISTRY=$work/registry.reg
unset XDG_DATA_HOME XDG_CONFIG_HOME
mkdir -p "$HOME" "$work/data" "$work/other"
"$build/bin/qor-install" --home "$work/qorhome" >/dev/null
qor=$work/qorhome/qor

# run_scripted NAME SCENARIO ARGS...: qor with its dialogs answered from SCENARIO.
run_scripted() {
    local name=$1 scenario=$2
    shift 2
    printf '%s\n' "$scenario" >"$work/$name.scenario"
    QOR_UI="script:$work/$name.scenario" QOR_UI_LOG="$work/$name.log" "$qor" "$@" </dev/null
}

run_scripted setup "dialog \"QOR Vaultis\" -> 1
dialog \"Random Seeding\": events=300
message \"Done with random seeding.\" -> OK
dialog \"QOR Vaultis\": \"Enter your user &name:\"=\"Bench\" \"Enter your user &password:\"=\"$password\" \"Enter the password again to &confirm it:\"=\"$password\" -> 1
dialog \"QOR Vaultis\" -> 2
message \"will not be backed up\" -> OK
message \"QOR Vaultis setup is now complete.\" -> OK" setup

file=$work/data/big.dat
echo "Writing a ${size_mib} MiB file of random bytes..." >&2
# A key stream over zeros is quick random-looking data; head ends the stream early on purpose.
(openssl enc -aes-128-ctr -pass pass:fill -nosalt -in /dev/zero 2>/dev/null || true) |
    head -c $((size_mib * 1048576)) >"$file"
cp -- "$file" "$work/original.dat"
sync

# timed LABEL OUTPUT COMMAND...: wall seconds and peak resident memory of one whole process.
# qor flushes what it writes before it removes the other copy; for the other tools OUTPUT (their
# output file, or fs:FOLDER for the whole file system of a folder) is flushed inside the timed
# run as well, so all pay for durable data ("-": none).
declare -A seconds
timed() {
    local label=$1 output=$2
    shift 2
    sync
    # shellcheck disable=SC2016  # expanded by the inner bash
    /usr/bin/time -f '%e %M' -o "$work/time" bash -c '"${@:2}" && case $1 in
            -) ;;
            fs:*) sync -f -- "${1#fs:}" ;;
            *) sync -- "$1" ;;
        esac' timed "$output" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        echo "$label failed" >&2
        exit 1
    }
    read -r wall rss <"$work/time"
    seconds[$label]=$wall
    awk -v l="$label" -v w="$wall" -v r="$rss" -v m="$size_mib" 'BEGIN {
        printf "%-22s %8.2f s %8.0f MiB/s   peak RSS %6.1f MiB\n", l, w, m / (w > 0 ? w : 0.01),
            r / 1024
    }'
}

printf 'dialog "Encrypt": 1022="%s" -> 1\n' "$password" >"$work/enc.scenario"
printf 'dialog "Decrypt": 1022="%s" -> 1\n' "$password" >"$work/dec.scenario"
timed "qor encrypt" - env QOR_UI="script:$work/enc.scenario" QOR_UI_LOG="$work/enc.log" \
    "$qor" encrypt "$file"
[[ -f "$work/data/big(dat).!!!" && ! -e $file ]] || { echo "qor encrypt did nothing" >&2; exit 1; }
timed "qor decrypt" - env QOR_UI="script:$work/dec.scenario" QOR_UI_LOG="$work/dec.log" \
    "$qor" decrypt "$work/data/big(dat).!!!"
cmp -- "$file" "$work/original.dat" || { echo "qor decrypt did not restore the file" >&2; exit 1; }

other=$work/other
rc4=(-rc4 -provider legacy -provider default -pbkdf2 -pass "pass:$password")
timed "openssl enc -rc4" "$other/x.rc4" openssl enc "${rc4[@]}" -in "$file" -out "$other/x.rc4"
timed "openssl enc -d -rc4" "$other/x.plain" \
    openssl enc -d "${rc4[@]}" -in "$other/x.rc4" -out "$other/x.plain"
rm -f -- "$other"/*
if command -v gpg >/dev/null; then
    gpg_args=(--homedir "$work/gnupg" --batch --yes --pinentry-mode loopback
        --passphrase "$password")
    mkdir -p -m 700 "$work/gnupg"
    # Without compression, which random data would only slow down.
    timed "gpg -c" "$other/x.gpg" \
        gpg "${gpg_args[@]}" --compress-algo none -c -o "$other/x.gpg" "$file"
    timed "gpg -d" "$other/x.plain" gpg "${gpg_args[@]}" -d -o "$other/x.plain" "$other/x.gpg"
    rm -f -- "$other"/*
fi
if command -v age >/dev/null && command -v age-keygen >/dev/null; then
    # age asks for a passphrase on the terminal only; a key file gives the same data path.
    age-keygen -o "$work/age.key" 2>/dev/null
    recipient=$(age-keygen -y "$work/age.key")
    timed "age -r (key file)" "$other/x.age" age -r "$recipient" -o "$other/x.age" "$file"
    timed "age -d" "$other/x.plain" age -d -i "$work/age.key" -o "$other/x.plain" "$other/x.age"
    rm -f -- "$other"/*
fi

ratio() { awk -v a="${seconds[$1]}" -v b="${seconds[$2]}" 'BEGIN { printf "%.2f", b / a }'; }
echo
echo "Speed relative to qor (other tool's time / qor's time; above 1 means qor is faster):"
for pair in "qor encrypt|openssl enc -rc4" "qor decrypt|openssl enc -d -rc4" \
    "qor encrypt|gpg -c" "qor decrypt|gpg -d" "qor encrypt|age -r (key file)" \
    "qor decrypt|age -d"; do
    ours=${pair%%|*} theirs=${pair#*|}
    [[ -n ${seconds[$theirs]:-} ]] && printf '  %-12s vs %-20s %s\n' "$ours" "$theirs" \
        "$(ratio "$ours" "$theirs")"
done

# ---- The machine's own limits, measured in this run ---------------------------------------------
echo
echo "The machine's limits for ${size_mib} MiB, measured now:"
"$build/bin/qor_bench" --benchmark_filter='^BM_Rc4Mac(En|De)crypt(/|$)' --benchmark_min_time=1 \
    --benchmark_format=json >"$work/cipher.json" 2>/dev/null
read -r enc_rate dec_rate < <(python3 - "$work/cipher.json" <<'PY'
import json, sys
runs = {r["name"].split("/")[0]: r["bytes_per_second"] for r in json.load(open(sys.argv[1]))["benchmarks"]}
print(runs["BM_Rc4MacEncrypt"], runs["BM_Rc4MacDecrypt"])
PY
)
# dd's own flushed write of the same number of bytes; encryption writes them twice, the encrypted
# file and then the overwrite of the plaintext, and its disk time is that of twice the bytes.
# Replacing a file also frees the old copy's blocks, which on some file systems (ext4 mounted with
# discard, for one) waits for the device; the removal of dd's file is timed apart, so both the
# bare write-and-flush limit and the limit with the removal are shown.
disk_seconds() {  # MIB: prints the seconds of the flushed write and of the file's removal
    sync
    local start written removed
    start=$(date +%s.%N)
    dd if=/dev/zero of="$work/dd.bin" bs=1M count="$1" conv=fsync status=none
    written=$(date +%s.%N)
    rm -f -- "$work/dd.bin"
    removed=$(date +%s.%N)
    awk -v a="$start" -v b="$written" -v c="$removed" 'BEGIN { printf "%.2f %.2f\n", b - a, c - b }'
}
read -r disk_once remove_once < <(disk_seconds "$size_mib")
read -r disk_twice _ < <(disk_seconds $((2 * size_mib)))
awk -v m="$size_mib" -v e="$enc_rate" -v d="$dec_rate" -v o="$disk_once" -v t="$disk_twice" \
    -v r="$remove_once" -v qe="${seconds[qor encrypt]}" -v qd="${seconds[qor decrypt]}" '
function limit(compute, disk) { return compute > disk ? compute : disk }
BEGIN {
    bytes = m * 1048576
    ce = bytes / e; cd = bytes / d
    printf "  RC4 with MAC in memory   encrypt %6.0f MB/s (%.2f s)   decrypt %6.0f MB/s (%.2f s)\n",
        e / 1e6, ce, d / 1e6, cd
    printf "  dd write and flush       %d MiB in %.2f s, %d MiB in %.2f s\n", m, o, 2 * m, t
    printf "  removing a %d MiB file   %.2f s\n", m, r
    printf "  qor encrypt %.2f s = %.2f x max(compute %.2f s, disk %.2f s for both writes)\n",
        qe, qe / limit(ce, t), ce, t
    printf "                       = %.2f x max(compute, disk %.2f s with the removal)\n",
        qe / limit(ce, t + r), t + r
    printf "  qor decrypt %.2f s = %.2f x max(compute %.2f s, disk %.2f s)\n", qd,
        qd / limit(cd, o), cd, o
    printf "                       = %.2f x max(compute, disk %.2f s with the removal)\n",
        qd / limit(cd, o + r), o + r
}'

# ---- Many small files ------------------------------------------------------------------------
[[ $small_count -gt 0 ]] || exit 0
echo
echo "A tree of $small_count files of $small_kib KiB, 100 to a folder:"
small=$work/small
rm -rf -- "$work/data" "$other" && mkdir -p "$other"
make_tree() {  # FOLDER
    local folder=$1 k
    for ((k = 0; k < small_count; k++)); do
        ((k % 100 == 0)) && mkdir -p "$folder/d$((k / 100))"
        head -c $((small_kib * 1024)) /dev/urandom >"$folder/d$((k / 100))/f$k.dat"
    done
}
make_tree "$small"
cp -a -- "$small" "$work/small.original"
per_file() {  # LABEL: milliseconds per file of a timed run
    awk -v w="${seconds[$1]}" -v n="$small_count" 'BEGIN { printf "%.3f", w * 1000 / n }'
}
small_report() {  # LABEL
    printf '  %-22s %8.2f s %8.3f ms per file\n' "$1" "${seconds[$1]}" "$(per_file "$1")"
}
size_mib_saved=$size_mib
size_mib=$((small_count * small_kib / 1024))
{
    timed "qor encrypt (tree)" - env QOR_UI="script:$work/enc.scenario" \
        QOR_UI_LOG="$work/enc.log" "$qor" encrypt "$small"
    timed "qor decrypt (tree)" - env QOR_UI="script:$work/dec.scenario" \
        QOR_UI_LOG="$work/dec.log" "$qor" decrypt "$small"
} >/dev/null
diff -r -- "$small" "$work/small.original" >/dev/null ||
    { echo "qor did not restore the tree" >&2; exit 1; }
small_report "qor encrypt (tree)"
small_report "qor decrypt (tree)"
# The cost of the bytes themselves, at the rate qor reached on the large file.
awk -v n="$small_count" -v k="$small_kib" -v m="$size_mib_saved" -v qe="${seconds[qor encrypt]}" \
    -v qd="${seconds[qor decrypt]}" -v te="${seconds[qor encrypt (tree)]}" \
    -v td="${seconds[qor decrypt (tree)]}" 'BEGIN {
    bytes = n * k / 1024
    be = bytes / m * qe; bd = bytes / m * qd
    printf "  above the bytes own cost: encrypt %.3f ms per file, decrypt %.3f ms per file\n",
        (te - be) * 1000 / n, (td - bd) * 1000 / n
}'
# The other tools, one process per file (gpg decrypts a whole list in one process), over the
# first files of the same tree.
files=$work/small.list
(cd "$small" && find . -type f -name '*.dat' | sort | sed -n "1,${other_count}p") >"$files"
other_count=$(wc -l <"$files")
others_report() {  # LABEL
    awk -v l="$1" -v w="${seconds[$1]}" -v n="$other_count" 'BEGIN {
        printf "  %-22s %8.2f s %8.3f ms per file (%d files)\n", l, w, w * 1000 / n, n }'
}
if command -v gpg >/dev/null; then
    timed "gpg -c (tree)" "fs:$small" bash -c 'cd "$1" && while IFS= read -r f; do
            gpg "${@:3}" --compress-algo none -c -o "$f.gpg" "$f" || exit 1
        done <"$2"' - "$small" "$files" "${gpg_args[@]}" >/dev/null
    sed 's/$/.gpg/' "$files" >"$files.gpg"
    (cd "$small" && xargs -d '\n' rm -f -- <"$files")
    timed "gpg -d (tree)" "fs:$small" bash -c 'cd "$1" && gpg "${@:3}" --multifile -d <"$2"' - \
        "$small" "$files.gpg" "${gpg_args[@]}" >/dev/null
    others_report "gpg -c (tree)"
    others_report "gpg -d (tree)"
    find "$small" -name '*.gpg' -delete
fi
timed "openssl enc (tree)" "fs:$small" bash -c 'cd "$1" && while IFS= read -r f; do
        openssl enc "${@:3}" -in "$f" -out "$f.rc4" || exit 1
    done <"$2"' - "$small" "$files" "${rc4[@]}" >/dev/null
(cd "$small" && xargs -d '\n' rm -f -- <"$files")
timed "openssl enc -d (tree)" "fs:$small" bash -c 'cd "$1" && while IFS= read -r f; do
        openssl enc -d "${@:3}" -in "$f.rc4" -out "$f" || exit 1
    done <"$2"' - "$small" "$files" "${rc4[@]}" >/dev/null
others_report "openssl enc (tree)"
others_report "openssl enc -d (tree)"
echo
echo "Speed relative to qor over the tree, per file (other tool's / qor's):"
for pair in "qor encrypt (tree)|gpg -c (tree)" "qor decrypt (tree)|gpg -d (tree)" \
    "qor encrypt (tree)|openssl enc (tree)" "qor decrypt (tree)|openssl enc -d (tree)"; do
    ours=${pair%%|*} theirs=${pair#*|}
    [[ -n ${seconds[$theirs]:-} ]] || continue
    awk -v o="${seconds[$ours]}" -v t="${seconds[$theirs]}" -v n="$small_count" \
        -v m="$other_count" -v a="$ours" -v b="$theirs" \
        'BEGIN { printf "  %-20s vs %-22s %8.2f\n", a, b, (t / m) / (o / n) }'
done
