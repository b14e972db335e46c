#!/bin/sh
# Rebuilds fuzz/corpus/archive_objects from the test fixtures: compiles
# make_archive_seeds.cpp against an existing build of the libraries and runs it.
#   fuzz/seeds/make_archive_seeds.sh BUILD_DIR   (e.g. build/fuzz or build/default)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
case $build in /*) ;; *) build=$root/$build ;; esac
flags=""
grep -q 'QM_FUZZ:BOOL=ON\|QM_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" && flags="-fsanitize=address,undefined"
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
out=$root/fuzz/corpus/archive_objects
mkdir -p "$out"
"${cxx:-c++}" -std=c++20 -O1 -g $flags -I"$root" "$root/fuzz/seeds/make_archive_seeds.cpp" \
    "$build/libdecrypt_core.a" -L"$build" -Wl,-rpath,"$build" -lsigilbox -lframework -ldl -o "$build/make_archive_seeds"
"$build/make_archive_seeds" "$root/tests/data" "$out"
ls "$out" | wc -l
