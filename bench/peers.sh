#!/bin/sh
# Builds the benchmarks (default configuration), runs our micro-benchmarks and the peers side
# by side in one run, and prints each figure beside its peer with the ratio and the target.
#
#   bench/peers.sh [BUILD_DIR]        (default build/default)
#
# Peers: `openssl speed` (md5, sha1, rc2-cbc, des-cbc, des-ede3-cbc with the legacy provider,
# rsa512), `openssl base64 -d` and `openssl cms -decrypt | munpack` (both run inside the
# benchmark programs on the same files, in the same run). The end-to-end peer uses `cms`
# because `openssl smime -decrypt` of OpenSSL 3.0 fails on RC2-40 envelopes ("bad decrypt").
# Environment: SECONDS_PER_RUN (openssl speed, default 3), KEYPAIR_2048=1 also times 2048-bit
# key pairs (minutes).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/default}
case $build in /*) ;; *) build=$root/$build ;; esac
seconds=${SECONDS_PER_RUN:-3}

command -v openssl >/dev/null || { echo "peers.sh: openssl is needed" >&2; exit 2; }
if ! command -v munpack >/dev/null; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        apt-get install -y -qq mpack >/dev/null 2>&1 || true
    fi
    command -v munpack >/dev/null || echo "peers.sh: munpack missing (apt-get install mpack); the end-to-end peer is skipped" >&2
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target digest_bench cipher_bench rsa_bench asn1_bench mime_bench decrypt_driver_bench

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "== peers (openssl speed, ${seconds}s each)"
speed() {
    # kB/s (10^3 bytes) of the 16 KiB column
    openssl speed -evp "$1" $2 -bytes 16384 -seconds "$seconds" -provider legacy -provider default 2>/dev/null |
        awk -v n="$1" 'toupper($1) == toupper(n) { v = $2; sub(/k$/, "", v); print v * 1000 }'
}
{
    echo "md5 $(speed md5 "")"
    echo "sha1 $(speed sha1 "")"
    for alg in rc2-cbc des-cbc des-ede3-cbc; do
        echo "$alg-encrypt $(speed "$alg" "")"
        echo "$alg-decrypt $(speed "$alg" -decrypt)"
    done
    openssl speed -seconds "$seconds" rsa512 2>/dev/null |
        awk '$1 == "rsa" && $2 == "512" { print "rsa512-sign", $(NF-1); print "rsa512-verify", $NF }'
} >"$tmp/peers.txt"
cat "$tmp/peers.txt"

echo "== ours"
run() {
    name=$1
    shift
    echo "-- $name $*"
    "$build/bench/$name" --benchmark_format=console --benchmark_out_format=json \
        --benchmark_out="$tmp/$name.json" "$@" | sed -n '/^-----/,$p'
}
run digest_bench --benchmark_filter='^(MD5|SHA1)/16KiB' --benchmark_min_time=1
run cipher_bench --benchmark_filter='^(RC2|DES|DES_EDE3)_CBC_' --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
if [ "${KEYPAIR_2048:-0}" = 1 ]; then
    run rsa_bench --benchmark_filter='UnlockRC2Key/512|KeyPairWithTest' --benchmark_report_aggregates_only=true
else
    run rsa_bench --benchmark_filter='UnlockRC2Key/512|KeyPairWithTest/(508|1024)/' --benchmark_report_aggregates_only=true
fi
run asn1_bench --benchmark_filter='Segmented|Cold'
run mime_bench --benchmark_filter='BM_DecodeBase64/|OpensslBase64|MimeProcess'
if command -v munpack >/dev/null; then
    run decrypt_driver_bench
else
    run decrypt_driver_bench --benchmark_filter='DecryptOneFile|SmallFile'
fi

echo
echo "== ratios against the targets"
python3 - "$tmp" <<'EOF'
import json, os, sys
tmp = sys.argv[1]
peers = {}
for line in open(os.path.join(tmp, "peers.txt")):
    parts = line.split()
    if len(parts) == 2 and parts[1]:
        peers[parts[0]] = float(parts[1])

def load(name):
    path = os.path.join(tmp, name + ".json")
    if not os.path.exists(path):
        return {}
    out = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("error_occurred"):
            continue
        key = b["name"]
        if b.get("aggregate_name") and b["aggregate_name"] != "median":
            continue
        key = key.replace("_median", "")
        out[key] = b
    return out

def ms(b):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["real_time"] * scale

rows = []
def row(what, ours, peer, ratio, target, ok):
    rows.append((what, ours, peer, ratio, target, "meets" if ok else "MISSES"))

d = load("digest_bench")
for alg, name, target in (("md5", "MD5/16KiB", 0.8), ("sha1", "SHA1/16KiB", 0.5)):
    if name in d and alg in peers:
        ours = d[name]["bytes_per_second"] / 1e6
        p = peers[alg] / 1e6
        row(alg.upper() + " 16 KiB", "%.1f MB/s" % ours, "%.1f MB/s" % p, ours / p, ">= %.1f" % target, ours / p >= target)

c = load("cipher_bench")
for alg, base, target in (("rc2-cbc", "RC2_CBC", 1.0), ("des-cbc", "DES_CBC", 0.8), ("des-ede3-cbc", "DES_EDE3_CBC", 0.8)):
    for direction, suffix in (("decrypt", "Decrypt"), ("encrypt", "Encrypt")):
        name = "%s_%s/16384" % (base, suffix)
        key = "%s-%s" % (alg, direction)
        if name in c and key in peers:
            ours = c[name]["bytes_per_second"] / 1e6
            p = peers[key] / 1e6
            t = target if direction == "decrypt" else None
            row("%s %s" % (alg.upper(), direction), "%.1f MB/s" % ours, "%.1f MB/s" % p, ours / p,
                (">= %.1f" % t) if t else "(none)", ours / p >= t if t else True)
if "RC2_CBC_DecryptFile/64MiB" in c and "RC2_CBC_RawBlockLoop/64MiB" in c:
    f = c["RC2_CBC_DecryptFile/64MiB"]["bytes_per_second"] / 1e6
    r = c["RC2_CBC_RawBlockLoop/64MiB"]["bytes_per_second"] / 1e6
    row("DecryptFile 64 MiB / raw loop", "%.1f MB/s" % f, "%.1f MB/s" % r, f / r, ">= 0.9", f / r >= 0.9)

r = load("rsa_bench")
u = r.get("BM_UnlockRC2Key/512")
if u and "rsa512-sign" in peers:
    ops = 1000.0 / ms(u)
    row("UnlockRC2Key 512 (private op)", "%.0f/s" % ops, "%.0f sign/s" % peers["rsa512-sign"], ops / peers["rsa512-sign"],
        "(report)", True)
for bits, limit in (("508", 200.0), ("1024", 2000.0), ("2048", 30000.0)):
    for name, b in r.items():
        if name.startswith("BM_KeyPairWithTest/%s/" % bits):
            t = ms(b)
            row("key pair %s bits, median" % bits, "%.1f ms" % t, "-", t / limit, "<= 1 (of %.0f ms)" % limit, t <= limit)

a = load("asn1_bench")
seg = {k: v for k, v in a.items() if k.startswith("BM_DecodeSegmentedOctetString/")}
if "BM_DecodeSegmentedOctetString/16" in seg and "BM_DecodeSegmentedOctetString/64" in seg:
    t16, t64 = ms(seg["BM_DecodeSegmentedOctetString/16"]), ms(seg["BM_DecodeSegmentedOctetString/64"])
    row("segmented OCTET STRING 64/16 MiB time", "%.1f ms" % t64, "%.1f ms" % t16, t64 / t16 / 4, "~1 (linear)", t64 / t16 / 4 < 1.5)
for name, b in a.items():
    if name.startswith("BM_DecodeColdInFreshProcess/64"):
        p = b.get("peak_per_input")
        if p is not None:
            row("segmented 64 MiB peak / input", "%.2f" % p, "-", p / 3.5, "<= 3.5x", p <= 3.5)
    if name.startswith("BM_HostileColdInFreshProcess/content_in_1_octet_segments"):
        p = b.get("peak_per_input")
        if p is not None:
            row("1-octet segments 64 MiB peak / input", "%.2f" % p, "-", p / 3, "<= 3x", p <= 3)
    elif name.startswith("BM_HostileColdInFreshProcess/") and "peak_MiB" in b:
        what = name.split("/")[1].replace("_", " ")
        row(what + " peak", "%.1f MiB" % b["peak_MiB"], "-", b.get("peak_per_input", 0), "(report)", True)

m = load("mime_bench")
ours_b64 = next((b for k, b in m.items() if k.startswith("BM_DecodeBase64") and "Mime" not in k), None)
peer_b64 = next((b for k, b in m.items() if k.startswith("BM_OpensslBase64")), None)
if ours_b64 and peer_b64:
    row("DecodeBase64 64 MiB (speed)", "%.0f ms" % ms(ours_b64), "%.0f ms" % ms(peer_b64), ms(peer_b64) / ms(ours_b64),
        ">= 1.0", ms(peer_b64) / ms(ours_b64) >= 1.0)
m16 = next((b for k, b in m.items() if k.startswith("BM_MimeProcess/16")), None)
m64 = next((b for k, b in m.items() if k.startswith("BM_MimeProcess/64")), None)
if m16 and m64:
    row("MIME processor 64/16 MiB time", "%.0f ms" % ms(m64), "%.0f ms" % ms(m16), ms(m64) / ms(m16) / 4, "~1 (linear)",
        ms(m64) / ms(m16) / 4 < 1.5)
    p = m64.get("peak_rss_per_message_byte")
    if p is not None:
        row("MIME processor 64 MiB peak / message", "%.2f" % p, "-", p / 2, "< 2x", p < 2)

e = load("decrypt_driver_bench")
ours_e = next((b for k, b in e.items() if k.startswith("BM_DecryptOneFile")), None)
peer_e = next((b for k, b in e.items() if k.startswith("BM_OpensslMunpack")), None)
small = next((b for k, b in e.items() if k.startswith("BM_SmallFile")), None)
if ours_e and peer_e:
    row("decrypt 64 MiB .p7m end to end (time)", "%.0f ms" % ms(ours_e), "%.0f ms" % ms(peer_e), ms(ours_e) / ms(peer_e),
        "<= 1.0", ms(ours_e) / ms(peer_e) <= 1.0)
prog = next((b for k, b in e.items() if k.startswith("BM_ProgramWholeFile")), None)
peer_p = next((b for k, b in e.items() if k.startswith("BM_PeerWholeFile")), None)
if prog and peer_p:
    row("decrypt 64 MiB, programs (wall)", "%.0f ms" % ms(prog), "%.0f ms" % ms(peer_p), ms(prog) / ms(peer_p),
        "<= 0.6", ms(prog) / ms(peer_p) <= 0.6)
    row("decrypt 64 MiB, programs (CPU)", "%.2f s" % prog["cpu_s"], "%.2f s" % peer_p["cpu_s"],
        prog["cpu_s"] / peer_p["cpu_s"], "<= 0.8", prog["cpu_s"] / peer_p["cpu_s"] <= 0.8)
    row("decrypt 64 MiB, program peak / input", "%.2f" % prog["peak_x_input"], "%.2f" % peer_p["peak_x_input"],
        prog["peak_x_input"] / 1.2, "<= 1.2x", prog["peak_x_input"] <= 1.2)
if small:
    row("per-file overhead (1 KiB message)", "%.2f ms" % ms(small), "-", ms(small) / 20, "< 20 ms", ms(small) < 20)

w = max(len(x[0]) for x in rows) if rows else 10
print("%-*s %14s %16s %7s  %-18s %s" % (w, "figure", "ours", "peer", "ratio", "target", ""))
for what, ours, peer, ratio, target, verdict in rows:
    print("%-*s %14s %16s %7.2f  %-18s %s" % (w, what, ours, peer, ratio, target, verdict))
EOF

echo
echo "== one batch of many small messages"
sh "$root/bench/batch_peers.sh" "$build"
