#!/bin/sh
# Peer figures for bench/rsa_bench.cpp: `openssl speed -seconds 3 rsa512` and our benchmark
# in one run, so that the two are comparable. Prints openssl's sign/s and verify/s (private
# and public operations, the private one with the CRT speed-up), then our operations per
# second and the medians of one key-pair generation with its test.
# Usage: rsa_peers.sh <build folder>
set -e
build=${1:-build}
openssl speed -seconds 3 rsa512 2>/dev/null |
    awk '$1 == "rsa" && $2 == "512" { printf "openssl rsa512 sign %s/s verify %s/s\n", $(NF-1), $NF }'

"$build/bench/rsa_bench" --benchmark_filter='UnlockRC2Key|LockRC2Key|SHA1Digest' --benchmark_min_time=1 \
    --benchmark_format=csv 2>/dev/null |
    awk -F, '/ops\/s/ && !header { for (i = 1; i <= NF; ++i) if ($i == "\"ops/s\"" || $i == "ops/s") col = i; header = 1; next }
             col && $1 ~ /BM_/ { name = $1; gsub(/"/, "", name); printf "ours %-26s %10.0f ops/s\n", name, $col }'

"$build/bench/rsa_bench" --benchmark_filter='KeyPairWithTest' --benchmark_report_aggregates_only=true \
    --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /_median"?$/ { name = $1; gsub(/"/, "", name); printf "ours %-40s %10.1f ms\n", name, $3 }'
