#!/usr/bin/env bash
# Renders the main window with the sample report under Xvfb into
# docs/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target qnveltor_screenshot
# The window shows the header values that the file's name carries.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp docs/sample-1234567890202612SAMPLE.dat "$work/1234567890202612SAMPLE.dat"
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/tests/qnveltor_screenshot" "$work/1234567890202612SAMPLE.dat" docs/screenshot.png
echo "docs/screenshot.png written"
