#!/usr/bin/env bash
# Builds the release tree and the Debian package from a fresh clone:
#   tools/make_deb.sh [BUILD_DIR]        (default build/release)
# then installs it with `sudo apt-get install ./build/release/decrypt_*.deb`.
# Needs what the build needs (cmake, ninja-build, g++, nlohmann-json3-dev) and dpkg-dev,
# whose dpkg-shlibdeps finds the package's dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
for tool in cmake ninja g++ dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "make_deb.sh: $tool is missing: apt-get install cmake ninja-build g++ nlohmann-json3-dev dpkg-dev" >&2
        exit 1
    fi
done
# The libraries are the program's own: in a folder of their own, found through its RPATH.
triplet=$(gcc -print-multiarch 2>/dev/null || true)
libdir=lib/${triplet:+$triplet/}decrypt
# Debian's hardening flags (stack protector, fortified functions, full RELRO, bind now).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake --preset default -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR="$libdir" \
    "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_SHARED_LINKER_FLAGS=$ldflags" \
    -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF
cmake --build "$build" -j "${JOBS:-2}"
rm -f "$build"/decrypt_*.deb
(cd "$build" && cpack -G DEB)
ls "$build"/decrypt_*.deb
