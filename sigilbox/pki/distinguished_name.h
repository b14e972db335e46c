// X.500 names in their working form: a distinguished name is an ordered list of relative
// names, each a set of attribute values (display name of the attribute type, value text,
// ASN.1 string type of the value). Lookup by attribute type, the labels under which an
// owner is shown, comparisons and archiving. The ASN.1 form is in rdn_sequence.h.
#pragma once

#include "framework/archive.h"
#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/object.h"
#include "sigilbox/sigilbox_export.h"

// Index of an attribute type in szDNAttrName; each has its identifier class (2.5.4.x or
// the PKCS #9 e-mail address).
enum DNAttrNameEnum {
    DNCountryName = 0,
    DNStateOrProvinceName = 1,
    DNLocalityName = 2,
    DNCommonName = 3,
    DNTitle = 4,
    DNOrganizationName = 5,
    DNOrganizationalUnitName = 6,
    DNStreetAddress = 7,
    DNPostalCode = 8,
    DNPhoneNumber = 9,
    DNEMailAddress = 10,
    DNSurname = 11,
    DNCollectiveLocalityName = 12,
    DNCollectiveStateOrProvinceName = 13,
    DNCollectiveStreetAddress = 14,
    DNCollectiveOrganizationName = 15,
    DNCollectiveOrganizationalUnitName = 16,
    DNPostalAddress = 17,
    DNCollectivePostalAddress = 18,
    DNCollectivePostalCode = 19,
    DNPostOfficeBox = 20,
    DNCollectivePostOfficeBox = 21,
    DNPhysicalDeliveryOfficeName = 22,
    DNCollectivePhysicalDeliveryOfficeName = 23,
};

// Display texts of the attribute types, by DNAttrNameEnum. They are the keys of the working
// form: values are matched by exact, case-sensitive comparison of these texts.
extern SIGILBOX_API const char* const szDNAttrName[24];
SIGILBOX_API int AfxGetLenArrayOfDNAttrName();

// ASN.1 string types of attribute values (the tag octet of the value).
enum {
    DNTypeOctetString = 4,
    DNTypeUTF8String = 12,
    DNTypeNumericString = 18,
    DNTypePrintableString = 19,
    DNTypeT61String = 20,
    DNTypeIA5String = 22,
    DNTypeVisibleString = 26,
    DNTypeUniversalString = 28,
    DNTypeBMPString = 30,
};
// 1 for the string types a value may have: the four of the original name forms and the
// UTF8String, BMPString, UniversalString, NumericString and VisibleString of current peers.
SIGILBOX_API int AfxIsDNValueType(unsigned int type);

class SIGILBOX_API CAttributeValue : public CObject {
    DECLARE_SERIAL(CAttributeValue)
public:
    // Empty texts, PrintableString.
    CAttributeValue();
    // The display text of `type` and the value: an e-mail address is stored in lower case as
    // an IA5String, anything else unchanged as a PrintableString. A type outside the table
    // raises CInvalidArgException*; a null value is empty.
    CAttributeValue(DNAttrNameEnum type, const char* value);
    CAttributeValue(const CAttributeValue& other);
    CAttributeValue& operator=(const CAttributeValue& other);
    ~CAttributeValue() override;

    // Name, ": ", value.
    operator CString() const;

    // Version octet 0, name, value, type octet. Loading raises CArchiveException (generic)
    // for another version or a type AfxIsDNValueType refuses, and then changes nothing.
    void Serialize(CArchive& ar) override;

    CString m_strName;
    CString m_strValue;
    unsigned char m_nType;
};

// Names, values and types all equal.
SIGILBOX_API int operator==(const CAttributeValue& a, const CAttributeValue& b);

class CRelativeDN;
class CDistinguishedName;

// Arrays of owned pointers: destroying deletes each element; loading creates a default
// object for an empty slot and loads it in its own layout.
SIGILBOX_API void DestructElements(CAttributeValue** elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CAttributeValue** elements, int count);
SIGILBOX_API void DestructElements(CRelativeDN** elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CRelativeDN** elements, int count);

class SIGILBOX_API CRelativeDN : public CObject {
    DECLARE_SERIAL(CRelativeDN)
public:
    // No values, kind "Set".
    CRelativeDN();
    explicit CRelativeDN(const char* kind);
    CRelativeDN(const CRelativeDN& other);
    CRelativeDN& operator=(const CRelativeDN& other);
    ~CRelativeDN() override;

    // Appends the value (adopted); returns its index.
    int Add(CAttributeValue* value);
    // The text of the first value (in array order) of the type; 0 when there is none.
    int Find(DNAttrNameEnum type, CString& value) const;
    // Each value's text followed by "\r\n".
    operator CString() const;

    // Version octet 0, the kind, the value array. Loading raises CArchiveException
    // (generic) for another version and changes nothing when any part fails.
    void Serialize(CArchive& ar) override;

    CArray<CAttributeValue*, CAttributeValue*> m_AttributeValues;
    CString m_strKind;
};

// As sets: the same number of values, each value of `a` having an equal one in `b`.
SIGILBOX_API int operator==(const CRelativeDN& a, const CRelativeDN& b);

class SIGILBOX_API CDistinguishedName : public CArray<CRelativeDN*, CRelativeDN*> {
public:
    // Null gives an empty name. Otherwise the form made for an e-mail address: a relative
    // name with the locality "Internet", then one with the address (lower case).
    explicit CDistinguishedName(const char* eMail = nullptr);
    CDistinguishedName(const CDistinguishedName& other);
    CDistinguishedName& operator=(const CDistinguishedName& other);
    ~CDistinguishedName() override;

    // The relative-name array: count, then each relative name in its own layout. Loading
    // changes nothing when any part fails.
    void Serialize(CArchive& ar) override;

    // The first value of the type, relative names in order; 0 when there is none.
    int Find(DNAttrNameEnum type, CString& value) const;
    // No relative name holds a value.
    int IsEmpty() const;
    // The first value of the first relative name that has one, or "<Empty>".
    CString FirstAttribute() const;
    // The short label of an owner: the first value found in the label order (organisation
    // and unit together when both are there), or FirstAttribute().
    CString GetLabel() const;
    // The first two values found in the label order, joined by ", ".
    CString GetLabel2() const;
    // All relative names' texts, one line per value.
    operator CString() const;

    // `superior` has no more relative names than this name and equals its beginning.
    int IsSubordinateTo(const CDistinguishedName& superior) const;
    // The same with strictly fewer relative names.
    int IsStronglySubordinateTo(const CDistinguishedName& superior) const;
    // The form made for an e-mail address: exactly the locality "Internet", then exactly one
    // e-mail address.
    int IsVeriSignImage() const;
    // The e-mail form answering a request for the same address.
    int IsVeriSignResponse(const CDistinguishedName& request) const;
    // The name has an e-mail address.
    int IsVeriSignRequestMatch() const;

private:
    void CopyFrom(const CDistinguishedName& other);
};

// The same number of relative names, equal position by position (each as a set).
SIGILBOX_API int operator==(const CDistinguishedName& a, const CDistinguishedName& b);
inline int operator!=(const CDistinguishedName& a, const CDistinguishedName& b)
{
    return !(a == b);
}

// Equal names, or both holding the same e-mail address text (exact comparison).
SIGILBOX_API int __isTheSameOwner(const CDistinguishedName& a, const CDistinguishedName& b);

// Arrays of names held by value.
SIGILBOX_API void ConstructElements(CDistinguishedName* elements, int count);
SIGILBOX_API void DestructElements(CDistinguishedName* elements, int count);
SIGILBOX_API void SerializeElements(CArchive& ar, CDistinguishedName* elements, int count);
