// Certificate serial numbers.
#include "sigilbox/asn1/serial_number.h"

#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/hex_text.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/randoms.h"

#include <cstring>

IMPLEMENT_SERIAL(CSerialNumber, CByteArray, 0)

CSerialNumber::CSerialNumber(const BYTE* data, int count)
{
    if (count < 0 || (count > 0 && !data))
        AfxThrowInvalidArgException();
    if (count > 0)
        Append(data, count);
}

CSerialNumber::operator CString() const
{
    return OctetsToHexChars(GetData(), GetSize());
}

void CSerialNumber::RandomPermutation()
{
    BYTE result[24];
    CRandomsGenerator generator;
    generator.GetRandomBlock(result + 19, 5);
    generator.RegenerateRandoms(nullptr, 0);
    generator.GetRandomBlock(result, 3);
    AfxMakeMD5DigestOnData(GetData(), GetSize(), result + 3);
    SetSize(0);
    Append(result, sizeof result);
}

bool operator==(const CSerialNumber& a, const CSerialNumber& b)
{
    const BYTE* pa = a.GetData();
    const BYTE* pb = b.GetData();
    int na = a.GetSize();
    int nb = b.GetSize();
    while (na > 0 && *pa == 0) {
        ++pa;
        --na;
    }
    while (nb > 0 && *pb == 0) {
        ++pb;
        --nb;
    }
    if (na != nb)
        return false;
    // Compared a word at a time, polling for a kill request like every big-number step.
    for (int i = 0; i < na; i += 4) {
        __checkKillThreadFlag();
        int n = na - i < 4 ? na - i : 4;
        if (std::memcmp(pa + i, pb + i, static_cast<size_t>(n)) != 0)
            return false;
    }
    return true;
}
