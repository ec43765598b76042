#!/usr/bin/env bash
# marrowby.exe with lists of many downloads under Wine: the time from start
# until every row is in the list view and the window has drawn, the time from
# the close request until the list is saved and the process has ended, and
# the memory per item (working set with the list, less the same with an
# empty list, over the items). Each figure is the median of RUNS runs
# (default 3) with the fastest in brackets: this machine is shared. The
# first line is the start with an empty list: what Wine and the window take
# before any item. "plain" lists hold
# completed and paused downloads without files; a "named" list's every record
# names its file in one folder, half of which are there (NAMED=0 leaves it
# out).
#
#   bench/list_window.sh [ITEMS...]        (default: 20000 100000)
#   BEFORE=path/to/other/marrowby.exe bench/list_window.sh ...
#
# Uses build/win64/bin/marrowby.exe and list_window_probe.exe as built
# (builds nothing); BEFORE adds the same figures of another build (an older
# main) in the same run. Each program runs from a copy in
# build/win64/bench-list/, on its own default.wrg, with a private Xvfb when
# no DISPLAY is set. Figures only: it never fails on a slow result.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sizes=("$@")
((${#sizes[@]})) || sizes=(20000 100000)
probe="$root/build/win64/bin/list_window_probe.exe"
work="$root/build/win64/bench-list"
[ -f "$probe" ] || { echo "list_window: $probe is not built"; exit 1; }
export WINEPREFIX="$root/build/wineprefix"

xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
    return 0
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 200 239); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 &
            xvfb_pid=$!
            export DISPLAY=":$n"
            break
        fi
    done
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi
LANG=ja_JP.UTF-8 wineserver -p >/dev/null 2>&1 || true

# A list of completed and paused downloads: nothing starts. KIND named: each
# record names its file in FOLDER/files, where every other file is written.
make_list() {
    python3 - "$1" "$2" "$3" "$4" <<'PY'
import os, sys
items, path, kind, folder = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
files = os.path.join(folder, "files")
store = "C:\\downloads\\f%d\\"
if kind == "named":
    os.makedirs(files, exist_ok=True)
    store = "Z:" + files.replace("/", "\\") + "\\"
with open(path, "wb") as f:
    f.write(b"; Created by bench\r\n")
    for i in range(items):
        name = ""
        if kind == "named":
            name = "_RealFileName=%sfile-%d.zip\r\n" % (store, i)
            if i % 2 == 0:
                with open(os.path.join(files, "file-%d.zip" % i), "wb") as part:
                    part.write(b"x" * (i % 100))
        f.write((";\r\nRefererStr=http://referrer.example/page/%d.html\r\nStoreIn=%s\r\n"
                 "_RemoteFileSize=%d\r\n_State=%d\r\n%sUrl=http://files.example/archive/%d/file-%d.zip\r\n"
                 % (i, store.replace("%d", str(i % 50)), 1000 + i, 1 + i % 2, name, i, i)).encode())
PY
}

# run LABEL EXE ITEMS KIND: prints "open_ms close_ms memory_bytes saved_items".
run() {
    local folder="$work/$1" items=$3
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$2" "$folder/marrowby.exe"
    make_list "$items" "$folder/default.wrg" "$4" "$folder"
    local exe="Z:$(echo "$folder/marrowby.exe" | tr / '\\')"
    local report
    report=$("$root/cmake/wine-run" "$probe" "$exe" "$items" 2>/dev/null | tr -d '\r') || true
    local saved
    saved=$(grep -c '^Url=' "$folder/default.wrg" || true)
    local field
    for field in open_ms close_ms memory_bytes; do printf '%s ' "$(echo "$report" | sed -n "s/^$field //p")"; done
    echo "$saved"
}

# runs LABEL EXE ITEMS KIND: prints "open close memory saved", the times as
# "median(fastest)", the memory and the saved count of the last run.
runs() {
    local opens=() closes=() open close memory saved i
    for ((i = 0; i < ${RUNS:-3}; ++i)); do
        read -r open close memory saved <<<"$(run "$@")"
        opens+=("${open:-?}")
        closes+=("${close:-?}")
    done
    echo "$(median_and_fastest "${opens[@]}") $(median_and_fastest "${closes[@]}") ${memory:-0} ${saved:-0}"
}

median_and_fastest() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "%s(%s)", v[int((NR + 1) / 2)], v[1] }'
}

programs=("after=$root/build/win64/bin/marrowby.exe")
[ -n "${BEFORE:-}" ] && programs=("before=$BEFORE" "${programs[@]}")

row() {
    printf '%-7s %-14s %7s %12s %12s %11s %7s\n' "$@"
}
row build list items "open ms" "close ms" bytes/item saved
for entry in "${programs[@]}"; do
    label=${entry%%=*}
    exe=${entry#*=}
    read -r empty_open empty_close empty_memory _ <<<"$(runs "$label" "$exe" 0 plain)"
    row "$label" "empty (start)" 0 "$empty_open" "$empty_close" - -
    kinds=(plain)
    [ "${NAMED:-1}" = 0 ] || kinds+=(named)
    for kind in "${kinds[@]}"; do
        for items in "${sizes[@]}"; do
            read -r open close memory saved <<<"$(runs "$label" "$exe" "$items" "$kind")"
            per_item=$(awk -v a="$memory" -v b="$empty_memory" -v n="$items" 'BEGIN { printf "%.0f", (a - b) / n }')
            row "$label" "$kind" "$items" "$open" "$close" "$per_item" "$saved"
        done
    done
done
