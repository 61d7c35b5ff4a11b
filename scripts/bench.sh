#!/bin/sh
# Builds the benchmark in Release and runs it.
#
#   scripts/bench.sh [build folder=/tmp/qnveltor-bench] [lines=1000000]
#   scripts/bench.sh lines
#
# The last line of the output is machine-readable (BENCH key=value ...).
set -eu

build=${1:-/tmp/qnveltor-bench}
lines=${2:-1000000}
case $build in
*[!0-9]*) ;;
*) lines=$build; build=/tmp/qnveltor-bench ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DQNVELTOR_BUILD_BENCH=ON -DQNVELTOR_BUILD_APP=OFF -DQNVELTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target qnveltor_bench -j"$(nproc)"
"$build/bench/qnveltor_bench" "$lines"
