#!/usr/bin/env bash
# Installs the Debian packages Vellumor needs (only those missing), then
# configures and builds the project in ./build. Safe to run again: it only
# does what is left to do.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev libqt6dbus6 libplist-dev libnautilus-extension-dev
    libgtest-dev libbenchmark-dev
    rsync dbus dbus-bin python3 tzdata
    xvfb xauth
    dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    echo "Installing missing packages: ${missing[*]}"
    sudo_cmd=()
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -q
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# --packages-only: stop here (the package script builds in its own folder).
if [ "${1:-}" = "--packages-only" ]; then
    exit 0
fi

# VELLUMOR_PRESET picks the configure preset of ./build (.ci/run uses "ci").
# A preset asked for by name is always applied, so an existing ./build cannot
# keep older settings (CI's warnings as errors among them); without one, ./build
# is configured once with the default preset.
if [ -n "${VELLUMOR_PRESET:-}" ] || [ ! -f build/CMakeCache.txt ]; then
    cmake --preset "${VELLUMOR_PRESET:-default}"
fi
cmake --build build -j "$(nproc)"
