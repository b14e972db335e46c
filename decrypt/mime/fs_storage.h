// The file-system storage: a folder plays the storage and every stream is a file in it.
// Stream clones share one open file and keep their own positions.
#pragma once

#include "decrypt/mime/stg_interfaces.h"

#include <condition_variable>
#include <memory>
#include <mutex>

// Longest element path (folder, separator and name) a file-system storage accepts: the
// system's own limit (PATH_MAX), not the 260 characters of the other platform.
constexpr int kMaxElementPath = 4096;

// Opens (or, with `create` or the STGM_CREATE bit, creates) the storage over the folder
// `path`; an existing folder is accepted. With no path a fresh folder with the prefix "stg"
// is made in the system's temporary folder.
HRESULT FsOpenStorage(const char* path, DWORD mode, BOOL create, IStorage** storage);

// The storage result for a platform error number (GetLastError's).
HRESULT StgResultFromSystemError(DWORD error);

// A stream file that another thread is still writing, front to back, with its final length
// known: streams opened on it see that length at once, and a read waits until the bytes it
// asks for are there. When the writer stops short (a failure, a cancel) the waiting reads
// fail, so the reader never takes a missing byte for the end of the stream.
class CStreamFeed {
public:
    explicit CStreamFeed(unsigned long long length) : m_nLength(length) {}
    unsigned long long Length() const { return m_nLength; }
    // The first `written` bytes are in the file.
    void Advance(unsigned long long written);
    // No more bytes come.
    void Stop();
    BOOL Stopped() const;
    // Waits until the bytes before `end` (at most the length) are in the file; FALSE when
    // the writer stopped short of them.
    BOOL WaitFor(unsigned long long end);

private:
    const unsigned long long m_nLength;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    unsigned long long m_nWritten = 0;
    bool m_bStopped = false;
};

// Streams opened from now on over the file at `path` (the storage's folder, a separator
// and the element name) read it through `feed`; null takes the feed away.
void FsSetStreamFeed(const char* path, std::shared_ptr<CStreamFeed> feed);
