// CCryptoFile: an encrypted file seen as an ordinary file of plaintext. Reads decrypt,
// writes encrypt, seeks move within the plaintext.
//
// Ciphertext layout: the plaintext cut into chunks of the chunk size, each enciphered on its
// own with the processor's chain restarted from the IV, so that any chunk can be read or
// rewritten alone; the last chunk (possibly empty) carries the library's padding of 1 to 8
// bytes, so the ciphertext is a multiple of 8 bytes and 1 to 8 bytes longer than the
// plaintext, and plaintext and ciphertext positions coincide up to the padding.
//
// Every write leaves the wrapped file in that layout (the last chunk is rewritten with its
// padding when a write reaches it), so the file is readable even if Close never runs.
#pragma once

#include "framework/file.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/sigilbox_export.h"

#include <memory>

class SIGILBOX_API CCryptoFile : public CFile {
    DECLARE_DYNAMIC(CCryptoFile)
public:
    // The chunk size must be a nonzero multiple of 8 (else CInvalidArgException). The
    // wrapped file's length must be a multiple of 8 below 4 GiB and its last chunk must
    // carry valid padding (else CFileException generic). With bOwnFile, Close closes the
    // wrapped file and the destructor deletes it; it is deleted too when the constructor
    // fails. The processor is not owned; its chaining registers are reset for every chunk.
    CCryptoFile(CFile* pFile, CCryptoProcessor& processor, DWORD chunkSize, int bOwnFile);
    ~CCryptoFile() override;

    long long GetPosition() const override;
    CString GetFileName() const;
    CString GetFileTitle() const;
    CString GetFilePath() const;
    void SetFilePath(const char* path);
    // Not supported: always 0.
    BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr) override;
    // Not supported: null.
    CFile* Duplicate() const;
    // Positions are plaintext positions, `end` counting from the plaintext's end. A target
    // below 0 or beyond the plaintext raises CFileException (badSeek).
    long long Seek(long long offset, UINT from) override;
    // Cuts the plaintext to newLength, which must be a multiple of 8 and not above the
    // current length (else badSeek); the position becomes newLength.
    void SetLength(long long newLength) override;
    long long GetLength() const override;
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    void LockRange(long long pos, long long count) override;
    void UnlockRange(long long pos, long long count) override;
    void Abort() override;
    void Flush() override;
    void Close() override;
    // Not supported: 0.
    UINT GetBufferPtr(UINT command, UINT count = 0, void** bufStart = nullptr, void** bufMax = nullptr);

    BOOL GetStatus(CFileStatus& status) const override;
    long long SeekToEnd();
    void SeekToBegin();
    UINT ReadHuge(void* buffer, DWORD count) { return Read(buffer, count); }
    void WriteHuge(const void* buffer, DWORD count) { Write(buffer, count); }
    // The wrapped file's handle.
    operator int() const;

private:
    static constexpr DWORD NoChunk = 0xFFFFFFFFu;
    // The longest plaintext whose ciphertext length still fits in 32 bits.
    static constexpr DWORD MaxPlainLength = 0xFFFFFFF0u;

    // Plaintext bytes of chunk `index` for a plaintext of `plainLength` bytes.
    DWORD ChunkPlainBytes(DWORD index, DWORD plainLength) const;
    // Reads and decrypts chunk `index` of the current layout into m_pPlain.
    void LoadChunk(DWORD index);
    // Encrypts the first `plainBytes` of m_pPlain as chunk `index` of a plaintext of
    // `plainLength` bytes (padded when it is the last chunk) and writes it at its place.
    void StoreChunk(DWORD index, DWORD plainBytes, DWORD plainLength);
    // Rewrites the last chunk of a plaintext of `plainLength` bytes and cuts the wrapped
    // file after it. The chunk's plaintext must be in m_pPlain.
    void StoreTail(DWORD plainLength);
    static DWORD CipherLength(DWORD plainLength) { return plainLength - plainLength % 8 + 8; }

    CCryptoProcessor* m_pProcessor;
    DWORD m_nChunkSize;
    CFile* m_pFile;
    int m_bOwnFile;
    int m_bModified;
    DWORD m_nPlainLength;
    DWORD m_nPosition;
    std::unique_ptr<BYTE[]> m_pPlain;
    std::unique_ptr<BYTE[]> m_pCipher;
    // The chunk whose plaintext m_pPlain holds, or NoChunk.
    DWORD m_nLoadedChunk = NoChunk;
};
