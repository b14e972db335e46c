// Every object identifier the library knows, as a class whose default constructor builds
// it. Recognition is by value (operator==): a decoded or cloned identifier is always a
// plain CASN1_OBJECT_IDENTIFIER.
#pragma once

#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/sigilbox_export.h"

#define SIGILBOX_OID_CLASS(Class, Base)                 \
    class SIGILBOX_API Class : public Base {            \
    public:                                             \
        Class();                                        \
        Class(const Class& other) = default;            \
        Class& operator=(const Class& other) = default; \
        ~Class() override;                              \
    };

// Arc classes.
SIGILBOX_OID_CLASS(CASN1_pkcs_1, CASN1_OBJECT_IDENTIFIER)          // 1.2.840.113549.1.1
SIGILBOX_OID_CLASS(CASN1_pkcs_5, CASN1_OBJECT_IDENTIFIER)          // 1.2.840.113549.1.5
SIGILBOX_OID_CLASS(CASN1_pkcs_7, CASN1_OBJECT_IDENTIFIER)          // 1.2.840.113549.1.7
SIGILBOX_OID_CLASS(CASN1_pkcs_9, CASN1_OBJECT_IDENTIFIER)          // 1.2.840.113549.1.9
SIGILBOX_OID_CLASS(CASN1_AttributeType, CASN1_OBJECT_IDENTIFIER)   // 2.5.4

// Digest and signature algorithms.
SIGILBOX_OID_CLASS(CASN1_md2, CASN1_OBJECT_IDENTIFIER)                    // 1.2.840.113549.2.2
SIGILBOX_OID_CLASS(CASN1_md5, CASN1_OBJECT_IDENTIFIER)                    // 1.2.840.113549.2.5
SIGILBOX_OID_CLASS(CASN1_sha1, CASN1_OBJECT_IDENTIFIER)                   // 1.3.14.3.2.26
SIGILBOX_OID_CLASS(CASN1_rsa, CASN1_OBJECT_IDENTIFIER)                    // 2.5.8.1.1
SIGILBOX_OID_CLASS(CASN1_rsaEncryption, CASN1_OBJECT_IDENTIFIER)          // 1.2.840.113549.1.1.1
SIGILBOX_OID_CLASS(CASN1_md2WithRSAEncryption, CASN1_OBJECT_IDENTIFIER)   // 1.2.840.113549.1.1.2
SIGILBOX_OID_CLASS(CASN1_md5WithRSAEncryption, CASN1_OBJECT_IDENTIFIER)   // 1.2.840.113549.1.1.4
SIGILBOX_OID_CLASS(CASN1_sha1WithRSAEncryption, CASN1_OBJECT_IDENTIFIER)  // 1.2.840.113549.1.1.5
SIGILBOX_OID_CLASS(CASN1_pbeWithMD2AndDES_CBC, CASN1_pkcs_5)              // 1.2.840.113549.1.5.1
SIGILBOX_OID_CLASS(CASN1_pbeWithMD5AndDES_CBC, CASN1_pkcs_5)              // 1.2.840.113549.1.5.3

// Content encryption algorithms.
SIGILBOX_OID_CLASS(CASN1_RC2_CBC, CASN1_OBJECT_IDENTIFIER)       // 1.2.840.113549.3.2
SIGILBOX_OID_CLASS(CASN1_DES_CBC, CASN1_OBJECT_IDENTIFIER)       // 1.3.14.3.2.7
SIGILBOX_OID_CLASS(CASN1_DES_EDE3_CBC, CASN1_OBJECT_IDENTIFIER)  // 1.2.840.113549.3.7

// PKCS #7 content types.
SIGILBOX_OID_CLASS(CASN1_data, CASN1_pkcs_7)                     // .1
SIGILBOX_OID_CLASS(CASN1_signedData, CASN1_pkcs_7)               // .2
SIGILBOX_OID_CLASS(CASN1_envelopedData, CASN1_pkcs_7)            // .3
SIGILBOX_OID_CLASS(CASN1_signedAndEnvelopedData, CASN1_pkcs_7)   // .4
SIGILBOX_OID_CLASS(CASN1_digestedData, CASN1_pkcs_7)             // .5
SIGILBOX_OID_CLASS(CASN1_encryptedData, CASN1_pkcs_7)            // .6

// PKCS #9 attribute types.
SIGILBOX_OID_CLASS(CASN1_E_mail_Address, CASN1_OBJECT_IDENTIFIER)       // 1.2.840.113549.1.9.1
SIGILBOX_OID_CLASS(CASN1_UnstructuredName, CASN1_OBJECT_IDENTIFIER)     // 1.2.840.113549.1.9.2
SIGILBOX_OID_CLASS(CASN1_contentType, CASN1_pkcs_9)                     // 1.2.840.113549.1.9.3
SIGILBOX_OID_CLASS(CASN1_messageDigest, CASN1_pkcs_9)                   // 1.2.840.113549.1.9.4
SIGILBOX_OID_CLASS(CASN1_signingTime, CASN1_OBJECT_IDENTIFIER)          // 1.2.840.113549.1.9.5
SIGILBOX_OID_CLASS(CASN1_ChallengePassword, CASN1_OBJECT_IDENTIFIER)    // 1.2.840.113549.1.9.7
SIGILBOX_OID_CLASS(CASN1_signingDescription, CASN1_OBJECT_IDENTIFIER)   // 1.2.840.113549.1.9.13

// X.520 attribute types of names.
SIGILBOX_OID_CLASS(CASN1_CommonName, CASN1_AttributeType)                            // 2.5.4.3
SIGILBOX_OID_CLASS(CASN1_Surname, CASN1_AttributeType)                               // 2.5.4.4
SIGILBOX_OID_CLASS(CASN1_CountryName, CASN1_AttributeType)                           // 2.5.4.6
SIGILBOX_OID_CLASS(CASN1_LocalityName, CASN1_AttributeType)                          // 2.5.4.7
SIGILBOX_OID_CLASS(CASN1_CollectiveLocalityName, CASN1_AttributeType)                // 2.5.4.7.1
SIGILBOX_OID_CLASS(CASN1_StateOrProvinceName, CASN1_AttributeType)                   // 2.5.4.8
SIGILBOX_OID_CLASS(CASN1_CollectiveStateOrProvinceName, CASN1_AttributeType)         // 2.5.4.8.1
SIGILBOX_OID_CLASS(CASN1_StreetAddress, CASN1_AttributeType)                         // 2.5.4.9
SIGILBOX_OID_CLASS(CASN1_CollectiveStreetAddress, CASN1_AttributeType)               // 2.5.4.9.1
SIGILBOX_OID_CLASS(CASN1_OrganizationName, CASN1_AttributeType)                      // 2.5.4.10
SIGILBOX_OID_CLASS(CASN1_CollectiveOrganizationName, CASN1_AttributeType)            // 2.5.4.10.1
SIGILBOX_OID_CLASS(CASN1_OrganizationalUnitName, CASN1_AttributeType)                // 2.5.4.11
SIGILBOX_OID_CLASS(CASN1_CollectiveOrganizationalUnitName, CASN1_AttributeType)      // 2.5.4.11.1
SIGILBOX_OID_CLASS(CASN1_Title, CASN1_OBJECT_IDENTIFIER)                             // 2.5.4.12
SIGILBOX_OID_CLASS(CASN1_PostalAddress, CASN1_AttributeType)                         // 2.5.4.16
SIGILBOX_OID_CLASS(CASN1_CollectivePostalAddress, CASN1_AttributeType)               // 2.5.4.16.1
SIGILBOX_OID_CLASS(CASN1_PostalCode, CASN1_AttributeType)                            // 2.5.4.17
SIGILBOX_OID_CLASS(CASN1_CollectivePostalCode, CASN1_AttributeType)                  // 2.5.4.17.1
SIGILBOX_OID_CLASS(CASN1_PostOfficeBox, CASN1_AttributeType)                         // 2.5.4.18
SIGILBOX_OID_CLASS(CASN1_CollectivePostOfficeBox, CASN1_AttributeType)               // 2.5.4.18.1
SIGILBOX_OID_CLASS(CASN1_PhysicalDeliveryOfficeName, CASN1_AttributeType)            // 2.5.4.19
SIGILBOX_OID_CLASS(CASN1_CollectivePhysicalDeliveryOfficeName, CASN1_AttributeType)  // 2.5.4.19.1
SIGILBOX_OID_CLASS(CASN1_PhoneNumber, CASN1_OBJECT_IDENTIFIER)                       // 2.5.4.20

#undef SIGILBOX_OID_CLASS
