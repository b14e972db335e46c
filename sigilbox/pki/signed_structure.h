// The shape certificates, revocation lists and certification requests share:
//   SEQUENCE { data, signatureAlgorithm AlgorithmIdentifier, signature BIT STRING }
// Each is this shape around data of its own; like the other structures, it is a view of a
// SEQUENCE and adds neither data nor virtual operations.
#pragma once

#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CASN1_SignedStructure : public CASN1_SEQUENCE {
public:
    CASN1_SignedStructure(const CASN1_SignedStructure& other) = default;
    CASN1_SignedStructure& operator=(const CASN1_SignedStructure& other) = default;
    ~CASN1_SignedStructure() override;

protected:
    using DataCheck = int (*)(const CASN1Type* object);

    CASN1_SignedStructure();
    // Clones of the three parts.
    CASN1_SignedStructure(const CASN1Type& data, const CASN1_AlgorithmIdentifier& algorithm,
                          const CASN1_BIT_STRING& signature);
    // Decodes; a value of another shape (isValid) is cleared and raises `message`.
    CASN1_SignedStructure(CDEREncoding& encoding, DataCheck isValid, const char* message);

    // Exactly three parts: data isData accepts, a valid algorithm identifier and a BIT STRING
    // (of whole octets with wholeOctets). Never raises.
    static int IsSignedShape(const CASN1Type* object, DataCheck isData, bool wholeOctets);
};
