#include "sigilbox/engines/rsa_keys.h"

#include "framework/exceptions.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/randoms.h"
#include "sigilbox/engines/wiped_number.h"

#include <cstring>

using sigilbox_cipher::WipeKeyBytes;
using sigilbox_cipher::WipedNumber;

IMPLEMENT_SERIAL(CRSAPublicKey, CObject, 1)
IMPLEMENT_SERIAL(CRSAPrivateKey, CRSAPublicKey, 1)

namespace {

constexpr int kNumber = CRSAPublicKey::NumberSize;
constexpr int kHalf = CRSAPublicKey::HalfNumberSize;

// The DER DigestInfo header that goes in front of each digest.
const BYTE kMD2Prefix[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                           0x86, 0xf7, 0x0d, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10};
const BYTE kMD5Prefix[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                           0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};
const BYTE kSHA1Prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                            0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};

// A block buffer that does not outlive its call with key material in it.
struct WipedBlock {
    BYTE b[kNumber];
    WipedBlock() { std::memset(b, 0, sizeof b); }
    ~WipedBlock() { WipeKeyBytes(b, sizeof b); }
    WipedBlock(const WipedBlock&) = delete;
    WipedBlock& operator=(const WipedBlock&) = delete;
};

// y = x^exponent mod n, written as exactly k bytes. The key must be usable (1 <= k <= 256,
// a nonzero modulus of at most k bytes) and x at most n; otherwise the reason is thrown.
void RaiseModulo(const CRSAPublicKey& key, const BYTE* exponent, const BYTE* in, WORD count, BYTE* out,
                 const char* reason)
{
    const int k = key.LockedDataSize();
    if (k < 1 || k > kNumber)
        AfxThrowUnlockException(reason);
    WipedNumber n;
    n.h.Decode(key.m_Modulus, kNumber);
    if (n.h.Zero() || n.h.Bits() > 8 * k)
        AfxThrowUnlockException(reason);

    // Leading zero bytes beyond the widest number are no part of the value; anything else
    // there makes the value larger than any modulus.
    while (count > kNumber && *in == 0) {
        ++in;
        --count;
    }
    if (count > kNumber)
        AfxThrowUnlockException(reason);
    WipedNumber x;
    x.h.Decode(in, count);
    if (x.h > n.h)
        AfxThrowUnlockException(reason);

    WipedNumber d;
    d.h.Decode(exponent, kNumber);
    WipedNumber y;
    y.h = PowMod(x.h, d.h, n.h);
    y.h.Encode(out, static_cast<unsigned short>(k));
}

// The length in bytes of locked data given in bits.
long long LockedBytes(int bits)
{
    return bits <= 0 ? 0 : (static_cast<long long>(bits) + 7) / 8;
}

// How many of the locked bytes go into the RSA step: never more than k, never more than
// the caller gave.
WORD RaisedBytes(long long lockedBytes, int k)
{
    long long take = lockedBytes < k ? lockedBytes : k;
    if (take < 0)
        take = 0;
    if (take > kNumber)
        take = kNumber;
    return static_cast<WORD>(take);
}

// Loads a field of `size` bytes stored as `stored` bytes: the bytes go to the end, the
// ones in front are zeroed.
void ReadField(CArchive& ar, BYTE* field, int size, int stored)
{
    std::memset(field, 0, static_cast<size_t>(size - stored));
    if (stored > 0)
        ar.Read(field + (size - stored), static_cast<UINT>(stored));
}

void ThrowGeneric(CArchive& ar)
{
    AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
}

// A stored field size; anything above the width of our fields cannot be kept.
int ReadFieldSize(CArchive& ar)
{
    WORD size = 0;
    ar >> size;
    if (size > kNumber)
        AfxThrowArchiveException(CArchiveException::badSchema, ar.m_strFileName);
    return size;
}

// The public part of a stored key, into temporaries owned by the caller.
struct PublicRecord {
    WORD bits = 0;
    BYTE modulus[kNumber];
    BYTE exponent[kNumber];
    ~PublicRecord()
    {
        WipeKeyBytes(modulus, sizeof modulus);
        WipeKeyBytes(exponent, sizeof exponent);
    }
};

void LoadPublicRecord(CArchive& ar, PublicRecord& rec)
{
    BYTE version = 0;
    ar >> version;
    if (version != 0)
        ThrowGeneric(ar);
    WORD size = 0;
    ar >> size;
    ar >> rec.bits;
    // The smallest keys the family ever made had 508 bits.
    if (rec.bits < 508 || rec.bits > 2048)
        ThrowGeneric(ar);
    if (size > kNumber)
        AfxThrowArchiveException(CArchiveException::badSchema, ar.m_strFileName);
    ar.EnsureAvailable(2ull * size);
    ReadField(ar, rec.modulus, kNumber, size);
    ReadField(ar, rec.exponent, kNumber, size);
}

void StorePublicPart(CArchive& ar, const CRSAPublicKey& key)
{
    ar << static_cast<BYTE>(0);
    ar << static_cast<WORD>(kNumber);
    ar << key.m_nModulusBits;
    ar.Write(key.m_Modulus, kNumber);
    ar.Write(key.m_PublicExponent, kNumber);
}

}  // namespace

// ---- CRSAPublicKey -----------------------------------------------------------------------

CRSAPublicKey::CRSAPublicKey() : m_nModulusBits(0)
{
    std::memset(m_Modulus, 0, sizeof m_Modulus);
    std::memset(m_PublicExponent, 0, sizeof m_PublicExponent);
}

CRSAPublicKey::CRSAPublicKey(const CRSAPublicKey& other) : CObject(other), m_nModulusBits(other.m_nModulusBits)
{
    std::memcpy(m_Modulus, other.m_Modulus, sizeof m_Modulus);
    std::memcpy(m_PublicExponent, other.m_PublicExponent, sizeof m_PublicExponent);
}

CRSAPublicKey& CRSAPublicKey::operator=(const CRSAPublicKey& other)
{
    m_nModulusBits = other.m_nModulusBits;
    std::memmove(m_Modulus, other.m_Modulus, sizeof m_Modulus);
    std::memmove(m_PublicExponent, other.m_PublicExponent, sizeof m_PublicExponent);
    return *this;
}

CRSAPublicKey::~CRSAPublicKey()
{
    WipeKeyBytes(m_Modulus, sizeof m_Modulus);
    WipeKeyBytes(m_PublicExponent, sizeof m_PublicExponent);
    m_nModulusBits = 0;
}

bool operator==(const CRSAPublicKey& a, const CRSAPublicKey& b)
{
    return a.m_nModulusBits == b.m_nModulusBits && std::memcmp(a.m_Modulus, b.m_Modulus, sizeof a.m_Modulus) == 0 &&
           std::memcmp(a.m_PublicExponent, b.m_PublicExponent, sizeof a.m_PublicExponent) == 0;
}

int CRSAPublicKey::LockedDataSize() const
{
    return (m_nModulusBits + 7) / 8;
}

void CRSAPublicKey::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        StorePublicPart(ar, *this);
        return;
    }
    PublicRecord rec;
    LoadPublicRecord(ar, rec);
    m_nModulusBits = rec.bits;
    std::memcpy(m_Modulus, rec.modulus, sizeof m_Modulus);
    std::memcpy(m_PublicExponent, rec.exponent, sizeof m_PublicExponent);
}

void CRSAPublicKey::ProcessData(const BYTE* in, WORD count, BYTE* out)
{
    RaiseModulo(*this, m_PublicExponent, in, count, out, "CRSAPublicKey::ProcessData - modulus is less than data");
}

void CRSAPublicKey::EncodeData(const BYTE* data, WORD count, BYTE* block, BYTE /*blockType*/)
{
    const int k = LockedDataSize();
    if (k < count + 11 || k > kNumber)
        AfxThrowUnlockException("CRSAPublicKey::EncodeData - modulus is too short to encode");
    const int padding = k - count - 3;
    block[0] = 0x00;
    block[1] = 0x02;
    CRandomsGenerator generator;
    generator.GetRandomBlock(block + 2, static_cast<WORD>(padding));  // never zero bytes
    block[2 + padding] = 0x00;
    if (count)
        std::memcpy(block + 3 + padding, data, count);
}

WORD CRSAPublicKey::DecodeData(const BYTE* block, BYTE* data, WORD& length, BYTE blockType)
{
    const int k = LockedDataSize();
    // No block shorter than this holds the 8 padding bytes the format asks for.
    if (k < 11 || k > kNumber)
        return 1;
    if (block[0] != 0x00 || block[1] != blockType)
        return 1;
    const BYTE pad = blockType != 0 ? 0xFF : 0x00;
    int i = 2;
    while (i < k - 1 && block[i] == pad)
        ++i;
    if (block[i] != 0x00)
        return 1;
    const int n = k - i - 1;
    if (k < n + 11)
        return 1;
    if (n)
        std::memcpy(data, block + i + 1, static_cast<size_t>(n));
    length = static_cast<WORD>(n);
    return 0;
}

void CRSAPublicKey::LockKeyBytes(const BYTE* keyBytes, int length, BYTE* out)
{
    WipedBlock block;
    WipedBlock locked;
    CRSAPublicKey::EncodeData(keyBytes, static_cast<WORD>(length), block.b, 2);
    const int k = LockedDataSize();
    CRSAPublicKey::ProcessData(block.b, static_cast<WORD>(k), locked.b);
    std::memcpy(out, locked.b, static_cast<size_t>(k));
}

void CRSAPublicKey::LockDESKey(const CDESkey& key, BYTE* out)
{
    LockKeyBytes(key.m_Key, CDESkey::KeySize, out);
}

void CRSAPublicKey::LockTripleDESKey(const CTripleDESkey& key, BYTE* out)
{
    LockKeyBytes(key.m_Key, CTripleDESkey::KeySize, out);
}

void CRSAPublicKey::LockIDEAKey(const CIDEAkey& key, BYTE* out)
{
    LockKeyBytes(key.m_Key, CIDEAkey::KeySize, out);
}

void CRSAPublicKey::LockRC2Key(const CRC2key& key, BYTE* out)
{
    // The length is a public byte: never lock bytes beyond the key.
    if (key.m_nKeyLength > CRC2key::KeySize)
        AfxThrowInvalidArgException();
    LockKeyBytes(key.m_Key, key.m_nKeyLength, out);
}

void CRSAPublicKey::UnlockDigest(const BYTE* locked, BYTE* digest, int bits, const BYTE* prefix, int prefixLength,
                                 int digestLength, const char* longerReason, const char* corruptReason)
{
    const int k = LockedDataSize();
    const long long lockedBytes = LockedBytes(bits);
    // Locked data shorter than k bytes are the same number with leading zero bytes.
    WipedBlock r;
    CRSAPublicKey::ProcessData(locked, RaisedBytes(lockedBytes, k), r.b);
    if (lockedBytes > k)
        AfxThrowUnlockException(longerReason);
    WipedBlock info;
    WORD length = 0;
    if (CRSAPublicKey::DecodeData(r.b, info.b, length, 1) != 0 || length != prefixLength + digestLength ||
        std::memcmp(info.b, prefix, static_cast<size_t>(prefixLength)) != 0)
        AfxThrowUnlockException(corruptReason);
    std::memcpy(digest, info.b + prefixLength, static_cast<size_t>(digestLength));
}

void CRSAPublicKey::UnlockMD2Digest(const BYTE* locked, BYTE* digest, int bits)
{
    UnlockDigest(locked, digest, bits, kMD2Prefix, sizeof kMD2Prefix, 16,
                 "CRSAPublicKey::UnlockMD2Digest - locked data are longer than key modulus",
                 "CRSAPublicKey::UnlockMD2Digest - locked digest corrupted");
}

void CRSAPublicKey::UnlockMD5Digest(const BYTE* locked, BYTE* digest, int bits)
{
    UnlockDigest(locked, digest, bits, kMD5Prefix, sizeof kMD5Prefix, 16,
                 "CRSAPublicKey::UnlockMD5Digest - locked data are longer than key modulus",
                 "CRSAPublicKey::UnlockMD5Digest - locked digest corrupted");
}

void CRSAPublicKey::UnlockSHA1Digest(const BYTE* locked, BYTE* digest, int bits)
{
    UnlockDigest(locked, digest, bits, kSHA1Prefix, sizeof kSHA1Prefix, 20,
                 "CRSAPublicKey::UnlockSHA1Digest - locked data are longer than key modulus",
                 "CRSAPublicKey::UnlockSHA1Digest - locked digest corrupted");
}

// ---- CRSAPrivateKey ----------------------------------------------------------------------

CRSAPrivateKey::CRSAPrivateKey()
{
    std::memset(m_PrivateExponent, 0, sizeof m_PrivateExponent);
    std::memset(m_Prime1, 0, sizeof m_Prime1);
    std::memset(m_Prime2, 0, sizeof m_Prime2);
    std::memset(m_Exponent1, 0, sizeof m_Exponent1);
    std::memset(m_Exponent2, 0, sizeof m_Exponent2);
    std::memset(m_Coefficient, 0, sizeof m_Coefficient);
}

CRSAPrivateKey::CRSAPrivateKey(const CRSAPrivateKey& other) : CRSAPublicKey(other)
{
    std::memcpy(m_PrivateExponent, other.m_PrivateExponent, sizeof m_PrivateExponent);
    std::memcpy(m_Prime1, other.m_Prime1, sizeof m_Prime1);
    std::memcpy(m_Prime2, other.m_Prime2, sizeof m_Prime2);
    std::memcpy(m_Exponent1, other.m_Exponent1, sizeof m_Exponent1);
    std::memcpy(m_Exponent2, other.m_Exponent2, sizeof m_Exponent2);
    std::memcpy(m_Coefficient, other.m_Coefficient, sizeof m_Coefficient);
}

CRSAPrivateKey& CRSAPrivateKey::operator=(const CRSAPrivateKey& other)
{
    CRSAPublicKey::operator=(other);
    std::memmove(m_PrivateExponent, other.m_PrivateExponent, sizeof m_PrivateExponent);
    std::memmove(m_Prime1, other.m_Prime1, sizeof m_Prime1);
    std::memmove(m_Prime2, other.m_Prime2, sizeof m_Prime2);
    std::memmove(m_Exponent1, other.m_Exponent1, sizeof m_Exponent1);
    std::memmove(m_Exponent2, other.m_Exponent2, sizeof m_Exponent2);
    std::memmove(m_Coefficient, other.m_Coefficient, sizeof m_Coefficient);
    return *this;
}

CRSAPrivateKey::~CRSAPrivateKey()
{
    WipeKeyBytes(m_PrivateExponent, sizeof m_PrivateExponent);
    WipeKeyBytes(m_Prime1, sizeof m_Prime1);
    WipeKeyBytes(m_Prime2, sizeof m_Prime2);
    WipeKeyBytes(m_Exponent1, sizeof m_Exponent1);
    WipeKeyBytes(m_Exponent2, sizeof m_Exponent2);
    WipeKeyBytes(m_Coefficient, sizeof m_Coefficient);
}

void CRSAPrivateKey::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        StorePublicPart(ar, *this);
        ar << static_cast<BYTE>(0);
        ar << static_cast<WORD>(kNumber);
        ar.Write(m_PrivateExponent, kNumber);
        ar << static_cast<WORD>(kNumber);
        ar.Write(m_Prime1, kHalf);
        ar.Write(m_Prime2, kHalf);
        ar.Write(m_Exponent1, kHalf);
        ar.Write(m_Exponent2, kHalf);
        ar.Write(m_Coefficient, kHalf);
        return;
    }

    // Everything is read into temporaries first so that a bad record changes nothing.
    PublicRecord pub;
    LoadPublicRecord(ar, pub);
    BYTE version = 0;
    ar >> version;
    if (version != 0)
        ThrowGeneric(ar);
    const int exponentSize = ReadFieldSize(ar);
    ar.EnsureAvailable(static_cast<unsigned long long>(exponentSize));
    WipedBlock exponent;
    ReadField(ar, exponent.b, kNumber, exponentSize);
    const int pairSize = ReadFieldSize(ar);
    ar.EnsureAvailable(2ull * pairSize + pairSize / 2);
    // The primes and the prime exponents are each stored as one block of both numbers,
    // and each block goes to the end of the pair of fields it fills.
    WipedBlock primes;
    WipedBlock primeExponents;
    WipedBlock coefficient;
    ReadField(ar, primes.b, 2 * kHalf, pairSize);
    ReadField(ar, primeExponents.b, 2 * kHalf, pairSize);
    ReadField(ar, coefficient.b, kHalf, pairSize / 2);

    m_nModulusBits = pub.bits;
    std::memcpy(m_Modulus, pub.modulus, sizeof m_Modulus);
    std::memcpy(m_PublicExponent, pub.exponent, sizeof m_PublicExponent);
    std::memcpy(m_PrivateExponent, exponent.b, kNumber);
    std::memcpy(m_Prime1, primes.b, kHalf);
    std::memcpy(m_Prime2, primes.b + kHalf, kHalf);
    std::memcpy(m_Exponent1, primeExponents.b, kHalf);
    std::memcpy(m_Exponent2, primeExponents.b + kHalf, kHalf);
    std::memcpy(m_Coefficient, coefficient.b, kHalf);
}

void CRSAPrivateKey::ProcessData(const BYTE* in, WORD count, BYTE* out)
{
    RaiseModulo(*this, m_PrivateExponent, in, count, out,
                "CRSAPrivateKey::ProcessData - data to unlock corrupted or key is not valid");
}

void CRSAPrivateKey::EncodeData(const BYTE* data, WORD count, BYTE* block, BYTE blockType)
{
    const int k = LockedDataSize();
    // Without this check a short modulus would make the padding length negative.
    if (k < count + 11 || k > kNumber)
        AfxThrowUnlockException("CRSAPrivateKey::EncodeData - modulus is too short to encode");
    const int padding = k - count - 3;
    block[0] = 0x00;
    block[1] = blockType;
    std::memset(block + 2, blockType != 0 ? 0xFF : 0x00, static_cast<size_t>(padding));
    block[2 + padding] = 0x00;
    if (count)
        std::memcpy(block + 3 + padding, data, count);
}

WORD CRSAPrivateKey::DecodeData(const BYTE* block, BYTE* data, WORD& length, BYTE /*blockType*/)
{
    const int k = LockedDataSize();
    if (k < 11 || k > kNumber)
        return 1;
    if (block[0] != 0x00 || block[1] != 0x02)
        return 1;
    int i = 2;
    while (i < k - 1 && block[i] != 0x00)
        ++i;
    if (i >= k - 1)
        return 1;
    const int n = k - i - 1;
    if (k < n + 11)
        return 1;
    std::memcpy(data, block + i + 1, static_cast<size_t>(n));
    length = static_cast<WORD>(n);
    return 0;
}

int CRSAPrivateKey::UnlockKeyBytes(const BYTE* locked, int bits, BYTE* keyBytes, const char* longerReason,
                                   const char* corruptReason)
{
    const int k = LockedDataSize();
    const long long lockedBytes = LockedBytes(bits);
    // Locked data shorter than k bytes are the same number with leading zero bytes.
    WipedBlock r;
    CRSAPrivateKey::ProcessData(locked, RaisedBytes(lockedBytes, k), r.b);
    if (lockedBytes > k)
        AfxThrowUnlockException(longerReason);
    WORD length = 0;
    if (CRSAPrivateKey::DecodeData(r.b, keyBytes, length, 2) != 0)
        AfxThrowUnlockException(corruptReason);
    return length;
}

CDESkey CRSAPrivateKey::UnlockDESKey(const BYTE* locked, int bits)
{
    static const char kCorrupt[] = "CRSAPrivateKey::UnlockDESKey - locked DES key is corrupted (invalid decoded size)";
    WipedBlock bytes;
    const int length = UnlockKeyBytes(locked, bits, bytes.b,
                                      "CRSAPrivateKey::UnlockDESKey - locked data are longer than key modulus", kCorrupt);
    if (length != CDESkey::KeySize)
        AfxThrowUnlockException(kCorrupt);
    if (!IsDESKeyParityOK(bytes.b, CDESkey::KeySize))
        AfxThrowUnlockException("CRSAPrivateKey::UnlockDESKey - locked DES key is corrupted (parity check failed)");
    CDESkey key;
    std::memcpy(key.m_Key, bytes.b, CDESkey::KeySize);
    return key;
}

CTripleDESkey CRSAPrivateKey::UnlockTripleDESKey(const BYTE* locked, int bits)
{
    static const char kCorrupt[] =
        "CRSAPrivateKey::UnlockTripleDESKey - locked Triple-DES key is corrupted (invalid decoded size)";
    WipedBlock bytes;
    const int length = UnlockKeyBytes(
        locked, bits, bytes.b, "CRSAPrivateKey::UnlockTripleDESKey - locked data are longer than key modulus", kCorrupt);
    if (length != CTripleDESkey::KeySize)
        AfxThrowUnlockException(kCorrupt);
    if (!IsDESKeyParityOK(bytes.b, CTripleDESkey::KeySize))
        AfxThrowUnlockException("CRSAPrivateKey::UnlockTripleDESKey - locked DES key is corrupted (parity check failed)");
    CTripleDESkey key;
    std::memcpy(key.m_Key, bytes.b, CTripleDESkey::KeySize);
    return key;
}

CIDEAkey CRSAPrivateKey::UnlockIDEAKey(const BYTE* locked, int bits)
{
    static const char kCorrupt[] = "CRSAPrivateKey::UnlockIDEAKey - locked IDEA key is corrupted (invalid encoded size)";
    WipedBlock bytes;
    const int length = UnlockKeyBytes(locked, bits, bytes.b,
                                      "CRSAPrivateKey::UnlockIDEAKey - locked data are longer than key modulus", kCorrupt);
    if (length != CIDEAkey::KeySize)
        AfxThrowUnlockException(kCorrupt);
    CIDEAkey key;
    std::memcpy(key.m_Key, bytes.b, CIDEAkey::KeySize);
    return key;
}

CRC2key CRSAPrivateKey::UnlockRC2Key(const BYTE* locked, int bits)
{
    WipedBlock bytes;
    const int length =
        UnlockKeyBytes(locked, bits, bytes.b, "CRSAPrivateKey::UnlockRC2Key - locked data are longer than key modulus",
                       "CRSAPrivateKey::UnlockRC2Key - locked RC2 key is corrupted (invalid encoded size)");
    if (length < 1 || length > CRC2key::KeySize)
        AfxThrowUnlockException("CRSAPrivateKey::UnlockRC2Key - unlocked RC2 key has invalid size");
    CRC2key key;
    std::memcpy(key.m_Key, bytes.b, static_cast<size_t>(length));
    key.m_nKeyLength = static_cast<BYTE>(length);
    key.m_nEffectiveBits = static_cast<WORD>(8 * length);
    return key;
}

void CRSAPrivateKey::LockDigest(const BYTE* digest, int digestLength, const BYTE* prefix, int prefixLength, BYTE* out)
{
    BYTE info[64];
    std::memcpy(info, prefix, static_cast<size_t>(prefixLength));
    std::memcpy(info + prefixLength, digest, static_cast<size_t>(digestLength));
    WipedBlock block;
    WipedBlock locked;
    CRSAPrivateKey::EncodeData(info, static_cast<WORD>(prefixLength + digestLength), block.b, 1);
    const int k = LockedDataSize();
    CRSAPrivateKey::ProcessData(block.b, static_cast<WORD>(k), locked.b);
    std::memcpy(out, locked.b, static_cast<size_t>(k));
}

void CRSAPrivateKey::LockMD2Digest(const BYTE* digest, BYTE* out)
{
    LockDigest(digest, 16, kMD2Prefix, sizeof kMD2Prefix, out);
}

void CRSAPrivateKey::LockMD5Digest(const BYTE* digest, BYTE* out)
{
    LockDigest(digest, 16, kMD5Prefix, sizeof kMD5Prefix, out);
}

void CRSAPrivateKey::LockSHA1Digest(const BYTE* digest, BYTE* out)
{
    LockDigest(digest, 20, kSHA1Prefix, sizeof kSHA1Prefix, out);
}
