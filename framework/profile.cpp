// INI-file profiles: reading and line-preserving editing of the text.
#include "framework/profile.h"

#include "framework/system.h"
#include "framework/text_util.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpaceExceptNewline(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpaceExceptNewline(s.back()))
        s.remove_suffix(1);
    return s;
}

// The file's lines without their ends, and the line end it uses.
struct IniText {
    std::vector<std::string> lines;
    std::string eol = "\r\n";

    explicit IniText(std::string_view text)
    {
        size_t first = text.find('\n');
        if (first != std::string_view::npos && (first == 0 || text[first - 1] != '\r'))
            eol = "\n";
        size_t start = 0;
        while (start < text.size()) {
            size_t nl = text.find('\n', start);
            std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines.emplace_back(line);
            if (nl == std::string_view::npos)
                break;
            start = nl + 1;
        }
    }
    std::string Join() const
    {
        std::string out;
        for (const std::string& l : lines) {
            out += l;
            out += eol;
        }
        return out;
    }
};

enum class LineKind { other, section, key, comment };

LineKind Classify(std::string_view line, std::string_view* name, std::string_view* value)
{
    std::string_view t = Trim(line);
    if (t.empty())
        return LineKind::other;
    if (t[0] == ';')
        return LineKind::comment;
    if (t[0] == '[') {
        size_t close = t.find(']');
        *name = Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        return LineKind::section;
    }
    size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return LineKind::other;
    *name = Trim(t.substr(0, eq));
    *value = Trim(t.substr(eq + 1));
    return LineKind::key;
}

// Index of the first header of the section, or -1; *end = the index after its last line.
long FindSection(const IniText& ini, std::string_view section, size_t* end)
{
    long found = -1;
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        std::string_view name, value;
        if (Classify(ini.lines[i], &name, &value) != LineKind::section)
            continue;
        if (found >= 0) {
            *end = i;
            return found;
        }
        if (EqualNoCase(name, section))
            found = static_cast<long>(i);
    }
    *end = ini.lines.size();
    return found;
}

std::string Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

DWORD CopyValue(const std::string& text, char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    size_t n = std::min<size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    size_t pos = 0;
    for (const std::string& n : names) {
        if (pos + n.size() + 1 > size - 1) {
            // Cut short: as much as fits, then two NULs.
            size_t room = size - 2 - pos;
            std::memcpy(buffer + pos, n.data(), std::min(room, n.size()));
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, n.c_str(), n.size() + 1);
        pos += n.size() + 1;
    }
    buffer[pos] = '\0';
    return static_cast<DWORD>(pos);
}

bool HasLineBreak(const char* s) { return s && std::strpbrk(s, "\r\n"); }

} // namespace

CString AfxResolveProfilePath(const char* fileName)
{
    if (!fileName || !*fileName)
        return CString();
    if (std::strchr(fileName, '/'))
        return CString(fileName);
    return AfxGetConfigFolder() + "/" + fileName;
}

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer, DWORD size,
                               const char* fileName)
{
    CString path = AfxResolveProfilePath(fileName);
    std::string text;
    if (path.IsEmpty() || !AfxReadWholeFile(path, text))
        text.clear();
    IniText ini(text);

    if (!section) {
        std::vector<std::string> names;
        for (const std::string& line : ini.lines) {
            std::string_view name, value;
            if (Classify(line, &name, &value) == LineKind::section)
                names.emplace_back(name);
        }
        return CopyList(names, buffer, size);
    }
    size_t end = 0;
    long start = FindSection(ini, Trim(section), &end);
    if (!key) {
        std::vector<std::string> names;
        for (size_t i = start < 0 ? end : static_cast<size_t>(start) + 1; i < end; ++i) {
            std::string_view name, value;
            if (Classify(ini.lines[i], &name, &value) == LineKind::key)
                names.emplace_back(name);
        }
        return CopyList(names, buffer, size);
    }
    if (start >= 0) {
        for (size_t i = static_cast<size_t>(start) + 1; i < end; ++i) {
            std::string_view name, value;
            if (Classify(ini.lines[i], &name, &value) == LineKind::key && EqualNoCase(name, Trim(key)))
                return CopyValue(Unquote(value), buffer, size);
        }
    }
    std::string def = defaultValue ? defaultValue : "";
    while (!def.empty() && (def.back() == ' ' || def.back() == '\t'))
        def.pop_back();
    return CopyValue(def, buffer, size);
}

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* fileName)
{
    char buffer[64];
    const char marker[] = "\x01missing";
    GetPrivateProfileStringA(section, key, marker, buffer, sizeof buffer, fileName);
    if (std::strcmp(buffer, marker) == 0)
        return static_cast<UINT>(defaultValue);
    const char* p = buffer;
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return static_cast<UINT>(defaultValue);
    unsigned long long v = 0;
    while (*p >= '0' && *p <= '9' && v <= 0xFFFFFFFFull)
        v = v * 10 + static_cast<unsigned>(*p++ - '0');
    UINT u = static_cast<UINT>(v);
    return negative ? 0u - u : u;
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName)
{
    if (!section) {
        if (!key && !value)
            return TRUE;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) || std::strchr(section, ']') ||
        (key && (std::strchr(key, '=') || Trim(key).empty() || Trim(key)[0] == '[' || Trim(key)[0] == ';'))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    CString path = AfxResolveProfilePath(fileName);
    if (path.IsEmpty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!std::strchr(fileName, '/') && !AfxCreateFolderPath(AfxGetConfigFolder(), 0700))
        return FALSE;

    std::string sectionName(Trim(section));
    DWORD result = AfxEditFileLocked(path, [&](std::string& content, BOOL) -> DWORD {
        IniText ini(content);
        size_t end = 0;
        long start = FindSection(ini, sectionName, &end);
        if (!key) {
            if (start < 0)
                return AFX_EDIT_UNCHANGED;
            // Every section of that name goes, with its lines.
            while (start >= 0) {
                ini.lines.erase(ini.lines.begin() + start, ini.lines.begin() + static_cast<long>(end));
                start = FindSection(ini, sectionName, &end);
            }
            content = ini.Join();
            return ERROR_SUCCESS;
        }
        std::string_view keyName = Trim(key);
        if (!value) {
            if (start < 0)
                return AFX_EDIT_UNCHANGED;
            bool removed = false;
            for (size_t i = end; i-- > static_cast<size_t>(start) + 1;) {
                std::string_view name, v;
                if (Classify(ini.lines[i], &name, &v) == LineKind::key && EqualNoCase(name, keyName)) {
                    ini.lines.erase(ini.lines.begin() + static_cast<long>(i));
                    removed = true;
                }
            }
            if (!removed)
                return AFX_EDIT_UNCHANGED;
            content = ini.Join();
            return ERROR_SUCCESS;
        }
        std::string line = std::string(keyName) + "=" + value;
        if (start < 0) {
            if (!ini.lines.empty() && !Trim(ini.lines.back()).empty())
                ini.lines.emplace_back();
            ini.lines.push_back("[" + sectionName + "]");
            ini.lines.push_back(line);
            content = ini.Join();
            return ERROR_SUCCESS;
        }
        for (size_t i = static_cast<size_t>(start) + 1; i < end; ++i) {
            std::string_view name, v;
            if (Classify(ini.lines[i], &name, &v) == LineKind::key && EqualNoCase(name, keyName)) {
                if (ini.lines[i] == line)
                    return AFX_EDIT_UNCHANGED;
                ini.lines[i] = line;
                content = ini.Join();
                return ERROR_SUCCESS;
            }
        }
        // After the section's last non-blank line, so blank lines keep separating sections.
        size_t at = end;
        while (at > static_cast<size_t>(start) + 1 && Trim(ini.lines[at - 1]).empty())
            --at;
        ini.lines.insert(ini.lines.begin() + static_cast<long>(at), line);
        content = ini.Join();
        return ERROR_SUCCESS;
    }, 0600);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return FALSE;
    }
    return TRUE;
}
