# Sourced by the LZH benchmarks: assembles, once, the text corpus they share
# in $work/corpus.txt ($target_bytes of licenses, plain documentation, then
# decompressed changelogs and man pages from this machine, in a fixed order).
lzh_corpus() {
    local corpus="$work/corpus.txt" size
    if [ -f "$corpus" ] && [ "$(stat -c %s "$corpus")" -eq "$target_bytes" ]; then
        return 0
    fi
    echo "assembling a $((target_bytes >> 20)) MB text corpus ..."
    {
        find /usr/share/common-licenses -type f | sort | xargs cat
        find /usr/share/doc -type f \( -name '*.txt' -o -name 'README*' -o -name copyright \) ! -name '*.gz' \
            | sort | xargs cat
        find /usr/share/doc -type f -name '*.gz' | sort | xargs zcat -f
        find /usr/share/man -type f -name '*.gz' | sort | xargs zcat -f
    } 2>/dev/null | head -c "$target_bytes" >"$corpus" || true
    size=$(stat -c %s "$corpus")
    [ "$size" -eq "$target_bytes" ] || { echo "lzh benchmark: only $size bytes of text found"; exit 1; }
    rm -f "$work"/corpus-lh*.lzh
}
