#include "sigilbox/asn1/asn1_type.h"

#include "sigilbox/engines/progress.h"

#include <cstring>
#include <new>

namespace {

// Deletes a component that has not been handed to an owner yet.
struct PendingComponent {
    explicit PendingComponent(CASN1Type* p) : m_p(p) {}
    ~PendingComponent() { delete m_p; }
    CASN1Type* Release()
    {
        CASN1Type* p = m_p;
        m_p = nullptr;
        return p;
    }
    CASN1Type* m_p;
};

}  // namespace

void DestructElements(CASN1Type** elements, int count)
{
    for (int i = 0; i < count; ++i) {
        delete elements[i];
        elements[i] = nullptr;
    }
}

// ---- CASN1Type --------------------------------------------------------------------------

CASN1Type::CASN1Type() : m_Tag(0), m_bConstructed(FALSE), m_bIndefiniteLength(FALSE)
{
}

CASN1Type::CASN1Type(const CASN1Type& other)
    : m_Tag(other.m_Tag), m_bConstructed(other.m_bConstructed), m_bIndefiniteLength(other.m_bIndefiniteLength)
{
}

CASN1Type& CASN1Type::operator=(const CASN1Type& other)
{
    m_Tag = other.m_Tag;
    m_bConstructed = other.m_bConstructed;
    m_bIndefiniteLength = other.m_bIndefiniteLength;
    return *this;
}

CASN1Type::~CASN1Type() = default;

void CASN1Type::EncodeTo(CByteArray& out) const
{
    unsigned long length = GetEncodedLength();
    if (length > static_cast<unsigned long>(kMaxArrayElements) || length > 0xFFFFFFFFul)
        AfxThrowMemoryException();
    out.SetSize(static_cast<int>(length));
    // The buffer is exactly the encoded size and cannot grow: the file writes into it.
    CMemFile file(out.GetData(), static_cast<UINT>(length), 0);
    try {
        EncodeToFile(file, 0);
    } catch (...) {
        file.Detach();
        throw;
    }
    file.Detach();
}

int AreEqual(const CASN1Type& a, const CASN1Type& b)
{
    CByteArray ea;
    CByteArray eb;
    a.EncodeTo(ea);
    b.EncodeTo(eb);
    return ea.GetSize() == eb.GetSize() && (ea.GetSize() == 0 || std::memcmp(ea.GetData(), eb.GetData(), static_cast<size_t>(ea.GetSize())) == 0);
}

CDEREncoding::CDEREncoding(const CASN1Type& object)
{
    object.EncodeTo(*this);
}

// ---- CASN1_PRIMITIVE_TYPE ---------------------------------------------------------------

void* CASN1_PRIMITIVE_TYPE::operator new(std::size_t size)
{
    return ::operator new(size);
}

void CASN1_PRIMITIVE_TYPE::operator delete(void* p)
{
    ::operator delete(p);
}

CASN1_PRIMITIVE_TYPE::~CASN1_PRIMITIVE_TYPE() = default;

CASN1_PRIMITIVE_TYPE::CASN1_PRIMITIVE_TYPE(const CASN1_PRIMITIVE_TYPE& other) : CASN1Type(other), CByteArray(other)
{
}

CASN1_PRIMITIVE_TYPE& CASN1_PRIMITIVE_TYPE::operator=(const CASN1_PRIMITIVE_TYPE& other)
{
    if (this != &other) {
        CASN1Type::operator=(other);
        CByteArray::operator=(other);
    }
    return *this;
}

void CASN1_PRIMITIVE_TYPE::WriteHeader(CFile& file, unsigned char identifier, unsigned long contentsLength) const
{
    unsigned char header[10];
    header[0] = identifier;
    int n = AfxWriteDefiniteLength(contentsLength, header + 1);
    file.Write(header, static_cast<UINT>(1 + n));
}

void CASN1_PRIMITIVE_TYPE::EncodeToFile(CFile& file, int contentsOnly) const
{
    __checkKillThreadFlag();
    int size = CByteArray::GetSize();
    if (!contentsOnly)
        WriteHeader(file, static_cast<unsigned char>(m_Tag & ~0x20), static_cast<unsigned long>(size));
    if (size)
        file.Write(CByteArray::GetData(), static_cast<UINT>(size));
}

unsigned long CASN1_PRIMITIVE_TYPE::GetEncodedLength() const
{
    return AfxComputeEncodedLength(1, static_cast<unsigned long>(CByteArray::GetSize()), 0);
}

void CASN1_PRIMITIVE_TYPE::Clear()
{
    CByteArray::SetSize(0);
}

void CASN1_PRIMITIVE_TYPE::SetContentsOctets(const unsigned char* data, unsigned long length)
{
    if (length > static_cast<unsigned long>(kMaxArrayElements))
        AfxThrowMemoryException();
    CByteArray::SetSize(static_cast<int>(length));
    if (length)
        std::memcpy(CByteArray::GetData(), data, length);
}

void CASN1_PRIMITIVE_TYPE::SetContents(const CDEREncoding& encoding, const CHugeDigit& length)
{
    if (!encoding.IsValidBytes(length))
        AfxThrowDERDecodingException("Invalid encoding length");
    SetContentsOctets(encoding.GetData() + encoding.m_nSeek, length[0]);
}

void CASN1_PRIMITIVE_TYPE::Append(const unsigned char* data, unsigned long length)
{
    if (length == 0)
        return;
    if (length > static_cast<unsigned long>(kMaxArrayElements))
        AfxThrowMemoryException();
    CByteArray::Append(data, static_cast<int>(length));
}

void CASN1_PRIMITIVE_TYPE::ReserveContents(unsigned long total)
{
    if (total <= static_cast<unsigned long>(m_nMaxSize) || total > static_cast<unsigned long>(kMaxArrayElements))
        return;
    BYTE* p = new BYTE[total];
    if (m_nSize)
        std::memcpy(p, m_pData, static_cast<size_t>(m_nSize));
    delete[] m_pData;
    m_pData = p;
    m_nMaxSize = static_cast<int>(total);
}

void CASN1_PRIMITIVE_TYPE::AddConstructedComponent(CASN1Type* component)
{
    delete component;
}

const unsigned char* CASN1_PRIMITIVE_TYPE::GetData() const
{
    return CByteArray::GetData();
}

int CASN1_PRIMITIVE_TYPE::GetData(unsigned char* buffer, int bufferSize, int& dataSize, int leftAligned, int zeroFill) const
{
    int size = CByteArray::GetSize();
    dataSize = size;
    if (bufferSize < size)
        return 0;
    unsigned char* at = leftAligned ? buffer : buffer + (bufferSize - size);
    if (size)
        std::memcpy(at, CByteArray::GetData(), static_cast<size_t>(size));
    if (zeroFill && bufferSize > size)
        std::memset(leftAligned ? buffer + size : buffer, 0, static_cast<size_t>(bufferSize - size));
    return 1;
}

int CASN1_PRIMITIVE_TYPE::GetData(CByteArray& data) const
{
    data.Copy(*this);
    return 1;
}

int CASN1_PRIMITIVE_TYPE::GetDataSize() const
{
    return CByteArray::GetSize();
}

// ---- CASN1_CONSTRUCTED_TYPE -------------------------------------------------------------

CASN1_CONSTRUCTED_TYPE::CASN1_CONSTRUCTED_TYPE(const CASN1_CONSTRUCTED_TYPE& other) : CASN1_PRIMITIVE_TYPE(other)
{
    m_Components.CopyFrom(other.m_Components);
}

CASN1_CONSTRUCTED_TYPE& CASN1_CONSTRUCTED_TYPE::operator=(const CASN1_CONSTRUCTED_TYPE& other)
{
    if (this != &other) {
        CASN1_PRIMITIVE_TYPE::operator=(other);
        m_Components.CopyFrom(other.m_Components);
    }
    return *this;
}

CASN1_CONSTRUCTED_TYPE::~CASN1_CONSTRUCTED_TYPE()
{
    CASN1_CONSTRUCTED_TYPE::Clear();
}

void CASN1_CONSTRUCTED_TYPE::AdoptComponent(CASN1Type* component)
{
    PendingComponent pending(component);
    m_Components.Add(component);
    pending.Release();
}

unsigned long CASN1_CONSTRUCTED_TYPE::ChildrenLength() const
{
    return m_Components.EncodedLength();
}

void CASN1_CONSTRUCTED_TYPE::EncodeToFile(CFile& file, int contentsOnly) const
{
    if (!m_bConstructed) {
        CASN1_PRIMITIVE_TYPE::EncodeToFile(file, contentsOnly);
        return;
    }
    __checkKillThreadFlag();
    unsigned char identifier = static_cast<unsigned char>(m_Tag | 0x20);
    if (!contentsOnly) {
        if (m_bIndefiniteLength) {
            unsigned char header[2] = {identifier, 0x80};
            file.Write(header, 2);
        } else {
            WriteHeader(file, identifier, ChildrenLength());
        }
    }
    m_Components.EncodeTo(file);
    if (m_bIndefiniteLength && !contentsOnly) {
        static const unsigned char endOfContents[2] = {0, 0};
        file.Write(endOfContents, 2);
    }
}

unsigned long CASN1_CONSTRUCTED_TYPE::GetEncodedLength() const
{
    if (!m_bConstructed)
        return CASN1_PRIMITIVE_TYPE::GetEncodedLength();
    return AfxComputeEncodedLength(1, ChildrenLength(), m_bIndefiniteLength);
}

void CASN1_CONSTRUCTED_TYPE::Clear()
{
    CByteArray::SetSize(0);
    m_Components.RemoveAll();
}

void CASN1_CONSTRUCTED_TYPE::AddConstructedComponent(CASN1Type* component)
{
    if (!component)
        return;
    PendingComponent pending(component);
    if (component->m_Tag != m_Tag)
        AfxThrowDERDecodingException("Invalid constructed encoded type");
    if (auto* segment = dynamic_cast<CASN1_PRIMITIVE_TYPE*>(component))
        Append(segment->GetData(), static_cast<unsigned long>(segment->GetDataSize()));
    m_Components.Add(component);
    pending.Release();
}

// ---- CASN1_TAGGED -----------------------------------------------------------------------

CASN1_TAGGED::CASN1_TAGGED(unsigned char tag, int constructed, int indefinite)
{
    m_Tag = tag;
    m_bConstructed = constructed;
    m_bIndefiniteLength = indefinite;
}

CASN1_TAGGED::CASN1_TAGGED(unsigned char tag, const unsigned char* data, unsigned long length)
{
    m_Tag = tag;
    SetContentsOctets(data, length);
}

CASN1_TAGGED::CASN1_TAGGED(const CASN1_TAGGED& other) = default;

CASN1Type* CASN1_TAGGED::Clone() const
{
    return new CASN1_TAGGED(*this);
}

void CASN1_TAGGED::AddConstructedComponent(CASN1Type* component)
{
    if (!component)
        return;
    PendingComponent pending(component);
    if (auto* segment = dynamic_cast<CASN1_PRIMITIVE_TYPE*>(component))
        Append(segment->GetData(), static_cast<unsigned long>(segment->GetDataSize()));
    m_Components.Add(component);
    pending.Release();
}

void CASN1_TAGGED::BuildExplicit(const CASN1Type& inner)
{
    // Copy first: `inner` may be this object or one of its children.
    PendingComponent copy(inner.Clone());
    CByteArray encoding;
    copy.m_p->EncodeTo(encoding);
    Clear();
    m_bConstructed = TRUE;
    AdoptComponent(copy.Release());
    CByteArray::Copy(encoding);
}
