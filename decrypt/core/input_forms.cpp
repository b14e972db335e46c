#include "decrypt/core/input_forms.h"

#include "decrypt/mime/transfer_decoders.h"
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
