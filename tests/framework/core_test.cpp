// Strings, collections and files of the framework core.
#include "framework/afx.h"

#include "tests/support/scratch.h"
#include "tests/support/throws.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(CStringTest, SubstringsClampLikeTheFramework)
{
    CString s("Hello, World");
    EXPECT_EQ(s.Left(5), "Hello");
    EXPECT_EQ(s.Right(5), "World");
    EXPECT_EQ(s.Mid(7), "World");
    EXPECT_EQ(s.Mid(7, 100), "World");
    EXPECT_EQ(s.Mid(100), "");
    EXPECT_EQ(s.Left(-3), "");
    EXPECT_EQ(s.Right(100), s);
    EXPECT_EQ(s.Find(','), 5);
    EXPECT_EQ(s.Find("World"), 7);
    EXPECT_EQ(s.Find('o', 5), 8);
    EXPECT_EQ(s.Find('o', 100), -1);
    EXPECT_EQ(s.ReverseFind('o'), 8);
    EXPECT_EQ(s.FindOneOf(" ,"), 5);
    EXPECT_EQ(s.SpanExcluding(","), "Hello");
    EXPECT_EQ(CString("aab!").SpanIncluding("ab"), "aab");
}

TEST(CStringTest, EditingAndComparing)
{
    CString s("  mixed Case\t\r\n");
    s.TrimLeft();
    s.TrimRight();
    EXPECT_EQ(s, "mixed Case");
    EXPECT_EQ(s.CompareNoCase("MIXED case"), 0);
    EXPECT_LT(s.Compare("n"), 0);
    s.MakeUpper();
    EXPECT_EQ(s, "MIXED CASE");
    EXPECT_EQ(s.Replace("CASE", "letters"), 1);
    EXPECT_EQ(s, "MIXED letters");
    EXPECT_EQ(s.Remove('E'), 1);
    s.Insert(0, '[');
    s.Insert(100, "]");
    EXPECT_EQ(s, "[MIXD letters]");
    s.Delete(1, 5);
    EXPECT_EQ(s, "[letters]");
    CString f;
    f.Format("Att%d.%s", 3, "att");
    EXPECT_EQ(f, "Att3.att");
    CString big;
    big.Format("%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(big.GetLength(), 5000);
}

TEST(CStringTest, BufferAccessAndBadIndexes)
{
    CString s;
    char* p = s.GetBuffer(16);
    std::snprintf(p, 16, "abc");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_THROWS_PTR(s.GetAt(3), CException);
    EXPECT_THROWS_PTR(s.SetAt(-1, 'x'), CException);
    s.Wipe();
    EXPECT_TRUE(s.IsEmpty());
}

TEST(ByteArrayTest, GrowInsertRemoveAppendCopy)
{
    CByteArray a;
    for (int i = 0; i < 1000; ++i)
        a.Add(static_cast<BYTE>(i));
    EXPECT_EQ(a.GetSize(), 1000);
    EXPECT_EQ(a[999], static_cast<BYTE>(999));
    a.InsertAt(1, 0xEE, 2);
    EXPECT_EQ(a[1], 0xEE);
    EXPECT_EQ(a[3], 1);
    a.RemoveAt(1, 2);
    EXPECT_EQ(a[1], 1);
    // Appending an array to itself doubles it.
    a.SetSize(3);
    a.Append(a);
    ASSERT_EQ(a.GetSize(), 6);
    EXPECT_EQ(a[3], 0);
    EXPECT_EQ(a[5], 2);
    CByteArray b(a);
    EXPECT_EQ(b.GetSize(), 6);
    a.SetAtGrow(10, 7);
    EXPECT_EQ(a.GetSize(), 11);
    EXPECT_EQ(a[8], 0);   // new elements are zero
    EXPECT_THROWS_PTR(a.GetAt(11), CException);
    EXPECT_THROWS_PTR(a.RemoveAt(10, 2), CException);
    EXPECT_THROWS_PTR(a.SetSize(-1), CException);
}

}  // namespace

// Element helpers of CArray are called where the framework called them.
struct Tracked {
    int value = 0;
};
static int g_constructed = 0;
static int g_destructed = 0;
static int g_serialized = 0;

void ConstructElements(Tracked* p, int n)
{
    for (int i = 0; i < n; ++i)
        p[i].value = 42;
    g_constructed += n;
}

void DestructElements(Tracked*, int n) { g_destructed += n; }

void SerializeElements(CArchive& ar, Tracked* p, int n)
{
    g_serialized += n;
    for (int i = 0; i < n; ++i) {
        if (ar.IsStoring())
            ar << p[i].value;
        else
            ar >> p[i].value;
    }
}

namespace {

TEST(CArrayTest, ElementHooksRunOnGrowShrinkRemoveDestroySerialize)
{
    g_constructed = g_destructed = g_serialized = 0;
    CMemFile file;
    {
        CArray<Tracked, const Tracked&> arr;
        arr.SetSize(3);
        EXPECT_EQ(g_constructed, 3);
        EXPECT_EQ(arr[2].value, 42);
        arr.SetSize(1);
        EXPECT_EQ(g_destructed, 2);
        arr.Add(Tracked{7});
        EXPECT_EQ(g_constructed, 4);
        arr.RemoveAt(0);
        EXPECT_EQ(g_destructed, 3);
        EXPECT_EQ(arr[0].value, 7);
        CArchive ar(&file, CArchive::store);
        arr.Serialize(ar);
        ar.Close();
        EXPECT_EQ(g_serialized, 1);
    }
    EXPECT_EQ(g_destructed, 4);   // the last element, when the array died
    file.SeekToBegin();
    CArchive in(&file, CArchive::load);
    CArray<Tracked, const Tracked&> loaded;
    loaded.Serialize(in);
    ASSERT_EQ(loaded.GetSize(), 1);
    EXPECT_EQ(loaded[0].value, 7);
}

TEST(CArrayTest, InsertKeepsOrder)
{
    CArray<int, int> arr;
    for (int i = 0; i < 5; ++i)
        arr.Add(i);
    arr.InsertAt(2, 99, 2);
    int want[] = {0, 1, 99, 99, 2, 3, 4};
    ASSERT_EQ(arr.GetSize(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(arr[i], want[i]);
}

TEST(CollectionsTest, StringArrayAndMap)
{
    CStringArray names;
    names.Add("one");
    names.SetAtGrow(2, "three");
    EXPECT_EQ(names.GetSize(), 3);
    EXPECT_EQ(names[1], "");
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        names.Serialize(ar);
    }
    file.SeekToBegin();
    CArchive in(&file, CArchive::load);
    CStringArray back;
    back.Serialize(in);
    EXPECT_EQ(back[2], "three");

    // A string with a zero character inside stays whole.
    CString binary("a\0b", 3);
    names.Add(binary);
    EXPECT_EQ(names[3].GetLength(), 3);

    CMapStringToPtr map;
    int a = 1, b = 2;
    map.SetAt("a", &a);
    map["b"] = &b;
    void* v = nullptr;
    EXPECT_TRUE(map.Lookup("b", v));
    EXPECT_EQ(v, &b);
    int seen = 0;
    for (POSITION pos = map.GetStartPosition(); pos;) {
        CString key;
        map.GetNextAssoc(pos, key, v);
        ++seen;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(map.RemoveKey("a"));
    EXPECT_FALSE(map.Lookup("a", v));
}

TEST(MemFileTest, GrowsInStepsAndAttaches)
{
    CMemFile f(16);
    f.Write("0123456789", 10);
    f.Seek(20, CFile::begin);
    f.Write("x", 1);
    EXPECT_EQ(f.GetLength(), 21);
    char buf[32] = {};
    f.SeekToBegin();
    EXPECT_EQ(f.Read(buf, 32), 21u);
    EXPECT_EQ(buf[15], 0);   // the gap reads as zeros
    EXPECT_THROWS_PTR(f.Seek(-1, CFile::begin), CException);

    BYTE fixed[4] = {1, 2, 3, 4};
    CMemFile attached(fixed, 4);
    EXPECT_EQ(attached.GetLength(), 4);
    EXPECT_THROWS_PTR(attached.Write("abcde", 5), CException);   // fixed size cannot grow
    CMemFile growable(fixed, 4, 8);
    EXPECT_EQ(growable.GetLength(), 0);
}

class FileTest : public ::testing::Test {
protected:
    qmtest::ScratchFolder scratch;
    const std::string dir = scratch.Root();
};

TEST_F(FileTest, OpenReadWriteSeekStatus)
{
    std::string path = dir + "/a.bin";
    CFileException err;
    CFile f;
    EXPECT_FALSE(f.Open(path.c_str(), CFile::modeRead, &err));
    EXPECT_EQ(err.m_cause, CFileException::fileNotFound);
    ASSERT_TRUE(f.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite));
    f.Write("hello", 5);
    EXPECT_EQ(f.GetLength(), 5);
    f.SeekToBegin();
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(f.GetFileName(), "a.bin");
    f.Close();

    CFileStatus st;
    ASSERT_TRUE(CFile::GetStatus(path.c_str(), st));
    EXPECT_EQ(st.m_size, 5);
    EXPECT_FALSE(CFile::GetStatus((dir + "/none").c_str(), st));

    CFile::Rename(path.c_str(), (dir + "/b.bin").c_str());
    EXPECT_THROWS_PTR(CFile::Remove(path.c_str()), CFileException);
    CFile::Remove((dir + "/b.bin").c_str());
}

TEST_F(FileTest, ShareModesBetweenOpeners)
{
    std::string path = dir + "/shared.bin";
    CFile writer(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    CFile other;
    CFileException err;
    EXPECT_FALSE(other.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite, &err));
    EXPECT_EQ(err.m_cause, CFileException::sharingViolation);
    EXPECT_TRUE(other.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone));
    other.Close();
    writer.Close();
    CFile r1(path.c_str(), CFile::modeRead | CFile::shareDenyWrite);
    CFile r2;
    EXPECT_TRUE(r2.Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite));
}

TEST_F(FileTest, ExclusiveCreateRefusesExistingNamesAndLinks)
{
    std::string path = dir + "/x";
    std::string link = dir + "/link";
    { CFile f(path.c_str(), CFile::modeCreate | CFile::modeWrite); }
    ASSERT_EQ(::symlink((dir + "/target").c_str(), link.c_str()), 0);
    CFile f;
    EXPECT_FALSE(f.Open(path.c_str(), CFile::modeCreateExclusive | CFile::modeWrite));
    EXPECT_FALSE(f.Open(link.c_str(), CFile::modeCreateExclusive | CFile::modeWrite));
    EXPECT_FALSE(fs::exists(dir + "/target"));
    ASSERT_TRUE(f.Open((dir + "/new").c_str(), CFile::modeCreateExclusive | CFile::modeOwnerOnly | CFile::modeWrite));
    EXPECT_EQ(fs::status(dir + "/new").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(FileTest, ArchiveOverARealFileWithSmallBuffer)
{
    std::string path = dir + "/arch";
    {
        CFile f(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&f, CArchive::store, 128);
        for (int i = 0; i < 1000; ++i)
            ar << static_cast<DWORD>(i) << CString("entry");
    }
    CFile f(path.c_str(), CFile::modeRead);
    CArchive ar(&f, CArchive::load, 128);
    for (int i = 0; i < 1000; ++i) {
        DWORD v;
        CString s;
        ar >> v >> s;
        ASSERT_EQ(v, static_cast<DWORD>(i));
        ASSERT_EQ(s, "entry");
    }
    EXPECT_EQ(ar.BytesLeft(), 0u);
}

TEST(ExceptionTest, StaticInstancesSurviveDelete)
{
    for (int i = 0; i < 2; ++i)
        EXPECT_THROWS_PTR(AfxThrowMemoryException(), CMemoryException);
    qmtest::Caught<CFileException> e =
        qmtest::Thrown<CFileException>([] { AfxThrowFileException(CFileException::diskFull, 28, "out.txt"); });
    ASSERT_TRUE(e);
    EXPECT_NE(e->GetErrorText().Find("out.txt"), -1);
    EXPECT_EQ(CRuntimeClass::FromName("CByteArray"), RUNTIME_CLASS(CByteArray));
    EXPECT_EQ(CRuntimeClass::FromName("NoSuchClass"), nullptr);
}

}  // namespace
