#include "sigilbox/pki/pkcs1_keys.h"

#include "sigilbox/asn1/der_encoding.h"

#include <cstring>

using sigilbox_cipher::WipeKeyBytes;

namespace {

constexpr int kNumber = CRSAPublicKey::NumberSize;
constexpr int kHalf = CRSAPublicKey::HalfNumberSize;
// Contents octets of an INTEGER holding a field's worth of magnitude: one more for the
// leading 0x00 of a number whose top bit is set.
constexpr int kNumberOctets = kNumber + 1;
constexpr int kHalfOctets = kHalf + 1;

// Child i of value as an INTEGER, or null when value is no sequence or has none there.
const CASN1_INTEGER* IntegerAt(const CASN1Type& value, int i)
{
    auto* sequence = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&value);
    if (!sequence || i >= sequence->GetComponentsCount() || !sequence->m_Components.GetAt(i))
        return nullptr;
    auto* integer = dynamic_cast<const CASN1_INTEGER*>(&sequence->GetComponent(i));
    return integer && integer->m_Tag == 0x02 ? integer : nullptr;
}

// Exactly `count` INTEGER children, each within its octet limit.
bool HasIntegers(const CASN1Type* object, const int* limits, int count)
{
    auto* sequence = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(object);
    if (!sequence || sequence->m_Tag != 0x10 || sequence->GetComponentsCount() != count)
        return false;
    for (int i = 0; i < count; ++i) {
        const CASN1_INTEGER* integer = IntegerAt(*sequence, i);
        if (!integer || integer->GetDataSize() > limits[i])
            return false;
    }
    return true;
}

// Child i, right-aligned and zero-filled into a field of `size` octets.
void ReadNumber(const CASN1Type& value, int i, unsigned char* field, int size, const char* message)
{
    const CASN1_INTEGER* integer = IntegerAt(value, i);
    int used = 0;
    if (!integer || !integer->GetData(field, size, used, 0, 1))
        AfxThrowDERDecodingException(message);
}

// Fields being filled, wiped whatever happens.
template <int N>
struct Field {
    unsigned char b[N];
    Field() { std::memset(b, 0, sizeof b); }
    ~Field() { WipeKeyBytes(b, sizeof b); }
    Field(const Field&) = delete;
    Field& operator=(const Field&) = delete;
};

}  // namespace

// ---- CASN1_PublicKey ----------------------------------------------------------------------

CASN1_PublicKey::CASN1_PublicKey(const CRSAPublicKey& key) : CASN1_SEQUENCE(0)
{
    GetDataFrom(key);
}

CASN1_PublicKey::CASN1_PublicKey(const CASN1_INTEGER& modulus, const CASN1_INTEGER& exponent) : CASN1_SEQUENCE(0)
{
    AddObject(modulus.Clone());
    AddObject(exponent.Clone());
}

CASN1_PublicKey::~CASN1_PublicKey() = default;

CASN1Type* CASN1_PublicKey::Clone() const
{
    return new CASN1_PublicKey(*this);
}

void CASN1_PublicKey::GetDataFrom(const CRSAPublicKey& key)
{
    Clear();
    AddObject(new CASN1_INTEGER(key.m_Modulus, kNumber));
    AddObject(new CASN1_INTEGER(key.m_PublicExponent, kNumber));
}

void CASN1_PublicKey::SetDataTo(CRSAPublicKey& key) const
{
    SetDataTo(*this, key);
}

void CASN1_PublicKey::SetDataTo(const CASN1Type& value, CRSAPublicKey& key)
{
    Field<kNumber> modulus;
    Field<kNumber> exponent;
    ReadNumber(value, 0, modulus.b, kNumber, "PublicKey contents is not valid (invalid modulus)");
    ReadNumber(value, 1, exponent.b, kNumber, "PublicKey contents is not valid (invalid public exponent)");
    std::memcpy(key.m_Modulus, modulus.b, kNumber);
    std::memcpy(key.m_PublicExponent, exponent.b, kNumber);
    key.m_nModulusBits = static_cast<WORD>(AfxCountBits(key.m_Modulus, kNumber));
}

int CASN1_PublicKey::IsValid(const CASN1Type* object)
{
    static const int limits[] = {kNumberOctets, kNumberOctets};
    return HasIntegers(object, limits, 2) ? 1 : 0;
}

// ---- CASN1_PrivateKey ---------------------------------------------------------------------

CASN1_PrivateKey::CASN1_PrivateKey(const CRSAPrivateKey& key) : CASN1_SEQUENCE(0)
{
    GetDataFrom(key);
}

CASN1_PrivateKey::~CASN1_PrivateKey() = default;

CASN1Type* CASN1_PrivateKey::Clone() const
{
    return new CASN1_PrivateKey(*this);
}

void CASN1_PrivateKey::GetDataFrom(const CRSAPrivateKey& key)
{
    Clear();
    AddObject(new CASN1_INTEGER(0ul));
    AddObject(new CASN1_INTEGER(key.m_Modulus, kNumber));
    AddObject(new CASN1_INTEGER(key.m_PublicExponent, kNumber));
    AddObject(new CASN1_INTEGER(key.m_PrivateExponent, kNumber));
    AddObject(new CASN1_INTEGER(key.m_Prime1, kHalf));
    AddObject(new CASN1_INTEGER(key.m_Prime2, kHalf));
    AddObject(new CASN1_INTEGER(key.m_Exponent1, kHalf));
    AddObject(new CASN1_INTEGER(key.m_Exponent2, kHalf));
    AddObject(new CASN1_INTEGER(key.m_Coefficient, kHalf));
}

void CASN1_PrivateKey::SetDataTo(CRSAPrivateKey& key) const
{
    SetDataTo(*this, key);
}

void CASN1_PrivateKey::SetDataTo(const CASN1Type& value, CRSAPrivateKey& key)
{
    Field<kNumber> modulus, publicExponent, privateExponent;
    Field<kHalf> prime1, prime2, exponent1, exponent2, coefficient;
    ReadNumber(value, 1, modulus.b, kNumber, "PribvateKey contents is not valid (invalid modulus)");
    ReadNumber(value, 2, publicExponent.b, kNumber, "PrivateKey contents is not valid (invalid public exponent)");
    ReadNumber(value, 3, privateExponent.b, kNumber, "PrivateKey contents is not valid (invalid private exponent)");
    ReadNumber(value, 4, prime1.b, kHalf, "PrivateKey contents is not valid (invalid p)");
    ReadNumber(value, 5, prime2.b, kHalf, "PrivateKey contents is not valid (invalid q)");
    ReadNumber(value, 6, exponent1.b, kHalf, "PrivateKey contents is not valid (invalid d mod (p - 1))");
    ReadNumber(value, 7, exponent2.b, kHalf, "PrivateKey contents is not valid (invalid d mod (q - 1))");
    ReadNumber(value, 8, coefficient.b, kHalf, "PrivateKey contents is not valid (invalid (inverse of q) mod p)");

    std::memcpy(key.m_Modulus, modulus.b, kNumber);
    std::memcpy(key.m_PublicExponent, publicExponent.b, kNumber);
    std::memcpy(key.m_PrivateExponent, privateExponent.b, kNumber);
    std::memcpy(key.m_Prime1, prime1.b, kHalf);
    std::memcpy(key.m_Prime2, prime2.b, kHalf);
    std::memcpy(key.m_Exponent1, exponent1.b, kHalf);
    std::memcpy(key.m_Exponent2, exponent2.b, kHalf);
    std::memcpy(key.m_Coefficient, coefficient.b, kHalf);
    key.m_nModulusBits = static_cast<WORD>(AfxCountBits(key.m_Modulus, kNumber));
}

int CASN1_PrivateKey::IsValid(const CASN1Type* object)
{
    static const int limits[] = {kNumberOctets, kNumberOctets, kNumberOctets, kNumberOctets, kHalfOctets,
                                 kHalfOctets,   kHalfOctets,   kHalfOctets,   kHalfOctets};
    if (!HasIntegers(object, limits, 9))
        return 0;
    unsigned long version = 1;
    const CASN1_INTEGER* first = IntegerAt(*object, 0);
    return first->GetInteger(version) && version == 0 ? 1 : 0;
}
