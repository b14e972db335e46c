// CArchive: reads and writes the framework's version 4 serialisation format byte for byte,
// so stored files of the original program load here and ours load there.
#pragma once

#include "framework/cstring.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/framework_export.h"
#include "framework/object.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class FRAMEWORK_API CArchive {
public:
    enum Mode { store = 0, load = 1, bNoFlushOnDelete = 2, bNoByteSwap = 4 };

    CArchive(CFile* file, UINT mode, int bufSize = 4096, void* buf = nullptr);
    ~CArchive();
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;

    BOOL IsLoading() const { return (m_nMode & load) != 0; }
    BOOL IsStoring() const { return (m_nMode & load) == 0; }
    CFile* GetFile() const { return m_pFile; }

    // Raw bytes: Read returns a short count at the end of the data.
    UINT Read(void* buffer, UINT count);
    void Write(const void* buffer, UINT count);
    void Flush();
    void Close();
    void Abort();

    // Bytes left to read, for checking a stored length before anything is allocated.
    unsigned long long BytesLeft() const;
    // Raises endOfFile unless at least `bytes` remain.
    void EnsureAvailable(unsigned long long bytes) const;

    CArchive& operator<<(BYTE v) { WriteRaw(&v, 1); return *this; }
    CArchive& operator<<(char v) { WriteRaw(&v, 1); return *this; }
    CArchive& operator<<(signed char v) { WriteRaw(&v, 1); return *this; }
    CArchive& operator<<(WORD v) { return WriteLE(v, 2); }
    CArchive& operator<<(short v) { return WriteLE(static_cast<WORD>(v), 2); }
    CArchive& operator<<(DWORD v) { return WriteLE(v, 4); }
    CArchive& operator<<(LONG v) { return WriteLE(static_cast<DWORD>(v), 4); }
    // On the original platform long was 32 bits; stored files keep that width.
    CArchive& operator<<(unsigned long v) { return WriteLE(static_cast<DWORD>(v), 4); }
    CArchive& operator<<(long v) { return WriteLE(static_cast<DWORD>(v), 4); }
    CArchive& operator<<(float v);
    CArchive& operator<<(double v);
    CArchive& operator<<(const CString& s);

    CArchive& operator>>(BYTE& v) { ReadRaw(&v, 1); return *this; }
    CArchive& operator>>(char& v) { ReadRaw(&v, 1); return *this; }
    CArchive& operator>>(signed char& v) { ReadRaw(&v, 1); return *this; }
    CArchive& operator>>(WORD& v) { v = static_cast<WORD>(ReadLE(2)); return *this; }
    CArchive& operator>>(short& v) { v = static_cast<short>(ReadLE(2)); return *this; }
    CArchive& operator>>(DWORD& v) { v = static_cast<DWORD>(ReadLE(4)); return *this; }
    CArchive& operator>>(LONG& v) { v = static_cast<LONG>(ReadLE(4)); return *this; }
    CArchive& operator>>(unsigned long& v) { v = static_cast<DWORD>(ReadLE(4)); return *this; }
    CArchive& operator>>(long& v) { v = static_cast<LONG>(ReadLE(4)); return *this; }
    CArchive& operator>>(float& v);
    CArchive& operator>>(double& v);
    CArchive& operator>>(CString& s);

    // Element counts of collections.
    void WriteCount(DWORD count);
    DWORD ReadCount();

    // Text lines (no length prefix): WriteString writes the text as it is; ReadString reads
    // up to and without the line end.
    void WriteString(const char* text);
    BOOL ReadString(CString& line);

    // Objects and class records.
    void WriteObject(const CObject* object);
    CObject* ReadObject(const CRuntimeClass* requested);
    // The same for an object the caller will own: only a newly stored object (or null) is
    // accepted; a reference to one loaded before, which someone else owns, is badIndex.
    CObject* ReadOwnedObject(const CRuntimeClass* requested);
    void WriteClass(const CRuntimeClass* cls);
    CRuntimeClass* ReadClass(const CRuntimeClass* requested = nullptr, UINT* schema = nullptr, DWORD* objTag = nullptr);
    void SerializeClass(const CRuntimeClass* cls);
    // The schema stored with the object being loaded; (UINT)-1 when unknown. Resets on read.
    UINT GetObjectSchema();
    void SetObjectSchema(UINT schema) { m_nObjectSchema = schema; }
    // Registers an object as already stored or loaded, so later references point at it.
    void MapObject(const CObject* object);

    CString m_strFileName;

private:
    void WriteRaw(const void* p, UINT n);
    void ReadRaw(void* p, UINT n);
    CArchive& WriteLE(DWORD v, int bytes);
    DWORD ReadLE(int bytes);
    void FillBuffer(UINT needed);
    CObject* ReadObject(const CRuntimeClass* requested, bool allowReference);
    void CheckLoading() const;
    void CheckStoring() const;

    CFile* m_pFile;
    UINT m_nMode;
    std::vector<BYTE> m_buf;
    size_t m_bufPos = 0;     // loading: next byte in m_buf; storing: bytes buffered
    size_t m_bufLen = 0;     // loading: bytes valid in m_buf
    UINT m_nObjectSchema = static_cast<UINT>(-1);

    // Loading: index -> object or class. Storing: object or class -> index.
    struct LoadEntry {
        void* ptr;
        bool isClass;
    };
    std::vector<LoadEntry> m_loadMap;
    std::unordered_map<const void*, DWORD> m_storeMap;
    std::unordered_map<const CRuntimeClass*, UINT> m_schemaMap;
    DWORD m_nMapCount = 1;
};

FRAMEWORK_API CArchive& operator<<(CArchive& ar, const CObject* object);
FRAMEWORK_API CArchive& operator>>(CArchive& ar, CObject*& object);
FRAMEWORK_API CArchive& operator>>(CArchive& ar, const CObject*& object);
