#!/usr/bin/env bash
# Builds the Debian packages from this tree with the release preset (in
# ./build-release, installed under /usr, stripped when packed) and prints the
# path of each .deb, the main package first. It never disturbs ./build.
#
# The compiler and linker take the distribution's hardening flags from
# dpkg-buildflags (fortified functions, stack protector, full RELRO with
# immediate binding; GCC builds position-independent executables already).
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/bootstrap.sh" --packages-only >&2
# No debugging information: the package is stripped when packed.
flags() {
    DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g \
        dpkg-buildflags --get "$1"
}
# CMake reads no CPPFLAGS: the preprocessor's flags go with the compiler's.
cmake --preset release -DCMAKE_INSTALL_PREFIX=/usr -DVELLUMOR_BUILD_BENCH=OFF \
    -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
    -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" \
    -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)" >&2
nice cmake --build build-release -j 2 >&2
rm -f build-release/vellumor*.deb
(cd build-release && cpack -G DEB >&2)
ls -1 "$PWD"/build-release/vellumor_*.deb
ls -1 "$PWD"/build-release/vellumor-*.deb 2>/dev/null || true
