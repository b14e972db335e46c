// Helpers shared by the PKI tests: fixtures, keys from PKCS #1 files and archives in memory.
#pragma once

#include "sigilbox/asn1/asn1_test_util.h"

#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"
#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pkitest {

namespace fs = std::filesystem;

using asn1test::Owned;

inline fs::path Fixture(const std::string& name)
{
    return fs::path(QM_TEST_DATA) / "pki" / name;
}

using qmtest::ReadFile;

inline CDEREncoding FixtureEncoding(const std::string& name)
{
    std::vector<unsigned char> bytes = ReadFile(Fixture(name).string());
    EXPECT_FALSE(bytes.empty()) << name;
    return CDEREncoding(bytes.data(), bytes.size());
}

inline std::string Encoded(const CASN1Type& value)
{
    CByteArray bytes;
    value.EncodeTo(bytes);
    return asn1test::ToHex(bytes);
}

using asn1test::EncodedBytes;

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

// Objects through archives in memory, with their Serialize.
template <class T>
std::vector<unsigned char> Store(T& object)
{
    return qmtest::StoreObject(object);
}

template <class T>
void Load(T& object, const std::vector<unsigned char>& bytes)
{
    qmtest::LoadObject(object, bytes);
}

// The cause of the archive exception loading raises, or -1 when it raises none.
template <class T>
int LoadFailure(T& object, const std::vector<unsigned char>& bytes)
{
    return qmtest::CauseOf<CArchiveException>([&] { Load(object, bytes); });
}

}  // namespace pkitest
