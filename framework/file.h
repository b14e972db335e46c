// CFile over the operating system's files, its status record and static helpers.
// Share modes are honoured between our own processes with advisory locks.
#pragma once

#include "framework/cstring.h"
#include "framework/exceptions.h"
#include "framework/framework_export.h"
#include "framework/object.h"

#include <ctime>

// The framework's time value, seconds since 1970 (UTC).
class FRAMEWORK_API CTime {
public:
    CTime() = default;
    explicit CTime(std::time_t t) : m_time(t) {}
    std::time_t GetTime() const { return m_time; }
    static CTime GetCurrentTime();
    friend bool operator==(const CTime& a, const CTime& b) { return a.m_time == b.m_time; }

private:
    std::time_t m_time = 0;
};

struct FRAMEWORK_API CFileStatus {
    CTime m_ctime;
    CTime m_mtime;
    CTime m_atime;
    long long m_size = 0;
    BYTE m_attribute = 0;     // 0x01 read-only, 0x10 directory
    char m_szFullName[_MAX_PATH] = {};
};

class FRAMEWORK_API CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
        // Our additions: create only when the name does not exist yet, never through a
        // symbolic link; create readable by the owner only.
        modeCreateExclusive = 0x10000,
        modeOwnerOnly = 0x20000,
        // Only a regular file opens, and opening never waits (a FIFO, a socket or a
        // device fails at once, its error ENXIO).
        modeRegularOnly = 0x40000,
    };
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wshadow"   // "system" is the attribute's own name
#endif
    enum Attribute : BYTE { normal = 0x00, readOnly = 0x01, hidden = 0x02, system = 0x04, volume = 0x08, directory = 0x10, archive = 0x20 };
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    enum SeekPosition { begin = 0, current = 1, end = 2 };
    static constexpr int hFileNull = -1;

    CFile();
    explicit CFile(int hFile);
    CFile(const char* fileName, UINT openFlags);   // throws CFileException*
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    virtual BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual long long Seek(long long offset, UINT from);
    long long SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    virtual long long GetPosition() const;
    virtual long long GetLength() const;
    virtual void SetLength(long long newLength);
    virtual void Flush();
    virtual void Close();
    virtual void Abort();
    virtual void LockRange(long long pos, long long count);
    virtual void UnlockRange(long long pos, long long count);
    virtual BOOL GetStatus(CFileStatus& status) const;

    CString GetFileName() const;
    CString GetFilePath() const { return m_strFileName; }
    void SetFilePath(const char* path) { m_strFileName = path; }

    static void Rename(const char* oldName, const char* newName);
    static void Remove(const char* fileName);
    static BOOL GetStatus(const char* fileName, CFileStatus& status);

    int m_hFile;

protected:
    BOOL m_bCloseOnDelete;
    CString m_strFileName;
};
