#!/bin/sh
# Peer figure for bench/asn1_bench.cpp: OpenSSL parsing the same 64 MiB OCTET STRING in
# 1,000-octet segments (indefinite length) that BM_DecodeColdInFreshProcess/64 decodes, then
# our benchmark, in one run so the two are comparable. Usage: asn1_peers.sh <build folder>
set -e
build=${1:-build}
input=$(mktemp)
trap 'rm -f "$input"' EXIT
perl -e '
    my $total = 64 * 1048576; my $seg = 1000;
    binmode STDOUT; print "\x24\x80";
    for (my $at = 0; $at < $total; $at += $seg) {
        my $n = $total - $at < $seg ? $total - $at : $seg;
        print "\x04", ($n < 128 ? chr($n) : "\x82" . pack("n", $n)), "\x00" x $n;
    }
    print "\x00\x00";' > "$input"
for run in 1 2 3; do
    /usr/bin/time -f "openssl asn1parse: %e s elapsed, %U s user, %M KiB peak" \
        openssl asn1parse -inform DER -in "$input" -noout
done
"$build/bench/asn1_bench" --benchmark_filter='Segmented|Cold'
