#!/usr/bin/env bash
# Packing speed and size of our LZH packer against jlha (a black-box peer)
# in one run, and a 100 MB entry read back by every reader.
#
#   bench/lzh_pack_bench.sh [RUNS]
#
# Uses build/native/bin/tidewell-publish and lzhx as built (builds
# nothing). Packs the 60 MB text corpus (see bench/lzh_corpus.sh) with
# `tidewell-publish pack` and with jlha, RUNS times each (default 3), and
# prints the best MB/s of input, the packed sizes and their ratio
# (ours/jlha; the aim is at most 1.03). Then packs a 100 MB entry made at
# run time (the corpus, shared libraries and random bytes) with both and
# checks that lzhx, lhasa and jlha each read ours back byte for byte.
# Figures only, apart from that check.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
publish="$root/build/native/bin/tidewell-publish"
lzhx="$root/build/native/bin/lzhx"
work="$root/build/native/bench-lzh"
target_bytes=$((60 * 1024 * 1024))

for tool in "$publish" "$lzhx" lhasa jlha cmp; do
    command -v "$tool" >/dev/null 2>&1 || { echo "lzh_pack_bench: $tool is missing"; exit 1; }
done
mkdir -p "$work"
. "$root/bench/lzh_corpus.sh"
lzh_corpus

# Packs file $2 (a name inside $work) into archive $3 with packer $1.
pack_with() {
    local packer=$1 file=$2 archive=$3
    rm -f "$work/$archive"
    if [ "$packer" = ours ]; then
        (cd "$work" && "$publish" pack "$archive" "$file" >/dev/null)
    else
        (cd "$work" && jlha ao5q "$archive" "$file" >/dev/null)
    fi
}

# Best wall time in seconds over `runs` packings.
best_time() {
    local packer=$1 file=$2 archive=$3 best="" t0 t1
    for _ in $(seq "$runs"); do
        t0=$(date +%s%N)
        pack_with "$packer" "$file" "$archive"
        t1=$(date +%s%N)
        if [ -z "$best" ] || [ $((t1 - t0)) -lt "$best" ]; then best=$((t1 - t0)); fi
    done
    awk -v ns="$best" 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

printf '%-22s %10s %10s %12s %12s %10s\n' input "ours MB/s" "jlha MB/s" "ours bytes" "jlha bytes" "size ours/jlha"
report() {
    local label=$1 file=$2 bytes ot jt os js
    bytes=$(stat -c %s "$work/$file")
    ot=$(best_time ours "$file" "pack-ours.lzh")
    jt=$(best_time jlha "$file" "pack-jlha.lzh")
    os=$(stat -c %s "$work/pack-ours.lzh")
    js=$(stat -c %s "$work/pack-jlha.lzh")
    awk -v l="$label" -v b="$bytes" -v ot="$ot" -v jt="$jt" -v os="$os" -v js="$js" 'BEGIN {
        printf "%-22s %10.1f %10.1f %12d %12d %10.4f\n", l, b / 1048576 / ot, b / 1048576 / jt, os, js, os / js }'
}

report "corpus (60 MB text)" corpus.txt

# The 100 MB entry: text, machine code and noise.
big="$work/big.bin"
if [ ! -f "$big" ] || [ "$(stat -c %s "$big")" -ne $((100 * 1024 * 1024)) ]; then
    echo "making a 100 MB entry ..."
    {
        cat "$work/corpus.txt"
        find /usr/lib -name '*.so*' -type f | sort | xargs cat | head -c $((30 * 1024 * 1024)) || true
        head -c $((10 * 1024 * 1024)) /dev/urandom
        cat "$work/corpus.txt"
    } 2>/dev/null | head -c $((100 * 1024 * 1024)) >"$big" || true
    [ "$(stat -c %s "$big")" -eq $((100 * 1024 * 1024)) ] || { echo "lzh_pack_bench: the 100 MB entry came out short"; exit 1; }
fi
runs=1 report "100 MB entry" big.bin

# Every reader gets back exactly what went in.
out="$work/readback"
for reader in lzhx lhasa jlha; do
    rm -rf "$out"; mkdir -p "$out"
    case $reader in
    lzhx) "$lzhx" "$work/pack-ours.lzh" "$out" >/dev/null ;;
    lhasa) lhasa xqw="$out" "$work/pack-ours.lzh" ;;
    jlha) (cd "$out" && jlha xq "$work/pack-ours.lzh") ;;
    esac
    if cmp -s "$big" "$out/big.bin"; then
        echo "100 MB entry read back by $reader: identical"
    else
        echo "100 MB entry read back by $reader: DIFFERENT"; rm -rf "$out"; exit 1
    fi
done
rm -rf "$out"
