#include "sigilbox/pki/certificate_asn1.h"

#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/pki/pkcs1_keys.h"
#include "sigilbox/pki/signature_support.h"
#include "sigilbox/pki/structure_view.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kField = CCertificate::FieldSize;

// Reads a UTCTime child into a time; a value that is no calendar time raises.
void ReadTime(const CASN1Type* child, CUTCTime& time, const char* message)
{
    auto* value = dynamic_cast<const CASN1_UTCTime*>(child);
    if (!value || !CASN1_UTCTime::IsValid(value))
        AfxThrowDERDecodingException(message);
    CUTCTime result;
    value->SetDataTo(result);
    // The conversion reads every layout as the longest one; keep the layout that arrived,
    // so a certificate re-encodes to the bytes that were signed.
    result.m_nTextLength = static_cast<BYTE>(value->GetDataSize());
    // A time the archive could not load back again is refused here already.
    if (!result.IsValid())
        AfxThrowDERDecodingException(message);
    time = result;
}

// The INTEGER child read as a serial number.
CSerialNumber ReadSerial(const CASN1Type* child, const char* message)
{
    auto* value = dynamic_cast<const CASN1_INTEGER*>(child);
    if (!value)
        AfxThrowDERDecodingException(message);
    return static_cast<CSerialNumber>(*value);
}

CASN1_INTEGER* NewSerialInteger(const CSerialNumber& serial)
{
    static const unsigned char zero = 0;
    const int size = serial.GetSize();
    if (size == 0)
        return new CASN1_INTEGER(&zero, 1);
    // Only the last 256 octets of a magnitude count.
    const int used = size > kField ? kField : size;
    return new CASN1_INTEGER(serial.GetData() + (size - used), static_cast<unsigned short>(used));
}

// A BIT STRING of the last `bits` / 8 bytes of a right-aligned signature field.
CASN1_BIT_STRING* NewSignatureBits(const BYTE* field, WORD bits)
{
    int bytes = bits / 8;
    if (bytes > kField)
        bytes = kField;
    return new CASN1_BIT_STRING(field + kField - bytes, static_cast<unsigned long>(bytes) * 8, 1);
}

// Copies a signature BIT STRING right-aligned into the field; 0 when it does not fit.
int ReadSignatureBits(const CASN1Type* child, BYTE* field, WORD& bits)
{
    auto* value = dynamic_cast<const CASN1_BIT_STRING*>(child);
    if (!value || value->m_nBits > 8u * kField)
        return 0;
    BYTE buffer[kField];
    int used = 0;
    if (!value->GetData(buffer, kField, used, 0, 1))
        return 0;
    std::memcpy(field, buffer, kField);
    bits = static_cast<WORD>(value->m_nBits);
    return 1;
}

// A signed structure from a certificate or revocation list: its data, its signature
// algorithm and its signature bits.
template <class TData, class TValue>
void BuildSigned(CASN1_SEQUENCE& sequence, const TValue& value)
{
    sequence.Clear();
    sequence.AddObject(new TData(value));
    sequence.AddObject(AfxNewSignatureAlgorithmIdentifier(value.m_nSignatureAlgorithm));
    sequence.AddObject(NewSignatureBits(value.m_Signature, value.m_nSignatureBits));
}

// Everything of a signed structure into the certificate or revocation list: the data, the
// digest of the encoded data under its algorithm (the other digest is forgotten) and the
// signature. Failures leave the target unchanged.
template <class TData, class TValue>
void ReadSigned(const CASN1Type& value, TValue& target, const char* badContents, const char* badSignature)
{
    auto* sequence = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&value);
    const CASN1Type* data = AfxChildAt(sequence, 0);
    if (!data)
        AfxThrowDERDecodingException(badContents);
    TValue result(target);
    TData::SetDataTo(*data, result);
    // The digest of the data as it arrived (extensions included) is what the issuer signed.
    if (result.m_nSignatureAlgorithm == SignatureSHA1WithRSA) {
        sigilbox_pki::DigestEncoding(*data, result.m_nSignatureAlgorithm, result.m_SHA1Digest);
        result.m_bSHA1DigestKnown = 1;
    } else {
        sigilbox_pki::DigestEncoding(*data, result.m_nSignatureAlgorithm, result.m_MDDigest);
        result.m_bMDDigestKnown = 1;
    }
    if (!ReadSignatureBits(AfxChildAt(sequence, 2), result.m_Signature, result.m_nSignatureBits))
        AfxThrowDERDecodingException(badSignature);
    target = result;
}

// Reads a version INTEGER; 0 when it is not one or does not fit in 32 bits. The decoding
// exception is raised and caught here so that the failure is on record for diagnostics.
int ReadVersion(const CASN1Type* child, unsigned long& version, const char* message)
{
    auto* value = dynamic_cast<const CASN1_INTEGER*>(child);
    try {
        if (!value || !value->GetInteger(version))
            AfxThrowDERDecodingException(message);
    } catch (CDERDecodingException* e) {
        e->Delete();
        return 0;
    }
    return 1;
}

// The [0] EXPLICIT version of certificate data, or 0 when it does not decode or read. The
// value inside must be an INTEGER: another type would read as one once retagged.
int ReadExplicitVersion(const CASN1Type* child, unsigned long& version, const char* message)
{
    auto* tagged = dynamic_cast<const CASN1_TAGGED*>(child);
    if (!tagged || tagged->GetComponentsCount() != 1 || tagged->GetComponent(0).m_Tag != 0x02)
        return 0;
    CASN1_INTEGER integer;
    if (!CASN1_TAGGED::FromExplicit(*tagged, integer))
        return 0;
    return ReadVersion(&integer, version, message);
}

// Index of the serial number in certificate data: after the [0] version when there is one.
int CertificateDataBase(const CASN1_CONSTRUCTED_TYPE& data)
{
    return AfxChildTag(&data, 0) == 0x80 ? 1 : 0;
}

// Index of the algorithm identifier in revocation-list data: after the version INTEGER.
int CRLDataBase(const CASN1_CONSTRUCTED_TYPE& data)
{
    return AfxChildTag(&data, 0) == 0x02 ? 1 : 0;
}

}  // namespace

CASN1_AlgorithmIdentifier* AfxNewSignatureAlgorithmIdentifier(int algorithm)
{
    switch (algorithm) {
    case SignatureMD2WithRSA: return new CASN1_AlgorithmIdentifier(CASN1_md2WithRSAEncryption(), CASN1_NULL());
    case SignatureMD5WithRSA: return new CASN1_AlgorithmIdentifier(CASN1_md5WithRSAEncryption(), CASN1_NULL());
    case SignatureSHA1WithRSA: return new CASN1_AlgorithmIdentifier(CASN1_sha1WithRSAEncryption(), CASN1_NULL());
    default: return nullptr;
    }
}

int AfxGetSignatureAlgorithm(const CASN1Type& algorithmIdentifier)
{
    if (!CASN1_AlgorithmIdentifier::IsValid(&algorithmIdentifier))
        return -1;
    auto& value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE&>(algorithmIdentifier);
    auto* id = dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(&value, 0));
    if (!id)
        return -1;
    if (*id == CASN1_md2WithRSAEncryption())
        return SignatureMD2WithRSA;
    if (*id == CASN1_md5WithRSAEncryption())
        return SignatureMD5WithRSA;
    if (*id == CASN1_sha1WithRSAEncryption())
        return SignatureSHA1WithRSA;
    return -1;
}

// ---- Validity ---------------------------------------------------------------------------

CASN1_Validity::CASN1_Validity() : CASN1_SEQUENCE(0)
{
}

CASN1_Validity::CASN1_Validity(const CUTCTime& notBefore, const CUTCTime& notAfter) : CASN1_SEQUENCE(0)
{
    AddObject(new CASN1_UTCTime(notBefore));
    AddObject(new CASN1_UTCTime(notAfter));
}

CASN1_Validity::~CASN1_Validity() = default;

void CASN1_Validity::SetDataTo(const CASN1Type& validity, CUTCTime& notBefore, CUTCTime& notAfter)
{
    auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&validity);
    CUTCTime first, second;
    ReadTime(AfxChildAt(value, 0), first, "Validity contents is not valid (invalid notBefore)");
    ReadTime(AfxChildAt(value, 1), second, "Validity contents is not valid (invalid notAfter)");
    notBefore = first;
    notAfter = second;
}

int CASN1_Validity::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    return value && value->GetComponentsCount() == 2 && CASN1_UTCTime::IsValid(AfxChildAt(value, 0)) &&
           CASN1_UTCTime::IsValid(AfxChildAt(value, 1));
}

// ---- SubjectPublicKeyInfo ---------------------------------------------------------------

CASN1_SubjectPublicKeyInfo::CASN1_SubjectPublicKeyInfo() : CASN1_SEQUENCE(0)
{
}

CASN1_SubjectPublicKeyInfo::CASN1_SubjectPublicKeyInfo(const CCertificate& certificate) : CASN1_SEQUENCE(0)
{
    GetDataFrom(certificate);
}

CASN1_SubjectPublicKeyInfo::CASN1_SubjectPublicKeyInfo(const CASN1_AlgorithmIdentifier& algorithm,
                                                       const CASN1_BIT_STRING& key)
    : CASN1_SEQUENCE(0)
{
    AddObject(algorithm.Clone());
    AddObject(key.Clone());
}

CASN1_SubjectPublicKeyInfo::~CASN1_SubjectPublicKeyInfo() = default;

void CASN1_SubjectPublicKeyInfo::GetDataFrom(const CCertificate& certificate)
{
    Clear();
    AddObject(new CASN1_AlgorithmIdentifier(CASN1_rsaEncryption(), CASN1_NULL()));
    CASN1_PublicKey key(CASN1_INTEGER(certificate.m_Modulus, kField), CASN1_INTEGER(certificate.m_PublicExponent, kField));
    CByteArray encoding;
    key.EncodeTo(encoding);
    AddObject(new CASN1_BIT_STRING(encoding.GetData(), 8ul * static_cast<unsigned long>(encoding.GetSize()), 1));
}

void CASN1_SubjectPublicKeyInfo::SetDataTo(CCertificate& certificate) const
{
    SetDataTo(*this, certificate);
}

void CASN1_SubjectPublicKeyInfo::SetDataTo(const CASN1Type& keyInfo, CCertificate& certificate)
{
    auto* info = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&keyInfo);
    auto* bits = dynamic_cast<const CASN1_BIT_STRING*>(AfxChildAt(info, 1));
    if (!bits)
        AfxThrowDERDecodingException("SubjectPublicKeyInfo contents is not valid (invalid subjectPublicKey)");
    std::vector<unsigned char> buffer((bits->m_nBits + 7) / 8);
    int used = 0;
    if (buffer.empty() ||
        !bits->GetData(buffer.data(), static_cast<int>(buffer.size()), used, 1, 1))
        AfxThrowDERDecodingException("SubjectPublicKeyInfo contents is not valid (invalid subjectPublicKey)");

    CDEREncoding encoding(buffer.data(), buffer.size());
    CASN1_SEQUENCE key;
    key.DecodeFrom(encoding);

    BYTE modulus[kField];
    BYTE exponent[kField];
    auto* n = dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(&key, 0));
    if (!n || !n->GetData(modulus, kField, used, 0, 1))
        AfxThrowDERDecodingException("SubjectPublicKeyInfo contents is not valid (invalid modulus)");
    auto* e = dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(&key, 1));
    if (!e || !e->GetData(exponent, kField, used, 0, 1))
        AfxThrowDERDecodingException("SubjectPublicKeyInfo contents is not valid (invalid public exponent)");

    // The key size: an INTEGER parameter states it, a NULL one leaves it to the modulus.
    const char* badParameter = "SubjectPublicKeyInfo contents is not valid (invalid algorithm identifier parameter)";
    auto* algorithm = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(AfxChildAt(info, 0));
    const CASN1Type* parameter = algorithm && algorithm->GetComponentsCount() == 2 ? AfxChildAt(algorithm, 1) : nullptr;
    WORD modulusBits = 0;
    if (auto* integer = dynamic_cast<const CASN1_INTEGER*>(parameter)) {
        unsigned long value = 0;
        if (!integer->GetInteger(value) || value > 65535)
            AfxThrowDERDecodingException(badParameter);
        modulusBits = static_cast<WORD>(value);
    } else if (parameter && dynamic_cast<const CASN1_NULL*>(parameter)) {
        modulusBits = static_cast<WORD>(AfxCountBits(modulus, kField));
    } else {
        AfxThrowDERDecodingException(badParameter);
    }

    std::memcpy(certificate.m_Modulus, modulus, kField);
    std::memcpy(certificate.m_PublicExponent, exponent, kField);
    certificate.m_nModulusBits = modulusBits;
}

int CASN1_SubjectPublicKeyInfo::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value || value->GetComponentsCount() != 2 || !CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, 0)))
        return 0;
    auto* bits = dynamic_cast<const CASN1_BIT_STRING*>(AfxChildAt(value, 1));
    if (!bits || bits->m_Tag != 0x03 || bits->m_nBits % 8 != 0 || bits->m_nBits == 0)
        return 0;
    try {
        std::vector<unsigned char> buffer(bits->m_nBits / 8);
        int used = 0;
        if (!bits->GetData(buffer.data(), static_cast<int>(buffer.size()), used, 1, 1))
            return 0;
        CDEREncoding encoding(buffer.data(), buffer.size());
        CASN1_SEQUENCE key;
        key.DecodeFrom(encoding);
        // Exactly one key: nothing may follow it.
        return encoding.IsEndSeek() && CASN1_PublicKey::IsValid(&key) ? 1 : 0;
    } catch (CException* e) {
        e->Delete();
        return 0;
    }
}

// ---- CertificateData --------------------------------------------------------------------

CASN1_CertificateData::CASN1_CertificateData() : CASN1_SEQUENCE(0)
{
}

CASN1_CertificateData::CASN1_CertificateData(const CCertificate& certificate) : CASN1_SEQUENCE(0)
{
    GetDataFrom(certificate);
}

CASN1_CertificateData::~CASN1_CertificateData() = default;

void CASN1_CertificateData::GetDataFrom(const CCertificate& certificate)
{
    Clear();
    if (certificate.m_nVersion != 0) {
        auto* version = new CASN1_TAGGED(0x80, 0, 0);
        AddObject(version);
        version->BuildExplicit(CASN1_INTEGER(static_cast<unsigned long>(certificate.m_nVersion)));
    }
    AddObject(NewSerialInteger(certificate.m_SerialNumber));
    AddObject(AfxNewSignatureAlgorithmIdentifier(certificate.m_nSignatureAlgorithm));
    AddObject(new CASN1_RDNSequence(certificate.m_Issuer));
    AddObject(new CASN1_Validity(certificate.m_NotBefore, certificate.m_NotAfter));
    AddObject(new CASN1_RDNSequence(certificate.m_Subject));
    AddObject(new CASN1_SubjectPublicKeyInfo(certificate));
}

void CASN1_CertificateData::SetDataTo(CCertificate& certificate) const
{
    SetDataTo(*this, certificate);
}

void CASN1_CertificateData::SetDataTo(const CASN1Type& data, CCertificate& certificate)
{
    auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&data);
    if (!value || !IsValid(value))
        AfxThrowDERDecodingException("CertificateData is not valid");
    CCertificate result(certificate);
    const int base = CertificateDataBase(*value);
    unsigned long version = 0;
    if (base && !ReadExplicitVersion(AfxChildAt(value, 0), version, "Cannot decode certificate data (Invalid version number)"))
        AfxThrowDERDecodingException("Cannot decode certificate data (Invalid version number)");
    result.m_nVersion = static_cast<BYTE>(version);
    result.m_SerialNumber = ReadSerial(AfxChildAt(value, base), "Cannot decode certificate data (Invalid serial number)");
    const int algorithm = AfxGetSignatureAlgorithm(*AfxChildAt(value, base + 1));
    if (algorithm < 0)
        AfxThrowDERDecodingException("CASN1_CertificateData::SetDataTo - unknown signature algorithm");
    result.m_nSignatureAlgorithm = algorithm;
    CASN1_RDNSequence::SetDataTo(*AfxChildAt(value, base + 2), result.m_Issuer);
    CASN1_Validity::SetDataTo(*AfxChildAt(value, base + 3), result.m_NotBefore, result.m_NotAfter);
    CASN1_RDNSequence::SetDataTo(*AfxChildAt(value, base + 4), result.m_Subject);
    CASN1_SubjectPublicKeyInfo::SetDataTo(*AfxChildAt(value, base + 5), result);
    // New data: whatever was digested before no longer describes it.
    result.m_bMDDigestKnown = 0;
    result.m_bSHA1DigestKnown = 0;
    certificate = result;
}

CASN1_INTEGER& CASN1_CertificateData::GetSerialNumber()
{
    return AfxChildAs<CASN1_INTEGER>(*this, CertificateDataBase(*this));
}

CASN1_RDNSequence& CASN1_CertificateData::GetIssuer()
{
    return AfxStructureAt<CASN1_RDNSequence>(*this, CertificateDataBase(*this) + 2);
}

CASN1_RDNSequence& CASN1_CertificateData::GetSubject()
{
    return AfxStructureAt<CASN1_RDNSequence>(*this, CertificateDataBase(*this) + 4);
}

int CASN1_CertificateData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    int i = 0;
    unsigned long version = 0;
    if (AfxChildTag(value, 0) == 0x80) {
        if (!ReadExplicitVersion(AfxChildAt(value, 0), version, "CertificateData is not valid (invalid version number)") ||
            version > 2)
            return 0;
        i = 1;
    }
    if (!dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(value, i)) ||
        !CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, i + 1)) ||
        !CASN1_RDNSequence::IsValid(AfxChildAt(value, i + 2)) || !CASN1_Validity::IsValid(AfxChildAt(value, i + 3)) ||
        !CASN1_RDNSequence::IsValid(AfxChildAt(value, i + 4)) ||
        !CASN1_SubjectPublicKeyInfo::IsValid(AfxChildAt(value, i + 5)))
        return 0;
    i += 6;
    // Unique identifiers (versions 2 and 3) and extensions (version 3), each at most once
    // and in this order.
    if (version >= 1 && AfxChildTag(value, i) == 0x81)
        ++i;
    if (version >= 1 && AfxChildTag(value, i) == 0x82)
        ++i;
    if (version == 2 && AfxChildTag(value, i) == 0x83)
        ++i;
    return i == value->GetComponentsCount() ? 1 : 0;
}

// ---- Certificate ------------------------------------------------------------------------

CASN1_Certificate::CASN1_Certificate() = default;

CASN1_Certificate::CASN1_Certificate(const CCertificate& certificate)
{
    GetDataFrom(certificate);
}

CASN1_Certificate::CASN1_Certificate(const CASN1_CertificateData& data, const CASN1_AlgorithmIdentifier& algorithm,
                                     const CASN1_BIT_STRING& signature)
    : CASN1_SignedStructure(data, algorithm, signature)
{
}

CASN1_Certificate::CASN1_Certificate(CDEREncoding& encoding)
    : CASN1_SignedStructure(encoding, &IsValid, "Certificate contents is not valid")
{
}

CASN1_Certificate::~CASN1_Certificate() = default;

void CASN1_Certificate::GetDataFrom(const CCertificate& certificate)
{
    BuildSigned<CASN1_CertificateData>(*this, certificate);
}

void CASN1_Certificate::SetDataTo(CCertificate& certificate) const
{
    SetDataTo(*this, certificate);
}

void CASN1_Certificate::SetDataTo(const CASN1Type& value, CCertificate& certificate)
{
    ReadSigned<CASN1_CertificateData>(value, certificate, "Certificate contents is not valid",
                                      "Invalid Certificate's signature");
}

CASN1_CertificateData& CASN1_Certificate::GetCertificateData()
{
    return AfxStructureAt<CASN1_CertificateData>(*this, 0);
}

CASN1_RDNSequence& CASN1_Certificate::GetIssuer()
{
    return GetCertificateData().GetIssuer();
}

CASN1_RDNSequence& CASN1_Certificate::GetSubject()
{
    return GetCertificateData().GetSubject();
}

CASN1_INTEGER& CASN1_Certificate::GetSerialNumber()
{
    return GetCertificateData().GetSerialNumber();
}

int CASN1_Certificate::IsValid(const CASN1Type* object)
{
    return IsSignedShape(object, &CASN1_CertificateData::IsValid, true);
}

// ---- CRL entries ------------------------------------------------------------------------

CASN1_CRLEntry::CASN1_CRLEntry() : CASN1_SEQUENCE(0)
{
}

CASN1_CRLEntry::CASN1_CRLEntry(const CCRLEntry& entry) : CASN1_SEQUENCE(0)
{
    GetDataFrom(entry);
}

CASN1_CRLEntry::~CASN1_CRLEntry() = default;

void CASN1_CRLEntry::GetDataFrom(const CCRLEntry& entry)
{
    Clear();
    AddObject(NewSerialInteger(entry.m_SerialNumber));
    AddObject(new CASN1_UTCTime(entry.m_RevocationDate));
}

void CASN1_CRLEntry::SetDataTo(const CASN1Type& value, CCRLEntry& entry)
{
    auto* sequence = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&value);
    CCRLEntry result;
    result.m_SerialNumber = ReadSerial(AfxChildAt(sequence, 0), "Invalid CRL entry (invalid serial number)");
    ReadTime(AfxChildAt(sequence, 1), result.m_RevocationDate, "Invalid CRL entry (invalid revocation date)");
    entry = result;
}

int CASN1_CRLEntry::IsValid(const CASN1Type* object, int extensionsAllowed)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    if (count != 2 && !(count == 3 && extensionsAllowed && AfxChildTag(value, 2) == 0x10))
        return 0;
    return dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(value, 0)) && CASN1_UTCTime::IsValid(AfxChildAt(value, 1));
}

CASN1_RevokedCertificates::CASN1_RevokedCertificates() : CASN1_SEQUENCE(0)
{
}

CASN1_RevokedCertificates::CASN1_RevokedCertificates(const CArray<CCRLEntry*, CCRLEntry*>& entries)
    : CASN1_SEQUENCE(0)
{
    GetDataFrom(entries);
}

CASN1_RevokedCertificates::~CASN1_RevokedCertificates() = default;

void CASN1_RevokedCertificates::GetDataFrom(const CArray<CCRLEntry*, CCRLEntry*>& entries)
{
    Clear();
    for (int i = 0; i < entries.GetSize(); ++i) {
        const CCRLEntry* entry = entries.GetAt(i);
        if (entry)
            AddObject(new CASN1_CRLEntry(*entry));
    }
}

int CASN1_RevokedCertificates::IsValid(const CASN1Type* object, int extensionsAllowed)
{
    return AfxEveryChildValid(object, 0x10, [&](const CASN1Type* entry) { return CASN1_CRLEntry::IsValid(entry, extensionsAllowed); });
}

// ---- CertificateRevocationListData ------------------------------------------------------

CASN1_CertificateRevocationListData::CASN1_CertificateRevocationListData() : CASN1_SEQUENCE(0)
{
}

CASN1_CertificateRevocationListData::CASN1_CertificateRevocationListData(const CCertificateRevocationList& crl)
    : CASN1_SEQUENCE(0)
{
    GetDataFrom(crl);
}

CASN1_CertificateRevocationListData::~CASN1_CertificateRevocationListData() = default;

void CASN1_CertificateRevocationListData::GetDataFrom(const CCertificateRevocationList& crl)
{
    Clear();
    AddObject(AfxNewSignatureAlgorithmIdentifier(crl.m_nSignatureAlgorithm));
    AddObject(new CASN1_RDNSequence(crl.m_Issuer));
    AddObject(new CASN1_UTCTime(crl.m_LastUpdate));
    AddObject(new CASN1_UTCTime(crl.m_NextUpdate));
    AddObject(new CASN1_RevokedCertificates(crl.m_Entries));
}

void CASN1_CertificateRevocationListData::SetDataTo(CCertificateRevocationList& crl) const
{
    SetDataTo(*this, crl);
}

void CASN1_CertificateRevocationListData::SetDataTo(const CASN1Type& data, CCertificateRevocationList& crl)
{
    auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&data);
    if (!value || !IsValid(value))
        AfxThrowDERDecodingException("CertificateRevocationListData is not valid");
    CCertificateRevocationList result(crl);
    const int base = CRLDataBase(*value);
    unsigned long version = 0;
    if (base && !ReadVersion(AfxChildAt(value, 0), version, "Invalid CertificateRevocationListData (invalid version number)"))
        AfxThrowDERDecodingException("Invalid CertificateRevocationListData (invalid version number)");
    const int algorithm = AfxGetSignatureAlgorithm(*AfxChildAt(value, base));
    if (algorithm < 0)
        AfxThrowDERDecodingException("CASN1_CertificateRevocationListData::SetDataTo - unknown signature algorithm");
    result.m_nSignatureAlgorithm = algorithm;
    CASN1_RDNSequence::SetDataTo(*AfxChildAt(value, base + 1), result.m_Issuer);
    ReadTime(AfxChildAt(value, base + 2), result.m_LastUpdate, "Invalid CertificateRevocationListData (invalid lastUpdate)");
    ReadTime(AfxChildAt(value, base + 3), result.m_NextUpdate, "Invalid CertificateRevocationListData (invalid nextUpdate)");
    result.m_Entries.RemoveAll();
    if (auto* entries = dynamic_cast<const CASN1_SEQUENCE*>(AfxChildAt(value, base + 4));
        entries && entries->m_Tag == 0x10) {
        for (int i = 0; i < entries->GetComponentsCount(); ++i) {
            std::unique_ptr<CCRLEntry> entry(new CCRLEntry);
            CASN1_CRLEntry::SetDataTo(*AfxChildAt(entries, i), *entry);
            result.m_Entries.Add(entry.get());
            entry.release();
        }
    }
    result.m_bMDDigestKnown = 0;
    result.m_bSHA1DigestKnown = 0;
    crl = result;
}

int CASN1_CertificateRevocationListData::IsValid(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    int i = 0;
    unsigned long version = 0;
    if (AfxChildTag(value, 0) == 0x02) {
        if (!ReadVersion(AfxChildAt(value, 0), version, "Invalid CertificateRevocationListData (invalid version number)") ||
            version > 1)
            return 0;
        i = 1;
    }
    if (!CASN1_AlgorithmIdentifier::IsValid(AfxChildAt(value, i)) || !CASN1_RDNSequence::IsValid(AfxChildAt(value, i + 1)) ||
        !CASN1_UTCTime::IsValid(AfxChildAt(value, i + 2)) || !CASN1_UTCTime::IsValid(AfxChildAt(value, i + 3)))
        return 0;
    i += 4;
    // Version 2 lists may carry entry extensions and, at the end, the list's extensions.
    if (AfxChildTag(value, i) == 0x10) {
        if (!CASN1_RevokedCertificates::IsValid(AfxChildAt(value, i), version == 1))
            return 0;
        ++i;
    }
    if (version == 1 && AfxChildTag(value, i) == 0x80 && AfxChildAt(value, i)->m_bConstructed)
        ++i;
    return i == value->GetComponentsCount() ? 1 : 0;
}

// ---- CertificateRevocationList ----------------------------------------------------------

CASN1_CertificateRevocationList::CASN1_CertificateRevocationList() = default;

CASN1_CertificateRevocationList::CASN1_CertificateRevocationList(const CCertificateRevocationList& crl)
{
    GetDataFrom(crl);
}

CASN1_CertificateRevocationList::CASN1_CertificateRevocationList(const CASN1_CertificateRevocationListData& data,
                                                                 const CASN1_AlgorithmIdentifier& algorithm,
                                                                 const CASN1_BIT_STRING& signature)
    : CASN1_SignedStructure(data, algorithm, signature)
{
}

CASN1_CertificateRevocationList::CASN1_CertificateRevocationList(CDEREncoding& encoding)
    : CASN1_SignedStructure(encoding, &IsValid, "CRL contents is not valid")
{
}

CASN1_CertificateRevocationList::~CASN1_CertificateRevocationList() = default;

void CASN1_CertificateRevocationList::GetDataFrom(const CCertificateRevocationList& crl)
{
    BuildSigned<CASN1_CertificateRevocationListData>(*this, crl);
}

void CASN1_CertificateRevocationList::SetDataTo(CCertificateRevocationList& crl) const
{
    SetDataTo(*this, crl);
}

void CASN1_CertificateRevocationList::SetDataTo(const CASN1Type& value, CCertificateRevocationList& crl)
{
    ReadSigned<CASN1_CertificateRevocationListData>(value, crl, "CRL contents is not valid",
                                                    "CRL contents is not valid (cannot get signature)");
}

CASN1_RDNSequence& CASN1_CertificateRevocationList::GetIssuer()
{
    auto& data = AfxStructureAt<CASN1_CertificateRevocationListData>(*this, 0);
    return AfxStructureAt<CASN1_RDNSequence>(data, CRLDataBase(data) + 1);
}

int CASN1_CertificateRevocationList::IsValid(const CASN1Type* object)
{
    return IsSignedShape(object, &CASN1_CertificateRevocationListData::IsValid, true);
}

// ---- arrays and chains ------------------------------------------------------------------

void ConstructElements(CASN1_Certificate* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CASN1_Certificate();
}

void DestructElements(CASN1_Certificate* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].~CASN1_Certificate();
}

void SerializeElements(CArchive& ar, CASN1_Certificate* elements, int count)
{
    for (int i = 0; i < count; ++i) {
        elements[i]._Serialize(ar);
        if (ar.IsLoading() && !CASN1_Certificate::IsValid(&elements[i]))
            AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    }
}

CCertificationChain::CCertificationChain() = default;

CCertificationChain::CCertificationChain(const CCertificationChain& other)
    : CArray<CASN1_Certificate, const CASN1_Certificate&>()
{
    *this = other;
}

CCertificationChain& CCertificationChain::operator=(const CCertificationChain& other)
{
    if (this == &other)
        return *this;
    SetSize(other.GetSize());
    for (int i = 0; i < other.GetSize(); ++i)
        ElementAt(i) = other.ElementAt(i);
    return *this;
}

CCertificationChain::~CCertificationChain() = default;

namespace {

// The certificates of a chain as library values; an element that cannot be read stays
// unread (and then matches nothing).
std::vector<std::unique_ptr<CCertificate>> ReadChain(const CCertificationChain& chain)
{
    std::vector<std::unique_ptr<CCertificate>> result;
    for (int i = 0; i < chain.GetSize(); ++i) {
        std::unique_ptr<CCertificate> certificate(new CCertificate);
        try {
            CASN1_Certificate::SetDataTo(chain.ElementAt(i), *certificate);
        } catch (CException* e) {
            e->Delete();
            certificate.reset();
        }
        result.push_back(std::move(certificate));
    }
    return result;
}

bool Same(const std::unique_ptr<CCertificate>& a, const std::unique_ptr<CCertificate>& b)
{
    return a && b && *a == *b;
}

}  // namespace

int CCertificationChain::IsSubChainOf(const CCertificationChain& other) const
{
    if (GetSize() == 0)
        return 1;
    const auto mine = ReadChain(*this);
    const auto theirs = ReadChain(other);
    const int last = static_cast<int>(mine.size()) - 1;
    int at = static_cast<int>(theirs.size()) - 1;
    while (at >= 0 && !Same(theirs[static_cast<size_t>(at)], mine[static_cast<size_t>(last)]))
        --at;
    if (at < 0)
        return 0;
    for (int i = last - 1; i >= 0; --i) {
        --at;
        if (at < 0 || !Same(theirs[static_cast<size_t>(at)], mine[static_cast<size_t>(i)]))
            return 0;
    }
    return 1;
}

void ConstructElements(CCertificationChain* elements, int count)
{
    for (int i = 0; i < count; ++i)
        ::new (static_cast<void*>(elements + i)) CCertificationChain();
}

void DestructElements(CCertificationChain* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].~CCertificationChain();
}

void SerializeElements(CArchive& ar, CCertificationChain* elements, int count)
{
    for (int i = 0; i < count; ++i)
        elements[i].Serialize(ar);
}
