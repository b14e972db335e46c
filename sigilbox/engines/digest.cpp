// The block buffering, progress reporting and file reading shared by every digest maker.
#include "sigilbox/engines/digest.h"

#include "framework/exceptions.h"
#include "framework/file.h"
#include "sigilbox/engines/progress.h"

#include <cstring>

void CDigestMaker::CopyBaseFrom(const CDigestMaker& other)
{
    // Same algorithm on both sides, so the block sizes already agree.
    m_nBuffered = other.m_nBuffered;
    std::memcpy(m_pBlock, other.m_pBlock, static_cast<size_t>(m_nBlockSize));
}

void CDigestMaker::UpdateDigestBlocks(const BYTE* blocks, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        UpdateDigest(blocks + i * static_cast<size_t>(m_nBlockSize));
}

void CDigestMaker::CompressInput(const BYTE* data, size_t blocks, CProgress* progress)
{
    if (!progress) {
        UpdateDigestBlocks(data, blocks);
        return;
    }
    for (size_t i = 0; i < blocks; ++i) {
        progress->Hint(1);
        UpdateDigest(data + i * static_cast<size_t>(m_nBlockSize));
    }
}

void CDigestMaker::UpdateBlock(const BYTE* data, int count, CProgress* progress, int final, int countLength)
{
    if (count < 0 || (count > 0 && !data))
        AfxThrowInvalidArgException();
    if (countLength)
        UpdateTotalLength(count);

    const size_t blockSize = static_cast<size_t>(m_nBlockSize);
    size_t left = static_cast<size_t>(count);

    // Complete a block started by an earlier call.
    if (m_nBuffered > 0 && left > 0) {
        size_t take = blockSize - static_cast<size_t>(m_nBuffered);
        if (take > left)
            take = left;
        std::memcpy(m_pBlock + m_nBuffered, data, take);
        m_nBuffered += static_cast<int>(take);
        data += take;
        left -= take;
        if (static_cast<size_t>(m_nBuffered) == blockSize) {
            if (progress)
                progress->Hint(1);
            UpdateDigest(m_pBlock);
            m_nBuffered = 0;
        }
    }

    // Whole blocks straight from the caller's data. A last full block goes the same way as
    // it would through the buffer: compressed at once.
    if (left > 0) {
        size_t blocks = left / blockSize;
        CompressInput(data, blocks, progress);
        data += blocks * blockSize;
        left -= blocks * blockSize;
        if (left > 0) {
            std::memcpy(m_pBlock, data, left);
            m_nBuffered = static_cast<int>(left);
        }
    }

    if (final) {
        if (progress)
            progress->Hint(1);
        UpdateLastBytes();
    }
}

namespace {

// Reads exactly count bytes (a file may deliver fewer per call) or raises endOfFile: feeding
// a partly filled chunk would digest bytes that are not in the file.
void ReadChunk(CFile& file, BYTE* buffer, UINT count)
{
    UINT got = 0;
    while (got < count) {
        UINT n = file.Read(buffer + got, count - got);
        if (n == 0)
            AfxThrowFileException(CFileException::endOfFile, -1, file.GetFilePath());
        got += n;
    }
}

} // namespace

void CDigestMaker::UpdateFile(CFile& file, DWORD count, CProgress* progress, int final)
{
    constexpr UINT kChunk = 1024;
    unsigned long long total = count;
    if (total == 0) {
        long long rest = file.GetLength() - file.GetPosition();
        total = rest > 0 ? static_cast<unsigned long long>(rest) : 0;
    }

    if (progress)
        progress->SetUp(static_cast<int>(total / 8), 0, 1, 0);

    BYTE buffer[kChunk];
    for (unsigned long long i = total / kChunk; i > 0; --i) {
        ReadChunk(file, buffer, kChunk);
        UpdateBlock(buffer, kChunk, progress, 0, 1);
    }
    // A nonzero multiple of 1024 stays unfinished, whatever the final flag says.
    if (total % kChunk != 0 || total < kChunk) {
        UINT rest = static_cast<UINT>(total % kChunk);
        ReadChunk(file, buffer, rest);
        UpdateBlock(buffer, static_cast<int>(rest), progress, final, 1);
    }
    std::memset(buffer, 0, sizeof buffer);

    if (progress)
        progress->SetUp(1, 0, 1, 1);
}

void AfxMakeMD5DigestOnData(const BYTE* data, int count, BYTE* digest)
{
    CMD5DigestMaker maker;
    maker.UpdateBlock(data, count, nullptr, 1, 1);
    maker.GetCurrentDigest(digest);
}
