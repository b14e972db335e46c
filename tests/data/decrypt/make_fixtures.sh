#!/bin/sh
# Regenerates the messages the decrypt driver tests read. Everything is made with the
# openssl command line (legacy provider for RC2 and DES):
#   user_key.der          the user's 512-bit key as PKCS #1 RSAPrivateKey (the decrypting ID)
#   *.eml                 the clear messages (CR LF lines), also the expected outputs' source
#   text_rc2_40.p7m       text only, RC2-40, one recipient (the user)
#   text_rc2_40.sig       the same, base64 text
#   text_rc2_40.pem, .b64, _mail.eml   the same as PEM armour, one base64 line and an
#                         S/MIME mail (the forms users meet besides DER)
#   three_first.p7m ...   RC2-40 to three recipients, the user's first, second and last
#                         (the recipients are sorted by certificate serial: 1, 2, 3)
#   text_stream.p7m       BER-streamed (indefinite lengths) CMS enveloped data
#   multipart.p7m         text, quoted-printable text, named, unnamed, duplicate and
#                         hostile attachment names
#   embedded.p7m          a message that carries another message
#   uuencoded.p7m         text with a uuencoded file ("Encoding:" header)
#   clearsigned.p7m       a clear-signed (multipart/signed) message, enveloped
#   big.p7m               a 20000-byte attachment without transfer encoding
#   rc2_64.p7m, rc2_128.p7m, des.p7m   strong ciphers, one recipient
#   des3_three.p7m        Triple-DES to three recipients
#
# Usage: sh make_fixtures.sh [output folder]   (default: the folder of this script)
set -eu
out=${1:-$(cd "$(dirname "$0")" && pwd)}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
legacy="-provider legacy -provider default"

crlf() { sed 's/$/\r/'; }

cat > ca.cnf <<CNF
[ req ]
distinguished_name = dn
[ dn ]
CNF
openssl genrsa -out ca.key 1024 2>/dev/null
openssl req -config ca.cnf -x509 -new -key ca.key -days 3650 -subj "/CN=Driver Test CA" -out ca.pem
# The user's key is kept across runs (the fuzz target carries it).
if [ -f "$out/user_key.der" ]; then
    openssl rsa -inform DER -in "$out/user_key.der" -out user.key 2>/dev/null
else
    openssl genrsa -out user.key 512 2>/dev/null
fi
for k in other1 other2; do openssl genrsa -out $k.key 512 2>/dev/null; done
for k in user other1 other2; do
    openssl req -config ca.cnf -new -key $k.key -subj "/CN=$k" -out $k.csr
done
# The same key under several serials, so its place among the sorted recipients is chosen.
cert() {   # cert KEY SERIAL
    openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -set_serial $2 -days 3650 -out $1_$2.pem 2>/dev/null
}
for s in 1 2 3; do cert user $s; cert other1 $s; cert other2 $s; done
openssl rsa -in user.key -traditional -outform DER -out "$out/user_key.der" 2>/dev/null

printf 'From: sender@example.com\nTo: user@example.com\nSubject: plain\n\nHello, this is the text only message.\nSecond line.\n' | crlf > text.eml

{
printf 'MIME-Version: 1.0\nSubject: parts\nContent-Type: multipart/mixed; boundary="XX"\n\npreamble\n'
printf -- '--XX\nContent-Type: text/plain\n\nFirst text part.\n'
printf -- '--XX\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\nQuoted =3D printable with a soft=\n break.\n'
printf -- '--XX\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename="a.doc"\nContent-Transfer-Encoding: base64\n\n'
printf 'first a.doc\000\001\002' | openssl base64
printf -- '--XX\nContent-Type: application/octet-stream\nContent-Disposition: attachment\nContent-Transfer-Encoding: base64\n\n'
printf 'unnamed one' | openssl base64
printf -- '--XX\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename="a.doc"\nContent-Transfer-Encoding: base64\n\n'
printf 'second a.doc' | openssl base64
printf -- '--XX\nContent-Type: application/octet-stream; name="../../evil.txt"\n\nevil\n'
printf -- '--XX\nContent-Type: application/octet-stream; name="/etc/passwd"\n\npasswd\n'
printf -- '--XX\nContent-Type: application/octet-stream; name="CON"\n\ndevice\n'
printf -- '--XX\nContent-Type: application/octet-stream; name=a\\b.txt\n\nbackslash\n'
printf -- '--XX\nContent-Type: image/gif\n\nunnamed two\n'
printf -- '--XX--\nepilogue\n'
} | crlf > multipart.eml

{
printf 'MIME-Version: 1.0\nSubject: outer\nContent-Type: multipart/mixed; boundary="OO"\n\n'
printf -- '--OO\nContent-Type: text/plain\n\nOuter text.\n'
printf -- '--OO\nContent-Type: message/rfc822\n\n'
printf 'From: inner@example.com\nSubject: inner\n\nInner text.\n'
printf -- '--OO--\n'
} | crlf > embedded.eml

# Text carrying a uuencoded file whose "begin" line names a path outside the folder.
printf 'Encoding: 3 TEXT, 4 UUENCODE\nSubject: uu\n\nText before the file.\nbegin 644 ../../up.txt\n0=75E;F-O9&5D(&1A=&$-"@  \n`\nend\nText after the file.\n' | crlf > uuencoded.eml

# A 20000-byte attachment sent as it is (no transfer encoding).
{
printf 'MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary="BB"\n\n'
printf -- '--BB\nContent-Type: text/plain\n\nSee the file.\n'
printf -- '--BB\nContent-Type: application/octet-stream; name="big.bin"\n\n'
yes 'zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz' | head -n 250
printf -- '--BB--\n'
} | crlf > big.eml

# A clear-signed message (multipart/signed): the program does not process nested S/MIME.
openssl smime -sign -in text.eml -signer user_1.pem -inkey user.key -out clearsigned.eml

enc() {   # enc OUTPUT CIPHER INPUT CERT...
    o=$1; c=$2; i=$3; shift 3
    openssl smime $legacy -encrypt -binary -$c -in $i -outform DER -out "$out/$o" "$@"
}
enc text_rc2_40.p7m rc2-40 text.eml user_1.pem
openssl base64 -in "$out/text_rc2_40.p7m" -out "$out/text_rc2_40.sig"
openssl pkcs7 -inform DER -in "$out/text_rc2_40.p7m" -outform PEM -out "$out/text_rc2_40.pem"
openssl base64 -A -in "$out/text_rc2_40.p7m" -out "$out/text_rc2_40.b64"
{ printf 'MIME-Version: 1.0\r\nContent-Disposition: attachment; filename="smime.p7m"\r\n'
  printf 'Content-Type: application/pkcs7-mime; smime-type=enveloped-data; name="smime.p7m"\r\n'
  printf 'Content-Transfer-Encoding: base64\r\n\r\n'
  openssl base64 -in "$out/text_rc2_40.p7m" | crlf; } > "$out/text_rc2_40_mail.eml"
enc three_first.p7m rc2-40 text.eml user_1.pem other1_2.pem other2_3.pem
enc three_second.p7m rc2-40 text.eml other1_1.pem user_2.pem other2_3.pem
enc three_last.p7m rc2-40 text.eml other1_1.pem other2_2.pem user_3.pem
openssl cms $legacy -encrypt -binary -stream -rc2-40 -in text.eml -outform DER -out "$out/text_stream.p7m" user_1.pem
enc multipart.p7m rc2-40 multipart.eml user_1.pem
enc embedded.p7m rc2-40 embedded.eml user_1.pem
enc uuencoded.p7m rc2-40 uuencoded.eml user_1.pem
enc big.p7m rc2-40 big.eml user_1.pem
enc clearsigned.p7m rc2-40 clearsigned.eml user_1.pem
enc rc2_64.p7m rc2-64 text.eml user_1.pem
enc rc2_128.p7m rc2-128 text.eml user_1.pem
enc des.p7m des text.eml user_1.pem
enc des3_three.p7m des3 text.eml other1_1.pem user_2.pem other2_3.pem
cp text.eml multipart.eml embedded.eml uuencoded.eml big.eml "$out/"
