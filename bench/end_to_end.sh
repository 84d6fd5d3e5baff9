#!/usr/bin/env bash
# Whole-process wall times of `qor encrypt` and `qor decrypt` on one large file, beside other
# tools that encrypt a file under a password on this machine: `openssl enc -rc4` (legacy
# provider), `gpg -c` and `age` where installed. Also the peak resident memory of each qor run,
# which must stay flat whatever the file size. A by-hand tool; run it on an otherwise idle
# machine:
#   bench/end_to_end.sh [SIZE_MIB]      (default 1024)
# The work folder ($BENCH_DIR, else /tmp) needs room for about three copies of the file.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build="$root/build/linux-release"
size_mib=${1:-1024}
password=bench-password-1

(cd "$root" && cmake --preset linux-release >/dev/null)
(cd "$root" && cmake --build --preset linux-release -j2 --target qor qorsec95 qor-install decexe \
    >/dev/null)

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
# output file) is flushed inside the timed run as well, so all pay for durable data ("-": none).
declare -A seconds
timed() {
    local label=$1 output=$2
    shift 2
    sync
    # shellcheck disable=SC2016  # expanded by the inner bash
    /usr/bin/time -f '%e %M' -o "$work/time" bash -c '"${@:2}" && { [[ $1 == - ]] || sync -- "$1"; }' \
        timed "$output" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        echo "$label failed" >&2
        exit 1
    }
    read -r wall rss <"$work/time"
    seconds[$label]=$wall
    awk -v l="$label" -v w="$wall" -v r="$rss" -v m="$size_mib" 'BEGIN {
        printf "%-20s %8.2f s %8.0f MiB/s   peak RSS %6.1f MiB\n", l, w, m / (w > 0 ? w : 0.01), r / 1024
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
