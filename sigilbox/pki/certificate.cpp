#include "sigilbox/pki/certificate.h"

#include "framework/exceptions.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/signature_support.h"

#include <cstring>
#include <memory>

IMPLEMENT_SERIAL(CCertificate, CObject, 0)
IMPLEMENT_SERIAL(CCRLEntry, CObject, 0)
IMPLEMENT_SERIAL(CCertificateRevocationList, CObject, 0)

using sigilbox_pki::SignedFields;

namespace {

constexpr int kField = CCertificate::FieldSize;

void ThrowGeneric(CArchive& ar)
{
    AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
}

void ReadBytes(CArchive& ar, BYTE* out, UINT count)
{
    if (ar.Read(out, count) != count)
        AfxThrowArchiveException(CArchiveException::endOfFile, ar.m_strFileName);
}

// The format octet of certificates and lists: 1 is written, 0 and 1 are read.
BYTE ReadFormat(CArchive& ar)
{
    BYTE format = 0;
    ar >> format;
    if (format > 1)
        ThrowGeneric(ar);
    return format;
}

int ReadAlgorithm(CArchive& ar)
{
    WORD algorithm = 0;
    ar >> algorithm;
    if (algorithm > 2)
        ThrowGeneric(ar);
    return algorithm;
}

// A digest flag and, when it is set, the digest.
void StoreDigest(CArchive& ar, int known, const BYTE* digest, UINT length)
{
    ar << static_cast<WORD>(known ? 1 : 0);
    if (known)
        ar.Write(digest, length);
}

void LoadDigest(CArchive& ar, int& known, BYTE* digest, UINT length)
{
    WORD flag = 0;
    ar >> flag;
    known = flag != 0;
    if (known)
        ReadBytes(ar, digest, length);
}

CString AlgorithmName(int algorithm)
{
    switch (algorithm) {
    case SignatureMD2WithRSA: return "MD2 With RSA Encryption";
    case SignatureMD5WithRSA: return "MD5 With RSA Encryption";
    case SignatureSHA1WithRSA: return "SHA1 With RSA Encryption";
    default: return "<<< BAD!!! >>>";
    }
}

}  // namespace

// ---- CCertificate -----------------------------------------------------------------------

CCertificate::CCertificate()
    : m_nVersion(0),
      m_nSignatureAlgorithm(SignatureSHA1WithRSA),
      m_nModulusBits(0),
      m_nSignatureBits(0),
      m_bMDDigestKnown(0),
      m_bSHA1DigestKnown(0)
{
    std::memset(m_PublicExponent, 0, sizeof m_PublicExponent);
    std::memset(m_Modulus, 0, sizeof m_Modulus);
    std::memset(m_Signature, 0, sizeof m_Signature);
    std::memset(m_MDDigest, 0, sizeof m_MDDigest);
    std::memset(m_SHA1Digest, 0, sizeof m_SHA1Digest);
}

CCertificate::CCertificate(const CCertificate& other) : CObject()
{
    CopyFrom(other);
}

CCertificate& CCertificate::operator=(const CCertificate& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

CCertificate::~CCertificate() = default;

void CCertificate::CopyFrom(const CCertificate& other)
{
    // The members that can fail (they allocate) go first.
    m_SerialNumber = other.m_SerialNumber;
    m_Issuer = other.m_Issuer;
    m_Subject = other.m_Subject;
    m_nVersion = other.m_nVersion;
    m_nSignatureAlgorithm = other.m_nSignatureAlgorithm;
    m_NotBefore = other.m_NotBefore;
    m_NotAfter = other.m_NotAfter;
    m_nModulusBits = other.m_nModulusBits;
    std::memcpy(m_PublicExponent, other.m_PublicExponent, sizeof m_PublicExponent);
    std::memcpy(m_Modulus, other.m_Modulus, sizeof m_Modulus);
    std::memcpy(m_Signature, other.m_Signature, sizeof m_Signature);
    m_nSignatureBits = other.m_nSignatureBits;
    std::memcpy(m_MDDigest, other.m_MDDigest, sizeof m_MDDigest);
    m_bMDDigestKnown = other.m_bMDDigestKnown;
    std::memcpy(m_SHA1Digest, other.m_SHA1Digest, sizeof m_SHA1Digest);
    m_bSHA1DigestKnown = other.m_bSHA1DigestKnown;
}

void CCertificate::Done()
{
    m_SerialNumber.RemoveAll();
    m_Issuer.RemoveAll();
    m_Subject.RemoveAll();
    m_bMDDigestKnown = 0;
    m_bSHA1DigestKnown = 0;
}

void CCertificate::SetDataTo(CRSAPublicKey& key) const
{
    key.m_nModulusBits = m_nModulusBits;
    std::memcpy(key.m_Modulus, m_Modulus, kField);
    std::memcpy(key.m_PublicExponent, m_PublicExponent, kField);
}

void CCertificate::GetDataFrom(const CRSAPublicKey& key)
{
    m_nModulusBits = key.m_nModulusBits;
    std::memcpy(m_Modulus, key.m_Modulus, kField);
    std::memcpy(m_PublicExponent, key.m_PublicExponent, kField);
    m_bMDDigestKnown = 0;
    m_bSHA1DigestKnown = 0;
}

void CCertificate::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(1) << m_nVersion << static_cast<WORD>(m_nSignatureAlgorithm) << m_nModulusBits
           << m_nSignatureBits;
        ar.Write(m_PublicExponent, kField);
        ar.Write(m_Modulus, kField);
        ar.Write(m_Signature, kField);
        StoreDigest(ar, m_bMDDigestKnown, m_MDDigest, sizeof m_MDDigest);
        StoreDigest(ar, m_bSHA1DigestKnown, m_SHA1Digest, sizeof m_SHA1Digest);
        m_SerialNumber.Serialize(ar);
        m_Issuer.Serialize(ar);
        m_NotBefore.Serialize(ar);
        m_NotAfter.Serialize(ar);
        m_Subject.Serialize(ar);
        return;
    }
    // Everything is read into a new object first: a failure leaves this one as it was.
    CCertificate loaded;
    const BYTE format = ReadFormat(ar);
    ar >> loaded.m_nVersion;
    loaded.m_nSignatureAlgorithm = ReadAlgorithm(ar);
    ar >> loaded.m_nModulusBits >> loaded.m_nSignatureBits;
    ReadBytes(ar, loaded.m_PublicExponent, kField);
    ReadBytes(ar, loaded.m_Modulus, kField);
    ReadBytes(ar, loaded.m_Signature, kField);
    LoadDigest(ar, loaded.m_bMDDigestKnown, loaded.m_MDDigest, sizeof loaded.m_MDDigest);
    if (format >= 1)
        LoadDigest(ar, loaded.m_bSHA1DigestKnown, loaded.m_SHA1Digest, sizeof loaded.m_SHA1Digest);
    else
        loaded.m_bSHA1DigestKnown = 0;
    loaded.m_SerialNumber.Serialize(ar);
    loaded.m_Issuer.Serialize(ar);
    loaded.m_NotBefore.Serialize(ar);
    loaded.m_NotAfter.Serialize(ar);
    loaded.m_Subject.Serialize(ar);
    *this = loaded;
}

int CCertificate::IsPresentInCRL(const CCertificateRevocationList& crl) const
{
    if (!(crl.m_Issuer == m_Issuer))
        return 0;
    for (int i = crl.m_Entries.GetSize() - 1; i >= 0; --i) {
        const CCRLEntry* entry = crl.m_Entries.GetAt(i);
        if (entry && entry->m_SerialNumber == m_SerialNumber)
            return 1;
    }
    return 0;
}

int CCertificate::IsSelfSigned() const
{
    return m_Issuer == m_Subject;
}

void CCertificate::SignWith(CRSAPrivateKey& key)
{
    SignedFields fields{m_nSignatureAlgorithm, m_Signature, m_nSignatureBits, m_MDDigest,
                        m_bMDDigestKnown,      m_SHA1Digest, m_bSHA1DigestKnown};
    sigilbox_pki::SignFields(fields, key, [this] { return new CASN1_CertificateData(*this); });
}

int CCertificate::IsSignatureOKFor(const CRSAPublicKey& key)
{
    SignedFields fields{m_nSignatureAlgorithm, m_Signature, m_nSignatureBits, m_MDDigest,
                        m_bMDDigestKnown,      m_SHA1Digest, m_bSHA1DigestKnown};
    return sigilbox_pki::CheckFields(fields, key, [this] { return new CASN1_CertificateData(*this); });
}

int CCertificate::IsSignatureOKFor(const CCertificate& issuer)
{
    CRSAPublicKey key;
    issuer.SetDataTo(key);
    return IsSignatureOKFor(key);
}

int CCertificate::IsValidationPeriodOKFor(const CUTCTime& time) const
{
    return m_NotBefore <= time && time <= m_NotAfter;
}

int CCertificate::IsIssuerOf(const CCertificate& other) const
{
    return m_Subject == other.m_Issuer && IsValidationPeriodOKFor(CUTCTime());
}

CCertificate::operator CString() const
{
    CString text;
    text.Format("Syntax Version: %d\r\nSerial Number: %s\r\nSignature Algorithm: %s\r\nIssuer:\r\n%s"
                "Valid not before: %s\r\nValid not after: %s\r\nOwner:\r\n%sPublic Key:\r\n"
                "   Modulus Length:\r\n      %d bits\r\n   Modulus:\r\n%s\r\n   Public Exponent:\r\n%s",
                m_nVersion, static_cast<CString>(m_SerialNumber).c_str(), AlgorithmName(m_nSignatureAlgorithm).c_str(),
                static_cast<CString>(m_Issuer).c_str(), m_NotBefore.GetTimeAsString(1, 0).c_str(),
                m_NotAfter.GetTimeAsString(1, 0).c_str(), static_cast<CString>(m_Subject).c_str(), m_nModulusBits,
                sigilbox_pki::HexLines(m_Modulus, kField).c_str(),
                sigilbox_pki::HexLines(m_PublicExponent, kField).c_str());
    return text;
}

int operator==(const CCertificate& a, const CCertificate& b)
{
    return a.m_nVersion == b.m_nVersion && a.m_SerialNumber == b.m_SerialNumber &&
           a.m_nSignatureAlgorithm == b.m_nSignatureAlgorithm && a.m_Issuer == b.m_Issuer &&
           a.m_NotBefore == b.m_NotBefore && a.m_NotAfter == b.m_NotAfter && a.m_Subject == b.m_Subject &&
           a.m_nModulusBits == b.m_nModulusBits &&
           std::memcmp(a.m_PublicExponent, b.m_PublicExponent, kField) == 0 &&
           std::memcmp(a.m_Modulus, b.m_Modulus, kField) == 0 && std::memcmp(a.m_Signature, b.m_Signature, kField) == 0 &&
           a.m_nSignatureBits == b.m_nSignatureBits;
}

void ConstructElements(CCertificate* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CCertificate();
}

void DestructElements(CCertificate* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].~CCertificate();
}

void SerializeElements(CArchive& ar, CCertificate* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].Serialize(ar);
}

// ---- CCRLEntry --------------------------------------------------------------------------

CCRLEntry::CCRLEntry() = default;

CCRLEntry::CCRLEntry(const CSerialNumber& serialNumber, const CUTCTime& revocationDate)
    : m_SerialNumber(serialNumber), m_RevocationDate(revocationDate)
{
}

CCRLEntry::CCRLEntry(const CCRLEntry& other)
    : CObject(), m_SerialNumber(other.m_SerialNumber), m_RevocationDate(other.m_RevocationDate)
{
}

CCRLEntry& CCRLEntry::operator=(const CCRLEntry& other)
{
    m_SerialNumber = other.m_SerialNumber;
    m_RevocationDate = other.m_RevocationDate;
    return *this;
}

CCRLEntry::~CCRLEntry() = default;

void CCRLEntry::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0);
        m_SerialNumber.Serialize(ar);
        m_RevocationDate.Serialize(ar);
        return;
    }
    BYTE version = 0;
    ar >> version;
    if (version != 0)
        ThrowGeneric(ar);
    CCRLEntry loaded;
    loaded.m_SerialNumber.Serialize(ar);
    loaded.m_RevocationDate.Serialize(ar);
    *this = loaded;
}

CCRLEntry::operator CString() const
{
    CString text;
    text.Format("Serial Number: %s Revocation Date: %s", static_cast<CString>(m_SerialNumber).c_str(),
                m_RevocationDate.GetTimeAsString(1, 0).c_str());
    return text;
}

void DestructElements(CCRLEntry** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        delete elements[i];
        elements[i] = nullptr;
    }
}

void SerializeElements(CArchive& ar, CCRLEntry** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!elements[i]) {
            if (ar.IsStoring())
                CCRLEntry().Serialize(ar);
            else
                elements[i] = new CCRLEntry;
        }
        if (elements[i])
            elements[i]->Serialize(ar);
    }
}

// ---- CCertificateRevocationList ---------------------------------------------------------

CCertificateRevocationList::CCertificateRevocationList()
    : m_nSignatureAlgorithm(SignatureSHA1WithRSA), m_nSignatureBits(0), m_bMDDigestKnown(0), m_bSHA1DigestKnown(0)
{
    std::memset(m_Signature, 0, sizeof m_Signature);
    std::memset(m_MDDigest, 0, sizeof m_MDDigest);
    std::memset(m_SHA1Digest, 0, sizeof m_SHA1Digest);
}

CCertificateRevocationList::CCertificateRevocationList(const CCertificateRevocationList& other) : CObject()
{
    CopyFrom(other);
}

CCertificateRevocationList& CCertificateRevocationList::operator=(const CCertificateRevocationList& other)
{
    if (this != &other)
        CopyFrom(other);
    return *this;
}

CCertificateRevocationList::~CCertificateRevocationList() = default;

void CCertificateRevocationList::CopyFrom(const CCertificateRevocationList& other)
{
    CArray<CCRLEntry*, CCRLEntry*> entries;
    for (int i = 0; i < other.m_Entries.GetSize(); ++i) {
        const CCRLEntry* entry = other.m_Entries.GetAt(i);
        std::unique_ptr<CCRLEntry> copy(entry ? new CCRLEntry(*entry) : new CCRLEntry);
        entries.Add(copy.get());
        copy.release();
    }
    m_Issuer = other.m_Issuer;
    m_Entries.RemoveAll();
    m_Entries.SetSize(entries.GetSize());
    for (int i = 0; i < entries.GetSize(); ++i) {
        m_Entries.ElementAt(i) = entries.ElementAt(i);
        entries.ElementAt(i) = nullptr;
    }
    m_LastUpdate = other.m_LastUpdate;
    m_NextUpdate = other.m_NextUpdate;
    m_nSignatureAlgorithm = other.m_nSignatureAlgorithm;
    std::memcpy(m_Signature, other.m_Signature, sizeof m_Signature);
    m_nSignatureBits = other.m_nSignatureBits;
    std::memcpy(m_MDDigest, other.m_MDDigest, sizeof m_MDDigest);
    m_bMDDigestKnown = other.m_bMDDigestKnown;
    std::memcpy(m_SHA1Digest, other.m_SHA1Digest, sizeof m_SHA1Digest);
    m_bSHA1DigestKnown = other.m_bSHA1DigestKnown;
}

void CCertificateRevocationList::Done()
{
    m_Entries.RemoveAll();
    m_Issuer.RemoveAll();
    m_bMDDigestKnown = 0;
    m_bSHA1DigestKnown = 0;
}

void CCertificateRevocationList::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(1);
        ar.Write(m_Signature, kField);
        ar << static_cast<WORD>(m_nSignatureAlgorithm) << m_nSignatureBits;
        StoreDigest(ar, m_bMDDigestKnown, m_MDDigest, sizeof m_MDDigest);
        StoreDigest(ar, m_bSHA1DigestKnown, m_SHA1Digest, sizeof m_SHA1Digest);
        m_Entries.Serialize(ar);
        m_LastUpdate.Serialize(ar);
        m_NextUpdate.Serialize(ar);
        m_Issuer.Serialize(ar);
        return;
    }
    CCertificateRevocationList loaded;
    const BYTE format = ReadFormat(ar);
    ReadBytes(ar, loaded.m_Signature, kField);
    loaded.m_nSignatureAlgorithm = ReadAlgorithm(ar);
    ar >> loaded.m_nSignatureBits;
    LoadDigest(ar, loaded.m_bMDDigestKnown, loaded.m_MDDigest, sizeof loaded.m_MDDigest);
    if (format >= 1)
        LoadDigest(ar, loaded.m_bSHA1DigestKnown, loaded.m_SHA1Digest, sizeof loaded.m_SHA1Digest);
    loaded.m_Entries.Serialize(ar);
    loaded.m_LastUpdate.Serialize(ar);
    loaded.m_NextUpdate.Serialize(ar);
    loaded.m_Issuer.Serialize(ar);
    *this = loaded;
}

void CCertificateRevocationList::SignWith(CRSAPrivateKey& key)
{
    SignedFields fields{m_nSignatureAlgorithm, m_Signature, m_nSignatureBits, m_MDDigest,
                        m_bMDDigestKnown,      m_SHA1Digest, m_bSHA1DigestKnown};
    sigilbox_pki::SignFields(fields, key, [this] { return new CASN1_CertificateRevocationListData(*this); });
}

int CCertificateRevocationList::IsSignatureOKFor(const CRSAPublicKey& key)
{
    SignedFields fields{m_nSignatureAlgorithm, m_Signature, m_nSignatureBits, m_MDDigest,
                        m_bMDDigestKnown,      m_SHA1Digest, m_bSHA1DigestKnown};
    return sigilbox_pki::CheckFields(fields, key,
                                     [this] { return new CASN1_CertificateRevocationListData(*this); });
}

int CCertificateRevocationList::IsSignatureOKFor(const CCertificate& issuer)
{
    CRSAPublicKey key;
    issuer.SetDataTo(key);
    return IsSignatureOKFor(key);
}

CCertificateRevocationList::operator CString() const
{
    CString text;
    text.Format("CRL issued by:\r\n%sLast Update: %s\r\nNext Update: %s\r\nRevoked Certificates:\r\n",
                static_cast<CString>(m_Issuer).c_str(), m_LastUpdate.GetTimeAsString(1, 0).c_str(),
                m_NextUpdate.GetTimeAsString(1, 0).c_str());
    if (m_Entries.GetSize() == 0)
        return text + "No CRL Entries\r\n";
    for (int i = m_Entries.GetSize() - 1; i >= 0; --i) {
        const CCRLEntry* entry = m_Entries.GetAt(i);
        if (entry)
            text += static_cast<CString>(*entry) + "\r\n";
    }
    return text;
}

void ConstructElements(CCertificateRevocationList* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CCertificateRevocationList();
}

void DestructElements(CCertificateRevocationList* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].~CCertificateRevocationList();
}

void SerializeElements(CArchive& ar, CCertificateRevocationList* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].Serialize(ar);
}
