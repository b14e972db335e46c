// X.509 certificates and revocation lists in ASN.1, built from the library objects of
// certificate.h (GetDataFrom) or decoded and copied into them (SetDataTo). Only version 1
// structures are written; version 2 and 3 certificates and version 2 revocation lists are
// read, their unique identifiers and extensions skipped (the digests of the encoded data
// that SetDataTo keeps still cover them, so their signatures check).
//
// The classes are views of a SEQUENCE: they add neither data nor virtual operations. The
// static SetDataTo forms read any decoded value of the right shape.
#pragma once

#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/rdn_sequence.h"
#include "sigilbox/pki/signed_structure.h"
#include "sigilbox/sigilbox_export.h"

// Validity ::= SEQUENCE { notBefore UTCTime, notAfter UTCTime }
class SIGILBOX_API CASN1_Validity : public CASN1_SEQUENCE {
public:
    CASN1_Validity();
    CASN1_Validity(const CUTCTime& notBefore, const CUTCTime& notAfter);
    CASN1_Validity(const CASN1_Validity& other) = default;
    CASN1_Validity& operator=(const CASN1_Validity& other) = default;
    ~CASN1_Validity() override;

    static void SetDataTo(const CASN1Type& validity, CUTCTime& notBefore, CUTCTime& notAfter);
    // Tag 0x10, exactly two valid UTCTimes. Never raises.
    static int IsValid(const CASN1Type* object);
};

// SubjectPublicKeyInfo ::= SEQUENCE { algorithm AlgorithmIdentifier,
//                                     subjectPublicKey BIT STRING (a DER RSAPublicKey) }
class SIGILBOX_API CASN1_SubjectPublicKeyInfo : public CASN1_SEQUENCE {
public:
    CASN1_SubjectPublicKeyInfo();
    explicit CASN1_SubjectPublicKeyInfo(const CCertificate& certificate);
    CASN1_SubjectPublicKeyInfo(const CASN1_AlgorithmIdentifier& algorithm, const CASN1_BIT_STRING& key);
    CASN1_SubjectPublicKeyInfo(const CASN1_SubjectPublicKeyInfo& other) = default;
    CASN1_SubjectPublicKeyInfo& operator=(const CASN1_SubjectPublicKeyInfo& other) = default;
    ~CASN1_SubjectPublicKeyInfo() override;

    // rsaEncryption with a NULL parameter and the certificate's modulus and exponent.
    void GetDataFrom(const CCertificate& certificate);
    // The modulus, exponent and key bits into the certificate (bits from an INTEGER
    // parameter, else counted from the modulus). Failures raise CDERDecodingException* and
    // leave the certificate unchanged.
    void SetDataTo(CCertificate& certificate) const;
    static void SetDataTo(const CASN1Type& keyInfo, CCertificate& certificate);

    // Tag 0x10, exactly two children: a valid AlgorithmIdentifier, and a BIT STRING of whole
    // octets holding exactly one valid RSAPublicKey. Never raises.
    static int IsValid(const CASN1Type* object);
};

// TBSCertificate: [0] EXPLICIT version (only when not 0), serialNumber, signature,
// issuer, validity, subject, subjectPublicKeyInfo (then, on input, the unique identifiers
// [1] and [2] and the extensions [3]).
class SIGILBOX_API CASN1_CertificateData : public CASN1_SEQUENCE {
public:
    CASN1_CertificateData();
    explicit CASN1_CertificateData(const CCertificate& certificate);
    CASN1_CertificateData(const CASN1_CertificateData& other) = default;
    CASN1_CertificateData& operator=(const CASN1_CertificateData& other) = default;
    ~CASN1_CertificateData() override;

    // Clear(); then the components of the certificate (no algorithm identifier is written
    // for an algorithm value other than 0, 1, 2).
    void GetDataFrom(const CCertificate& certificate);
    // Version, serial number, algorithm, names, validity and key into the certificate; the
    // signature and digests are not touched. Failures raise CDERDecodingException* and leave
    // the certificate unchanged.
    void SetDataTo(CCertificate& certificate) const;
    static void SetDataTo(const CASN1Type& data, CCertificate& certificate);

    CASN1_INTEGER& GetSerialNumber();
    CASN1_RDNSequence& GetIssuer();
    CASN1_RDNSequence& GetSubject();

    static int IsValid(const CASN1Type* object);
};

// Certificate ::= SEQUENCE { CertificateData, AlgorithmIdentifier, signature BIT STRING }
class SIGILBOX_API CASN1_Certificate : public CASN1_SignedStructure {
public:
    CASN1_Certificate();
    explicit CASN1_Certificate(const CCertificate& certificate);
    CASN1_Certificate(const CASN1_CertificateData& data, const CASN1_AlgorithmIdentifier& algorithm,
                      const CASN1_BIT_STRING& signature);
    // Decodes; a value of another shape is cleared and raises "Certificate contents is not
    // valid".
    explicit CASN1_Certificate(CDEREncoding& encoding);
    CASN1_Certificate(const CASN1_Certificate& other) = default;
    CASN1_Certificate& operator=(const CASN1_Certificate& other) = default;
    ~CASN1_Certificate() override;

    // Clear(); then the data, the algorithm identifier and the signature bits.
    void GetDataFrom(const CCertificate& certificate);
    // Everything into the certificate: the data, the digest of the encoded data under the
    // certificate's algorithm (the other digest is forgotten) and the signature.
    void SetDataTo(CCertificate& certificate) const;
    static void SetDataTo(const CASN1Type& value, CCertificate& certificate);

    CASN1_CertificateData& GetCertificateData();
    CASN1_RDNSequence& GetIssuer();
    CASN1_RDNSequence& GetSubject();
    CASN1_INTEGER& GetSerialNumber();

    // Exactly three components: valid data, a valid algorithm identifier and a BIT STRING of
    // whole octets. Never raises.
    static int IsValid(const CASN1Type* object);
};

// CRL entry ::= SEQUENCE { userCertificate INTEGER, revocationDate UTCTime
//                          (, crlEntryExtensions, read only in version 2 lists) }
class SIGILBOX_API CASN1_CRLEntry : public CASN1_SEQUENCE {
public:
    CASN1_CRLEntry();
    explicit CASN1_CRLEntry(const CCRLEntry& entry);
    CASN1_CRLEntry(const CASN1_CRLEntry& other) = default;
    CASN1_CRLEntry& operator=(const CASN1_CRLEntry& other) = default;
    ~CASN1_CRLEntry() override;

    void GetDataFrom(const CCRLEntry& entry);
    static void SetDataTo(const CASN1Type& value, CCRLEntry& entry);
    // Tag 0x10, an INTEGER and a valid UTCTime, and with extensions a third SEQUENCE.
    static int IsValid(const CASN1Type* object, int extensionsAllowed = 0);
};

class SIGILBOX_API CASN1_RevokedCertificates : public CASN1_SEQUENCE {
public:
    CASN1_RevokedCertificates();
    explicit CASN1_RevokedCertificates(const CArray<CCRLEntry*, CCRLEntry*>& entries);
    CASN1_RevokedCertificates(const CASN1_RevokedCertificates& other) = default;
    CASN1_RevokedCertificates& operator=(const CASN1_RevokedCertificates& other) = default;
    ~CASN1_RevokedCertificates() override;

    void GetDataFrom(const CArray<CCRLEntry*, CCRLEntry*>& entries);
    static int IsValid(const CASN1Type* object, int extensionsAllowed = 0);
};

// TBSCertList: [version INTEGER], signature, issuer, lastUpdate, nextUpdate,
// [revokedCertificates] (and, read in version 2 lists, [0] EXPLICIT crlExtensions).
class SIGILBOX_API CASN1_CertificateRevocationListData : public CASN1_SEQUENCE {
public:
    CASN1_CertificateRevocationListData();
    explicit CASN1_CertificateRevocationListData(const CCertificateRevocationList& crl);
    CASN1_CertificateRevocationListData(const CASN1_CertificateRevocationListData& other) = default;
    CASN1_CertificateRevocationListData& operator=(const CASN1_CertificateRevocationListData& other) = default;
    ~CASN1_CertificateRevocationListData() override;

    // Clear(); then no version, the algorithm identifier, issuer, both updates and the entry
    // list (always written, possibly empty).
    void GetDataFrom(const CCertificateRevocationList& crl);
    // Algorithm, issuer, updates and entries into the list; failures leave it unchanged.
    void SetDataTo(CCertificateRevocationList& crl) const;
    static void SetDataTo(const CASN1Type& data, CCertificateRevocationList& crl);

    static int IsValid(const CASN1Type* object);
};

class SIGILBOX_API CASN1_CertificateRevocationList : public CASN1_SignedStructure {
public:
    CASN1_CertificateRevocationList();
    explicit CASN1_CertificateRevocationList(const CCertificateRevocationList& crl);
    CASN1_CertificateRevocationList(const CASN1_CertificateRevocationListData& data,
                                    const CASN1_AlgorithmIdentifier& algorithm, const CASN1_BIT_STRING& signature);
    // Decodes; a value of another shape is cleared and raises "CRL contents is not valid".
    explicit CASN1_CertificateRevocationList(CDEREncoding& encoding);
    CASN1_CertificateRevocationList(const CASN1_CertificateRevocationList& other) = default;
    CASN1_CertificateRevocationList& operator=(const CASN1_CertificateRevocationList& other) = default;
    ~CASN1_CertificateRevocationList() override;

    void GetDataFrom(const CCertificateRevocationList& crl);
    void SetDataTo(CCertificateRevocationList& crl) const;
    static void SetDataTo(const CASN1Type& value, CCertificateRevocationList& crl);

    CASN1_RDNSequence& GetIssuer();

    // Exactly three components: valid data, a valid algorithm identifier and a BIT STRING of
    // whole octets. Never raises.
    static int IsValid(const CASN1Type* object);
};

// Arrays of ASN.1 certificates held by value, stored in the ASN.1 archive form.
SIGILBOX_API void ConstructElements(CASN1_Certificate* elements, int count);
SIGILBOX_API void DestructElements(CASN1_Certificate* elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CASN1_Certificate* elements, int count);

// An ordered list of certificates as the caller stored them (copied by assignment).
class SIGILBOX_API CCertificationChain : public CArray<CASN1_Certificate, const CASN1_Certificate&> {
public:
    CCertificationChain();
    CCertificationChain(const CCertificationChain& other);
    CCertificationChain& operator=(const CCertificationChain& other);
    ~CCertificationChain() override;

    // This chain appears in `other` as a run that ends where this chain's last certificate
    // is found (scanning `other` from its end). Certificates are compared as CCertificate
    // values; one that cannot be read matches nothing. An empty chain is a sub-chain of any.
    int IsSubChainOf(const CCertificationChain& other) const;
};

SIGILBOX_API void ConstructElements(CCertificationChain* elements, int count);
SIGILBOX_API void DestructElements(CCertificationChain* elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CCertificationChain* elements, int count);

// The algorithm identifier (with a NULL parameter) of a signature algorithm value, or null
// for a value that is none of the three.
SIGILBOX_API CASN1_AlgorithmIdentifier* AfxNewSignatureAlgorithmIdentifier(int algorithm);
// The signature algorithm value (0, 1, 2) of an identifier, or -1 for any other.
SIGILBOX_API int AfxGetSignatureAlgorithm(const CASN1Type& algorithmIdentifier);
