#!/usr/bin/env bash
# SHA-256 throughput of the system's CNG under Wine (what Tidewell checks a
# signed archive with) beside sha256sum and openssl run natively (black-box
# peers) on the same file in the same run.
#
#   bench/hash_throughput.sh [MB] [RUNS]
#
# Uses build/win64/bin/hash_bench.exe as built (builds nothing). Writes an MB
# megabyte file of random bytes (default 200) into build/win64/bench-hash,
# hashes it RUNS times with each tool (default 3) and prints the best MB/s of
# each and the ratios. The digests must agree. Figures only: it never fails
# on a slow result.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
megabytes=${1:-200}
runs=${2:-3}
bench="$root/build/win64/bin/hash_bench.exe"
work="$root/build/win64/bench-hash"
[ -f "$bench" ] || { echo "hash_throughput: $bench is not built"; exit 1; }
mkdir -p "$work"
file="$work/random.bin"
if [ ! -f "$file" ] || [ "$(stat -c %s "$file")" -ne $((megabytes * 1000000)) ]; then
    head -c $((megabytes * 1000000)) /dev/urandom >"$file"
fi
cat "$file" >/dev/null  # every tool reads it from the page cache

# Best wall time in nanoseconds of `runs` runs of the command.
best() {
    local best_time=0 start elapsed
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$@" >/dev/null
        elapsed=$(($(date +%s%N) - start))
        if [ "$best_time" = 0 ] || [ "$elapsed" -lt "$best_time" ]; then best_time=$elapsed; fi
    done
    echo "$best_time"
}

# a / b with awk (no bc needed).
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

windows_file="Z:$(echo "$file" | tr / '\\')"
report=$(WINEPREFIX="$root/build/wineprefix" "$root/cmake/wine-run" "$bench" "$windows_file" "$runs" 2>/dev/null | tr -d '\r')
cng_digest=$(echo "$report" | sed -n 1p)
cng_file=$(echo "$report" | sed -n 's/^cng-file //p')
cng_memory=$(echo "$report" | sed -n 's/^cng-memory //p')
native_digest=$(sha256sum "$file" | cut -d' ' -f1)
[ "$cng_digest" = "$native_digest" ] || { echo "hash_throughput: the digests differ"; exit 1; }
sha256sum_mbs=$(ratio "$megabytes" "$(ratio "$(best sha256sum "$file")" 1000000000)")
openssl_mbs=$(ratio "$megabytes" "$(ratio "$(best openssl dgst -sha256 "$file")" 1000000000)")

printf '%-34s %10s %12s\n' "SHA-256 of $megabytes MB" "MB/s" "vs sha256sum"
printf '%-34s %10.1f %11.2fx\n' "CNG under Wine, file (1 MiB reads)" "$cng_file" "$(ratio "$cng_file" "$sha256sum_mbs")"
printf '%-34s %10.1f %11.2fx\n' "CNG under Wine, in memory" "$cng_memory" "$(ratio "$cng_memory" "$sha256sum_mbs")"
printf '%-34s %10.1f %11.2fx\n' "sha256sum (native)" "$sha256sum_mbs" 1
printf '%-34s %10.1f %11.2fx\n' "openssl dgst -sha256 (native)" "$openssl_mbs" "$(ratio "$openssl_mbs" "$sha256sum_mbs")"
