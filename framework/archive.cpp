#include "framework/archive.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr WORD kNullTag = 0x0000;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr DWORD kBigClassTag = 0x80000000u;
constexpr WORD kBigObjectTag = 0x7FFF;
constexpr DWORD kMaxMapCount = 0x3FFFFFFE;
constexpr UINT kMaxClassName = 64;
}

CArchive::CArchive(CFile* file, UINT mode, int bufSize, void*)
    : m_pFile(file), m_nMode(mode), m_buf(static_cast<size_t>(bufSize < 128 ? 128 : bufSize))
{
    if (file)
        m_strFileName = file->GetFilePath();
    if (IsLoading())
        m_loadMap.push_back({nullptr, false});   // index 0 is the null reference
}

CArchive::~CArchive()
{
    if (m_pFile && !(m_nMode & bNoFlushOnDelete)) {
        try {
            Close();
        } catch (CException* e) {
            e->Delete();
        }
    }
    // Archives carry key files: what passed through the buffer is not left in freed memory.
    volatile BYTE* p = m_buf.data();
    for (size_t i = 0; i < m_buf.size(); ++i)
        p[i] = 0;
}

void CArchive::CheckLoading() const
{
    if (!IsLoading())
        AfxThrowArchiveException(CArchiveException::writeOnly, m_strFileName);
}

void CArchive::CheckStoring() const
{
    if (!IsStoring())
        AfxThrowArchiveException(CArchiveException::readOnly, m_strFileName);
}

void CArchive::Flush()
{
    if (IsStoring() && m_pFile && m_bufPos) {
        m_pFile->Write(m_buf.data(), static_cast<UINT>(m_bufPos));
        m_bufPos = 0;
    }
}

void CArchive::Close()
{
    if (IsStoring())
        Flush();
    m_pFile = nullptr;
}

void CArchive::Abort()
{
    m_bufPos = m_bufLen = 0;
    m_pFile = nullptr;
}

void CArchive::Write(const void* buffer, UINT count)
{
    CheckStoring();
    if (count == 0)
        return;   // an empty array passes a null buffer
    const BYTE* p = static_cast<const BYTE*>(buffer);
    if (count >= m_buf.size()) {
        Flush();
        m_pFile->Write(p, count);
        return;
    }
    if (m_bufPos + count > m_buf.size())
        Flush();
    std::memcpy(m_buf.data() + m_bufPos, p, count);
    m_bufPos += count;
}

UINT CArchive::Read(void* buffer, UINT count)
{
    CheckLoading();
    BYTE* p = static_cast<BYTE*>(buffer);
    UINT done = 0;
    size_t avail = m_bufLen - m_bufPos;
    size_t take = std::min<size_t>(avail, count);
    if (take) {
        std::memcpy(p, m_buf.data() + m_bufPos, take);
        m_bufPos += take;
        done = static_cast<UINT>(take);
    }
    if (done < count && m_pFile) {
        if (count - done >= m_buf.size()) {
            done += m_pFile->Read(p + done, count - done);
        } else {
            m_bufLen = m_pFile->Read(m_buf.data(), static_cast<UINT>(m_buf.size()));
            m_bufPos = 0;
            size_t more = std::min<size_t>(m_bufLen, count - done);
            std::memcpy(p + done, m_buf.data(), more);
            m_bufPos = more;
            done += static_cast<UINT>(more);
        }
    }
    return done;
}

unsigned long long CArchive::BytesLeft() const
{
    unsigned long long left = m_bufLen - m_bufPos;
    if (m_pFile) {
        long long len = m_pFile->GetLength();
        long long pos = m_pFile->GetPosition();
        if (len > pos)
            left += static_cast<unsigned long long>(len - pos);
    }
    return left;
}

void CArchive::EnsureAvailable(unsigned long long bytes) const
{
    if (bytes > BytesLeft())
        AfxThrowArchiveException(CArchiveException::endOfFile, m_strFileName);
}

void CArchive::WriteRaw(const void* p, UINT n) { Write(p, n); }

void CArchive::ReadRaw(void* p, UINT n)
{
    if (Read(p, n) != n)
        AfxThrowArchiveException(CArchiveException::endOfFile, m_strFileName);
}

CArchive& CArchive::WriteLE(DWORD v, int bytes)
{
    BYTE b[4];
    for (int i = 0; i < bytes; ++i)
        b[i] = static_cast<BYTE>(v >> (8 * i));
    WriteRaw(b, static_cast<UINT>(bytes));
    return *this;
}

DWORD CArchive::ReadLE(int bytes)
{
    BYTE b[4];
    ReadRaw(b, static_cast<UINT>(bytes));
    DWORD v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | b[i];
    return v;
}

CArchive& CArchive::operator<<(float v)
{
    static_assert(sizeof(float) == 4);
    DWORD d;
    std::memcpy(&d, &v, 4);
    return WriteLE(d, 4);
}

CArchive& CArchive::operator<<(double v)
{
    static_assert(sizeof(double) == 8);
    std::uint64_t d;
    std::memcpy(&d, &v, 8);
    WriteLE(static_cast<DWORD>(d), 4);
    return WriteLE(static_cast<DWORD>(d >> 32), 4);
}

CArchive& CArchive::operator>>(float& v)
{
    DWORD d = ReadLE(4);
    std::memcpy(&v, &d, 4);
    return *this;
}

CArchive& CArchive::operator>>(double& v)
{
    std::uint64_t lo = ReadLE(4);
    std::uint64_t hi = ReadLE(4);
    std::uint64_t d = lo | (hi << 32);
    std::memcpy(&v, &d, 8);
    return *this;
}

CArchive& CArchive::operator<<(const CString& s)
{
    DWORD len = static_cast<DWORD>(s.GetLength());
    if (len < 0xFF) {
        *this << static_cast<BYTE>(len);
    } else if (len < 0xFFFE) {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(len);
    } else {
        *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << len;
    }
    Write(s.c_str(), len);
    return *this;
}

CArchive& CArchive::operator>>(CString& s)
{
    // The length prefix, possibly preceded by the wide-character marker 0xFF FFFE.
    bool wide = false;
    DWORD len = 0;
    for (;;) {
        BYTE b;
        *this >> b;
        if (b < 0xFF) {
            len = b;
            break;
        }
        WORD w;
        *this >> w;
        if (w == 0xFFFE) {
            if (wide)
                AfxThrowArchiveException(CArchiveException::generic, m_strFileName);
            wide = true;
            continue;
        }
        if (w < 0xFFFF) {
            len = w;
            break;
        }
        *this >> len;
        break;
    }
    unsigned long long bytes = static_cast<unsigned long long>(len) * (wide ? 2 : 1);
    EnsureAvailable(bytes);
    std::string text;
    if (!wide) {
        text.resize(len);
        ReadRaw(text.data(), len);
    } else {
        text.reserve(len);
        for (DWORD i = 0; i < len; ++i) {
            WORD ch;
            *this >> ch;
            text += ch < 0x80 ? static_cast<char>(ch) : '?';
        }
    }
    s = CString(std::move(text));
    return *this;
}

void CArchive::WriteCount(DWORD count)
{
    if (count < 0xFFFF) {
        *this << static_cast<WORD>(count);
    } else {
        *this << static_cast<WORD>(0xFFFF) << count;
    }
}

DWORD CArchive::ReadCount()
{
    WORD w;
    *this >> w;
    if (w != 0xFFFF)
        return w;
    DWORD d;
    *this >> d;
    return d;
}

void CArchive::WriteString(const char* text)
{
    if (text)
        Write(text, static_cast<UINT>(std::strlen(text)));
}

BOOL CArchive::ReadString(CString& line)
{
    std::string s;
    BYTE b;
    bool any = false;
    while (Read(&b, 1) == 1) {
        any = true;
        if (b == '\n')
            break;
        s += static_cast<char>(b);
    }
    if (!s.empty() && s.back() == '\r')
        s.pop_back();
    line = CString(std::move(s));
    return any;
}

void CArchive::MapObject(const CObject* object)
{
    if (IsStoring()) {
        if (object && !m_storeMap.count(object))
            m_storeMap[object] = m_nMapCount++;
    } else {
        m_loadMap.push_back({const_cast<CObject*>(object), false});
        ++m_nMapCount;
    }
}

void CArchive::WriteClass(const CRuntimeClass* cls)
{
    CheckStoring();
    auto it = m_storeMap.find(cls);
    if (it != m_storeMap.end()) {
        DWORD index = it->second;
        if (index < kBigObjectTag) {
            *this << static_cast<WORD>(kClassTag | index);
        } else {
            *this << kBigObjectTag << (kBigClassTag | index);
        }
        return;
    }
    *this << kNewClassTag;
    cls->Store(*this);
    if (m_nMapCount >= kMaxMapCount)
        AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
    m_storeMap[cls] = m_nMapCount++;
}

void CArchive::WriteObject(const CObject* object)
{
    CheckStoring();
    if (!object) {
        *this << kNullTag;
        return;
    }
    auto it = m_storeMap.find(object);
    if (it != m_storeMap.end()) {
        DWORD index = it->second;
        if (index < kBigObjectTag) {
            *this << static_cast<WORD>(index);
        } else {
            *this << kBigObjectTag << index;
        }
        return;
    }
    CRuntimeClass* cls = object->GetRuntimeClass();
    WriteClass(cls);
    if (m_nMapCount >= kMaxMapCount)
        AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
    m_storeMap[object] = m_nMapCount++;
    const_cast<CObject*>(object)->Serialize(*this);
}

CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* requested, UINT* schema, DWORD* objTag)
{
    CheckLoading();
    WORD tag;
    *this >> tag;
    DWORD obTag;
    if (tag == kBigObjectTag) {
        *this >> obTag;
    } else {
        obTag = (static_cast<DWORD>(tag & kClassTag) << 16) | (tag & ~kClassTag);
    }

    CRuntimeClass* cls = nullptr;
    UINT storedSchema = static_cast<UINT>(-1);
    if (tag == kNewClassTag) {
        cls = CRuntimeClass::Load(*this, &storedSchema);
        if (!cls)
            AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
        if ((cls->m_wSchema & ~VERSIONABLE_SCHEMA) != storedSchema && !(cls->m_wSchema & VERSIONABLE_SCHEMA))
            AfxThrowArchiveException(CArchiveException::badSchema, m_strFileName);
        m_schemaMap[cls] = storedSchema;
        if (m_nMapCount >= kMaxMapCount)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        m_loadMap.push_back({cls, true});
        ++m_nMapCount;
    } else if (obTag & kBigClassTag) {
        DWORD index = obTag & ~kBigClassTag;
        if (index == 0 || index >= m_loadMap.size() || !m_loadMap[index].isClass)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        cls = static_cast<CRuntimeClass*>(m_loadMap[index].ptr);
        auto it = m_schemaMap.find(cls);
        storedSchema = it != m_schemaMap.end() ? it->second : static_cast<UINT>(-1);
    } else {
        // An object reference, not a class: the caller deals with it.
        if (objTag)
            *objTag = obTag;
        return nullptr;
    }

    if (requested && !cls->IsDerivedFrom(requested))
        AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
    if (schema)
        *schema = storedSchema;
    else
        m_nObjectSchema = storedSchema;
    if (objTag)
        *objTag = 0;
    return cls;
}

void CArchive::SerializeClass(const CRuntimeClass* cls)
{
    if (IsStoring())
        WriteClass(cls);
    else
        ReadClass(cls);
}

UINT CArchive::GetObjectSchema()
{
    UINT s = m_nObjectSchema;
    m_nObjectSchema = static_cast<UINT>(-1);
    return s;
}

CObject* CArchive::ReadObject(const CRuntimeClass* requested) { return ReadObject(requested, true); }

CObject* CArchive::ReadOwnedObject(const CRuntimeClass* requested) { return ReadObject(requested, false); }

CObject* CArchive::ReadObject(const CRuntimeClass* requested, bool allowReference)
{
    DWORD obTag = 0;
    CRuntimeClass* cls = ReadClass(requested, nullptr, &obTag);
    if (!cls) {
        // A reference to an object already loaded (or null).
        if (obTag == 0)
            return nullptr;
        if (!allowReference || obTag >= m_loadMap.size() || m_loadMap[obTag].isClass)
            AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
        CObject* object = static_cast<CObject*>(m_loadMap[obTag].ptr);
        if (requested && object && !object->IsKindOf(requested))
            AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
        return object;
    }
    CObject* object = cls->CreateObject();
    if (!object)
        AfxThrowArchiveException(CArchiveException::badClass, m_strFileName);
    if (m_nMapCount >= kMaxMapCount) {
        delete object;
        AfxThrowArchiveException(CArchiveException::badIndex, m_strFileName);
    }
    size_t slot = m_loadMap.size();
    m_loadMap.push_back({object, false});
    ++m_nMapCount;
    try {
        object->Serialize(*this);
    } catch (...) {
        // The object is not handed out, so it is freed here; later references to its
        // index (there can be none once this load fails) are cleared.
        m_loadMap[slot].ptr = nullptr;
        delete object;
        throw;
    }
    return object;
}

CArchive& operator<<(CArchive& ar, const CObject* object)
{
    ar.WriteObject(object);
    return ar;
}

CArchive& operator>>(CArchive& ar, CObject*& object)
{
    object = ar.ReadObject(nullptr);
    return ar;
}

CArchive& operator>>(CArchive& ar, const CObject*& object)
{
    object = ar.ReadObject(nullptr);
    return ar;
}

// ---- run-time class records -------------------------------------------------------------

void CRuntimeClass::Store(CArchive& ar) const
{
    WORD len = static_cast<WORD>(std::strlen(m_lpszClassName));
    ar << static_cast<WORD>(m_wSchema) << len;
    ar.Write(m_lpszClassName, len);
}

CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* schema)
{
    WORD wSchema, len;
    ar >> wSchema >> len;
    if (len >= kMaxClassName)
        return nullptr;
    char name[kMaxClassName];
    if (ar.Read(name, len) != len)
        AfxThrowArchiveException(CArchiveException::endOfFile, ar.m_strFileName);
    name[len] = 0;
    // A name with a zero in it names no class (the part before the zero is not its name).
    if (std::memchr(name, 0, len))
        return nullptr;
    if (schema)
        *schema = wSchema;
    return FromName(name);
}
