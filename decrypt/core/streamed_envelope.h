// Enveloped content read from its file as it stands, instead of whole into memory: the
// structure around the encrypted content (recipients, cipher) is read and decoded as usual,
// the encrypted content itself stays in the file and is decrypted chunk by chunk into the
// output, so a large message costs a few buffers of memory, not its size twice over.
#pragma once

#include "framework/file.h"
#include "sigilbox/pki/pkcs7.h"

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

class CRC2_CBC;
class CStreamFeed;

class CStreamedEnvelope {
public:
    CStreamedEnvelope();
    ~CStreamedEnvelope();
    CStreamedEnvelope(const CStreamedEnvelope&) = delete;
    CStreamedEnvelope& operator=(const CStreamedEnvelope&) = delete;

    // Reads the file at `path` when it is a content info of enveloped data holding data, in
    // the plain shape senders write (DER or BER; the encrypted content one primitive value
    // or a run of primitive segments; nothing after the content info); FALSE for anything
    // else, and the file is then read the usual way, which also tells what is wrong with it.
    // Raises a file exception when the file cannot be read.
    BOOL Open(const char* path);

    // The enveloped data without its encrypted content (which stays in the file).
    CASN1_EnvelopedData& Envelope() { return m_envelope; }

    // The encrypted content's octets (the segments' values as one run), as a file read front
    // to back; the length is the number of octets.
    CFile& CipherText();
    long long CipherLength() const { return m_nCipherLength; }
    // Reads `count` octets at `offset` of the encrypted content.
    void ReadCipherAt(long long offset, BYTE* out, UINT count);

private:
    class CCipherFile;
    void ReadRanges(long long offset, BYTE* out, UINT count);
    CASN1_EnvelopedData m_envelope;
    std::unique_ptr<CFile> m_file;
    std::vector<std::pair<long long, long long>> m_ranges;   // offset, length in the file
    long long m_nCipherLength = 0;
    std::unique_ptr<CCipherFile> m_cipher;
};

// The decryption of a streamed envelope's content, set up and checked (key unlocked, padding
// found good): what is left is to run it, here or on another thread.
class CContentDecryption {
public:
    CContentDecryption(std::unique_ptr<CRC2_CBC> processor, CStreamedEnvelope& source, long long plainLength);
    ~CContentDecryption();
    long long PlainLength() const { return m_nPlainLength; }
    // Writes the plaintext to `out`. With a feed, the feed learns of every run of bytes
    // written and readers may follow; `stop` set by another thread ends the run with a
    // file exception at the next chunk.
    void Run(CFile& out, CStreamFeed* feed = nullptr, const std::atomic<bool>* stop = nullptr);

private:
    std::unique_ptr<CRC2_CBC> m_processor;
    CStreamedEnvelope& m_source;
    long long m_nPlainLength;
};

// The bytes the padding of an RC2-CBC content takes, found from its last block alone
// (decrypted with the block before it, or the IV, as chaining value); raises the unlock
// exception the whole decryption would raise at its end (a length that is not a whole
// number of blocks, bad padding).
UINT CheckedPadding(const class CRC2key& key, CStreamedEnvelope& source);

// Contents at least this long are decrypted on a thread of their own while the message is
// read; shorter ones at once.
constexpr long long kConcurrentDecryptionFrom = 1024 * 1024;
