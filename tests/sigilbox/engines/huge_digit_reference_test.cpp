// CHugeDigit against an independent reference: tests/data/bignum/vectors.txt, computed with
// Python's integers by the make_vectors.py beside it.
#include "huge_digit_support.h"
#include "tests/support/vectors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using bignum_test::FromHex;
using bignum_test::ToHex;

namespace {

using Record = qmtest::Vector;

class HugeDigitReference : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_records = new std::vector<Record>(qmtest::ReadVectors("bignum/vectors.txt")); }
    static void TearDownTestSuite()
    {
        delete s_records;
        s_records = nullptr;
    }

    // Runs check on every record of the operation; returns how many there were.
    template <class F>
    static int ForEach(const std::string& op, F check)
    {
        int count = 0;
        for (const Record& r : *s_records) {
            if (r["op"] != op)
                continue;
            ++count;
            SCOPED_TRACE(r.Where());
            check(r);
        }
        return count;
    }

    static std::vector<Record>* s_records;
};

std::vector<Record>* HugeDigitReference::s_records = nullptr;

TEST_F(HugeDigitReference, AdditionSubtractionMultiplication)
{
    EXPECT_GT(ForEach("add", [](const Record& r) {
                  EXPECT_EQ(ToHex(FromHex(r["a"]) + FromHex(r["b"])), r["r"]);
              }),
              50);
    EXPECT_GT(ForEach("sub", [](const Record& r) {
                  const CHugeDigit d = FromHex(r["a"]) - FromHex(r["b"]);
                  EXPECT_EQ(ToHex(d), r["r"]);
                  EXPECT_TRUE(d.m_nLength == 1 || d.m_Digits[d.m_nLength - 1] != 0) << "not compacted";
              }),
              50);
    EXPECT_GT(ForEach("mul", [](const Record& r) {
                  const CHugeDigit a = FromHex(r["a"]);
                  const CHugeDigit b = FromHex(r["b"]);
                  EXPECT_EQ(ToHex(a * b), r["r"]);
                  EXPECT_EQ(ToHex(b * a), r["r"]);
              }),
              50);
}

TEST_F(HugeDigitReference, Division)
{
    EXPECT_GT(ForEach("divmod", [](const Record& r) {
                  const CHugeDigit a = FromHex(r["a"]);
                  const CHugeDigit b = FromHex(r["b"]);
                  CHugeDigit q, rem;
                  DivMod(q, rem, a, b);
                  EXPECT_EQ(ToHex(q), r["q"]);
                  EXPECT_EQ(ToHex(rem), r["r"]);
                  EXPECT_EQ(ToHex(a / b), r["q"]);
                  EXPECT_EQ(ToHex(a % b), r["r"]);
              }),
              150);
}

TEST_F(HugeDigitReference, ModularArithmetic)
{
    EXPECT_GT(ForEach("mulmod", [](const Record& r) {
                  EXPECT_EQ(ToHex(MulMod(FromHex(r["a"]), FromHex(r["b"]), FromHex(r["m"]))), r["r"]);
              }),
              40);
    EXPECT_GT(ForEach("powmod", [](const Record& r) {
                  EXPECT_EQ(ToHex(PowMod(FromHex(r["a"]), FromHex(r["e"]), FromHex(r["m"]))), r["r"]);
              }),
              40);
    EXPECT_GT(ForEach("gcd", [](const Record& r) {
                  EXPECT_EQ(ToHex(Gcd(FromHex(r["a"]), FromHex(r["b"]))), r["r"]);
              }),
              30);
    EXPECT_GT(ForEach("invmod", [](const Record& r) {
                  EXPECT_EQ(ToHex(InverseMod(FromHex(r["a"]), FromHex(r["m"]))), r["r"]);
              }),
              30);
}

TEST_F(HugeDigitReference, PrimalityTests)
{
    EXPECT_GT(ForEach("prime", [](const Record& r) {
                  const CHugeDigit n = FromHex(r["n"]);
                  EXPECT_EQ(n.HasSmallPrimesFactor(), std::stoi(r["small"]));
                  EXPECT_EQ(n.PassedFermatTest() != 0, r["fermat"] == "1");
                  EXPECT_EQ(n.IsProbablePrime() != 0, r["probable"] == "1");
              }),
              50);
}

}  // namespace
