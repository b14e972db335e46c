// PKCS #10 certification requests:
//   CertificationRequestInfo ::= SEQUENCE { version INTEGER (0), subject RDNSequence,
//       subjectPublicKeyInfo, attributes [0] IMPLICIT SET OF Attribute }
//   CertificationRequest ::= SEQUENCE { certificationRequestInfo,
//       signatureAlgorithm AlgorithmIdentifier, signature BIT STRING }
#pragma once

#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/rdn_sequence.h"
#include "sigilbox/pki/signed_structure.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CASN1_CertificationRequestInfo : public CASN1_SEQUENCE {
public:
    CASN1_CertificationRequestInfo();
    // Version 0, clones of the subject and key, and the attributes as [0] IMPLICIT.
    CASN1_CertificationRequestInfo(const CASN1_RDNSequence& subject, const CASN1_SubjectPublicKeyInfo& keyInfo,
                                   const CASN1_SET& attributes);
    CASN1_CertificationRequestInfo(const CASN1_CertificationRequestInfo& other) = default;
    CASN1_CertificationRequestInfo& operator=(const CASN1_CertificationRequestInfo& other) = default;
    ~CASN1_CertificationRequestInfo() override;

    // Exactly four children: version 0, a valid RDNSequence, a valid SubjectPublicKeyInfo
    // and a [0] that reads as a SET of valid attributes. Never raises.
    static int IsValid(const CASN1Type* object);

    CASN1_RDNSequence& GetSubject();
    CASN1_SubjectPublicKeyInfo& GetSubjectPublicKeyInfo();
};

class SIGILBOX_API CASN1_CertificationRequest : public CASN1_SignedStructure {
public:
    CASN1_CertificationRequest();
    CASN1_CertificationRequest(const CASN1_CertificationRequestInfo& info, const CASN1_AlgorithmIdentifier& signatureAlgorithm,
                               const CASN1_BIT_STRING& signature);
    // Decodes; a value of another shape is cleared and raises "CertificationRequest
    // contents is not valid".
    explicit CASN1_CertificationRequest(CDEREncoding& encoding);
    CASN1_CertificationRequest(const CASN1_CertificationRequest& other) = default;
    CASN1_CertificationRequest& operator=(const CASN1_CertificationRequest& other) = default;
    ~CASN1_CertificationRequest() override;

    // Exactly three children: a valid request info, a valid algorithm identifier, a BIT
    // STRING. Never raises.
    static int IsValid(const CASN1Type* object);

    CASN1_CertificationRequestInfo& GetCertificatioRequestInfo();
};
