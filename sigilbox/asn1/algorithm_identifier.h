// The two small structures that carry algorithm choices. They add neither data nor virtual
// operations to SEQUENCE. A decoded child is a plain CASN1_SEQUENCE made by the factory: read
// it through the static accessors, which take any value IsValid has accepted (calling the
// members on an object that is not of the class, through a cast, is not valid C++ and the
// sanitizers stop on it).
#pragma once

#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/sigilbox_export.h"

// SEQUENCE { algorithm OBJECT IDENTIFIER, parameter ANY } (NULL when there is none).
class SIGILBOX_API CASN1_AlgorithmIdentifier : public CASN1_SEQUENCE {
public:
    CASN1_AlgorithmIdentifier(const CASN1_OBJECT_IDENTIFIER& id, const CASN1Type& parameter);
    CASN1_AlgorithmIdentifier(const CASN1_AlgorithmIdentifier& other) = default;
    CASN1_AlgorithmIdentifier& operator=(const CASN1_AlgorithmIdentifier& other) = default;

    // Tag 0x10, exactly two children, the first an OBJECT IDENTIFIER. Never raises.
    static int IsValid(const CASN1Type* object);

    CASN1_OBJECT_IDENTIFIER& GetID();
    CASN1Type& GetParameter();
    static CASN1_OBJECT_IDENTIFIER& GetID(CASN1Type& algorithmIdentifier);
    static CASN1Type& GetParameter(CASN1Type& algorithmIdentifier);
};

// SEQUENCE { keyBits INTEGER, iv OCTET STRING }: the RC2-CBC parameter.
class SIGILBOX_API CASN1_RC2AlgorithmParameter : public CASN1_SEQUENCE {
public:
    // Decodes and checks the shape; a wrong shape raises
    // "CASN1_RC2AlgorithmParameter contents is not valid".
    explicit CASN1_RC2AlgorithmParameter(CDEREncoding& encoding);
    CASN1_RC2AlgorithmParameter(const CASN1_RC2AlgorithmParameter& other) = default;
    CASN1_RC2AlgorithmParameter& operator=(const CASN1_RC2AlgorithmParameter& other) = default;

    // Tag 0x10, exactly two children: INTEGER then OCTET STRING. Never raises.
    static int IsValid(const CASN1Type* object);

    CASN1_INTEGER& GetKeyBits();
    CASN1_OCTET_STRING& GetInitializationVector();
    static CASN1_INTEGER& GetKeyBits(CASN1Type& parameter);
    static CASN1_OCTET_STRING& GetInitializationVector(CASN1Type& parameter);
};
