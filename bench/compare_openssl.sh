#!/usr/bin/env bash
# Compares the toolkit's MD5 and RC4-with-MAC throughput with the local OpenSSL command's MD5 and
# plain RC4, over the product's 8144-byte stream pieces. A by-hand tool: the targets are printed
# as PASS or BELOW and the exit status does not depend on them.
#
#   bench/compare_openssl.sh [BUILD-FOLDER]    default build/linux-release
#   QOR_BENCH_ROUNDS=N                         rounds of both programs (default 3)
#
# OpenSSL's RC4 carries no MAC, so those lines measure what the running integrity value costs on
# top of the key stream. The machine may be shared: the two programs take turns, round after
# round, and each figure is the best its program reached in any round, so a busy moment slows
# one round of one side and not the comparison.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${1:-$root/build/linux-release}")
bench="$build/bin/qor_bench"
piece=8144
rounds=${QOR_BENCH_ROUNDS:-3}

# Configure only when the tree has never been configured; the build step is a no-op when the
# binary is current, and otherwise keeps the figures honest about the sources on disk.
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    if [[ $build == "$root/build/linux-release" ]]; then
        (cd "$root" && cmake --preset linux-release >/dev/null)
    else
        cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQOR_BUILD_BENCH=ON >/dev/null
    fi
fi
nice cmake --build "$build" -j1 --target qor_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((round = 1; round <= rounds; round++)); do
    echo "Round $round of $rounds: qor_bench (MD5, RC4 with MAC), openssl speed (md5, rc4)" >&2
    # A failed run shows up as "n/a" below, like a missing OpenSSL figure.
    "$bench" --benchmark_filter='^BM_(Md5|Rc4MacEncrypt|Rc4MacDecrypt)(/|$)' \
        --benchmark_min_time=1 --benchmark_format=json >"$work/ours.$round.json" || true
    openssl speed -elapsed -seconds 1 -bytes "$piece" -evp md5 >"$work/md5.$round.txt" 2>&1 || true
    # RC4 lives in OpenSSL 3's legacy provider; a missing provider shows up as "n/a" below.
    openssl speed -elapsed -seconds 1 -bytes "$piece" -provider legacy -provider default -evp rc4 \
        >"$work/rc4.$round.txt" 2>&1 || true
done

python3 - "$work" "$rounds" "$piece" <<'PY'
import json
import sys

work, rounds, piece = sys.argv[1], int(sys.argv[2]), sys.argv[3]


def ours_mb(path, name):
    """bytes/s of a benchmark, in MB/s (10^6 bytes)."""
    try:
        with open(path) as f:
            runs = json.load(f)["benchmarks"]
    except (OSError, ValueError, KeyError):
        return None
    for run in runs:  # "BM_Md5/real_time" -> "BM_Md5"
        if run.get("name", "").split("/")[0] == name and "bytes_per_second" in run:
            return run["bytes_per_second"] / 1e6
    return None


def openssl_mb(path, algorithm):
    """The figure on the algorithm's result line; openssl speed reports 1000s of bytes/s."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except OSError:
        return None
    for line in lines:
        fields = line.split()
        if len(fields) == 2 and fields[0].lower() == algorithm and fields[1].endswith("k"):
            try:
                return float(fields[1][:-1]) / 1e3
            except ValueError:
                return None
    return None


def best(values):
    values = [v for v in values if v is not None]
    return max(values) if values else None


def ours(name):
    return best(ours_mb(f"{work}/ours.{r}.json", name) for r in range(1, rounds + 1))


def theirs(kind, algorithm):
    return best(openssl_mb(f"{work}/{kind}.{r}.txt", algorithm) for r in range(1, rounds + 1))


rc4 = theirs("rc4", "rc4")
rows = [
    ("MD5", ours("BM_Md5"), theirs("md5", "md5"), 1.0),
    ("RC4 with MAC encryption vs plain RC4", ours("BM_Rc4MacEncrypt"), rc4, 0.8),
    ("RC4 with MAC decryption vs plain RC4", ours("BM_Rc4MacDecrypt"), rc4, 0.8),
]


def fmt(value, pattern):
    return "n/a" if value is None else format(value, pattern)


print(f"Throughput over {piece}-byte pieces, MB = 10^6 bytes, best of {rounds} rounds")
print(f"{'':40}{'ours MB/s':>11}{'OpenSSL MB/s':>14}{'ratio':>8}{'target':>9}  result")
for label, mine, other, target in rows:
    ratio = mine / other if mine is not None and other else None
    result = "n/a" if ratio is None else ("PASS" if ratio >= target else "BELOW")
    print(f"{label:40}{fmt(mine, '11.1f')}{fmt(other, '14.1f')}{fmt(ratio, '8.2f')}"
          f"{'>= ' + format(target, '.1f'):>9}  {result}")
PY
exit 0
