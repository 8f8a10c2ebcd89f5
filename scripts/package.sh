#!/usr/bin/env bash
# Builds the Debian package from this tree into ./build-package and prints
# the path of the .deb. A separate build folder with release settings (stripped when packed)
# settings, so it never disturbs ./build.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/bootstrap.sh" --packages-only >&2
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DVELLUMOR_BUILD_TESTS=OFF -DVELLUMOR_BUILD_BENCH=OFF >&2
nice cmake --build build-package -j "$(nproc)" >&2
(cd build-package && cpack -G DEB >&2)
ls -1 "$PWD"/build-package/vellumor_*.deb | tail -n 1
