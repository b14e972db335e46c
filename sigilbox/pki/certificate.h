// X.509 certificates and revocation lists in the library's own flat form: fixed 256-byte key
// and signature fields, names in their working form, serial numbers and UTC times. Signing,
// signature checks, validity and revocation tests, text dumps and archives. The ASN.1
// classes that convert them to and from DER are in certificate_asn1.h.
#pragma once

#include "framework/archive.h"
#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/object.h"
#include "sigilbox/asn1/serial_number.h"
#include "sigilbox/asn1/utc_time.h"
#include "sigilbox/pki/distinguished_name.h"
#include "sigilbox/sigilbox_export.h"

class CRSAPublicKey;
class CRSAPrivateKey;
class CCertificateRevocationList;

// Signature algorithms of certificates and revocation lists (all with RSA).
enum {
    SignatureMD2WithRSA = 0,
    SignatureMD5WithRSA = 1,
    SignatureSHA1WithRSA = 2,
};

class SIGILBOX_API CCertificate : public CObject {
    DECLARE_SERIAL(CCertificate)
public:
    static constexpr int FieldSize = 256;

    // Version 0, SHA-1 with RSA, empty names and serial number, zero key and signature,
    // both times now, no digest known.
    CCertificate();
    CCertificate(const CCertificate& other);
    CCertificate& operator=(const CCertificate& other);
    ~CCertificate() override;

    // Empties the serial number and both names.
    void Done();

    // The subject key to a key object (bits, modulus, exponent) and back. Taking a new key
    // changes what is signed, so it forgets the digests known so far.
    void SetDataTo(CRSAPublicKey& key) const;
    void GetDataFrom(const CRSAPublicKey& key);

    // Format octet (1; 0 and 1 are read), version, algorithm, key bits, signature bits, the
    // three 256-byte fields, the MD digest flag and digest, the SHA-1 flag and digest (format
    // 1 only), serial number, issuer, validity, subject. Loading raises CArchiveException
    // (generic) for a bad format octet or algorithm and then leaves the object unchanged.
    void Serialize(CArchive& ar) override;

    // The CRL's issuer is this certificate's and one of its entries has this serial number.
    int IsPresentInCRL(const CCertificateRevocationList& crl) const;
    // Issuer and subject are equal names.
    int IsSelfSigned() const;

    // Signs with SHA-1: the digest of the encoded certificate data (computed unless already
    // known) is locked with the private key into the end of m_Signature. Exceptions of the
    // key (CUnlockException*) pass on.
    void SignWith(CRSAPrivateKey& key);
    // 1 when the signature unlocks with the key (or the issuer's subject key) to the digest of
    // the certificate data; any failure gives 0.
    int IsSignatureOKFor(const CRSAPublicKey& key);
    int IsSignatureOKFor(const CCertificate& issuer);
    // m_NotBefore <= time <= m_NotAfter.
    int IsValidationPeriodOKFor(const CUTCTime& time) const;
    // This subject is the other's issuer and this certificate is valid now.
    int IsIssuerOf(const CCertificate& other) const;

    // The text dump: version, serial number, algorithm, issuer, validity, owner, public key.
    operator CString() const;

    BYTE m_nVersion;                       // as encoded: 0, 1, 2 for X.509 v1, v2, v3
    CSerialNumber m_SerialNumber;
    int m_nSignatureAlgorithm;             // SignatureMD2WithRSA ... SignatureSHA1WithRSA
    CDistinguishedName m_Issuer;
    CUTCTime m_NotBefore;
    CUTCTime m_NotAfter;
    CDistinguishedName m_Subject;
    WORD m_nModulusBits;
    BYTE m_PublicExponent[FieldSize];      // big-endian, right-aligned
    BYTE m_Modulus[FieldSize];
    BYTE m_Signature[FieldSize];           // right-aligned
    WORD m_nSignatureBits;
    BYTE m_MDDigest[16];                   // MD2 or MD5 digest of the encoded certificate data
    int m_bMDDigestKnown;
    BYTE m_SHA1Digest[20];                 // SHA-1 digest of the encoded certificate data
    int m_bSHA1DigestKnown;

private:
    void CopyFrom(const CCertificate& other);
};

// Version, serial numbers (as numbers), algorithm, names, times, key and signature fields.
SIGILBOX_API int operator==(const CCertificate& a, const CCertificate& b);

class SIGILBOX_API CCRLEntry : public CObject {
    DECLARE_SERIAL(CCRLEntry)
public:
    CCRLEntry();
    CCRLEntry(const CSerialNumber& serialNumber, const CUTCTime& revocationDate);
    CCRLEntry(const CCRLEntry& other);
    CCRLEntry& operator=(const CCRLEntry& other);
    ~CCRLEntry() override;

    // Version octet 0, serial number, revocation date; loading raises CArchiveException
    // (generic) for another version.
    void Serialize(CArchive& ar) override;
    // "Serial Number: <hex> Revocation Date: <time>".
    operator CString() const;

    CSerialNumber m_SerialNumber;
    CUTCTime m_RevocationDate;
};

// Arrays of owned entry pointers: destroying deletes, loading creates.
SIGILBOX_API void DestructElements(CCRLEntry** elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CCRLEntry** elements, int count);

class SIGILBOX_API CCertificateRevocationList : public CObject {
    DECLARE_SERIAL(CCertificateRevocationList)
public:
    CCertificateRevocationList();
    CCertificateRevocationList(const CCertificateRevocationList& other);
    CCertificateRevocationList& operator=(const CCertificateRevocationList& other);
    ~CCertificateRevocationList() override;

    // Deletes every entry and empties the issuer.
    void Done();
    // Format octet (1; 0 and 1 read), signature, algorithm, signature bits, digest flags and
    // digests, entries, last and next update, issuer. Loading leaves the object unchanged
    // when it fails.
    void Serialize(CArchive& ar) override;

    void SignWith(CRSAPrivateKey& key);
    int IsSignatureOKFor(const CRSAPublicKey& key);
    int IsSignatureOKFor(const CCertificate& issuer);

    // The text dump: issuer, updates, and the entries from the last to the first.
    operator CString() const;

    CArray<CCRLEntry*, CCRLEntry*> m_Entries;
    CUTCTime m_LastUpdate;
    CUTCTime m_NextUpdate;
    CDistinguishedName m_Issuer;
    int m_nSignatureAlgorithm;
    BYTE m_Signature[CCertificate::FieldSize];
    WORD m_nSignatureBits;
    BYTE m_MDDigest[16];
    int m_bMDDigestKnown;
    BYTE m_SHA1Digest[20];
    int m_bSHA1DigestKnown;

private:
    void CopyFrom(const CCertificateRevocationList& other);
};

// Arrays of certificates and revocation lists held by value.
SIGILBOX_API void ConstructElements(CCertificate* elements, int count);
SIGILBOX_API void DestructElements(CCertificate* elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CCertificate* elements, int count);
SIGILBOX_API void ConstructElements(CCertificateRevocationList* elements, int count);
SIGILBOX_API void DestructElements(CCertificateRevocationList* elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CCertificateRevocationList* elements, int count);
