#include "sigilbox/asn1/asn1_decode.h"

#include "sigilbox/engines/progress.h"

#include <memory>

namespace {

// The end offset of the value starting at `pos` (identifier octet), found from the headers
// alone, or -1 when the headers are malformed (the real decoding then says why).
long long ScanValueEnd(const unsigned char* p, long long size, long long pos, int depth)
{
    if (depth > kASN1MaxNestingDepth || pos + 2 > size)
        return -1;
    unsigned char identifier = p[pos];
    unsigned char first = p[pos + 1];
    if ((identifier & 0x1F) == 0x1F)
        return -1;
    if (first == 0x80) {
        if (!(identifier & 0x20))
            return -1;
        pos += 2;
        for (;;) {
            __checkKillThreadFlag();
            if (pos + 2 > size)
                return -1;
            if (p[pos] == 0 && p[pos + 1] == 0)
                return pos + 2;
            pos = ScanValueEnd(p, size, pos, depth + 1);
            if (pos < 0)
                return -1;
        }
    }
    long long length = first;
    long long contents = pos + 2;
    if (first > 0x80) {
        int n = first & 0x7F;
        if (contents + n > size)
            return -1;
        length = 0;
        for (int i = 0; i < n; ++i) {
            length = (length << 8) | p[contents + i];
            if (length > 0xFFFFFFFFll)
                return -1;
        }
        contents += n;
    }
    return contents + length <= size ? contents + length : -1;
}

struct ObjectDeleter {
    void operator()(CASN1Type* p) const { delete p; }
};
using ObjectHolder = std::unique_ptr<CASN1Type, ObjectDeleter>;

}  // namespace

// The decoder's access to the protected operations of the classes it fills.
class CASN1Decoder {
public:
    static CASN1Type* BuildNew(CDEREncoding& encoding, int depth)
    {
        if (AfxIsHighTagNumberForm(encoding))
            AfxThrowDERDecodingException("High tag number form is not supported");
        if (depth > kASN1MaxNestingDepth)
            AfxThrowDERDecodingException("Encoding is nested too deeply");
        ObjectHolder object(AfxMakeASN1Class(AfxGetTagClassAndNumber(encoding)));
        DecodeBody(*object, encoding, depth, "Invalid data length");
        return object.release();
    }

    static void BuildInto(CASN1Type& object, CDEREncoding& encoding, int depth)
    {
        if (AfxIsHighTagNumberForm(encoding))
            AfxThrowDERDecodingException("High tag number form is not supported now");
        if (AfxGetTagClassAndNumber(encoding) != object.m_Tag)
            AfxThrowDERDecodingException("Other tag number expected");
        if (depth > kASN1MaxNestingDepth)
            AfxThrowDERDecodingException("Encoding is nested too deeply");
        DecodeBody(object, encoding, depth, "Invalid encoding length");
    }

private:
    // Once a segmented string has its first segment, room for the whole reassembled value
    // is reserved (bounded by the encoding's own length), so long strings sent in many
    // segments are reassembled without reallocating at every segment.
    static void ReserveForSegments(CASN1Type& object, CASN1Type& firstChild, const CDEREncoding& encoding,
                                   long long contentsStart, long long contentsEnd)
    {
        auto* value = dynamic_cast<CASN1_PRIMITIVE_TYPE*>(&object);
        if (!value || !object.AllowsPrimitive() || firstChild.m_Tag != object.m_Tag || value->GetDataSize() == 0)
            return;
        if (contentsEnd < 0) {
            // Indefinite length: find the end-of-contents from the segment headers.
            long long start = contentsStart - 2;
            contentsEnd = ScanValueEnd(encoding.GetData(), encoding.GetSize(), start, 1);
            if (contentsEnd < 0)
                return;
        }
        value->ReserveContents(static_cast<unsigned long>(contentsEnd - contentsStart));
    }

    static void AddChild(CASN1Type& object, CDEREncoding& encoding, int depth, long long limit, int index,
                         long long contentsStart, long long contentsEnd)
    {
        __checkKillThreadFlag();
        CASN1Type* child = BuildNew(encoding, depth + 1);
        if (limit >= 0 && encoding.m_nSeek > limit) {
            // The child ran past its parent's definite length.
            delete child;
            AfxThrowDERDecodingException("Invalid data length");
        }
        object.AddConstructedComponent(child);
        if (index == 0) {
            CASN1_CONSTRUCTED_TYPE* parent = dynamic_cast<CASN1_CONSTRUCTED_TYPE*>(&object);
            if (parent && parent->GetComponentsCount() == 1)
                ReserveForSegments(object, parent->GetComponent(0), encoding, contentsStart, contentsEnd);
        }
    }

    static void DecodeBody(CASN1Type& object, CDEREncoding& encoding, int depth, const char* missingRange)
    {
        if (AfxIsConstructedMethod(encoding)) {
            if (!object.AllowsConstructed())
                AfxThrowDERDecodingException("Encoded type does not allow constructed encoding method");
            object.m_bConstructed = TRUE;
            if (AfxIsIndefiniteLengthMethod(encoding)) {
                object.m_bIndefiniteLength = TRUE;
                AfxSeekToContents(encoding);
                long long start = encoding.m_nSeek;
                for (int index = 0; !AfxIsContentsEndOctets(encoding); ++index)
                    AddChild(object, encoding, depth, -1, index, start, -1);
                encoding.SeekForward(2);
            } else {
                object.m_bIndefiniteLength = FALSE;
                unsigned long length = AfxGetEncodingLengthValue(encoding);
                AfxSeekToContents(encoding);
                if (!encoding.IsValidBytes(CHugeDigit(length)))
                    AfxThrowDERDecodingException(missingRange);
                long long start = encoding.m_nSeek;
                long long end = start + static_cast<long long>(length);
                for (int index = 0; encoding.m_nSeek < end; ++index)
                    AddChild(object, encoding, depth, end, index, start, end);
            }
        } else {
            if (!object.AllowsPrimitive())
                AfxThrowDERDecodingException("Encoded type does not allow primitive encoding method");
            object.m_bConstructed = FALSE;
            unsigned long length = AfxGetEncodingLengthValue(encoding);
            AfxSeekToContents(encoding);
            CHugeDigit hugeLength(length);
            if (!encoding.IsValidBytes(hugeLength))
                AfxThrowDERDecodingException("Invalid encoding length");
            object.SetContents(encoding, hugeLength);
            encoding.SeekForward(hugeLength);
        }
    }
};

CASN1Type* AfxMakeASN1Class(unsigned char tag)
{
    switch (tag) {
    case 0x02: return new CASN1_INTEGER();
    case 0x03: return new CASN1_BIT_STRING();
    case 0x04: return new CASN1_OCTET_STRING();
    case 0x05: return new CASN1_NULL();
    case 0x06: return new CASN1_OBJECT_IDENTIFIER(0, 0);
    case 0x10: return new CASN1_SEQUENCE(0);
    case 0x11: return new CASN1_SET();
    case 0x13: return new CASN1_PrintableString();
    case 0x14: return new CASN1_T61String();
    case 0x16: return new CASN1_IA5String();
    case 0x17: return new CASN1_UTCTime();
    default: return new CASN1_TAGGED(tag, 0, 0);
    }
}

CASN1Type* AfxBuildFromEncoding(CDEREncoding& encoding)
{
    return CASN1Decoder::BuildNew(encoding, 1);
}

void AfxBuildFromEncoding(CASN1Type& object, CDEREncoding& encoding)
{
    CASN1Decoder::BuildInto(object, encoding, 1);
}

// ---- members that decode ----------------------------------------------------------------

void CASN1Type::DecodeFrom(CDEREncoding& encoding)
{
    Clear();
    try {
        AfxBuildFromEncoding(*this, encoding);
    } catch (...) {
        // Whatever ended the decoding (a decoding failure, a kill request, memory), no
        // partial value stays behind.
        Clear();
        throw;
    }
}

void CASN1Type::_Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar << static_cast<BYTE>(0x00);
        CByteArray encoding;
        EncodeTo(encoding);
        encoding.Serialize(ar);
        return;
    }
    BYTE version = 0;
    ar >> version;
    if (version != 0x00)
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    CDEREncoding encoding;
    encoding.Serialize(ar);
    try {
        DecodeFrom(encoding);
    } catch (CDERDecodingException* e) {
        e->Delete();
        AfxThrowArchiveException(CArchiveException::generic, ar.m_strFileName);
    }
}

void CASN1_TAGGED::BuildImplicit(const CASN1Type& inner)
{
    // Encode first: `inner` may be this object or one of its children.
    CDEREncoding encoding(inner);
    BOOL constructed = inner.m_bConstructed;
    Clear();
    encoding[0] = static_cast<unsigned char>(m_Tag | (constructed ? 0x20 : 0x00));
    DecodeFrom(encoding);
}

namespace {

// Decodes `encoding` with its identifier octet replaced by the target's tag; 1 on success,
// 0 (target cleared) when it does not decode.
int DecodeRetagged(CDEREncoding& encoding, BOOL constructed, CASN1Type& target)
{
    encoding[0] = static_cast<unsigned char>(target.m_Tag | (constructed ? 0x20 : 0x00));
    try {
        target.DecodeFrom(encoding);
    } catch (CDERDecodingException* e) {
        e->Delete();
        return 0;
    }
    return 1;
}

}  // namespace

int CASN1_TAGGED::FromExplicit(const CASN1_TAGGED& tagged, CASN1Type& target)
{
    if (!tagged.m_bConstructed || tagged.m_Components.GetSize() != 1 || !tagged.m_Components.GetAt(0))
        return 0;
    const CASN1Type& child = *tagged.m_Components.GetAt(0);
    CDEREncoding encoding(child);
    return DecodeRetagged(encoding, child.m_bConstructed, target);
}

int CASN1_TAGGED::FromImplicit(const CASN1_TAGGED& tagged, CASN1Type& target)
{
    CDEREncoding encoding(tagged);
    return DecodeRetagged(encoding, tagged.m_bConstructed, target);
}
