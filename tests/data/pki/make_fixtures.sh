#!/bin/sh
# Regenerates the certificates, revocation lists, requests and PKCS #7 / CMS files that the
# PKI tests read. Everything is made by the openssl command line:
#   ca.der            self-signed version 3 CA, 2048-bit key, SHA-1, UTF8String names
#   user512_md5.der   version 1, 512-bit key, MD5, PrintableString names, issued by the CA
#   user1024_sha1.der version 3, 1024-bit key, SHA-1, UTF8String names, issued by the CA
#   self512_v1.der    version 1 self-signed, 512-bit key, SHA-1, PrintableString names
#   multi_rdn.der     version 1 self-signed with a two-valued relative name
#   bmp_name.der      version 1 self-signed whose common name is a BMPString
#   crl_v1.der        version 1 CRL of the CA revoking user512_md5
#   crl_v2.der        version 2 CRL (CRL number, an entry with a reason code)
#   request.der       PKCS #10 request of user512
#   smime_*, cms_*    signed (MD5, SHA-1, SHA-256, streamed), enveloped (one and two
#                     recipients, RC2-40 and Triple-DES, streamed) and certificates-only
#   *_key.der         the users' keys as PKCS #1 RSAPrivateKey
#
# Usage: sh make_fixtures.sh [output folder]   (default: the folder of this script)
set -eu
out=${1:-$(cd "$(dirname "$0")" && pwd)}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
legacy="-provider legacy -provider default"

# Names: "utf8only" writes UTF8String (the country stays PrintableString, the e-mail
# address IA5String); "default" writes PrintableString wherever the text allows it.
cat > utf8.cnf <<CNF
[ req ]
distinguished_name = dn
string_mask = utf8only
utf8 = yes
[ dn ]
[ v3 ]
basicConstraints = critical, CA:true
keyUsage = keyCertSign, cRLSign
subjectKeyIdentifier = hash
[ user ]
basicConstraints = CA:false
keyUsage = digitalSignature, keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
sed 's/string_mask = utf8only/string_mask = default/' utf8.cnf > printable.cnf

openssl genrsa -out ca.key 2048 2>/dev/null
openssl req -config utf8.cnf -x509 -new -key ca.key -sha1 -days 3650 -extensions v3 -set_serial 0x0A0B0C \
    -subj "/C=US/ST=Somewhere/L=Town/O=Example Org/OU=Testing/CN=Example Test CA" -out ca.pem

openssl genrsa -out user512.key 512 2>/dev/null
openssl req -config printable.cnf -new -key user512.key \
    -subj "/C=US/O=Example Org/CN=Example User/emailAddress=user@example.com" -out user512.csr
openssl x509 -req -in user512.csr -CA ca.pem -CAkey ca.key -set_serial 0x0102030405 -days 365 -md5 \
    -out user512.pem 2>/dev/null

openssl genrsa -out user1024.key 1024 2>/dev/null
openssl req -config utf8.cnf -new -key user1024.key \
    -subj "/C=DE/L=Stadt/O=Beispiel GmbH/OU=Versuch/CN=Second User/emailAddress=second@example.org" -out user1024.csr
openssl x509 -req -in user1024.csr -CA ca.pem -CAkey ca.key -set_serial 0x00FEDCBA9876543210 -days 730 -sha1 \
    -extfile utf8.cnf -extensions user -out user1024.pem 2>/dev/null

openssl req -config printable.cnf -new -key user512.key -subj "/C=NL/L=Internet/CN=Self Signed" -out self.csr
openssl x509 -req -in self.csr -signkey user512.key -set_serial 77 -days 100 -sha1 -out self512_v1.pem 2>/dev/null

openssl req -config printable.cnf -new -key user1024.key -multivalue-rdn \
    -subj "/C=US/O=Example Org/OU=Unit B+CN=Multi Value/L=Town" -out multi.csr
openssl x509 -req -in multi.csr -signkey user1024.key -set_serial 0x7F -days 100 -md5 -out multi_rdn.pem 2>/dev/null

# A common name outside Latin-1: "default" picks BMPString for it.
openssl req -config printable.cnf -new -key user512.key -utf8 \
    -subj "/C=JP/CN=$(printf '\346\235\261\344\272\254') Office" -out bmp.csr
openssl x509 -req -in bmp.csr -signkey user512.key -set_serial 5 -days 100 -sha1 -out bmp_name.pem 2>/dev/null

for c in ca user512 user1024; do
    openssl x509 -in $c.pem -outform DER -out "$out/${c}_cert.der"
done
openssl x509 -in self512_v1.pem -outform DER -out "$out/self512_v1.der"
openssl x509 -in multi_rdn.pem -outform DER -out "$out/multi_rdn.der"
openssl x509 -in bmp_name.pem -outform DER -out "$out/bmp_name.der"
openssl req -in user512.csr -outform DER -out "$out/request.der"
openssl rsa -in user512.key -traditional -outform DER -out "$out/user512_key.der" 2>/dev/null
openssl rsa -in user1024.key -traditional -outform DER -out "$out/user1024_key.der" 2>/dev/null
openssl rsa -in ca.key -traditional -outform DER -out "$out/ca_key.der" 2>/dev/null

# Revocation lists: version 1 (no extensions at all), then version 2.
mkdir -p ca1/newcerts ca2/newcerts
: > ca1/index.txt
: > ca2/index.txt
echo 10 > ca2/crlnumber
for n in 1 2; do
    cat > ca$n.cnf <<CNF
[ ca ]
default_ca = test
[ test ]
database = ca$n/index.txt
new_certs_dir = ca$n/newcerts
certificate = ca.pem
private_key = ca.key
default_md = sha1
default_crl_days = 30
CNF
done
echo "crlnumber = ca2/crlnumber" >> ca2.cnf
openssl ca -config ca1.cnf -revoke user512.pem 2>/dev/null
openssl ca -config ca1.cnf -gencrl -out crl1.pem 2>/dev/null
openssl ca -config ca2.cnf -revoke user512.pem -crl_reason keyCompromise 2>/dev/null
openssl ca -config ca2.cnf -revoke user1024.pem 2>/dev/null
openssl ca -config ca2.cnf -gencrl -out crl2.pem 2>/dev/null
openssl crl -in crl1.pem -outform DER -out "$out/crl_v1.der"
openssl crl -in crl2.pem -outform DER -out "$out/crl_v2.der"

printf 'Content-Type: text/plain\r\n\r\nHello from the PKI fixtures.\r\n' > msg.txt
head -c 20000 /dev/zero | tr '\0' 'y' > big.txt

# Signed data.
openssl smime -sign -nodetach -md md5 -in msg.txt -signer user512.pem -inkey user512.key -certfile ca.pem \
    -outform DER -out "$out/smime_signed_md5.der"
openssl smime -sign -nodetach -md sha1 -in msg.txt -signer user1024.pem -inkey user1024.key \
    -outform DER -out "$out/smime_signed_sha1.der"
openssl smime -sign -nodetach -stream -md sha1 -in big.txt -signer user1024.pem -inkey user1024.key \
    -outform DER -out "$out/smime_signed_stream.ber"
openssl cms -sign -nodetach -in msg.txt -signer ca.pem -inkey ca.key -outform DER -out "$out/cms_signed.der"
openssl cms -sign -nodetach -stream -in big.txt -signer user1024.pem -inkey user1024.key \
    -outform DER -out "$out/cms_signed_stream.ber"
openssl crl2pkcs7 -nocrl -certfile user512.pem -certfile ca.pem -outform DER -out "$out/p7_certs_only.der"
openssl crl2pkcs7 -in crl2.pem -certfile user1024.pem -outform DER -out "$out/p7_certs_crl.der"

# Enveloped data.
openssl smime -encrypt $legacy -rc2-40 -in msg.txt -outform DER -out "$out/smime_enveloped_rc2.der" user512.pem
openssl smime -encrypt -des3 -in msg.txt -outform DER -out "$out/smime_enveloped_two.der" user512.pem user1024.pem
openssl cms -encrypt $legacy -rc2-40 -in msg.txt -outform DER -out "$out/cms_enveloped_two.der" \
    user1024.pem user512.pem
openssl cms -encrypt -stream $legacy -rc2-40 -in big.txt -outform DER -out "$out/cms_enveloped_stream.ber" \
    user512.pem
