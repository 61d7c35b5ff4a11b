#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

# qt6-translations-l10n: Qt's own dialogs in Japanese. qt6-l10n-tools: lupdate,
# which lists the texts the user reads (scripts/check-strings.sh). dpkg-dev,
# desktop-file-utils, file, xdotool, lintian and appstream: the check of the
# Debian package.
packages=(cmake g++ make qt6-base-dev qt6-qpa-plugins qt6-translations-l10n qt6-l10n-tools xvfb xauth xclip fonts-noto-cjk
          dpkg-dev desktop-file-utils file xdotool lintian appstream)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg -s "$package" >/dev/null 2>&1 \
        || ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
