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

// What the class of a tag octet does with the segments of a constructed value.
enum class SegmentRule {
    NotInPlace,   // structures and BIT STRING (whose segments are not simply concatenated),
                  // and the classes refusing the constructed method
    SameTag,      // the strings: segments of the string's own tag
    AnyTag,       // tagged values: segments of any tag
};

// Kept beside AfxMakeASN1Class: the class it makes for `tag` decides.
SegmentRule SegmentRuleOf(unsigned char tag)
{
    switch (tag) {
    case 0x04:
    case 0x13:
    case 0x14:
    case 0x16:
    case 0x17: return SegmentRule::SameTag;
    case 0x02:
    case 0x03:
    case 0x05:
    case 0x06:
    case 0x10:
    case 0x11: return SegmentRule::NotInPlace;
    default: return SegmentRule::AnyTag;
    }
}

// Reads a definite length field at p[1..] (within size) as the decoder does; -1 when it is
// not one the decoder accepts.
long long ReadLength(const unsigned char* p, long long size, long long pos, long long& contents)
{
    unsigned char first = p[pos + 1];
    contents = pos + 2;
    if (first < 0x80)
        return first;
    if (first == 0x80)
        return -1;
    int n = first & 0x7F;
    if (contents + n > size)
        return -1;
    unsigned long long value = 0;
    for (int i = 0; i < n; ++i) {
        if (value > 0xFFFFFFFFull)
            return -1;
        value = (value << 8) | p[contents + i];
    }
    if (value == 0 || value > 0xFFFFFFFFull)
        return -1;
    contents += n;
    return static_cast<long long>(value);
}

long long EncodedSize(long long contents) { return 1 + AfxLengthOctetsCount(static_cast<unsigned long>(contents)) + contents; }

// Whether the constructed value at `pos` is made of segments alone, at every level, so that
// it can be gathered in place: every constructed value in it of a class that concatenates
// its segments, nothing nested deeper than the decoder allows, every header well formed.
// Gives the value's end, the length of its contents as the encoder writes them and, added to
// `octets`, the number of octets its segments hold.
bool ScanSegments(const unsigned char* p, long long size, long long pos, int depth, long long& end, long long& canonical,
                  long long& octets)
{
    if (depth > kASN1MaxNestingDepth || pos + 2 > size)
        return false;
    const unsigned char identifier = p[pos];
    if ((identifier & 0x1F) == 0x1F)
        return false;
    long long contents = 0;
    if (!(identifier & 0x20)) {
        long long length = ReadLength(p, size, pos, contents);
        if (length < 0 || contents + length > size)
            return false;
        end = contents + length;
        canonical = length;
        octets += length;
        return true;
    }
    if (SegmentRuleOf(static_cast<unsigned char>(identifier & ~0x20)) == SegmentRule::NotInPlace)
        return false;
    canonical = 0;
    auto child = [&](long long& at) {
        __checkKillThreadFlag();
        long long childEnd = 0, childContents = 0;
        if (!ScanSegments(p, size, at, depth + 1, childEnd, childContents, octets))
            return false;
        const bool childIndefinite = (p[at] & 0x20) && p[at + 1] == 0x80;
        canonical += childIndefinite ? 2 + childContents + 2 : EncodedSize(childContents);
        at = childEnd;
        return true;
    };
    if (p[pos + 1] == 0x80) {
        long long at = pos + 2;
        for (;;) {
            if (at + 2 > size)
                return false;
            if (p[at] == 0 && p[at + 1] == 0) {
                end = at + 2;
                return true;
            }
            if (!child(at))
                return false;
        }
    }
    long long length = ReadLength(p, size, pos, contents);
    if (length < 0 || contents + length > size)
        return false;
    end = contents + length;
    for (long long at = contents; at < end;)
        if (!child(at) || at > end)
            return false;
    return true;
}

struct ObjectDeleter {
    void operator()(CASN1Type* p) const { delete p; }
};
using ObjectHolder = std::unique_ptr<CASN1Type, ObjectDeleter>;

}  // namespace

// The decoder's access to the protected operations of the classes it fills.
//
// The children of a constructed value are kept as cheaply as they can be (CASN1Children):
// a child whose object would cost much more than its encoding is packed, and the segments of
// a string (or tagged value) sent segmented are gathered in place: their octets go straight to
// the string's contents and only their headers are kept, so no object is made for them. The
// checks and failures are the same either way, in the same order.
class CASN1Decoder {
public:
    static CASN1Type* BuildNew(CDEREncoding& encoding, int depth, bool plain = false)
    {
        Context context;
        context.plain = plain;
        return BuildNew(context, encoding, depth);
    }

    static void BuildInto(CASN1Type& object, CDEREncoding& encoding, int depth)
    {
        if (AfxIsHighTagNumberForm(encoding))
            AfxThrowDERDecodingException("High tag number form is not supported now");
        if (AfxGetTagClassAndNumber(encoding) != object.m_Tag)
            AfxThrowDERDecodingException("Other tag number expected");
        if (depth > kASN1MaxNestingDepth)
            AfxThrowDERDecodingException("Encoding is nested too deeply");
        Context context;
        DecodeBody(context, object, encoding, depth, "Invalid encoding length");
    }

private:
    // An object is kept only if it costs at most half again its encoding.
    static constexpr size_t kObjectBytes = sizeof(CASN1_CONSTRUCTED_TYPE) + 32;

    // One reusable object per tag octet for the primitive segments decoded in place.
    struct Context {
        bool plain = false;   // every child an object, nothing packed or gathered in place
        CASN1ScratchValue scratch[256];
        CASN1_PRIMITIVE_TYPE& Scratch(unsigned char tag)
        {
            if (!scratch[tag])
                scratch[tag].reset(AfxMakeASN1Class(tag));
            auto* value = static_cast<CASN1_PRIMITIVE_TYPE*>(scratch[tag].get());
            value->Clear();
            return *value;
        }
    };

    // One constructed value while its children are decoded.
    struct Parent {
        CASN1_CONSTRUCTED_TYPE& object;
        CDEREncoding& encoding;
        long long contentsStart;
        long long contentsEnd;   // -1 for the indefinite length until it is needed
        SegmentRule rule;
        long long valueStart;
        int depth;
        bool packedReserved = false;
        bool contentsReserved = false;

        // Room, once, for what the children can need at most: packed octets, and segments'
        // headers and octets, never take more than the value's own encoding. A value made of
        // segments alone gets exactly the room its headers and its octets take.
        void Reserve(bool contents)
        {
            if (packedReserved && (!contents || contentsReserved))
                return;
            if (contents && !packedReserved && !contentsReserved && object.CByteArray::GetSize() == 0) {
                long long end = 0, canonical = 0, octets = 0;
                if (ScanSegments(encoding.GetData(), encoding.GetSize(), valueStart, depth, end, canonical, octets)) {
                    if (canonical > octets)
                        object.m_Components.ReservePacked(static_cast<size_t>(canonical - octets));
                    if (octets > 0)
                        object.ReserveContents(static_cast<unsigned long>(octets));
                    packedReserved = contentsReserved = true;
                    return;
                }
            }
            if (contentsEnd < 0) {
                long long end = ScanValueEnd(encoding.GetData(), encoding.GetSize(), contentsStart - 2, 1);
                contentsEnd = end < 0 ? encoding.GetSize() : end;
            }
            const long long room = contentsEnd - contentsStart;
            if (!packedReserved && room > 0)
                object.m_Components.ReservePacked(static_cast<size_t>(room));
            packedReserved = true;
            if (contents && !contentsReserved && room > 0)
                object.ReserveContents(static_cast<unsigned long>(room));
            contentsReserved = contentsReserved || contents;
        }
    };

    static void Prologue(CDEREncoding& encoding, int depth)
    {
        if (AfxIsHighTagNumberForm(encoding))
            AfxThrowDERDecodingException("High tag number form is not supported");
        if (depth > kASN1MaxNestingDepth)
            AfxThrowDERDecodingException("Encoding is nested too deeply");
    }

    static CASN1Type* BuildNew(Context& context, CDEREncoding& encoding, int depth)
    {
        Prologue(encoding, depth);
        ObjectHolder object(AfxMakeASN1Class(AfxGetTagClassAndNumber(encoding)));
        DecodeBody(context, *object, encoding, depth, "Invalid data length");
        return object.release();
    }

    // What an object the decoder made holds, estimated.
    static size_t Footprint(const CASN1Type& object)
    {
        size_t total = kObjectBytes + static_cast<size_t>(static_cast<const CASN1_PRIMITIVE_TYPE&>(object).CByteArray::GetSize());
        if (object.AllowsConstructed())
            total += static_cast<const CASN1_CONSTRUCTED_TYPE&>(object).m_Components.Footprint();
        return total;
    }

    // A child decoded into an object, handed to the parent, then packed unless the object
    // is cheap.
    static void AddObjectChild(Context& context, Parent& parent, int depth, long long limit, int index)
    {
        CASN1Type* child = BuildNew(context, parent.encoding, depth + 1);
        if (limit >= 0 && parent.encoding.m_nSeek > limit) {
            // The child ran past its parent's definite length.
            delete child;
            AfxThrowDERDecodingException("Invalid data length");
        }
        CASN1_CONSTRUCTED_TYPE& object = parent.object;
        const int before = object.GetComponentsCount();
        object.AddConstructedComponent(child);
        if (object.GetComponentsCount() != before + 1)
            return;
        if (index == 0)
            ReserveForSegments(parent, *child);
        if (context.plain)
            return;
        const size_t length = child->GetEncodedLength();
        const size_t cost = Footprint(*child);
        if (cost > length + length / 2) {
            parent.Reserve(false);
            object.m_Components.PackLast();
        } else {
            object.m_Components.NoteLastCost(cost);
        }
    }

    // A string reassembled from segments decoded as objects (BIT STRING): room for the whole
    // value once the first segment is in, so that it is not reallocated at every segment.
    static void ReserveForSegments(Parent& parent, const CASN1Type& firstChild)
    {
        CASN1_CONSTRUCTED_TYPE& object = parent.object;
        if (!object.AllowsPrimitive() || firstChild.m_Tag != object.m_Tag || object.GetDataSize() == 0)
            return;
        parent.Reserve(true);
    }

    // A primitive segment, checked by its class as an object would be, its octets appended to
    // the gathering value and its header kept. `top` when it is a child of that value.
    static void AddPrimitiveSegment(Context& context, Parent& parent, int depth, long long limit, SegmentRule rule,
                                    unsigned char parentTag, bool top)
    {
        CDEREncoding& encoding = parent.encoding;
        Prologue(encoding, depth + 1);
        const unsigned char tag = AfxGetTagClassAndNumber(encoding);
        CASN1_PRIMITIVE_TYPE& segment = context.Scratch(tag);
        DecodeBody(context, segment, encoding, depth + 1, "Invalid data length");
        if (limit >= 0 && encoding.m_nSeek > limit)
            AfxThrowDERDecodingException("Invalid data length");
        if (rule == SegmentRule::SameTag && tag != parentTag)
            AfxThrowDERDecodingException("Invalid constructed encoded type");
        parent.Reserve(true);
        CASN1_CONSTRUCTED_TYPE& object = parent.object;
        const size_t start = static_cast<size_t>(object.CByteArray::GetSize());
        if (top)
            object.m_Components.BeginSegment(start);
        const unsigned long size = static_cast<unsigned long>(segment.GetDataSize());
        unsigned char header[10];
        header[0] = tag;
        const int n = AfxWriteDefiniteLength(size, header + 1);
        object.m_Components.AppendHeader(header, static_cast<size_t>(1 + n));
        object.Append(segment.GetData(), size);
        if (top)
            object.m_Components.EndSegment(static_cast<size_t>(object.CByteArray::GetSize()));
    }

    // A constructed segment made of segments alone (ScanSegments said so), gathered in place
    // like its segments, at any depth.
    static void AddConstructedSegment(Context& context, Parent& parent, int depth, long long limit, SegmentRule rule,
                                      unsigned char parentTag, bool top, long long canonical)
    {
        CDEREncoding& encoding = parent.encoding;
        Prologue(encoding, depth + 1);
        const unsigned char tag = AfxGetTagClassAndNumber(encoding);
        const SegmentRule inner = SegmentRuleOf(tag);
        CASN1_CONSTRUCTED_TYPE& object = parent.object;
        parent.Reserve(true);
        if (top)
            object.m_Components.BeginSegment(static_cast<size_t>(object.CByteArray::GetSize()));
        auto child = [&](long long childLimit) {
            __checkKillThreadFlag();
            if (!AfxIsConstructedMethod(encoding)) {
                AddPrimitiveSegment(context, parent, depth + 1, childLimit, inner, tag, false);
                return;
            }
            long long end = 0, contents = 0, octets = 0;
            const unsigned char* p = encoding.GetData();
            if (!ScanSegments(p, encoding.GetSize(), encoding.m_nSeek, depth + 2, end, contents, octets))
                AfxThrowDERDecodingException("Invalid data length");   // not reached: scanned already
            AddConstructedSegment(context, parent, depth + 1, childLimit, inner, tag, false, contents);
        };
        if (AfxIsIndefiniteLengthMethod(encoding)) {
            AfxSeekToContents(encoding);
            const unsigned char header[2] = {static_cast<unsigned char>(tag | 0x20), 0x80};
            object.m_Components.AppendHeader(header, 2);
            while (!AfxIsContentsEndOctets(encoding))
                child(-1);
            encoding.SeekForward(2);
            const unsigned char endOfContents[2] = {0, 0};
            object.m_Components.AppendHeader(endOfContents, 2);
        } else {
            unsigned long length = AfxGetEncodingLengthValue(encoding);
            AfxSeekToContents(encoding);
            if (!encoding.IsValidBytes(CHugeDigit(length)))
                AfxThrowDERDecodingException("Invalid data length");
            unsigned char header[10];
            header[0] = static_cast<unsigned char>(tag | 0x20);
            const int n = AfxWriteDefiniteLength(static_cast<unsigned long>(canonical), header + 1);
            object.m_Components.AppendHeader(header, static_cast<size_t>(1 + n));
            const long long end = encoding.m_nSeek + static_cast<long long>(length);
            while (encoding.m_nSeek < end)
                child(end);
        }
        if (limit >= 0 && encoding.m_nSeek > limit)
            AfxThrowDERDecodingException("Invalid data length");
        if (rule == SegmentRule::SameTag && tag != parentTag)
            AfxThrowDERDecodingException("Invalid constructed encoded type");
        if (top)
            object.m_Components.EndSegment(static_cast<size_t>(object.CByteArray::GetSize()));
    }

    static void AddChild(Context& context, Parent& parent, int depth, long long limit, int index)
    {
        __checkKillThreadFlag();
        CDEREncoding& encoding = parent.encoding;
        CASN1_CONSTRUCTED_TYPE& object = parent.object;
        if (context.plain) {
            AddObjectChild(context, parent, depth, limit, index);
            return;
        }
        object.m_Components.NoteChildStart(index, static_cast<size_t>(object.CByteArray::GetSize()));
        if (parent.rule != SegmentRule::NotInPlace) {
            if (!AfxIsConstructedMethod(encoding)) {
                AddPrimitiveSegment(context, parent, depth, limit, parent.rule, object.m_Tag, true);
                return;
            }
            long long end = 0, canonical = 0, octets = 0;
            if (ScanSegments(encoding.GetData(), encoding.GetSize(), encoding.m_nSeek, depth + 1, end, canonical, octets)) {
                AddConstructedSegment(context, parent, depth, limit, parent.rule, object.m_Tag, true, canonical);
                return;
            }
        }
        AddObjectChild(context, parent, depth, limit, index);
    }

    static void DecodeBody(Context& context, CASN1Type& object, CDEREncoding& encoding, int depth, const char* missingRange)
    {
        if (AfxIsConstructedMethod(encoding)) {
            if (!object.AllowsConstructed())
                AfxThrowDERDecodingException("Encoded type does not allow constructed encoding method");
            // Every class that allows the constructed method keeps children.
            auto& constructed = static_cast<CASN1_CONSTRUCTED_TYPE&>(object);
            object.m_bConstructed = TRUE;
            const int gathers = constructed.GathersSegments();
            const SegmentRule rule =
                gathers == 0 ? SegmentRule::NotInPlace : (gathers == 2 ? SegmentRule::AnyTag : SegmentRule::SameTag);
            const long long valueStart = encoding.m_nSeek;
            if (AfxIsIndefiniteLengthMethod(encoding)) {
                object.m_bIndefiniteLength = TRUE;
                AfxSeekToContents(encoding);
                Parent parent{constructed, encoding, encoding.m_nSeek, -1, rule, valueStart, depth};
                for (int index = 0; !AfxIsContentsEndOctets(encoding); ++index)
                    AddChild(context, parent, depth, -1, index);
                encoding.SeekForward(2);
            } else {
                object.m_bIndefiniteLength = FALSE;
                unsigned long length = AfxGetEncodingLengthValue(encoding);
                AfxSeekToContents(encoding);
                if (!encoding.IsValidBytes(CHugeDigit(length)))
                    AfxThrowDERDecodingException(missingRange);
                long long start = encoding.m_nSeek;
                long long end = start + static_cast<long long>(length);
                Parent parent{constructed, encoding, start, end, rule, valueStart, depth};
                for (int index = 0; encoding.m_nSeek < end; ++index)
                    AddChild(context, parent, depth, end, index);
            }
            constructed.m_Components.FinishDecoding();
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

CASN1Type* AfxBuildFromEncodingPlain(CDEREncoding& encoding)
{
    return CASN1Decoder::BuildNew(encoding, 1, true);
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
