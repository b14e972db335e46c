#!/bin/sh
# Makes the transfer-decoding fixtures with tools of the field: openssl for base64,
# Python's binascii for quoted-printable and uuencode. Run from this folder.
set -e
openssl rand -out b64_random.bin 5000
openssl base64 -e -in b64_random.bin -out b64_random.txt          # 64-column lines, LF
openssl base64 -e -A -in b64_random.bin -out b64_random_oneline.txt
python3 - <<'PY'
import binascii, os
# base64 with CR LF line ends of 76 columns, as mail carries it
data = open('b64_random.bin', 'rb').read()
enc = binascii.b2a_base64(data, newline=False)
open('b64_random_crlf.txt', 'wb').write(b'\r\n'.join(enc[i:i+76] for i in range(0, len(enc), 76)) + b'\r\n')
# quoted-printable text: accents, '=', tabs and blanks at line ends, a line longer than
# the 76-column limit (soft breaks), CR LF line ends
text = ('Caf\u00e9 cr\u00e8me = 3 \u20ac\t \r\n'
        'A line with trailing blanks   \r\n'
        + 'long ' * 200 + '\r\n'
        'tab\there=\r\n'
        '\r\n'
        'last line\r\n').encode('utf-8')
open('qp_sample.bin', 'wb').write(text)
open('qp_sample.txt', 'wb').write(binascii.b2a_qp(text, istext=True))
# uuencode: 45-byte lines, the zero-count line and "end"
blob = os.urandom(1000)
open('uu_random.bin', 'wb').write(blob)
lines = [binascii.b2a_uu(blob[i:i+45]) for i in range(0, len(blob), 45)]
open('uu_random.txt', 'wb').write(b''.join(lines) + b'`\nend\n')
PY
