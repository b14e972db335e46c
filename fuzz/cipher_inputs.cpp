// Untrusted inputs of the cipher layer, chosen by the first byte: (0) a stored key object,
// (1) ciphertext for DecryptFile, (2) a wrapped file for CCryptoFile. Whatever the bytes,
// the only outcomes are a clean result or one of the documented exceptions; a loaded key
// stores back to the bytes it came from, a decrypted file is shorter than its ciphertext by
// its padding, and a crypto file reads back exactly its length.
#include "framework/memfile.h"
#include "sigilbox/engines/crypto_file.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/unlock_exception.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "cipher_inputs: %s\n", what);
        std::abort();
    }
}

void KeyRecord(const BYTE* data, size_t size)
{
    std::vector<BYTE> copy(data, data + size);
    CMemFile file(copy.data(), static_cast<UINT>(copy.size()));
    std::unique_ptr<CObject> key;
    UINT consumed = 0;
    try {
        CArchive ar(&file, CArchive::load);
        key.reset(ar.ReadObject(RUNTIME_CLASS(CKey)));
        ar.Close();
        consumed = static_cast<UINT>(file.GetPosition());
    } catch (CArchiveException* e) {
        e->Delete();
        return;
    } catch (CFileException* e) {
        e->Delete();
        return;
    }
    if (!key)
        return;
    Check(key->IsKindOf(RUNTIME_CLASS(CKey)), "loaded object is not a key");
    auto* rc2 = dynamic_cast<CRC2key*>(key.get());
    if (rc2 && rc2->m_nKeyLength > CRC2key::StoredKeyBytes)
        return;   // refused when stored again; the record holds only 16 key bytes
    CMemFile out;
    {
        CArchive ar(&out, CArchive::store);
        ar << static_cast<const CObject*>(key.get());
        ar.Close();
    }
    Check(out.GetLength() <= consumed && std::memcmp(out.GetBufferPtr(), data, static_cast<size_t>(out.GetLength())) == 0,
          "a loaded key does not store back to its record");
}

CRC2key FixedKey()
{
    CRC2key key;
    std::memset(key.m_Key, 0x3C, sizeof key.m_Key);
    std::memset(key.m_IV, 0xA5, sizeof key.m_IV);
    return key;
}

void Ciphertext(const BYTE* data, size_t size)
{
    std::vector<BYTE> copy(data, data + size);
    CMemFile in(copy.data(), static_cast<UINT>(copy.size()));
    CMemFile out;
    CRC2_CBC processor(FixedKey());
    try {
        processor.DecryptFile(in, 0, out, nullptr);
    } catch (CUnlockException* e) {
        e->Delete();
        return;
    }
    Check(size % 8 == 0 && size >= 8, "DecryptFile accepted a bad length");
    Check(out.GetLength() + 1 <= static_cast<long long>(size) && out.GetLength() + 8 >= static_cast<long long>(size),
          "DecryptFile output is not the input less 1 to 8 bytes");
}

void WrappedFile(const BYTE* data, size_t size, DWORD chunk)
{
    std::vector<BYTE> copy(data, data + size);
    CMemFile wrapped;
    if (!copy.empty())
        wrapped.Write(copy.data(), static_cast<UINT>(copy.size()));
    CRC2_CBC processor(FixedKey());
    try {
        CCryptoFile file(&wrapped, processor, chunk, FALSE);
        std::vector<BYTE> plain(static_cast<size_t>(file.GetLength()) + 1);
        UINT n = file.Read(plain.data(), static_cast<UINT>(plain.size()));
        Check(n == file.GetLength(), "a crypto file reads back other than its length");
        // Writing at the end and cutting back must keep the file readable.
        file.Write("12345", 5);
        file.SetLength(file.GetLength() - file.GetLength() % 8);
    } catch (CFileException* e) {
        e->Delete();
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    switch (data[0] % 3) {
    case 0:
        KeyRecord(data + 1, size - 1);
        break;
    case 1:
        Ciphertext(data + 1, size - 1);
        break;
    default:
        WrappedFile(data + 1, size - 1, data[0] & 0x80 ? 16 : 2400);
        break;
    }
    return 0;
}
