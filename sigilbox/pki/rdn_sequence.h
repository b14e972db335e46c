// X.500 names in their ASN.1 form, converted to and from the working form of
// distinguished_name.h:
//   RDNSequence ::= SEQUENCE OF RelativeDistinguishedName
//   RelativeDistinguishedName ::= SET OF AttributeValueAssertion (DER order)
//   AttributeValueAssertion ::= SEQUENCE { type OBJECT IDENTIFIER, value <string> }
// The classes are views of a SEQUENCE or SET (no data, no virtual operations of their own).
// The static SetDataTo forms read any decoded value of the right shape.
#pragma once

#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/pki/distinguished_name.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CASN1_AttributeValueAssertion : public CASN1_SEQUENCE {
public:
    // Empty (a decode target).
    CASN1_AttributeValueAssertion();
    // Clones of both.
    CASN1_AttributeValueAssertion(const CASN1_OBJECT_IDENTIFIER& type, const CASN1Type& value);
    explicit CASN1_AttributeValueAssertion(const CAttributeValue& value);
    CASN1_AttributeValueAssertion(const CASN1_AttributeValueAssertion& other) = default;
    CASN1_AttributeValueAssertion& operator=(const CASN1_AttributeValueAssertion& other) = default;
    ~CASN1_AttributeValueAssertion() override;

    // Clear(); then, when the display name is one of the table's, its identifier and the
    // value text as a string of the value's type (nothing for a type that is no string
    // type). An unknown display name leaves the assertion empty.
    void GetDataFrom(const CAttributeValue& value);
    // Name from the identifier ("Unknown" when it is none of the table's), the value's
    // contents octets as the text, its tag octet as the type.
    void SetDataTo(CAttributeValue& value) const;
    static void SetDataTo(const CASN1Type& assertion, CAttributeValue& value);

    // Tag 0x10, exactly two children: an OBJECT IDENTIFIER, then a value of a string type
    // AfxIsDNValueType accepts. Never raises.
    static int IsValid(const CASN1Type* object);
};

class SIGILBOX_API CASN1_RelativeDistinguishedName : public CASN1_SET {
public:
    CASN1_RelativeDistinguishedName();
    explicit CASN1_RelativeDistinguishedName(const CRelativeDN& rdn);
    CASN1_RelativeDistinguishedName(const CASN1_RelativeDistinguishedName& other) = default;
    CASN1_RelativeDistinguishedName& operator=(const CASN1_RelativeDistinguishedName& other) = default;
    ~CASN1_RelativeDistinguishedName() override;

    // Clear(); then one assertion per value, in DER SET OF order.
    void GetDataFrom(const CRelativeDN& rdn);
    // Replaces the values with one per child.
    void SetDataTo(CRelativeDN& rdn) const;
    static void SetDataTo(const CASN1Type& set, CRelativeDN& rdn);

    // Tag 0x11, every child a valid assertion, the children in DER order. Never raises.
    static int IsValid(const CASN1Type* object);
};

class SIGILBOX_API CASN1_RDNSequence : public CASN1_SEQUENCE {
public:
    CASN1_RDNSequence();
    explicit CASN1_RDNSequence(const CDistinguishedName& name);
    // Decodes; a value of another shape is cleared and raises "RDNSequence contents is not
    // valid".
    explicit CASN1_RDNSequence(CDEREncoding& encoding);
    CASN1_RDNSequence(const CASN1_RDNSequence& other) = default;
    CASN1_RDNSequence& operator=(const CASN1_RDNSequence& other) = default;
    ~CASN1_RDNSequence() override;

    // Clear(); then one relative name per relative name of the name, in order.
    void GetDataFrom(const CDistinguishedName& name);
    // Empties the name, then one relative name (kind "Set") per child.
    void SetDataTo(CDistinguishedName& name) const;
    static void SetDataTo(const CASN1Type& sequence, CDistinguishedName& name);
    operator CDistinguishedName() const;

    // Tag 0x10 and every child a valid relative name (an empty sequence is valid). Never
    // raises.
    static int IsValid(const CASN1Type* object);
};
