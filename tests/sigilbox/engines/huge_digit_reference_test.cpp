// CHugeDigit against an independent reference: tests/data/bignum/vectors.txt, computed with
// Python's integers by the make_vectors.py beside it.
#include "huge_digit_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

using bignum_test::FromHex;
using bignum_test::ToHex;

namespace {

using Record = std::map<std::string, std::string>;

std::vector<Record> LoadVectors()
{
    std::ifstream in(std::string(QM_TEST_DATA) + "/bignum/vectors.txt");
    std::vector<Record> records;
    Record current;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '#')
            continue;
        if (line.empty()) {
            if (!current.empty())
                records.push_back(current);
            current.clear();
            continue;
        }
        const size_t colon = line.find(": ");
        if (colon != std::string::npos)
            current[line.substr(0, colon)] = line.substr(colon + 2);
    }
    if (!current.empty())
        records.push_back(current);
    return records;
}

class HugeDigitReference : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_records = new std::vector<Record>(LoadVectors()); }
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
            if (r.at("op") != op)
                continue;
            ++count;
            SCOPED_TRACE(op + " #" + std::to_string(count));
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
                  EXPECT_EQ(ToHex(FromHex(r.at("a")) + FromHex(r.at("b"))), r.at("r"));
              }),
              50);
    EXPECT_GT(ForEach("sub", [](const Record& r) {
                  const CHugeDigit d = FromHex(r.at("a")) - FromHex(r.at("b"));
                  EXPECT_EQ(ToHex(d), r.at("r"));
                  EXPECT_TRUE(d.m_nLength == 1 || d.m_Digits[d.m_nLength - 1] != 0) << "not compacted";
              }),
              50);
    EXPECT_GT(ForEach("mul", [](const Record& r) {
                  const CHugeDigit a = FromHex(r.at("a"));
                  const CHugeDigit b = FromHex(r.at("b"));
                  EXPECT_EQ(ToHex(a * b), r.at("r"));
                  EXPECT_EQ(ToHex(b * a), r.at("r"));
              }),
              50);
}

TEST_F(HugeDigitReference, Division)
{
    EXPECT_GT(ForEach("divmod", [](const Record& r) {
                  const CHugeDigit a = FromHex(r.at("a"));
                  const CHugeDigit b = FromHex(r.at("b"));
                  CHugeDigit q, rem;
                  DivMod(q, rem, a, b);
                  EXPECT_EQ(ToHex(q), r.at("q"));
                  EXPECT_EQ(ToHex(rem), r.at("r"));
                  EXPECT_EQ(ToHex(a / b), r.at("q"));
                  EXPECT_EQ(ToHex(a % b), r.at("r"));
              }),
              150);
}

TEST_F(HugeDigitReference, ModularArithmetic)
{
    EXPECT_GT(ForEach("mulmod", [](const Record& r) {
                  EXPECT_EQ(ToHex(MulMod(FromHex(r.at("a")), FromHex(r.at("b")), FromHex(r.at("m")))), r.at("r"));
              }),
              40);
    EXPECT_GT(ForEach("powmod", [](const Record& r) {
                  EXPECT_EQ(ToHex(PowMod(FromHex(r.at("a")), FromHex(r.at("e")), FromHex(r.at("m")))), r.at("r"));
              }),
              40);
    EXPECT_GT(ForEach("gcd", [](const Record& r) {
                  EXPECT_EQ(ToHex(Gcd(FromHex(r.at("a")), FromHex(r.at("b")))), r.at("r"));
              }),
              30);
    EXPECT_GT(ForEach("invmod", [](const Record& r) {
                  EXPECT_EQ(ToHex(InverseMod(FromHex(r.at("a")), FromHex(r.at("m")))), r.at("r"));
              }),
              30);
}

TEST_F(HugeDigitReference, PrimalityTests)
{
    EXPECT_GT(ForEach("prime", [](const Record& r) {
                  const CHugeDigit n = FromHex(r.at("n"));
                  EXPECT_EQ(n.HasSmallPrimesFactor(), std::stoi(r.at("small")));
                  EXPECT_EQ(n.PassedFermatTest() != 0, r.at("fermat") == "1");
                  EXPECT_EQ(n.IsProbablePrime() != 0, r.at("probable") == "1");
              }),
              50);
}

}  // namespace
