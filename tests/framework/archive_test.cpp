// Archives must match the framework's stored format byte for byte: these bytes are put
// together by hand from the format description, independently of the writer.
#include "framework/afx.h"

#include "tests/support/archive.h"
#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using qmtest::Bytes;

// A small serialisable class; the name has four letters like the format's own example.
class CPen : public CObject {
    DECLARE_SERIAL(CPen)
public:
    CPen() = default;
    explicit CPen(WORD width) : m_width(width) {}
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
            ar << m_width << m_pOther;
        else
            ar >> m_width >> m_pOther;
    }
    WORD m_width = 0;
    CObject* m_pOther = nullptr;
};
IMPLEMENT_SERIAL(CPen, CObject, 1)

// Same shape, but declared versionable at schema 3.
class CInk : public CObject {
    DECLARE_SERIAL(CInk)
public:
    void Serialize(CArchive& ar) override
    {
        if (ar.IsLoading())
            m_loadedSchema = ar.GetObjectSchema();
        if (ar.IsStoring())
            ar << m_value;
        else
            ar >> m_value;
    }
    BYTE m_value = 0;
    UINT m_loadedSchema = 0;
};
IMPLEMENT_SERIAL(CInk, CObject, VERSIONABLE_SCHEMA | 3)

class CNotAPen : public CObject {
    DECLARE_SERIAL(CNotAPen)
};
IMPLEMENT_SERIAL(CNotAPen, CObject, 1)

namespace {

using qmtest::Concat;
using qmtest::Load;
using qmtest::Store;

int ArchiveCause(const Bytes& bytes, void (*read)(CArchive&))
{
    return qmtest::CauseOf<CArchiveException>([&] { Load(bytes, read); });
}

TEST(ArchivePrimitives, LittleEndianWidths)
{
    Bytes got = Store([](CArchive& ar) {
        ar << static_cast<BYTE>(0x12) << static_cast<WORD>(0x3456) << static_cast<DWORD>(0x789ABCDE)
           << static_cast<LONG>(-2) << 7 << 1.5f << 2.0;
    });
    Bytes want = {0x12, 0x56, 0x34, 0xDE, 0xBC, 0x9A, 0x78, 0xFE, 0xFF, 0xFF, 0xFF, 0x07, 0x00, 0x00, 0x00,
                  0x00, 0x00, 0xC0, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0x40};
    EXPECT_EQ(got, want);

    Load(want, [](CArchive& ar) {
        BYTE b; WORD w; DWORD d; LONG l; int i; float f; double g;
        ar >> b >> w >> d >> l >> i >> f >> g;
        EXPECT_EQ(b, 0x12);
        EXPECT_EQ(w, 0x3456);
        EXPECT_EQ(d, 0x789ABCDEu);
        EXPECT_EQ(l, -2);
        EXPECT_EQ(i, 7);
        EXPECT_EQ(f, 1.5f);
        EXPECT_EQ(g, 2.0);
    });
}

TEST(ArchivePrimitives, ReadingPastTheEndIsEndOfFile)
{
    EXPECT_EQ(ArchiveCause({0x01}, [](CArchive& ar) { WORD w; ar >> w; }), CArchiveException::endOfFile);
    EXPECT_EQ(ArchiveCause({}, [](CArchive& ar) { BYTE b; ar >> b; }), CArchiveException::endOfFile);
    // A raw Read reports a short count instead.
    Load({0x01, 0x02}, [](CArchive& ar) {
        BYTE buf[4];
        EXPECT_EQ(ar.Read(buf, 4), 2u);
    });
}

TEST(ArchiveStrings, EveryLengthForm)
{
    struct Case {
        size_t length;
        Bytes prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {4, {0x04}},
        {0xFE, {0xFE}},
        {0xFF, {0xFF, 0xFF, 0x00}},
        {0xFFFD, {0xFF, 0xFD, 0xFF}},
        {0xFFFE, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {0x10000, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        std::string text(c.length, 'x');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>('a' + i % 26);
        Bytes want = c.prefix;
        want.insert(want.end(), text.begin(), text.end());
        EXPECT_EQ(Store([&](CArchive& ar) { ar << CString(text); }), want) << c.length;
        Load(want, [&](CArchive& ar) {
            CString s;
            ar >> s;
            EXPECT_EQ(s.str(), text) << c.length;
        });
    }
    EXPECT_EQ(Store([](CArchive& ar) { ar << CString("2010"); }), (Bytes{0x04, 0x32, 0x30, 0x31, 0x30}));
}

TEST(ArchiveStrings, WideStringsReadAsSingleByte)
{
    // Marker FF FEFF, then a short length 3, then UTF-16LE "A", "B", U+00E9.
    Load({0xFF, 0xFE, 0xFF, 0x03, 0x41, 0x00, 0x42, 0x00, 0xE9, 0x00}, [](CArchive& ar) {
        CString s;
        ar >> s;
        EXPECT_EQ(s, "AB?");
    });
    // Wide with the WORD length form.
    Bytes wide = {0xFF, 0xFE, 0xFF, 0xFF, 0x00, 0x01};
    for (int i = 0; i < 0x100; ++i) {
        wide.push_back('z');
        wide.push_back(0);
    }
    Load(wide, [](CArchive& ar) {
        CString s;
        ar >> s;
        EXPECT_EQ(s.GetLength(), 0x100);
        EXPECT_EQ(s.GetAt(0xFF), 'z');
    });
}

TEST(ArchiveStrings, ClaimedLengthBeyondTheDataIsRefusedBeforeAllocating)
{
    // 4 GB claimed in a few bytes.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}, [](CArchive& ar) {
                  CString s;
                  ar >> s;
              }),
              CArchiveException::endOfFile);
    EXPECT_EQ(ArchiveCause({0x05, 'a', 'b'}, [](CArchive& ar) {
                  CString s;
                  ar >> s;
              }),
              CArchiveException::endOfFile);
}

TEST(ArchiveCounts, ShortAndLongForms)
{
    EXPECT_EQ(Store([](CArchive& ar) { ar.WriteCount(0); }), (Bytes{0x00, 0x00}));
    EXPECT_EQ(Store([](CArchive& ar) { ar.WriteCount(0xFFFE); }), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Store([](CArchive& ar) { ar.WriteCount(0xFFFF); }), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(Store([](CArchive& ar) { ar.WriteCount(0x12345); }), (Bytes{0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00}));
    Load({0xFF, 0xFF, 0x45, 0x23, 0x01, 0x00, 0x07, 0x00}, [](CArchive& ar) {
        EXPECT_EQ(ar.ReadCount(), 0x12345u);
        EXPECT_EQ(ar.ReadCount(), 7u);
    });
}

TEST(ArchiveCollections, ByteWordAndDWordArrays)
{
    CByteArray bytes;
    bytes.Add(1);
    bytes.Add(0xFF);
    CWordArray words;
    words.Add(0x1234);
    CDWordArray dwords;
    dwords.Add(0xA1B2C3D4);
    Bytes got = Store([&](CArchive& ar) {
        bytes.Serialize(ar);
        words.Serialize(ar);
        dwords.Serialize(ar);
    });
    Bytes want = {0x02, 0x00, 0x01, 0xFF, 0x01, 0x00, 0x34, 0x12, 0x01, 0x00, 0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(got, want);
    Load(want, [](CArchive& ar) {
        CByteArray b;
        CWordArray w;
        CDWordArray d;
        b.Serialize(ar);
        w.Serialize(ar);
        d.Serialize(ar);
        ASSERT_EQ(b.GetSize(), 2);
        EXPECT_EQ(b[1], 0xFF);
        EXPECT_EQ(w[0], 0x1234);
        EXPECT_EQ(d[0], 0xA1B2C3D4u);
    });
    // A count larger than the data left.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40, 0x01}, [](CArchive& ar) {
                  CByteArray b;
                  b.Serialize(ar);
              }),
              CArchiveException::endOfFile);
}

TEST(ArchiveObjects, NewClassThenClassReferenceThenBackReference)
{
    CPen first(0x0102), second(0x0304);
    first.m_pOther = nullptr;
    second.m_pOther = &first;   // a back-reference to the first object
    Bytes got = Store([&](CArchive& ar) {
        ar << static_cast<CObject*>(&first);
        ar << static_cast<CObject*>(&second);
        ar << static_cast<CObject*>(nullptr);
    });
    // first: new class (index 1) + record, object index 2, data (width, null other).
    // second: class reference 0x8001, object index 3, data (width, reference to object 2).
    // then the null pointer.
    Bytes want = {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x02, 0x01, 0x00, 0x00,
                  0x01, 0x80, 0x04, 0x03, 0x02, 0x00,
                  0x00, 0x00};
    EXPECT_EQ(got, want);

    Load(want, [](CArchive& ar) {
        CObject *a = nullptr, *b = nullptr, *c = reinterpret_cast<CObject*>(1);
        ar >> a >> b >> c;
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(c, nullptr);
        ASSERT_TRUE(a->IsKindOf(RUNTIME_CLASS(CPen)));
        auto* pa = static_cast<CPen*>(a);
        auto* pb = static_cast<CPen*>(b);
        EXPECT_EQ(pa->m_width, 0x0102);
        EXPECT_EQ(pa->m_pOther, nullptr);
        EXPECT_EQ(pb->m_width, 0x0304);
        EXPECT_EQ(pb->m_pOther, a);
        delete a;
        delete b;
    });
}

TEST(ArchiveObjects, SelfReferenceResolvesToTheObjectBeingLoaded)
{
    CPen pen(9);
    pen.m_pOther = &pen;
    Bytes got = Store([&](CArchive& ar) { ar << static_cast<CObject*>(&pen); });
    EXPECT_EQ(got, (Bytes{0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x09, 0x00, 0x02, 0x00}));
    Load(got, [](CArchive& ar) {
        CPen* p = nullptr;
        ar >> p;
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->m_pOther, p);
        delete p;
    });
}

TEST(ArchiveObjects, BigIndexesUseTheEscape)
{
    // Map 0x7FFE objects first so the class and object indexes pass the 16-bit range.
    std::vector<CPen> filler(0x7FFE);
    CPen pen(1);
    Bytes got = Store([&](CArchive& ar) {
        for (auto& f : filler)
            ar.MapObject(&f);
        ar << static_cast<CObject*>(&pen);   // class index 0x7FFF, object 0x8000
        ar << static_cast<CObject*>(&pen);   // back-reference 0x8000
    });
    Bytes want = {0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x01, 0x00, 0x00, 0x00,
                  0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00};
    EXPECT_EQ(got, want);

    // Reading: a second object of the class referenced through the big class tag.
    Bytes big = Concat({{0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x05, 0x00, 0x00, 0x00},
                        {0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80, 0x06, 0x00, 0x00, 0x00},
                        {0xFF, 0x7F, 0x03, 0x00, 0x00, 0x00}});
    Load(big, [](CArchive& ar) {
        CPen *a = nullptr, *b = nullptr, *c = nullptr;
        ar >> a >> b >> c;
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->m_width, 6);
        EXPECT_EQ(c, b);
        delete a;
        delete b;
    });
}

TEST(ArchiveObjects, BadTagsAndClasses)
{
    auto readPen = [](CArchive& ar) {
        CPen* p = nullptr;
        ar >> p;
        delete p;
    };
    // A back-reference to an object never loaded.
    EXPECT_EQ(ArchiveCause({0x05, 0x00}, readPen), CArchiveException::badIndex);
    // 0x8000: class index 0.
    EXPECT_EQ(ArchiveCause({0x00, 0x80}, readPen), CArchiveException::badIndex);
    // A class reference where only an object exists at that index.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x01, 0x00, 0x00, 0x00, 0x02, 0x80},
                           [](CArchive& ar) {
                               CPen *a = nullptr, *b = nullptr;
                               try {
                                   ar >> a >> b;
                               } catch (...) {
                                   delete a;
                                   throw;
                               }
                           }),
              CArchiveException::badIndex);
    // An object index used as a class reference through the big form.
    EXPECT_EQ(ArchiveCause({0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}, readPen), CArchiveException::badIndex);
    // Unknown class name.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'X', 'y', 'z'}, readPen), CArchiveException::badClass);
    // A known class that is not what was asked for.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x01, 0x00, 0x08, 0x00, 'C', 'N', 'o', 't', 'A', 'P', 'e', 'n'}, readPen),
              CArchiveException::badClass);
    // A known class's name followed by a zero and more: no class has that name.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x01, 0x00, 0x06, 0x00, 'C', 'P', 'e', 'n', 0x00, 'x'}, readPen),
              CArchiveException::badClass);
    // A class name of 64 bytes or more.
    Bytes longName = {0xFF, 0xFF, 0x01, 0x00, 0x40, 0x00};
    longName.insert(longName.end(), 64, 'A');
    EXPECT_EQ(ArchiveCause(longName, readPen), CArchiveException::badClass);
    // Wrong schema for a class that is not versionable.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x02, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x01, 0x00, 0x00, 0x00}, readPen),
              CArchiveException::badSchema);
    // Truncated class record.
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P'}, readPen), CArchiveException::endOfFile);
}

TEST(ArchiveObjects, VersionableSchemaIsRememberedPerClass)
{
    // Schema 0 stored for a class now at 3: kept, and reported again for the second object.
    Bytes stored = {0xFF, 0xFF, 0x00, 0x00, 0x04, 0x00, 'C', 'I', 'n', 'k', 0x11, 0x01, 0x80, 0x22};
    Load(stored, [](CArchive& ar) {
        CInk *a = nullptr, *b = nullptr;
        ar >> a >> b;
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a->m_loadedSchema, 0u);
        EXPECT_EQ(b->m_loadedSchema, 0u);
        EXPECT_EQ(b->m_value, 0x22);
        delete a;
        delete b;
    });
    // Written with the flag stripped from the stored WORD.
    CInk ink;
    ink.m_value = 7;
    EXPECT_EQ(Store([&](CArchive& ar) { ar << static_cast<CObject*>(&ink); }),
              (Bytes{0xFF, 0xFF, 0x03, 0x00, 0x04, 0x00, 'C', 'I', 'n', 'k', 0x07}));
}

TEST(ArchiveObjects, ObArrayStoresReferences)
{
    CPen a(1), b(2);
    CObArray arr;
    arr.Add(&a);
    arr.Add(nullptr);
    arr.Add(&a);
    arr.Add(&b);
    Bytes got = Store([&](CArchive& ar) { arr.Serialize(ar); });
    Bytes want = {0x04, 0x00,
                  0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x01, 0x00, 0x00, 0x00,
                  0x00, 0x00,
                  0x02, 0x00,
                  0x01, 0x80, 0x02, 0x00, 0x00, 0x00};
    EXPECT_EQ(got, want);
    Load(want, [](CArchive& ar) {
        CObArray loaded;
        loaded.Serialize(ar);
        ASSERT_EQ(loaded.GetSize(), 4);
        EXPECT_EQ(loaded[1], nullptr);
        EXPECT_EQ(loaded[0], loaded[2]);
        delete loaded[0];
        delete loaded[3];
    });
}

TEST(ArchiveObjects, FailedObjectLoadFreesTheObject)
{
    // Data ends inside the object's own Serialize: the archive raises, nothing leaks (ASan).
    EXPECT_EQ(ArchiveCause({0xFF, 0xFF, 0x01, 0x00, 0x04, 0x00, 'C', 'P', 'e', 'n', 0x01},
                           [](CArchive& ar) {
                               CPen* p = nullptr;
                               ar >> p;
                               delete p;
                           }),
              CArchiveException::endOfFile);
}

TEST(ArchiveModes, WrongDirectionRaises)
{
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    BYTE b = 0;
    EXPECT_EQ(qmtest::CauseOf<CArchiveException>([&] { ar >> b; }), CArchiveException::writeOnly);
}

}  // namespace
