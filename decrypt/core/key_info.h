// A key with its description (the ID name, the key's type and strength grade), and the
// application's decrypting state built on it: the current decrypting ID, the user's three
// settings and the queue of files waiting to be decrypted.
#pragma once

#include "framework/archive.h"
#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/object.h"

class CRSAPrivateKey;
class CRSAPublicKey;

class CKeyInfo : public CObject {
    DECLARE_SERIAL(CKeyInfo)
public:
    enum KeyType { NoKey = 0, DESKey = 1, TripleDESKey = 2, IDEAKey = 3, RSAPublicKey = 4, RSAPrivateKey = 5 };

    CKeyInfo();
    // The key (which may be null for NoKey) passes to the record.
    CKeyInfo(const char* name, int type, CObject* key, int grade);
    CKeyInfo(const CKeyInfo& other);
    CKeyInfo& operator=(const CKeyInfo& other);
    ~CKeyInfo() override;

    // Version 0, name, second string, type and grade (16 bits each), the key object with
    // its class when there is one, flag (16 bits), the 16 digest bytes.
    void Serialize(CArchive& ar) override;

    BOOL IsValid() const;
    BOOL IsRSA() const { return m_nType == RSAPublicKey || m_nType == RSAPrivateKey; }
    BOOL IsPrivate() const { return m_nType == RSAPrivateKey; }
    // The key as a private RSA key, or null when the record holds none.
    CRSAPrivateKey* GetPrivateKey() const;
    CRSAPublicKey* GetPublicKey() const;
    // Replaces the key (deleting the one held); the record takes ownership.
    void SetKey(int type, CObject* key);

    // The class a type's key must have (null for NoKey or an unknown type).
    static CRuntimeClass* KeyClassOf(int type);
    // A deep copy of a key of the given type.
    static CObject* CopyKey(int type, const CObject* key);

    CString m_strName;
    LONG m_nType = NoKey;
    LONG m_nGrade = 0;
    LONG m_nFlag = 0;
    BYTE m_Digest[16] = {};
    CObject* m_pKey = nullptr;
    CString m_strSecond;
};

class DecryptionState : public CKeyInfo {
public:
    DecryptionState();
    DecryptionState(const DecryptionState& other) = default;
    DecryptionState& operator=(const DecryptionState& other);

    // Makes the record the current decrypting ID (the state keeps its settings and queue).
    void SetDecryptingID(const CKeyInfo& id);
    BOOL HasDecryptingID() const { return m_nIDIsSet && GetPrivateKey() != nullptr; }

    CString m_strKeyFileName;
    CString m_strEmailAddress;
    CString m_strDefaultViewer;
    LONG m_nIDIsSet = 0;
    // Signed content inside a message is opened (its signature kept as a file) rather
    // than refused: the "OpenSignedContent" setting, or --open-signed for one run.
    DWORD m_nOpenSignedContent = 0;
    CStringArray DecryptQueue;
};
