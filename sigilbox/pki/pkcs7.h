// The PKCS #7 (1.5) content types: ContentInfo, SignedData, SignerInfo,
// IssuerAndSerialNumber, Attribute, EnvelopedData, RecipientInfo, EncryptedContentInfo,
// SignedAndEnvelopedData, DigestedData and EncryptedData.
//
// Each class is a view of a SEQUENCE (no data, no virtual operations): constructors that
// assemble a new value, a static IsValid that checks the shape of a decoded value and never
// raises, and accessors to the parts. Callers check IsValid before using the accessors.
// Accessors return the children themselves (the structure keeps them); a child handed out
// as a structure class is first given that class (structure_view.h). The certificate, CRL
// and attribute getters return a new SET by value instead.
//
// Digest algorithm identifiers (of SignedData, SignerInfo, SignedAndEnvelopedData and
// DigestedData) are accepted without their parameter, as current peers write the SHA-2
// family.
//
// Every class also has an empty default constructor: a target for DecodeFrom or for
// CASN1_TAGGED::FromExplicit (for example the content of a ContentInfo).
#pragma once

#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/pki/rdn_sequence.h"
#include "sigilbox/sigilbox_export.h"

class CCertificate;

// ContentInfo ::= SEQUENCE { contentType OBJECT IDENTIFIER, content [0] EXPLICIT ANY OPTIONAL }
class SIGILBOX_API CASN1_ContentInfo : public CASN1_SEQUENCE {
public:
    CASN1_ContentInfo();
    // A clone of `type`; when `content` is not null, a [0] holding a clone of it (the caller
    // keeps `content` and deletes it). The content info itself uses the indefinite length
    // form; its [0] is definite.
    CASN1_ContentInfo(const CASN1_OBJECT_IDENTIFIER& type, const CASN1Type* content);
    // Decodes; a value of another shape is cleared and raises "ContentInfo contents is not
    // valid".
    explicit CASN1_ContentInfo(CDEREncoding& encoding);
    CASN1_ContentInfo(const CASN1_ContentInfo& other) = default;
    CASN1_ContentInfo& operator=(const CASN1_ContentInfo& other) = default;
    ~CASN1_ContentInfo() override;

    // Tag 0x10; one or two children; an OBJECT IDENTIFIER, then a [0] if any.
    static int IsValid(const CASN1Type* object);

    int IsContent() const;
    CASN1_OBJECT_IDENTIFIER& GetContentType();
    // Read it with CASN1_TAGGED::FromExplicit(GetContent(), target).
    CASN1_TAGGED& GetContent();
    // Both delete the content and remove it (to free a large content once it is read).
    void ReleaseContent();
    void DeleteContent();
};

// IssuerAndSerialNumber ::= SEQUENCE { issuer RDNSequence, serialNumber INTEGER }
class SIGILBOX_API CASN1_IssuerAndSerialNumber : public CASN1_SEQUENCE {
public:
    CASN1_IssuerAndSerialNumber();
    CASN1_IssuerAndSerialNumber(const CASN1_RDNSequence& issuer, const CASN1_INTEGER& serialNumber);
    // The certificate's issuer and serial number.
    explicit CASN1_IssuerAndSerialNumber(const CCertificate& certificate);
    CASN1_IssuerAndSerialNumber(const CASN1_IssuerAndSerialNumber& other) = default;
    CASN1_IssuerAndSerialNumber& operator=(const CASN1_IssuerAndSerialNumber& other) = default;
    ~CASN1_IssuerAndSerialNumber() override;

    static int IsValid(const CASN1Type* object);

    CASN1_RDNSequence& GetIssuer();
    CASN1_INTEGER& GetSerialNumber();
};

// Attribute ::= SEQUENCE { type OBJECT IDENTIFIER, values SET }
class SIGILBOX_API CASN1_Attribute : public CASN1_SEQUENCE {
public:
    CASN1_Attribute();
    CASN1_Attribute(const CASN1_OBJECT_IDENTIFIER& type, const CASN1_SET& values);
    CASN1_Attribute(const CASN1_Attribute& other) = default;
    CASN1_Attribute& operator=(const CASN1_Attribute& other) = default;
    ~CASN1_Attribute() override;

    static int IsValid(const CASN1Type* object);

    CASN1_OBJECT_IDENTIFIER& GetID();
    CASN1_SET& GetValues();
};

// SignerInfo ::= SEQUENCE { version INTEGER (1), issuerAndSerialNumber, digestAlgorithm,
//   authenticatedAttributes [0] IMPLICIT SET OF Attribute OPTIONAL, digestEncryptionAlgorithm,
//   encryptedDigest OCTET STRING, unauthenticatedAttributes [1] IMPLICIT SET OPTIONAL }
class SIGILBOX_API CASN1_SignerInfo : public CASN1_SEQUENCE {
public:
    CASN1_SignerInfo();
    // Version 1 and clones of the four (no attributes).
    CASN1_SignerInfo(const CASN1_IssuerAndSerialNumber& issuerAndSerialNumber,
                     const CASN1_AlgorithmIdentifier& digestAlgorithm,
                     const CASN1_AlgorithmIdentifier& digestEncryptionAlgorithm,
                     const CASN1_OCTET_STRING& encryptedDigest);
    CASN1_SignerInfo(const CASN1_SignerInfo& other) = default;
    CASN1_SignerInfo& operator=(const CASN1_SignerInfo& other) = default;
    ~CASN1_SignerInfo() override;

    // Besides the shape: with authenticated attributes, exactly one contentType (one
    // OBJECT IDENTIFIER value) and exactly one messageDigest (one OCTET STRING as long as
    // the digests of the signer's digest algorithm: 16 octets for MD2 and MD5, 20 for SHA-1,
    // 28, 32, 48 or 64 for the SHA-2 family, any of these for another algorithm).
    static int IsValid(const CASN1Type* object);

    int IsAuthenticatedAttributes() const;
    int IsUnauthenticatedAttributes() const;
    CASN1_IssuerAndSerialNumber& GetIssuerAndSerialNumber();
    CASN1_AlgorithmIdentifier& GetDigestAlgorithmIdentifier();
    // A new SET decoded from the [0] (empty when it does not decode).
    CASN1_SET GetAuthenticatedAttributes() const;
    // The [0] itself: its encoding is what a signature over the attributes covers.
    CASN1_TAGGED& GetOriginalAuthenticatedAttributes();
    CASN1_AlgorithmIdentifier& GetDigestEncyptionAlgorithm();
    CASN1_OCTET_STRING& GetEncryptedDigest();
    CASN1_SET GetUnauthenticatedAttributes() const;
};

// SignedData ::= SEQUENCE { version INTEGER (1), digestAlgorithms SET OF AlgorithmIdentifier,
//   contentInfo, certificates [0] IMPLICIT OPTIONAL, crls [1] IMPLICIT OPTIONAL,
//   signerInfos SET OF SignerInfo }
class SIGILBOX_API CASN1_SignedData : public CASN1_SEQUENCE {
public:
    CASN1_SignedData();
    // Version 1, no digest algorithms, the content info (adopted: the signed data deletes
    // it), no signers.
    explicit CASN1_SignedData(CASN1_ContentInfo* contentInfo);
    CASN1_SignedData(const CASN1_SignedData& other) = default;
    CASN1_SignedData& operator=(const CASN1_SignedData& other) = default;
    ~CASN1_SignedData() override;

    static int IsValid(const CASN1Type* object);

    int IsCertificates() const;
    int IsCRLs() const;
    CASN1_SET& GetDigestAlgorithms();
    CASN1_ContentInfo& GetContentInfo();
    CASN1_SET& GetSignerInfos();
    // New SETs decoded from the [0] and [1] (empty when they do not decode). Call only when
    // IsCertificates() or IsCRLs().
    CASN1_SET GetCertificates() const;
    CASN1_SET GetCRLs() const;
    // Sorted inserts of clones.
    void AddSignerInfo(const CASN1_SignerInfo& signerInfo);
    void AddDigestAlgorithmIdentifier(const CASN1_AlgorithmIdentifier& algorithm);
    // Replaces the certificates, or inserts them before the CRLs and signers.
    void SetCertificates(const CASN1_SET& certificates);
};

// RecipientInfo ::= SEQUENCE { version INTEGER (0), issuerAndSerialNumber,
//   keyEncryptionAlgorithm AlgorithmIdentifier, encryptedKey OCTET STRING }
class SIGILBOX_API CASN1_RecipientInfo : public CASN1_SEQUENCE {
public:
    CASN1_RecipientInfo();
    CASN1_RecipientInfo(const CASN1_IssuerAndSerialNumber& issuerAndSerialNumber,
                        const CASN1_AlgorithmIdentifier& keyEncryptionAlgorithm, const CASN1_OCTET_STRING& encryptedKey);
    CASN1_RecipientInfo(const CASN1_RecipientInfo& other) = default;
    CASN1_RecipientInfo& operator=(const CASN1_RecipientInfo& other) = default;
    ~CASN1_RecipientInfo() override;

    static int IsValid(const CASN1Type* object);

    CASN1_IssuerAndSerialNumber& GetIssuerAndSerialNumber();
    CASN1_AlgorithmIdentifier& GetKeyEncryptionAlgorithm();
    CASN1_OCTET_STRING& GetEncryptedKey();
};

// EncryptedContentInfo ::= SEQUENCE { contentType OBJECT IDENTIFIER,
//   contentEncryptionAlgorithm AlgorithmIdentifier, encryptedContent [0] IMPLICIT OPTIONAL }
class SIGILBOX_API CASN1_EncryptedContentInfo : public CASN1_SEQUENCE {
public:
    CASN1_EncryptedContentInfo();
    // Clones of the first two; the encrypted content is adopted (and required).
    CASN1_EncryptedContentInfo(const CASN1_OBJECT_IDENTIFIER& contentType, const CASN1_AlgorithmIdentifier& algorithm,
                               CASN1_TAGGED* encryptedContent);
    CASN1_EncryptedContentInfo(const CASN1_EncryptedContentInfo& other) = default;
    CASN1_EncryptedContentInfo& operator=(const CASN1_EncryptedContentInfo& other) = default;
    ~CASN1_EncryptedContentInfo() override;

    static int IsValid(const CASN1Type* object);

    int IsEncryptedContent() const;
    CASN1_OBJECT_IDENTIFIER& GetContentType();
    CASN1_AlgorithmIdentifier& GetContentEncryptionAlgorithm();
    CASN1_TAGGED& GetEncryptedContent();
    // Deletes the encrypted content and removes it.
    void ReleaseContent();
};

// EnvelopedData ::= SEQUENCE { version INTEGER (0), recipientInfos SET OF RecipientInfo,
//   encryptedContentInfo }
class SIGILBOX_API CASN1_EnvelopedData : public CASN1_SEQUENCE {
public:
    CASN1_EnvelopedData();
    // Version 0, no recipients, the encrypted content info (adopted).
    explicit CASN1_EnvelopedData(CASN1_EncryptedContentInfo* info);
    CASN1_EnvelopedData(const CASN1_EnvelopedData& other) = default;
    CASN1_EnvelopedData& operator=(const CASN1_EnvelopedData& other) = default;
    ~CASN1_EnvelopedData() override;

    static int IsValid(const CASN1Type* object);

    CASN1_SET& GetRecipientInfos();
    CASN1_EncryptedContentInfo& GetEncryptedContentInfo();
    void AddRecipientInfo(const CASN1_RecipientInfo& recipientInfo);
};

// SignedAndEnvelopedData ::= SEQUENCE { version INTEGER (1), recipientInfos,
//   digestAlgorithms, encryptedContentInfo, certificates [0] OPTIONAL, crls [1] OPTIONAL,
//   signerInfos }
class SIGILBOX_API CASN1_SignedAndEnvelopedData : public CASN1_SEQUENCE {
public:
    CASN1_SignedAndEnvelopedData();
    explicit CASN1_SignedAndEnvelopedData(CASN1_EncryptedContentInfo* info);
    CASN1_SignedAndEnvelopedData(const CASN1_SignedAndEnvelopedData& other) = default;
    CASN1_SignedAndEnvelopedData& operator=(const CASN1_SignedAndEnvelopedData& other) = default;
    ~CASN1_SignedAndEnvelopedData() override;

    static int IsValid(const CASN1Type* object);

    int IsCertificates() const;
    int IsCRLs() const;
    CASN1_SET& GetRecipientInfos();
    CASN1_SET& GetDigestAlgorithms();
    CASN1_EncryptedContentInfo& GetEncryptedContentInfo();
    CASN1_SET& GetSignerInfos();
    CASN1_SET GetCertificates() const;
    CASN1_SET GetCRLs() const;
    void AddRecipientInfo(const CASN1_RecipientInfo& recipientInfo);
    void AddSignerInfo(const CASN1_SignerInfo& signerInfo);
    void AddDigestAlgorithmIdentifier(const CASN1_AlgorithmIdentifier& algorithm);
    void SetCertificates(const CASN1_SET& certificates);
};

// DigestedData ::= SEQUENCE { version INTEGER (0), digestAlgorithm, contentInfo,
//   digest OCTET STRING }
class SIGILBOX_API CASN1_DigestedData : public CASN1_SEQUENCE {
public:
    CASN1_DigestedData();
    // Version 0, a clone of the algorithm, the content info (adopted), the digest.
    CASN1_DigestedData(const CASN1_AlgorithmIdentifier& algorithm, CASN1_ContentInfo* contentInfo,
                       const unsigned char* digest, int length);
    CASN1_DigestedData(const CASN1_DigestedData& other) = default;
    CASN1_DigestedData& operator=(const CASN1_DigestedData& other) = default;
    ~CASN1_DigestedData() override;

    static int IsValid(const CASN1Type* object);

    CASN1_AlgorithmIdentifier& GetDigestAlgorithm();
    CASN1_ContentInfo& GetContentInfo();
    // Copies the digest when `length` is its size (1); otherwise 0, buffer untouched.
    int GetDigest(unsigned char* buffer, int length) const;
};

// EncryptedData ::= SEQUENCE { version INTEGER (0), encryptedContentInfo }
class SIGILBOX_API CASN1_EncryptedData : public CASN1_SEQUENCE {
public:
    CASN1_EncryptedData();
    explicit CASN1_EncryptedData(CASN1_EncryptedContentInfo* info);
    CASN1_EncryptedData(const CASN1_EncryptedData& other) = default;
    CASN1_EncryptedData& operator=(const CASN1_EncryptedData& other) = default;
    ~CASN1_EncryptedData() override;

    static int IsValid(const CASN1Type* object);

    CASN1_EncryptedContentInfo& GetEncryptedContentInfo();
};
