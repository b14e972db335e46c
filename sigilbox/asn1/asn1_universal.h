// The ASN.1 universal types the library models. Each fixes its tag octet, checks decoded
// contents where the type has rules, and converts to and from native data. Values are kept
// as their contents octets; copies are deep.
#pragma once

#include "sigilbox/asn1/asn1_type.h"
#include "sigilbox/sigilbox_export.h"

class CSerialNumber;
class CUTCTime;

// INTEGER, treated as a non-negative number: contents are the big-endian magnitude with
// one leading 0x00 when the top bit would otherwise be set.
class SIGILBOX_API CASN1_INTEGER : public CASN1_PRIMITIVE_TYPE {
public:
    CASN1_INTEGER();
    explicit CASN1_INTEGER(unsigned long value);
    CASN1_INTEGER(const unsigned char* magnitude, unsigned short length);
    CASN1_INTEGER(const CASN1_INTEGER& other);
    CASN1_INTEGER& operator=(const CASN1_INTEGER& other);

    CASN1Type* Clone() const override;

    // The value when it fits in 32 bits (returns 1), else 0.
    int GetInteger(unsigned long& value) const;
    // The magnitude without leading zero octets (at least one octet kept).
    int GetData(CByteArray& data) const override;
    int GetData(unsigned char* buffer, int size, int& dataSize, int leftAligned, int zeroFill) const override;
    using CASN1_PRIMITIVE_TYPE::GetData;

    operator CSerialNumber() const;

private:
    void SetMagnitude(const unsigned char* magnitude, unsigned long length);
    // The contents without leading zero octets, at least one kept (none for empty contents).
    int SignificantOffset() const;
};

// BIT STRING: contents are the padding-bit count (0-7), then the bits from the most
// significant bit of the second octet.
class SIGILBOX_API CASN1_BIT_STRING : public CASN1_CONSTRUCTED_TYPE {
public:
    CASN1_BIT_STRING();
    CASN1_BIT_STRING(const unsigned char* bits, unsigned long bitCount, int leftAligned);
    CASN1_BIT_STRING(const CASN1_BIT_STRING& other);
    CASN1_BIT_STRING& operator=(const CASN1_BIT_STRING& other);

    CASN1Type* Clone() const override;
    void Clear() override;

    // The bits without the padding-bit octet: left-aligned at the start of the buffer, or
    // shifted so the last bit is the least significant bit of the buffer's last octet.
    int GetData(unsigned char* buffer, int size, int& dataSize, int leftAligned, int zeroFill) const override;
    using CASN1_PRIMITIVE_TYPE::GetData;

    DWORD m_nBits;  // significant bits

protected:
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
    void Append(const unsigned char* data, unsigned long length) override;
    // Segments after the first give up their padding-bit octet: not a plain concatenation.
    int GathersSegments() const override { return 0; }

private:
    void ComputeBits();
};

class SIGILBOX_API CASN1_OCTET_STRING : public CASN1_CONSTRUCTED_TYPE {
public:
    CASN1_OCTET_STRING();
    CASN1_OCTET_STRING(const unsigned char* data, unsigned long length);
    // Exactly `length` octets from the file's current position; fewer raise a file
    // exception (generic).
    CASN1_OCTET_STRING(CFile& file, unsigned long length);
    CASN1_OCTET_STRING(const CASN1_OCTET_STRING& other);
    CASN1_OCTET_STRING& operator=(const CASN1_OCTET_STRING& other);

    CASN1Type* Clone() const override;
};

class SIGILBOX_API CASN1_IA5String : public CASN1_OCTET_STRING {
public:
    CASN1_IA5String();
    CASN1_IA5String(const unsigned char* data, unsigned long length);
    CASN1_IA5String(const CASN1_IA5String& other);
    CASN1_IA5String& operator=(const CASN1_IA5String& other);

    CASN1Type* Clone() const override;
    // Tag 0x16 and every octet below 0x80.
    static int IsValid(const CASN1Type* object);

protected:
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
};

class SIGILBOX_API CASN1_T61String : public CASN1_CONSTRUCTED_TYPE {
public:
    CASN1_T61String();
    CASN1_T61String(const unsigned char* data, unsigned long length);
    CASN1_T61String(const CASN1_T61String& other);
    CASN1_T61String& operator=(const CASN1_T61String& other);

    CASN1Type* Clone() const override;
};

class SIGILBOX_API CASN1_PrintableString : public CASN1_CONSTRUCTED_TYPE {
public:
    CASN1_PrintableString();
    CASN1_PrintableString(const unsigned char* data, unsigned long length);
    CASN1_PrintableString(const CASN1_PrintableString& other);
    CASN1_PrintableString& operator=(const CASN1_PrintableString& other);

    CASN1Type* Clone() const override;
    // Tag 0x13 and every octet printable ASCII (0x20 to 0x7E).
    static int IsValid(const CASN1Type* object);

protected:
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
};

class SIGILBOX_API CASN1_NULL : public CASN1_PRIMITIVE_TYPE {
public:
    CASN1_NULL();
    CASN1_NULL(const CASN1_NULL& other);
    CASN1_NULL& operator=(const CASN1_NULL& other);

    CASN1Type* Clone() const override;

protected:
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
};

class SIGILBOX_API CASN1_OBJECT_IDENTIFIER : public CASN1_PRIMITIVE_TYPE {
public:
    // Empty contents (a decode target).
    CASN1_OBJECT_IDENTIFIER();
    // Contents: the one octet 40 * first + second.
    CASN1_OBJECT_IDENTIFIER(unsigned char first, unsigned char second);
    CASN1_OBJECT_IDENTIFIER(const CASN1_OBJECT_IDENTIFIER& other);
    CASN1_OBJECT_IDENTIFIER& operator=(const CASN1_OBJECT_IDENTIFIER& other);
    ~CASN1_OBJECT_IDENTIFIER() override;

    CASN1Type* Clone() const override;
    // Appends one arc in base 128.
    void AddIDComponent(unsigned long arc);

protected:
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
};

// Same contents octets (the tag octet is not compared).
SIGILBOX_API int operator==(const CASN1_OBJECT_IDENTIFIER& a, const CASN1_OBJECT_IDENTIFIER& b);

// UTCTime text: YYMMDDhhmm[ss] followed by 'Z', or by '+'/'-' and hhmm.
class SIGILBOX_API CASN1_UTCTime : public CASN1_CONSTRUCTED_TYPE {
public:
    CASN1_UTCTime();
    explicit CASN1_UTCTime(const CUTCTime& time);
    CASN1_UTCTime(const CASN1_UTCTime& other);
    CASN1_UTCTime& operator=(const CASN1_UTCTime& other);

    CASN1Type* Clone() const override;
    static int IsValid(const CASN1Type* object);
    void GetDataFrom(const CUTCTime& time);
    void SetDataTo(CUTCTime& time) const;

protected:
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
};

class SIGILBOX_API CASN1_SEQUENCE : public CASN1_CONSTRUCTED_TYPE {
public:
    explicit CASN1_SEQUENCE(int indefinite = 0);
    CASN1_SEQUENCE(const CASN1_SEQUENCE& other);
    CASN1_SEQUENCE& operator=(const CASN1_SEQUENCE& other);

    CASN1Type* Clone() const override;
    // Appends a child; the sequence owns it from now on.
    virtual void AddObject(CASN1Type* object);

protected:
    void AddConstructedComponent(CASN1Type* component) override;
    void SetContents(const CDEREncoding& encoding, const CHugeDigit& length) override;
    void Append(const unsigned char* data, unsigned long length) override;
    int AllowsPrimitive() const override { return 0; }
};

class SIGILBOX_API CASN1_SET : public CASN1_SEQUENCE {
public:
    CASN1_SET();
    CASN1_SET(const CASN1_SET& other);
    CASN1_SET& operator=(const CASN1_SET& other);

    CASN1Type* Clone() const override;
    // Inserts the child so the children stay in DER SET OF order (equal ones in front).
    void AddObject(CASN1Type* object) override;
    // Tag 0x11 and every child's encoding <= the next one's.
    static int IsValid(const CASN1Type* object);
};
