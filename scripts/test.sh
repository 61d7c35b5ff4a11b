#!/usr/bin/env bash
# Builds everything and runs every test, headless; then the tests again,
# built with the address and undefined-behaviour sanitizers
# (scripts/sanitize.sh, in build-asan or SANITIZE_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
# A long log may be cut in the middle where CI shows it: what failed is
# told again at its end.
if ! (cd "$build" && ctest --output-on-failure --timeout 600 -j"$(nproc)"); then
    echo "== what failed"
    grep -hE -A2 '^(FAIL!|XPASS) ' "$build/Testing/Temporary/LastTest.log" | head -60 || true
    exit 1
fi
bash scripts/sanitize.sh
