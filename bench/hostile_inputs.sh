#!/bin/sh
# Time and peak memory of the whole program on inputs built to hurt it: 100,000 recipient
# entries for another key after the ID's own, as many of another key algorithm, and 10,000
# attachments of one name against 10,000 of distinct names (made with openssl here,
# decrypted with the demo ID).
#
#   bench/hostile_inputs.sh [BUILD_DIR]        (default build/default)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/default}
case $build in /*) ;; *) build=$root/$build ;; esac
program=$build/decrypt
[ -x "$program" ] || { echo "hostile_inputs.sh: build the decrypt program first" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$root/samples/demo.sec" "$root/samples/demo.P7M" .
legacy="-provider legacy -provider default"
openssl pkcs7 -inform DER -in demo.P7M -print_certs -out demo.pem
openssl req -x509 -newkey rsa:1024 -nodes -keyout other.key -out other.pem -subj /CN=Other -days 2 2>/dev/null
printf 'Subject: hostile\r\n\r\nHello.\r\n' > short.eml
openssl cms -encrypt $legacy -rc2-40 -outform DER -in short.eml -out pair.p7m demo.pem other.pem

python3 - <<'EOF'
import random

def tree(data, pos=0, end=None):
    end = len(data) if end is None else end
    out = []
    while pos < end:
        tag, n = data[pos], data[pos + 1]
        pos += 2
        if n & 0x80:
            k = n & 0x7F
            n = int.from_bytes(data[pos:pos + k], 'big')
            pos += k
        out.append([tag, tree(data, pos, pos + n) if tag & 0x20 else data[pos:pos + n]])
        pos += n
    return out

def encode(t):
    out = bytearray()
    for tag, value in t:
        body = encode(value) if isinstance(value, list) else value
        n = len(body)
        out += bytes([tag]) + (bytes([n]) if n < 0x80 else bytes([0x80 | ((n.bit_length() + 7) // 8)]) + n.to_bytes((n.bit_length() + 7) // 8, 'big')) + body
    return bytes(out)

t = tree(open('pair.p7m', 'rb').read())
recipients = t[0][1][1][1][0][1][1][1]
recipients.extend([recipients[1]] * 99999)
open('junk.p7m', 'wb').write(encode(t))
# The same entries with a key algorithm that is not RSA: never tried, only looked at.
ec = [recipients[1][0], list(recipients[1][1])]
ec[1][2] = [0x30, [[0x06, bytes.fromhex('2a8648ce3d0201')], [0x05, b'']]]
recipients[1:] = [ec] * 99999
open('other_algorithm.p7m', 'wb').write(encode(t))

for kind in ('same', 'distinct'):
    parts = ['Subject: many\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n']
    for i in range(10000):
        name = 'a.txt' if kind == 'same' else f'a{i}.txt'
        parts.append(f'--b\r\nContent-Type: text/plain; name={name}\r\nContent-Disposition: attachment; filename={name}\r\n\r\nline {i}\r\n')
    parts.append('--b--\r\n')
    open(f'{kind}.eml', 'w').write(''.join(parts))
EOF
openssl cms -encrypt $legacy -rc2-40 -outform DER -in same.eml -out same.p7m demo.pem
openssl cms -encrypt $legacy -rc2-40 -outform DER -in distinct.eml -out distinct.p7m demo.pem

measure() {
    rm -rf Decrypt*
    /usr/bin/time -f "%e %M" -o time.txt "$program" --batch --key demo.sec "$1" >/dev/null 2>&1 || true
    read -r seconds kilobytes < time.txt
    printf '%-44s %8s s %8s KiB peak   (input %s bytes)\n' "$2" "$seconds" "$kilobytes" "$(stat -c %s "$1")"
}
measure junk.p7m "100,000 junk recipients (target < 1 s)"
measure other_algorithm.p7m "100,000 recipients of another key algorithm"
measure same.p7m "10,000 attachments named a.txt"
measure distinct.p7m "10,000 attachments of distinct names"
