#!/usr/bin/env bash
# Decode throughput of lzhx against lhasa (a black-box peer) in one run.
#
#   bench/lzh_throughput.sh [RUNS]
#
# Uses build/native/bin/lzhx as built (builds nothing). Makes, once, a
# -lh5- archive with jlha from about 60 MB of text assembled from this
# machine's documentation and, from the same text, a -lh7- archive (jlha o7),
# then extracts them and the shared -lh1-/-lz5-
# archives with both tools, RUNS times each (default 5), and prints the best
# MB/s of decoded output, the ratio lzhx/lhasa and each tool's peak RSS
# (from /usr/bin/time -v on one extraction). Figures only: it never fails on
# a slow result.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
lzhx="$root/build/native/bin/lzhx"
shared="$root/../shared/testdata/lzh"
work="$root/build/native/bench-lzh"
target_bytes=$((60 * 1024 * 1024))

for tool in "$lzhx" lhasa jlha /usr/bin/time; do
    command -v "$tool" >/dev/null 2>&1 || { echo "lzh_throughput: $tool is missing"; exit 1; }
done
mkdir -p "$work"

# The text corpus shared with the packing benchmark.
. "$root/bench/lzh_corpus.sh"
lzh_corpus
corpus="$work/corpus.txt"

# pack_once METHOD: the corpus packed by jlha with -lhMETHOD-, made once.
pack_once() {
    local method=$1 archive="$work/corpus-lh$1.lzh"
    if [ ! -f "$archive" ]; then
        echo "packing it with jlha (-lh$method-) ..." >&2
        (cd "$work" && jlha "a2o${method}q" "$(basename "$archive")" "$(basename "$corpus")" >/dev/null)
    fi
    "$lzhx" -l "$archive" | grep -q -- "-lh$method-" || { echo "lzh_throughput: $archive is not -lh$method-" >&2; exit 1; }
    echo "$archive"
}
archive=$(pack_once 5)
archive7=$(pack_once 7)

# One extraction of $2 into $3 by tool $1; any further arguments are a
# command to run the tool under (such as /usr/bin/time).
extract() {
    local name=$1 file=$2 dest=$3
    shift 3
    if [ "$name" = lzhx ]; then
        "$@" "$lzhx" "$file" "$dest" >/dev/null
    else
        mkdir -p "$dest" && "$@" lhasa xqfw="$dest" "$file"
    fi
}

# Peak RSS in kB of one extraction, from /usr/bin/time -v on the tool itself.
peak_rss() {
    local name=$1 file=$2 out="$work/out-$1" log="$work/time.log"
    rm -rf "$out"; mkdir -p "$out"
    extract "$name" "$file" "$out/x" /usr/bin/time -v -o "$log"
    rm -rf "$out"
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$log"
}

# Best wall time in seconds, over `runs` runs, of `reps` extractions in a
# row (small archives are repeated so that process start-up does not rule).
best_time() {
    local name=$1 file=$2 reps=$3 out="$work/out-$1" best="" t0 t1 t
    for _ in $(seq "$runs"); do
        rm -rf "$out"; mkdir -p "$out"
        t0=$(date +%s%N)
        for i in $(seq "$reps"); do
            extract "$name" "$file" "$out/$i" || { echo "lzh_throughput: $name failed on $file" >&2; exit 1; }
        done
        t1=$(date +%s%N)
        t=$(( t1 - t0 ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
    done
    rm -rf "$out"
    awk -v ns="$best" 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

original_size() {
    "$lzhx" -l "$1" | awk '{ s += $3 } END { print s }'
}

printf '%-28s %6s %10s %10s %8s %12s %12s\n' archive method "lzhx MB/s" "lhasa MB/s" ratio "lzhx RSS kB" "lhasa RSS kB"
report() {
    local label=$1 file=$2 reps=$3
    local bytes method lt lr ht hr
    bytes=$(( $(original_size "$file") * reps ))
    method=$("$lzhx" -l "$file" | awk 'NR == 1 { print $2 }')
    lt=$(best_time lzhx "$file" "$reps")
    ht=$(best_time lhasa "$file" "$reps")
    lr=$(peak_rss lzhx "$file")
    hr=$(peak_rss lhasa "$file")
    awk -v l="$label" -v m="$method" -v b="$bytes" -v lt="$lt" -v ht="$ht" -v lr="$lr" -v hr="$hr" 'BEGIN {
        lm = b / 1048576 / (lt > 0 ? lt : 0.0001); hm = b / 1048576 / (ht > 0 ? ht : 0.0001);
        printf "%-28s %6s %10.1f %10.1f %7.2fx %12d %12d\n", l, m, lm, hm, lm / hm, lr, hr }'
}

report "corpus (60 MB text)" "$archive" 1
report "corpus (60 MB text)" "$archive7" 1
for name in lengths__lh1-1m.lzh lengths__lz5-1m.lzs; do
    [ -f "$shared/$name" ] && report "$name" "$shared/$name" 20
done
echo "(archives: $(stat -c %s "$archive") bytes -lh5-, $(stat -c %s "$archive7") bytes -lh7-; MB/s of decoded output written to $work; lhasa also checks CRCs)"
