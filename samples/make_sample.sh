#!/bin/sh
# Makes the demo ID and the sample message the README's first command decrypts, the way a
# user and a correspondent would:
#   demo_key.der   a 512-bit RSA key as PKCS #1 DER (made by openssl)
#   demo.sec       the demo ID's key file, without a password ("Demo User")
#   demo.P7M       its certificate file, what the user sends to correspondents
#   demo.p7m       a message with a text and an attachment, RC2-40, made by openssl smime
#                  for the certificate in demo.P7M
# Usage: sh make_sample.sh   (from the repository; writes next to this script)
set -eu
out=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$out/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --preset default >/dev/null
cmake --build --preset default --target make_demo_id >/dev/null
cd "$tmp"
openssl genrsa -out demo.key 512 2>/dev/null
openssl rsa -in demo.key -traditional -outform DER -out "$out/demo_key.der" 2>/dev/null
rm -f "$out/demo.sec" "$out/demo.P7M"
XDG_CONFIG_HOME="$tmp/cfg" "$root/build/default/make_demo_id" "$out/demo_key.der" "$out/demo.sec" \
    "Demo User" demo@example.org
openssl pkcs7 -inform DER -in "$out/demo.P7M" -print_certs -out demo_cert.pem
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
    -outform DER -out "$out/demo.p7m" demo_cert.pem
