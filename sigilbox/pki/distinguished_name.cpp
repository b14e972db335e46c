#include "sigilbox/pki/distinguished_name.h"

#include "framework/exceptions.h"

#include <memory>

IMPLEMENT_SERIAL(CAttributeValue, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CRelativeDN, CObject, VERSIONABLE_SCHEMA | 0)

const char* const szDNAttrName[24] = {
    "Country name",
    "State or province name",
    "Locality name",
    "Common name",
    "Title",
    "Organization name",
    "Organizational unit name",
    "Street address",
    "Postal code",
    "Phone number",
    "E-mail address",
    "Surname",
    "Collective locality name",
    "Collective state or province name",
    "Collective street address",
    "Collective organization name",
    "Collective organizational unit name",
    "Postal address",
    "Collective postal address",
    "Collective postal code",
    "Post office box",
    "Collective post office box",
    "Physical delivery office name",
    "Collective physical delivery office name",
};

int AfxGetLenArrayOfDNAttrName()
{
    return 24;
}

int AfxIsDNValueType(unsigned int type)
{
    switch (type) {
    case DNTypeOctetString:
    case DNTypePrintableString:
    case DNTypeT61String:
    case DNTypeIA5String:
    case DNTypeUTF8String:
    case DNTypeBMPString:
    case DNTypeUniversalString:
    case DNTypeNumericString:
    case DNTypeVisibleString:
        return 1;
    default:
        return 0;
    }
}

namespace {

// The order in which attribute types make an owner's label.
const DNAttrNameEnum kLabelOrder[24] = {
    DNCommonName,
    DNSurname,
    DNEMailAddress,
    DNOrganizationName,
    DNOrganizationalUnitName,
    DNTitle,
    DNPhoneNumber,
    DNCountryName,
    DNStateOrProvinceName,
    DNLocalityName,
    DNStreetAddress,
    DNPostalAddress,
    DNPostOfficeBox,
    DNPostalCode,
    DNPhysicalDeliveryOfficeName,
    DNCollectiveOrganizationName,
    DNCollectiveOrganizationalUnitName,
    DNCollectivePhysicalDeliveryOfficeName,
    DNCollectiveStateOrProvinceName,
    DNCollectiveLocalityName,
    DNCollectiveStreetAddress,
    DNCollectivePostalAddress,
    DNCollectivePostOfficeBox,
    DNCollectivePostalCode,
};

void ThrowGeneric(CArchive& ar)
{
    AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
}

// Moves the elements of one owning pointer array to another (emptied first); the source
// ends empty. Nothing is deleted twice: each source slot is nulled as it is taken.
template <class T>
void MovePointers(CArray<T*, T*>& from, CArray<T*, T*>& to)
{
    to.RemoveAll();
    to.SetSize(from.GetSize());
    for (int i = 0; i < from.GetSize(); ++i) {
        to.ElementAt(i) = from.ElementAt(i);
        from.ElementAt(i) = nullptr;
    }
    from.RemoveAll();
}

// A relative name holding exactly one value with the given name; its text in `value`.
bool SingleValueNamed(const CRelativeDN& rdn, const char* name, CString& value)
{
    if (rdn.m_AttributeValues.GetSize() != 1)
        return false;
    const CAttributeValue* v = rdn.m_AttributeValues.GetAt(0);
    if (!v || v->m_strName != name)
        return false;
    value = v->m_strValue;
    return true;
}

}  // namespace

// ---- CAttributeValue --------------------------------------------------------------------

CAttributeValue::CAttributeValue() : m_nType(DNTypePrintableString)
{
}

CAttributeValue::CAttributeValue(DNAttrNameEnum type, const char* value) : m_nType(DNTypePrintableString)
{
    if (static_cast<int>(type) < 0 || static_cast<int>(type) >= AfxGetLenArrayOfDNAttrName())
        AfxThrowInvalidArgException();
    m_strName = szDNAttrName[type];
    m_strValue = value;
    if (type == DNEMailAddress) {
        m_strValue.MakeLower();
        m_nType = DNTypeIA5String;
    }
}

CAttributeValue::CAttributeValue(const CAttributeValue& other)
    : CObject(), m_strName(other.m_strName), m_strValue(other.m_strValue), m_nType(other.m_nType)
{
}

CAttributeValue& CAttributeValue::operator=(const CAttributeValue& other)
{
    m_strName = other.m_strName;
    m_strValue = other.m_strValue;
    m_nType = other.m_nType;
    return *this;
}

CAttributeValue::~CAttributeValue() = default;

CAttributeValue::operator CString() const
{
    return m_strName + ": " + m_strValue;
}

void CAttributeValue::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0) << m_strName << m_strValue << static_cast<BYTE>(m_nType);
        return;
    }
    BYTE version = 0;
    ar >> version;
    if (version != 0)
        ThrowGeneric(ar);
    CString name, value;
    BYTE type = 0;
    ar >> name >> value >> type;
    if (!AfxIsDNValueType(type))
        ThrowGeneric(ar);
    m_strName = name;
    m_strValue = value;
    m_nType = type;
}

int operator==(const CAttributeValue& a, const CAttributeValue& b)
{
    return a.m_strName == b.m_strName && a.m_strValue == b.m_strValue && a.m_nType == b.m_nType;
}

void DestructElements(CAttributeValue** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        delete elements[i];
        elements[i] = nullptr;
    }
}

void SerializeElements(CArchive& ar, CAttributeValue** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!elements[i]) {
            if (ar.IsStoring())
                CAttributeValue().Serialize(ar);  // an empty slot stores as an empty value
            else
                elements[i] = new CAttributeValue;
        }
        if (elements[i])
            elements[i]->Serialize(ar);
    }
}

// ---- CRelativeDN ------------------------------------------------------------------------

CRelativeDN::CRelativeDN() : m_strKind("Set")
{
}

CRelativeDN::CRelativeDN(const char* kind) : m_strKind(kind)
{
}

CRelativeDN::CRelativeDN(const CRelativeDN& other) : CObject()
{
    *this = other;
}

CRelativeDN& CRelativeDN::operator=(const CRelativeDN& other)
{
    if (this == &other)
        return *this;
    // Copy first, so a failure leaves this value as it was.
    CArray<CAttributeValue*, CAttributeValue*> copy;
    for (int i = 0; i < other.m_AttributeValues.GetSize(); ++i) {
        const CAttributeValue* v = other.m_AttributeValues.GetAt(i);
        std::unique_ptr<CAttributeValue> item(v ? new CAttributeValue(*v) : new CAttributeValue);
        copy.Add(item.get());
        item.release();
    }
    MovePointers(copy, m_AttributeValues);
    m_strKind = other.m_strKind;
    return *this;
}

CRelativeDN::~CRelativeDN() = default;

int CRelativeDN::Add(CAttributeValue* value)
{
    try {
        return m_AttributeValues.Add(value);
    } catch (...) {
        delete value;
        throw;
    }
}

int CRelativeDN::Find(DNAttrNameEnum type, CString& value) const
{
    if (static_cast<int>(type) < 0 || static_cast<int>(type) >= AfxGetLenArrayOfDNAttrName())
        return 0;
    const char* name = szDNAttrName[type];
    for (int i = 0; i < m_AttributeValues.GetSize(); ++i) {
        const CAttributeValue* v = m_AttributeValues.GetAt(i);
        if (v && v->m_strName == name) {
            value = v->m_strValue;
            return 1;
        }
    }
    return 0;
}

CRelativeDN::operator CString() const
{
    CString text;
    for (int i = 0; i < m_AttributeValues.GetSize(); ++i) {
        const CAttributeValue* v = m_AttributeValues.GetAt(i);
        if (v)
            text += static_cast<CString>(*v) + "\r\n";
    }
    return text;
}

void CRelativeDN::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0) << m_strKind;
        m_AttributeValues.Serialize(ar);
        return;
    }
    BYTE version = 0;
    ar >> version;
    if (version != 0)
        ThrowGeneric(ar);
    CString kind;
    ar >> kind;
    CArray<CAttributeValue*, CAttributeValue*> values;
    values.Serialize(ar);
    MovePointers(values, m_AttributeValues);
    m_strKind = kind;
}

int operator==(const CRelativeDN& a, const CRelativeDN& b)
{
    const int n = a.m_AttributeValues.GetSize();
    if (n != b.m_AttributeValues.GetSize())
        return 0;
    for (int i = 0; i < n; ++i) {
        const CAttributeValue* v = a.m_AttributeValues.GetAt(i);
        bool found = false;
        for (int j = 0; j < n && !found; ++j) {
            const CAttributeValue* w = b.m_AttributeValues.GetAt(j);
            found = (v && w) ? (*v == *w) != 0 : v == w;
        }
        if (!found)
            return 0;
    }
    return 1;
}

void DestructElements(CRelativeDN** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        delete elements[i];
        elements[i] = nullptr;
    }
}

void SerializeElements(CArchive& ar, CRelativeDN** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!elements[i]) {
            if (ar.IsStoring())
                CRelativeDN().Serialize(ar);
            else
                elements[i] = new CRelativeDN;
        }
        if (elements[i])
            elements[i]->Serialize(ar);
    }
}

// ---- CDistinguishedName -----------------------------------------------------------------

CDistinguishedName::CDistinguishedName(const char* eMail)
{
    if (!eMail)
        return;
    std::unique_ptr<CRelativeDN> locality(new CRelativeDN);
    locality->Add(new CAttributeValue(DNLocalityName, "Internet"));
    std::unique_ptr<CRelativeDN> address(new CRelativeDN);
    address->Add(new CAttributeValue(DNEMailAddress, eMail));
    Add(locality.get());
    locality.release();
    Add(address.get());
    address.release();
}

CDistinguishedName::CDistinguishedName(const CDistinguishedName& other) : CArray<CRelativeDN*, CRelativeDN*>()
{
    CopyFrom(other);
}

CDistinguishedName& CDistinguishedName::operator=(const CDistinguishedName& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

CDistinguishedName::~CDistinguishedName() = default;

void CDistinguishedName::CopyFrom(const CDistinguishedName& other)
{
    CArray<CRelativeDN*, CRelativeDN*> copy;
    for (int i = 0; i < other.GetSize(); ++i) {
        const CRelativeDN* rdn = other.GetAt(i);
        std::unique_ptr<CRelativeDN> item(rdn ? new CRelativeDN(*rdn) : new CRelativeDN);
        copy.Add(item.get());
        item.release();
    }
    MovePointers(copy, *this);
}

void CDistinguishedName::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        CArray<CRelativeDN*, CRelativeDN*>::Serialize(ar);
        return;
    }
    CDistinguishedName loaded;
    loaded.CArray<CRelativeDN*, CRelativeDN*>::Serialize(ar);
    MovePointers(loaded, *this);
}

int CDistinguishedName::Find(DNAttrNameEnum type, CString& value) const
{
    for (int i = 0; i < GetSize(); ++i) {
        const CRelativeDN* rdn = GetAt(i);
        if (rdn && rdn->Find(type, value))
            return 1;
    }
    return 0;
}

int CDistinguishedName::IsEmpty() const
{
    for (int i = 0; i < GetSize(); ++i) {
        const CRelativeDN* rdn = GetAt(i);
        if (rdn && rdn->m_AttributeValues.GetSize() > 0)
            return 0;
    }
    return 1;
}

CString CDistinguishedName::FirstAttribute() const
{
    for (int i = 0; i < GetSize(); ++i) {
        const CRelativeDN* rdn = GetAt(i);
        if (!rdn)
            continue;
        for (int j = 0; j < rdn->m_AttributeValues.GetSize(); ++j) {
            const CAttributeValue* v = rdn->m_AttributeValues.GetAt(j);
            if (v)
                return v->m_strValue;
        }
    }
    return "<Empty>";
}

CString CDistinguishedName::GetLabel() const
{
    CString value;
    for (DNAttrNameEnum type : kLabelOrder) {
        if (!Find(type, value))
            continue;
        CString unit;
        if (type == DNOrganizationName && Find(DNOrganizationalUnitName, unit))
            return value + ", " + unit;
        return value;
    }
    return FirstAttribute();
}

CString CDistinguishedName::GetLabel2() const
{
    CString first;
    bool haveFirst = false;
    CString value;
    for (DNAttrNameEnum type : kLabelOrder) {
        if (!Find(type, value))
            continue;
        if (haveFirst)
            return first + ", " + value;
        first = value;
        haveFirst = true;
    }
    return haveFirst ? first : FirstAttribute();
}

CDistinguishedName::operator CString() const
{
    CString text;
    for (int i = 0; i < GetSize(); ++i) {
        const CRelativeDN* rdn = GetAt(i);
        if (rdn)
            text += static_cast<CString>(*rdn);
    }
    return text;
}

namespace {

bool SameRelativeName(const CRelativeDN* a, const CRelativeDN* b)
{
    if (!a || !b)
        return a == b;
    return (*a == *b) != 0;
}

}  // namespace

int CDistinguishedName::IsSubordinateTo(const CDistinguishedName& superior) const
{
    if (superior.GetSize() > GetSize())
        return 0;
    for (int i = 0; i < superior.GetSize(); ++i)
        if (!SameRelativeName(superior.GetAt(i), GetAt(i)))
            return 0;
    return 1;
}

int CDistinguishedName::IsStronglySubordinateTo(const CDistinguishedName& superior) const
{
    return superior.GetSize() < GetSize() && IsSubordinateTo(superior);
}

int CDistinguishedName::IsVeriSignImage() const
{
    if (GetSize() != 2 || !GetAt(0) || !GetAt(1))
        return 0;
    CString text;
    if (!SingleValueNamed(*GetAt(0), szDNAttrName[DNLocalityName], text) || text != "Internet")
        return 0;
    return SingleValueNamed(*GetAt(1), szDNAttrName[DNEMailAddress], text) ? 1 : 0;
}

int CDistinguishedName::IsVeriSignResponse(const CDistinguishedName& request) const
{
    CString wanted;
    if (!request.Find(DNEMailAddress, wanted))
        return 0;
    if (GetSize() <= 1 || !GetAt(0) || !GetAt(1))
        return 0;
    CString text;
    if (!SingleValueNamed(*GetAt(0), szDNAttrName[DNLocalityName], text) || text != "Internet")
        return 0;
    return SingleValueNamed(*GetAt(1), szDNAttrName[DNEMailAddress], text) && text == wanted ? 1 : 0;
}

int CDistinguishedName::IsVeriSignRequestMatch() const
{
    CString text;
    return Find(DNEMailAddress, text);
}

int operator==(const CDistinguishedName& a, const CDistinguishedName& b)
{
    if (a.GetSize() != b.GetSize())
        return 0;
    for (int i = 0; i < a.GetSize(); ++i)
        if (!SameRelativeName(a.GetAt(i), b.GetAt(i)))
            return 0;
    return 1;
}

int __isTheSameOwner(const CDistinguishedName& a, const CDistinguishedName& b)
{
    if (a == b)
        return 1;
    CString first, second;
    return a.Find(DNEMailAddress, first) && b.Find(DNEMailAddress, second) && first == second ? 1 : 0;
}

void ConstructElements(CDistinguishedName* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CDistinguishedName();
}

void DestructElements(CDistinguishedName* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].~CDistinguishedName();
}

void SerializeElements(CArchive& ar, CDistinguishedName* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].Serialize(ar);
}
