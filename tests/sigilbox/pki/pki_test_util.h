// Helpers shared by the PKI tests: fixtures, keys from PKCS #1 files, archives in memory and
// the openssl command line.
#pragma once

#include "sigilbox/asn1/asn1_test_util.h"

#include "framework/archive.h"
#include "framework/memfile.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace pkitest {

namespace fs = std::filesystem;

struct Deleter {
    void operator()(CASN1Type* p) const { delete p; }
};
using Owned = std::unique_ptr<CASN1Type, Deleter>;

inline fs::path Fixture(const std::string& name)
{
    return fs::path(QM_TEST_DATA) / "pki" / name;
}

inline std::vector<unsigned char> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline CDEREncoding FixtureEncoding(const std::string& name)
{
    std::vector<unsigned char> bytes = ReadBytes(Fixture(name));
    EXPECT_FALSE(bytes.empty()) << name;
    return CDEREncoding(bytes.data(), bytes.size());
}

inline std::string Encoded(const CASN1Type& value)
{
    CByteArray bytes;
    value.EncodeTo(bytes);
    return asn1test::ToHex(bytes);
}

inline std::vector<unsigned char> EncodedBytes(const CASN1Type& value)
{
    CByteArray bytes;
    value.EncodeTo(bytes);
    return std::vector<unsigned char>(bytes.GetData(), bytes.GetData() + bytes.GetSize());
}

// A private key read from a PKCS #1 RSAPrivateKey file.
inline CRSAPrivateKey LoadPrivateKey(const std::string& name)
{
    CDEREncoding encoding = FixtureEncoding(name);
    CASN1_SEQUENCE value;
    value.DecodeFrom(encoding);
    CRSAPrivateKey key;
    CASN1_PrivateKey::SetDataTo(value, key);
    return key;
}

// Stores the object with its Serialize into memory and returns the bytes.
template <class T>
std::vector<unsigned char> Store(T& object)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        object.Serialize(ar);
        ar.Close();
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(file.GetLength()));
    file.SeekToBegin();
    if (!bytes.empty())
        file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
    return bytes;
}

// Loads the object with its Serialize from the bytes.
template <class T>
void Load(T& object, const std::vector<unsigned char>& bytes)
{
    CMemFile file;
    if (!bytes.empty())
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
    file.SeekToBegin();
    CArchive ar(&file, CArchive::load);
    object.Serialize(ar);
}

// The cause of the archive exception loading raises, or -1 when it raises none.
template <class T>
int LoadFailure(T& object, const std::vector<unsigned char>& bytes)
{
    try {
        Load(object, bytes);
    } catch (CArchiveException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    }
    return -1;
}

// ---- the openssl command line -----------------------------------------------------------

inline bool HaveOpenssl()
{
    return std::system("openssl version >/dev/null 2>&1") == 0;
}

// A fresh folder for files handed to openssl, removed at the end of the test.
class TempFolder {
public:
    TempFolder()
    {
        static int counter = 0;
        m_path = fs::temp_directory_path() /
                 ("pki_test_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        fs::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    fs::path operator/(const std::string& name) const { return m_path / name; }

    void Write(const std::string& name, const std::vector<unsigned char>& bytes) const
    {
        std::ofstream out(m_path / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    fs::path m_path;
};

// Runs a shell command; its exit status and its standard output (and error) text.
struct CommandResult {
    int status;
    std::string output;
};

inline CommandResult RunCommand(const std::string& command)
{
    CommandResult result{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    result.status = ::pclose(pipe);
    return result;
}

}  // namespace pkitest
