#!/bin/sh
# Peer figures for bench/cipher_bench.cpp: OpenSSL's RC2-CBC, DES-CBC and DES-EDE3-CBC on
# 16 KiB blocks (legacy provider), both directions, then our benchmark, in one run so that
# the two are comparable; prints our throughput over OpenSSL's for each. Both divide by CPU
# time. Usage: cipher_peers.sh <build folder>
set -e
build=${1:-build}
seconds=${SECONDS_PER_RUN:-3}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# openssl speed prints thousands of bytes per second; keep MB/s (10^6).
peer() {
    openssl speed -evp "$1" $2 -bytes 16384 -seconds "$seconds" -provider legacy -provider default 2>/dev/null |
        awk -v n="$1" 'toupper($1) == toupper(n) { v = $2; sub(/k$/, "", v); printf "%.2f\n", v / 1000 }'
}

for alg in rc2-cbc des-cbc des-ede3-cbc; do
    echo "$alg encrypt $(peer "$alg" "")" >>"$tmp/peers"
    echo "$alg decrypt $(peer "$alg" -decrypt)" >>"$tmp/peers"
done

# Medians of three runs of each benchmark.
"$build/bench/cipher_bench" --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null >"$tmp/ours.csv"

# Our CSV: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
awk '
    NR == FNR { peer[$1 " " $2] = $3; next }
    { n = split($0, f, ","); name = f[1]; gsub(/"/, "", name) }
    name ~ /_median$/ { sub(/_median$/, "", name); mbs[name] = f[6] / 1e6; order[++count] = name }
    END {
        for (i = 1; i <= count; ++i) {
            name = order[i]
            if (name !~ /^(RC2|DES|DES_EDE3)_CBC_(En|De)crypt\/16384$/)
                continue
            split(name, parts, "/"); base = parts[1]
            dir = base ~ /Decrypt$/ ? "decrypt" : "encrypt"
            alg = base; sub(/_(En|De)crypt$/, "", alg); gsub(/_/, "-", alg); alg = tolower(alg)
            p = peer[alg " " dir]
            printf "%-13s %-8s ours %8.2f MB/s  openssl %8.2f MB/s  ratio %.2f\n", alg, dir, mbs[name], p, (p > 0 ? mbs[name] / p : 0)
        }
        file = mbs["RC2_CBC_DecryptFile/64MiB"]; raw = mbs["RC2_CBC_RawBlockLoop/64MiB"]
        printf "RC2-CBC DecryptFile 64 MiB %.2f MB/s, raw block loop %.2f MB/s, ratio %.3f\n", file, raw, (raw > 0 ? file / raw : 0)
    }' "$tmp/peers" "$tmp/ours.csv"
