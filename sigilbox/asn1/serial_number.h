// Certificate serial numbers: big-endian bytes, stored as a byte array.
#pragma once

#include "framework/arrays.h"
#include "framework/cstring.h"
#include "sigilbox/sigilbox_export.h"

class SIGILBOX_API CSerialNumber : public CByteArray {
    DECLARE_SERIAL(CSerialNumber)
public:
    CSerialNumber() = default;
    CSerialNumber(const BYTE* data, int count);
    CSerialNumber(const CSerialNumber& other) = default;
    CSerialNumber& operator=(const CSerialNumber& other) = default;

    // Upper-case hexadecimal text of the bytes.
    operator CString() const;

    // Replaces the number by 24 bytes: 3 random bytes, the MD5 digest of the old bytes, 5
    // random bytes (random bytes are never zero). An empty number digests as empty data.
    void RandomPermutation();
};

// The two as unsigned big-endian numbers: leading zero bytes do not matter.
SIGILBOX_API bool operator==(const CSerialNumber& a, const CSerialNumber& b);
