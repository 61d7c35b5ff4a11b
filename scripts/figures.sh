#!/bin/sh
# Builds the editor and its benchmarks in Release, generates reports of
# 100,000, 1,000,000 and 4,000,000 lines and prints one table of the figures
# that matter on a large report, each beside `cat` of the same file in the
# same run: open, memory, the file layer's read, search and save.
#
#   scripts/figures.sh [build folder=/tmp/qnveltor-figures] [lines ...]
#
# With BASELINE naming the Release build folder of an earlier version (one
# that holds bench/qnveltor_figures), both versions measure the same reports
# in the same run, taking turns, and the table shows their figures side by
# side, earlier first:
#
#   git worktree add --detach /tmp/old HEAD~3
#   cmake -S /tmp/old -B /tmp/old/build -DCMAKE_BUILD_TYPE=Release \
#       -DQNVELTOR_BUILD_BENCH=ON -DQNVELTOR_BUILD_TESTS=OFF
#   cmake --build /tmp/old/build --target qnveltor_figures
#   BASELINE=/tmp/old/build scripts/figures.sh
#
# Every time is the best of five runs of one program; each program runs
# twice per report, in turns with the other. The memory of a report whose
# every line has an invalid cell is measured on a copy of the report with the
# third field of each line made too long. With LARGE=lines, a report of that
# many lines is also opened once (--open-only), for the time of a very large
# open. Needs about 1.5 GB of free space in the temporary folder for the
# 4,000,000-line report and its copies (4.5 GB more with LARGE=10000000).
set -eu

build=${1:-/tmp/qnveltor-figures}
[ $# -gt 0 ] && shift
sizes=${*:-100000 1000000 4000000}
root=$(cd "$(dirname "$0")/.." && pwd)
baseline=${BASELINE:-}
large=${LARGE:-}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DQNVELTOR_BUILD_BENCH=ON -DQNVELTOR_BUILD_APP=ON -DQNVELTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target qnveltor_bench qnveltor_figures -j"$(nproc)" >/dev/null
if [ -n "$baseline" ] && [ ! -x "$baseline/bench/qnveltor_figures" ]; then
    echo "no $baseline/bench/qnveltor_figures: build the baseline with -DQNVELTOR_BUILD_BENCH=ON" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
results=$work/results
: >"$results"

# figures VERSION PROGRAM REPORT [--open-only]: one run, its figures tagged.
figures() {
    version=$1
    program=$2
    shift 2
    QT_QPA_PLATFORM=offscreen "$program" "$@" 2>/dev/null >"$work/out"
    if [ $# -eq 1 ]; then
        grep '^FIGURES' "$work/out" | sed "s/^FIGURES/FIGURES version=$version/"
    else
        # --open-only prints one line: "N lines, M MB: ... open S s (...), R MB resident ..."
        sed -nE "s/^([0-9]+) lines, ([0-9.]+) MB: .* open ([0-9.]+) s .*, ([0-9.]+) MB resident.*/OPENONLY version=$version lines=\1 file_mb=\2 open_s=\3 rss_mb=\4/p" \
            "$work/out"
    fi
}

# Each version in turn, twice, so that both meet the same load.
measure() {
    for round in 1 2; do
        figures new "$build/bench/qnveltor_figures" "$@" >>"$results"
        [ -z "$baseline" ] || figures old "$baseline/bench/qnveltor_figures" "$@" >>"$results"
    done
}

for lines in $sizes; do
    report=$work/1234567890202612BENCH$lines.dat
    invalid=$work/1234567890202612INVALID$lines.dat
    "$build/bench/qnveltor_bench" "$lines" --keep "$report" --generate-only >/dev/null
    # The third field (at most 3 bytes) made 4 bytes long on every line.
    LC_ALL=C awk 'BEGIN { FS = OFS = "\t" } { $3 = "0000"; print }' "$report" >"$invalid"
    echo "measuring $lines lines..." >&2
    measure "$report"
    measure "$invalid" --open-only
    rm -f "$report" "$invalid"
done
if [ -n "$large" ]; then
    report=$work/1234567890202612LARGE$large.dat
    "$build/bench/qnveltor_bench" "$large" --keep "$report" --generate-only >/dev/null
    echo "opening $large lines..." >&2
    measure "$report" --open-only
    rm -f "$report"
fi

awk -v compare="${baseline:+1}" '
function value(line, key,    n, i, kv) {
    n = split(line, kv, " ")
    for (i = 1; i <= n; ++i)
        if (index(kv[i], key "=") == 1)
            return substr(kv[i], length(key) + 2)
    return ""
}
# Keeps the best (least) of the runs of one version on one report.
function keep(name, id, x) {
    if (x == "") return
    if (!((name, id) in best) || x + 0 < best[name, id] + 0) best[name, id] = x
}
/^FIGURES/ {
    v = value($0, "version"); n = value($0, "lines")
    if (!(n in known)) { known[n] = 1; order[++count] = n }
    id = v SUBSEP n
    mb[n] = value($0, "file_mb")
    keep("cat", id, value($0, "cat_s")); keep("open", id, value($0, "open_s"))
    keep("rss", id, value($0, "rss_mb")); keep("base", id, value($0, "rss_before_mb"))
    keep("rv", id, value($0, "read_validate_s")); keep("search", id, value($0, "search_s"))
    keep("save", id, value($0, "save_s")); keep("write", id, value($0, "write_s"))
}
/^OPENONLY/ {
    v = value($0, "version"); n = value($0, "lines")
    id = v SUBSEP n
    if (n in known) {
        invalidmb[n] = value($0, "file_mb"); keep("invalidrss", id, value($0, "rss_mb"))
    } else {
        largelines = n; largemb = value($0, "file_mb")
        keep("largeopen", id, value($0, "open_s")); keep("largerss", id, value($0, "rss_mb"))
    }
}
# One cell: the old figure and the new one, or the new one alone.
function cell(text_old, text_new) {
    return compare ? " " text_old " | " text_new " |" : " " text_new " |"
}
function f(name, version, n) { return best[name, version SUBSEP n] }
END {
    printf "| what |"
    for (i = 1; i <= count; ++i) {
        n = order[i]
        if (compare) printf " %d lines, %.0f MB, before | after |", n, mb[n]
        else printf " %d lines, %.0f MB |", n, mb[n]
    }
    printf " target |\n|---|"
    for (i = 1; i <= count; ++i) printf compare ? "---|---|" : "---|"
    printf "---|\n| `cat` of the file |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.4f s", f("cat", "old", n)), sprintf("%.4f s", f("cat", "new", n))) }
    printf " |\n| open in the window, every cell validated |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.3f s = %.1fx cat", f("open", "old", n), f("open", "old", n) / f("cat", "old", n)),
                    sprintf("%.3f s = %.1fx cat", f("open", "new", n), f("open", "new", n) / f("cat", "new", n))) }
    printf " <= 10x cat |\n| resident memory, whole process, report open |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.0f MB = %.2fx the file", f("rss", "old", n), f("rss", "old", n) / mb[n]),
                    sprintf("%.0f MB = %.2fx the file", f("rss", "new", n), f("rss", "new", n) / mb[n])) }
    printf " <= 1.2x the file |\n| the same without the empty window |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.0f MB = %.2fx the file", f("rss", "old", n) - f("base", "old", n), (f("rss", "old", n) - f("base", "old", n)) / mb[n]),
                    sprintf("%.0f MB = %.2fx the file", f("rss", "new", n) - f("base", "new", n), (f("rss", "new", n) - f("base", "new", n)) / mb[n])) }
    printf " |\n| the same, every line with an invalid cell |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.0f MB = %.2fx the file", f("invalidrss", "old", n), f("invalidrss", "old", n) / invalidmb[n]),
                    sprintf("%.0f MB = %.2fx the file", f("invalidrss", "new", n), f("invalidrss", "new", n) / invalidmb[n])) }
    printf " <= 1.3x the file |\n| read + validate in the file layer |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.3f s = %.1fx cat", f("rv", "old", n), f("rv", "old", n) / f("cat", "old", n)),
                    sprintf("%.3f s = %.1fx cat", f("rv", "new", n), f("rv", "new", n) / f("cat", "new", n))) }
    printf " <= 4x cat |\n| search that finds nothing, slowest of 4 directions |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.3f s", f("search", "old", n)), sprintf("%.3f s", f("search", "new", n))) }
    printf " < 0.03 s |\n| save from the window / file layer write |"
    for (i = 1; i <= count; ++i) { n = order[i]
        printf "%s", cell(sprintf("%.3f / %.3f s = %.2fx", f("save", "old", n), f("write", "old", n), f("save", "old", n) / f("write", "old", n)),
                    sprintf("%.3f / %.3f s = %.2fx", f("save", "new", n), f("write", "new", n), f("save", "new", n) / f("write", "new", n))) }
    printf " no slower |\n"
    if (largelines != "") {
        if (compare)
            printf "\n%d lines, %.0f MB, opened once: before %.2f s and %.0f MB resident, after %.2f s and %.0f MB resident (target <= 2 s)\n",
                largelines, largemb, f("largeopen", "old", largelines), f("largerss", "old", largelines),
                f("largeopen", "new", largelines), f("largerss", "new", largelines)
        else
            printf "\n%d lines, %.0f MB, opened once: %.2f s, %.0f MB resident (target <= 2 s)\n",
                largelines, largemb, f("largeopen", "new", largelines), f("largerss", "new", largelines)
    }
}' "$results"
