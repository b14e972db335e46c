// The key-file entry (an RSA key with its display name, its certificates and an optional
// owner name) and the sequence of entries that forms the content of the user's key file.
//   RSAKeyWithCertsAndDistinguishedName ::= SEQUENCE { version INTEGER (0),
//       key RSAPublicKey or RSAPrivateKey, name OCTET STRING,
//       certificates SEQUENCE OF Certificate, distinguishedName RDNSequence OPTIONAL }
//   KCDNs ::= SEQUENCE OF RSAKeyWithCertsAndDistinguishedName
#pragma once

#include "framework/cstring.h"
#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/distinguished_name.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CASN1_RSAKeyWithCertsAndDistinguishedName : public CASN1_SEQUENCE {
public:
    // Empty (a decode target).
    CASN1_RSAKeyWithCertsAndDistinguishedName();
    // Version 0, the key, the name's characters, no certificates, and the owner's name when
    // `owner` is not null.
    CASN1_RSAKeyWithCertsAndDistinguishedName(const CRSAPublicKey& key, const CString& name,
                                              const CDistinguishedName* owner);
    CASN1_RSAKeyWithCertsAndDistinguishedName(const CRSAPrivateKey& key, const CString& name,
                                              const CDistinguishedName* owner);
    CASN1_RSAKeyWithCertsAndDistinguishedName(const CASN1_RSAKeyWithCertsAndDistinguishedName& other) = default;
    CASN1_RSAKeyWithCertsAndDistinguishedName& operator=(const CASN1_RSAKeyWithCertsAndDistinguishedName& other) = default;
    ~CASN1_RSAKeyWithCertsAndDistinguishedName() override;

    // Appends the certificate (adopted) to the certificates.
    void AddCertificate(CASN1_Certificate* certificate);
    // The key is a valid private key.
    int IsPrivateKey() const;
    // The entry carries an owner name.
    int IsDistinguishedName() const;
    // The public key; of an entry holding a private key, its public part. Raises
    // CDERDecodingException* when the numbers do not fit the key.
    void GetPublicKey(CRSAPublicKey& key) const;
    // The private key; raises CDERDecodingException* for an entry that holds none.
    void GetPrivateKey(CRSAPrivateKey& key) const;
    // The name octets as a string, ending at the first zero octet.
    CString GetName() const;
    // The owner's name (entries where IsDistinguishedName()).
    void GetDistinguishedName(CDistinguishedName& owner) const;
    const CASN1_SEQUENCE& GetCertificates() const;
    CASN1_SEQUENCE& GetCertificates();

    // Tag 0x10; four or five children: version 0, a valid public or private key, a name of at
    // least one octet, a SEQUENCE of valid certificates, and a valid RDNSequence if any.
    // Never raises.
    static int IsValid(const CASN1Type* object);
};

class SIGILBOX_API CASN1_KCDNs : public CASN1_SEQUENCE {
public:
    // Empty, definite length; entries are appended with AddObject (adopted).
    CASN1_KCDNs();
    // Decodes; a value of another shape is cleared and raises "CASN1_KCDNs contents is not
    // valid".
    explicit CASN1_KCDNs(CDEREncoding& encoding);
    CASN1_KCDNs(const CASN1_KCDNs& other) = default;
    CASN1_KCDNs& operator=(const CASN1_KCDNs& other) = default;
    ~CASN1_KCDNs() override;

    int GetEntriesCount() const { return GetComponentsCount(); }
    // Entry `index` (0 to GetEntriesCount() - 1) as an entry object.
    CASN1_RSAKeyWithCertsAndDistinguishedName& GetEntry(int index);

    // Tag 0x10 and every child a valid entry (an empty sequence is valid). Never raises.
    static int IsValid(const CASN1Type* object);
};
