#include "decrypt/mime/message_records.h"

IMPLEMENT_SERIAL(CHeaderRecord, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CHeaderRecords, CObArray, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CRcpt, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CRcpts, CObArray, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CInetServer, CObject, VERSIONABLE_SCHEMA | 0)
IMPLEMENT_SERIAL(CInetServers, CObArray, VERSIONABLE_SCHEMA | 0)

void CHeaderRecord::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_strName << m_strValue;
    else
        ar >> m_strName >> m_strValue;
}

CString CHeaderRecords::Find(const char* name) const
{
    CString value;
    Find(name, value);
    return value;
}

BOOL CHeaderRecords::Find(const char* name, CString& value) const
{
    for (int i = 0; i < GetSize(); ++i) {
        const CHeaderRecord* r = GetItem(i);
        if (r->m_strName.CompareNoCase(name) == 0) {
            value = r->m_strValue;
            return TRUE;
        }
    }
    value.Empty();
    return FALSE;
}

int CHeaderRecords::FindAll(const char* name, CStringArray& values) const
{
    int found = 0;
    for (int i = 0; i < GetSize(); ++i) {
        const CHeaderRecord* r = GetItem(i);
        if (r->m_strName.CompareNoCase(name) == 0) {
            values.Add(r->m_strValue);
            ++found;
        }
    }
    return found;
}

void CRcpt::Clear()
{
    m_strReserved.Empty();
    m_nKind = kRcptFrom;
    m_strAddress.Empty();
    m_strName.Empty();
}

void CRcpt::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_strReserved << m_nKind << m_strAddress << m_strName;
    else
        ar >> m_strReserved >> m_nKind >> m_strAddress >> m_strName;
}

void CInetServer::Serialize(CArchive& ar)
{
    if (ar.IsStoring())
        ar << m_strHost << m_nAddress << m_nPort;
    else
        ar >> m_strHost >> m_nAddress >> m_nPort;
}
