// Helpers of the RSA tests: generated keys shared by a test program, the raw RSA operation
// for building blocks by hand, the reason of the last unlock failure, archives in memory and
// the openssl command line in a scratch folder.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/rsa_keypair.h"
#include "sigilbox/engines/rsa_keys.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace rsatest {

using Bytes = std::vector<BYTE>;

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
    try {
        f();
    } catch (CUnlockException* e) {
        EXPECT_EQ(e, &CUnlockException::s_instance);
        e->Delete();
        const char* reason = AfxGetLastUnlockReason();
        return reason ? reason : "(none)";
    }
    return "";
}

// ---- archives in memory -----------------------------------------------------------------

inline Bytes Store(const std::function<void(CArchive&)>& write)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        write(ar);
        ar.Close();
    }
    Bytes out(static_cast<size_t>(file.GetLength()));
    file.SeekToBegin();
    if (!out.empty())
        file.Read(out.data(), static_cast<UINT>(out.size()));
    return out;
}

inline void Load(const Bytes& bytes, const std::function<void(CArchive&)>& read)
{
    CMemFile file;
    if (!bytes.empty())
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load);
    read(ar);
}

// The cause of the CArchiveException* that f raised, or -1.
inline int ArchiveCause(const std::function<void()>& f)
{
    try {
        f();
    } catch (CArchiveException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

// ---- openssl in a scratch folder --------------------------------------------------------

class Scratch {
public:
    Scratch()
    {
        static int counter = 0;
        m_path = std::filesystem::path(QM_BINARY_DIR) / "test-tmp" /
                 ("rsa-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string File(const std::string& name) const { return "'" + (m_path / name).string() + "'"; }
    std::string Path(const std::string& name) const { return (m_path / name).string(); }

    void Write(const std::string& name, const Bytes& b) const
    {
        std::ofstream out(Path(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    Bytes Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path m_path;
};

// Runs a shell command; returns its standard output and error, ok set from its status.
inline std::string Run(const std::string& command, bool& ok)
{
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        ok = false;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    ok = ::pclose(pipe) == 0;
    return out;
}

inline bool HaveOpenSSL()
{
    bool ok = false;
    Run("openssl version", ok);
    return ok;
}

}  // namespace rsatest
