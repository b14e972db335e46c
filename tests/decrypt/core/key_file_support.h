// Key files assembled byte by byte from their layout, and taken apart again, without the
// program's own locking code: the flag, N, the locked session key, the IV, the encrypted
// digest and the payload, with the library's DES-CBC and MD5 as the only helpers.
#pragma once

#include "decrypt/core/key_info.h"
#include "framework/types.h"
#include "sigilbox/engines/rsa_keys.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace keyfile_test {

using Bytes = std::string;

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// A PKCS #1 RSAPrivateKey file of the test data as a key object.
std::unique_ptr<CRSAPrivateKey> LoadPrivateKey(const std::string& derPath);
// The four keys of the test data: two of 512 bits, one of 1024, one of 2048.
std::string KeyPath(const char* which);   // "512a", "512b", "1024", "2048"

// The password key as the layout defines it: MD5 of the characters, bytes 0-7 the IV,
// bytes 8-15 the DES key with odd parity.
void PasswordKeyBytes(const std::string& password, BYTE key[8], BYTE iv[8]);

// The integrity value: MD5, left unfinished when the length is a nonzero multiple of 1024.
void IntegrityDigest(const Bytes& data, BYTE digest[16]);

// Payloads: the archive of records (element count, then each record), and the DER sequence
// of entries (private or public key, name, no certificates, no owner).
Bytes ArchivePayload(const std::vector<const CKeyInfo*>& records);
struct DEREntry {
    const CRSAPublicKey* key;   // a CRSAPrivateKey when isPrivate
    bool isPrivate;
    std::string name;
};
Bytes DERPayload(const std::vector<DEREntry>& entries);

// A whole key file: flag, then the locked file made with the password and a chosen session
// key and IV (the session key bytes get odd parity here).
Bytes KeyFileBytes(DWORD flag, const std::string& password, const Bytes& payload, const BYTE sessionKey[8] = nullptr,
                   const BYTE sessionIV[8] = nullptr);
// The locked part alone, its session key locked with an RSA public key.
Bytes RSALockedBytes(CRSAPublicKey& key, const Bytes& payload);

// A key file taken apart with the password; ok is false when any layer does not fit.
struct OpenedKeyFile {
    bool ok = false;
    DWORD flag = 0;
    unsigned n = 0;
    BYTE sessionKey[8] = {};
    BYTE sessionIV[8] = {};
    BYTE digest[16] = {};
    Bytes payload;
};
OpenedKeyFile OpenKeyFile(const Bytes& file, const std::string& password);

Bytes Hex(const BYTE* data, size_t n);

}  // namespace keyfile_test
