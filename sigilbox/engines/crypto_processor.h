// CCryptoProcessor drives a 64-bit block cipher over buffers and files in ECB, CBC or
// 64-bit CFB mode, with the library's padding for files. A concrete processor is one of
// twelve classes combining the processor, an algorithm class and a mode class
// (CDES_CBC and so on).
#pragma once

#include "framework/file.h"
#include "framework/types.h"
#include "sigilbox/engines/des.h"
#include "sigilbox/engines/idea.h"
#include "sigilbox/engines/modes.h"
#include "sigilbox/engines/rc2.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/sigilbox_export.h"

#include <cstddef>

class CProgress;

class SIGILBOX_API CCryptoProcessor {
public:
    // Files are processed in chunks of this many bytes (300 blocks).
    static constexpr UINT ChunkSize = 2400;

    // The IV of the key; both chaining registers start from it.
    explicit CCryptoProcessor(const CKey& key);
    CCryptoProcessor(const CCryptoProcessor& other);
    CCryptoProcessor& operator=(const CCryptoProcessor& other);
    virtual ~CCryptoProcessor();

    void ResetEncryptionContext();
    void ResetDecryptionContext();

    // count / 8 whole blocks; a remainder of 1 to 7 bytes is neither read nor written. Input
    // and output may be the same buffer. The chain continues from the previous call.
    virtual void EncryptBlock(const BYTE* in, int count, BYTE* out, CProgress* progress);
    virtual void DecryptBlock(const BYTE* in, int count, BYTE* out, CProgress* progress);
    // count bytes from the input's position (0: up to its end), padded with 1 to 8 bytes of
    // the pad length. A negative count raises CInvalidArgException, an input that ends
    // before count bytes CFileException (endOfFile).
    virtual void EncryptFile(CFile& in, int count, CFile& out, CProgress* progress);
    // The reverse: checks the sizes and the padding (CUnlockException), writes the plaintext
    // without the padding.
    virtual void DecryptFile(CFile& in, int count, CFile& out, CProgress* progress);

protected:
    virtual void EncryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) = 0;
    virtual void EncryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) = 0;
    virtual void DecryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) = 0;
    virtual void DecryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) = 0;
    virtual void EncipherAlgorithm(const DWORD in[2], DWORD out[2]) = 0;
    virtual void DecipherAlgorithm(const DWORD in[2], DWORD out[2]) = 0;

    // Whole blocks through the mode and the cipher, chaining with the direction's register.
    // This default takes the virtual steps one by one; the combination classes replace it by
    // a loop in which the steps are inlined, so a run of blocks costs one virtual call.
    virtual void EncryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks);
    virtual void DecryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks);

    DWORD m_IVWords[2];
    DWORD m_EncryptionContext[2];
    DWORD m_DecryptionContext[2];

private:
    // A block's 8 bytes as two big-endian words, and back.
    static void EncodeData(const BYTE* bytes, DWORD words[2])
    {
        words[0] = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
        words[1] = (DWORD(bytes[4]) << 24) | (DWORD(bytes[5]) << 16) | (DWORD(bytes[6]) << 8) | bytes[7];
    }
    static void DecodeData(const DWORD words[2], BYTE* bytes)
    {
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<BYTE>(words[0] >> (24 - 8 * i));
            bytes[4 + i] = static_cast<BYTE>(words[1] >> (24 - 8 * i));
        }
    }

    void Blocks(bool encrypt, const BYTE* in, int count, BYTE* out, CProgress* progress);
};

// One combination class: the processor, the algorithm and the mode, in that order. The key
// object is not kept. CFB deciphers by running the cipher forward.
#define SIGILBOX_CRYPTO_COMBINATION(Name, Algorithm, Mode, Key, DecipherStep)                   \
    class SIGILBOX_API Name : public CCryptoProcessor, public Algorithm, public Mode {          \
    public:                                                                                     \
        explicit Name(const Key& key) : CCryptoProcessor(key), Algorithm(key) {}                \
        Name(const Name& other) = default;                                                      \
        Name& operator=(const Name& other) = default;                                           \
        ~Name() override = default;                                                             \
                                                                                                \
    private:                                                                                    \
        void EncryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override          \
        {                                                                                       \
            Mode::EncryptPreProcess(in, out, reg);                                              \
        }                                                                                       \
        void EncryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override         \
        {                                                                                       \
            Mode::EncryptPostProcess(in, out, reg);                                             \
        }                                                                                       \
        void DecryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override          \
        {                                                                                       \
            Mode::DecryptPreProcess(in, out, reg);                                              \
        }                                                                                       \
        void DecryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2]) override         \
        {                                                                                       \
            Mode::DecryptPostProcess(in, out, reg);                                             \
        }                                                                                       \
        void EncipherAlgorithm(const DWORD in[2], DWORD out[2]) override                        \
        {                                                                                       \
            Algorithm::Encipher(in, out);                                                       \
        }                                                                                       \
        void DecipherAlgorithm(const DWORD in[2], DWORD out[2]) override                        \
        {                                                                                       \
            Algorithm::DecipherStep(in, out);                                                   \
        }                                                                                       \
        void EncryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks) override;             \
        void DecryptBlocks(const BYTE* in, BYTE* out, std::size_t blocks) override;             \
    };

SIGILBOX_CRYPTO_COMBINATION(CDES_ECB, CDESAlgorithm, CECB_ModeProcessor, CDESkey, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CDES_CBC, CDESAlgorithm, CCBC_ModeProcessor, CDESkey, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CDES_CFB, CDESAlgorithm, CCFB_ModeProcessor, CDESkey, Encipher)
SIGILBOX_CRYPTO_COMBINATION(CTripleDES_ECB, CTripleDESAlgorithm, CECB_ModeProcessor, CTripleDESkey, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CTripleDES_CBC, CTripleDESAlgorithm, CCBC_ModeProcessor, CTripleDESkey, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CTripleDES_CFB, CTripleDESAlgorithm, CCFB_ModeProcessor, CTripleDESkey, Encipher)
SIGILBOX_CRYPTO_COMBINATION(CIDEA_ECB, CIDEAAlgorithm, CECB_ModeProcessor, CIDEAkey, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CIDEA_CBC, CIDEAAlgorithm, CCBC_ModeProcessor, CIDEAkey, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CIDEA_CFB, CIDEAAlgorithm, CCFB_ModeProcessor, CIDEAkey, Encipher)
SIGILBOX_CRYPTO_COMBINATION(CRC2_ECB, CRC2Algorithm, CECB_ModeProcessor, CRC2key, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CRC2_CBC, CRC2Algorithm, CCBC_ModeProcessor, CRC2key, Decipher)
SIGILBOX_CRYPTO_COMBINATION(CRC2_CFB, CRC2Algorithm, CCFB_ModeProcessor, CRC2key, Encipher)
