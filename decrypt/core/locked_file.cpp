#include "decrypt/core/locked_file.h"

#include "decrypt/core/dialog_helpers.h"
#include "framework/file.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/engines/unlock_exception.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char kNotValid[] = "UnlockFileWithKey - locked file is not valid or key is corrupted";
const char kParity[] = "UnlockFileWithKey - locked DES is corrupted (parity check failed)";
const char kDigest[] = "UnlockFileWithKey - data to unlock are corrupted or key is not valid (invalid unlocked digest)";

// A byte buffer that is wiped when it goes away.
class SecretBuffer {
public:
    explicit SecretBuffer(size_t size) : m_bytes(size) {}
    ~SecretBuffer() { WipeBytes(m_bytes.data(), m_bytes.size()); }
    SecretBuffer(const SecretBuffer&) = delete;
    SecretBuffer& operator=(const SecretBuffer&) = delete;
    BYTE* data() { return m_bytes.data(); }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<BYTE> m_bytes;
};

void Stage(ProgressDialog* dialog, const char* text)
{
    if (dialog)
        dialog->SetStageText(text);
}

CProgress* ProgressOf(ProgressDialog* dialog) { return dialog ? &dialog->GetProgress() : nullptr; }

// The CBC processor of a symmetric key record (types 1, 2, 3); null for other records.
std::unique_ptr<CCryptoProcessor> SymmetricProcessor(const CKeyInfo& keyInfo)
{
    if (!keyInfo.m_pKey || keyInfo.m_pKey->GetRuntimeClass() != CKeyInfo::KeyClassOf(keyInfo.m_nType))
        return nullptr;
    switch (keyInfo.m_nType) {
    case CKeyInfo::DESKey: return std::make_unique<CDES_CBC>(*static_cast<const CDESkey*>(keyInfo.m_pKey));
    case CKeyInfo::TripleDESKey: return std::make_unique<CTripleDES_CBC>(*static_cast<const CTripleDESkey*>(keyInfo.m_pKey));
    case CKeyInfo::IDEAKey: return std::make_unique<CIDEA_CBC>(*static_cast<const CIDEAkey*>(keyInfo.m_pKey));
    default: return nullptr;
    }
}

long long Remaining(const CFile& file) { return file.GetLength() - file.GetPosition(); }

// Reads exactly count bytes or fails as an invalid locked file.
void ReadExactly(CFile& source, void* buffer, UINT count)
{
    if (Remaining(source) < count || source.Read(buffer, count) != count)
        AfxThrowUnlockException(kNotValid);
}

}  // namespace

void WipeBytes(void* data, size_t count)
{
    volatile BYTE* p = static_cast<volatile BYTE*>(data);
    while (count--)
        *p++ = 0;
}

CWipingMemFile::~CWipingMemFile()
{
    // The base destructor would free the buffer without this class's wiping.
    Close();
}

void CWipingMemFile::Close()
{
    if (m_lpBuffer && m_bAutoDelete)
        WipeBytes(m_lpBuffer, m_nBufferSize);
    CMemFile::Close();
}

void CWipingMemFile::WipeContents()
{
    if (m_lpBuffer)
        WipeBytes(m_lpBuffer, m_nBufferSize);
    m_nFileSize = m_nPosition = 0;
}

BYTE* CWipingMemFile::Realloc(BYTE* block, size_t bytes)
{
    // Move by hand so the old block can be overwritten before it is freed.
    BYTE* grown = Alloc(bytes);
    if (!grown)
        return nullptr;
    size_t keep = m_nBufferSize < bytes ? m_nBufferSize : bytes;
    if (block) {
        std::memcpy(grown, block, keep);
        WipeBytes(block, m_nBufferSize);
        Free(block);
    }
    return grown;
}

CKeyInfo MakePasswordKey(const char* password, int length)
{
    BYTE digest[16];
    CMD5DigestMaker md5;
    md5.UpdateBlock(reinterpret_cast<const BYTE*>(password), static_cast<WORD>(length < 0 ? 0 : length), nullptr, 1);
    md5.GetCurrentDigest(digest);
    md5.ResetContext();
    auto* key = new CDESkey;
    std::memcpy(key->m_IV, digest, 8);
    std::memcpy(key->m_Key, digest + 8, 8);
    AdjustDESKeyParity(key->m_Key, 8);
    WipeBytes(digest, sizeof digest);
    return CKeyInfo("", CKeyInfo::DESKey, key, 0);
}

void LockFileWithKey(CFile& source, CFile& destination, const CKeyInfo& keyInfo, ProgressDialog* progressDialog)
{
    Stage(progressDialog, "preparing...");
    CProgress* progress = ProgressOf(progressDialog);
    long long start = source.GetPosition();
    CDESkey session;

    std::unique_ptr<SecretBuffer> locked;
    if (keyInfo.IsRSA()) {
        const CRSAPublicKey* key = keyInfo.GetPublicKey();
        if (!key)
            AfxThrowInvalidArgException();
        CRSAPublicKey publicKey(*key);
        locked = std::make_unique<SecretBuffer>(static_cast<size_t>(publicKey.LockedDataSize()));
        publicKey.LockDESKey(session, locked->data());
    } else {
        std::unique_ptr<CCryptoProcessor> processor = SymmetricProcessor(keyInfo);
        if (!processor)
            AfxThrowInvalidArgException();
        locked = std::make_unique<SecretBuffer>(8);
        processor->EncryptBlock(session.m_Key, 8, locked->data(), nullptr);
    }

    BYTE header[2] = {static_cast<BYTE>(locked->size() & 0xFF), static_cast<BYTE>(locked->size() >> 8)};
    destination.Write(header, 2);
    destination.Write(locked->data(), static_cast<UINT>(locked->size()));
    destination.Write(session.m_IV, 8);

    Stage(progressDialog, "computing digest for integrity check...");
    BYTE digest[16];
    CMD5DigestMaker md5;
    md5.UpdateFile(source, 0, progress, 1);
    md5.GetCurrentDigest(digest);
    source.Seek(start, CFile::begin);

    Stage(progressDialog, "locking data...");
    CDES_CBC processor(session);
    processor.EncryptBlock(digest, 16, digest, progress);
    destination.Write(digest, 16);
    processor.EncryptFile(source, 0, destination, progress);
    Stage(progressDialog, "finished locking");
}

void UnlockFileWithKey(CFile& source, CFile& destination, const CKeyInfo& keyInfo, ProgressDialog* progressDialog)
{
    Stage(progressDialog, "preparing...");
    CProgress* progress = ProgressOf(progressDialog);

    BYTE header[2];
    ReadExactly(source, header, 2);
    UINT n = header[0] | (UINT(header[1]) << 8);

    // The session key with its IV still random; the stored IV replaces it below.
    std::unique_ptr<CDESkey> session;
    if (keyInfo.IsRSA()) {
        const CRSAPrivateKey* key = keyInfo.GetPrivateKey();
        if (!key)
            AfxThrowUnlockException(kNotValid);
        CRSAPrivateKey privateKey(*key);
        if (static_cast<UINT>(privateKey.LockedDataSize()) != n)
            AfxThrowUnlockException(kNotValid);
        SecretBuffer locked(n);
        ReadExactly(source, locked.data(), n);
        session = std::make_unique<CDESkey>(privateKey.UnlockDESKey(locked.data(), static_cast<int>(n * 8)));
    } else {
        std::unique_ptr<CCryptoProcessor> processor = SymmetricProcessor(keyInfo);
        if (!processor || n != 8)
            AfxThrowUnlockException(kNotValid);
        BYTE keyBytes[8];
        ReadExactly(source, keyBytes, 8);
        processor->DecryptBlock(keyBytes, 8, keyBytes, nullptr);
        // Checked before a key object is made: a wrong password mostly ends here, cheaply.
        bool parityOK = IsDESKeyParityOK(keyBytes, 8) != 0;
        if (parityOK) {
            session = std::make_unique<CDESkey>();
            std::memcpy(session->m_Key, keyBytes, 8);
        }
        WipeBytes(keyBytes, sizeof keyBytes);
        if (!parityOK)
            AfxThrowUnlockException(kParity);
    }
    ReadExactly(source, session->m_IV, 8);
    CDES_CBC processor(*session);
    session.reset();

    Stage(progressDialog, "unlocking data...");
    BYTE expected[16];
    ReadExactly(source, expected, 16);
    processor.DecryptBlock(expected, 16, expected, progress);

    long long start = destination.GetPosition();
    processor.DecryptFile(source, 0, destination, progress);
    destination.Flush();
    destination.Seek(start, CFile::begin);

    Stage(progressDialog, "checking data integrity...");
    BYTE actual[16];
    CMD5DigestMaker md5;
    md5.UpdateFile(destination, 0, progress, 1);
    md5.GetCurrentDigest(actual);
    md5.ResetContext();
    destination.Seek(start, CFile::begin);
    bool same = std::memcmp(expected, actual, 16) == 0;
    WipeBytes(expected, sizeof expected);
    WipeBytes(actual, sizeof actual);
    if (!same)
        AfxThrowUnlockException(kDigest);
    Stage(progressDialog, "finished data unlocking");
}
