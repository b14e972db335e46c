// ContentInfo, IssuerAndSerialNumber and Attribute.
#include "sigilbox/pki/pkcs7.h"

#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/structure_view.h"

// ---- ContentInfo ------------------------------------------------------------------------

CASN1_ContentInfo::CASN1_ContentInfo() : CASN1_SEQUENCE(0)
{
}

CASN1_ContentInfo::CASN1_ContentInfo(const CASN1_OBJECT_IDENTIFIER& type, const CASN1Type* content)
    : CASN1_SEQUENCE(1)
{
    AddObject(type.Clone());
    if (content) {
        auto* tagged = new CASN1_TAGGED(0x80, 0, 0);
        AddObject(tagged);
        tagged->BuildExplicit(*content);
    }
}

CASN1_ContentInfo::CASN1_ContentInfo(CDEREncoding& encoding) : CASN1_SEQUENCE(0)
{
    DecodeFrom(encoding);
    if (!IsValid(this)) {
        Clear();
        AfxThrowDERDecodingException("ContentInfo contents is not valid");
    }
}

CASN1_ContentInfo::~CASN1_ContentInfo() = default;

int CASN1_ContentInfo::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count < 1 || count > 2)
        return 0;
    if (AfxChildTag(value, 0) != 0x06 || !dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(value, 0)))
        return 0;
    return count == 1 || (AfxChildTag(value, 1) == 0x80 && dynamic_cast<const CASN1_TAGGED*>(AfxChildAt(value, 1)));
}

int CASN1_ContentInfo::IsContent() const
{
    return GetComponentsCount() == 2;
}

CASN1_OBJECT_IDENTIFIER& CASN1_ContentInfo::GetContentType()
{
    return AfxChildAs<CASN1_OBJECT_IDENTIFIER>(*this, 0);
}

CASN1_TAGGED& CASN1_ContentInfo::GetContent()
{
    return AfxChildAs<CASN1_TAGGED>(*this, 1);
}

void CASN1_ContentInfo::ReleaseContent()
{
    if (GetComponentsCount() >= 2)
        m_Components.RemoveAt(1);
}

void CASN1_ContentInfo::DeleteContent()
{
    ReleaseContent();
}

// ---- IssuerAndSerialNumber --------------------------------------------------------------

CASN1_IssuerAndSerialNumber::CASN1_IssuerAndSerialNumber() : CASN1_SEQUENCE(0)
{
}

CASN1_IssuerAndSerialNumber::CASN1_IssuerAndSerialNumber(const CASN1_RDNSequence& issuer,
                                                         const CASN1_INTEGER& serialNumber)
    : CASN1_SEQUENCE(0)
{
    AddObject(issuer.Clone());
    AddObject(serialNumber.Clone());
}

CASN1_IssuerAndSerialNumber::CASN1_IssuerAndSerialNumber(const CCertificate& certificate) : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_RDNSequence(certificate.m_Issuer));
    static const unsigned char zero = 0;
    const CSerialNumber& serial = certificate.m_SerialNumber;
    const int size = serial.GetSize();
    // Only the last 256 octets of a magnitude count.
    const int used = size > 256 ? 256 : size;
    if (used == 0)
        AddObject(new CASN1_INTEGER(&zero, 1));
    else
        AddObject(new CASN1_INTEGER(serial.GetData() + (size - used), static_cast<unsigned short>(used)));
}

CASN1_IssuerAndSerialNumber::~CASN1_IssuerAndSerialNumber() = default;

int CASN1_IssuerAndSerialNumber::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 2 && CASN1_RDNSequence::IsValid(AfxChildAt(value, 0)) &&
           AfxChildTag(value, 1) == 0x02 && dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(value, 1));
}

CASN1_RDNSequence& CASN1_IssuerAndSerialNumber::GetIssuer()
{
    return AfxStructureAt<CASN1_RDNSequence>(*this, 0);
}

CASN1_INTEGER& CASN1_IssuerAndSerialNumber::GetSerialNumber()
{
    return AfxChildAs<CASN1_INTEGER>(*this, 1);
}

// ---- Attribute --------------------------------------------------------------------------

CASN1_Attribute::CASN1_Attribute() : CASN1_SEQUENCE(0)
{
}

CASN1_Attribute::CASN1_Attribute(const CASN1_OBJECT_IDENTIFIER& type, const CASN1_SET& values) : CASN1_SEQUENCE(0)
{
    AddObject(type.Clone());
    AddObject(values.Clone());
}

CASN1_Attribute::~CASN1_Attribute() = default;

int CASN1_Attribute::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 2 && AfxChildTag(value, 0) == 0x06 &&
           dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(value, 0)) && AfxChildTag(value, 1) == 0x11 &&
           dynamic_cast<const CASN1_SET*>(AfxChildAt(value, 1));
}

CASN1_OBJECT_IDENTIFIER& CASN1_Attribute::GetID()
{
    return AfxChildAs<CASN1_OBJECT_IDENTIFIER>(*this, 0);
}

CASN1_SET& CASN1_Attribute::GetValues()
{
    return AfxChildAs<CASN1_SET>(*this, 1);
}
