// Helpers shared by the structure classes (names, certificates, PKCS structures).
//
// A decoded value is a tree of plain universal objects: the type factory knows tags, not
// structures. The structure classes add neither data nor virtual operations to their base,
// so a plain SEQUENCE holds everything a structure needs; what it lacks is the structure's
// class. An accessor that hands out a child as a structure therefore first gives that child
// the class (AfxStructureAt): a new object of the class takes over the child's tag, flags
// and children and takes its place in the parent. The reference returned is a real object
// of the class, and references to the child obtained earlier through its plain type end.
#pragma once

#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_universal.h"

// A new, empty object of a structure class. Classes without a default constructor get an
// overload here.
template <class T>
T* AfxNewEmptyStructure()
{
    return new T();
}

template <>
inline CASN1_AlgorithmIdentifier* AfxNewEmptyStructure<CASN1_AlgorithmIdentifier>()
{
    auto* object = new CASN1_AlgorithmIdentifier(CASN1_OBJECT_IDENTIFIER(), CASN1_NULL());
    object->Clear();
    return object;
}

// Child `index` of `parent` as an object of structure class T (derived from CASN1_SEQUENCE).
// A child that is not a SEQUENCE or SET raises CDERDecodingException*; an index outside the
// children raises CInvalidArgException*.
template <class T>
T& AfxStructureAt(CASN1_CONSTRUCTED_TYPE& parent, int index)
{
    CASN1Type* child = parent.m_Components.GetAt(index);
    if (T* typed = dynamic_cast<T*>(child))
        return *typed;
    auto* plain = dynamic_cast<CASN1_SEQUENCE*>(child);
    if (!plain)
        AfxThrowDERDecodingException("Structure expected");

    T* typed = AfxNewEmptyStructure<T>();
    try {
        typed->Clear();
        // The children move over as they are (packed ones stay packed); the plain object
        // is left without any, so none is deleted or owned twice.
        typed->m_Components.TakeOver(plain->m_Components);
    } catch (...) {
        delete typed;
        throw;
    }
    typed->m_Tag = plain->m_Tag;
    typed->m_bConstructed = plain->m_bConstructed;
    typed->m_bIndefiniteLength = plain->m_bIndefiniteLength;
    parent.m_Components.ElementAt(index) = typed;
    delete plain;
    return *typed;
}

// Child `index` of a decoded value as universal class T (INTEGER, SET, TAGGED ...). Raises
// CDERDecodingException* when the child is missing or of another class.
template <class T>
T& AfxChildAs(const CASN1_CONSTRUCTED_TYPE& parent, int index)
{
    if (index < 0 || index >= parent.m_Components.GetSize() || !parent.m_Components.GetAt(index))
        AfxThrowDERDecodingException("Structure component is missing");
    T* typed = dynamic_cast<T*>(parent.m_Components.GetAt(index));
    if (!typed)
        AfxThrowDERDecodingException("Structure component has another type");
    return *typed;
}

// The value as a constructed object with the given tag octet, or null.
inline const CASN1_CONSTRUCTED_TYPE* AfxAsConstructed(const CASN1Type* object, unsigned char tag)
{
    auto* value = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(object);
    if (!value || value->m_Tag != tag || value->m_Components.HasNull())
        return nullptr;
    return value;
}

// Child `index` of a value checked with AfxAsConstructed, or null when there is none.
inline const CASN1Type* AfxChildAt(const CASN1_CONSTRUCTED_TYPE* value, int index)
{
    if (!value || index < 0 || index >= value->m_Components.GetSize())
        return nullptr;
    return value->m_Components.GetAt(index);
}

// The tag octet of child `index`, or 0xFF when there is none (no tag octet is 0xFF: the
// high-tag-number form is refused by the decoder).
inline unsigned char AfxChildTag(const CASN1_CONSTRUCTED_TYPE* value, int index)
{
    const CASN1Type* child = AfxChildAt(value, index);
    return child ? child->m_Tag : 0xFF;
}

// The version check of the PKCS structures: the first child is an INTEGER that reads as a
// 32-bit number equal to `expected`. A version that cannot be read raises the decoding
// exception with `message` and catches it here (it stays on record as the last decoding
// message); the result is then 0. Never raises.
inline int AfxCheckVersion(const CASN1_CONSTRUCTED_TYPE* value, unsigned long expected, const char* message)
{
    unsigned long version = 0;
    try {
        auto* integer = dynamic_cast<const CASN1_INTEGER*>(AfxChildAt(value, 0));
        if (!integer || integer->m_Tag != 0x02 || !integer->GetInteger(version))
            AfxThrowDERDecodingException(message);
    } catch (CDERDecodingException* e) {
        e->Delete();
        return 0;
    }
    return version == expected ? 1 : 0;
}

// A value with the tag octet whose every child passes `isValid`. A child the decoder kept
// packed is looked at in a temporary object, so checking a long list keeps nothing.
template <class Check>
int AfxEveryChildValid(const CASN1Type* object, unsigned char tag, Check isValid)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, tag);
    if (!value)
        return 0;
    CASN1ScratchValue scratch;
    for (int i = 0; i < value->GetComponentsCount(); ++i)
        if (!isValid(value->m_Components.View(i, scratch)))
            return 0;
    return 1;
}

// An AlgorithmIdentifier of a digest algorithm: as CASN1_AlgorithmIdentifier::IsValid, but
// the parameter may be absent, as current peers write the SHA-2 family (the parameter of a
// digest algorithm is NULL or nothing).
inline int AfxIsDigestAlgorithmIdentifier(const CASN1Type* object)
{
    const CASN1_CONSTRUCTED_TYPE* value = AfxAsConstructed(object, 0x10);
    if (!value)
        return 0;
    const int count = value->GetComponentsCount();
    return (count == 1 || count == 2) && AfxChildTag(value, 0) == 0x06 &&
           dynamic_cast<const CASN1_OBJECT_IDENTIFIER*>(AfxChildAt(value, 0));
}
