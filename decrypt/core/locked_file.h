// The program's password wrapper of files: a locked file carries a fresh DES session key
// (locked with an RSA public key or a symmetric key), the session IV, an encrypted MD5 of
// the plaintext for the integrity check and the plaintext encrypted with the session key.
//
//   0      2  N, little-endian: length of the locked session key
//   2      N  the session key, locked (RSA: N = modulus bytes; symmetric: N = 8, one block)
//   2+N    8  the session key's IV
//   10+N  16  MD5 of the plaintext, DES-CBC with the session key
//   26+N   .  the plaintext, the same CBC chain running on, padded with 1 to 8 bytes
//
// The digest is made with CDigestMaker::UpdateFile on both sides, so a plaintext whose
// length is a nonzero multiple of 1024 carries the unfinished MD5 state; that is the format.
#pragma once

#include "decrypt/core/key_info.h"
#include "framework/cstring.h"
#include "framework/memfile.h"
#include "framework/types.h"

class CFile;
class ProgressDialog;

// Reads source from its position to its end and appends the locked file to destination.
// keyInfo holds an RSA key (its public part is used) or a DES, Triple-DES or IDEA key.
// progressDialog may be null.
void LockFileWithKey(CFile& source, CFile& destination, const CKeyInfo& keyInfo, ProgressDialog* progressDialog);

// Reads a locked file from source at its position and writes the plaintext to destination
// at its position. keyInfo holds an RSA private key or a DES, Triple-DES or IDEA key. Every
// failure (wrong key, damaged or truncated data) raises CUnlockException*; the destination
// may then hold part of the plaintext, which the caller discards.
void UnlockFileWithKey(CFile& source, CFile& destination, const CKeyInfo& keyInfo, ProgressDialog* progressDialog);

// The password key: MD5 of the password's characters; bytes 0-7 are the IV, bytes 8-15 the
// DES key with odd parity applied. Wrapped as a nameless record of type DES, grade 0.
CKeyInfo MakePasswordKey(const char* password, int length);
inline CKeyInfo MakePasswordKey(const CString& password) { return MakePasswordKey(password.c_str(), password.GetLength()); }

// A memory file for plaintext key material: every block it lets go of (growth, close,
// destruction) is overwritten first.
class CWipingMemFile : public CMemFile {
public:
    explicit CWipingMemFile(UINT growBytes = 1024) : CMemFile(growBytes) {}
    ~CWipingMemFile() override;
    void Close() override;
    // Overwrites the bytes written so far and empties the file (the buffer is kept).
    void WipeContents();

protected:
    BYTE* Realloc(BYTE* block, size_t bytes) override;
};

// Overwrites count bytes so that the compiler cannot drop the stores.
void WipeBytes(void* data, size_t count);
