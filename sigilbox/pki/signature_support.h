// Signing and signature checks shared by certificates and revocation lists: both keep the
// algorithm, a right-aligned 256-byte signature with its bit count, and cached digests of
// their encoded data.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

#include <functional>

class CASN1Type;
class CRSAPublicKey;
class CRSAPrivateKey;

namespace sigilbox_pki {

// The signature fields of one signed object.
struct SignedFields {
    int& algorithm;
    BYTE* signature;          // 256 bytes
    WORD& signatureBits;
    BYTE* mdDigest;           // 16 bytes
    int& mdDigestKnown;
    BYTE* sha1Digest;         // 20 bytes
    int& sha1DigestKnown;
};

// Builds the ASN.1 form of the signed data of the object as it is now.
using DataBuilder = std::function<CASN1Type*()>;

// The MD2, MD5 or SHA-1 digest (algorithm 0, 1, 2) of the value's DER encoding into
// `digest` (16 or 20 bytes).
void DigestEncoding(const CASN1Type& value, int algorithm, BYTE* digest);

// Signs with SHA-1 (a known SHA-1 digest is used as it is). On failure the algorithm, the
// signature and its bit count are left as they were and the exception passes on.
void SignFields(SignedFields fields, CRSAPrivateKey& key, const DataBuilder& data);

// 1 when the signature unlocks with the key to the digest of the data; 0 for any failure.
int CheckFields(SignedFields fields, const CRSAPublicKey& key, const DataBuilder& data);

// The right-aligned significant bytes of a field as upper-case hex (at least one byte), cut
// into lines of 60 digits, each preceded by six spaces, joined by "\r\n".
CString HexLines(const BYTE* field, int size);

}  // namespace sigilbox_pki
