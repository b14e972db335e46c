// The PKCS #1 key structures: RSAPublicKey and RSAPrivateKey as ASN.1 sequences of
// INTEGERs, converted to and from the key objects of the RSA engine.
//
// Both classes are views of a SEQUENCE: they add neither data nor virtual state, so a
// decoded SEQUENCE may be read through them once IsValid has accepted it. The static
// SetDataTo forms take any such value without a cast.
#pragma once

#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/sigilbox_export.h"

// SEQUENCE { modulus INTEGER, publicExponent INTEGER }.
class SIGILBOX_API CASN1_PublicKey : public CASN1_SEQUENCE {
public:
    explicit CASN1_PublicKey(const CRSAPublicKey& key);
    // Clones of both, modulus first.
    CASN1_PublicKey(const CASN1_INTEGER& modulus, const CASN1_INTEGER& exponent);
    CASN1_PublicKey(const CASN1_PublicKey& other) = default;
    CASN1_PublicKey& operator=(const CASN1_PublicKey& other) = default;
    ~CASN1_PublicKey() override;

    CASN1Type* Clone() const override;

    // Replaces the children with the key's modulus and public exponent.
    void GetDataFrom(const CRSAPublicKey& key);
    // Writes modulus and exponent right-aligned into the key's fields and sets its bit
    // count from the modulus. A number too wide for its field raises
    // CDERDecodingException*; the key is then left as it was.
    void SetDataTo(CRSAPublicKey& key) const;
    static void SetDataTo(const CASN1Type& value, CRSAPublicKey& key);

    // Tag 0x10, exactly two INTEGERs of at most 257 contents octets each. Never raises.
    static int IsValid(const CASN1Type* object);
};

// SEQUENCE { version INTEGER (0), modulus, publicExponent, privateExponent, prime1, prime2,
// exponent1, exponent2, coefficient }, all INTEGER.
class SIGILBOX_API CASN1_PrivateKey : public CASN1_SEQUENCE {
public:
    explicit CASN1_PrivateKey(const CRSAPrivateKey& key);
    CASN1_PrivateKey(const CASN1_PrivateKey& other) = default;
    CASN1_PrivateKey& operator=(const CASN1_PrivateKey& other) = default;
    ~CASN1_PrivateKey() override;

    CASN1Type* Clone() const override;

    // Replaces the children with version 0 and the key's eight numbers.
    void GetDataFrom(const CRSAPrivateKey& key);
    // Writes the eight numbers into the key's fields (the version is not read) and sets its
    // bit count from the modulus. A number too wide for its field raises
    // CDERDecodingException*; the key is then left as it was.
    void SetDataTo(CRSAPrivateKey& key) const;
    static void SetDataTo(const CASN1Type& value, CRSAPrivateKey& key);

    // Tag 0x10, exactly nine INTEGERs, the first reading 0; the modulus and both exponents
    // of at most 257 contents octets, the other five of at most 129. Never raises.
    static int IsValid(const CASN1Type* object);
};
