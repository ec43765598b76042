#!/usr/bin/env bash
# marrowby.exe with lists of many downloads under Wine: the time from start
# until every row is in the list view and the window has drawn, the time from
# the close request until the list is saved and the process has ended, and
# the memory per item (working set with the list, less the same with an
# empty list, over the items).
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

# A list of completed and paused downloads: nothing starts.
make_list() {
    python3 - "$1" "$2" <<'PY'
import sys
items, path = int(sys.argv[1]), sys.argv[2]
with open(path, "wb") as f:
    f.write(b"; Created by bench\r\n")
    for i in range(items):
        f.write((";\r\nRefererStr=http://referrer.example/page/%d.html\r\nStoreIn=C:\\downloads\\f%d\\\r\n"
                 "_RemoteFileSize=%d\r\n_State=%d\r\nUrl=http://files.example/archive/%d/file-%d.zip\r\n"
                 % (i, i % 50, 1000 + i, 1 + i % 2, i, i)).encode())
PY
}

# run LABEL EXE ITEMS: prints "open_ms close_ms memory_bytes saved_items".
run() {
    local folder="$work/$1" items=$3
    rm -rf "$folder"
    mkdir -p "$folder"
    cp "$2" "$folder/marrowby.exe"
    make_list "$items" "$folder/default.wrg"
    local exe="Z:$(echo "$folder/marrowby.exe" | tr / '\\')"
    local report
    report=$("$root/cmake/wine-run" "$probe" "$exe" "$items" 2>/dev/null | tr -d '\r') || true
    local saved
    saved=$(grep -c '^Url=' "$folder/default.wrg" || true)
    echo "$(echo "$report" | sed -n 's/^open_ms //p') $(echo "$report" | sed -n 's/^close_ms //p')" \
         "$(echo "$report" | sed -n 's/^memory_bytes //p') $saved"
}

programs=("after=$root/build/win64/bin/marrowby.exe")
[ -n "${BEFORE:-}" ] && programs=("before=$BEFORE" "${programs[@]}")

printf '%-8s %8s %10s %10s %14s %8s\n' build items "open ms" "close ms" "bytes/item" saved
for entry in "${programs[@]}"; do
    label=${entry%%=*}
    exe=${entry#*=}
    read -r empty_open empty_close empty_memory _ <<<"$(run "$label" "$exe" 0)"
    printf '%-8s %8s %10s %10s %14s %8s\n' "$label" 0 "${empty_open:-?}" "${empty_close:-?}" - -
    for items in "${sizes[@]}"; do
        read -r open close memory saved <<<"$(run "$label" "$exe" "$items")"
        per_item=$(awk -v a="${memory:-0}" -v b="${empty_memory:-0}" -v n="$items" 'BEGIN { printf "%.0f", (a - b) / n }')
        printf '%-8s %8s %10s %10s %14s %8s\n' "$label" "$items" "${open:-?}" "${close:-?}" "$per_item" "$saved"
    done
done
