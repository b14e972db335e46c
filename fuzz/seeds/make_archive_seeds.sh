#!/bin/sh
# Rebuilds fuzz/corpus/archive_objects and fuzz/corpus/key_file from the test fixtures:
# compiles make_*_seeds.cpp against an existing build of the libraries and runs them.
#   fuzz/seeds/make_archive_seeds.sh BUILD_DIR   (e.g. build/fuzz or build/default)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
case $build in /*) ;; *) build=$root/$build ;; esac
flags=""
grep -q 'QM_FUZZ:BOOL=ON\|QM_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" && flags="-fsanitize=address,undefined"
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
for target in archive_objects key_file; do
    out=$root/fuzz/corpus/$target
    mkdir -p "$out"
    tool=make_$(echo "$target" | sed 's/_objects$//')_seeds
    "${cxx:-c++}" -std=c++20 -O1 -g $flags -I"$root" "$root/fuzz/seeds/$tool.cpp" \
        "$build/libdecrypt_core.a" -L"$build" -Wl,-rpath,"$build" -lsigilbox -lframework -ldl -o "$build/$tool"
    "$build/$tool" "$root/tests/data" "$out"
    echo "$target: $(ls "$out" | wc -l) seeds"
done
