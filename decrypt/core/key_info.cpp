#include "decrypt/core/key_info.h"

#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/sym_keys.h"

#include <cstring>

IMPLEMENT_SERIAL(CKeyInfo, CObject, VERSIONABLE_SCHEMA | 1)

CKeyInfo::CKeyInfo() = default;

CKeyInfo::CKeyInfo(const char* name, int type, CObject* key, int grade)
    : m_strName(name), m_nType(type), m_nGrade(grade), m_pKey(key)
{
}

CKeyInfo::CKeyInfo(const CKeyInfo& other) : CObject() { *this = other; }

CKeyInfo& CKeyInfo::operator=(const CKeyInfo& other)
{
    if (this == &other)
        return *this;
    CObject* copy = other.m_pKey ? CopyKey(other.m_nType, other.m_pKey) : nullptr;
    delete m_pKey;
    m_pKey = copy;
    m_strName = other.m_strName;
    m_nType = other.m_nType;
    m_nGrade = other.m_nGrade;
    m_nFlag = other.m_nFlag;
    std::memcpy(m_Digest, other.m_Digest, sizeof m_Digest);
    m_strSecond = other.m_strSecond;
    return *this;
}

CKeyInfo::~CKeyInfo() { delete m_pKey; }

CRuntimeClass* CKeyInfo::KeyClassOf(int type)
{
    switch (type) {
    case DESKey: return RUNTIME_CLASS(CDESkey);
    case TripleDESKey: return RUNTIME_CLASS(CTripleDESkey);
    case IDEAKey: return RUNTIME_CLASS(CIDEAkey);
    case RSAPublicKey: return RUNTIME_CLASS(CRSAPublicKey);
    case RSAPrivateKey: return RUNTIME_CLASS(CRSAPrivateKey);
    default: return nullptr;
    }
}

CObject* CKeyInfo::CopyKey(int type, const CObject* key)
{
    if (!key || key->GetRuntimeClass() != KeyClassOf(type))
        return nullptr;
    switch (type) {
    case DESKey: return new CDESkey(*static_cast<const CDESkey*>(key));
    case TripleDESKey: return new CTripleDESkey(*static_cast<const CTripleDESkey*>(key));
    case IDEAKey: return new CIDEAkey(*static_cast<const CIDEAkey*>(key));
    case RSAPublicKey: return new CRSAPublicKey(*static_cast<const CRSAPublicKey*>(key));
    case RSAPrivateKey: return new CRSAPrivateKey(*static_cast<const CRSAPrivateKey*>(key));
    default: return nullptr;
    }
}

BOOL CKeyInfo::IsValid() const
{
    if (m_nType < NoKey || m_nType > RSAPrivateKey || m_nGrade < 0 || m_nGrade > 3 || m_nFlag < 0 || m_nFlag >= 2)
        return FALSE;
    if (m_nType == NoKey)
        return TRUE;
    return m_pKey && m_pKey->GetRuntimeClass() == KeyClassOf(m_nType);
}

CRSAPrivateKey* CKeyInfo::GetPrivateKey() const
{
    return m_nType == RSAPrivateKey && m_pKey && m_pKey->IsKindOf(RUNTIME_CLASS(CRSAPrivateKey))
               ? static_cast<CRSAPrivateKey*>(m_pKey)
               : nullptr;
}

CRSAPublicKey* CKeyInfo::GetPublicKey() const
{
    return IsRSA() && m_pKey && m_pKey->IsKindOf(RUNTIME_CLASS(CRSAPublicKey)) ? static_cast<CRSAPublicKey*>(m_pKey) : nullptr;
}

void CKeyInfo::SetKey(int type, CObject* key)
{
    if (key != m_pKey)
        delete m_pKey;
    m_pKey = key;
    m_nType = type;
}

void CKeyInfo::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0) << m_strName << m_strSecond << static_cast<WORD>(m_nType) << static_cast<WORD>(m_nGrade);
        if (m_nType != NoKey)
            ar << m_pKey;
        ar << static_cast<WORD>(m_nFlag);
        ar.Write(m_Digest, sizeof m_Digest);
        return;
    }
    ar.GetObjectSchema();
    BYTE version;
    ar >> version;
    if (version != 0)
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    // Read into a scratch record: this one changes only when the whole record is good.
    CKeyInfo loaded;
    WORD type, grade, flag;
    ar >> loaded.m_strName >> loaded.m_strSecond >> type >> grade;
    if (type > RSAPrivateKey)
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    loaded.m_nType = type;
    loaded.m_nGrade = grade;
    if (type != NoKey) {
        // The record owns its key: a reference to a key another record holds is refused.
        loaded.m_pKey = ar.ReadOwnedObject(KeyClassOf(type));
    }
    ar >> flag;
    loaded.m_nFlag = flag;
    if (ar.Read(loaded.m_Digest, sizeof loaded.m_Digest) != sizeof loaded.m_Digest)
        AfxThrowArchiveException(CArchiveException::endOfFile, ar.m_strFileName);
    if (!loaded.IsValid())
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    // The loaded key is taken over, not copied: the archive knows it by its address, so it
    // must live on as it is.
    m_strName = loaded.m_strName;
    m_strSecond = loaded.m_strSecond;
    m_nType = loaded.m_nType;
    m_nGrade = loaded.m_nGrade;
    m_nFlag = loaded.m_nFlag;
    std::memcpy(m_Digest, loaded.m_Digest, sizeof m_Digest);
    delete m_pKey;
    m_pKey = loaded.m_pKey;
    loaded.m_pKey = nullptr;
}

DecryptionState::DecryptionState() : m_strDefaultViewer("NOTEPAD.EXE") {}

DecryptionState& DecryptionState::operator=(const DecryptionState& other)
{
    if (this == &other)
        return *this;
    CKeyInfo::operator=(other);
    m_strKeyFileName = other.m_strKeyFileName;
    m_strEmailAddress = other.m_strEmailAddress;
    m_strDefaultViewer = other.m_strDefaultViewer;
    m_nIDIsSet = other.m_nIDIsSet;
    m_nOpenSignedContent = other.m_nOpenSignedContent;
    DecryptQueue.Copy(other.DecryptQueue);
    return *this;
}

void DecryptionState::SetDecryptingID(const CKeyInfo& id)
{
    CKeyInfo::operator=(id);
    m_nIDIsSet = GetPrivateKey() != nullptr;
}
