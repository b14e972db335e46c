#include "decrypt/mime/message_records.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

IMPLEMENT_SERIAL(CHeaderRecord, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CHeaderRecords, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CRcpt, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CRcpts, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CInetServer, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CInetServers, CObArray, VERSIONABLE_SCHEMA | 0)

void CHeaderRecord::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_strName << m_strValue;
    else
        ar >> m_strName >> m_strValue;
}

void CHeaderRecord::ToFields(std::string_view* fields) const
{
    fields[0] = m_strName.view();
    fields[1] = m_strValue.view();
}

void CHeaderRecord::FromFields(const std::string_view* fields)
{
    m_strName = CString(fields[0]);
    m_strValue = CString(fields[1]);
}

// ---- packed records -------------------------------------------------------------------------

namespace {

constexpr int kMarkEvery = 64;

void PutLength(std::string& out, size_t n)
{
    while (n >= 0x80) {
        out += static_cast<char>(0x80 | (n & 0x7F));
        n >>= 7;
    }
    out += static_cast<char>(n);
}

// CString::CompareNoCase(name) == 0 for a name in the buffer (which ends at a NUL, as a C
// string would).
bool SameNameNoCase(std::string_view stored, const char* name)
{
    size_t i = 0;
    for (; i < stored.size(); ++i) {
        unsigned char a = static_cast<unsigned char>(stored[i]);
        unsigned char b = static_cast<unsigned char>(name[i]);
        if (std::tolower(a) != std::tolower(b))
            return false;
        if (!a)
            return true;
    }
    return name[i] == '\0';
}

}  // namespace

void CPackedFields::Append(const std::string_view* fields)
{
    if (m_nCount >= kMaxArrayElements)
        AfxThrowMemoryException();
    size_t need = 0;
    for (int f = 0; f < m_nFields; ++f)
        need += fields[f].size() + 10;
    if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < need) {
        // Blocks grow from small (most parts carry a few lines) to 64 KiB; a longer record
        // gets a block of its own size.
        size_t size = m_blocks.empty() ? 256 : std::min<size_t>(m_blocks.back().capacity() * 2, 65536);
        std::string block;
        block.reserve(std::max(size, need));
        m_blocks.push_back(std::move(block));
    }
    if (m_nCount % kMarkEvery == 0)
        m_marks.emplace_back(static_cast<uint32_t>(m_blocks.size() - 1), static_cast<uint32_t>(m_blocks.back().size()));
    std::string& block = m_blocks.back();
    for (int f = 0; f < m_nFields; ++f) {
        PutLength(block, fields[f].size());
        block.append(fields[f]);
    }
    ++m_nCount;
}

void CPackedFields::Get(int i, std::string_view* fields) const
{
    if (i < 0 || i >= m_nCount)
        AfxThrowInvalidArgException();
    const auto& mark = m_marks[static_cast<size_t>(i / kMarkEvery)];
    size_t block = mark.first;
    size_t pos = mark.second;
    for (int k = i - i % kMarkEvery;; ++k) {
        if (pos == m_blocks[block].size()) {
            ++block;
            pos = 0;
        }
        for (int f = 0; f < m_nFields; ++f)
            fields[f] = Take(m_blocks[block], pos);
        if (k == i)
            return;
    }
}

void CPackedFields::Clear()
{
    std::vector<std::string>().swap(m_blocks);
    std::vector<std::pair<uint32_t, uint32_t>>().swap(m_marks);
    m_nCount = 0;
}

// ---- header records -------------------------------------------------------------------------

void CHeaderRecords::Add(const CString& name, const CString& value)
{
    Append(CHeaderRecord(name, value));
}

CString CHeaderRecords::Find(const char* name) const
{
    CString value;
    Find(name, value);
    return value;
}

BOOL CHeaderRecords::Find(const char* name, CString& value) const
{
    BOOL found = FALSE;
    value.Empty();
    ForEach([&](const std::string_view* fields) {
        if (!SameNameNoCase(fields[0], name))
            return true;
        value = CString(fields[1]);
        found = TRUE;
        return false;
    });
    return found;
}

int CHeaderRecords::FindAll(const char* name, CStringArray& values) const
{
    int found = 0;
    ForEach([&](const std::string_view* fields) {
        if (SameNameNoCase(fields[0], name)) {
            values.Add(CString(fields[1]));
            ++found;
        }
        return true;
    });
    return found;
}

// ---- addresses ------------------------------------------------------------------------------

void CRcpt::Clear()
{
    m_strReserved.Empty();
    m_nKind = kRcptFrom;
    m_strAddress.Empty();
    m_strName.Empty();
}

void CRcpt::ToFields(std::string_view* fields) const
{
    // The name is mostly the address itself: then it is left out, and the kind says so.
    const bool nameIsAddress = !m_strAddress.IsEmpty() && m_strName == m_strAddress;
    std::snprintf(m_kindText, sizeof m_kindText, "%ld%s", static_cast<long>(m_nKind), nameIsAddress ? "=" : "");
    fields[0] = m_strReserved.view();
    fields[1] = m_kindText;
    fields[2] = m_strAddress.view();
    fields[3] = nameIsAddress ? std::string_view() : m_strName.view();
}

void CRcpt::FromFields(const std::string_view* fields)
{
    const std::string kind(fields[1]);
    m_strReserved = CString(fields[0]);
    m_nKind = static_cast<LONG>(std::strtol(kind.c_str(), nullptr, 10));
    m_strAddress = CString(fields[2]);
    m_strName = !kind.empty() && kind.back() == '=' ? m_strAddress : CString(fields[3]);
}

void CRcpt::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_strReserved << m_nKind << m_strAddress << m_strName;
    else
        ar >> m_strReserved >> m_nKind >> m_strAddress >> m_strName;
}

void CInetServer::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_strHost << m_nAddress << m_nPort;
    else
        ar >> m_strHost >> m_nAddress >> m_nPort;
}
