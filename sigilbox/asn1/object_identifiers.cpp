#include "sigilbox/asn1/object_identifiers.h"

#include <initializer_list>

namespace {

void AddArcs(CASN1_OBJECT_IDENTIFIER& id, std::initializer_list<unsigned long> arcs)
{
    for (unsigned long arc : arcs)
        id.AddIDComponent(arc);
}

}  // namespace

// Constructor from arcs, and the copy members, which keep the value as it is.
#define SIGILBOX_OID_IMPL(Class, Base, init, ...)                       \
    Class::Class() : Base init                                          \
    {                                                                   \
        AddArcs(*this, {__VA_ARGS__});                                  \
    }                                                                   \
    Class::Class(const Class& other) : Base(other) {}                   \
    Class& Class::operator=(const Class& other)                         \
    {                                                                   \
        Base::operator=(other);                                         \
        return *this;                                                   \
    }                                                                   \
    Class::~Class() = default;

#define FROM_SCRATCH(first, second) (first, second)
#define FROM_ARC ()

SIGILBOX_OID_IMPL(CASN1_pkcs_1, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 1)
SIGILBOX_OID_IMPL(CASN1_pkcs_5, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 5)
SIGILBOX_OID_IMPL(CASN1_pkcs_7, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 7)
SIGILBOX_OID_IMPL(CASN1_pkcs_9, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 9)
SIGILBOX_OID_IMPL(CASN1_AttributeType, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(2, 5), 4)

SIGILBOX_OID_IMPL(CASN1_md2, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 2, 2)
SIGILBOX_OID_IMPL(CASN1_md5, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 2, 5)
SIGILBOX_OID_IMPL(CASN1_sha1, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 3), 14, 3, 2, 26)
SIGILBOX_OID_IMPL(CASN1_rsa, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(2, 5), 8, 1, 1)
SIGILBOX_OID_IMPL(CASN1_rsaEncryption, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 1, 1)
SIGILBOX_OID_IMPL(CASN1_md2WithRSAEncryption, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 1, 2)
SIGILBOX_OID_IMPL(CASN1_md5WithRSAEncryption, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 1, 4)
SIGILBOX_OID_IMPL(CASN1_sha1WithRSAEncryption, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 1, 5)
SIGILBOX_OID_IMPL(CASN1_pbeWithMD2AndDES_CBC, CASN1_pkcs_5, FROM_ARC, 1)
SIGILBOX_OID_IMPL(CASN1_pbeWithMD5AndDES_CBC, CASN1_pkcs_5, FROM_ARC, 3)

SIGILBOX_OID_IMPL(CASN1_RC2_CBC, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 3, 2)
SIGILBOX_OID_IMPL(CASN1_DES_CBC, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 3), 14, 3, 2, 7)
SIGILBOX_OID_IMPL(CASN1_DES_EDE3_CBC, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 3, 7)

SIGILBOX_OID_IMPL(CASN1_data, CASN1_pkcs_7, FROM_ARC, 1)
SIGILBOX_OID_IMPL(CASN1_signedData, CASN1_pkcs_7, FROM_ARC, 2)
SIGILBOX_OID_IMPL(CASN1_envelopedData, CASN1_pkcs_7, FROM_ARC, 3)
SIGILBOX_OID_IMPL(CASN1_signedAndEnvelopedData, CASN1_pkcs_7, FROM_ARC, 4)
SIGILBOX_OID_IMPL(CASN1_digestedData, CASN1_pkcs_7, FROM_ARC, 5)
SIGILBOX_OID_IMPL(CASN1_encryptedData, CASN1_pkcs_7, FROM_ARC, 6)

SIGILBOX_OID_IMPL(CASN1_E_mail_Address, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 9, 1)
SIGILBOX_OID_IMPL(CASN1_UnstructuredName, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 9, 2)
SIGILBOX_OID_IMPL(CASN1_contentType, CASN1_pkcs_9, FROM_ARC, 3)
SIGILBOX_OID_IMPL(CASN1_messageDigest, CASN1_pkcs_9, FROM_ARC, 4)
SIGILBOX_OID_IMPL(CASN1_signingTime, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 9, 5)
SIGILBOX_OID_IMPL(CASN1_ChallengePassword, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 9, 7)
SIGILBOX_OID_IMPL(CASN1_signingDescription, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(1, 2), 840, 113549, 1, 9, 13)

SIGILBOX_OID_IMPL(CASN1_CommonName, CASN1_AttributeType, FROM_ARC, 3)
SIGILBOX_OID_IMPL(CASN1_Surname, CASN1_AttributeType, FROM_ARC, 4)
SIGILBOX_OID_IMPL(CASN1_CountryName, CASN1_AttributeType, FROM_ARC, 6)
SIGILBOX_OID_IMPL(CASN1_LocalityName, CASN1_AttributeType, FROM_ARC, 7)
SIGILBOX_OID_IMPL(CASN1_CollectiveLocalityName, CASN1_AttributeType, FROM_ARC, 7, 1)
SIGILBOX_OID_IMPL(CASN1_StateOrProvinceName, CASN1_AttributeType, FROM_ARC, 8)
SIGILBOX_OID_IMPL(CASN1_CollectiveStateOrProvinceName, CASN1_AttributeType, FROM_ARC, 8, 1)
SIGILBOX_OID_IMPL(CASN1_StreetAddress, CASN1_AttributeType, FROM_ARC, 9)
SIGILBOX_OID_IMPL(CASN1_CollectiveStreetAddress, CASN1_AttributeType, FROM_ARC, 9, 1)
SIGILBOX_OID_IMPL(CASN1_OrganizationName, CASN1_AttributeType, FROM_ARC, 10)
SIGILBOX_OID_IMPL(CASN1_CollectiveOrganizationName, CASN1_AttributeType, FROM_ARC, 10, 1)
SIGILBOX_OID_IMPL(CASN1_OrganizationalUnitName, CASN1_AttributeType, FROM_ARC, 11)
SIGILBOX_OID_IMPL(CASN1_CollectiveOrganizationalUnitName, CASN1_AttributeType, FROM_ARC, 11, 1)
SIGILBOX_OID_IMPL(CASN1_Title, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(2, 5), 4, 12)
SIGILBOX_OID_IMPL(CASN1_PostalAddress, CASN1_AttributeType, FROM_ARC, 16)
SIGILBOX_OID_IMPL(CASN1_CollectivePostalAddress, CASN1_AttributeType, FROM_ARC, 16, 1)
SIGILBOX_OID_IMPL(CASN1_PostalCode, CASN1_AttributeType, FROM_ARC, 17)
SIGILBOX_OID_IMPL(CASN1_CollectivePostalCode, CASN1_AttributeType, FROM_ARC, 17, 1)
SIGILBOX_OID_IMPL(CASN1_PostOfficeBox, CASN1_AttributeType, FROM_ARC, 18)
SIGILBOX_OID_IMPL(CASN1_CollectivePostOfficeBox, CASN1_AttributeType, FROM_ARC, 18, 1)
SIGILBOX_OID_IMPL(CASN1_PhysicalDeliveryOfficeName, CASN1_AttributeType, FROM_ARC, 19)
SIGILBOX_OID_IMPL(CASN1_CollectivePhysicalDeliveryOfficeName, CASN1_AttributeType, FROM_ARC, 19, 1)
SIGILBOX_OID_IMPL(CASN1_PhoneNumber, CASN1_OBJECT_IDENTIFIER, FROM_SCRATCH(2, 5), 4, 20)

#undef FROM_ARC
#undef FROM_SCRATCH
#undef SIGILBOX_OID_IMPL
