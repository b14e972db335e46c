#include "sigilbox/pki/rdn_sequence.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/structure_view.h"

#include <memory>
#include <vector>

namespace {

// The identifier of each row of szDNAttrName.
CASN1_OBJECT_IDENTIFIER* NewAttributeType(int index)
{
    switch (index) {
    case DNCountryName: return new CASN1_CountryName;
    case DNStateOrProvinceName: return new CASN1_StateOrProvinceName;
    case DNLocalityName: return new CASN1_LocalityName;
    case DNCommonName: return new CASN1_CommonName;
    case DNTitle: return new CASN1_Title;
    case DNOrganizationName: return new CASN1_OrganizationName;
    case DNOrganizationalUnitName: return new CASN1_OrganizationalUnitName;
    case DNStreetAddress: return new CASN1_StreetAddress;
    case DNPostalCode: return new CASN1_PostalCode;
    case DNPhoneNumber: return new CASN1_PhoneNumber;
    case DNEMailAddress: return new CASN1_E_mail_Address;
    case DNSurname: return new CASN1_Surname;
    case DNCollectiveLocalityName: return new CASN1_CollectiveLocalityName;
    case DNCollectiveStateOrProvinceName: return new CASN1_CollectiveStateOrProvinceName;
    case DNCollectiveStreetAddress: return new CASN1_CollectiveStreetAddress;
    case DNCollectiveOrganizationName: return new CASN1_CollectiveOrganizationName;
    case DNCollectiveOrganizationalUnitName: return new CASN1_CollectiveOrganizationalUnitName;
    case DNPostalAddress: return new CASN1_PostalAddress;
    case DNCollectivePostalAddress: return new CASN1_CollectivePostalAddress;
    case DNCollectivePostalCode: return new CASN1_CollectivePostalCode;
    case DNPostOfficeBox: return new CASN1_PostOfficeBox;
    case DNCollectivePostOfficeBox: return new CASN1_CollectivePostOfficeBox;
    case DNPhysicalDeliveryOfficeName: return new CASN1_PhysicalDeliveryOfficeName;
    case DNCollectivePhysicalDeliveryOfficeName: return new CASN1_CollectivePhysicalDeliveryOfficeName;
    default: return nullptr;
    }
}

struct Deleter {
    void operator()(CASN1Type* p) const { delete p; }
};

// The 24 identifiers, made once.
const CASN1_OBJECT_IDENTIFIER& AttributeType(int index)
{
    static const auto table = [] {
        std::vector<std::unique_ptr<CASN1_OBJECT_IDENTIFIER, Deleter>> ids;
        for (int i = 0; i < AfxGetLenArrayOfDNAttrName(); ++i)
            ids.emplace_back(NewAttributeType(i));
        return ids;
    }();
    return *table[static_cast<size_t>(index)];
}

// A value object of the given string type holding the text, or null for another type.
CASN1Type* NewStringValue(unsigned char type, const CString& text)
{
    auto* data = reinterpret_cast<const unsigned char*>(text.c_str());
    auto length = static_cast<unsigned long>(text.GetLength());
    switch (type) {
    case DNTypeOctetString: return new CASN1_OCTET_STRING(data, length);
    case DNTypePrintableString: return new CASN1_PrintableString(data, length);
    case DNTypeT61String: return new CASN1_T61String(data, length);
    case DNTypeIA5String: return new CASN1_IA5String(data, length);
    default:
        // The string types the library has no class for travel as tagged values, so they are
        // written back under their own tag.
        if (AfxIsDNValueType(type))
            return new CASN1_TAGGED(type, data, length);
        return nullptr;
    }
}

}  // namespace

// ---- AttributeValueAssertion ------------------------------------------------------------

CASN1_AttributeValueAssertion::CASN1_AttributeValueAssertion() : CASN1_SEQUENCE(0)
{
}

CASN1_AttributeValueAssertion::CASN1_AttributeValueAssertion(const CASN1_OBJECT_IDENTIFIER& type, const CASN1Type& value)
    : CASN1_SEQUENCE(0)
{
    AddObject(type.Clone());
    AddObject(value.Clone());
}

CASN1_AttributeValueAssertion::CASN1_AttributeValueAssertion(const CAttributeValue& value) : CASN1_SEQUENCE(0)
{
    GetDataFrom(value);
}

CASN1_AttributeValueAssertion::~CASN1_AttributeValueAssertion() = default;

void CASN1_AttributeValueAssertion::GetDataFrom(const CAttributeValue& value)
{
    Clear();
    for (int i = 0; i < AfxGetLenArrayOfDNAttrName(); ++i) {
        if (value.m_strName != szDNAttrName[i])
            continue;
        AddObject(AttributeType(i).Clone());
        AddObject(NewStringValue(value.m_nType, value.m_strValue));
        return;
    }
}

void CASN1_AttributeValueAssertion::SetDataTo(CAttributeValue& value) const
{
    SetDataTo(*this, value);
}

void CASN1_AttributeValueAssertion::SetDataTo(const CASN1Type& assertion, CAttributeValue& value)
{
    auto* sequence = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&assertion);
    CString name = "Unknown";
    if (auto* id = dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(sequence, 0))) {
        for (int i = 0; i < AfxGetLenArrayOfDNAttrName(); ++i) {
            if (*id == AttributeType(i)) {
                name = szDNAttrName[i];
                break;
            }
        }
    }
    CString text;
    unsigned char type = DNTypePrintableString;
    if (auto* data = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(AfxChildAt(sequence, 1))) {
        text = CString(reinterpret_cast<const char*>(data->GetData()), data->GetDataSize());
        type = data->m_Tag;
    }
    value.m_strName = name;
    value.m_strValue = text;
    value.m_nType = type;
}

int CASN1_AttributeValueAssertion::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value || value->GetComponentsCount() != 2)
        return 0;
    if (!dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(value, 0)) || AfxChildTag(value, 0) != 0x06)
        return 0;
    return AfxIsDNValueType(AfxChildTag(value, 1)) ? 1 : 0;
}

// ---- RelativeDistinguishedName ----------------------------------------------------------

CASN1_RelativeDistinguishedName::CASN1_RelativeDistinguishedName()
{
}

CASN1_RelativeDistinguishedName::CASN1_RelativeDistinguishedName(const CRelativeDN& rdn)
{
    GetDataFrom(rdn);
}

CASN1_RelativeDistinguishedName::~CASN1_RelativeDistinguishedName() = default;

void CASN1_RelativeDistinguishedName::GetDataFrom(const CRelativeDN& rdn)
{
    Clear();
    for (int i = 0; i < rdn.m_AttributeValues.GetSize(); ++i) {
        const CAttributeValue* v = rdn.m_AttributeValues.GetAt(i);
        if (v)
            AddObject(new CASN1_AttributeValueAssertion(*v));
    }
}

void CASN1_RelativeDistinguishedName::SetDataTo(CRelativeDN& rdn) const
{
    SetDataTo(*this, rdn);
}

void CASN1_RelativeDistinguishedName::SetDataTo(const CASN1Type& set, CRelativeDN& rdn)
{
    CRelativeDN result(rdn.m_strKind);
    if (auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&set)) {
        for (int i = 0; i < value->GetComponentsCount(); ++i) {
            std::unique_ptr<CAttributeValue> item(new CAttributeValue);
            if (const CASN1Type* child = AfxChildAt(value, i))
                CASN1_AttributeValueAssertion::SetDataTo(*child, *item);
            result.Add(item.release());
        }
    }
    rdn = result;
}

int CASN1_RelativeDistinguishedName::IsValid(const CASN1Type* object)
{
    return AfxEveryChildValid(object, 0x11, [](const CASN1Type* item) { return CASN1_AttributeValueAssertion::IsValid(item); }) &&
           CASN1_SET::IsValid(object);
}

// ---- RDNSequence ------------------------------------------------------------------------

CASN1_RDNSequence::CASN1_RDNSequence() : CASN1_SEQUENCE(0)
{
}

CASN1_RDNSequence::CASN1_RDNSequence(const CDistinguishedName& name) : CASN1_SEQUENCE(0)
{
    GetDataFrom(name);
}

CASN1_RDNSequence::CASN1_RDNSequence(CDEREncoding& encoding) : CASN1_SEQUENCE(0)
{
    DecodeFrom(encoding);
    if (!IsValid(this)) {
        Clear();
        AfxThrowDERDecodingException("RDNSequence contents is not valid");
    }
}

CASN1_RDNSequence::~CASN1_RDNSequence() = default;

void CASN1_RDNSequence::GetDataFrom(const CDistinguishedName& name)
{
    Clear();
    for (int i = 0; i < name.GetSize(); ++i) {
        const CRelativeDN* rdn = name.GetAt(i);
        AddObject(rdn ? new CASN1_RelativeDistinguishedName(*rdn) : new CASN1_RelativeDistinguishedName);
    }
}

void CASN1_RDNSequence::SetDataTo(CDistinguishedName& name) const
{
    SetDataTo(*this, name);
}

void CASN1_RDNSequence::SetDataTo(const CASN1Type& sequence, CDistinguishedName& name)
{
    CDistinguishedName result;
    if (auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&sequence)) {
        for (int i = 0; i < value->GetComponentsCount(); ++i) {
            std::unique_ptr<CRelativeDN> rdn(new CRelativeDN("Set"));
            if (const CASN1Type* child = AfxChildAt(value, i))
                CASN1_RelativeDistinguishedName::SetDataTo(*child, *rdn);
            result.Add(rdn.get());
            rdn.release();
        }
    }
    name = result;
}

CASN1_RDNSequence::operator CDistinguishedName() const
{
    CDistinguishedName name;
    SetDataTo(name);
    return name;
}

int CASN1_RDNSequence::IsValid(const CASN1Type* object)
{
    return AfxEveryChildValid(object, 0x10, [](const CASN1Type* rdn) { return CASN1_RelativeDistinguishedName::IsValid(rdn); });
}
