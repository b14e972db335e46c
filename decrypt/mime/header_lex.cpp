#include "decrypt/mime/header_lex.h"
#include "framework/text_util.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

constexpr char kReplacement[] = "\xEF\xBF\xBD";   // U+FFFD

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none.
size_t Utf8SequenceAt(std::string_view s, size_t i)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    size_t more;
    unsigned cp;
    if (c >= 0xC2 && c <= 0xDF) {
        more = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        more = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        more = 3;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + more >= s.size())
        return 0;
    for (size_t k = 1; k <= more; ++k) {
        unsigned char d = static_cast<unsigned char>(s[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return more + 1;
}

bool IsValidUtf8(std::string_view s)
{
    for (size_t i = 0, n; i < s.size(); i += n)
        if ((n = Utf8SequenceAt(s, i)) == 0)
            return false;
    return true;
}

// UTF-8 text with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string MendUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t n = Utf8SequenceAt(s, i);
        if (n) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

// ---- character sets ---------------------------------------------------------------------

// Labels mailers send that the C library knows under another name, or that stand for a
// superset in practice (senders label Windows code pages with the older standard's name).
struct CharsetAlias {
    const char* label;
    const char* name;
};
constexpr CharsetAlias kCharsetAliases[] = {
    {"us-ascii", "WINDOWS-1252"}, {"ascii", "WINDOWS-1252"}, {"iso-8859-1", "WINDOWS-1252"},
    {"iso8859-1", "WINDOWS-1252"}, {"iso_8859-1", "WINDOWS-1252"}, {"latin1", "WINDOWS-1252"},
    {"latin-1", "WINDOWS-1252"}, {"l1", "WINDOWS-1252"}, {"cp1252", "WINDOWS-1252"},
    {"shift_jis", "CP932"}, {"shift-jis", "CP932"}, {"sjis", "CP932"}, {"ms_kanji", "CP932"},
    {"csshiftjis", "CP932"}, {"windows-31j", "CP932"}, {"ms-cp932", "CP932"},
    {"iso-2022-jp", "ISO-2022-JP-2"}, {"csiso2022jp", "ISO-2022-JP-2"},
    {"euc-kr", "CP949"}, {"ks_c_5601-1987", "CP949"}, {"ks_c_5601-1989", "CP949"}, {"ks_c_5601", "CP949"},
    {"ksc5601", "CP949"}, {"ksc_5601", "CP949"}, {"csksc56011987", "CP949"}, {"korean", "CP949"},
    {"windows-949", "CP949"}, {"cseuckr", "CP949"},
    {"gb2312", "GB18030"}, {"csgb2312", "GB18030"}, {"gb_2312-80", "GB18030"}, {"gbk", "GB18030"},
    {"cp936", "GB18030"}, {"ms936", "GB18030"}, {"windows-936", "GB18030"}, {"euc-cn", "GB18030"},
    {"chinese", "GB18030"},
    {"big5", "BIG5-HKSCS"}, {"cn-big5", "BIG5-HKSCS"}, {"csbig5", "BIG5-HKSCS"}, {"big-5", "BIG5-HKSCS"},
    {"unicode-1-1-utf-7", "UTF-7"}, {"unicode-2-0-utf-7", "UTF-7"}, {"csunicode11utf7", "UTF-7"},
    {"tis-620", "CP874"}, {"iso-8859-11", "CP874"}, {"windows-874", "CP874"},
    {"mac-roman", "MACINTOSH"}, {"mac", "MACINTOSH"}, {"mac-ce", "MAC-CENTRALEUROPE"},
    {"mac-icelandic", "MAC-IS"}, {"mac-ukrainian", "MACUKRAINIAN"},
};

// The character set a label names, lower case, without blanks, quotes or an RFC 2231
// language ("utf-8*en"); "" when it is no name at all.
std::string CharsetLabel(std::string_view label)
{
    size_t star = label.find('*');
    if (star != std::string_view::npos)
        label = label.substr(0, star);
    while (!label.empty() && (IsSpaceOrTab(label.front()) || label.front() == '"'))
        label.remove_prefix(1);
    while (!label.empty() && (IsSpaceOrTab(label.back()) || label.back() == '"'))
        label.remove_suffix(1);
    // Only what character set names are made of reaches the C library ('/' and ',' would
    // add conversion options there).
    constexpr size_t kMaxLabel = 40;
    if (label.size() > kMaxLabel || label.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.:+()") != std::string_view::npos)
        return {};
    return AsciiLowerCopy(label);
}

// The name the C library is asked for; "x-" prefixes ("x-sjis", "x-mac-roman",
// "x-x-big5") are dropped.
std::string IconvName(std::string_view label)
{
    while (label.starts_with("x-"))
        label.remove_prefix(2);
    for (const CharsetAlias& a : kCharsetAliases)
        if (label == a.label)
            return a.name;
    // Logical and explicit Hebrew and Arabic: the same bytes.
    if (label.size() > 11 && label.starts_with("iso-8859-") && (label.ends_with("-i") || label.ends_with("-e")))
        label.remove_suffix(2);
    return std::string(label);
}

// Conversion descriptors to UTF-8 by source name, opened once per thread; a name the
// library does not know is remembered as such.
class CIconvCache {
public:
    ~CIconvCache()
    {
        for (Entry& e : m_entries)
            if (e.cd != kNone)
                iconv_close(e.cd);
    }
    // The descriptor, reset to its initial state, or kNone.
    iconv_t Get(const std::string& name)
    {
        for (Entry& e : m_entries) {
            if (e.used && e.name == name) {
                if (e.cd != kNone)
                    iconv(e.cd, nullptr, nullptr, nullptr, nullptr);
                return e.cd;
            }
        }
        Entry& e = m_entries[m_next];
        m_next = (m_next + 1) % kSize;
        if (e.cd != kNone)
            iconv_close(e.cd);
        e.name = name;
        e.used = true;
        e.cd = iconv_open("UTF-8", name.c_str());
        return e.cd;
    }
    static inline const iconv_t kNone = reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1));

private:
    static constexpr size_t kSize = 8;
    struct Entry {
        std::string name;
        iconv_t cd = kNone;
        bool used = false;
    };
    Entry m_entries[kSize];
    size_t m_next = 0;
};

// Converts with a descriptor; bytes that do not convert become U+FFFD, and the state a
// stateful set ends in is flushed.
std::string Convert(iconv_t cd, std::string_view bytes)
{
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    bool flushing = false;
    for (;;) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t r = flushing ? iconv(cd, nullptr, nullptr, &o, &oLeft) : iconv(cd, &in, &inLeft, &o, &oLeft);
        int error = r == static_cast<size_t>(-1) ? errno : 0;
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (error == E2BIG)
            continue;
        if (flushing)
            break;
        if (error == EILSEQ) {
            out += kReplacement;
            ++in;
            --inLeft;
        } else if (error) {
            out += kReplacement;   // a sequence cut off at the end
            inLeft = 0;
        }
        if (inLeft == 0)
            flushing = true;
    }
    return out;
}

std::string PercentDecode(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexDigitValue(s[i + 1]) >= 0 && HexDigitValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexDigitValue(s[i + 1]) * 16 + HexDigitValue(s[i + 2]));
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
            int hi = HexDigitValue(s[i + 1]), lo = HexDigitValue(s[i + 2]);
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

// Decodes one encoded word starting at s[i] ("=?") to its bytes and character set;
// returns the index past it, or 0 when there is no well-formed word there.
size_t DecodeWordAt(std::string_view s, size_t i, std::string& charset, std::string& bytes)
{
    size_t q1 = s.find('?', i + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= s.size() || s[q1 + 2] != '?')
        return 0;
    char enc = AsciiLower(s[q1 + 1]);
    size_t end = s.find("?=", q1 + 3);
    if (end == std::string_view::npos || (enc != 'b' && enc != 'q'))
        return 0;
    std::string_view name = s.substr(i + 2, q1 - i - 2);
    std::string_view text = s.substr(q1 + 3, end - q1 - 3);
    if (name.empty() || name.find_first_of(" \t") != std::string_view::npos)
        return 0;
    bytes.clear();
    if (!(enc == 'b' ? Base64DecodeWord(text, bytes) : QDecodeWord(text, bytes)))
        return 0;
    charset = CharsetLabel(name);
    return end + 2;
}

// Drops the control characters of UTF-8 text: C0, DEL and C1 (U+0080 to U+009F).
std::string DropControls(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) {
            ++i;
            continue;
        }
        if (c >= 0x20 && c != 0x7F)
            out += s[i];
    }
    return out;
}

} // namespace

BOOL AfxStartsWithNoCase(const CString& value, const char* prefix)
{
    size_t n = std::strlen(prefix);
    return static_cast<size_t>(value.GetLength()) >= n && CString(value.Left(static_cast<int>(n))).CompareNoCase(prefix) == 0;
}

BOOL AfxIsUuencodeEncodingName(const CString& value)
{
    CString token(value);
    token.TrimRight(" \t");
    for (const char* name : {"x-uuencode", "uuencode", "x-uue", "uue"})
        if (token.CompareNoCase(name) == 0)
            return TRUE;
    return FALSE;
}

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
        if (IsSpaceOrTab(c)) {
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
        bool anyExtended = false;
        for (size_t n = 0; n < sections.size() && sections[n]; ++n) {
            bytes += extended[n] ? DecodeExtended(sections[n]->raw, n == 0, &charset) : Unquote(sections[n]->raw);
            anyExtended = anyExtended || extended[n];
        }
        // Plain sections only: some mailers cut an encoded-word name into sections.
        decoded = anyExtended ? AfxCharsetToUtf8(bytes, CString(charset)).str() : AfxDecodeEncodedWords(CString(bytes)).str();
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
        return AfxCharsetToUtf8(std::string(s), CString());
    std::string out;
    std::string literal;   // text outside encoded words, not yet converted
    std::string charset;   // the set of the words whose bytes are pending
    std::string pending;   // bytes of adjacent words in one set: a character may span two
    auto flushWords = [&] {
        if (!pending.empty())
            out += AfxCharsetToUtf8(pending, CString(charset)).str();
        pending.clear();
    };
    auto flushLiteral = [&] {
        if (!literal.empty())
            out += AfxCharsetToUtf8(literal, CString()).str();
        literal.clear();
    };
    std::string wordCharset, word;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?') {
            size_t next = DecodeWordAt(s, i, wordCharset, word);
            if (next) {
                flushLiteral();
                if (wordCharset != charset)
                    flushWords();
                charset = wordCharset;
                pending += word;
                i = next;
                // White space between two encoded words belongs to neither.
                size_t j = i;
                while (j < s.size() && (IsSpaceOrTab(s[j]) || s[j] == '\r' || s[j] == '\n'))
                    ++j;
                if (j > i && j + 1 < s.size() && s[j] == '=' && s[j + 1] == '?' && DecodeWordAt(s, j, wordCharset, word))
                    i = j;
                continue;
            }
        }
        flushWords();
        literal += s[i++];
    }
    flushWords();
    flushLiteral();
    return CString(std::move(out));
}

CString AfxCharsetToUtf8(const std::string& bytes, const CString& charset)
{
    // Names are short: a longer text is cut to bound the work.
    constexpr size_t kMaxBytes = 4096;
    std::string_view text(bytes.data(), std::min(bytes.size(), kMaxBytes));
    std::string label = CharsetLabel(charset.view());
    if (label == "utf-8" || label == "utf8")
        return CString(MendUtf8(text));
    thread_local CIconvCache cache;
    iconv_t cd = label.empty() ? CIconvCache::kNone : cache.Get(IconvName(label));
    if (cd == CIconvCache::kNone) {
        // A set not known here: kept when it reads as UTF-8, else read as Windows-1252.
        if (IsValidUtf8(text))
            return CString(std::string(text));
        cd = cache.Get("WINDOWS-1252");
        if (cd == CIconvCache::kNone)
            return CString(MendUtf8(text));
    }
    return CString(Convert(cd, text));
}
