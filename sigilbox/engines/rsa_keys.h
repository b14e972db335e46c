// RSA keys of at most 2048 bits and the library's two uses of them, both with the PKCS #1
// v1.5 block formats:
//  - locking a session key (DES, Triple-DES, IDEA, RC2): block type 2, public exponent;
//    unlocking it with the private exponent;
//  - locking a digest (MD2, MD5, SHA-1) wrapped in its DigestInfo: block type 1, private
//    exponent; unlocking it with the public exponent checks padding and DigestInfo.
// Every failed unlock throws CUnlockException*. Numbers are kept as fixed-width big-endian,
// right-aligned fields so that the stored form has a fixed layout.
#pragma once

#include "framework/archive.h"
#include "framework/object.h"
#include "framework/types.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/engines/unlock_exception.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CRSAPublicKey : public CObject {
    DECLARE_SERIAL(CRSAPublicKey)
public:
    // Widths of the number fields: modulus and exponents, primes and CRT parts.
    static constexpr int NumberSize = 256;
    static constexpr int HalfNumberSize = 128;

    // No key: 0 bits, both numbers zero.
    CRSAPublicKey();
    CRSAPublicKey(const CRSAPublicKey& other);
    CRSAPublicKey& operator=(const CRSAPublicKey& other);
    // Wipes the numbers.
    ~CRSAPublicKey() override;

    // Stored form: version 0, field size (256), bits, modulus, public exponent. Loading
    // accepts 508 to 2048 bits and field sizes up to 256 (shorter fields get leading zeros)
    // and changes nothing unless the whole record is good.
    void Serialize(CArchive& ar) override;

    // k = (m_nModulusBits + 7) / 8, the length of every locked block.
    int LockedDataSize() const;

    // Write the k-byte locked key bytes to out (the IV and RC2 effective bits are not
    // locked). A key too long for the modulus (k < length + 11) throws CUnlockException*.
    void LockDESKey(const CDESkey& key, BYTE* out);
    void LockTripleDESKey(const CTripleDESkey& key, BYTE* out);
    void LockIDEAKey(const CIDEAkey& key, BYTE* out);
    void LockRC2Key(const CRC2key& key, BYTE* out);

    // Check a locked digest (bits = 8 × the locked bytes' count, which may be below k:
    // shorter data count as a number with leading zeros) and write its 16, 16 or 20 digest
    // bytes to digest. Anything else throws CUnlockException* and writes nothing.
    void UnlockMD2Digest(const BYTE* locked, BYTE* digest, int bits);
    void UnlockMD5Digest(const BYTE* locked, BYTE* digest, int bits);
    void UnlockSHA1Digest(const BYTE* locked, BYTE* digest, int bits);

    WORD m_nModulusBits;              // as set by the key's creator
    BYTE m_Modulus[NumberSize];       // n
    BYTE m_PublicExponent[NumberSize];// e

protected:
    // y = x^e mod n as exactly k bytes, x being count big-endian bytes. x above n throws.
    virtual void ProcessData(const BYTE* in, WORD count, BYTE* out);
    // A k-byte block of type 2 (the type argument is ignored): 00 02, nonzero random
    // padding, 00, the data.
    virtual void EncodeData(const BYTE* data, WORD count, BYTE* block, BYTE blockType);
    // Parses a k-byte block of the given type; 0 when well formed (data and length set),
    // 1 when not.
    virtual WORD DecodeData(const BYTE* block, BYTE* data, WORD& length, BYTE blockType);

    void UnlockDigest(const BYTE* locked, BYTE* digest, int bits, const BYTE* prefix, int prefixLength,
                      int digestLength, const char* longerReason, const char* corruptReason);
    void LockKeyBytes(const BYTE* keyBytes, int length, BYTE* out);
};

SIGILBOX_API bool operator==(const CRSAPublicKey& a, const CRSAPublicKey& b);

class SIGILBOX_API CRSAPrivateKey : public CRSAPublicKey {
    DECLARE_SERIAL(CRSAPrivateKey)
public:
    CRSAPrivateKey();
    CRSAPrivateKey(const CRSAPrivateKey& other);
    CRSAPrivateKey& operator=(const CRSAPrivateKey& other);
    ~CRSAPrivateKey() override;

    // The public part, then version 0, the private exponent, the primes, the prime
    // exponents and the coefficient.
    void Serialize(CArchive& ar) override;

    // Unlock a locked session key (bits = 8 × the locked bytes' count). The result is a new
    // random key (with a random IV the caller replaces) carrying the unlocked key bytes;
    // an RC2 key gets the unlocked length and 8 × that many effective bits.
    CDESkey UnlockDESKey(const BYTE* locked, int bits);
    CTripleDESkey UnlockTripleDESKey(const BYTE* locked, int bits);
    CIDEAkey UnlockIDEAKey(const BYTE* locked, int bits);
    CRC2key UnlockRC2Key(const BYTE* locked, int bits);

    // Lock a digest of 16, 16 or 20 bytes: k bytes to out.
    void LockMD2Digest(const BYTE* digest, BYTE* out);
    void LockMD5Digest(const BYTE* digest, BYTE* out);
    void LockSHA1Digest(const BYTE* digest, BYTE* out);

    BYTE m_PrivateExponent[NumberSize]; // d
    BYTE m_Prime1[HalfNumberSize];      // p, the larger prime
    BYTE m_Prime2[HalfNumberSize];      // q
    BYTE m_Exponent1[HalfNumberSize];   // d mod (p - 1)
    BYTE m_Exponent2[HalfNumberSize];   // d mod (q - 1)
    BYTE m_Coefficient[HalfNumberSize]; // q^-1 mod p

protected:
    // y = x^d mod n as exactly k bytes.
    void ProcessData(const BYTE* in, WORD count, BYTE* out) override;
    // A k-byte block of the given type: 00, type, FF padding (00 for type 0), 00, the data.
    // Data that leave fewer than 8 padding bytes (k < length + 11) throw CUnlockException*.
    void EncodeData(const BYTE* data, WORD count, BYTE* block, BYTE blockType) override;
    // Parses a k-byte block of type 2 (the type argument is ignored).
    WORD DecodeData(const BYTE* block, BYTE* data, WORD& length, BYTE blockType) override;

    // Unlocks the session key bytes (keyBytes receives up to 256 bytes); returns their count.
    int UnlockKeyBytes(const BYTE* locked, int bits, BYTE* keyBytes, const char* longerReason,
                       const char* corruptReason);
    void LockDigest(const BYTE* digest, int digestLength, const BYTE* prefix, int prefixLength, BYTE* out);
};
