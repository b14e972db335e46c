#include "decrypt/mime/message.h"

#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/msg_store.h"
#include "framework/system.h"

#include <algorithm>
#include <cstring>

IMPLEMENT_SERIAL(CMessage, CObject, 275)
IMPLEMENT_SERIAL(CMessages, CObArray, VERSIONABLE_SCHEMA | 0)

namespace {
// Messages stored inside messages: deeper archives are refused.
constexpr int kMaxStoredNesting = 64;
thread_local int t_loadDepth = 0;
}

LONG AfxGetLocalZone()
{
    LONG b = AfxGetTimeZoneBias();
    if (b <= 0) {
        LONG a = -b;
        return (a / 60) * 100 + a % 60;
    }
    return -((b / 60) * 100 + b % 60);
}

void CMessages::Serialize(CArchive& ar)
{
    SerializeOwned(ar, RUNTIME_CLASS(CMessage));
}

// ---- construction and reset -----------------------------------------------------------------

CMessage::CMessage()
    : m_pContext(nullptr), m_pResultA(nullptr), m_pResultB(nullptr), m_nKeptFlagsA(0), m_nKeptFlagsB(0), m_nKeptFlagsC(0),
      m_pStorage(nullptr), m_nZone(0), m_nStreamEnd(0), m_nHeaderStart(0), m_nBodyStart(0), m_nBodyEnd(-1),
      m_nKind(kFormPlain), m_pParent(nullptr), m_bNoHeaders(FALSE), m_nPartsMade(0)
{
    Reset();
}

CMessage::CMessage(IMessageStore* storage) : CMessage()
{
    m_pStorage = storage;
    if (m_pStorage)
        m_pStorage->AddRef();
}

CMessage::CMessage(CMessage* parent) : CMessage(parent ? parent->m_pStorage : nullptr)
{
    // The link is made after the reset, which clears it.
    if (parent)
        parent->AddChild(this);
}

CMessage::~CMessage()
{
    CloseStream();
    ReleaseStreamName();
    DetachFromParent();
    m_Children.DeleteAll();
    delete m_pResultA;
    delete m_pResultB;
    if (m_pStorage)
        m_pStorage->Release();
}

void CMessage::ReleaseStreamName()
{
    if (!m_strStreamName.IsEmpty() && m_pStorage) {
        m_pStorage->ReleaseStreamRef(m_strStreamName);
        m_pStorage->SetModified();
    }
    m_strStreamName.Empty();
}

void CMessage::Reset()
{
    CloseStream();
    ReleaseStreamName();
    m_Date = m_KeptTimeA = m_KeptTimeB = CTime::GetCurrentTime();
    m_nZone = AfxGetLocalZone();
    m_nStreamEnd = m_nHeaderStart = m_nBodyStart = 0;
    m_nBodyEnd = -1;
    m_Sender.Clear();
    m_Recipients.DeleteAll();
    m_Servers.DeleteAll();
    m_Headers.DeleteAll();
    m_Children.DeleteAll();
    for (CString* s : {&m_strBoundary, &m_strName, &m_strContentType, &m_strProtocol, &m_strMicalg, &m_strSpare,
                       &m_strKeptTextA, &m_strKeptTextB, &m_strKeptTextC, &m_strKeptBeforeId, &m_strMessageId, &m_strDefaultName})
        s->Empty();
    m_nKind = kFormPlain;
    m_nKeptFlagsA = m_nKeptFlagsB = m_nKeptFlagsC = 0;
    DetachFromParent();
    m_pContext = nullptr;
    delete m_pResultA;
    delete m_pResultB;
    m_pResultA = m_pResultB = nullptr;
    m_bNoHeaders = FALSE;
    m_nPartsMade = 0;
    m_Warnings.RemoveAll();
}

// Warnings are few; a hostile message cannot make the list grow without bound.
constexpr int kMaxWarnings = 100;

void CMessage::AddWarning(const CString& text)
{
    CMessage* root = GetRoot();
    if (root->m_Warnings.GetSize() < kMaxWarnings)
        root->m_Warnings.Add(text);
}

CString CMessage::DescribeForUser() const
{
    if (!m_strName.IsEmpty())
        return CString("\"") + m_strName + "\"";
    if (!m_strContentType.IsEmpty())
        return CString("a part of type ") + m_strContentType;
    return CString("a part");
}

// ---- the stream -----------------------------------------------------------------------------

void CMessage::SetStreamName(const char* name)
{
    if (!m_pStorage)
        AfxThrowNotSupportedException();
    CString newName(name);
    if (!newName.IsEmpty())
        m_pStorage->AddStreamRef(newName);
    CloseStream();
    ReleaseStreamName();
    m_strStreamName = newName;
    m_pStorage->SetModified();
}

BOOL CMessage::EnsureOpen()
{
    if (m_Stream.IsOpen())
        return FALSE;
    if (!m_pStorage)
        AfxThrowNotSupportedException();
    m_pStorage->OpenStream(&m_Stream, m_strStreamName);
    return TRUE;
}

void CMessage::CloseStream()
{
    if (m_Stream.IsOpen()) {
        if (m_pStorage)
            m_pStorage->CloseStream(&m_Stream);
        else
            m_Stream.Close();
    }
}

UINT CMessage::ReadBody(void* buffer, UINT count)
{
    if (EnsureOpen())
        m_Stream.Seek(m_nBodyStart, CFile::begin);
    long long pos = m_Stream.GetPosition();
    long long left = static_cast<long long>(m_nBodyEnd) - pos;
    UINT n = 0;
    if (left > 0)
        n = m_Stream.Read(buffer, static_cast<UINT>(std::min<long long>(count, left)));
    if (m_Stream.GetPosition() >= m_nBodyEnd || n == 0)
        CloseStream();
    return n;
}

void CMessage::Append(const void* data, UINT count)
{
    if (!m_Stream.IsOpen()) {
        if (m_strStreamName.IsEmpty()) {
            NewStream(TRUE);
        } else {
            EnsureOpen();
            // Appending goes on after what was written before.
            m_Stream.Seek(m_nStreamEnd, CFile::begin);
        }
    }
    m_Stream.Write(data, count);
    m_nStreamEnd += count;
}

void CMessage::AppendString(const char* text)
{
    // Header lines of any length are written whole: dropping a long one would lose it.
    if (text && *text)
        Append(text, static_cast<UINT>(std::strlen(text)));
}

void CMessage::NewStream(BOOL reset)
{
    if (!m_pStorage)
        AfxThrowNotSupportedException();
    CloseStream();
    ReleaseStreamName();
    char name[_MAX_PATH];
    m_strStreamName = m_pStorage->CreateStream(&m_Stream, name, sizeof name);
    m_pStorage->SetModified();
    if (reset) {
        m_nStreamEnd = m_nHeaderStart = m_nBodyStart = 0;
        m_nBodyEnd = 0;
    }
}

DWORD CMessage::ScanLimit()
{
    if (m_nBodyEnd >= 0)
        return static_cast<DWORD>(m_nBodyEnd);
    long long len = m_Stream.GetLength();
    return len > 0x7FFFFFFF ? 0x7FFFFFFFu : static_cast<DWORD>(len);
}

void CMessage::OpenReadingCopy(const CMessage& source, DWORD offset)
{
    SetStreamName(source.m_strStreamName);
    EnsureOpen();
    m_Stream.Seek(offset, CFile::begin);
}

void CMessage::EndBodyAtStreamEnd()
{
    m_nStreamEnd = static_cast<DWORD>(m_Stream.GetLength());
    m_nBodyEnd = static_cast<LONG>(m_nStreamEnd);
}

// ---- the tree -------------------------------------------------------------------------------

void CMessage::AddChild(CMessage* child)
{
    child->DetachFromParent();
    child->m_pParent = this;
    m_Children.AddItem(child);
}

void CMessage::DetachFromParent()
{
    if (!m_pParent)
        return;
    if (!m_bAdopted) {
        m_pParent = nullptr;
        return;
    }
    CMessages& siblings = m_pParent->m_Children;
    for (int i = 0; i < siblings.GetSize(); ++i) {
        if (siblings.GetItem(i) == this) {
            siblings.DetachAt(i);
            break;
        }
    }
    m_pParent = nullptr;
}

CMessage* CMessage::GetRoot()
{
    CMessage* m = this;
    while (m->m_pParent)
        m = m->m_pParent;
    return m;
}

int CMessage::GetDepth() const
{
    int depth = 0;
    for (const CMessage* m = m_pParent; m; m = m->m_pParent)
        ++depth;
    return depth;
}

CMessage* CMessage::MakeChild(DWORD headerStart, DWORD bodyEnd, DWORD kind, BOOL noHeaders)
{
    CMessage* root = GetRoot();
    if (++root->m_nPartsMade > kMaxMimeParts)
        AfxThrowMIMEEncodingException();
    CMessage* child = new CMessage(this);
    child->SetStreamName(m_strStreamName);
    child->m_nStreamEnd = m_nStreamEnd;
    child->m_nHeaderStart = headerStart;
    // Until its header lines are read the whole range is body, so nothing is lost when a
    // part has no empty line after its headers.
    child->m_nBodyStart = headerStart;
    child->m_nBodyEnd = static_cast<LONG>(bodyEnd < headerStart ? headerStart : bodyEnd);
    child->m_nKind = kind;
    child->m_bNoHeaders = noHeaders;
    return child;
}

CMimeContext* CMessage::FindContext()
{
    CMimeContext* context = GetRoot()->m_pContext;
    if (!context)
        AfxThrowNotSupportedException();
    return context;
}

// ---- results --------------------------------------------------------------------------------

void CMessage::ReplaceResults()
{
    delete m_pResultA;
    delete m_pResultB;
    m_pResultA = m_pResultB = nullptr;
    m_pResultA = new CMemFile(1024);
    m_pResultB = new CMemFile(1024);
}

void CMessage::TakeResults(CMessage& other)
{
    delete m_pResultA;
    delete m_pResultB;
    m_pResultA = other.m_pResultA;
    m_pResultB = other.m_pResultB;
    other.m_pResultA = other.m_pResultB = nullptr;
}

// ---- archives -------------------------------------------------------------------------------

void CMessage::BindStoreToChildren()
{
    for (int i = 0; i < m_Children.GetSize(); ++i) {
        CMessage* child = m_Children.GetItem(i);
        child->m_pParent = this;
        if (m_pStorage && !child->m_pStorage) {
            child->m_pStorage = m_pStorage;
            m_pStorage->AddRef();
            if (!child->m_strStreamName.IsEmpty())
                m_pStorage->AddStreamRef(child->m_strStreamName);
            child->BindStoreToChildren();
        }
    }
}

void CMessage::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << m_strStreamName;
        ar << static_cast<LONG>(m_Date.GetTime()) << m_nZone;
        ar << static_cast<LONG>(m_KeptTimeA.GetTime()) << static_cast<LONG>(m_KeptTimeB.GetTime());
        ar << m_nStreamEnd << m_nHeaderStart << m_nBodyStart << m_nBodyEnd;
        m_Sender.Serialize(ar);
        m_Recipients.Serialize(ar);
        ar << m_strKeptBeforeId << m_strMessageId;
        ar << m_strKeptTextA << m_strKeptTextB << m_strKeptTextC;
        m_Servers.Serialize(ar);
        ar << m_nKind << m_nKeptFlagsA << m_nKeptFlagsB << m_nKeptFlagsC;
        m_Headers.Serialize(ar);
        ar << m_strBoundary << m_strName << m_strContentType;
        m_Children.Serialize(ar);
        return;
    }

    if (t_loadDepth >= kMaxStoredNesting)
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    struct DepthGuard {
        CMessage* m;
        explicit DepthGuard(CMessage* msg) : m(msg) { ++t_loadDepth; m->m_bLoading = true; }
        ~DepthGuard() { --t_loadDepth; m->m_bLoading = false; }
    } guard(this);

    CMessage* parent = m_pParent;
    Reset();
    m_pParent = parent;
    CString name;
    LONG date = 0, keptTimeA = 0, keptTimeB = 0;
    ar >> name;
    if (m_pStorage && !name.IsEmpty())
        SetStreamName(name);
    else
        m_strStreamName = name;
    ar >> date >> m_nZone >> keptTimeA >> keptTimeB;
    m_Date = CTime(date);
    m_KeptTimeA = CTime(keptTimeA);
    m_KeptTimeB = CTime(keptTimeB);
    ar >> m_nStreamEnd >> m_nHeaderStart >> m_nBodyStart >> m_nBodyEnd;
    m_Sender.Serialize(ar);
    m_Recipients.Serialize(ar);
    ar >> m_strKeptBeforeId >> m_strMessageId;
    ar >> m_strKeptTextA >> m_strKeptTextB >> m_strKeptTextC;
    m_Servers.Serialize(ar);
    ar >> m_nKind >> m_nKeptFlagsA >> m_nKeptFlagsB >> m_nKeptFlagsC;
    m_Headers.Serialize(ar);
    ar >> m_strBoundary >> m_strName >> m_strContentType;
    m_Children.Serialize(ar);
    BindStoreToChildren();
}
