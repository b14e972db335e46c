#include "decrypt/mime/fs_storage.h"
#include "decrypt/mime/msg_store.h"
#include "decrypt/mime/storage.h"
#include "framework/archive.h"
#include "framework/system.h"

#include "mime_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(COleStream& s)
{
    s.SeekToBegin();
    std::string out;
    char buf[100];
    for (UINT n; (n = s.Read(buf, sizeof buf)) > 0;)
        out.append(buf, n);
    return out;
}

// Runs f and returns the cause of the file exception it raises (-1 when none).
template <class F>
int FileCause(F&& f, LONG* osError = nullptr)
{
    try {
        f();
    } catch (CFileException* e) {
        int cause = e->m_cause;
        if (osError)
            *osError = e->m_lOsError;
        e->Delete();
        return cause;
    }
    return -1;
}

TEST(StgErrors, TranslationToFileCauses)
{
    struct {
        HRESULT hr;
        int cause;
    } cases[] = {
        {STG_E_FILENOTFOUND, CFileException::fileNotFound},
        {STG_E_PATHNOTFOUND, CFileException::badPath},
        {STG_E_TOOMANYOPENFILES, CFileException::tooManyOpenFiles},
        {STG_E_ACCESSDENIED, CFileException::accessDenied},
        {STG_E_SHAREVIOLATION, CFileException::sharingViolation},
        {STG_E_LOCKVIOLATION, CFileException::lockViolation},
        {STG_E_MEDIUMFULL, CFileException::diskFull},
        {STG_E_SEEKERROR, CFileException::badSeek},
        {STG_E_INUSE, CFileException::sharingViolation},
        {STG_E_UNKNOWN, CFileException::generic},
        {static_cast<HRESULT>(0x80070005), CFileException::generic},   // not a storage result
    };
    for (const auto& c : cases) {
        CFileException e;
        AfxStgResultToFileException(c.hr, "x", &e);
        EXPECT_EQ(e.m_cause, c.cause) << std::hex << c.hr;
        EXPECT_EQ(e.m_lOsError, c.hr);
        EXPECT_EQ(e.m_strFileName, "x");
    }
    EXPECT_EQ(StgResultFromSystemError(ERROR_FILE_NOT_FOUND), STG_E_FILENOTFOUND);
    EXPECT_EQ(StgResultFromSystemError(ERROR_ALREADY_EXISTS), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(StgResultFromSystemError(ERROR_FILE_EXISTS), STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(StgResultFromSystemError(ERROR_CALL_NOT_IMPLEMENTED), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(StgResultFromSystemError(ERROR_DISK_FULL), STG_E_MEDIUMFULL);
    EXPECT_EQ(StgResultFromSystemError(12345), STG_E_UNKNOWN);
}

TEST(DirStorage, OpenCreateAndRefuse)
{
    CScratchFolder folder;
    std::string missing = folder.Path() + "/missing";
    CDirStorage s;
    CFileException e;
    EXPECT_FALSE(s.Open(missing.c_str(), kStoreMode, &e));
    EXPECT_EQ(e.m_cause, CFileException::badPath);
    EXPECT_EQ(FileCause([&] { s.Open(missing.c_str(), kStoreMode); }), CFileException::badPath);
    // a file is no storage
    WriteFileBytes(folder.Path() + "/plain", "x");
    EXPECT_FALSE(s.Open((folder.Path() + "/plain").c_str(), kStoreMode, &e));
    // create makes the folder, an existing one is accepted
    EXPECT_TRUE(s.Create(missing.c_str(), kStoreMode));
    EXPECT_TRUE(fs::is_directory(missing));
    EXPECT_TRUE(s.Create(missing.c_str(), kStoreMode));
    EXPECT_EQ(s.GetName(), missing.c_str());
    // a nameless storage is a fresh "stg" folder in the temporary folder
    CDirStorage temp;
    ASSERT_TRUE(temp.Create(nullptr, kStoreMode));
    std::string made = temp.GetName().str();
    EXPECT_NE(fs::path(made).filename().string().find("stg"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(made));
    temp.Close();
    fs::remove_all(made);
}

TEST(DirStorage, CompoundFilesAreNotSupported)
{
    CStorage s;
    bool raised = false;
    try {
        s.Create("x", kStoreMode);
    } catch (CNotSupportedException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
}

TEST(DirStorage, StreamsAreFiles)
{
    CScratchFolder folder;
    CDirStorage s;
    ASSERT_TRUE(s.Open(folder.Path().c_str(), kStoreMode));
    COleStream a;
    ASSERT_TRUE(s.CreateStream(&a, "a.txt", kStoreMode));
    EXPECT_EQ(a.GetLength(), 0);   // created empty
    a.Write("hello", 5);
    EXPECT_EQ(a.GetFilePath(), "a.txt");
    EXPECT_EQ(a.m_strStorageName, folder.Path().c_str());
    a.Close();
    EXPECT_EQ(ReadFileBytes(folder.Path() + "/a.txt"), "hello");

    // creating an existing name fails unless STGM_CREATE asks to replace it
    COleStream b;
    CFileException e;
    EXPECT_FALSE(s.CreateStream(&b, "a.txt", kStoreMode, &e));
    EXPECT_EQ(e.m_lOsError, STG_E_FILEALREADYEXISTS);
    ASSERT_TRUE(s.CreateStream(&b, "a.txt", kStoreMode | STGM_CREATE));
    EXPECT_EQ(b.GetLength(), 0);
    b.Close();

    // open, rename, destroy
    EXPECT_FALSE(s.OpenStream(&b, "nope", kStoreMode, &e));
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    EXPECT_TRUE(s.ElementExists("a.txt"));
    EXPECT_FALSE(s.ElementExists("nope"));
    EXPECT_TRUE(s.RenameElement("a.txt", "b.txt"));
    EXPECT_FALSE(s.ElementExists("a.txt"));
    EXPECT_TRUE(s.DestroyElement("b.txt"));
    EXPECT_EQ(folder.CountFiles(), 0);
    EXPECT_EQ(FileCause([&] { s.DestroyElement("b.txt"); }), CFileException::fileNotFound);

    // a subfolder goes with its contents
    fs::create_directories(folder.Path() + "/sub/deeper");
    WriteFileBytes(folder.Path() + "/sub/deeper/f", "x");
    EXPECT_TRUE(s.DestroyElement("sub"));
    EXPECT_FALSE(fs::exists(folder.Path() + "/sub"));
}

TEST(DirStorage, NamesStayInsideTheFolder)
{
    CScratchFolder folder;
    CDirStorage s;
    ASSERT_TRUE(s.Open(folder.Path().c_str(), kStoreMode));
    COleStream x;
    CFileException e;
    for (const char* bad : {"../escape", "a/b", "..", ".", ""}) {
        EXPECT_FALSE(s.CreateStream(&x, bad, kStoreMode, &e)) << bad;
        EXPECT_EQ(e.m_lOsError, STG_E_INVALIDPARAMETER) << bad;
    }
    std::string longName(300 - folder.Path().size(), 'n');
    EXPECT_FALSE(s.CreateStream(&x, longName.c_str(), kStoreMode, &e));
    EXPECT_EQ(e.m_lOsError, STG_E_INVALIDPARAMETER);
    EXPECT_FALSE(fs::exists(fs::path(folder.Path()).parent_path() / "escape"));
}

TEST(DirStorage, UniqueNames)
{
    CScratchFolder folder;
    CDirStorage s;
    ASSERT_TRUE(s.Open(folder.Path().c_str(), kStoreMode));
    // Two nameless streams within one tick: the base name, then base name + "~1". The tick
    // may move between the calls; then the pair is tried again.
    bool seen = false;
    for (int attempt = 0; attempt < 20 && !seen; ++attempt) {
        COleStream a, b;
        ASSERT_TRUE(s.CreateStream(&a, nullptr, kStoreMode));
        ASSERT_TRUE(s.CreateStream(&b, nullptr, kStoreMode));
        std::string na = a.GetFilePath().str(), nb = b.GetFilePath().str();
        EXPECT_EQ(na.rfind("MAIL-", 0), 0u) << na;
        EXPECT_EQ(a.GetLength(), 0);
        if (nb == na + "~1")
            seen = true;
        a.Close();
        b.Close();
        s.DestroyElement(na.c_str());
        s.DestroyElement(nb.c_str());
    }
    EXPECT_TRUE(seen);
    EXPECT_EQ(folder.CountFiles(), 0);

    // the base name carries the local time as day.month.year-hour.minute.second
    std::string base = AfxMakeStreamBaseName().str();
    ASSERT_GE(base.size(), 24u);
    EXPECT_EQ(base[7], '.');
    EXPECT_EQ(base[11], '.');
    EXPECT_EQ(base[14], '-');

    // the 16-bit-hosted platform: "%x.t", then a hexadecimal counter
    AfxForcePlatformId(static_cast<int>(VER_PLATFORM_WIN32s));
    bool subset = false;
    for (int attempt = 0; attempt < 20 && !subset; ++attempt) {
        COleStream a, b;
        ASSERT_TRUE(s.CreateStream(&a, nullptr, kStoreMode));
        ASSERT_TRUE(s.CreateStream(&b, nullptr, kStoreMode));
        std::string na = a.GetFilePath().str(), nb = b.GetFilePath().str();
        EXPECT_EQ(na.substr(na.size() - 2), ".t");
        subset = nb == na + "1";
        a.Close();
        b.Close();
        s.DestroyElement(na.c_str());
        s.DestroyElement(nb.c_str());
    }
    AfxForcePlatformId(-1);
    EXPECT_TRUE(subset);
}

TEST(OleStream, ClonesKeepTheirOwnPositions)
{
    CScratchFolder folder;
    WriteFileBytes(folder.Path() + "/s", "0123456789");
    IStorage* stg = nullptr;
    ASSERT_EQ(FsOpenStorage(folder.Path().c_str(), kStoreMode, FALSE, &stg), S_OK);
    IStream* raw = nullptr;
    ASSERT_EQ(stg->OpenStream("s", kStoreMode, &raw), S_OK);
    IStream* clone = nullptr;
    ASSERT_EQ(raw->Clone(&clone), S_OK);
    COleStream a, b;
    a.Attach(raw);
    b.Attach(clone);
    EXPECT_EQ(a.GetFilePath(), "s");
    char buf[4] = {};
    a.Seek(5, CFile::begin);
    EXPECT_EQ(b.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "012");
    EXPECT_EQ(a.Read(buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "567");
    // a write through one is seen by the other; each position stays its own
    a.Write("X", 1);
    b.Seek(8, CFile::begin);
    EXPECT_EQ(b.Read(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "X9");
    a.Close();
    EXPECT_EQ(ReadWhole(b), "01234567X9");
    b.Close();
    stg->Release();
}

TEST(OleStream, LineReading)
{
    CStoreFixture f;
    CString name = f.PutStream("one\r\ntwo\n\rthree\r\rfour\n\nfive");
    COleStream s;
    f.Store()->OpenStream(&s, name);
    char buf[32];
    std::vector<std::string> lines;
    while (s.ReadString(buf, sizeof buf))
        lines.push_back(buf);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "", "four", "", "five"}));
    f.Store()->CloseStream(&s);

    // a line longer than the limit comes in pieces; one exactly as long keeps its terminator
    CString longName = f.PutStream("abcdefgh\r\nabcdefghij\r\nx");
    f.Store()->OpenStream(&s, longName);
    COleStream::LineInfo info;
    ASSERT_TRUE(s.ReadLine(buf, 9, info));
    EXPECT_EQ(std::string(buf), "abcdefgh");
    EXPECT_EQ(info.terminator, 2);
    ASSERT_TRUE(s.ReadLine(buf, 9, info));
    EXPECT_EQ(std::string(buf), "abcdefgh");
    EXPECT_EQ(info.terminator, 0);
    ASSERT_TRUE(s.ReadLine(buf, 9, info));
    EXPECT_EQ(std::string(buf), "ij");
    ASSERT_TRUE(s.ReadLine(buf, 9, info));
    EXPECT_EQ(std::string(buf), "x");
    EXPECT_EQ(info.terminator, 0);
    EXPECT_FALSE(s.ReadLine(buf, 9, info));
    f.Store()->CloseStream(&s);
    f.Store()->ReleaseStreamRef(name);
    f.Store()->ReleaseStreamRef(longName);
    EXPECT_EQ(f.Folder().CountFiles(), 0);
}

TEST(OleStream, ClosedStreamRaises)
{
    COleStream s;
    char c;
    EXPECT_EQ(FileCause([&] { s.Read(&c, 1); }), CFileException::invalidFile);
    EXPECT_EQ(FileCause([&] { s.Write(&c, 1); }), CFileException::invalidFile);
}

// ---- the message store ------------------------------------------------------------------

TEST(MessageStore, SharedStreamsAndReferences)
{
    CStoreFixture f;
    CMessageStore* store = f.Store();
    COleStream w;
    char nameBuf[8];
    CString name = store->CreateStream(&w, nameBuf, sizeof nameBuf);
    EXPECT_EQ(std::string(nameBuf), name.Left(7).str());   // cut to the buffer
    w.Write("shared text", 11);
    const CMsgAllocTable::Entry* e = store->GetTable().Find(name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->refs, 1);
    EXPECT_EQ(e->opens, 1);

    // two readers share the open stream through clones
    COleStream r1, r2;
    store->OpenStream(&r1, name);
    store->OpenStream(&r2, name);
    EXPECT_EQ(e->opens, 3);
    store->CloseStream(&w);
    char buf[16] = {};
    r1.Seek(7, CFile::begin);
    EXPECT_EQ(r1.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), "text");
    store->CloseStream(&r1);
    EXPECT_EQ(r2.Read(buf, 6), 6u);   // still valid after the other reader closed
    EXPECT_EQ(std::string(buf, 6), "shared");
    EXPECT_TRUE(e->shared.IsOpen());
    store->CloseStream(&r2);
    EXPECT_FALSE(e->shared.IsOpen());

    // the last reference removes the file; while a reader has it open, at its close
    store->AddStreamRef(name);
    store->ReleaseStreamRef(name);
    EXPECT_EQ(f.Folder().CountFiles(), 1);
    store->OpenStream(&r1, name);
    store->ReleaseStreamRef(name);
    EXPECT_EQ(f.Folder().CountFiles(), 1);
    EXPECT_EQ(r1.Read(buf, 6), 6u);
    store->CloseStream(&r1);
    EXPECT_EQ(f.Folder().CountFiles(), 0);
    EXPECT_EQ(store->GetTable().GetCount(), 0);
}

TEST(MessageStore, ReleasedNameCanBeMadeAgain)
{
    CStoreFixture f;
    CMessageStore* store = f.Store();
    for (int attempt = 0; attempt < 20; ++attempt) {
        COleStream s;
        CString first = store->CreateStream(&s, nullptr, 0);
        store->CloseStream(&s);
        store->ReleaseStreamRef(first);
        EXPECT_EQ(f.Folder().CountFiles(), 0);
        CString second = store->CreateStream(&s, nullptr, 0);
        store->CloseStream(&s);
        store->ReleaseStreamRef(second);
        // within one tick the freed base name is taken again, without "~1"
        if (second == first)
            return;
        EXPECT_EQ(second.Find('~'), -1);
    }
    ADD_FAILURE() << "never two streams within one tick";
}

TEST(MessageStore, OpenErrors)
{
    CStoreFixture f;
    COleStream s;
    CFileException e;
    EXPECT_FALSE(f.Store()->OpenStream(&s, "missing", &e));
    EXPECT_EQ(e.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(f.Store()->GetTable().GetCount(), 0);
    EXPECT_EQ(FileCause([&] { f.Store()->OpenStream(&s, "missing"); }), CFileException::fileNotFound);
    EXPECT_EQ(FileCause([] { new CMessageStore("/nonexistent/folder/for/sure"); }), CFileException::badPath);
}

TEST(MessageStore, TableArchive)
{
    CStoreFixture f;
    CMessageStore* store = f.Store();
    CString a = f.PutStream("a");
    CString b = f.PutStream("b");
    store->AddStreamRef(b);
    CMemFile mem;
    {
        CArchive ar(&mem, CArchive::store);
        const_cast<CMsgAllocTable&>(store->GetTable()).Serialize(ar);
    }
    mem.SeekToBegin();
    CMsgAllocTable loaded;
    {
        CArchive ar(&mem, CArchive::load);
        loaded.Serialize(ar);
    }
    EXPECT_EQ(loaded.GetName(), "Links");
    ASSERT_EQ(loaded.GetCount(), 2);
    EXPECT_EQ(loaded.Find(a)->refs, 1);
    EXPECT_EQ(loaded.Find(b)->refs, 2);
    EXPECT_EQ(loaded.Find(b)->opens, 0);
    // a count larger than the data is refused before anything is made
    BYTE bogus[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 1};
    CMemFile small(bogus, sizeof bogus);
    CArchive ar(&small, CArchive::load);
    bool raised = false;
    try {
        loaded.Serialize(ar);
    } catch (CArchiveException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
}

} // namespace
