#include "decrypt/mime/header_lex.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

std::string LowerCopy(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = Lower(c);
    return r;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Index just past the quoted string that starts at s[i] (a '"'); the end when unclosed.
size_t SkipQuoted(std::string_view s, size_t i)
{
    size_t j = i + 1;
    while (j < s.size() && s[j] != '"')
        j += (s[j] == '\\' && j + 1 < s.size()) ? 2 : 1;
    return j < s.size() ? j + 1 : s.size();
}

// The text of a quoted string without its quotes and escapes.
std::string Unquote(std::string_view s)
{
    if (s.empty() || s[0] != '"')
        return std::string(s);
    std::string out;
    size_t end = SkipQuoted(s, 0);
    size_t last = (end > 1 && end <= s.size() && s[end - 1] == '"') ? end - 1 : end;
    for (size_t j = 1; j < last; ++j) {
        if (s[j] == '\\' && j + 1 < last)
            ++j;
        out += s[j];
    }
    return out;
}

struct Param {
    std::string_view attribute;
    std::string_view raw;   // the value as written (quotes included)
};

// The parameters after the first ';' of a value; ';' inside quotes does not separate.
std::vector<Param> SplitParameters(std::string_view s)
{
    std::vector<Param> params;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == '"') {
            i = SkipQuoted(s, i);
        } else {
            if (s[i] == ';')
                cuts.push_back(i);
            ++i;
        }
    }
    for (size_t k = 0; k < cuts.size(); ++k) {
        size_t from = cuts[k] + 1;
        size_t to = k + 1 < cuts.size() ? cuts[k + 1] : s.size();
        std::string_view text = s.substr(from, to - from);
        size_t eq = text.find('=');
        if (eq == std::string_view::npos)
            continue;
        params.push_back({text.substr(0, eq), text.substr(eq + 1)});
    }
    return params;
}

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int more;
        unsigned cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(more) >= s.size())
            return false;
        for (int k = 1; k <= more; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

std::string PercentDecode(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// An RFC 2231 extended value: charset'language'percent-encoded text.
std::string DecodeExtended(std::string_view value, bool withCharset, std::string* charset)
{
    std::string v = Unquote(value);
    std::string_view text = v;
    if (withCharset) {
        size_t q1 = text.find('\'');
        size_t q2 = q1 == std::string_view::npos ? q1 : text.find('\'', q1 + 1);
        if (q2 != std::string_view::npos) {
            if (charset)
                *charset = std::string(text.substr(0, q1));
            text = text.substr(q2 + 1);
        }
    }
    return PercentDecode(text);
}

bool Base64DecodeWord(std::string_view s, std::string& out)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    unsigned group = 0;
    int bits = 0;
    for (char c : s) {
        if (c == '=')
            break;
        const char* p = c ? std::strchr(alphabet, c) : nullptr;
        if (!p)
            return false;
        group = (group << 6) | static_cast<unsigned>(p - alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return true;
}

bool QDecodeWord(std::string_view s, std::string& out)
{
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_') {
            out += ' ';
        } else if (s[i] == '=') {
            if (i + 2 >= s.size())
                return false;
            int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += s[i];
        }
    }
    return true;
}

// Decodes one encoded word starting at s[i] ("=?"); returns the index past it, or 0 when
// there is no well-formed word there.
size_t DecodeWordAt(std::string_view s, size_t i, std::string& out)
{
    size_t q1 = s.find('?', i + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?')
        return 0;
    char enc = Lower(s[q1 + 1]);
    size_t end = s.find("?=", q1 + 3);
    if (end == std::string_view::npos || (enc != 'b' && enc != 'q'))
        return 0;
    std::string_view charset = s.substr(i + 2, q1 - i - 2);
    std::string_view text = s.substr(q1 + 3, end - q1 - 3);
    if (charset.empty() || charset.find_first_of(" \t") != std::string_view::npos)
        return 0;
    size_t star = charset.find('*');   // an RFC 2231 language suffix
    if (star != std::string_view::npos)
        charset = charset.substr(0, star);
    std::string bytes;
    if (!(enc == 'b' ? Base64DecodeWord(text, bytes) : QDecodeWord(text, bytes)))
        return 0;
    out += AfxCharsetToUtf8(bytes, CString(std::string(charset))).str();
    return end + 2;
}

std::string DropControls(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            out += c;
    return out;
}

} // namespace

CString AfxNormalizeHeaderValue(const CString& value, BOOL keepComments)
{
    enum Last { none, ordinary, special, quoted };
    std::string_view s = value.view();
    std::string out;
    out.reserve(s.size());
    Last last = none;
    bool pendingSpace = false;
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (IsBlank(c)) {
            pendingSpace = true;
            ++i;
        } else if (c == '(' && !keepComments) {
            int depth = 0;
            while (i < s.size()) {
                if (s[i] == '\\') {
                    i += 2;
                    continue;
                }
                if (s[i] == '(')
                    ++depth;
                else if (s[i] == ')' && --depth == 0) {
                    ++i;
                    break;
                }
                ++i;
            }
            if (i > s.size())
                i = s.size();
            pendingSpace = true;
        } else if (c == '"') {
            size_t end = SkipQuoted(s, i);
            out.append(s.substr(i, end - i));
            last = quoted;
            pendingSpace = false;
            i = end;
        } else if ((c && std::strchr(kHeaderSpecials, c)) || (keepComments && (c == '(' || c == ')'))) {
            out += c;
            last = special;
            pendingSpace = false;
            ++i;
        } else {
            if (pendingSpace && last == ordinary)
                out += ' ';
            out += c;
            last = ordinary;
            pendingSpace = false;
            ++i;
        }
    }
    return CString(std::move(out));
}

BOOL AfxFindHeaderParameter(const CString& value, const char* name, CString& result)
{
    for (const Param& p : SplitParameters(value.view())) {
        if (EqualNoCase(p.attribute, name)) {
            result = CString(Unquote(p.raw));
            return TRUE;
        }
    }
    result.Empty();
    return FALSE;
}

BOOL AfxFindNameParameter(const CString& value, const char* name, CString& result)
{
    std::vector<Param> params = SplitParameters(value.view());
    std::string_view wanted(name);
    const Param* plain = nullptr;
    const Param* single = nullptr;
    // RFC 2231 sections: name*0, name*1*, ...; a bounded number of them.
    constexpr size_t kMaxSections = 1000;
    std::vector<const Param*> sections;
    std::vector<bool> extended;
    for (const Param& p : params) {
        std::string_view a = p.attribute;
        if (EqualNoCase(a, wanted)) {
            if (!plain)
                plain = &p;
            continue;
        }
        if (a.size() <= wanted.size() || !EqualNoCase(a.substr(0, wanted.size()), wanted) || a[wanted.size()] != '*')
            continue;
        std::string_view rest = a.substr(wanted.size() + 1);
        if (rest.empty()) {
            if (!single)
                single = &p;
            continue;
        }
        bool ext = rest.back() == '*';
        if (ext)
            rest.remove_suffix(1);
        if (rest.empty() || rest.size() > 3 || rest.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        if (rest.size() > 1 && rest[0] == '0')
            continue;   // "name*01" is not a section number
        size_t n = static_cast<size_t>(std::stoi(std::string(rest)));
        if (n >= kMaxSections)
            continue;
        if (sections.size() <= n) {
            sections.resize(n + 1, nullptr);
            extended.resize(n + 1, false);
        }
        if (!sections[n]) {
            sections[n] = &p;
            extended[n] = ext;
        }
    }

    std::string decoded;
    if (single) {
        std::string charset;
        std::string bytes = DecodeExtended(single->raw, true, &charset);
        decoded = AfxCharsetToUtf8(bytes, CString(charset)).str();
    } else if (!sections.empty() && sections[0]) {
        std::string charset;
        std::string bytes;
        for (size_t n = 0; n < sections.size() && sections[n]; ++n)
            bytes += extended[n] ? DecodeExtended(sections[n]->raw, n == 0, &charset) : Unquote(sections[n]->raw);
        decoded = AfxCharsetToUtf8(bytes, CString(charset)).str();
    } else if (plain) {
        decoded = AfxDecodeEncodedWords(CString(Unquote(plain->raw))).str();
    } else {
        result.Empty();
        return FALSE;
    }
    result = CString(DropControls(decoded));
    return TRUE;
}

CString AfxDecodeEncodedWords(const CString& text)
{
    std::string_view s = text.view();
    if (s.find("=?") == std::string_view::npos)
        return text;
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?') {
            std::string word;
            size_t next = DecodeWordAt(s, i, word);
            if (next) {
                out += word;
                i = next;
                // Blanks between two encoded words belong to neither.
                size_t j = i;
                while (j < s.size() && IsBlank(s[j]))
                    ++j;
                if (j > i && j + 1 < s.size() && s[j] == '=' && s[j + 1] == '?') {
                    std::string probe;
                    if (DecodeWordAt(s, j, probe))
                        i = j;
                }
                continue;
            }
        }
        out += s[i++];
    }
    return CString(std::move(out));
}

CString AfxCharsetToUtf8(const std::string& bytes, const CString& charset)
{
    static const unsigned short cp1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::string cs = LowerCopy(charset.view());
    enum { latin1, win1252, latin9 } table = latin1;
    if (cs == "utf-8" || cs == "utf8" || (cs != "us-ascii" && cs != "ascii" && cs != "iso-8859-1" && cs != "iso8859-1" &&
                                          cs != "iso_8859-1" && cs != "latin1" && cs != "latin-1" && cs != "l1" &&
                                          cs != "windows-1252" && cs != "cp1252" && cs != "iso-8859-15" && cs != "latin-9" &&
                                          cs != "latin9")) {
        // UTF-8, or a set this program does not know: kept when it reads as UTF-8.
        if (IsValidUtf8(bytes))
            return CString(bytes);
    } else if (cs == "windows-1252" || cs == "cp1252") {
        table = win1252;
    } else if (cs == "iso-8859-15" || cs == "latin-9" || cs == "latin9") {
        table = latin9;
    }
    std::string out;
    for (char ch : bytes) {
        unsigned c = static_cast<unsigned char>(ch);
        if (table == win1252 && c >= 0x80 && c <= 0x9F) {
            c = cp1252[c - 0x80];
        } else if (table == latin9) {
            switch (c) {
            case 0xA4: c = 0x20AC; break;
            case 0xA6: c = 0x0160; break;
            case 0xA8: c = 0x0161; break;
            case 0xB4: c = 0x017D; break;
            case 0xB8: c = 0x017E; break;
            case 0xBC: c = 0x0152; break;
            case 0xBD: c = 0x0153; break;
            case 0xBE: c = 0x0178; break;
            default: break;
            }
        }
        AppendUtf8(out, c);
    }
    return CString(std::move(out));
}
