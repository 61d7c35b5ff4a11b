#!/bin/sh
# Builds the libFuzzer target of the report file layer with clang and runs
# it for a while.
#
#   scripts/fuzz.sh [seconds=600] [build folder=/tmp/qnveltor-fuzz]
#
# New inputs go to a corpus in the build folder, seeded from fuzz/corpus, so
# the checked-in seeds stay small. A crashing input is saved in the build
# folder as crash-*; run the target on that file alone to reproduce it.
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

mkdir -p "$build/corpus"
# Qt is not instrumented; its headers want position-independent code.
clang++-14 -std=c++20 -g -O1 -fPIC \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/data" -I"$root/file" $(pkg-config --cflags Qt6Core) \
    "$root"/data/*.cpp \
    "$root/file/qnVelTorFile.cpp" "$root/file/qnVelTorFileName.cpp" "$root/file/ShiftJis.cpp" \
    "$root/file/ShiftJisCore.cpp" "$root/file/ShiftJisQt.cpp" \
    "$root/fuzz/qnVelTorFuzz.cpp" \
    $(pkg-config --libs Qt6Core) \
    -o "$build/qnveltor_fuzz"

cd "$build"
./qnveltor_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$root/fuzz/report.dict" -max_len=8192 \
    corpus "$root/fuzz/corpus"
