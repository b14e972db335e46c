// Hexadecimal text helpers and unique identifiers from names.
#include "sigilbox/engines/hex_text.h"

#include "framework/exceptions.h"

#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(HexText, OctetsToText)
{
    const BYTE bytes[] = {0x0A, 0xFF};
    EXPECT_EQ(OctetsToHexChars(bytes, 2), "0AFF");
    EXPECT_EQ(OctetsToHexChars(bytes, 0), "");
    const BYTE all[] = {0x00, 0x12, 0x9c, 0xde};
    EXPECT_EQ(OctetsToHexChars(all, 4), "00129CDE");
}

TEST(HexText, DigitValues)
{
    EXPECT_EQ(HexCharToDigit('0'), 0);
    EXPECT_EQ(HexCharToDigit('9'), 9);
    EXPECT_EQ(HexCharToDigit('a'), 10);
    EXPECT_EQ(HexCharToDigit('F'), 15);
}

TEST(HexText, TextToOctetsIsRightAligned)
{
    BYTE out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    HexCharsToOctets("ABC", out, 4);
    const BYTE expected[] = {0x00, 0x00, 0x0A, 0xBC};
    EXPECT_EQ(0, std::memcmp(out, expected, 4));

    HexCharsToOctets("deadbeef", out, 4);
    const BYTE full[] = {0xDE, 0xAD, 0xBE, 0xEF};
    EXPECT_EQ(0, std::memcmp(out, full, 4));

    HexCharsToOctets("", out, 4);
    const BYTE zero[4] = {};
    EXPECT_EQ(0, std::memcmp(out, zero, 4));
}

TEST(HexText, TextLongerThanTheOutput)
{
    // Guard bytes on both sides show that nothing is written outside the output.
    BYTE buffer[6] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    HexCharsToOctets("000000ABCD", buffer + 1, 4);    // leading zero bytes may be dropped
    const BYTE expected[] = {0x55, 0x00, 0x00, 0xAB, 0xCD, 0x55};
    EXPECT_EQ(0, std::memcmp(buffer, expected, 6));

    BYTE before[6];
    std::memcpy(before, buffer, 6);
    EXPECT_THROWS_PTR(HexCharsToOctets("10000ABCD", buffer + 1, 4), CInvalidArgException);
    EXPECT_EQ(0, std::memcmp(before, buffer, 6));
}

TEST(HexText, RecognisesHexText)
{
    EXPECT_TRUE(IsHexCharsString("0123456789abcdefABCDEF"));
    EXPECT_FALSE(IsHexCharsString(""));
    EXPECT_FALSE(IsHexCharsString("12 3"));
    EXPECT_FALSE(IsHexCharsString("0x12"));
    EXPECT_FALSE(IsHexCharsString("g"));
    const BYTE raw[] = {'1', 'f', 0x00};
    EXPECT_TRUE(IsHexCharsString(raw, 2));
    EXPECT_FALSE(IsHexCharsString(raw, 3));   // a NUL is not a digit
    EXPECT_FALSE(IsHexCharsString(raw, 0));
}

TEST(HexText, UniqueIdFromName)
{
    EXPECT_EQ(Name2UniqueID("", 4), "D41D8CD9");
    EXPECT_EQ(Name2UniqueID("abc", 16), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Name2UniqueID("abc", 40), "900150983CD24FB0D6963F7D28E17F72");   // at most the digest
    EXPECT_EQ(Name2UniqueID("abc", 0), "");
}

} // namespace
