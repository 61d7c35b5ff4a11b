#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer in a
# build folder of their own and runs them there: any invalid memory access,
# leak or undefined behaviour stops the test that caused it, with a stack.
#
#   scripts/sanitize.sh [build folder=build-asan]
#
# Left out: the `install` and `strings` tests, which check the Debian
# package and the sources rather than run the code; and the tests that run the program out of address space with
# RLIMIT_AS, which the sanitizer's terabytes of shadow memory rule out (and
# whose allocator ends the program where std::bad_alloc would be thrown).
# Those skip themselves (QSKIP) when built with AddressSanitizer; the list
# printed at the end comes from their output. A test that replaces operator
# new itself, as tst_save does, still runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-${SANITIZE_BUILD_DIR:-build-asan}}

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
# -O1 and line tables only: a third of the build time of -O2 -g, and the
# stacks still name every line.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
    -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" \
    -DQNVELTOR_BUILD_APP=ON -DQNVELTOR_BUILD_TESTS=ON >/dev/null
# Only the tests' executables: the program and the screenshot tool are not
# run here.
targets=$(ctest --test-dir "$build" -N | sed -nE 's/^ *Test +#[0-9]+: ([A-Za-z0-9_]+)$/tst_\1/p' | grep -vx -e tst_install -e tst_strings)
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target $targets

export ASAN_OPTIONS=halt_on_error=1:print_stacktrace=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0

cd "$build"
# Every test's output goes to the log, so that the skips can be found in it;
# the output of a test that failed is printed from there.
log=sanitize-tests.log
status=0
ctest -V --timeout 600 -j"$(nproc)" -E '^(install|strings)$' >"$log" 2>&1 || status=$?
grep -E '^ *[0-9]+/[0-9]+ Test +#|tests passed|Total Test time' "$log" || true
for number in $(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+:.*\*\*\*' "$log" | sed -E 's/.*Test +#([0-9]+):.*/\1/'); do
    echo "== output of test $number"
    grep -E "^$number: " "$log" | cut -d' ' -f2-
done

echo
echo "Not run under the sanitizers:"
echo "  install: checks the Debian package, not the code (bash scripts/test.sh runs it)"
echo "  strings: reads the sources, runs none of them (bash scripts/test.sh runs it)"
# QtTest prints "SKIP   : tst_Area::test() reason" for every skipped test.
grep -hoE 'SKIP +: tst_[A-Za-z0-9_]+::[A-Za-z0-9_]+\([^)]*\) not under AddressSanitizer: .*' "$log" \
    | sed -E 's/SKIP +: /  /; s/ not under AddressSanitizer: /: /' | sort -u || true
exit "$status"
