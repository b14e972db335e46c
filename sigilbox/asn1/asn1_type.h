// The ASN.1 object model: the abstract root CASN1Type, the two data-holding bases
// (contents octets; contents octets plus owned children), the generic tagged value, and the
// DER encoder. Decoding members are implemented with the decoder (asn1_decode.cpp).
#pragma once

#include "framework/afx.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/sigilbox_export.h"

#include <cstddef>
#include <memory>
#include <vector>

class CASN1Type;
class CCryptoProcessor;
class CDigestMaker;
class CASN1_PRIMITIVE_TYPE;
class CASN1_CONSTRUCTED_TYPE;

// Children arrays own their elements: removing, shrinking or destroying deletes them.
SIGILBOX_API void DestructElements(CASN1Type** elements, int count);

class SIGILBOX_API CASN1Type {
public:
    virtual ~CASN1Type();

    // Writes the DER (or, for values marked indefinite, BER) encoding; with contentsOnly
    // the identifier and length octets and any end-of-contents octets are left out.
    virtual void EncodeToFile(CFile& file, int contentsOnly) const = 0;
    virtual CASN1Type* Clone() const = 0;

protected:
    virtual unsigned long GetEncodedLength() const = 0;

public:
    virtual void Clear() = 0;

protected:
    virtual void AddConstructedComponent(CASN1Type* component) = 0;
    virtual void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) = 0;
    // A class that allows the constructed method derives from CASN1_CONSTRUCTED_TYPE (the
    // decoder relies on it); every class derives from CASN1_PRIMITIVE_TYPE.
    virtual int AllowsConstructed() const = 0;
    virtual int AllowsPrimitive() const = 0;

public:
    // The complete encoding, exactly GetEncodedLength() octets.
    void EncodeTo(CByteArray& out) const;
    // Clears, then decodes the value at the seek index into this object; on failure the
    // object is cleared again and the exception passes on. On success the seek index
    // stands after the value.
    void DecodeFrom(CDEREncoding& encoding);
    // Archive form: one 0x00 octet, then the complete encoding as a byte array.
    void _Serialize(CArchive& ar);

    // The encoding fed to a digest maker (the digest is finished), encrypted with the
    // processor's padding into out, or decrypted as ciphertext into out; contentsOnly as
    // for EncodeToFile.
    void DigestEncoding(CDigestMaker& maker, int contentsOnly) const;
    void EncryptEncoding(CCryptoProcessor& processor, CFile& out, int contentsOnly) const;
    void DecryptEncoding(CCryptoProcessor& processor, CFile& out, int contentsOnly) const;

    unsigned char m_Tag;          // class bits OR tag number, constructed bit clear
    BOOL m_bConstructed;          // encoded with the constructed method
    BOOL m_bIndefiniteLength;     // with m_bConstructed: indefinite length form

protected:
    CASN1Type();
    CASN1Type(const CASN1Type& other);
    CASN1Type& operator=(const CASN1Type& other);

    friend class CASN1_CONSTRUCTED_TYPE;
    friend class CASN1_SET;
    friend class CASN1Decoder;
    friend class CASN1Children;
};

// 1 when the two objects encode to the same octets.
SIGILBOX_API int AreEqual(const CASN1Type& a, const CASN1Type& b);

// A value with contents octets (the byte array). Every object of the hierarchy is created
// and freed through this class's allocation functions, so objects may cross between the
// library and its callers in either direction.
class SIGILBOX_API CASN1_PRIMITIVE_TYPE : public CASN1Type, public CByteArray {
public:
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    ~CASN1_PRIMITIVE_TYPE() override;

    void EncodeToFile(CFile& file, int contentsOnly) const override;
    void Clear() override;

    virtual const unsigned char* GetData() const;
    virtual int GetData(unsigned char* buffer, int bufferSize, int& dataSize, int leftAligned, int zeroFill) const;
    virtual int GetData(CByteArray& data) const;
    virtual int GetDataSize() const;

protected:
    CASN1_PRIMITIVE_TYPE() = default;
    CASN1_PRIMITIVE_TYPE(const CASN1_PRIMITIVE_TYPE& other);
    CASN1_PRIMITIVE_TYPE& operator=(const CASN1_PRIMITIVE_TYPE& other);

    unsigned long GetEncodedLength() const override;
    void AddConstructedComponent(CASN1Type* component) override;
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
    int AllowsConstructed() const override { return 0; }
    int AllowsPrimitive() const override { return 1; }
    virtual void Append(const unsigned char* data, unsigned long length);

    // Helpers for subclasses: the contents buffer, replacing it, and reserving room so that
    // reassembling a long segmented string does not reallocate for every segment.
    unsigned char* ContentsBuffer() { return CByteArray::GetData(); }
    void SetContentsOctets(const unsigned char* data, unsigned long length);
    void ReserveContents(unsigned long total);
    // Writes the identifier and definite length octets for `contentsLength`.
    void WriteHeader(CFile& file, unsigned char identifier, unsigned long contentsLength) const;

    friend class CASN1Decoder;
};

// Deletes a value the decoder made after overwriting its contents octets, and its
// children's: key material may be among them.
struct SIGILBOX_API CASN1Scrubber {
    void operator()(CASN1Type* object) const;
};
using CASN1ScratchValue = std::unique_ptr<CASN1Type, CASN1Scrubber>;

// The children of a constructed value, with the interface of an array of owned pointers.
// Children added by hand are objects. The decoder keeps a child as an object only when that
// costs little more than its encoding; any other child stays packed: its encoding, in one
// buffer with its packed neighbours, or, for a segment of a string sent segmented, only its
// identifier and length octets (its octets are the string's own contents, gathered in
// place). A packed child is decoded the first time it is asked for (GetAt, ElementAt) and
// is an object from then on; the looks below decode nothing that stays. So a value of
// millions of tiny segments or entries costs about what its encoding costs.
class SIGILBOX_API CASN1Children {
public:
    // `contents`: the owner's contents octets, where the segments' octets are.
    explicit CASN1Children(const CByteArray* contents);
    ~CASN1Children();
    CASN1Children(const CASN1Children&) = delete;
    CASN1Children& operator=(const CASN1Children&) = delete;

    int GetSize() const { return m_pState ? m_nCount : static_cast<int>(m_objects.size()); }
    // Child i (0 <= i < GetSize(), else CInvalidArgException*); may be null. A reference
    // from ElementAt lasts until the children change or another packed child is decoded.
    CASN1Type* GetAt(int i) const;
    CASN1Type*& ElementAt(int i);
    CASN1Type* operator[](int i) const { return GetAt(i); }
    CASN1Type*& operator[](int i) { return ElementAt(i); }
    // Appends, inserts (an index past the end fills the gap with nulls) and removes
    // children; removed children are deleted.
    int Add(CASN1Type* child);
    void InsertAt(int i, CASN1Type* child);
    void RemoveAt(int i, int count = 1);
    void RemoveAll();

    // Child i to look at without keeping it: its object when it has one, else a temporary
    // decoded into `scratch` (valid while scratch holds it).
    const CASN1Type* View(int i, CASN1ScratchValue& scratch) const;
    // The complete encoding of child i (nothing for a null child).
    void EncodeChild(int i, CByteArray& out) const;
    // 1 when a child is null.
    int HasNull() const;
    // 1 when every child, and every child of a constructed child down to `depthLeft` levels,
    // carries the tag octet `tag`: the segments of a string sent segmented.
    int AllCarryTag(unsigned char tag, int depthLeft) const;
    // Takes over the children of `other`, which is left empty.
    void TakeOver(CASN1Children& other);
    // Replaces the children with copies of other's.
    void CopyFrom(const CASN1Children& other);

    // The encoded length of all children, and writing their encodings one after another.
    unsigned long EncodedLength() const;
    void EncodeTo(CFile& file) const;

private:
    struct Item;
    struct State;
    friend class CASN1Decoder;

    State& Packed();
    // Decodes packed child i into an object in its own place; returns that place.
    CASN1Type*& Unpack(int i) const;
    // Turns every packed child from index `from` on into an object.
    void UnpackFrom(int from) const;
    // Once no child is packed any more: the plain array of objects again.
    void Flatten() const;

    // ---- filled by the decoder, child after child ----
    // Before child `index`: where its packed octets and its contents octets will start.
    void NoteChildStart(int index, size_t contentsSize);
    // Room for the packed octets of the whole value (the decoder knows an upper bound).
    void ReservePacked(size_t bytes);
    // The last child, added as an object, is packed into its encoding instead.
    void PackLast();
    // The memory estimate of the last child, kept as an object.
    void NoteLastCost(size_t cost);
    // The memory the children hold, estimated.
    size_t Footprint() const;
    // A segment: its headers (those of the segments inside it too, with their
    // end-of-contents octets), its octets having gone to the contents from contentsStart on.
    void BeginSegment(size_t contentsStart);
    void AppendHeader(const unsigned char* octets, size_t n);
    void EndSegment(size_t contentsEnd);
    // After the last child: gives back the room not used.
    void FinishDecoding();
    static void ScrubAndDelete(CASN1Type* object);
    friend struct CASN1Scrubber;

    const CByteArray* m_pContents;
    // Without packed children (built by hand, or every packed child decoded): the objects.
    mutable std::vector<CASN1Type*> m_objects;
    // With packed children: everything (m_objects is then empty).
    mutable std::unique_ptr<State> m_pState;
    mutable int m_nCount = 0;   // with packed children
};

// A value that may be encoded with the constructed method: contents octets for the
// primitive method, owned children (m_Components) for the constructed one. After decoding
// a constructed value the byte array holds its children's contents concatenated.
class SIGILBOX_API CASN1_CONSTRUCTED_TYPE : public CASN1_PRIMITIVE_TYPE {
public:
    ~CASN1_CONSTRUCTED_TYPE() override;

    void EncodeToFile(CFile& file, int contentsOnly) const override;
    void Clear() override;

    // The children, in encoding order; `i` must be below the count.
    int GetComponentsCount() const { return m_Components.GetSize(); }
    CASN1Type& GetComponent(int i) const { return *m_Components.GetAt(i); }

    CASN1Children m_Components{this};

protected:
    CASN1_CONSTRUCTED_TYPE() = default;
    CASN1_CONSTRUCTED_TYPE(const CASN1_CONSTRUCTED_TYPE& other);
    CASN1_CONSTRUCTED_TYPE& operator=(const CASN1_CONSTRUCTED_TYPE& other);

    unsigned long GetEncodedLength() const override;
    void AddConstructedComponent(CASN1Type* component) override;
    int AllowsConstructed() const override { return 1; }

    // Whether the contents octets of a constructed value are its segments' octets one after
    // another: 1 for strings (segments of their own tag), 2 for tagged values (segments of
    // any tag); 0 for structures and BIT STRING.
    virtual int GathersSegments() const { return AllowsPrimitive(); }

    // Appends a component to the children; deletes it when that fails.
    void AdoptComponent(CASN1Type* component);
    // Sum of the children's encoded lengths.
    unsigned long ChildrenLength() const;

    friend class CASN1Decoder;
};

// A value of any tag, kept as it arrived (primitive contents or constructed children).
class SIGILBOX_API CASN1_TAGGED : public CASN1_CONSTRUCTED_TYPE {
public:
    CASN1_TAGGED(unsigned char tag, int constructed, int indefinite);
    CASN1_TAGGED(unsigned char tag, const unsigned char* data, unsigned long length);
    CASN1_TAGGED(const CASN1_TAGGED& other);
    CASN1_TAGGED& operator=(const CASN1_TAGGED& other) = default;

    CASN1Type* Clone() const override;

    // EXPLICIT tagging: this value becomes [tag] { inner }.
    void BuildExplicit(const CASN1Type& inner);
    // IMPLICIT tagging: this value becomes inner's encoding with the tag replaced.
    void BuildImplicit(const CASN1Type& inner);
    // Reads the one child of a constructed tagged value as `target`'s type; 0 when the shape
    // or the decoding does not fit (target then cleared).
    static int FromExplicit(const CASN1_TAGGED& tagged, CASN1Type& target);
    // Reads the tagged value itself as `target`'s type; 0 when decoding fails.
    static int FromImplicit(const CASN1_TAGGED& tagged, CASN1Type& target);

protected:
    void AddConstructedComponent(CASN1Type* component) override;
    int GathersSegments() const override { return 2; }
};
