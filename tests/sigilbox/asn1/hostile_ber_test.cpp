// Encodings made to hurt the decoder: constructions nested ten thousand deep in every form
// that nests, and small inputs that claim lengths of a gigabyte and more. Each must end in
// the one decoding exception, without deep recursion and without allocating what the
// lengths claim.
#include "asn1_test_util.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/pki/pkcs7.h"
#include "tests/support/memory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace asn1test;

namespace {

using qmtest::Bytes;

using qmtest::PeakMiB;
using qmtest::ResetPeak;
using qmtest::ResidentMiB;
using qmtest::der::Length;

// Memory the decoding of one small input may take on top of what the process holds.
constexpr long kBudgetMiB = 64;

// `levels` identifiers `tag` nested around `core`, definite or indefinite (with their
// end-of-contents octets).
Bytes Nest(unsigned char tag, int levels, bool indefinite, Bytes core)
{
    if (indefinite) {
        Bytes v;
        v.reserve(static_cast<size_t>(levels) * 4 + core.size());
        v.insert(v.end(), static_cast<size_t>(levels) * 2, 0);
        for (int i = 0; i < levels; ++i) {
            v[static_cast<size_t>(i) * 2] = tag;
            v[static_cast<size_t>(i) * 2 + 1] = 0x80;
        }
        v.insert(v.end(), core.begin(), core.end());
        v.insert(v.end(), static_cast<size_t>(levels) * 2, 0);
        return v;
    }
    // Built inside out; the header of each level is prepended once at the end.
    std::vector<Bytes> headers;
    size_t inner = core.size();
    for (int i = 0; i < levels; ++i) {
        Bytes h{tag};
        Bytes len = Length(inner);
        h.insert(h.end(), len.begin(), len.end());
        inner += h.size();
        headers.push_back(h);
    }
    Bytes v;
    v.reserve(inner);
    for (auto it = headers.rbegin(); it != headers.rend(); ++it)
        v.insert(v.end(), it->begin(), it->end());
    v.insert(v.end(), core.begin(), core.end());
    return v;
}

std::string DecodeBytes(const Bytes& b)
{
    return DecodeError([&] {
        CDEREncoding e(b.data(), static_cast<unsigned long>(b.size()));
        delete AfxBuildFromEncoding(e);
    });
}

std::string ContentInfoError(const Bytes& b)
{
    return DecodeError([&] {
        CDEREncoding e(b.data(), static_cast<unsigned long>(b.size()));
        CASN1_ContentInfo info(e);
    });
}

const Bytes kNull = {0x05, 0x00};
const Bytes kDataOid = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x01};

}  // namespace

TEST(HostileBer, TenThousandNestedConstructionsOfEveryKindFailOnce)
{
    struct Case {
        const char* what;
        unsigned char tag;
        Bytes core;
    } cases[] = {
        {"SEQUENCE", 0x30, kNull},
        {"SET", 0x31, kNull},
        {"context tag", 0xA0, kNull},
        {"application tag", 0x61, kNull},
        {"segmented OCTET STRING", 0x24, {0x04, 0x01, 0x41}},
        {"segmented BIT STRING", 0x23, {0x03, 0x02, 0x00, 0x41}},
        {"segmented PrintableString", 0x33, {0x13, 0x01, 0x41}},
    };
    for (const Case& c : cases) {
        for (bool indefinite : {false, true}) {
            Bytes deep = Nest(c.tag, 10000, indefinite, c.core);
            SCOPED_TRACE(std::string(c.what) + (indefinite ? " indefinite" : " definite"));
            EXPECT_EQ(DecodeBytes(deep), "Encoding is nested too deeply");
        }
    }
}

TEST(HostileBer, DeepNestingInsideAContentInfoFailsOnce)
{
    // data ContentInfo whose [0] content is a deep nest of explicit tags and segments.
    for (bool indefinite : {false, true}) {
        Bytes inner = Nest(0xA0, 10000, indefinite, Nest(0x24, 10, indefinite, {0x04, 0x01, 0x41}));
        Bytes body = kDataOid;
        body.insert(body.end(), inner.begin(), inner.end());
        Bytes info{0x30};
        Bytes len = Length(body.size());
        info.insert(info.end(), len.begin(), len.end());
        info.insert(info.end(), body.begin(), body.end());
        EXPECT_NE(ContentInfoError(info), "<no exception>") << indefinite;
    }
}

TEST(HostileBer, ClaimedLengthsBeyondTheInputNeverAllocateThem)
{
    // 1 KB inputs whose headers claim a gigabyte, four gigabytes, or more octets of length
    // than any machine has.
    const Bytes heads[] = {
        {0x04, 0x84, 0x40, 0x00, 0x00, 0x00},                     // OCTET STRING of 1 GiB
        {0x02, 0x84, 0x40, 0x00, 0x00, 0x00},                     // INTEGER of 1 GiB
        {0x03, 0x84, 0x40, 0x00, 0x00, 0x00, 0x00},               // BIT STRING of 1 GiB
        {0x13, 0x84, 0x40, 0x00, 0x00, 0x00},                     // PrintableString
        {0x1E, 0x84, 0x40, 0x00, 0x00, 0x00},                     // BMPString
        {0x06, 0x84, 0x40, 0x00, 0x00, 0x00},                     // OBJECT IDENTIFIER
        {0x30, 0x84, 0x40, 0x00, 0x00, 0x00},                     // SEQUENCE
        {0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF},                     // 4 GiB - 1
        {0x30, 0x88, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // 2^56
        {0x30, 0xFE, 0x01},                                       // 126 length octets
        {0x30, 0x80, 0x04, 0x84, 0x40, 0x00, 0x00, 0x00},         // inside an indefinite one
        {0x24, 0x80, 0x04, 0x84, 0x7F, 0xFF, 0xFF, 0xFF},         // a segment of 2 GiB
        {0xA0, 0x84, 0x40, 0x00, 0x00, 0x00, 0x30, 0x80},         // explicit tag of 1 GiB
    };
    for (const Bytes& head : heads) {
        Bytes input = head;
        input.resize(1024, 0x41);
        ResetPeak();
        long before = ResidentMiB();
        EXPECT_NE(DecodeBytes(input), "<no exception>") << ToHex(head.data(), static_cast<int>(head.size()));
        long peak = PeakMiB();
        if (before >= 0 && peak >= 0) {
            EXPECT_LT(peak - before, kBudgetMiB) << ToHex(head.data(), static_cast<int>(head.size()));
        }
    }
}

TEST(HostileBer, ContentInfosClaimingAGigabyteFailWithoutAllocatingIt)
{
    // enveloped-data ContentInfo { oid, [0] { SEQUENCE of 1 GiB } } cut at 1 KB, and a data
    // one whose OCTET STRING claims 1 GiB.
    const Bytes enveloped = {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x07, 0x03};
    for (const Bytes* oid : {&enveloped, &kDataOid}) {
        Bytes input = {0x30, 0x84, 0x40, 0x00, 0x00, 0x00};
        input.insert(input.end(), oid->begin(), oid->end());
        Bytes rest = {0xA0, 0x84, 0x3F, 0xFF, 0xFF, 0xF0, static_cast<unsigned char>(*oid == kDataOid ? 0x04 : 0x30),
                      0x84, 0x3F, 0xFF, 0xFF, 0xE0};
        input.insert(input.end(), rest.begin(), rest.end());
        input.resize(1024, 0);
        ResetPeak();
        long before = ResidentMiB();
        EXPECT_NE(ContentInfoError(input), "<no exception>");
        long peak = PeakMiB();
        if (before >= 0 && peak >= 0) {
            EXPECT_LT(peak - before, kBudgetMiB);
        }
    }
}

TEST(HostileBer, MillionsOfTinyValuesCostAboutTheirEncoding)
{
    // 4 MB of values of three octets or less: a string in segments of one octet (those of
    // the second one segmented in turn), a tagged value holding such segments, and lists of
    // empty entries. Decoded, each costs about what its encoding costs (one object per value
    // cost forty times that), and writes back what it read.
    constexpr size_t kCount = 1 << 20;
    auto repeat = [](const Bytes& unit, size_t count) {
        Bytes out;
        out.reserve(unit.size() * count);
        for (size_t i = 0; i < count; ++i)
            out.insert(out.end(), unit.begin(), unit.end());
        return out;
    };
    const Bytes cases[] = {
        Nest(0x24, 1, true, repeat({0x04, 0x01, 0x5A}, kCount)),
        Nest(0x24, 1, false, repeat({0x24, 0x80, 0x04, 0x01, 0x5A, 0x00, 0x00}, kCount / 2)),
        Nest(0xA0, 1, true, repeat({0x04, 0x01, 0x5A}, kCount)),
        Nest(0x31, 1, false, repeat({0x30, 0x00}, kCount)),
        Nest(0x30, 1, true, repeat({0x05, 0x00}, kCount)),
    };
    for (const Bytes& input : cases) {
        SCOPED_TRACE(ToHex(input.data(), 8));
        CDEREncoding e(input.data(), static_cast<unsigned long>(input.size()));
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizer's allocator holds freed blocks back: only the values are checked.
        Owned value(AfxBuildFromEncoding(e));
#else
#ifdef __GLIBC__
        malloc_trim(0);   // what the case before freed goes back, so this one's growth shows
#endif
        ResetPeak();
        long before = ResidentMiB();
        Owned value(AfxBuildFromEncoding(e));
        long peak = PeakMiB();
        if (before >= 0 && peak >= 0) {
            EXPECT_LT(peak - before, static_cast<long>(2 * input.size() >> 20) + 8);
        }
#endif
        EXPECT_EQ(EncodedBytes(*value), input);
    }
}
