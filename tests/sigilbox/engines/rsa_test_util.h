// Helpers of the RSA tests: generated keys shared by a test program, the raw RSA operation
// for building blocks by hand and the reason of the last unlock failure.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/rsa_keypair.h"
#include "sigilbox/engines/rsa_keys.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace rsatest {

using qmtest::Bytes;

// One generated pair per size and exponent, made on first use: generation is what the
// tests of the pair itself exercise, the other tests only need good keys.
inline const CRSAPrivateKey& SharedKey(int bits, int largeExponent = 1)
{
    static std::map<std::pair<int, int>, std::unique_ptr<CRSAKeyPair>> keys;
    auto& slot = keys[{bits, largeExponent}];
    if (!slot)
        slot = std::make_unique<CRSAKeyPair>(static_cast<WORD>(bits), largeExponent, nullptr, 0, nullptr);
    return *slot;
}

inline CHugeDigit Number(const BYTE* field, int size)
{
    CHugeDigit x;
    x.Decode(field, static_cast<unsigned short>(size));
    return x;
}

// x^exponent mod n of the key, as k bytes: the RSA step without any block format.
inline Bytes Raw(const CRSAPublicKey& key, const BYTE* exponent, const Bytes& block)
{
    const int k = key.LockedDataSize();
    CHugeDigit x;
    x.Decode(block.data(), static_cast<unsigned short>(block.size()));
    CHugeDigit y = PowMod(x, Number(exponent, 256), Number(key.m_Modulus, 256));
    Bytes out(static_cast<size_t>(k));
    y.Encode(out.data(), static_cast<unsigned short>(k));
    return out;
}

inline Bytes RawPublic(const CRSAPublicKey& key, const Bytes& block)
{
    return Raw(key, key.m_PublicExponent, block);
}

inline Bytes RawPrivate(const CRSAPrivateKey& key, const Bytes& block)
{
    return Raw(key, key.m_PrivateExponent, block);
}

// Runs f and returns the reason it failed with CUnlockException*, or "" when it did not.
inline std::string UnlockReason(const std::function<void()>& f)
{
    qmtest::Caught<CUnlockException> e = qmtest::Thrown<CUnlockException>(f);
    if (!e)
        return "";
    EXPECT_EQ(e.get(), &CUnlockException::s_instance);
    const char* reason = AfxGetLastUnlockReason();
    return reason ? reason : "(none)";
}

// ---- archives in memory -----------------------------------------------------------------

using qmtest::Load;
using qmtest::Store;

// The cause of the CArchiveException* that f raised, or -1.
inline int ArchiveCause(const std::function<void()>& f)
{
    return qmtest::CauseOf<CArchiveException>(f);
}

// ---- openssl in a scratch folder --------------------------------------------------------

class Scratch : public qmtest::ScratchFolder {
public:
    // The path quoted for a shell command.
    std::string File(const std::string& name) const { return "'" + Path(name) + "'"; }
    Bytes Read(const std::string& name) const { return qmtest::ReadFile(Path(name)); }
};

// Runs a shell command; returns its standard output and error, ok set from its status.
inline std::string Run(const std::string& command, bool& ok)
{
    qmtest::CommandResult r = qmtest::RunCommand(command);
    ok = r.Ok();
    return r.output;
}

using qmtest::HaveOpenSSL;

}  // namespace rsatest
