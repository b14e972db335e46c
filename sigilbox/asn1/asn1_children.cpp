// CASN1Children: the children of a constructed value, each an object or packed.
//
// Without packed children they are a plain array of objects. With packed children they are
// items in index order: an object, or a run of packed children. A run of encoded children
// holds their complete encodings one after another; a run of segments holds only the
// identifier and length octets of each (and of the segments inside a constructed one,
// end-of-contents octets included), their contents octets being a range of the owner's
// contents. Both forms are what the encoder writes for the children, so writing a run is
// copying it (the segments interleaved with their octets), and decoding a packed child gives
// the object the decoder made of it in the first place. Asking for a packed child splits its
// run around it: the child becomes an object in its own place and stays one; once no child
// is packed any more the children are a plain array again.
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/asn1_type.h"
#include "sigilbox/engines/progress.h"
#include "framework/memfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <new>
#include <utility>
#include <vector>

namespace {

// A mark is kept for every this many children, so a packed child is found by walking at most
// this many of its neighbours.
constexpr int kMarkEvery = 64;

// A packed child up to this size is decoded the plain way when it is asked for, into objects
// all the way down: what is asked for is mostly looked at whole, and plain objects are the
// cheapest to look at. A larger one keeps what it holds packed in turn.
constexpr size_t kPlainDecodingLimit = 1024;

// Overwrites octets that may have held key material, in a way the compiler keeps.
void Wipe(void* data, size_t count)
{
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (count--)
        *p++ = 0;
}

struct Header {
    unsigned char identifier;
    size_t headerLength;
    bool indefinite;
    size_t length;
};

// The identifier and length octets at p, as the encoder writes them.
Header ReadHeader(const unsigned char* p)
{
    Header h{p[0], 2, false, 0};
    unsigned char first = p[1];
    if (first == 0x80) {
        h.indefinite = true;
    } else if (first < 0x80) {
        h.length = first;
    } else {
        int n = first & 0x7F;
        for (int i = 0; i < n; ++i)
            h.length = (h.length << 8) | p[2 + i];
        h.headerLength = 2 + static_cast<size_t>(n);
    }
    return h;
}

// Moves `pos` past one whole packed value, and `data` past its contents octets when they are
// not in the packed octets (segments).
void SkipValue(const unsigned char* p, size_t& pos, size_t& data, bool segments)
{
    Header h = ReadHeader(p + pos);
    pos += h.headerLength;
    if (!(h.identifier & 0x20)) {
        (segments ? data : pos) += h.length;
        return;
    }
    if (h.indefinite) {
        while (!(p[pos] == 0 && p[pos + 1] == 0))
            SkipValue(p, pos, data, segments);
        pos += 2;
        return;
    }
    if (!segments) {
        pos += h.length;
        return;
    }
    // The length counts the segments' octets too: walk until both together have moved on.
    const size_t end = pos + data + h.length;
    while (pos + data < end)
        SkipValue(p, pos, data, segments);
}

// Every value in the packed value at `pos` carries `tag`, to `depthLeft` levels down.
bool CarriesTag(const unsigned char* p, size_t& pos, size_t& data, bool segments, unsigned char tag, int depthLeft)
{
    Header h = ReadHeader(p + pos);
    if ((h.identifier & ~0x20) != tag)
        return false;
    if (!(h.identifier & 0x20)) {
        SkipValue(p, pos, data, segments);
        return true;
    }
    if (depthLeft <= 0)
        return false;
    pos += h.headerLength;
    if (h.indefinite) {
        while (!(p[pos] == 0 && p[pos + 1] == 0))
            if (!CarriesTag(p, pos, data, segments, tag, depthLeft - 1))
                return false;
        pos += 2;
        return true;
    }
    const size_t end = segments ? pos + data + h.length : pos + h.length;
    while ((segments ? pos + data : pos) < end)
        if (!CarriesTag(p, pos, data, segments, tag, depthLeft - 1))
            return false;
    return true;
}

// Writes segment headers [pos, end) with their contents octets from `contents`, through
// `put(octets, count)`. End-of-contents octets read as an empty primitive value.
template <class Put>
void Interleave(const unsigned char* p, size_t pos, size_t end, const unsigned char* contents, size_t data, Put put)
{
    while (pos < end) {
        Header h = ReadHeader(p + pos);
        put(p + pos, h.headerLength);
        pos += h.headerLength;
        if (!(h.identifier & 0x20) && h.length) {
            put(contents + data, h.length);
            data += h.length;
        }
    }
}

struct ObjectDeleter {
    void operator()(CASN1Type* p) const { delete p; }
};
using ObjectHolder = std::unique_ptr<CASN1Type, ObjectDeleter>;

}  // namespace

struct CASN1Children::Item {
    enum Kind : unsigned char { Object, Encoded, Segments };
    Kind kind = Object;
    int count = 1;
    CASN1Type* object = nullptr;
    uint32_t begin = 0, end = 0;       // a run's range of the packed octets
    uint32_t data = 0, dataEnd = 0;    // segments: the range of their octets in the contents
};

struct CASN1Children::State {
    std::map<int, Item> items;          // by the index of each item's first child
    unsigned char* bytes = nullptr;     // the packed octets
    size_t size = 0;
    size_t capacity = 0;
    // Where the packed octets and the contents octets of every kMarkEvery-th child start
    // (from the second on), as the decoder added them.
    std::vector<std::pair<uint32_t, uint32_t>> marks;
    int packed = 0;                     // children in runs
    size_t objectsCost = 0;             // the decoder's estimate of the objects it kept

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        for (auto& entry : items)
            if (entry.second.kind == Item::Object)
                delete entry.second.object;
        FreeBytes();
    }

    void FreeBytes()
    {
        if (bytes) {
            Wipe(bytes, size);
            std::free(bytes);
        }
        bytes = nullptr;
        size = capacity = 0;
    }

    // Room for n more packed octets.
    void Reserve(size_t n)
    {
        if (size + n <= capacity)
            return;
        size_t want = capacity * 2 > size + n ? capacity * 2 : size + n;
        if (want < 64)
            want = 64;
        auto* grown = static_cast<unsigned char*>(std::malloc(want));
        if (!grown)
            AfxThrowMemoryException();
        if (size)
            std::memcpy(grown, bytes, size);
        if (bytes) {
            Wipe(bytes, size);
            std::free(bytes);
        }
        bytes = grown;
        capacity = want;
    }

    std::map<int, Item>::iterator Find(int i)
    {
        auto it = items.upper_bound(i);
        return --it;
    }

    // The packed octets [b, e) of child i of the run at `it`, and for segments the range of
    // their contents octets [d, de).
    void Locate(std::map<int, Item>::const_iterator it, int i, size_t& b, size_t& e, size_t& d, size_t& de) const
    {
        const Item& run = it->second;
        int at = it->first;
        size_t pos = run.begin;
        size_t data = run.data;
        const int k = i / kMarkEvery;
        if (k * kMarkEvery > at && k - 1 < static_cast<int>(marks.size())) {
            at = k * kMarkEvery;
            pos = marks[static_cast<size_t>(k - 1)].first;
            data = marks[static_cast<size_t>(k - 1)].second;
        }
        const bool segments = run.kind == Item::Segments;
        for (; at < i; ++at)
            SkipValue(bytes, pos, data, segments);
        b = pos;
        d = data;
        SkipValue(bytes, pos, data, segments);
        e = pos;
        de = data;
    }
};

CASN1Children::CASN1Children(const CByteArray* contents) : m_pContents(contents)
{
}

CASN1Children::~CASN1Children()
{
    RemoveAll();
}

CASN1Children::State& CASN1Children::Packed()
{
    if (!m_pState) {
        auto state = std::make_unique<State>();
        for (size_t i = 0; i < m_objects.size(); ++i) {
            Item item;
            item.object = m_objects[i];
            state->items.emplace(static_cast<int>(i), item);
        }
        m_nCount = static_cast<int>(m_objects.size());
        m_objects.clear();
        m_pState = std::move(state);
    }
    return *m_pState;
}

void CASN1Children::Flatten() const
{
    if (!m_pState || m_pState->packed)
        return;
    std::vector<CASN1Type*> objects;
    objects.reserve(static_cast<size_t>(m_nCount));
    for (auto& entry : m_pState->items)
        objects.push_back(entry.second.object);
    for (auto& entry : m_pState->items)
        entry.second.object = nullptr;
    m_objects.swap(objects);
    m_pState.reset();
    m_nCount = 0;
}

namespace {

// The complete encoding of a packed child into `out`.
void PackedEncoding(const unsigned char* bytes, bool segments, size_t b, size_t e, const CByteArray* contents, size_t d,
                    size_t de, CByteArray& out)
{
    if (segments && de > static_cast<size_t>(contents->GetSize()))
        AfxThrowDERDecodingException("The octets of a segment are missing");
    const size_t total = (e - b) + (segments ? de - d : 0);
    if (total > static_cast<size_t>(kMaxArrayElements))
        AfxThrowMemoryException();
    out.SetSize(static_cast<int>(total));
    unsigned char* to = out.GetData();
    if (!segments) {
        std::memcpy(to, bytes + b, total);
        return;
    }
    Interleave(bytes, b, e, contents->GetData(), d, [&](const unsigned char* octets, size_t n) {
        std::memcpy(to, octets, n);
        to += n;
    });
}

// Decodes a packed child's encoding (see kPlainDecodingLimit) and wipes the copy.
CASN1Type* DecodePacked(CDEREncoding& encoding)
{
    struct WipeOnExit {
        CDEREncoding& e;
        ~WipeOnExit()
        {
            if (e.GetSize())
                Wipe(e.GetData(), static_cast<size_t>(e.GetSize()));
        }
    } wipe{encoding};
    if (static_cast<size_t>(encoding.GetSize()) <= kPlainDecodingLimit)
        return AfxBuildFromEncodingPlain(encoding);
    return AfxBuildFromEncoding(encoding);
}

}  // namespace

CASN1Type*& CASN1Children::Unpack(int i) const
{
    if (i < 0 || i >= GetSize())
        AfxThrowInvalidArgException();
    if (!m_pState)
        return m_objects[static_cast<size_t>(i)];
    State& s = *m_pState;
    auto it = s.Find(i);
    if (it->second.kind == Item::Object)
        return it->second.object;

    const Item run = it->second;
    const int first = it->first;
    size_t b, e, d, de;
    s.Locate(it, i, b, e, d, de);
    CDEREncoding encoding;
    PackedEncoding(s.bytes, run.kind == Item::Segments, b, e, m_pContents, d, de, encoding);
    ObjectHolder object(DecodePacked(encoding));

    Item made;
    made.object = object.get();
    Item right = run;
    right.count = first + run.count - i - 1;
    right.begin = static_cast<uint32_t>(e);
    right.data = static_cast<uint32_t>(de);
    std::map<int, Item>::iterator place;
    if (i == first) {
        if (right.count)
            s.items.emplace(i + 1, right);
        place = it;
    } else {
        place = s.items.emplace(i, made).first;
        if (right.count) {
            try {
                s.items.emplace(i + 1, right);
            } catch (...) {
                s.items.erase(place);
                throw;
            }
        }
        it->second.count = i - first;
        it->second.end = static_cast<uint32_t>(b);
        it->second.dataEnd = static_cast<uint32_t>(d);
    }
    place->second = made;
    object.release();
    if (--s.packed == 0) {
        Flatten();
        return m_objects[static_cast<size_t>(i)];
    }
    return place->second.object;
}

void CASN1Children::UnpackFrom(int from) const
{
    for (int i = from < 0 ? 0 : from; m_pState && i < m_nCount; ++i)
        Unpack(i);
}

CASN1Type* CASN1Children::GetAt(int i) const
{
    return Unpack(i);
}

CASN1Type*& CASN1Children::ElementAt(int i)
{
    return Unpack(i);
}

int CASN1Children::Add(CASN1Type* child)
{
    if (GetSize() >= kMaxArrayElements)
        AfxThrowMemoryException();
    if (!m_pState) {
        m_objects.push_back(child);
        return static_cast<int>(m_objects.size()) - 1;
    }
    Item item;
    item.object = child;
    m_pState->items.emplace(m_nCount, item);
    return m_nCount++;
}

void CASN1Children::InsertAt(int i, CASN1Type* child)
{
    if (i < 0)
        AfxThrowInvalidArgException();
    if (i >= GetSize()) {
        // As the array did: the gap fills with nulls.
        while (GetSize() < i)
            Add(nullptr);
        Add(child);
        return;
    }
    // What comes after is decoded first; without packed children left, the plain array.
    UnpackFrom(i);
    if (!m_pState) {
        m_objects.insert(m_objects.begin() + i, child);
        return;
    }
    std::map<int, Item> made;
    Item item;
    item.object = child;
    made.emplace(i, item);
    State& s = *m_pState;
    std::vector<int> later;
    for (auto it = s.items.lower_bound(i); it != s.items.end(); ++it)
        later.push_back(it->first);
    for (auto key = later.rbegin(); key != later.rend(); ++key) {
        auto node = s.items.extract(*key);
        node.key() += 1;
        s.items.insert(std::move(node));
    }
    s.items.insert(made.extract(i));
    ++m_nCount;
    s.marks.resize(std::min(s.marks.size(), static_cast<size_t>(i > 0 ? (i - 1) / kMarkEvery : 0)));
}

void CASN1Children::RemoveAt(int i, int count)
{
    if (i < 0 || count < 0 || i + count > GetSize())
        AfxThrowInvalidArgException();
    if (count == 0)
        return;
    UnpackFrom(i);
    if (!m_pState) {
        std::vector<CASN1Type*> gone(m_objects.begin() + i, m_objects.begin() + i + count);
        m_objects.erase(m_objects.begin() + i, m_objects.begin() + i + count);
        for (CASN1Type* child : gone)
            delete child;
        return;
    }
    State& s = *m_pState;
    for (int k = i; k < i + count; ++k) {
        auto it = s.items.find(k);
        CASN1Type* gone = it->second.object;
        s.items.erase(it);
        delete gone;
    }
    std::vector<int> later;
    for (auto it = s.items.lower_bound(i + count); it != s.items.end(); ++it)
        later.push_back(it->first);
    for (int key : later) {
        auto node = s.items.extract(key);
        node.key() -= count;
        s.items.insert(std::move(node));
    }
    m_nCount -= count;
    s.marks.resize(std::min(s.marks.size(), static_cast<size_t>(i > 0 ? (i - 1) / kMarkEvery : 0)));
}

void CASN1Children::RemoveAll()
{
    m_pState.reset();
    m_nCount = 0;
    std::vector<CASN1Type*> gone;
    gone.swap(m_objects);
    for (CASN1Type* child : gone)
        delete child;
}

const CASN1Type* CASN1Children::View(int i, CASN1ScratchValue& scratch) const
{
    if (i < 0 || i >= GetSize())
        AfxThrowInvalidArgException();
    if (!m_pState)
        return m_objects[static_cast<size_t>(i)];
    State& s = *m_pState;
    auto it = s.Find(i);
    if (it->second.kind == Item::Object)
        return it->second.object;
    size_t b, e, d, de;
    s.Locate(it, i, b, e, d, de);
    CDEREncoding encoding;
    PackedEncoding(s.bytes, it->second.kind == Item::Segments, b, e, m_pContents, d, de, encoding);
    scratch.reset(DecodePacked(encoding));
    return scratch.get();
}

void CASN1Children::EncodeChild(int i, CByteArray& out) const
{
    if (i < 0 || i >= GetSize())
        AfxThrowInvalidArgException();
    const CASN1Type* object = nullptr;
    if (m_pState) {
        State& s = *m_pState;
        auto it = s.Find(i);
        if (it->second.kind != Item::Object) {
            size_t b, e, d, de;
            s.Locate(it, i, b, e, d, de);
            PackedEncoding(s.bytes, it->second.kind == Item::Segments, b, e, m_pContents, d, de, out);
            return;
        }
        object = it->second.object;
    } else {
        object = m_objects[static_cast<size_t>(i)];
    }
    if (object)
        object->EncodeTo(out);
    else
        out.SetSize(0);
}

int CASN1Children::HasNull() const
{
    if (!m_pState)
        return std::find(m_objects.begin(), m_objects.end(), nullptr) != m_objects.end();
    for (const auto& entry : m_pState->items)
        if (entry.second.kind == Item::Object && !entry.second.object)
            return 1;
    return 0;
}

namespace {

int ObjectCarriesTag(const CASN1Type* child, unsigned char tag, int depthLeft)
{
    if (!child || child->m_Tag != tag)
        return 0;
    if (!child->m_bConstructed)
        return 1;
    auto* constructed = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(child);
    return constructed && depthLeft > 0 && constructed->m_Components.AllCarryTag(tag, depthLeft - 1);
}

}  // namespace

int CASN1Children::AllCarryTag(unsigned char tag, int depthLeft) const
{
    if (!m_pState) {
        for (const CASN1Type* child : m_objects)
            if (!ObjectCarriesTag(child, tag, depthLeft))
                return 0;
        return 1;
    }
    const State& s = *m_pState;
    for (const auto& entry : s.items) {
        const Item& item = entry.second;
        __checkKillThreadFlag();
        if (item.kind == Item::Object) {
            if (!ObjectCarriesTag(item.object, tag, depthLeft))
                return 0;
            continue;
        }
        size_t pos = item.begin;
        size_t data = item.data;
        for (int k = 0; k < item.count; ++k)
            if (!CarriesTag(s.bytes, pos, data, item.kind == Item::Segments, tag, depthLeft))
                return 0;
    }
    return 1;
}

void CASN1Children::TakeOver(CASN1Children& other)
{
    if (&other == this)
        return;
    // Segments refer to their owner's contents: those become objects before they move.
    while (other.m_pState) {
        int segment = -1;
        for (const auto& entry : other.m_pState->items)
            if (entry.second.kind == Item::Segments) {
                segment = entry.first;
                break;
            }
        if (segment < 0)
            break;
        other.Unpack(segment);
    }
    RemoveAll();
    m_pState = std::move(other.m_pState);
    m_objects.swap(other.m_objects);
    m_nCount = other.m_nCount;
    other.m_nCount = 0;
}

void CASN1Children::CopyFrom(const CASN1Children& other)
{
    if (&other == this)
        return;
    std::vector<CASN1Type*> objects;
    std::unique_ptr<State> copy;
    try {
        if (other.m_pState) {
            const State& from = *other.m_pState;
            copy = std::make_unique<State>();
            copy->Reserve(from.size);
            if (from.size)
                std::memcpy(copy->bytes, from.bytes, from.size);
            copy->size = from.size;
            copy->marks = from.marks;
            copy->packed = from.packed;
            for (const auto& entry : from.items) {
                Item item = entry.second;
                if (item.kind == Item::Object && item.object) {
                    ObjectHolder clone(item.object->Clone());
                    item.object = clone.get();
                    copy->items.emplace(entry.first, item);
                    clone.release();
                } else {
                    copy->items.emplace(entry.first, item);
                }
            }
        } else {
            objects.reserve(other.m_objects.size());
            for (const CASN1Type* child : other.m_objects)
                objects.push_back(child ? child->Clone() : nullptr);
        }
    } catch (...) {
        for (CASN1Type* child : objects)
            delete child;
        throw;
    }
    RemoveAll();
    m_pState = std::move(copy);
    m_objects.swap(objects);
    m_nCount = other.m_nCount;
}

unsigned long CASN1Children::EncodedLength() const
{
    unsigned long total = 0;
    if (!m_pState) {
        for (const CASN1Type* child : m_objects) {
            __checkKillThreadFlag();
            if (child)
                total += child->GetEncodedLength();
        }
        return total;
    }
    for (const auto& entry : m_pState->items) {
        const Item& item = entry.second;
        __checkKillThreadFlag();
        switch (item.kind) {
        case Item::Object:
            if (item.object)
                total += item.object->GetEncodedLength();
            break;
        case Item::Encoded: total += item.end - item.begin; break;
        case Item::Segments: total += (item.end - item.begin) + (item.dataEnd - item.data); break;
        }
    }
    return total;
}

void CASN1Children::EncodeTo(CFile& file) const
{
    if (!m_pState) {
        for (const CASN1Type* child : m_objects)
            if (child)
                child->EncodeToFile(file, 0);
        return;
    }
    const State& s = *m_pState;
    for (const auto& entry : s.items) {
        const Item& item = entry.second;
        __checkKillThreadFlag();
        if (item.kind == Item::Object) {
            if (item.object)
                item.object->EncodeToFile(file, 0);
            continue;
        }
        if (item.kind == Item::Encoded) {
            for (size_t at = item.begin; at < item.end;) {
                size_t n = item.end - at > (1u << 30) ? (1u << 30) : item.end - at;
                file.Write(s.bytes + at, static_cast<UINT>(n));
                at += n;
            }
            continue;
        }
        if (item.dataEnd > static_cast<size_t>(m_pContents->GetSize()))
            AfxThrowDERDecodingException("The octets of a segment are missing");
        // Headers and octets gathered into pieces, so millions of small segments are not
        // millions of writes.
        unsigned char piece[65536];
        size_t used = 0;
        auto flush = [&] {
            if (used)
                file.Write(piece, static_cast<UINT>(used));
            used = 0;
            __checkKillThreadFlag();
        };
        Interleave(s.bytes, item.begin, item.end, m_pContents->GetData(), item.data, [&](const unsigned char* octets, size_t n) {
            if (used + n > sizeof piece)
                flush();
            if (n > sizeof piece) {
                file.Write(octets, static_cast<UINT>(n));
                return;
            }
            std::memcpy(piece + used, octets, n);
            used += n;
        });
        flush();
    }
}

// ---- filled by the decoder ----------------------------------------------------------------

void CASN1Children::NoteChildStart(int index, size_t contentsSize)
{
    State& s = Packed();
    if (index == 0 || index % kMarkEvery)
        return;
    s.marks.emplace_back(static_cast<uint32_t>(s.size), static_cast<uint32_t>(contentsSize));
}

void CASN1Children::ReservePacked(size_t bytes)
{
    State& s = Packed();
    if (s.size == 0 && bytes > s.capacity)
        s.Reserve(bytes);
}

void CASN1Children::PackLast()
{
    State& s = Packed();
    auto last = std::prev(s.items.end());
    CASN1Type* object = last->second.object;
    const unsigned long length = object->GetEncodedLength();
    s.Reserve(length);
    {
        CMemFile file(s.bytes + s.size, static_cast<UINT>(length), 0);
        try {
            object->EncodeToFile(file, 0);
        } catch (...) {
            file.Detach();
            throw;
        }
        file.Detach();
    }
    const uint32_t begin = static_cast<uint32_t>(s.size);
    s.size += length;
    ++s.packed;
    if (last != s.items.begin()) {
        auto before = std::prev(last);
        if (before->second.kind == Item::Encoded && before->second.end == begin) {
            before->second.count += 1;
            before->second.end = static_cast<uint32_t>(s.size);
            s.items.erase(last);
            ScrubAndDelete(object);
            return;
        }
    }
    Item run;
    run.kind = Item::Encoded;
    run.begin = begin;
    run.end = static_cast<uint32_t>(s.size);
    last->second = run;
    ScrubAndDelete(object);
}

void CASN1Children::NoteLastCost(size_t cost)
{
    Packed().objectsCost += cost;
}

size_t CASN1Children::Footprint() const
{
    if (!m_pState)
        return m_objects.capacity() * sizeof(CASN1Type*);
    const State& s = *m_pState;
    // A map node holds an item and about six pointers of its own.
    return sizeof(State) + s.capacity + s.items.size() * (sizeof(Item) + 48) + s.marks.capacity() * sizeof(s.marks[0]) +
           s.objectsCost;
}

void CASN1Children::BeginSegment(size_t contentsStart)
{
    State& s = Packed();
    if (!s.items.empty()) {
        Item& last = std::prev(s.items.end())->second;
        if (last.kind == Item::Segments && last.end == s.size && last.dataEnd == contentsStart)
            return;
    }
    Item run;
    run.kind = Item::Segments;
    run.count = 0;
    run.begin = run.end = static_cast<uint32_t>(s.size);
    run.data = run.dataEnd = static_cast<uint32_t>(contentsStart);
    s.items.emplace(m_nCount, run);
}

void CASN1Children::AppendHeader(const unsigned char* octets, size_t n)
{
    State& s = *m_pState;
    s.Reserve(n);
    std::memcpy(s.bytes + s.size, octets, n);
    s.size += n;
}

void CASN1Children::EndSegment(size_t contentsEnd)
{
    State& s = *m_pState;
    Item& run = std::prev(s.items.end())->second;
    run.count += 1;
    run.end = static_cast<uint32_t>(s.size);
    run.dataEnd = static_cast<uint32_t>(contentsEnd);
    ++s.packed;
    ++m_nCount;
}

void CASN1Children::FinishDecoding()
{
    if (!m_pState)
        return;
    State& s = *m_pState;
    if (!s.packed) {
        Flatten();
        return;
    }
    if (s.capacity > s.size) {
        // Shrinking in place: nothing is copied, nothing is left behind.
        if (void* p = std::realloc(s.bytes, s.size)) {
            s.bytes = static_cast<unsigned char*>(p);
            s.capacity = s.size;
        }
    }
    s.marks.shrink_to_fit();
}

void CASN1Scrubber::operator()(CASN1Type* object) const
{
    CASN1Children::ScrubAndDelete(object);
}

void CASN1Children::ScrubAndDelete(CASN1Type* object)
{
    if (!object)
        return;
    if (object->AllowsConstructed()) {
        CASN1Children& children = static_cast<CASN1_CONSTRUCTED_TYPE*>(object)->m_Components;
        if (children.m_pState) {
            for (auto& entry : children.m_pState->items)
                if (entry.second.kind == Item::Object && entry.second.object) {
                    ScrubAndDelete(entry.second.object);
                    entry.second.object = nullptr;
                }
        }
        for (CASN1Type*& child : children.m_objects) {
            ScrubAndDelete(child);
            child = nullptr;
        }
    }
    CByteArray& contents = *static_cast<CASN1_PRIMITIVE_TYPE*>(object);
    if (contents.GetSize())
        Wipe(contents.GetData(), static_cast<size_t>(contents.GetSize()));
    delete object;
}
