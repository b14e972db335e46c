#include "sigilbox/asn1/asn1_universal.h"

// ---- SEQUENCE ---------------------------------------------------------------------------

CASN1_SEQUENCE::CASN1_SEQUENCE(int indefinite)
{
    m_Tag = 0x10;
    m_bConstructed = TRUE;
    m_bIndefiniteLength = indefinite;
}

CASN1_SEQUENCE::CASN1_SEQUENCE(const CASN1_SEQUENCE& other) : CASN1_CONSTRUCTED_TYPE(other)
{
    m_Tag = 0x10;
}

CASN1_SEQUENCE& CASN1_SEQUENCE::operator=(const CASN1_SEQUENCE& other)
{
    CASN1_CONSTRUCTED_TYPE::operator=(other);
    m_Tag = 0x10;
    return *this;
}

CASN1Type* CASN1_SEQUENCE::Clone() const
{
    // A structure built on a sequence clones as a plain sequence with its tag.
    CASN1_SEQUENCE* copy = new CASN1_SEQUENCE(*this);
    copy->m_Tag = m_Tag;
    return copy;
}

void CASN1_SEQUENCE::AddObject(CASN1Type* object)
{
    if (object)
        AdoptComponent(object);
}

void CASN1_SEQUENCE::AddConstructedComponent(CASN1Type* component)
{
    if (component)
        AdoptComponent(component);
}

void CASN1_SEQUENCE::SetContents(const CDEREncoding&, const CHugeDigit&)
{
}

void CASN1_SEQUENCE::Append(const unsigned char*, unsigned long)
{
}

// ---- SET --------------------------------------------------------------------------------

CASN1_SET::CASN1_SET()
{
    m_Tag = 0x11;
}

CASN1_SET::CASN1_SET(const CASN1_SET& other) : CASN1_SEQUENCE(other)
{
    m_Tag = 0x11;
}

CASN1_SET& CASN1_SET::operator=(const CASN1_SET& other)
{
    CASN1_SEQUENCE::operator=(other);
    m_Tag = 0x11;
    return *this;
}

CASN1Type* CASN1_SET::Clone() const
{
    CASN1_SET* copy = new CASN1_SET(*this);
    copy->m_Tag = m_Tag;
    return copy;
}

void CASN1_SET::AddObject(CASN1Type* object)
{
    if (!object)
        return;
    int position = 0;
    try {
        CDEREncoding mine(*object);
        // From the last child back: the new one goes after the first child that sorts
        // strictly below it, so it lands in front of any equal children.
        for (int i = m_Components.GetSize() - 1; i >= 0; --i) {
            CDEREncoding theirs(*m_Components.GetAt(i));
            if (!(mine <= theirs)) {
                position = i + 1;
                break;
            }
        }
        m_Components.InsertAt(position, object);
    } catch (...) {
        delete object;
        throw;
    }
}

int CASN1_SET::IsValid(const CASN1Type* object)
{
    auto* set = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(object);
    if (!set || set->m_Tag != 0x11)
        return 0;
    try {
        // The children's encodings, compared without decoding packed ones.
        CDEREncoding a, b;
        for (int i = 0; i + 1 < set->m_Components.GetSize(); ++i) {
            set->m_Components.EncodeChild(i, a);
            set->m_Components.EncodeChild(i + 1, b);
            if (!(a <= b))
                return 0;
        }
    } catch (CException* e) {
        // Checks never raise; an object that cannot be encoded is not valid.
        e->Delete();
        return 0;
    }
    return 1;
}
