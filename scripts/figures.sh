#!/bin/sh
# Builds the editor and its benchmarks in Release, generates reports of
# 100,000, 1,000,000 and 4,000,000 lines and prints one table of the figures
# that matter on a large report, each beside `cat` of the same file in the
# same run: open, memory, the file layer's read, search and save.
#
#   scripts/figures.sh [build folder=/tmp/qnveltor-figures] [lines ...]
#
# Every time is the best of five runs. Needs about 1.5 GB of free space in
# the temporary folder for the 4,000,000-line report and its copies.
set -eu

build=${1:-/tmp/qnveltor-figures}
[ $# -gt 0 ] && shift
sizes=${*:-100000 1000000 4000000}
root=$(cd "$(dirname "$0")/.." && pwd)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DQNVELTOR_BUILD_BENCH=ON -DQNVELTOR_BUILD_APP=ON -DQNVELTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target qnveltor_bench qnveltor_figures -j"$(nproc)" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
results=$work/results
: >"$results"
for lines in $sizes; do
    report=$work/1234567890202612BENCH$lines.dat
    "$build/bench/qnveltor_bench" "$lines" --keep "$report" --generate-only >/dev/null
    echo "measuring $lines lines..." >&2
    QT_QPA_PLATFORM=offscreen "$build/bench/qnveltor_figures" "$report" 2>/dev/null | grep '^FIGURES' >>"$results"
    rm -f "$report"
done

awk '
function value(line, key,    n, i, kv) {
    n = split(line, kv, " ")
    for (i = 1; i <= n; ++i)
        if (index(kv[i], key "=") == 1)
            return substr(kv[i], length(key) + 2)
    return ""
}
{
    ++n
    lines[n] = value($0, "lines"); mb[n] = value($0, "file_mb"); cat[n] = value($0, "cat_s")
    open[n] = value($0, "open_s"); rss[n] = value($0, "rss_mb"); base[n] = value($0, "rss_before_mb")
    rv[n] = value($0, "read_validate_s"); search[n] = value($0, "search_s")
    save[n] = value($0, "save_s"); write[n] = value($0, "write_s")
}
END {
    printf "| what |"
    for (i = 1; i <= n; ++i) printf " %d lines, %.0f MB |", lines[i], mb[i]
    printf " target |\n|---|"
    for (i = 1; i <= n; ++i) printf "---|"
    printf "---|\n| `cat` of the file |"
    for (i = 1; i <= n; ++i) printf " %.4f s |", cat[i]
    printf " |\n| open in the window, every cell validated |"
    for (i = 1; i <= n; ++i) printf " %.3f s = %.1fx cat |", open[i], open[i] / cat[i]
    printf " <= 30x cat |\n| resident memory, whole process, report open |"
    for (i = 1; i <= n; ++i) printf " %.0f MB = %.2fx the file |", rss[i], rss[i] / mb[i]
    printf " <= 1.5x the file |\n| the same without the %.0f MB of an empty window |", base[1]
    for (i = 1; i <= n; ++i) printf " %.0f MB = %.2fx the file |", rss[i] - base[i], (rss[i] - base[i]) / mb[i]
    printf " |\n| read + validate in the file layer |"
    for (i = 1; i <= n; ++i) printf " %.3f s = %.1fx cat |", rv[i], rv[i] / cat[i]
    printf " <= 10x cat |\n| search that finds nothing, slowest of 4 directions |"
    for (i = 1; i <= n; ++i) printf " %.3f s |", search[i]
    printf " <= 0.1 s |\n| save from the window / file layer write |"
    for (i = 1; i <= n; ++i) printf " %.3f / %.3f s = %.2fx |", save[i], write[i], save[i] / write[i]
    printf " <= 1.2x |\n"
}' "$results"
