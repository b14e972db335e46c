#include "decrypt/core/input_forms.h"

#include "decrypt/core/outcome.h"
#include "decrypt/mime/transfer_decoders.h"
#include "framework/exceptions.h"
#include "framework/fsutil.h"
#include "framework/memfile.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr BYTE kSequence = 0x30;

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsBase64Text(std::string_view text)
{
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' || c == ' ' || c == '\t' ||
               c == '\r' || c == '\n';
    });
}

// Decodes base64 text into `der`; true when the result looks like DER.
bool DecodeToDer(std::string_view text, CByteArray& der)
{
    der.SetSize(0);
    if (text.empty())
        return false;
    CMemFile source(reinterpret_cast<BYTE*>(const_cast<char*>(text.data())), static_cast<UINT>(text.size()));
    CMemFile decoded(static_cast<UINT>(text.size() / 4 * 3 + 16));
    DecodeBase64Tolerant(&source, &decoded, static_cast<DWORD>(text.size()));
    const long long length = decoded.GetLength();
    if (length <= 0)
        return false;
    der.SetSize(static_cast<int>(length));
    decoded.SeekToBegin();
    decoded.Read(der.GetData(), static_cast<UINT>(length));
    return der[0] == kSequence;
}

// The first line is a header field ("Name: value").
bool StartsWithHeaderField(std::string_view text)
{
    size_t colon = text.find(':');
    size_t eol = text.find_first_of("\r\n");
    if (colon == 0 || colon == std::string_view::npos || (eol != std::string_view::npos && colon > eol))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) { return c > 0x20 && c < 0x7F; });
}

// The header block and the body of a mail ("" body when there is no empty line).
void SplitMail(std::string_view text, std::string_view& headers, std::string_view& body)
{
    for (std::string_view end : {"\r\n\r\n", "\n\n"}) {
        size_t at = text.find(end);
        if (at != std::string_view::npos) {
            headers = text.substr(0, at);
            body = text.substr(at + end.size());
            return;
        }
    }
    headers = text;
    body = {};
}

std::string_view PemBody(std::string_view text, std::string_view label)
{
    const std::string begin = "-----BEGIN " + std::string(label) + "-----";
    size_t from = text.find(begin);
    if (from == std::string_view::npos)
        return {};
    from += begin.size();
    size_t to = text.find("-----END ", from);
    return text.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from);
}

} // namespace

CInputForm AfxRecogniseInput(const BYTE* data, size_t size, CByteArray& der)
{
    der.SetSize(0);
    if (!data || size == 0)
        return CInputForm::none;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::string_view label : {"PKCS7", "CMS", "PKCS #7 SIGNED DATA"}) {
        std::string_view body = PemBody(text, label);
        if (!body.empty() && DecodeToDer(body, der))
            return CInputForm::pem;
    }
    if (StartsWithHeaderField(text)) {
        std::string_view headers, body;
        SplitMail(text, headers, body);
        const std::string lower = Lower(headers);
        if (lower.find("pkcs7-mime") != std::string::npos) {
            if (lower.find("base64") != std::string::npos) {
                if (DecodeToDer(body, der))
                    return CInputForm::smimeMail;
            } else if (!body.empty() && static_cast<BYTE>(body[0]) == kSequence) {
                // Sent in binary: the body is the DER itself.
                der.SetSize(static_cast<int>(body.size()));
                std::copy(body.begin(), body.end(), der.GetData());
                return CInputForm::smimeMail;
            }
        }
    }
    if (IsBase64Text(text) && DecodeToDer(text, der))
        return CInputForm::base64;
    der.SetSize(0);
    if (data[0] == kSequence) {
        der.SetSize(static_cast<int>(size));
        std::copy(data, data + size, der.GetData());
        return CInputForm::der;
    }
    return CInputForm::none;
}

const char* AfxInputFormName(CInputForm form)
{
    switch (form) {
    case CInputForm::der: return "DER";
    case CInputForm::base64: return "base64 text";
    case CInputForm::pem: return "PEM armour";
    case CInputForm::smimeMail: return "an S/MIME mail";
    case CInputForm::none: break;
    }
    return "unknown";
}

CString AfxDescribeInput(const BYTE* data, size_t size)
{
    if (!data || size == 0)
        return "an empty file";
    const std::string_view text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 64 * 1024));
    struct Armour {
        const char* marker;
        const char* what;
    };
    static const Armour armours[] = {
        {"-----BEGIN CERTIFICATE-----", "a certificate (PEM)"},
        {"-----BEGIN X509 CRL-----", "a certificate revocation list (PEM)"},
        {"PRIVATE KEY-----", "a private key (PEM)"},
        {"-----BEGIN PUBLIC KEY-----", "a public key (PEM)"},
        {"-----BEGIN CERTIFICATE REQUEST-----", "a certificate request (PEM)"},
        {"-----BEGIN PGP", "an OpenPGP file"},
    };
    for (const Armour& a : armours)
        if (text.find(a.marker) != std::string_view::npos)
            return a.what;
    if (StartsWithHeaderField(text))
        return "a mail message without S/MIME content";
    if (data[0] == kSequence)
        return "DER data that is no S/MIME content (a certificate or a key, perhaps)";
    const size_t printable = static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        unsigned char u = static_cast<unsigned char>(c);
        return u >= 0x20 || u == '\r' || u == '\n' || u == '\t';
    }));
    return printable * 10 >= text.size() * 9 ? "text" : "binary data";
}

namespace {

// Walks BER elements (definite and indefinite lengths) and tells the first place where the
// bytes stop fitting their own lengths.
class CEncodingWalker {
public:
    CEncodingWalker(const BYTE* data, size_t size) : m_data(data), m_size(size) {}

    // Reads the element at `pos` (inside [pos, end)); false with m_fault set when it does
    // not fit.
    bool Element(size_t& pos, size_t end, int depth)
    {
        const size_t start = pos;
        if (depth > kMaxDepth)
            return Corrupt(start, "nested too deep");
        if (pos >= end)
            return Short(start, start + 2);
        const bool constructed = (m_data[pos] & 0x20) != 0;
        if ((m_data[pos++] & 0x1F) == 0x1F) {
            int more = 0;
            while (pos < end && (m_data[pos] & 0x80) && ++more < 4)
                ++pos;
            if (pos >= end)
                return Short(start, pos + 2);
            if (m_data[pos++] & 0x80)
                return Corrupt(start, "a tag number too long");
        }
        if (pos >= end)
            return Short(start, pos + 1);
        const BYTE first = m_data[pos++];
        if (first == 0x80) {
            if (!constructed)
                return Corrupt(start, "an open-ended length on a simple value");
            for (;;) {
                if (pos + 2 > end)
                    return Short(start, pos + 2);
                if (m_data[pos] == 0 && m_data[pos + 1] == 0) {
                    pos += 2;
                    return true;
                }
                if (!Element(pos, end, depth + 1))
                    return false;
            }
        }
        unsigned long long length = first;
        if (first & 0x80) {
            const int count = first & 0x7F;
            if (count > 8 || first == 0xFF)
                return Corrupt(start, "a length of impossible size");
            if (pos + static_cast<size_t>(count) > end)
                return Short(start, pos + static_cast<size_t>(count));
            length = 0;
            for (int i = 0; i < count; ++i)
                length = (length << 8) | m_data[pos++];
        }
        if (length > end - pos)
            return end == m_size ? Short(start, pos + length) : Corrupt(start, "an element longer than what holds it");
        const size_t stop = pos + static_cast<size_t>(length);
        if (constructed)
            while (pos < stop)
                if (!Element(pos, stop, depth + 1))
                    return false;
        pos = stop;
        return true;
    }

    CString m_fault;

private:
    static constexpr int kMaxDepth = 64;

    bool Short(size_t start, unsigned long long needed)
    {
        m_fault.Format("the content is truncated: it ends at byte %zu, but the element at byte %zu runs to byte %llu",
                       m_size, start, needed);
        return false;
    }
    bool Corrupt(size_t start, const char* what)
    {
        m_fault.Format("the content is corrupt at byte %zu (%s)", start, what);
        return false;
    }

    const BYTE* m_data;
    size_t m_size;
};

}  // namespace

CString AfxDescribeEncodingFault(const BYTE* data, size_t size)
{
    CEncodingWalker walker(data, size);
    size_t pos = 0;
    if (!walker.Element(pos, size, 0))
        return walker.m_fault;
    return CString();
}

CString AfxDescribeInputProblem(const char* path, long long* size)
{
    if (!path || !*path)
        return "the file name is empty";
    long long length = 0;
    LONG error = 0;
    switch (AfxGetPathKind(path, &length, &error)) {
    case AfxPathKind::missing:
        return "the file does not exist";
    case AfxPathKind::folder:
        return "it is a folder, not a file";
    case AfxPathKind::other:
        return "it is not a regular file (a FIFO, a socket or a device)";
    case AfxPathKind::unknown:
        return CString("the file cannot be looked at: ") +
               AfxDescribeFileError(CFileException::OsErrorToException(error), error);
    case AfxPathKind::regular:
        break;
    }
    if (size)
        *size = length;
    return length == 0 ? CString("the file is empty") : CString();
}
