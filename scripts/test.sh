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
(cd "$build" && ctest --output-on-failure --timeout 600 -j"$(nproc)")
bash scripts/sanitize.sh
