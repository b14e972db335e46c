#!/bin/sh
# One batch of many small messages: ours one at a time (-j 1), two at once (-j 2) and one per
# processor (the default), beside the peer, a shell loop of `openssl cms -decrypt | munpack`
# per file, on the same files in the same run; prints the times and the ratios against the
# targets (the default batch at least 5x the peer's loop, -j 2 at least 1.6x -j 1).
#
#   bench/batch_peers.sh [BUILD_DIR]        (default build/default)
#
# Environment: MESSAGES (default 1000), SIZE (bytes of each message before encryption,
# default 2048), ROUNDS (each figure is the best of this many runs, default 3).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/default}
case $build in /*) ;; *) build=$root/$build ;; esac
messages=${MESSAGES:-1000}
size=${SIZE:-2048}
rounds=${ROUNDS:-3}
legacy="-provider legacy -provider default"

command -v openssl >/dev/null || { echo "batch_peers.sh: openssl is needed" >&2; exit 2; }
command -v munpack >/dev/null || { echo "batch_peers.sh: munpack is needed (apt-get install mpack)" >&2; exit 2; }
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target decrypt >/dev/null
program=$build/decrypt

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
cp "$root/samples/demo.sec" "$root/samples/demo.P7M" "$root/samples/demo_key.der" .
openssl pkcs7 -inform DER -in demo.P7M -print_certs -out demo.pem 2>/dev/null
openssl rsa -inform DER -in demo_key.der -out demo_key.pem 2>/dev/null

# Twenty different messages of SIZE bytes (a text and a base64 attachment), copied round
# to MESSAGES files in one folder.
mkdir inputs
i=0
while [ $i -lt 20 ]; do
    {
        printf 'From: Bench <bench@example.org>\r\nSubject: message %d\r\nMIME-Version: 1.0\r\n' $i
        printf 'Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nHello %d.\r\n' $i
        printf -- '--b\r\nContent-Type: application/octet-stream; name=data%d.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n' $i
        head -c $(( (size - 400) * 3 / 4 )) /dev/urandom | base64 -w 76 | sed 's/$/\r/'
        printf -- '--b--\r\n'
    } >m$i.eml
    openssl cms -encrypt $legacy -rc2-40 -outform DER -in m$i.eml -out m$i.p7m demo.pem
    i=$((i + 1))
done
i=0
while [ $i -lt "$messages" ]; do
    cp m$((i % 20)).p7m inputs/$(printf 'f%04d.p7m' $i)
    i=$((i + 1))
done

now() { date +%s.%N; }
# Seconds of the best of ROUNDS runs of the command, each on a fresh copy of the inputs.
best() {
    b=""
    r=0
    while [ $r -lt "$rounds" ]; do
        rm -rf run && cp -r inputs run
        # The previous run's writes go to disk first, not into this run's time.
        sync
        start=$(now)
        (cd run && "$@") >/dev/null 2>&1 || { echo "batch_peers.sh: failed: $*" >&2; exit 1; }
        t=$(echo "$(now) - $start" | bc -l)
        if [ -z "$b" ] || [ "$(echo "$t < $b" | bc -l)" = 1 ]; then b=$t; fi
        r=$((r + 1))
    done
    echo "$b"
}
peer() {
    n=0
    for f in *.p7m; do
        mkdir "out$n"
        openssl cms $legacy -decrypt -binary -inform DER -in "$f" -inkey ../demo_key.pem | munpack -q -C "out$n"
        n=$((n + 1))
    done
}
ours() { XDG_CONFIG_HOME=$tmp/cfg XDG_DATA_HOME=$tmp/data XDG_RUNTIME_DIR=$tmp "$program" --batch "$@" --key ../demo.sec ./*.p7m; }

echo "== $messages messages of $size bytes, $(nproc) processors, best of $rounds"
t_peer=$(best peer)
t_one=$(best ours -j 1)
t_two=$(best ours -j 2)
t_all=$(best ours)
printf '%-40s %8.3f s\n' "peer: openssl cms | munpack, shell loop" "$t_peer" "ours --batch -j 1" "$t_one" \
    "ours --batch -j 2" "$t_two" "ours --batch (one per processor)" "$t_all"
echo
echo "== ratios against the targets"
ratio() { echo "$1 / $2" | bc -l; }
verdict() { [ "$(echo "$1 >= $2" | bc -l)" = 1 ] && echo meets || echo MISSES; }
r=$(ratio "$t_peer" "$t_all")
printf '%-40s %6.2fx  >= 5    %s\n' "peer loop / ours (default)" "$r" "$(verdict "$r" 5)"
r=$(ratio "$t_peer" "$t_one")
printf '%-40s %6.2fx  (report)\n' "peer loop / ours -j 1" "$r"
r=$(ratio "$t_one" "$t_two")
printf '%-40s %6.2fx  >= 1.6  %s\n' "ours -j 1 / ours -j 2" "$r" "$(verdict "$r" 1.6)"
