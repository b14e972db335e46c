#include "decrypt/core/envelope_info.h"

#include <algorithm>

#include "decrypt/core/certificate_file.h"
#include "decrypt/core/content_processing.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/hex_text.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

namespace {

// A certificate file is a few kilobytes; anything much larger is not one.
constexpr UINT kMaxCertificateFileSize = 1u << 20;
// Names longer than this are cut for the report.
constexpr int kMaxNameText = 256;

const char kAskForRC2[] = "only RC2 with 40-bit keys is decrypted: ask the sender to encrypt with RC2-40";

// The identifier in dotted form; "?" when its octets are no identifier.
CString DottedOID(const CASN1_PRIMITIVE_TYPE& oid)
{
    const BYTE* data = oid.GetData();
    const int size = oid.GetDataSize();
    if (size <= 0 || (data[size - 1] & 0x80))
        return "?";
    CString text;
    unsigned long long arc = 0;
    bool first = true;
    for (int i = 0; i < size; ++i) {
        if (arc >> 56)
            return "?";
        arc = (arc << 7) | (data[i] & 0x7F);
        if (data[i] & 0x80)
            continue;
        CString part;
        if (first) {
            const unsigned long long top = arc < 80 ? arc / 40 : 2;
            part.Format("%llu.%llu", top, arc - 40 * top);
            first = false;
        } else {
            part.Format(".%llu", arc);
        }
        text += part;
        arc = 0;
    }
    return text;
}

CString DottedOID(const CASN1Type* value)
{
    auto* oid = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(value);
    return oid && value->m_Tag == 0x06 ? DottedOID(*oid) : CString("?");
}

// Appends a code point as UTF-8; controls (C0, DEL, C1) and what is no character become '?',
// so names from a message can be shown on a terminal as they are.
void AppendCodePoint(CString& text, unsigned long c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
        text += '?';
    } else if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The text of a name's attribute value by its string type: UTF8String decoded (a bad
// sequence gives '?'), BMPString and UniversalString by their code units, the 8-bit types
// octet by octet.
CString ValueText(const CASN1Type& value)
{
    auto* string = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(&value);
    if (!string)
        return "?";
    const BYTE* data = string->GetData();
    const int size = string->GetDataSize();
    CString text;
    for (int i = 0; i < size && text.GetLength() < kMaxNameText;) {
        unsigned long c = data[i];
        if (value.m_Tag == 0x1E || value.m_Tag == 0x1C) {
            const int unit = value.m_Tag == 0x1E ? 2 : 4;
            if (i + unit > size)
                break;
            c = 0;
            for (int k = 0; k < unit; ++k)
                c = (c << 8) | data[i + k];
            i += unit;
        } else if (value.m_Tag == 0x0C && c >= 0x80) {
            static const unsigned long least[] = {0, 0x80, 0x800, 0x10000};
            const int more = c >= 0xF8 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            bool good = more > 0 && i + more < size;
            c &= 0x3Fu >> more;
            for (int k = 1; good && k <= more; ++k) {
                good = (data[i + k] & 0xC0) == 0x80;
                c = (c << 6) | (data[i + k] & 0x3F);
            }
            if (good && c >= least[more]) {
                i += more + 1;
            } else {
                c = 0;  // shown as '?'
                ++i;
            }
        } else {
            ++i;
        }
        AppendCodePoint(text, c);
    }
    return text;
}

const char* AttributeLabel(const CString& dotted)
{
    static const struct {
        const char* oid;
        const char* label;
    } labels[] = {
        {"2.5.4.3", "CN"},     {"2.5.4.6", "C"},
        {"2.5.4.7", "L"},      {"2.5.4.8", "ST"},
        {"2.5.4.10", "O"},     {"2.5.4.11", "OU"},
        {"2.5.4.4", "SN"},     {"2.5.4.12", "title"},
        {"2.5.4.9", "street"}, {"1.2.840.113549.1.9.1", "emailAddress"},
    };
    for (const auto& l : labels)
        if (dotted == l.oid)
            return l.label;
    return nullptr;
}

// The first common name of an RDNSequence, or the whole name ("L=Internet, emailAddress=...").
CString NameText(const CASN1Type& name)
{
    CString whole;
    auto* rdns = AfxAsConstructed(&name, 0x10);
    for (int i = 0; rdns && i < rdns->GetComponentsCount(); ++i) {
        auto* rdn = AfxAsConstructed(AfxChildAt(rdns, i), 0x11);
        for (int j = 0; rdn && j < rdn->GetComponentsCount(); ++j) {
            auto* assertion = AfxAsConstructed(AfxChildAt(rdn, j), 0x10);
            if (!assertion || assertion->GetComponentsCount() != 2)
                continue;
            const CString type = DottedOID(AfxChildAt(assertion, 0));
            const CString value = ValueText(*AfxChildAt(assertion, 1));
            if (type == "2.5.4.3")
                return value;
            if (whole.GetLength() >= kMaxNameText)
                continue;
            const char* label = AttributeLabel(type);
            if (!whole.IsEmpty())
                whole += ", ";
            whole += label ? CString(label) : type;
            whole += "=";
            whole += value;
        }
    }
    return whole.IsEmpty() ? CString("(no name)") : whole;
}

std::vector<BYTE> Octets(const BYTE* data, int size)
{
    return size > 0 ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
}

// Issuer and serial number into the view.
void SetIssuerAndSerial(const CASN1Type& issuer, const CASN1Type& serial, CRecipientView& view)
{
    view.issuer = NameText(issuer);
    CDEREncoding der(issuer);
    view.issuerDer = Octets(der.GetData(), der.GetSize());
    CByteArray magnitude;
    if (auto* integer = dynamic_cast<const CASN1_INTEGER*>(&serial))
        integer->GetData(magnitude);
    view.serialBytes = Octets(magnitude.GetData(), magnitude.GetSize());
    view.serial =
        magnitude.GetSize() > 0 ? OctetsToHexChars(magnitude.GetData(), magnitude.GetSize()) : CString("(none)");
}

// A RecipientInfo that CASN1_RecipientInfo::IsValid accepts.
CRecipientView RecipientOf(const CASN1_CONSTRUCTED_TYPE& recipient)
{
    CRecipientView view;
    auto* issuerAndSerial = AfxAsConstructed(AfxChildAt(&recipient, 1), 0x10);
    SetIssuerAndSerial(*AfxChildAt(issuerAndSerial, 0), *AfxChildAt(issuerAndSerial, 1), view);
    const CString keyAlgorithm = DottedOID(AfxChildAt(AfxAsConstructed(AfxChildAt(&recipient, 2), 0x10), 0));
    view.rsa = keyAlgorithm == "1.2.840.113549.1.1.1" || keyAlgorithm == "2.5.8.1.1";
    if (auto* key = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(AfxChildAt(&recipient, 3))) {
        view.encryptedKey = Octets(key->GetData(), key->GetDataSize());
        view.keyBits = key->GetDataSize() * 8;
    }
    return view;
}

// The RC2 parameter: NULL and a bare IV give no bits value; the SEQUENCE of version and IV
// gives the bits its version stands for; none at all (no IV either) is unreadable.
void DescribeRC2(const CASN1Type* parameter, CCipherView& view)
{
    view.known = TRUE;
    const BYTE tag = parameter ? parameter->m_Tag : 0;  // none: no IV either
    auto* octets = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(parameter);
    if (tag == 0x05 || (tag == 0x04 && octets && octets->GetDataSize() == 8)) {
        view.name = "RC2-CBC (key length decides)";
        view.allowed = TRUE;
        return;
    }
    unsigned long version = 0;
    const CASN1_CONSTRUCTED_TYPE* sequence = AfxAsConstructed(parameter, 0x10);
    auto* integer = dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(sequence, 0));
    auto* iv = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(AfxChildAt(sequence, 1));
    view.badParameter = TRUE;
    if (!CASN1_RC2AlgorithmParameter::IsValid(parameter) || !integer || !iv || iv->GetDataSize() != 8) {
        view.name = "RC2-CBC (unreadable parameter)";
        view.problem = CString("the RC2 parameter cannot be read; ") + kAskForRC2;
        return;
    }
    const bool readable = integer->GetInteger(version) != 0;
    const unsigned long bits = readable ? RC2EffectiveBitsFromParameter(version) : 0;
    if (!bits) {
        CString number;
        if (readable)
            number.Format(" %lu", version);
        view.name = "RC2-CBC (unknown parameter version" + number + ")";
        view.problem = "the RC2 parameter version" + number + " is unknown; " + kAskForRC2;
        return;
    }
    view.badParameter = FALSE;
    view.effectiveBits = bits;
    view.name.Format("RC2-CBC %lu-bit", bits);
    view.allowed = bits <= kMaxRC2EffectiveBits;
}

// An AlgorithmIdentifier that CASN1_AlgorithmIdentifier::IsValid accepts.
CCipherView CipherOf(const CASN1_CONSTRUCTED_TYPE& algorithm)
{
    static const struct {
        const char* oid;
        const char* name;
        bool known;
    } ciphers[] = {
        {"1.3.14.3.2.7", "DES-CBC", true},
        {"1.2.840.113549.3.7", "DES-EDE3-CBC", true},
        {"2.16.840.1.101.3.4.1.2", "AES-128-CBC", false},
        {"2.16.840.1.101.3.4.1.22", "AES-192-CBC", false},
        {"2.16.840.1.101.3.4.1.42", "AES-256-CBC", false},
        {"2.16.840.1.101.3.4.1.6", "AES-128-GCM", false},
        {"2.16.840.1.101.3.4.1.26", "AES-192-GCM", false},
        {"2.16.840.1.101.3.4.1.46", "AES-256-GCM", false},
    };
    CCipherView view;
    const CString oid = DottedOID(AfxChildAt(&algorithm, 0));
    if (oid == "1.2.840.113549.3.2") {
        DescribeRC2(AfxChildAt(&algorithm, 1), view);
    } else {
        view.name = "cipher " + oid;
        for (const auto& c : ciphers)
            if (oid == c.oid) {
                view.name = c.name;
                view.known = c.known;
            }
    }
    if (!view.allowed && view.problem.IsEmpty())
        view.problem = "the content is encrypted with " + view.name + "; " + kAskForRC2;
    return view;
}

// The value inside a content info's [0], as a SEQUENCE: the value itself, or, for content
// that CMS wraps in an OCTET STRING, the DER those octets hold, decoded into `held` (which
// then lets go of what it held before: `info` may lie in it, but is not needed afterwards,
// so wrapped layers inside wrapped layers never hold more than one decoded copy). Null
// when there is none of either form.
const CASN1_CONSTRUCTED_TYPE* ContentSequence(const CASN1_CONSTRUCTED_TYPE& info, std::unique_ptr<CASN1Type>& held)
{
    auto* tagged = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(AfxChildAt(&info, 1));
    if (!tagged || tagged->m_Tag != 0x80 || tagged->GetComponentsCount() != 1)
        return nullptr;
    const CASN1Type* content = AfxChildAt(tagged, 0);
    if (auto* sequence = AfxAsConstructed(content, 0x10))
        return sequence;
    auto* octets = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(content);
    if (!octets || content->m_Tag != 0x04 || octets->GetDataSize() < 2 || octets->GetData()[0] != 0x30)
        return nullptr;
    std::unique_ptr<CASN1Type> inner;
    {
        CDEREncoding der(octets->GetData(), static_cast<unsigned long>(octets->GetDataSize()));
        inner.reset(AfxBuildFromEncoding(der));
    }
    held = std::move(inner);
    return AfxAsConstructed(held.get(), 0x10);
}

// The recipients and the cipher of an enveloped layer. EnvelopedData and AuthEnvelopedData
// are { version, [0] originatorInfo OPTIONAL, recipientInfos, encryptedContentInfo ... },
// SignedAndEnvelopedData { version, recipientInfos, digestAlgorithms, encryptedContentInfo ... }.
void DescribeEnveloped(const CASN1_CONSTRUCTED_TYPE& envelope, bool signedAndEnveloped, CEnvelopeView& view)
{
    view.enveloped = TRUE;
    int next = 1;
    if (!signedAndEnveloped && AfxChildTag(&envelope, next) == 0x80)
        ++next;
    const CASN1_CONSTRUCTED_TYPE* recipients = AfxAsConstructed(AfxChildAt(&envelope, next++), 0x11);
    if (signedAndEnveloped)
        ++next;
    const CASN1_CONSTRUCTED_TYPE* encrypted = AfxAsConstructed(AfxChildAt(&envelope, next), 0x10);
    if (!recipients) {
        view.problem = "the recipients cannot be read";
    } else {
        for (int i = 0; i < recipients->GetComponentsCount(); ++i) {
            const CASN1Type* recipient = AfxChildAt(recipients, i);
            if (CASN1_RecipientInfo::IsValid(recipient))
                view.recipients.push_back(RecipientOf(static_cast<const CASN1_CONSTRUCTED_TYPE&>(*recipient)));
            else
                ++view.otherRecipients;
        }
    }
    const CASN1Type* algorithm = AfxChildAt(encrypted, 1);
    if (!CASN1_AlgorithmIdentifier::IsValid(algorithm)) {
        view.cipher.name = "(unreadable)";
        view.cipher.badParameter = TRUE;
        view.cipher.problem = "the content cipher cannot be read";
        if (view.problem.IsEmpty())
            view.problem = view.cipher.problem;
        return;
    }
    view.cipher = CipherOf(static_cast<const CASN1_CONSTRUCTED_TYPE&>(*algorithm));
}

CString LayerName(const CString& type)
{
    static const struct {
        const char* oid;
        const char* name;
    } types[] = {
        {"1.2.840.113549.1.7.1", "data"},
        {"1.2.840.113549.1.7.2", "signedData"},
        {"1.2.840.113549.1.7.3", "envelopedData"},
        {"1.2.840.113549.1.7.4", "signedAndEnvelopedData"},
        {"1.2.840.113549.1.7.5", "digestedData"},
        {"1.2.840.113549.1.7.6", "encryptedData"},
        {"1.2.840.113549.1.9.16.1.23", "authEnvelopedData"},
    };
    for (const auto& t : types)
        if (type == t.oid)
            return t.name;
    return "content type " + type;
}

void Walk(const CASN1_CONSTRUCTED_TYPE* info, CEnvelopeView& view)
{
    std::unique_ptr<CASN1Type> held;
    for (int depth = 0;; ++depth) {
        if (depth >= kMaxContentNesting) {
            view.problem.Format("the layers nest deeper than %d", kMaxContentNesting);
            return;
        }
        if (!info || AfxChildTag(info, 0) != 0x06) {
            view.problem = "a layer has no content type";
            return;
        }
        const CString name = LayerName(DottedOID(AfxChildAt(info, 0)));
        view.layers.push_back(name);
        if (name == "data") {
            auto* tagged = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(AfxChildAt(info, 1));
            auto* octets = dynamic_cast<const CASN1_PRIMITIVE_TYPE*>(AfxChildAt(tagged, 0));
            view.hasData = octets && octets->GetDataSize() > 0;
            return;
        }
        if (name == "encryptedData") {
            view.problem = "the content is encrypted with a shared password or key, not for a recipient";
            return;
        }
        if (name.Find("content type ") == 0) {
            view.problem = "the " + name + " is none this program reads";
            return;
        }
        const CASN1_CONSTRUCTED_TYPE* content = ContentSequence(*info, held);
        if (!content) {
            view.problem = "the " + name + " layer holds no readable content";
            return;
        }
        if (name == "signedData" || name == "digestedData") {
            // Both hold their content info third: { version, algorithm(s), contentInfo ... }.
            info = AfxAsConstructed(AfxChildAt(content, 2), 0x10);
            continue;
        }
        DescribeEnveloped(*content, name == "signedAndEnvelopedData", view);
        return;
    }
}

// The certificate's issuer and serial into `id` when its public key is the key's.
bool MatchCertificate(const CASN1Type& value, const CRSAPrivateKey& key, CRecipientView& id)
{
    if (!CASN1_Certificate::IsValid(&value))
        return false;
    CCertificate certificate;
    CASN1_Certificate::SetDataTo(value, certificate);
    if (std::memcmp(certificate.m_Modulus, key.m_Modulus, sizeof key.m_Modulus) != 0)
        return false;
    auto* data = AfxAsConstructed(AfxChildAt(AfxAsConstructed(&value, 0x10), 0), 0x10);
    const int serial = AfxChildTag(data, 0) == 0x02 ? 0 : 1;  // after the version [0], if any
    if (!AfxChildAt(data, serial) || !AfxChildAt(data, serial + 2))
        return false;
    SetIssuerAndSerial(*AfxChildAt(data, serial + 2), *AfxChildAt(data, serial), id);
    id.keyBits = key.m_nModulusBits;
    id.rsa = TRUE;
    return true;
}

bool ReadCertificateFile(const CString& path, CByteArray& bytes)
{
    long long size = 0;
    if (AfxGetPathKind(path, &size) != AfxPathKind::regular || size <= 0 || size > kMaxCertificateFileSize)
        return false;
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary | CFile::modeRegularOnly))
        return false;
    bytes.SetSize(static_cast<int>(size));
    return file.Read(bytes.GetData(), static_cast<UINT>(bytes.GetSize())) == static_cast<UINT>(bytes.GetSize());
}

}  // namespace

CString CRecipientView::Describe() const
{
    CString text = issuer + ", serial " + serial + ", ";
    CString key;
    key.Format(rsa ? "%d-bit RSA" : "%d-bit key, not RSA", keyBits);
    return text + key;
}

BOOL CRecipientView::SameCertificate(const CRecipientView& other) const
{
    return !issuerDer.empty() && issuerDer == other.issuerDer && serialBytes == other.serialBytes;
}

namespace {

// One definite-length element with a one-octet tag at p: its tag and contents; advances p
// past it. FALSE when it does not fit or is not in that simple form.
BOOL NextElement(const BYTE*& p, const BYTE* end, BYTE& tag, const BYTE*& contents, size_t& length)
{
    if (end - p < 2 || (p[0] & 0x1F) == 0x1F)
        return FALSE;
    tag = p[0];
    size_t n = p[1];
    p += 2;
    if (n & 0x80) {
        const size_t octets = n & 0x7F;
        if (octets == 0 || octets > sizeof(size_t) || static_cast<size_t>(end - p) < octets)
            return FALSE;   // open-ended, or longer than anything here
        n = 0;
        for (size_t k = 0; k < octets; ++k)
            n = (n << 8) | *p++;
    }
    if (static_cast<size_t>(end - p) < n)
        return FALSE;
    contents = p;
    length = n;
    p += n;
    return TRUE;
}

// Leading zero octets do not change a serial number.
void SkipLeadingZeros(const BYTE*& p, size_t& n)
{
    while (n > 0 && *p == 0) {
        ++p;
        --n;
    }
}

}  // namespace

BOOL MayBeRecipientFor(const BYTE* encoding, size_t size, const CRecipientView& id)
{
    if (id.issuerDer.empty())
        return FALSE;
    // RecipientInfo ::= SEQUENCE { version, SEQUENCE { issuer, serialNumber }, ... }
    const BYTE* p = encoding;
    const BYTE* end = encoding + size;
    BYTE tag = 0;
    const BYTE* contents = nullptr;
    size_t length = 0;
    if (!NextElement(p, end, tag, contents, length) || tag != 0x30)
        return TRUE;   // not in the simple form: the whole look decides
    p = contents;
    end = contents + length;
    if (!NextElement(p, end, tag, contents, length) || !NextElement(p, end, tag, contents, length) || tag != 0x30)
        return TRUE;
    p = contents;
    end = contents + length;
    if (!NextElement(p, end, tag, contents, length) || !NextElement(p, end, tag, contents, length) || tag != 0x02)
        return TRUE;
    const BYTE* serial = contents;
    size_t serialSize = length;
    const BYTE* own = id.serialBytes.data();
    size_t ownSize = id.serialBytes.size();
    SkipLeadingZeros(serial, serialSize);
    SkipLeadingZeros(own, ownSize);
    return serialSize == ownSize && std::equal(serial, serial + serialSize, own);
}

BOOL IsRecipientFor(const CASN1Type& entry, const CRecipientView& id)
{
    if (id.issuerDer.empty())
        return FALSE;
    // A RecipientInfo: version, issuerAndSerialNumber, algorithm, encrypted key.
    auto* recipient = AfxAsConstructed(&entry, 0x10);
    auto* issuerAndSerial = recipient ? AfxAsConstructed(AfxChildAt(recipient, 1), 0x10) : nullptr;
    if (!issuerAndSerial || issuerAndSerial->GetComponentsCount() != 2 || !AfxChildAt(issuerAndSerial, 0))
        return FALSE;
    // The serial first: it is short and tells most entries apart without encoding a name.
    auto* serial = dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(issuerAndSerial, 1));
    if (!serial)
        return FALSE;
    CByteArray magnitude;
    serial->GetData(magnitude);
    if (Octets(magnitude.GetData(), magnitude.GetSize()) != id.serialBytes)
        return FALSE;
    CDEREncoding issuer(*AfxChildAt(issuerAndSerial, 0));
    return Octets(issuer.GetData(), issuer.GetSize()) == id.issuerDer;
}

CCipherView DescribeContentCipher(CASN1_AlgorithmIdentifier& algorithm)
{
    if (CASN1_AlgorithmIdentifier::IsValid(&algorithm))
        return CipherOf(algorithm);
    CCipherView view;
    view.name = "(unreadable)";
    view.badParameter = TRUE;
    view.problem = "the content cipher cannot be read";
    return view;
}

CRecipientView DescribeRecipient(CASN1_RecipientInfo& recipient)
{
    if (CASN1_RecipientInfo::IsValid(&recipient))
        return RecipientOf(recipient);
    CRecipientView view;
    view.issuer = "(unreadable recipient)";
    return view;
}

BOOL ReadIDIdentity(const char* keyFileName, const CRSAPrivateKey& key, CRecipientView& id)
{
    try {
        const CString path = CertificateFileName(keyFileName ? keyFileName : "");
        CByteArray bytes;
        if (path.IsEmpty() || !ReadCertificateFile(path, bytes))
            return FALSE;
        CDEREncoding der(bytes.GetData(), static_cast<unsigned long>(bytes.GetSize()));
        std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(der));
        const CASN1_CONSTRUCTED_TYPE* info = AfxAsConstructed(value.get(), 0x10);
        if (DottedOID(AfxChildAt(info, 0)) != "1.2.840.113549.1.7.2")
            return FALSE;
        std::unique_ptr<CASN1Type> held;
        const CASN1_CONSTRUCTED_TYPE* signedData = ContentSequence(*info, held);
        // SignedData: version, digest algorithms, content info, then [0] IMPLICIT certificates.
        auto* certificates = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(AfxChildAt(signedData, 3));
        if (!certificates || certificates->m_Tag != 0x80)
            return FALSE;
        for (int i = 0; i < certificates->GetComponentsCount(); ++i) {
            const CASN1Type* certificate = AfxChildAt(certificates, i);
            try {
                if (certificate && MatchCertificate(*certificate, key, id))
                    return TRUE;
            } catch (CException* e) {
                e->Delete();  // one certificate the library cannot read: the next may do
            }
        }
    } catch (CException* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
    return FALSE;
}

CEnvelopeView DescribeEnvelope(CASN1_ContentInfo& contentInfo)
{
    CEnvelopeView view;
    try {
        Walk(&contentInfo, view);
    } catch (CException* e) {
        e->Delete();
        view.problem = "the content is damaged";
    } catch (const std::exception&) {
        view.problem = "the content is damaged";
    }
    return view;
}
