#include "decrypt/mime/address_list.h"

#include "decrypt/mime/header_lex.h"
#include "framework/text_util.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Token {
    enum Kind { end, separator, bracketed, word, error } kind = end;
    std::string text;
    char closer = 0;
};

const char* const kOpeners = "(<\"[";
const char* const kClosers = ")>\"]";

class CAddressTokens {
public:
    explicit CAddressTokens(std::string_view s) : m_s(s) {}

    Token Next()
    {
        Token t;
        while (m_i < m_s.size() && IsSpaceOrTab(m_s[m_i]))
            ++m_i;
        if (m_i >= m_s.size())
            return t;
        char c = m_s[m_i];
        if (c == ',' || c == ';') {
            ++m_i;
            t.kind = Token::separator;
            return t;
        }
        if (c && std::strchr(kOpeners, c)) {
            char closer = kClosers[std::strchr(kOpeners, c) - kOpeners];
            size_t j = m_i + 1;
            int depth = 1;
            while (j < m_s.size()) {
                if (m_s[j] == '\\') {
                    j += 2;
                    continue;
                }
                if (m_s[j] == closer && --depth == 0)
                    break;
                if (m_s[j] == c && c != '"')
                    ++depth;
                ++j;
            }
            if (j >= m_s.size()) {
                t.kind = Token::error;   // never closed
                return t;
            }
            t.kind = Token::bracketed;
            t.text = std::string(m_s.substr(m_i + 1, j - m_i - 1));
            t.closer = closer;
            m_i = j + 1;
            return t;
        }
        if (c == ')' || c == '>' || c == ']') {
            t.kind = Token::error;   // a closer without opener
            return t;
        }
        size_t j = m_i;
        while (j < m_s.size()) {
            char d = m_s[j];
            if (IsSpaceOrTab(d) || d == ',' || d == ';' || (d && std::strchr(kOpeners, d)) || d == ')' || d == '>' || d == ']')
                break;
            ++j;
        }
        if (j == m_i)
            ++j;   // never stand still
        t.kind = Token::word;
        t.text = std::string(m_s.substr(m_i, j - m_i));
        m_i = j;
        return t;
    }

private:
    std::string_view m_s;
    size_t m_i = 0;
};

bool LooksLikeAddress(const std::string& w)
{
    size_t at = w.find('@', 1);
    return at != std::string::npos && at + 1 < w.size();
}

} // namespace

void AfxParseAddressList(const CString& value, LONG kind, CRcpts& out)
{
    CAddressTokens tokens(value.view());
    std::string address, display, pending;

    auto addDisplay = [&](const std::string& text) {
        if (text.empty())
            return;
        if (display.empty())
            display = text;
        else
            display += " " + text;
    };
    auto addText = [&](const std::string& text) {
        if (LooksLikeAddress(text) && address.empty())
            address = text;
        else
            addDisplay(text);
    };
    auto flushPending = [&] {
        if (!pending.empty())
            addText(pending);
        pending.clear();
    };
    auto complete = [&] {
        flushPending();
        if (!address.empty())
            address = AfxNormalizeHeaderValue(CString(address), TRUE).str();
        else if (!display.empty())
            address = "<Invalid address>";
        if (display.empty())
            display = address;
        if (!address.empty() || !display.empty()) {
            CRcpt* r = new CRcpt;
            r->m_nKind = kind;
            r->m_strAddress = CString(address);
            r->m_strName = CString(display);
            out.AddItem(r);
        }
        address.clear();
        display.clear();
    };

    for (;;) {
        Token t = tokens.Next();
        if (t.kind == Token::end || t.kind == Token::error) {
            complete();
            return;
        }
        if (t.kind == Token::separator) {
            complete();
            continue;
        }
        if (t.kind == Token::bracketed && t.closer == '"') {
            pending += "\"" + t.text + "\"";
            continue;
        }
        flushPending();
        if (t.kind == Token::word) {
            addText(t.text);
        } else if (t.closer == '>') {
            if (LooksLikeAddress(t.text)) {
                if (!address.empty() && display.empty())
                    display = address;
                address = t.text;
            } else {
                addDisplay(t.text);
            }
        } else if (t.closer == ')') {
            if (display.empty())
                display = t.text;
            else
                display += " (" + t.text + ")";
        } else {
            addText("[" + t.text + "]");   // a domain literal on its own
        }
    }
}
