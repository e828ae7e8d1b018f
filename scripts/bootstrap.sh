#!/usr/bin/env bash
# Installs the Debian packages Calvera needs to build, test and run.
# Quick when everything is present: it asks dpkg first and calls apt-get only
# for what is missing.
set -euo pipefail

packages=(
    g++ make cmake pkg-config
    qt6-base-dev libgl-dev
    # lupdate and lrelease for the translations, and Qt's own German for its standard buttons
    qt6-l10n-tools qt6-translations-l10n
    libgtest-dev libgmock-dev
    ffmpeg
    xvfb xauth
    dbus-daemon
    strace
    # only for testing outputs on a FUSE exFAT volume (no exclusive rename, no hard links)
    exfatprogs exfat-fuse
    desktop-file-utils appstream dpkg-dev shared-mime-info lintian
    # only for testing the shell completions
    zsh fish
    fonts-open-sans
    libpugixml-dev
    clang libclang-rt-14-dev clang-format
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
