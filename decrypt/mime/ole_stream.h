// COleStream: a storage stream seen as a file. Several COleStream objects may stand on
// clones of one stream; each keeps its own position. Reads go through a read-ahead buffer
// so line-by-line scanning of a large message costs few calls into the stream.
#pragma once

#include "decrypt/mime/stg_interfaces.h"
#include "framework/file.h"

#include <memory>

class COleStream : public CFile {
    DECLARE_DYNAMIC(COleStream)
public:
    COleStream();
    ~COleStream() override;

    // Takes over one reference of the stream; the name comes from the stream's status.
    void Attach(IStream* stream);
    // Gives the reference back without releasing it.
    IStream* Detach();
    IStream* GetStream() const { return m_lpStream; }
    BOOL IsOpen() const { return m_lpStream != nullptr; }

    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    long long Seek(long long offset, UINT from) override;
    long long GetPosition() const override;
    long long GetLength() const override;
    void SetLength(long long newLength) override;
    void Flush() override;
    void Close() override;
    void Abort() override;
    void LockRange(long long pos, long long count) override;
    void UnlockRange(long long pos, long long count) override;
    BOOL GetStatus(CFileStatus& status) const override;

    // Reads one line of at most maxChars - 1 characters into buffer (zero-terminated),
    // without its terminator. CR LF and LF CR are one terminator, CR CR and LF LF two. A
    // line without terminator within the limit is returned as it is and reading goes on
    // right after it. Null when nothing was left to read.
    char* ReadString(char* buffer, UINT maxChars);

    // The same with the line's bytes (NULs included) and how it ended: the terminator's
    // length (0 when the line was cut at the limit or ran into the end of the stream).
    struct LineInfo {
        size_t length = 0;
        int terminator = 0;
    };
    BOOL ReadLine(char* buffer, UINT maxChars, LineInfo& info);

    // The storage the stream belongs to (set by the storage that opened it).
    CString m_strStorageName;

private:
    void CheckOpen() const;
    // Makes the read-ahead buffer hold the byte at the current position; false at the end.
    bool FillAtPosition();
    void DropBuffer() { m_nBufLen = 0; }

    IStream* m_lpStream;
    unsigned long long m_nPos;
    std::unique_ptr<BYTE[]> m_pBuf;
    unsigned long long m_nBufStart;
    size_t m_nBufLen;
    unsigned long long m_nBufChanges;   // the stream's change count when the buffer was filled
};

// Raises the file exception for a failed storage result; `name` is the file or stream.
[[noreturn]] void AfxThrowStgResult(HRESULT hr, const char* name);
// Fills a file-exception record from a storage result: results of the storage facility
// below 0x100 become the cause of the matching system error, STG_E_INUSE a sharing
// violation, anything else the generic cause; the raw result is the system error number.
void AfxStgResultToFileException(HRESULT hr, const char* name, CFileException* error);
