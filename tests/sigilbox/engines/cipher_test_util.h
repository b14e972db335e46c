// Helpers of the cipher tests: the openssl command line with raw keys, and whole byte
// vectors through a processor's EncryptFile and DecryptFile in memory files.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/crypto_processor.h"
#include "tests/support/support.h"

#include <string>

namespace ciphertest {

using qmtest::Bytes;
using qmtest::Hex;
using qmtest::RandomBytes;
using qmtest::ReadVectors;
using qmtest::ToHex;
using qmtest::Vector;

// `openssl enc` with a raw key and IV; legacy ciphers need the legacy provider.
inline Bytes OpenSSLEnc(const std::string& cipher, bool decrypt, const Bytes& key, const Bytes& iv,
                        const std::string& inputFile, bool nopad, bool& ok)
{
    std::string cmd = "openssl enc -" + cipher + (decrypt ? " -d" : " -e") + " -K " + ToHex(key);
    if (!iv.empty())
        cmd += " -iv " + ToHex(iv);
    if (nopad)
        cmd += " -nopad";
    cmd += " -provider legacy -provider default -in '" + inputFile + "'";
    qmtest::CommandResult r = qmtest::RunCommand(cmd, false);
    ok = r.Ok();
    return qmtest::ToBytes(r.output);
}

// Whether this openssl knows the cipher (with the legacy provider).
inline bool OpenSSLHasCipher(const std::string& cipher, size_t keyBytes)
{
    return qmtest::RunCommand("openssl enc -" + cipher + " -e -K " + std::string(keyBytes * 2, '1') +
                                  " -iv 0000000000000000 -provider legacy -provider default -in /dev/null",
                              false)
        .Ok();
}

// The whole content of a memory file.
inline Bytes MemFileBytes(CMemFile& file)
{
    Bytes out(static_cast<size_t>(file.GetLength()));
    long long pos = file.GetPosition();
    file.SeekToBegin();
    if (!out.empty())
        file.Read(out.data(), static_cast<UINT>(out.size()));
    file.Seek(pos, CFile::begin);
    return out;
}

inline void FillMemFile(CMemFile& file, const Bytes& b)
{
    file.SetLength(0);
    if (!b.empty())
        file.Write(b.data(), static_cast<UINT>(b.size()));
    file.SeekToBegin();
}

// EncryptFile / DecryptFile of a whole byte vector through memory files.
inline Bytes EncryptAll(CCryptoProcessor& p, const Bytes& plain)
{
    CMemFile in, out;
    FillMemFile(in, plain);
    p.EncryptFile(in, 0, out, nullptr);
    return MemFileBytes(out);
}

inline Bytes DecryptAll(CCryptoProcessor& p, const Bytes& cipher)
{
    CMemFile in, out;
    FillMemFile(in, cipher);
    p.DecryptFile(in, 0, out, nullptr);
    return MemFileBytes(out);
}

}  // namespace ciphertest
