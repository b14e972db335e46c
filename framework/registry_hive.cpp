// The hive model and its REGEDIT4 text form.
#include "framework/registry.h"
#include "framework/text_util.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kHexLineLimit = 77;
constexpr size_t kMaxKeyComponent = 255;

std::string_view TrimRight(std::string_view s)
{
    while (!s.empty() && IsSpaceTabOrCR(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s)
{
    while (!s.empty() && IsSpaceTabOrCR(s.front()))
        s.remove_prefix(1);
    return s;
}

// Parses 1 to maxDigits hex digits making up all of s.
bool ParseHexNumber(std::string_view s, size_t maxDigits, DWORD* out)
{
    if (s.empty() || s.size() > maxDigits)
        return false;
    DWORD v = 0;
    for (char c : s) {
        int d = HexDigitValue(c);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<DWORD>(d);
    }
    *out = v;
    return true;
}

// Reads a quoted name or string starting at s[pos] == '"'; on success pos is past the
// closing quote. \\ and \" are the escapes; another backslash stands for itself.
bool ParseQuoted(std::string_view s, size_t& pos, std::string* out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    ++pos;
    out->clear();
    while (pos < s.size()) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            *out += s[pos + 1];
            pos += 2;
            continue;
        }
        *out += c;
        ++pos;
    }
    return false;
}

void AppendQuoted(std::string& line, std::string_view text)
{
    line += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            line += '\\';
        line += c;
    }
    line += '"';
}

// Bytes of a hex list "0a,ff,00" (blanks allowed around items, a trailing comma accepted).
bool ParseHexBytes(std::string_view s, std::string* out)
{
    out->clear();
    s = TrimLeft(TrimRight(s));
    if (s.empty())
        return true;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t comma = s.find(',', pos);
        std::string_view item = s.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos);
        item = TrimLeft(TrimRight(item));
        DWORD v = 0;
        if (!ParseHexNumber(item, 2, &v)) {
            // Only a final empty item (a trailing comma) is allowed.
            if (!(item.empty() && comma == std::string_view::npos && pos > 0))
                return false;
            break;
        }
        *out += static_cast<char>(v);
        if (comma == std::string_view::npos)
            break;
        pos = comma + 1;
    }
    return true;
}

// Parses the logical line (continuations joined) of a value.
bool ParseValueLine(std::string_view line, CRegistryHive::Value* value)
{
    size_t pos = 0;
    std::string name;
    if (line.empty())
        return false;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(line, pos, &name) || name.empty()) {
        return false;
    }
    if (!CRegistryHive::IsValidValueName(name))
        return false;
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    std::string_view rest = line.substr(pos);
    value->name = std::move(name);
    if (!rest.empty() && rest[0] == '"') {
        size_t p = 0;
        std::string text;
        if (!ParseQuoted(rest, p, &text) || !TrimRight(rest.substr(p)).empty())
            return false;
        value->type = REG_SZ;
        value->data = std::move(text);
        value->data += '\0';
        return true;
    }
    rest = TrimRight(rest);
    if (rest.size() >= 6 && EqualNoCase(rest.substr(0, 6), "dword:")) {
        DWORD v = 0;
        if (!ParseHexNumber(rest.substr(6), 8, &v))
            return false;
        value->type = REG_DWORD;
        value->data.assign(4, '\0');
        for (int i = 0; i < 4; ++i)
            value->data[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return true;
    }
    if (rest.size() >= 3 && EqualNoCase(rest.substr(0, 3), "hex")) {
        std::string_view after = rest.substr(3);
        DWORD type = REG_BINARY;
        if (!after.empty() && after[0] == '(') {
            size_t close = after.find(')');
            if (close == std::string_view::npos || !ParseHexNumber(after.substr(1, close - 1), 8, &type))
                return false;
            after = after.substr(close + 1);
        }
        if (after.empty() || after[0] != ':')
            return false;
        value->type = type;
        return ParseHexBytes(after.substr(1), &value->data);
    }
    return false;
}

bool IsTextSafeString(const std::string& data)
{
    if (data.empty() || data.back() != '\0')
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == '\0' || data[i] == '\r' || data[i] == '\n')
            return false;
    return true;
}

void AppendValue(std::string& out, const CRegistryHive::Value& v)
{
    std::string line;
    if (v.name.empty())
        line = "@";
    else
        AppendQuoted(line, v.name);
    line += '=';
    if (v.type == REG_SZ && IsTextSafeString(v.data)) {
        AppendQuoted(line, std::string_view(v.data).substr(0, v.data.size() - 1));
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d = 0;
        for (int i = 3; i >= 0; --i)
            d = (d << 8) | static_cast<BYTE>(v.data[static_cast<size_t>(i)]);
        char buf[24];
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        line += buf;
    } else {
        char buf[24];
        if (v.type == REG_BINARY)
            std::snprintf(buf, sizeof buf, "hex:");
        else
            std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        line += buf;
        for (size_t i = 0; i < v.data.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%02x", static_cast<BYTE>(v.data[i]));
            line += buf;
            if (i + 1 == v.data.size())
                break;
            line += ',';
            if (line.size() >= kHexLineLimit) {
                out += line;
                out += "\\\r\n";
                line = "  ";
            }
        }
    }
    out += line;
    out += "\r\n";
}

} // namespace

CRegistryHive::CRegistryHive(const char* rootName) : m_root(rootName ? rootName : "")
{
    Create("");
}

bool CRegistryHive::IsValidKeyPath(std::string_view path)
{
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t end = path.find('\\', start);
        size_t len = (end == std::string_view::npos ? path.size() : end) - start;
        if (len == 0 || len > kMaxKeyComponent)
            return false;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    for (char c : path)
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

bool CRegistryHive::IsValidValueName(std::string_view name)
{
    return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string CRegistryHive::FoldPath(std::string_view path)
{
    std::string folded(path);
    for (char& c : folded)
        c = (c == '\\') ? '\x01' : AsciiLower(c);
    return folded;
}

CRegistryHive::Key* CRegistryHive::Find(std::string_view path)
{
    auto it = m_keys.find(FoldPath(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

const CRegistryHive::Key* CRegistryHive::Find(std::string_view path) const
{
    auto it = m_keys.find(FoldPath(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

CRegistryHive::Key& CRegistryHive::Create(std::string_view path, bool* created)
{
    if (created)
        *created = false;
    if (Key* existing = Find(path))
        return *existing;
    if (!path.empty()) {
        size_t slash = path.rfind('\\');
        Create(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
    }
    Key& key = m_keys[FoldPath(path)];
    key.path = std::string(path);
    if (created)
        *created = true;
    return key;
}

BOOL CRegistryHive::DeleteTree(std::string_view path)
{
    std::string folded = FoldPath(path);
    auto it = m_keys.find(folded);
    if (it == m_keys.end())
        return FALSE;
    if (path.empty()) {
        // The root stays; everything in and below it goes.
        it->second.items.clear();
        m_keys.erase(std::next(it), m_keys.end());
        return TRUE;
    }
    std::string prefix = folded + '\x01';
    auto end = std::next(it);
    while (end != m_keys.end() && end->first.compare(0, prefix.size(), prefix) == 0)
        ++end;
    m_keys.erase(it, end);
    return TRUE;
}

std::vector<std::string> CRegistryHive::SubKeys(std::string_view path) const
{
    std::vector<std::string> names;
    std::string prefix = path.empty() ? std::string() : FoldPath(path) + '\x01';
    for (auto it = m_keys.lower_bound(prefix); it != m_keys.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        std::string_view rest(it->first);
        rest.remove_prefix(prefix.size());
        if (rest.empty() || rest.find('\x01') != std::string_view::npos)
            continue;
        names.push_back(it->second.path.substr(it->second.path.size() - rest.size()));
    }
    return names;
}

const CRegistryHive::Value* CRegistryHive::FindValue(const Key& key, std::string_view name)
{
    for (const Item& item : key.items)
        if (item.isValue && EqualNoCase(item.value.name, name))
            return &item.value;
    return nullptr;
}

void CRegistryHive::SetValue(Key& key, const Value& value)
{
    for (Item& item : key.items) {
        if (item.isValue && EqualNoCase(item.value.name, value.name)) {
            item.value.type = value.type;
            item.value.data = value.data;
            return;
        }
    }
    Item item;
    item.value = value;
    key.items.push_back(std::move(item));
}

BOOL CRegistryHive::DeleteValue(Key& key, std::string_view name)
{
    for (auto it = key.items.begin(); it != key.items.end(); ++it) {
        if (it->isValue && EqualNoCase(it->value.name, name)) {
            key.items.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

std::vector<const CRegistryHive::Value*> CRegistryHive::Values(const Key& key)
{
    std::vector<const Value*> values;
    for (const Item& item : key.items)
        if (item.isValue)
            values.push_back(&item.value);
    return values;
}

BOOL CRegistryHive::Load(std::string_view text, std::string* problem)
{
    m_keys.clear();
    m_preamble.clear();
    m_foreign.clear();
    Create("");
    if (text.empty())
        return TRUE;

    std::vector<std::string_view> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t nl = text.find('\n', start);
        std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    // A final line end leaves an empty last piece that is no line.
    if (!lines.empty() && lines.back().empty() && !text.empty() && text.back() == '\n')
        lines.pop_back();

    if (lines.empty() || TrimRight(lines[0]) != "REGEDIT4") {
        if (problem) {
            std::string first(lines.empty() ? std::string_view() : lines[0].substr(0, 40));
            for (char& c : first)
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
                    c = '?';
            *problem = "not a REGEDIT4 file (first line \"" + first + "\")";
        }
        return FALSE;
    }

    Key* current = nullptr;                       // null: before the first key
    std::vector<std::string>* foreign = nullptr;  // lines of a section kept as it was
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (TrimRight(line).empty())
            continue;
        if (line[0] == '[') {
            std::string_view header = TrimRight(line);
            std::string_view inner = header.size() >= 2 && header.back() == ']' ? header.substr(1, header.size() - 2) : std::string_view();
            std::string_view path;
            bool ours = false;
            if (inner.size() >= m_root.size() && EqualNoCase(inner.substr(0, m_root.size()), m_root) && !m_root.empty()) {
                if (inner.size() == m_root.size()) {
                    ours = true;
                } else if (inner[m_root.size()] == '\\') {
                    path = inner.substr(m_root.size() + 1);
                    ours = !path.empty() && IsValidKeyPath(path);
                }
            }
            if (ours) {
                current = &Create(path);
                foreign = nullptr;
            } else {
                current = nullptr;
                m_foreign.emplace_back();
                foreign = &m_foreign.back();
                foreign->emplace_back(line);
            }
            continue;
        }
        if (foreign) {
            foreign->emplace_back(line);
            continue;
        }
        // Gather a value's continuation lines: a line ending in '\' goes on in the next one.
        std::vector<std::string> physical{std::string(line)};
        std::string logical(TrimRight(line));
        if (line[0] == '"' || line[0] == '@') {
            // A blank line ends a value even after a backslash (writers never continue onto one).
            while (!logical.empty() && logical.back() == '\\' && i + 1 < lines.size() && !TrimRight(lines[i + 1]).empty()) {
                logical.pop_back();
                ++i;
                physical.emplace_back(lines[i]);
                logical += TrimRight(TrimLeft(lines[i]));
            }
        }
        Value value;
        if (current && (line[0] == '"' || line[0] == '@') && ParseValueLine(logical, &value)) {
            SetValue(*current, value);
            continue;
        }
        if (current) {
            Item item;
            item.isValue = false;
            item.raw = std::move(physical);
            current->items.push_back(std::move(item));
        } else {
            for (std::string& p : physical)
                m_preamble.push_back(std::move(p));
        }
    }
    return TRUE;
}

std::string CRegistryHive::Save() const
{
    std::string out = "REGEDIT4\r\n\r\n";
    if (!m_preamble.empty()) {
        for (const std::string& line : m_preamble) {
            out += line;
            out += "\r\n";
        }
        out += "\r\n";
    }
    for (const auto& [folded, key] : m_keys) {
        if (key.path.empty() && key.items.empty())
            continue;
        out += '[';
        out += m_root;
        if (!key.path.empty()) {
            out += '\\';
            out += key.path;
        }
        out += "]\r\n";
        for (const Item& item : key.items) {
            if (item.isValue) {
                AppendValue(out, item.value);
            } else {
                for (const std::string& line : item.raw) {
                    out += line;
                    out += "\r\n";
                }
                // A kept line ending in a backslash must not run on into the next one.
                if (!item.raw.empty() && !TrimRight(item.raw.back()).empty() && TrimRight(item.raw.back()).back() == '\\')
                    out += "\r\n";
            }
        }
        out += "\r\n";
    }
    for (const auto& section : m_foreign) {
        for (const std::string& line : section) {
            out += line;
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}
