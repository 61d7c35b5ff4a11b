#!/usr/bin/env bash
# Builds the tests of the code that runs on several threads (the load of a
# report and the import of a CSV file in parts, the export's conversion, the
# search's look through its lines) with
# ThreadSanitizer, in a build folder of their own, and runs them there: a
# data race or a lock taken in two orders stops the test with both stacks.
#
#   scripts/tsan.sh [build folder=build-tsan]
#
# Not part of scripts/test.sh: the instrumented reads are ten times slower.
# Only these tests are built and run, and of the search's only those on a
# report with no window: Qt itself is not instrumented, so a window's
# painting, which Qt spreads over threads of its own, would report what
# happens inside Qt.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${TSAN_BUILD_DIR:-build-tsan}}
tests="file filefaults load document import exchange"
# The search's tests on a report alone, among them its look through
# 150,000 lines on two threads.
searches="largeReportAsCellByCell thousandsOfLines fieldIsPassedOverOnlyWhenKnownEmpty absentWordIsFoundNowhere"

sanitizers="-fsanitize=thread"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
    -DQNVELTOR_BUILD_APP=ON -DQNVELTOR_BUILD_TESTS=ON >/dev/null
targets="$(for name in $tests; do printf 'tst_%s ' "$name"; done) tst_search"
# shellcheck disable=SC2086
nice -n 10 cmake --build "$build" -j"$(nproc)" --target $targets

root=$PWD
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"
cd "$build"
status=0
ctest --output-on-failure --timeout 1200 -R "^($(echo "$tests" | tr ' ' '|'))\$" || status=$?
echo "search, on a report with no window:"
# shellcheck disable=SC2086
QT_QPA_PLATFORM=offscreen ./tests/tst_search $searches || status=$?
exit "$status"
