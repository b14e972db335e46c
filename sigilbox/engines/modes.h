// The three modes of operation as the steps before and after the block cipher. Each step
// takes an input block, an output block and the direction's chaining register (two 32-bit
// words each).
//
// The steps are defined here so that the processors' block loops can call them without a
// virtual call and have them inlined; the virtual slots serve callers that hold a mode
// through its own type.
#pragma once

#include "framework/types.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CECB_ModeProcessor {
public:
    CECB_ModeProcessor() = default;
    CECB_ModeProcessor(const CECB_ModeProcessor&) = default;
    CECB_ModeProcessor& operator=(const CECB_ModeProcessor&) = default;
    virtual ~CECB_ModeProcessor() = default;

    virtual void EncryptPreProcess(const DWORD in[2], DWORD out[2], DWORD[2]) { Copy(in, out); }
    virtual void EncryptPostProcess(const DWORD in[2], DWORD out[2], DWORD[2]) { Copy(in, out); }
    virtual void DecryptPreProcess(const DWORD in[2], DWORD out[2], DWORD[2]) { Copy(in, out); }
    virtual void DecryptPostProcess(const DWORD in[2], DWORD out[2], DWORD[2]) { Copy(in, out); }


private:
    static void Copy(const DWORD in[2], DWORD out[2])
    {
        out[0] = in[0];
        out[1] = in[1];
    }
};

class SIGILBOX_API CCBC_ModeProcessor {
public:
    CCBC_ModeProcessor() : m_LastCipher{0, 0} {}
    CCBC_ModeProcessor(const CCBC_ModeProcessor&) = default;
    CCBC_ModeProcessor& operator=(const CCBC_ModeProcessor&) = default;
    virtual ~CCBC_ModeProcessor() { m_LastCipher[0] = m_LastCipher[1] = 0; }

    // Plaintext XOR register goes to the cipher; its result is the output and the register.
    virtual void EncryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        out[0] = in[0] ^ reg[0];
        out[1] = in[1] ^ reg[1];
    }
    virtual void EncryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        reg[0] = out[0] = in[0];
        reg[1] = out[1] = in[1];
    }
    // The ciphertext goes to the cipher and is kept; the result XOR register is the output,
    // and the kept ciphertext becomes the register.
    virtual void DecryptPreProcess(const DWORD in[2], DWORD out[2], DWORD[2])
    {
        m_LastCipher[0] = out[0] = in[0];
        m_LastCipher[1] = out[1] = in[1];
    }
    virtual void DecryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        out[0] = in[0] ^ reg[0];
        out[1] = in[1] ^ reg[1];
        reg[0] = m_LastCipher[0];
        reg[1] = m_LastCipher[1];
    }


protected:
    DWORD m_LastCipher[2];
};

// 64-bit cipher feedback: the cipher runs forward in both directions.
class SIGILBOX_API CCFB_ModeProcessor {
public:
    CCFB_ModeProcessor() : m_Plain{0, 0} {}
    CCFB_ModeProcessor(const CCFB_ModeProcessor&) = default;
    CCFB_ModeProcessor& operator=(const CCFB_ModeProcessor&) = default;
    virtual ~CCFB_ModeProcessor() { m_Plain[0] = m_Plain[1] = 0; }

    // The register goes to the cipher and the plaintext is kept; result XOR plaintext is the
    // ciphertext and the next register.
    virtual void EncryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        m_Plain[0] = in[0];
        m_Plain[1] = in[1];
        out[0] = reg[0];
        out[1] = reg[1];
    }
    virtual void EncryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        reg[0] = out[0] = in[0] ^ m_Plain[0];
        reg[1] = out[1] = in[1] ^ m_Plain[1];
    }
    // The register goes to the cipher and the ciphertext becomes the register; the result
    // XOR that ciphertext is the plaintext.
    virtual void DecryptPreProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        DWORD c0 = in[0], c1 = in[1];
        out[0] = reg[0];
        out[1] = reg[1];
        reg[0] = c0;
        reg[1] = c1;
    }
    virtual void DecryptPostProcess(const DWORD in[2], DWORD out[2], DWORD reg[2])
    {
        out[0] = in[0] ^ reg[0];
        out[1] = in[1] ^ reg[1];
    }


protected:
    DWORD m_Plain[2];
};
