// Children kept packed against children decoded into objects all the way down: random trees
// of every constructed kind (segmented strings inside tagged values inside structures, long
// runs of tiny values), read in every order, and damaged copies of them, must look and fail
// the same either way.
#include "asn1_test_util.h"
#include "sigilbox/asn1/asn1_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace asn1test;

namespace {

using qmtest::Bytes;
using qmtest::der::Length;

// A random value in canonical form: what the encoder writes back octet for octet.
class TreeMaker {
public:
    explicit TreeMaker(unsigned seed) : m_random(seed) {}

    Bytes Value(int depth)
    {
        const int kind = depth >= 5 ? 0 : Pick(6);
        auto value = [&] { return Value(depth + 1); };
        auto leaf = [&] { return Primitive(); };
        switch (kind) {
        case 0: return Primitive();
        case 1: return Constructed(0x30, value, leaf);
        case 2: return Constructed(0x31, value, leaf);
        case 3: return Constructed(0xA0 | Pick(3), value, leaf);
        case 4: return Segmented(0x04, depth);
        default: return Segmented(0x16, depth);
        }
    }

private:
    int Pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

    Bytes Wrap(unsigned char identifier, const Bytes& body, bool indefinite)
    {
        Bytes out{identifier};
        if (indefinite) {
            out.push_back(0x80);
            out.insert(out.end(), body.begin(), body.end());
            out.insert(out.end(), {0, 0});
        } else {
            Bytes length = Length(body.size());
            out.insert(out.end(), length.begin(), length.end());
            out.insert(out.end(), body.begin(), body.end());
        }
        return out;
    }

    Bytes Primitive()
    {
        static const unsigned char tags[] = {0x02, 0x04, 0x05, 0x06, 0x13, 0x16, 0x80, 0x81};
        const unsigned char tag = tags[Pick(8)];
        Bytes body;
        const int n = tag == 0x05 ? 0 : 1 + Pick(tag == 0x04 ? 300 : 4);
        for (int i = 0; i < n; ++i)
            body.push_back(static_cast<unsigned char>(tag == 0x06 ? 0x2A : 0x41 + Pick(26)));
        return Wrap(tag, body, false);
    }

    // Mostly a few children; now and then a run of leaves long enough to need the packed
    // form's marks.
    template <class Child, class Leaf>
    Bytes Constructed(int identifier, Child child, Leaf leaf)
    {
        const bool run = Pick(6) == 0;
        const int n = run ? 100 + Pick(200) : Pick(5);
        Bytes body;
        for (int i = 0; i < n; ++i) {
            Bytes c = run ? leaf() : child();
            body.insert(body.end(), c.begin(), c.end());
        }
        return Wrap(static_cast<unsigned char>(identifier | 0x20), body, Pick(2) == 0);
    }

    // A string of its own tag in segments, some of them segmented in turn.
    Bytes Segmented(unsigned char tag, int depth)
    {
        auto segment = [&] {
            Bytes body;
            for (int i = Pick(3); i > 0; --i)
                body.push_back(static_cast<unsigned char>(0x61 + Pick(26)));
            return Wrap(tag, body, false);
        };
        return Constructed(tag, [&] { return depth < 5 && Pick(4) == 0 ? Segmented(tag, depth + 1) : segment(); }, segment);
    }

    std::mt19937 m_random;
};

// The outcome of decoding: the encoding it writes back, or the failure's message.
std::string Outcome(CASN1Type* (*decode)(CDEREncoding&), const Bytes& input, Owned& value)
{
    std::string message = DecodeError([&] {
        CDEREncoding e(input.data(), static_cast<unsigned long>(input.size()));
        value.reset(decode(e));
    });
    return message == "<no exception>" ? Encode(*value) : "! " + message;
}

// Both values alike, their children asked for in a shuffled order.
void ExpectAlike(const CASN1Type& packed, const CASN1Type& plain, std::mt19937& random)
{
    ASSERT_EQ(Encode(packed), Encode(plain));
    auto* p = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&packed);
    auto* q = dynamic_cast<const CASN1_CONSTRUCTED_TYPE*>(&plain);
    ASSERT_EQ(p == nullptr, q == nullptr);
    if (!p)
        return;
    ASSERT_EQ(ToHex(p->GetData(), p->GetDataSize()), ToHex(q->GetData(), q->GetDataSize()));
    ASSERT_EQ(p->GetComponentsCount(), q->GetComponentsCount());
    EXPECT_EQ(p->m_Components.AllCarryTag(p->m_Tag, 64), q->m_Components.AllCarryTag(q->m_Tag, 64));
    std::vector<int> order(static_cast<size_t>(p->GetComponentsCount()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::shuffle(order.begin(), order.end(), random);
    for (int i : order) {
        CByteArray encoded;
        p->m_Components.EncodeChild(i, encoded);
        CASN1ScratchValue scratch;
        EXPECT_EQ(Encode(*p->m_Components.View(i, scratch)), ToHex(encoded));
        EXPECT_EQ(ToHex(encoded), Encode(q->GetComponent(i)));
        ExpectAlike(p->GetComponent(i), q->GetComponent(i), random);
    }
    // Everything asked for, the value still writes what it read.
    EXPECT_EQ(Encode(packed), Encode(plain));
}

}  // namespace

TEST(PackedChildren, RandomTreesLookTheSameAsPlainObjects)
{
    std::mt19937 random(7);
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        const Bytes input = TreeMaker(seed).Value(0);
        Owned packed, plain;
        ASSERT_EQ(Outcome(AfxBuildFromEncoding, input, packed), ToHex(input.data(), static_cast<int>(input.size())));
        ASSERT_EQ(Outcome(AfxBuildFromEncodingPlain, input, plain), Encode(*packed));
        Owned copy(packed->Clone());
        EXPECT_EQ(Encode(*copy), Encode(*plain));
        ExpectAlike(*packed, *plain, random);
        ExpectAlike(*copy, *plain, random);
    }
}

TEST(PackedChildren, DamagedTreesFailWithTheSameMessage)
{
    std::mt19937 random(11);
    for (unsigned seed = 100; seed < 130; ++seed) {
        const Bytes input = TreeMaker(seed).Value(0);
        for (int damage = 0; damage < 40; ++damage) {
            Bytes bad = input;
            const size_t at = random() % bad.size();
            if (damage % 4 == 0)
                bad.resize(at + 1);
            else
                bad[at] = static_cast<unsigned char>(random());
            Owned packed, plain;
            std::string expected = Outcome(AfxBuildFromEncodingPlain, bad, plain);
            ASSERT_EQ(Outcome(AfxBuildFromEncoding, bad, packed), expected) << seed << " " << damage;
            if (packed)
                ExpectAlike(*packed, *plain, random);
        }
    }
}
