#!/usr/bin/env bash
# Builds the Debian package from this tree with the release preset (in
# ./build-release, installed under /usr, stripped when packed) and prints the
# path of the .deb. It never disturbs ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/bootstrap.sh" --packages-only >&2
cmake --preset release -DCMAKE_INSTALL_PREFIX=/usr -DVELLUMOR_BUILD_BENCH=OFF >&2
nice cmake --build build-release -j "$(nproc)" >&2
(cd build-release && cpack -G DEB >&2)
ls -1 "$PWD"/build-release/vellumor_*.deb | tail -n 1
