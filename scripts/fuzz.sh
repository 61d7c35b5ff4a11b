#!/bin/sh
# Builds the libFuzzer targets with clang and runs them side by side for a
# while: the report file layer (reader, writer, base name) and the line
# clipboard's payload parser.
#
#   scripts/fuzz.sh [seconds=600] [build folder=/tmp/qnveltor-fuzz]
#
# New inputs go to a corpus per target in the build folder, seeded from
# fuzz/corpus and fuzz/clipboard-corpus, so the checked-in seeds stay small.
# A crashing input is saved in the build folder as crash-*; run the target
# on that file alone to reproduce it. Each target's log is <target>.log.
set -eu

seconds=${1:-600}
build=${2:-/tmp/qnveltor-fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)

# -fsanitize=fuzzer needs the compiler runtime, which Debian packages apart.
for package in clang-14 libclang-rt-14-dev; do
    if ! dpkg -s "$package" >/dev/null 2>&1; then
        apt-get install -y clang-14 libclang-rt-14-dev
        break
    fi
done

mkdir -p "$build/corpus" "$build/clipboard-corpus"
# Qt is not instrumented; its headers want position-independent code.
flags="-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"
clang++-14 $flags \
    -I"$root/data" -I"$root/file" $(pkg-config --cflags Qt6Core) \
    "$root"/data/*.cpp \
    "$root/file/qnVelTorFile.cpp" "$root/file/qnVelTorFileName.cpp" "$root/file/ShiftJis.cpp" \
    "$root/file/FileIdentity.cpp" "$root/file/FileSystemCalls.cpp" "$root/file/SafeReplace.cpp" \
    "$root/file/ShiftJisCore.cpp" "$root/file/ShiftJisQt.cpp" "$root/file/ReportLineSplitter.cpp" \
    "$root/file/ReportSniffer.cpp" "$root/file/TextEncoding.cpp" \
    "$root/fuzz/qnVelTorFuzz.cpp" \
    $(pkg-config --libs Qt6Core) \
    -o "$build/qnveltor_fuzz"
# The parser needs no clipboard; Qt Gui is only linked for the rest of the
# unit.
clang++-14 $flags \
    -I"$root/grid" $(pkg-config --cflags Qt6Gui) \
    "$root/grid/qnVelTorClipboard.cpp" "$root/fuzz/qnVelTorClipboardFuzz.cpp" \
    $(pkg-config --libs Qt6Gui) \
    -o "$build/qnveltor_clipboard_fuzz"

cd "$build"
./qnveltor_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$root/fuzz/report.dict" -max_len=8192 \
    corpus "$root/fuzz/corpus" >qnveltor_fuzz.log 2>&1 &
file_fuzz=$!
./qnveltor_clipboard_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$root/fuzz/clipboard.dict" -max_len=8192 \
    clipboard-corpus "$root/fuzz/clipboard-corpus" >qnveltor_clipboard_fuzz.log 2>&1 &
clipboard_fuzz=$!

status=0
wait "$file_fuzz" || status=1
wait "$clipboard_fuzz" || status=1
for log in qnveltor_fuzz.log qnveltor_clipboard_fuzz.log; do
    echo "== $log"
    grep -E '^(#[0-9]+.*DONE|stat::|INFO: -max_total_time|==[0-9]+==ERROR|\*\*\*)' "$log" || tail -n 20 "$log"
done
exit "$status"
