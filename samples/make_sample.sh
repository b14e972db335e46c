#!/bin/sh
# Makes the demo ID and the sample message the README's first command decrypts:
#   demo_key.der   a 512-bit RSA key as PKCS #1 DER (the decrypting ID of the demo)
#   demo_cert.pem  its self-signed certificate, what a correspondent encrypts to
#   demo.p7m       a message with a text and an attachment, RC2-40, made by openssl smime
# Usage: sh make_sample.sh   (writes next to this script)
set -eu
out=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
openssl req -x509 -newkey rsa:512 -nodes -keyout demo.key -days 3650 \
    -subj "/CN=Demo User/emailAddress=demo@example.org" -out "$out/demo_cert.pem" 2>/dev/null
openssl rsa -in demo.key -traditional -outform DER -out "$out/demo_key.der" 2>/dev/null
printf 'Pack list for the trip:\n- lantern\n- map\n- seal wax\n' > list.txt
{
    printf 'From: Correspondent <friend@example.org>\r\n'
    printf 'To: Demo User <demo@example.org>\r\n'
    printf 'Subject: The list, sealed\r\n'
    printf 'MIME-Version: 1.0\r\n'
    printf 'Content-Type: multipart/mixed; boundary="b1"\r\n\r\n'
    printf -- '--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n'
    printf 'Hello,\r\n\r\nthe list is attached.\r\n\r\n'
    printf -- '--b1\r\nContent-Type: text/plain; name="list.txt"\r\n'
    printf 'Content-Disposition: attachment; filename="list.txt"\r\n'
    printf 'Content-Transfer-Encoding: base64\r\n\r\n'
    base64 list.txt | sed 's/$/\r/'
    printf -- '--b1--\r\n'
} > message.eml
openssl smime -encrypt -provider legacy -provider default -rc2-40 -binary -in message.eml \
    -outform DER -out "$out/demo.p7m" "$out/demo_cert.pem"
