// CHugeDigit: construction, lengths, byte conversion, the number-theory helpers, the
// capacity and zero-divisor rejections, and cancellation through the kill request.
#include "huge_digit_support.h"
#include "tests/sigilbox/kill_request.h"
#include "tests/support/wait.h"
#include "sigilbox/engines/progress.h"

#include "framework/exceptions.h"
#include "framework/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using bignum_test::FromHex;
using bignum_test::ToHex;

namespace {

// Runs f and reports whether it raised CInvalidArgException*.
template <class F>
bool RaisesInvalidArg(F f)
{
    return qmtest::Thrown<CInvalidArgException>(f) != nullptr;
}

// A 1024-bit modulus, base and exponent.
struct BigOperands {
    CHugeDigit base, exponent, modulus;
    BigOperands()
        : base(FromHex(std::string(250, '7'))),
          exponent(FromHex(std::string(256, 'd'))),
          modulus(FromHex("c" + std::string(254, '3') + "b"))
    {
    }
};

TEST(HugeDigit, ConstructionAndAssignment)
{
    const CHugeDigit zero;
    EXPECT_EQ(zero.m_nLength, 64);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(zero.m_Digits[i], 0u);

    const CHugeDigit sized(5, 0x12345678ul);
    EXPECT_EQ(sized.m_nLength, 5);
    EXPECT_EQ(sized[0], 0x12345678u);
    EXPECT_EQ(sized[4], 0u);

    CHugeDigit one(1ul);
    EXPECT_EQ(one.m_nLength, 1);
    one = 7ul;
    EXPECT_EQ(one[0], 7u);

    // Values beyond 32 bits keep their high half rather than losing it.
    const CHugeDigit wide(0x100000002ul);
    EXPECT_EQ(wide.m_nLength, 2);
    EXPECT_EQ(ToHex(wide), "100000002");

    // Copies carry the length and the used words.
    CHugeDigit a = FromHex("112233445566778899");
    CHugeDigit b;
    b = a;
    EXPECT_EQ(b.m_nLength, a.m_nLength);
    EXPECT_TRUE(a == b);
}

TEST(HugeDigit, LengthsAndCompaction)
{
    CHugeDigit x(0ul);
    x.SetLength(4);
    EXPECT_EQ(x.m_nLength, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(x[i], 0u);
    x[3] = 9;
    x.SetLength(2);  // shrinking only lowers the length
    EXPECT_EQ(x.m_Digits[3], 9u);
    x.SetLength(4);  // growing zeroes the words again
    EXPECT_EQ(x[3], 0u);

    CHugeDigit z;  // a zero of length 64
    z.DoCompact();
    EXPECT_EQ(z.m_nLength, 1);
    EXPECT_EQ(z[0], 0u);

    CHugeDigit y(8, 5ul);
    y.Assign2Exp(100);
    EXPECT_EQ(y.m_nLength, 8);
    EXPECT_EQ(ToHex(y), "10000000000000000000000000");
    EXPECT_EQ(y.Bits(), 101);
    y.AssignZero();
    EXPECT_TRUE(y.Zero());
    EXPECT_EQ(y.m_nLength, 8);
}

TEST(HugeDigit, Predicates)
{
    EXPECT_EQ(CHugeDigit(0ul).Bits(), 0);
    EXPECT_EQ(CHugeDigit(1ul).Bits(), 1);
    EXPECT_EQ(FromHex("100000000").Bits(), 33);
    EXPECT_EQ(CHugeDigit().Digits(), 0);
    EXPECT_EQ(FromHex("100000000").Digits(), 2);
    EXPECT_TRUE(CHugeDigit().Zero());
    EXPECT_FALSE(CHugeDigit(3ul).Zero());
    EXPECT_TRUE(CHugeDigit(4ul).EVEN());
    EXPECT_FALSE(CHugeDigit(5ul).EVEN());

    // Leading zero words do not take part in comparisons.
    CHugeDigit padded(10, 77ul);
    EXPECT_TRUE(padded == CHugeDigit(77ul));
    EXPECT_FALSE(padded < CHugeDigit(77ul));
    EXPECT_TRUE(padded < CHugeDigit(78ul));
    EXPECT_TRUE(FromHex("100000000") > CHugeDigit(0xFFFFFFFFul));
    EXPECT_TRUE(CHugeDigit(3ul) <= CHugeDigit(3ul));
    EXPECT_TRUE(CHugeDigit(3ul) >= CHugeDigit(2ul));
    EXPECT_TRUE(CHugeDigit(3ul) != CHugeDigit(2ul));
}

TEST(HugeDigit, DecodeKeepsWhatFitsTheLength)
{
    std::vector<unsigned char> bytes(128);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i + 1);

    CHugeDigit all;  // 64 words: room for all 128 bytes
    all.Decode(bytes.data(), 128);
    EXPECT_EQ(all.m_nLength, 32);
    EXPECT_EQ(all[31], 0x01020304u);
    EXPECT_EQ(all[0], 0x7d7e7f80u);

    CHugeDigit one(1ul);  // one word: only the last four bytes
    one.Decode(bytes.data(), 128);
    EXPECT_EQ(one.m_nLength, 1);
    EXPECT_EQ(one[0], 0x7d7e7f80u);

    // A partial top word, and zero words above what was read.
    CHugeDigit x(6, 0xFFFFFFFFul);
    x[5] = 0xFFFFFFFF;
    const unsigned char five[] = {0x01, 0x00, 0x00, 0x00, 0x02};
    x.Decode(five, 5);
    EXPECT_EQ(ToHex(x), "100000002");
    EXPECT_EQ(x.m_nLength, 2);

    CHugeDigit z;
    z.Decode(bytes.data(), 0);
    EXPECT_TRUE(z.Zero());
    EXPECT_EQ(z.m_nLength, 1);
}

TEST(HugeDigit, EncodeWritesExactlyCountBytes)
{
    unsigned char four[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    CHugeDigit(1ul).Encode(four, 4);
    EXPECT_EQ(std::vector<unsigned char>(four, four + 4), (std::vector<unsigned char>{0, 0, 0, 1}));

    // Nine bytes into eight: the top byte is dropped.
    unsigned char eight[8];
    FromHex("ff0102030405060708").Encode(eight, 8);
    EXPECT_EQ(std::vector<unsigned char>(eight, eight + 8), (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8}));

    // Wider output: zeros in front.
    unsigned char wide[12];
    FromHex("0a0b").Encode(wide, 12);
    EXPECT_EQ(std::vector<unsigned char>(wide, wide + 12), (std::vector<unsigned char>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 11}));
}

TEST(HugeDigit, ArithmeticEdges)
{
    // Equal numbers subtract to a compacted zero.
    const CHugeDigit a = FromHex("123456789abcdef0123456789");
    const CHugeDigit d = a - a;
    EXPECT_EQ(d.m_nLength, 1);
    EXPECT_EQ(d[0], 0u);

    // Uncompacted operands: the result is compacted, the operands are left alone.
    CHugeDigit p(20, 5ul), q(7, 3ul);
    const CHugeDigit prod = p * q;
    EXPECT_EQ(prod.m_nLength, 1);
    EXPECT_EQ(prod[0], 15u);
    EXPECT_EQ(p.m_nLength, 20);
    EXPECT_EQ(q.m_nLength, 7);
    EXPECT_EQ((p - q).m_nLength, 1);
    EXPECT_TRUE((CHugeDigit(0ul) * a).Zero());

    // The difference below zero wraps at the wider operand's width.
    EXPECT_EQ(ToHex(CHugeDigit(2, 1ul) - CHugeDigit(2ul)), "ffffffffffffffff");

    // A carry into a new word.
    EXPECT_EQ(ToHex(FromHex("ffffffffffffffff") + CHugeDigit(1ul)), "10000000000000000");

    // DivMod: outputs may be the inputs; a small dividend is all remainder.
    CHugeDigit x = FromHex("fedcba98765432100123456789");
    CHugeDigit y = FromHex("1000000001");
    const CHugeDigit expectQ = x / y, expectR = x % y;
    DivMod(x, y, x, y);
    EXPECT_TRUE(x == expectQ);
    EXPECT_TRUE(y == expectR);
    CHugeDigit qq, rr;
    DivMod(qq, rr, CHugeDigit(5ul), FromHex("100000000"));
    EXPECT_TRUE(qq.Zero());
    EXPECT_EQ(rr[0], 5u);

    // Exponentiation corners: exponent 0, modulus 1, base above the modulus.
    EXPECT_EQ(ToHex(PowMod(CHugeDigit(5ul), CHugeDigit(0ul), CHugeDigit(7ul))), "1");
    EXPECT_EQ(ToHex(PowMod(CHugeDigit(5ul), CHugeDigit(3ul), CHugeDigit(1ul))), "0");
    EXPECT_EQ(ToHex(PowMod(CHugeDigit(0ul), CHugeDigit(3ul), FromHex("10000000000000001"))), "0");
    EXPECT_EQ(ToHex(PowMod(FromHex("123456789abcdef"), CHugeDigit(1ul), CHugeDigit(1000ul))), "37f");

    EXPECT_EQ(ToHex(Gcd(CHugeDigit(0ul), CHugeDigit(12ul))), "c");
    EXPECT_EQ(ToHex(Gcd(CHugeDigit(12ul), CHugeDigit(0ul))), "c");
    EXPECT_EQ(ToHex(InverseMod(CHugeDigit(3ul), CHugeDigit(7ul))), "5");
    EXPECT_EQ(ToHex(InverseMod(CHugeDigit(65537ul), FromHex("10000000000000000"))), "ffff0000ffff0001");
}

TEST(HugeDigit, PrimalityHelpers)
{
    EXPECT_EQ(CHugeDigit(3ul).IsProbablePrime(), 0);  // 3 divides itself
    EXPECT_EQ(CHugeDigit(35ul).IsProbablePrime(), 0);
    EXPECT_EQ(CHugeDigit(101ul).IsProbablePrime(), 1);
    EXPECT_EQ(CHugeDigit(341ul).IsProbablePrime(), 0);  // 11 * 31
    EXPECT_NE(CHugeDigit(341ul).PassedFermatTest(), 0);  // a base-2 pseudoprime
    EXPECT_NE(CHugeDigit(47ul).HasSmallPrimesFactor(), 0);
    EXPECT_EQ(CHugeDigit(53ul).HasSmallPrimesFactor(), 0);
    EXPECT_NE(CHugeDigit().HasSmallPrimesFactor(), 0);  // zero is divisible by anything
    // 2^127 - 1 is prime.
    EXPECT_EQ(FromHex("7fffffffffffffffffffffffffffffff").IsProbablePrime(), 1);
}

TEST(HugeDigit, RejectsZeroDivisorsAndModuli)
{
    const CHugeDigit a(12345ul), zero;
    CHugeDigit q, r;
    EXPECT_TRUE(RaisesInvalidArg([&] { DivMod(q, r, a, zero); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)(a / zero); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)(a % CHugeDigit(0ul)); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)MulMod(a, a, zero); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)PowMod(a, a, zero); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)InverseMod(a, zero); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)zero.PassedFermatTest(); }));
}

TEST(HugeDigit, RejectsLengthsBeyondCapacity)
{
    EXPECT_TRUE(RaisesInvalidArg([] { CHugeDigit x(514, 1ul); }));
    EXPECT_FALSE(RaisesInvalidArg([] { CHugeDigit x(513, 1ul); }));
    EXPECT_TRUE(RaisesInvalidArg([] { CHugeDigit x(1, 0x100000000ul); }));

    CHugeDigit x;
    EXPECT_TRUE(RaisesInvalidArg([&] { x.SetLength(514); }));
    EXPECT_TRUE(RaisesInvalidArg([&] { x.SetLength(-1); }));
    EXPECT_EQ(x.m_nLength, 64);
    EXPECT_TRUE(RaisesInvalidArg([&] { x[513] = 1; }));
    EXPECT_TRUE(RaisesInvalidArg([&] { x[-1] = 1; }));
    EXPECT_FALSE(RaisesInvalidArg([&] { x[512] = 1; }));
    // A bit outside the number's length would be silently lost.
    EXPECT_TRUE(RaisesInvalidArg([&] { x.Assign2Exp(64 * 32); }));

    // Results that do not fit: a 300-word square, a sum carrying out of 513 words.
    CHugeDigit big(300, 1ul);
    big[299] = 1;
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)(big * big); }));
    CHugeDigit full(513, 0ul);
    for (int i = 0; i < 513; ++i)
        full[i] = 0xFFFFFFFF;
    EXPECT_TRUE(RaisesInvalidArg([&] { (void)(full + CHugeDigit(1ul)); }));
    // ... while a modular product of the same operands is fine: only its remainder is kept.
    EXPECT_FALSE(RaisesInvalidArg([&] { (void)MulMod(big, big, CHugeDigit(1000003ul)); }));
    EXPECT_FALSE(RaisesInvalidArg([&] { (void)PowMod(full, CHugeDigit(3ul), full); }));
}

// ---- Cancellation ---------------------------------------------------------------------

class HugeDigitKill : public ::testing::Test {
protected:
    void TearDown() override
    {
        ThreadKillFlag = 0;
        ThreadToKill = nullptr;
    }
};

TEST_F(HugeDigitKill, FlagForTheCallingThreadEndsArithmetic)
{
    const BigOperands op;
    {
        sigilboxtest::KillRequest kill;
        EXPECT_TRUE(sigilboxtest::EndsWithKill([&] { (void)(op.base * op.exponent); }));
        EXPECT_TRUE(sigilboxtest::EndsWithKill([&] { (void)PowMod(op.base, op.exponent, op.modulus); }));
        // Comparisons and division poll as well.
        EXPECT_TRUE(sigilboxtest::EndsWithKill([&] { (void)(op.base < op.exponent); }));
        EXPECT_TRUE(sigilboxtest::EndsWithKill([&] { (void)(op.exponent % op.modulus); }));
    }
    EXPECT_EQ(ToHex(op.base * CHugeDigit(2ul)), ToHex(op.base + op.base));
    EXPECT_FALSE(PowMod(op.base, op.exponent, op.modulus).Zero());
}

TEST_F(HugeDigitKill, OtherThreadsAreNotAffected)
{
    const BigOperands op;
    const CHugeDigit expected = PowMod(op.base, op.exponent, op.modulus);
    CWinThread self;
    ThreadToKill = &self;
    ThreadKillFlag = 1;

    bool same = false;
    bool threw = false;
    std::thread worker([&] {
        try {
            same = PowMod(op.base, op.exponent, op.modulus) == expected;
        } catch (CException* e) {
            threw = true;
            e->Delete();
        }
    });
    worker.join();
    EXPECT_TRUE(same);
    EXPECT_FALSE(threw);
}

TEST_F(HugeDigitKill, RequestFromAnotherThreadStopsTheWorker)
{
    const BigOperands op;
    std::atomic<CWinThread*> workerThread{nullptr};
    std::atomic<int> completed{0};
    std::atomic<bool> killed{false};
    std::thread worker([&] {
        CWinThread me;
        workerThread = &me;
        try {
            // Far more work than the test waits for: only the kill request ends it.
            for (int i = 0; i < 100000; ++i) {
                (void)PowMod(op.base, op.exponent, op.modulus);
                ++completed;
            }
        } catch (CKillThreadException* e) {
            killed = true;
            e->Delete();
        }
        while (workerThread.load() != nullptr)
            std::this_thread::yield();
    });
    EXPECT_TRUE(qmtest::WaitUntil([&] { return workerThread.load() != nullptr && completed.load() >= 1; }));
    AfxRequestKillThread(workerThread.load());
    qmtest::WaitUntil([&] { return killed.load(); });
    AfxClearKillThreadRequest();
    EXPECT_EQ(ThreadKillFlag, 0);
    workerThread = nullptr;
    worker.join();
    EXPECT_TRUE(killed);
    EXPECT_LT(completed.load(), 100000);
}

TEST_F(HugeDigitKill, FlagWithoutThreadIsIgnored)
{
    ThreadToKill = nullptr;
    ThreadKillFlag = 1;
    EXPECT_NO_THROW(__checkKillThreadFlag());
    EXPECT_EQ(ToHex(CHugeDigit(6ul) * CHugeDigit(7ul)), "2a");
}

}  // namespace
