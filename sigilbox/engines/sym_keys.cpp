#include "sigilbox/engines/sym_keys.h"

#include "framework/exceptions.h"
#include "sigilbox/engines/randoms.h"

#include <bit>
#include <cstring>

using sigilbox_cipher::WipeKeyBytes;

IMPLEMENT_DYNCREATE(CKey, CObject)
IMPLEMENT_SERIAL(CDESkey, CKey, 1)
IMPLEMENT_SERIAL(CTripleDESkey, CKey, 1)
IMPLEMENT_SERIAL(CIDEAkey, CKey, 1)
IMPLEMENT_SERIAL(CRC2key, CKey, 1)

void AdjustDESKeyParity(BYTE* key, int count)
{
    for (int i = 0; i < count; ++i) {
        BYTE low = key[i] & 0x7F;
        // Bit 7 completes the count of bits 0-6 to an odd number.
        key[i] = (std::popcount(static_cast<unsigned>(low)) & 1) ? low : static_cast<BYTE>(low | 0x80);
    }
}

int IsDESKeyParityOK(const BYTE* key, int count)
{
    for (int i = 0; i < count; ++i)
        if ((std::popcount(static_cast<unsigned>(key[i])) & 1) == 0)
            return 0;
    return 1;
}

namespace {

// Draws the key bytes and then the IV the way every key class does: key bytes from a fresh
// generator, parity when asked, a stir (with the seed again when there is one), the IV.
void GenerateKey(BYTE* key, WORD keySize, BYTE* iv, const BYTE* seed, WORD seedLength, bool desParity)
{
    bool seeded = seed != nullptr && seedLength != 0;
    CRandomsGenerator generator = seeded ? CRandomsGenerator(seed, seedLength) : CRandomsGenerator();
    generator.GetRandomBlock(key, keySize);
    if (desParity)
        AdjustDESKeyParity(key, keySize);
    generator.RegenerateRandoms(seeded ? seed : nullptr, seeded ? seedLength : 0);
    generator.GetRandomBlock(iv, CKey::IVSize);
}

void ThrowBadKeyRecord(CArchive& ar)
{
    AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
}

// Version byte, key bytes and IV, shared by the fixed-size key classes.
void SerializeFixedKey(CArchive& ar, BYTE* key, UINT keySize, BYTE* iv, bool desParity)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0);
        ar.Write(key, keySize);
        ar.Write(iv, CKey::IVSize);
        return;
    }
    BYTE version = 0;
    ar >> version;
    if (version != 0)
        ThrowBadKeyRecord(ar);
    ar.EnsureAvailable(keySize + CKey::IVSize);
    BYTE loadedKey[24];
    BYTE loadedIV[CKey::IVSize];
    ar.Read(loadedKey, keySize);
    ar.Read(loadedIV, CKey::IVSize);
    if (desParity && !IsDESKeyParityOK(loadedKey, static_cast<int>(keySize))) {
        WipeKeyBytes(loadedKey, sizeof loadedKey);
        ThrowBadKeyRecord(ar);
    }
    std::memcpy(key, loadedKey, keySize);
    std::memcpy(iv, loadedIV, CKey::IVSize);
    WipeKeyBytes(loadedKey, sizeof loadedKey);
}

}

// ---- CKey --------------------------------------------------------------------------------

CKey::CKey()
{
    std::memset(m_IV, 0, sizeof m_IV);
}

CKey::CKey(const CKey& other) : CObject(other)
{
    std::memcpy(m_IV, other.m_IV, sizeof m_IV);
}

CKey& CKey::operator=(const CKey& other)
{
    std::memmove(m_IV, other.m_IV, sizeof m_IV);
    return *this;
}

CKey::~CKey()
{
    WipeKeyBytes(m_IV, sizeof m_IV);
}

// ---- CDESkey -----------------------------------------------------------------------------

CDESkey::CDESkey()
{
    GenerateKey(m_Key, KeySize, m_IV, nullptr, 0, true);
}

CDESkey::CDESkey(const BYTE* seed, WORD length)
{
    GenerateKey(m_Key, KeySize, m_IV, seed, length, true);
}

CDESkey::CDESkey(const CDESkey& other) : CKey(other)
{
    std::memcpy(m_Key, other.m_Key, sizeof m_Key);
}

CDESkey& CDESkey::operator=(const CDESkey& other)
{
    CKey::operator=(other);
    std::memmove(m_Key, other.m_Key, sizeof m_Key);
    return *this;
}

CDESkey::~CDESkey()
{
    WipeKeyBytes(m_Key, sizeof m_Key);
}

void CDESkey::Serialize(CArchive& ar)
{
    SerializeFixedKey(ar, m_Key, KeySize, m_IV, true);
}

// ---- CTripleDESkey -----------------------------------------------------------------------

CTripleDESkey::CTripleDESkey()
{
    GenerateKey(m_Key, KeySize, m_IV, nullptr, 0, true);
}

CTripleDESkey::CTripleDESkey(const BYTE* seed, WORD length)
{
    GenerateKey(m_Key, KeySize, m_IV, seed, length, true);
}

CTripleDESkey::CTripleDESkey(const CTripleDESkey& other) : CKey(other)
{
    std::memcpy(m_Key, other.m_Key, sizeof m_Key);
}

CTripleDESkey& CTripleDESkey::operator=(const CTripleDESkey& other)
{
    CKey::operator=(other);
    std::memmove(m_Key, other.m_Key, sizeof m_Key);
    return *this;
}

CTripleDESkey::~CTripleDESkey()
{
    WipeKeyBytes(m_Key, sizeof m_Key);
}

void CTripleDESkey::Serialize(CArchive& ar)
{
    SerializeFixedKey(ar, m_Key, KeySize, m_IV, true);
}

// ---- CIDEAkey ----------------------------------------------------------------------------

CIDEAkey::CIDEAkey()
{
    GenerateKey(m_Key, KeySize, m_IV, nullptr, 0, false);
}

CIDEAkey::CIDEAkey(const BYTE* seed, WORD length)
{
    GenerateKey(m_Key, KeySize, m_IV, seed, length, false);
}

CIDEAkey::CIDEAkey(const CIDEAkey& other) : CKey(other)
{
    std::memcpy(m_Key, other.m_Key, sizeof m_Key);
}

CIDEAkey& CIDEAkey::operator=(const CIDEAkey& other)
{
    CKey::operator=(other);
    std::memmove(m_Key, other.m_Key, sizeof m_Key);
    return *this;
}

CIDEAkey::~CIDEAkey()
{
    WipeKeyBytes(m_Key, sizeof m_Key);
}

void CIDEAkey::Serialize(CArchive& ar)
{
    SerializeFixedKey(ar, m_Key, KeySize, m_IV, false);
}

// ---- CRC2key -----------------------------------------------------------------------------

CRC2key::CRC2key() : m_nKeyLength(5), m_nEffectiveBits(40)
{
    GenerateKey(m_Key, KeySize, m_IV, nullptr, 0, false);
}

CRC2key::CRC2key(const BYTE* seed, WORD length) : m_nKeyLength(5), m_nEffectiveBits(40)
{
    GenerateKey(m_Key, KeySize, m_IV, seed, length, false);
}

CRC2key::CRC2key(const CRC2key& other)
    : CKey(other), m_nKeyLength(other.m_nKeyLength), m_nEffectiveBits(other.m_nEffectiveBits)
{
    std::memcpy(m_Key, other.m_Key, sizeof m_Key);
}

CRC2key& CRC2key::operator=(const CRC2key& other)
{
    CKey::operator=(other);
    std::memmove(m_Key, other.m_Key, sizeof m_Key);
    m_nKeyLength = other.m_nKeyLength;
    m_nEffectiveBits = other.m_nEffectiveBits;
    return *this;
}

CRC2key::~CRC2key()
{
    WipeKeyBytes(m_Key, sizeof m_Key);
}

int CRC2key::AreValidEffectiveBits(WORD bits) const
{
    return bits > 0 && bits < 8u * m_nKeyLength ? 1 : 0;
}

void CRC2key::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        // The stored form has room for 16 key bytes only; a longer key would come back as a
        // different key, so it is refused rather than silently cut.
        if (m_nKeyLength == 0 || m_nKeyLength > StoredKeyBytes || m_nEffectiveBits == 0 || m_nEffectiveBits > 1024)
            ThrowBadKeyRecord(ar);
        ar << static_cast<BYTE>(0) << m_nKeyLength << m_nEffectiveBits;
        ar.Write(m_Key, StoredKeyBytes);
        ar.Write(m_IV, IVSize);
        return;
    }
    BYTE version = 0;
    BYTE keyLength = 0;
    WORD effectiveBits = 0;
    ar >> version;
    if (version != 0)
        ThrowBadKeyRecord(ar);
    ar >> keyLength >> effectiveBits;
    if (keyLength == 0 || keyLength > KeySize || effectiveBits == 0 || effectiveBits > 1024)
        ThrowBadKeyRecord(ar);
    ar.EnsureAvailable(StoredKeyBytes + IVSize);
    BYTE loaded[StoredKeyBytes + IVSize];
    ar.Read(loaded, sizeof loaded);
    // Bytes beyond the stored 16 are not in the record: a loaded key holds zeros there.
    std::memset(m_Key, 0, sizeof m_Key);
    std::memcpy(m_Key, loaded, StoredKeyBytes);
    std::memcpy(m_IV, loaded + StoredKeyBytes, IVSize);
    WipeKeyBytes(loaded, sizeof loaded);
    m_nKeyLength = keyLength;
    m_nEffectiveBits = effectiveBits;
}
