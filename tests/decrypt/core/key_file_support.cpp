#include "key_file_support.h"

#include "framework/archive.h"
#include "framework/memfile.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/pki/key_container.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace keyfile_test {

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::unique_ptr<CRSAPrivateKey> LoadPrivateKey(const std::string& derPath)
{
    Bytes der = ReadBytes(derPath);
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto key = std::make_unique<CRSAPrivateKey>();
    CASN1_PrivateKey::SetDataTo(*value, *key);
    return key;
}

std::string KeyPath(const char* which)
{
    std::string data = QM_TEST_DATA;
    std::string w = which;
    if (w == "512a")
        return data + "/pki/user512_key.der";
    if (w == "512b")
        return data + "/decrypt/user_key.der";
    if (w == "1024")
        return data + "/pki/user1024_key.der";
    return data + "/pki/ca_key.der";
}

void PasswordKeyBytes(const std::string& password, BYTE key[8], BYTE iv[8])
{
    BYTE digest[16];
    AfxMakeMD5DigestOnData(reinterpret_cast<const BYTE*>(password.data()), static_cast<int>(password.size()), digest);
    std::memcpy(iv, digest, 8);
    std::memcpy(key, digest + 8, 8);
    AdjustDESKeyParity(key, 8);
}

void IntegrityDigest(const Bytes& data, BYTE digest[16])
{
    const BYTE* p = reinterpret_cast<const BYTE*>(data.data());
    if (!data.empty() && data.size() % 1024 == 0) {
        CMD5DigestMaker md5;
        md5.UpdateBlock(p, static_cast<int>(data.size()), nullptr, 0);
        md5.GetCurrentDigest(digest);
        return;
    }
    AfxMakeMD5DigestOnData(p, static_cast<int>(data.size()), digest);
}

Bytes ArchivePayload(const std::vector<const CKeyInfo*>& records)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        ar.WriteCount(static_cast<DWORD>(records.size()));
        // Copies that live until the archive is done: the archive tells objects apart by
        // their addresses.
        std::vector<std::unique_ptr<CKeyInfo>> copies;
        for (const CKeyInfo* r : records) {
            copies.push_back(std::make_unique<CKeyInfo>(*r));
            copies.back()->Serialize(ar);
        }
        ar.Close();
    }
    return Bytes(reinterpret_cast<const char*>(file.GetBufferPtr()), static_cast<size_t>(file.GetLength()));
}

Bytes DERPayload(const std::vector<DEREntry>& entries)
{
    CASN1_KCDNs sequence;
    for (const DEREntry& e : entries) {
        if (e.isPrivate)
            sequence.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*static_cast<const CRSAPrivateKey*>(e.key),
                                                                              CString(e.name.c_str()), nullptr));
        else
            sequence.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*e.key, CString(e.name.c_str()), nullptr));
    }
    CDEREncoding encoding(sequence);
    return Bytes(reinterpret_cast<const char*>(encoding.GetData()), static_cast<size_t>(encoding.GetSize()));
}

namespace {

CDESkey MakeKey(const BYTE key[8], const BYTE iv[8])
{
    CDESkey k;
    std::memcpy(k.m_Key, key, 8);
    std::memcpy(k.m_IV, iv, 8);
    return k;
}

// Digest and payload under the session key, one CBC chain, padded with 1 to 8 bytes.
Bytes SessionPart(const BYTE sessionKey[8], const BYTE sessionIV[8], const Bytes& payload)
{
    BYTE digest[16];
    IntegrityDigest(payload, digest);
    Bytes plain(reinterpret_cast<const char*>(digest), 16);
    plain += payload;
    size_t pad = 8 - payload.size() % 8;
    plain.append(pad, static_cast<char>(pad));
    Bytes cipher(plain.size(), '\0');
    CDES_CBC cbc(MakeKey(sessionKey, sessionIV));
    cbc.EncryptBlock(reinterpret_cast<const BYTE*>(plain.data()), static_cast<int>(plain.size()),
                     reinterpret_cast<BYTE*>(cipher.data()), nullptr);
    return cipher;
}

void PutWord(Bytes& out, unsigned v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

Bytes KeyFileBytes(DWORD flag, const std::string& password, const Bytes& payload, const BYTE sessionKey[8],
                   const BYTE sessionIV[8])
{
    BYTE key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    BYTE iv[8] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xAB, 0xCD, 0xEF};
    if (sessionKey)
        std::memcpy(key, sessionKey, 8);
    if (sessionIV)
        std::memcpy(iv, sessionIV, 8);
    AdjustDESKeyParity(key, 8);

    BYTE pwKey[8], pwIV[8];
    PasswordKeyBytes(password, pwKey, pwIV);
    BYTE locked[8];
    CDES_CBC pw(MakeKey(pwKey, pwIV));
    pw.EncryptBlock(key, 8, locked, nullptr);

    Bytes out;
    PutWord(out, flag, 4);
    PutWord(out, 8, 2);
    out.append(reinterpret_cast<const char*>(locked), 8);
    out.append(reinterpret_cast<const char*>(iv), 8);
    out += SessionPart(key, iv, payload);
    return out;
}

Bytes RSALockedBytes(CRSAPublicKey& publicKey, const Bytes& payload)
{
    BYTE key[8] = {0x01, 0x02, 0x04, 0x07, 0x08, 0x0B, 0x0D, 0x0E};
    BYTE iv[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    CDESkey session = MakeKey(key, iv);
    std::vector<BYTE> locked(static_cast<size_t>(publicKey.LockedDataSize()));
    publicKey.LockDESKey(session, locked.data());
    Bytes out;
    PutWord(out, static_cast<unsigned>(locked.size()), 2);
    out.append(reinterpret_cast<const char*>(locked.data()), locked.size());
    out.append(reinterpret_cast<const char*>(iv), 8);
    out += SessionPart(key, iv, payload);
    return out;
}

OpenedKeyFile OpenKeyFile(const Bytes& file, const std::string& password)
{
    OpenedKeyFile r;
    if (file.size() < 4 + 2 + 8 + 8 + 24)
        return r;
    const BYTE* p = reinterpret_cast<const BYTE*>(file.data());
    r.flag = p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24);
    r.n = p[4] | (p[5] << 8);
    if (r.n != 8)
        return r;
    BYTE pwKey[8], pwIV[8];
    PasswordKeyBytes(password, pwKey, pwIV);
    CDES_CBC pw(MakeKey(pwKey, pwIV));
    pw.DecryptBlock(p + 6, 8, r.sessionKey, nullptr);
    std::memcpy(r.sessionIV, p + 14, 8);
    size_t rest = file.size() - 22;
    if (rest % 8 != 0 || !IsDESKeyParityOK(r.sessionKey, 8))
        return r;
    Bytes plain(rest, '\0');
    CDES_CBC session(MakeKey(r.sessionKey, r.sessionIV));
    session.DecryptBlock(p + 22, static_cast<int>(rest), reinterpret_cast<BYTE*>(plain.data()), nullptr);
    unsigned pad = static_cast<BYTE>(plain.back());
    if (pad < 1 || pad > 8 || plain.size() < 16 + pad)
        return r;
    std::memcpy(r.digest, plain.data(), 16);
    r.payload = plain.substr(16, plain.size() - 16 - pad);
    BYTE check[16];
    IntegrityDigest(r.payload, check);
    r.ok = std::memcmp(check, r.digest, 16) == 0;
    return r;
}

Bytes Hex(const BYTE* data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    Bytes out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

}  // namespace keyfile_test
