#!/usr/bin/env bash
# Builds the Debian package, installs it into a scratch root and checks it as
# Debian and a desktop would see it: lintian finds no error or warning, the
# dependencies are met on this machine, the desktop entry passes
# desktop-file-validate, the AppStream metadata passes appstreamcli validate,
# the icon is where the theme looks for it, and the installed program starts
# under Xvfb and opens the report file it is given.
#
#   scripts/check-deb.sh [build folder=build]
#
# The build folder is configured and built when needed; the test suite runs
# this on its own build folder, already built. Runs as root on a fresh
# Debian 12 machine (the packages it needs are installed by scripts/deps.sh).
set -euo pipefail

root_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root_dir/build}")
started=$(date +%s.%N)

fail() { echo "check-deb: $*" >&2; exit 1; }

if [ ! -f "$build/CPackConfig.cmake" ]; then
    cmake -S "$root_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target qnveltor -j"$(nproc)" >/dev/null

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# The package, made apart from the build folder's own packages.
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/qnveltor_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no .deb made"
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# Every dependency (or one of its alternatives) is installed here, in the
# version asked for.
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
IFS=',' read -ra groups <<<"$depends"
for group in "${groups[@]}"; do
    met=
    IFS='|' read -ra choices <<<"$group"
    for choice in "${choices[@]}"; do
        name=$(sed -E 's/^ *([^ (]+).*/\1/' <<<"$choice")
        relation=$(sed -nE 's/.*\(([<>=]+) *([^)]+)\).*/\1 \2/p' <<<"$choice")
        version=$(dpkg-query -W -f='${Status} ${Version}\n' "$name" 2>/dev/null \
            | awk '$1 == "install" && $3 == "installed" {print $4}' | head -n 1)
        [ -n "$version" ] || continue
        if [ -n "$relation" ]; then
            read -r op wanted <<<"$relation"
            case $op in
            '>=') op=ge ;; '<=') op=le ;; '>>') op=gt ;; '<<') op=lt ;; '=') op=eq ;;
            esac
            dpkg --compare-versions "$version" "$op" "$wanted" || continue
        fi
        met=yes
        break
    done
    [ -n "$met" ] || fail "dependency not met on this machine: $group"
done

# Installed with dpkg into a scratch root with a database of its own.
target="$work/root"
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
touch "$target/var/lib/dpkg/status"
if [ "$(id -u)" = 0 ]; then
    # The scratch database knows no other package: dependencies are checked above.
    dpkg --root="$target" --force-depends --force-script-chrootless --log=/dev/null -i "$deb" \
        >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg could not install the package"; }
    dpkg --root="$target" -s qnveltor | grep -q '^Status: install ok installed' || fail "not installed"
else
    dpkg-deb -x "$deb" "$target"
fi

entry="$target/usr/share/applications/qnveltor.desktop"
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "desktop-file-validate found faults"
grep -qx 'Name=JASRAC報告' "$entry" || fail "desktop entry: wrong Name"
grep -qx 'Exec=qnveltor %f' "$entry" || fail "desktop entry: wrong Exec"
grep -qx 'Categories=Office;' "$entry" || fail "desktop entry: wrong Categories"
icon=$(sed -n 's/^Icon=//p' "$entry")
program="$target/usr/bin/qnveltor"
[ -x "$program" ] || fail "no program in /usr/bin"
[ -f "$target/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
for size in 16 24 32 48 64 128 256; do
    png="$target/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    file "$png" | grep -q "PNG image data, $size x $size" || fail "icon $png missing or not $size x $size"
done
! ldd "$program" | grep -q 'not found' || fail "libraries missing: $(ldd "$program" | grep 'not found')"

# AppStream: the metadata names this desktop entry and this program. No
# network (--no-net): the machine may have none, and no link in it is
# checked; --strict fails on hints too, not only on errors and warnings.
metainfo=$(ls "$target"/usr/share/metainfo/*.metainfo.xml 2>/dev/null | head -n 1)
[ -n "$metainfo" ] || fail "no AppStream metadata in /usr/share/metainfo"
appstreamcli validate --no-net --strict "$metainfo" || fail "appstreamcli validate found faults in $(basename "$metainfo")"
grep -q "<launchable type=\"desktop-id\">$(basename "$entry")</launchable>" "$metainfo" \
    || fail "AppStream metadata: no launchable $(basename "$entry")"
grep -q "<binary>$(basename "$program")</binary>" "$metainfo" || fail "AppStream metadata: does not provide $(basename "$program")"

# The version the package, its changelog, its metadata and its manual page
# say is one.
version=$(dpkg-deb -f "$deb" Version)
zcat "$target/usr/share/doc/qnveltor/changelog.gz" >"$work/changelog" || fail "no changelog.gz"
logged=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$logged" = "$version" ] || fail "the changelog's latest entry is $logged, the package $version"
released=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p; T; q' "$metainfo")
[ "$released" = "$version" ] || fail "the AppStream metadata's latest release is $released, the package $version"
zcat "$target/usr/share/man/man1/qnveltor.1.gz" >"$work/qnveltor.1" || fail "no manual page"
grep -q "^\.TH QNVELTOR 1 .* \"qnVelTor $version\"" "$work/qnveltor.1" \
    || fail "the manual page's heading does not name version $version"

# Debian's own checks of the package: any error or warning fails (the info
# tags are not shown). Lintian says once that it runs as root.
lintian_started=$(date +%s.%N)
lintian_status=0
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" = 0 ] || fail "lintian found faults (status $lintian_status)"
echo "lintian: no error or warning ($(awk -v s="$lintian_started" -v e="$(date +%s.%N)" 'BEGIN {printf "%.1f", e - s}') s)"

# The installed program, started as the desktop entry starts it, with a
# report file: its window names the file once it is open.
report="$work/reports/1234567890202612CHECK.dat"
mkdir -p "$work/reports" "$work/home"
printf '1\t\t\t\t\t\t\tTitle\t\t\t\t\t\t\t\t\t\t\t\r\n' >"$report"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
command=${exec_line%% *}
expected="1234567890202612CHECK.dat - JASRAC報告"

# Xvfb picks a free display itself: other X servers may come and go.
start_xvfb() {
    rm -f "$work/display"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    display=
    for _ in $(seq 1 80); do
        display=$(cat "$work/display" 2>/dev/null || true)
        [ -n "$display" ] && DISPLAY=":$display" xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.25
    done
    return 1
}
stop_xvfb() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
}

# A display that is there for xdotool and gone for the program a moment
# later was seen once on a shared machine: that, and only that, is tried
# again on a display of its own.
title=
for attempt in 1 2 3; do
    start_xvfb || fail "Xvfb did not start"
    (cd "$work" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
        exec "$target/usr/bin/$command" "$report") >"$work/app.log" 2>&1 &
    app_pid=$!
    for _ in $(seq 1 60); do
        title=$(DISPLAY=":$display" xdotool search --name 'JASRAC報告' getwindowname 2>/dev/null | head -n 1 || true)
        [ "$title" = "$expected" ] && break
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.25
    done
    [ "$title" = "$expected" ] && break
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
    grep -q 'could not connect to display' "$work/app.log" || break
    echo "check-deb: display :$display went away (attempt $attempt): $(tr '\n' ' ' <"$work/app.log")"
    stop_xvfb
done
[ "$title" = "$expected" ] \
    || fail "the installed program did not open the file (title: '$title'; log: $(tr '\n' ' ' <"$work/app.log"))"
echo "installed program opened the file: $title"
echo "check-deb: all good in $(awk -v s="$started" -v e="$(date +%s.%N)" 'BEGIN {printf "%.1f", e - s}') s"
