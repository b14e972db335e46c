// CMemFile: a file in memory that grows in whole multiples of its growth step.
#pragma once

#include "framework/file.h"
#include "framework/framework_export.h"

class FRAMEWORK_API CMemFile : public CFile {
    DECLARE_DYNAMIC(CMemFile)
public:
    explicit CMemFile(UINT growBytes = 1024);
    CMemFile(BYTE* buffer, UINT bufferSize, UINT growBytes = 0);
    ~CMemFile() override;

    void Attach(BYTE* buffer, UINT bufferSize, UINT growBytes = 0);
    BYTE* Detach();

    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    long long Seek(long long offset, UINT from) override;
    long long GetPosition() const override { return m_nPosition; }
    long long GetLength() const override { return m_nFileSize; }
    void SetLength(long long newLength) override;
    void Flush() override {}
    void Close() override;
    void Abort() override { Close(); }
    void LockRange(long long, long long) override { AfxThrowNotSupportedException(); }
    void UnlockRange(long long, long long) override { AfxThrowNotSupportedException(); }
    BOOL GetStatus(CFileStatus& status) const override;

    // The bytes written so far (valid until the next write).
    const BYTE* GetBufferPtr() const { return m_lpBuffer; }

protected:
    virtual BYTE* Alloc(size_t bytes);
    virtual BYTE* Realloc(BYTE* block, size_t bytes);
    virtual void Free(BYTE* block);
    virtual void GrowFile(size_t newLength);

    size_t m_nGrowBytes;
    size_t m_nPosition;
    size_t m_nBufferSize;
    size_t m_nFileSize;
    BYTE* m_lpBuffer;
    BOOL m_bAutoDelete;
};
