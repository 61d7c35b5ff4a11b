#!/usr/bin/env bash
# Builds the code page 932 converter core with its Windows branch (the
# Windows API's own converter) using mingw-w64, runs the shared conversion
# cases under wine, and holds the whole code page as Windows converts it
# against this Linux build's conversion (ICU, through Qt).
#
#   scripts/test-windows-codec.sh [build folder=build]
#
# Installs g++-mingw-w64-x86-64 and wine64 when they are missing (as root).
# Not part of the test suite: wine is large and slow to start.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")

missing=()
for package in g++-mingw-w64-x86-64 wine64; do
    dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || { echo "wine64 not found" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The Windows side: the core and its Windows branch, no Qt.
x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -static \
    -I"$root/file" -I"$root/tests" \
    "$root/file/ShiftJisCore.cpp" "$root/file/ShiftJisWin32.cpp" "$root/tests/shiftjis_vectors.cpp" \
    -o "$work/shiftjis_vectors.exe"

# The Linux side, as the program is built here.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target shiftjis_vectors -j"$(nproc)" >/dev/null

status=0
"$build/tests/shiftjis_vectors" >"$work/linux.txt" || status=1
WINEPREFIX="$work/wine" WINEDEBUG=-all "$wine" "$work/shiftjis_vectors.exe" 2>"$work/wine.log" \
    | tr -d '\r' >"$work/windows.txt" || status=1

echo "Windows build under wine:"
grep -E '^(ok|FAIL)' "$work/windows.txt" | sed 's/^/  /'
cases=$(grep -cE '^(ok|FAIL)' "$work/windows.txt" || true)
[ "$cases" -gt 0 ] || { echo "the Windows build printed no cases:"; cat "$work/wine.log"; exit 1; }
grep -q '^FAIL' "$work/linux.txt" && { echo "Linux build fails cases:"; grep '^FAIL' "$work/linux.txt"; status=1; }

if diff -u "$work/linux.txt" "$work/windows.txt" >"$work/diff.txt"; then
    echo "Linux and Windows agree on all $cases cases, every double-byte code" \
        "($(grep -c '^decode' "$work/linux.txt")) and every storable BMP character" \
        "($(grep -c '^encode' "$work/linux.txt"))."
else
    echo "Linux and Windows differ:"
    head -n 60 "$work/diff.txt"
    status=1
fi
exit $status
