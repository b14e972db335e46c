#!/bin/sh
# Regenerates the DER and BER fixtures that the ASN.1 round-trip tests decode: certificates
# of versions 1 and 3, a CRL, PKCS #7 signed, enveloped and certificate-only content, and
# BER-streamed S/MIME (indefinite lengths, segmented OCTET STRINGs) from `-stream`.
# Every file must decode through the type factory and re-encode to the same bytes.
#
# Usage: sh make_fixtures.sh [output folder]   (default: the folder of this script)
set -eu
out=${1:-$(cd "$(dirname "$0")" && pwd)}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
legacy="-provider legacy -provider default"

# A version 3 CA (extensions) and a version 1 user certificate with a 512-bit key.
openssl req -x509 -newkey rsa:1024 -nodes -keyout ca.key -sha256 -days 3650 \
    -subj "/C=US/ST=Somewhere/L=Town/O=Example Org/OU=Testing/CN=Example Test CA" -out ca.pem 2>/dev/null
openssl req -new -newkey rsa:512 -nodes -keyout user.key \
    -subj "/C=US/O=Example Org/CN=Example User/emailAddress=user@example.com" -out user.csr 2>/dev/null
openssl x509 -req -in user.csr -CA ca.pem -CAkey ca.key -set_serial 0x0102030405 -days 365 -md5 -out user.pem 2>/dev/null
openssl x509 -in ca.pem -outform DER -out "$out/cert_v3.der"
openssl x509 -in user.pem -outform DER -out "$out/cert_v1.der"
openssl req -in user.csr -outform DER -out "$out/request.der"

# A CRL revoking the user certificate.
mkdir -p ca/newcerts
: > ca/index.txt
echo 01 > ca/crlnumber
cat > ca.cnf <<CNF
[ ca ]
default_ca = test
[ test ]
database = ca/index.txt
crlnumber = ca/crlnumber
new_certs_dir = ca/newcerts
certificate = ca.pem
private_key = ca.key
default_md = sha1
default_crl_days = 30
CNF
openssl ca -config ca.cnf -revoke user.pem 2>/dev/null
openssl ca -config ca.cnf -gencrl -out crl.pem 2>/dev/null
openssl crl -in crl.pem -outform DER -out "$out/crl.der"

printf 'Content-Type: text/plain\r\n\r\nHello from the fixtures.\r\n' > msg.txt

# PKCS #7 signedData (content inside), envelopedData with RC2-40 and 3DES, certificates only.
openssl smime -sign -nodetach -in msg.txt -signer user.pem -inkey user.key -md md5 -certfile ca.pem \
    -outform DER -out "$out/p7_signed.der"
openssl smime -encrypt $legacy -rc2-40 -in msg.txt -outform DER -out "$out/p7_enveloped_rc2.der" user.pem
openssl smime -encrypt -des3 -in msg.txt -outform DER -out "$out/p7_enveloped_des3.der" user.pem
openssl crl2pkcs7 -in crl.pem -certfile ca.pem -certfile user.pem -outform DER -out "$out/p7_certs.der"

# BER streaming: indefinite lengths and the content in segments.
head -c 20000 /dev/zero | tr '\0' 'x' > big.txt
openssl smime -sign -nodetach -stream -in big.txt -signer user.pem -inkey user.key -outform DER \
    -out "$out/p7_signed_stream.ber"
openssl cms -encrypt -stream $legacy -rc2-40 -in big.txt -outform DER -out "$out/cms_enveloped_stream.ber" user.pem
openssl cms -sign -nodetach -stream -in msg.txt -signer ca.pem -inkey ca.key -outform DER \
    -out "$out/cms_signed_stream.ber"

# Keys for the tests that open the enveloped fixtures.
openssl rsa -in user.key -outform DER -out "$out/user_key.der" 2>/dev/null
