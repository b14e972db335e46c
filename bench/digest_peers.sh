#!/bin/sh
# Peer figures for bench/digest_bench.cpp: OpenSSL's MD5 and SHA-1 on 16 KiB blocks, then our
# benchmark, in one run so that the two are comparable. Usage: digest_peers.sh <build folder>
set -e
build=${1:-build}
for alg in md5 sha1; do
    openssl speed -evp "$alg" -bytes 16384 -seconds 3 2>/dev/null | awk -v a="$alg" '$1 == a { print "openssl", a, $2 }'
done
"$build/bench/digest_bench" --benchmark_min_time=1 --benchmark_filter='MD5|SHA1'
