#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_exception.h"
#include "framework/archive.h"
#include "framework/system.h"

#include "mime_test_support.h"
#include "tests/support/memory.h"

#include <gtest/gtest.h>

#include <ctime>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

class MessageTest : public ::testing::Test {
protected:
    CStoreFixture f;

    // Reads the header lines of `text` into a fresh root message.
    std::unique_ptr<CMessage> Headers(const std::string& text)
    {
        auto m = f.MakeRoot(text);
        m->ReadHeaders();
        return m;
    }
};

TEST_F(MessageTest, UnfoldingAndBodyStart)
{
    auto m = Headers("Subject: a\r\n\tb\r\n  c\r\nX-Other: y\r\n\r\nbody\r\n");
    ASSERT_EQ(m->m_Headers.GetSize(), 2);
    EXPECT_EQ(m->m_Headers.Find("subject"), "a b c");
    EXPECT_EQ(m->m_Headers.Find("X-OTHER"), "y");
    EXPECT_EQ(m->m_nBodyStart, 35u);
    EXPECT_EQ(BodyOf(m.get()), "body\r\n");
    EXPECT_FALSE(m->m_Stream.IsOpen());

    // LF-only lines; a line that is no header field starts the body (nothing of it is lost);
    // header fields up to the end leave no body; a line of blanks ends the header block;
    // a mailbox "From " line before the fields is passed over
    auto lf = Headers("A: 1\nnot a header\nB:2\n\nbody");
    EXPECT_EQ(lf->m_Headers.GetSize(), 1);
    EXPECT_EQ(BodyOf(lf.get()), "not a header\nB:2\n\nbody");
    auto none = Headers("A: 1\r\nB: 2");
    EXPECT_EQ(none->m_Headers.GetSize(), 2);
    EXPECT_EQ(BodyOf(none.get()), "");
    auto blanks = Headers("From someone  Mon Jan  5 12:00:00 2026\nA: 1\n \t\nbody");
    EXPECT_EQ(blanks->m_Headers.GetSize(), 1);
    EXPECT_EQ(BodyOf(blanks.get()), "body");
    auto text = Headers("  indented text, no header at all\nA: 1\n");
    EXPECT_EQ(text->m_Headers.GetSize(), 0);
    EXPECT_EQ(BodyOf(text.get()), "  indented text, no header at all\nA: 1\n");
}

TEST_F(MessageTest, FindAllKeepsOrder)
{
    auto m = Headers("To: a\r\nCc: b\r\nTO: c\r\n\r\n");
    CStringArray values;
    EXPECT_EQ(m->m_Headers.FindAll("to", values), 2);
    EXPECT_EQ(values[0], "a");
    EXPECT_EQ(values[1], "c");
}

TEST_F(MessageTest, HostileHeaderLines)
{
    // a 1 MB header line is one header, capped, and no piece of it becomes a header
    std::string huge = "Subject: " + std::string(1 << 20, 'x') + "Content-Type: text/html\r\nX: 1\r\n\r\nbody";
    auto m = Headers(huge);
    ASSERT_EQ(m->m_Headers.GetSize(), 2);
    EXPECT_EQ(m->m_Headers.Find("Subject").GetLength(), kMaxHeaderLength - 9);
    EXPECT_EQ(m->m_strContentType, "");
    EXPECT_EQ(BodyOf(m.get()), "body");

    // 100,000 headers
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += "H" + std::to_string(i) + ": v\r\n";
    auto m2 = Headers(many + "\r\nbody");
    EXPECT_EQ(m2->m_Headers.GetSize(), 100000);
    EXPECT_EQ(BodyOf(m2.get()), "body");

    // NUL bytes stay in the values; a name with one is no header field: the body starts there
    auto m3 = Headers(std::string("A: x\0y\r\nB\0: z\r\n\r\n", 17));
    EXPECT_EQ(m3->m_Headers.GetItem(0)->m_strValue.str(), std::string("x\0y", 3));
    EXPECT_EQ(BodyOf(m3.get()), std::string("B\0: z\r\n\r\n", 9));
}

TEST_F(MessageTest, MillionsOfShortHeaderLinesCostAboutTheirOctets)
{
    // A million and a half header lines of four to nine octets, a third of them addresses:
    // each line costs about what it takes in the message (a record object each cost thirty
    // times that), and reads back as it was.
    std::string text = "To: Joe <j@x.org>\r\n";
    text.reserve(20 << 20);
    for (int i = 0; i < 500000; ++i)
        text += "a:\r\nTo: b@c\r\nX: y\r\n";
    auto m = f.MakeRoot(text + "\r\nbody");
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    qmtest::ResetPeak();
    long before = qmtest::ResidentMiB();
    m->ReadHeaders();
    m->ParseAddresses();
    long peak = qmtest::PeakMiB();
#if defined(__SANITIZE_ADDRESS__)
    (void)before;   // the sanitizer's allocator holds freed blocks back: values only
    (void)peak;
#else
    if (before >= 0 && peak >= 0) {
        EXPECT_LT(peak - before, static_cast<long>(2 * text.size() >> 20) + 8);
    }
#endif
    ASSERT_EQ(m->m_Headers.GetSize(), 1500001);
    EXPECT_EQ(m->m_Headers.GetItem(1500000)->m_strName, "X");
    EXPECT_EQ(m->m_Headers.GetItem(1500000)->m_strValue, "y");
    ASSERT_EQ(m->m_Recipients.GetSize(), 500001);
    EXPECT_EQ(m->m_Recipients.GetItem(0)->m_strName, "Joe");
    EXPECT_EQ(m->m_Recipients.GetItem(500000)->m_strName, "b@c");
    EXPECT_EQ(m->m_Recipients.GetItem(500000)->m_nKind, kRcptTo);
}

TEST_F(MessageTest, ContentTypes)
{
    auto kindOf = [&](const std::string& headers) {
        auto m = Headers(headers + "\r\n");
        return std::make_pair(m->m_nKind, m->m_strName.str());
    };
    EXPECT_EQ(kindOf("Content-Type: text/plain; name=x.txt\r\n"), std::make_pair(0x23u, std::string("x.txt")));
    EXPECT_EQ(kindOf("Content-Type: text/plain; charset=us-ascii\r\n"), std::make_pair(0x13u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: TEXT\r\n"), std::make_pair(0x13u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: text/html\r\n"), std::make_pair(0x23u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: image/png; name=\"a.png\"\r\n"), std::make_pair(0x23u, std::string("a.png")));
    EXPECT_EQ(kindOf("Content-Type: image/png; file=f.png\r\n"), std::make_pair(0x23u, std::string("f.png")));
    EXPECT_EQ(kindOf("Content-Type: application/octet-stream\r\n"), std::make_pair(0x23u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: application/octet-stream; name=a.bin\r\n"), std::make_pair(0x23u, std::string("a.bin")));
    EXPECT_EQ(kindOf("Content-Type: application/x-pkcs7-mime\r\n"), std::make_pair(0xA4u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: application/x-pkcs10\r\n"), std::make_pair(0xB4u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: application/x-ole1\r\n"), std::make_pair(0x43u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: application/x-ole2\r\n"), std::make_pair(0x53u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: application/msword; name=d.doc\r\n"), std::make_pair(0x23u, std::string("d.doc")));
    EXPECT_EQ(kindOf("Content-Type: message/rfc822\r\n"), std::make_pair(0x63u, std::string()));
    // a name once set stays
    EXPECT_EQ(kindOf("Content-Disposition: attachment; filename=first.txt\r\nContent-Type: text/plain; name=x.txt\r\n"),
              std::make_pair(0x23u, std::string("first.txt")));
    // MIME-Version makes a MIME entity in whatever order the headers come
    EXPECT_EQ(kindOf("Content-Type: text/plain\r\nMIME-Version: 1.0\r\n"), std::make_pair(0x13u, std::string()));
    EXPECT_EQ(kindOf("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n"), std::make_pair(0x13u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: image/gif\r\nContent-Transfer-Encoding: base64\r\nMIME-Version: 1.0\r\n"),
              std::make_pair(0x223u, std::string()));
    EXPECT_EQ(kindOf("MIME-Version: 1.0\r\n"), std::make_pair(0x3u, std::string()));
    EXPECT_EQ(kindOf("Content-Type: application/x-pkcs7-mime\r\nMIME-Version: 1.0\r\n"), std::make_pair(0xA4u, std::string()));
    EXPECT_EQ(kindOf("Encoding: 1 TEXT\r\nMIME-Version: 1.0\r\n"), std::make_pair(0x3u, std::string()));
}

TEST_F(MessageTest, MultipartParameters)
{
    auto m = Headers("Content-Type: multipart/signed; protocol=\"application/x-pkcs7-signature\";\r\n"
                     "\tmicalg=sha1; boundary=\"b1\"\r\n\r\n");
    EXPECT_EQ(m->m_nKind, 0x2033u);
    EXPECT_EQ(m->m_strBoundary, "b1");
    EXPECT_EQ(m->m_strProtocol, "application/x-pkcs7-signature");
    EXPECT_EQ(m->m_strMicalg, "sha1");
    EXPECT_EQ(m->m_strContentType, "multipart/signed");
    auto e = Headers("Content-Type: multipart/encrypted; boundary=x; protocol=p\r\n\r\n");
    EXPECT_EQ(e->m_nKind, 0x3033u);
    EXPECT_EQ(e->m_strProtocol, "p");
}

TEST_F(MessageTest, DispositionAndEncodings)
{
    auto a = Headers("Content-Disposition: attachment\r\n\r\n");
    EXPECT_EQ(a->m_nKind, 0x23u);
    // The disposition's file name counts whatever the disposition, and before the type's
    auto b = Headers("Content-Disposition: inline; filename=x\r\n\r\n");
    EXPECT_EQ(b->m_nKind, 0x23u);
    EXPECT_EQ(b->m_strName, "x");
    auto b2 = Headers("Content-Type: text/plain; name=t\r\nContent-Disposition: inline; filename=d\r\n\r\n");
    EXPECT_EQ(b2->m_strName, "d");
    auto b3 = Headers("Content-Disposition: attachment; filename=d\r\nContent-Type: image/png; name=t\r\n\r\n");
    EXPECT_EQ(b3->m_strName, "d");
    EXPECT_EQ(b3->m_nKind, 0x23u);
    auto c = Headers("Content-Disposition: ATTACHMENT; filename*=utf-8''%C3%A9.txt\r\n\r\n");
    EXPECT_EQ(c->m_strName, "\xC3\xA9.txt");
    auto d = Headers("Content-Transfer-Encoding: base64\r\n\r\n");
    EXPECT_EQ(d->m_nKind, 0x203u);
    auto q = Headers("Content-Transfer-Encoding: Quoted-Printable\r\n\r\n");
    EXPECT_EQ(q->m_nKind, 0x303u);
    auto s = Headers("Content-Transfer-Encoding: 7bit\r\n\r\n");
    EXPECT_EQ(s->m_nKind, 0x3u);
    auto u = Headers("Content-Transfer-Encoding: x-uuencode\r\n\r\n");
    EXPECT_EQ(u->m_nKind, 0x401u);
    auto x = Headers("Content-Transfer-Encoding: x-other\r\n\r\n");
    EXPECT_EQ(x->m_nKind, 0x1u);
    auto enc = Headers("Encoding: 12 TEXT, 40 UUENCODE\r\n\r\n");
    EXPECT_EQ(enc->m_nKind, 0x5u);
    auto enc2 = Headers("Encoding: 12 text\r\n\r\n");
    EXPECT_EQ(enc2->m_nKind, 0x1u);
    auto id = Headers("Message-Id: <a.b@c.d> (comment)\r\n\r\n");
    EXPECT_EQ(id->m_strMessageId, "<a.b@c.d>");
}

TEST_F(MessageTest, Dates)
{
    auto local = [](int y, int mo, int d, int h, int mi, int s) {
        std::tm t{};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        t.tm_isdst = -1;
        return std::mktime(&t);
    };
    auto m = Headers("Date: Wed, 12 Jun 1996 10:20:30 +0300\r\n\r\n");
    EXPECT_EQ(m->m_Date.GetTime(), local(1996, 6, 12, 10, 20, 30));
    EXPECT_EQ(m->m_nZone, 300);
    auto neg = Headers("Date: Wed, 12 jun 1996 10:20:30 -0500\r\n\r\n");
    EXPECT_EQ(neg->m_nZone, -500);
    auto noSeconds = Headers("Date: Wed, 12 Jun 1996 10:20\r\n\r\n");
    EXPECT_EQ(noSeconds->m_Date.GetTime(), local(1996, 6, 12, 10, 20, 0));
    EXPECT_EQ(noSeconds->m_nZone, AfxGetLocalZone());
    auto third = Headers("Date: 12 Jun 1996 10:20\r\n\r\n");
    EXPECT_EQ(third->m_Date.GetTime(), local(1996, 6, 12, 10, 20, 0));
    EXPECT_EQ(third->m_nZone, AfxGetLocalZone());
    // a two-digit year takes the century of the local clock
    SYSTEMTIME now{};
    GetLocalTime(&now);
    auto twoDigit = Headers("Date: Wed, 12 Jun 96 10:20:30 +0100\r\n\r\n");
    EXPECT_EQ(twoDigit->m_Date.GetTime(), local(now.wYear / 100 * 100 + 96, 6, 12, 10, 20, 30));
    // zones out of range keep the local zone; unknown months and garbage are ignored
    auto wide = Headers("Date: Wed, 12 Jun 1996 10:20:30 +1300\r\n\r\n");
    EXPECT_EQ(wide->m_nZone, AfxGetLocalZone());
    for (const char* bad : {"Date: Wed, 12 Foo 1996 10:20:30 +0300", "Date: yesterday",
                            "Date: Wed, 99999999999999999999 Jun 1996 10:20:30 +0300", "Date: "}) {
        auto b = Headers(std::string(bad) + "\r\n\r\n");
        EXPECT_EQ(b->m_Headers.GetSize(), 1) << bad;
        EXPECT_LE(std::abs(static_cast<long>(b->m_Date.GetTime() - std::time(nullptr))), 5) << bad;
    }
    // the local zone form of the bias
    LONG b = AfxGetTimeZoneBias();
    LONG z = AfxGetLocalZone();
    EXPECT_EQ(z / 100 * 60 + z % 100, -b);
}

TEST_F(MessageTest, Addresses)
{
    auto m = Headers("From: Joe Smith <joe@x.org>, other@x.org\r\n"
                     "To: a@b.c, \"Quoted, Name\" <q@b.c>\r\n"
                     "Cc: justaword\r\n"
                     "To: (Comment Name) c@b.c\r\n"
                     "\r\n");
    m->ParseAddresses();
    EXPECT_EQ(m->m_Sender.m_strAddress, "joe@x.org");
    EXPECT_EQ(m->m_Sender.m_strName, "Joe Smith");
    EXPECT_EQ(m->m_Sender.m_nKind, kRcptFrom);
    ASSERT_EQ(m->m_Recipients.GetSize(), 4);
    auto r = [&](int i) { return m->m_Recipients.GetItem(i); };
    EXPECT_EQ(r(0)->m_strAddress, "a@b.c");
    EXPECT_EQ(r(0)->m_strName, "a@b.c");
    EXPECT_EQ(r(0)->m_nKind, kRcptTo);
    EXPECT_EQ(r(1)->m_strAddress, "q@b.c");
    EXPECT_EQ(r(1)->m_strName, "\"Quoted, Name\"");
    EXPECT_EQ(r(2)->m_strAddress, "c@b.c");   // both To lines come before Cc
    EXPECT_EQ(r(2)->m_strName, "Comment Name");
    EXPECT_EQ(r(3)->m_strAddress, "<Invalid address>");
    EXPECT_EQ(r(3)->m_strName, "justaword");
    EXPECT_EQ(r(3)->m_nKind, kRcptCc);
}

TEST_F(MessageTest, AddressEdgeCases)
{
    auto parse = [&](const std::string& to) {
        auto m = Headers("To: " + to + "\r\n\r\n");
        m->ParseAddresses();
        std::string out;
        for (int i = 0; i < m->m_Recipients.GetSize(); ++i)
            out += "[" + m->m_Recipients.GetItem(i)->m_strAddress.str() + "|" + m->m_Recipients.GetItem(i)->m_strName.str() + "]";
        return out;
    };
    EXPECT_EQ(parse("a@b.c <d@e.f>"), "[d@e.f|a@b.c]");              // the earlier address becomes the name
    EXPECT_EQ(parse("x@y.z (Real) (Extra)"), "[x@y.z|Real (Extra)]");
    EXPECT_EQ(parse("one@a.b two@a.b"), "[one@a.b|two@a.b]");
    EXPECT_EQ(parse("<x @ y . z>"), "[x@y.z|x@y.z]");                  // normalised, comments kept
    // brackets never closed, or closed without opener, end the list with what was found
    EXPECT_EQ(parse("a@b.c, Joe <joe@x"), "[a@b.c|a@b.c][<Invalid address>|Joe]");
    EXPECT_EQ(parse("Ann <ann@x.y>>, b@c.d"), "[ann@x.y|Ann]");
    EXPECT_EQ(parse("\"unclosed <a@b.c>"), "");
    EXPECT_EQ(parse("(nested (comment) here) a@b.c"), "[a@b.c|nested (comment) here]");
    EXPECT_EQ(parse("\"esc\\\"aped\" <e@f.g>"), "[e@f.g|\"esc\\\"aped\"]");
    EXPECT_EQ(parse(",,;"), "");
    EXPECT_EQ(parse("@x"), "[<Invalid address>|@x]");
    // a NUL is a character, never a stop
    auto nul = Headers(std::string("From: a\0b@c.d <x\0y>\r\n\r\n", 24));
    nul->ParseAddresses();
    EXPECT_EQ(nul->m_Sender.m_strAddress.str(), std::string("a\0b@c.d", 7));
    EXPECT_EQ(nul->m_Sender.m_strName.str(), std::string("x\0y", 3));
}

TEST_F(MessageTest, WriteHeadersGroupsAddresses)
{
    auto src = Headers("Subject: s\r\nTo: a@b\r\nX: 1\r\nCc: c@d\r\nTo: e@f\r\n\r\n");
    CMessage out(f.Store());
    out.NewStream(TRUE);
    out.WriteHeaders(src.get());
    EXPECT_EQ(out.m_nBodyStart, out.m_nStreamEnd);
    out.CloseStream();
    EXPECT_EQ(StreamOf(&out), "Subject: s\r\nTo: a@b,\r\n    e@f\r\nCc: c@d\r\nX: 1\r\n\r\n");

    // long lines are written whole
    auto longSrc = Headers("X-Long: " + std::string(5000, 'y') + "\r\n\r\n");
    CMessage out2(f.Store());
    out2.WriteHeaders(longSrc.get());
    EXPECT_EQ(StreamOf(&out2), "X-Long: " + std::string(5000, 'y') + "\r\n\r\n");
}

TEST_F(MessageTest, StreamOperations)
{
    CMessage m(f.Store());
    m.Append("abc", 3);   // makes a stream
    EXPECT_FALSE(m.GetStreamName().IsEmpty());
    EXPECT_EQ(m.m_nStreamEnd, 3u);
    m.CloseStream();
    m.Append("def", 3);   // reopens it at its end
    EXPECT_EQ(m.m_nStreamEnd, 6u);
    m.CloseStream();
    m.m_nBodyStart = 1;
    m.m_nBodyEnd = 5;
    char buf[8];
    EXPECT_EQ(m.ReadBody(buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "bc");
    EXPECT_TRUE(m.m_Stream.IsOpen());
    EXPECT_EQ(m.ReadBody(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "de");
    EXPECT_FALSE(m.m_Stream.IsOpen());   // closed at the body end

    // a second message on the same name shares the stream; the file goes with the last
    CMessage other(f.Store());
    other.SetStreamName(m.GetStreamName());
    m.Reset();
    EXPECT_EQ(f.Folder().CountFiles(), 1);
    other.m_nBodyEnd = 6;
    EXPECT_EQ(BodyOf(&other), "abcdef");
    other.Reset();
    EXPECT_EQ(f.Folder().CountFiles(), 0);
}

TEST_F(MessageTest, TreeLinks)
{
    CMessage root(f.Store());
    CMessage* a = new CMessage(&root);
    CMessage* b = new CMessage(&root);
    EXPECT_EQ(a->m_pParent, &root);
    EXPECT_EQ(root.m_Children.GetSize(), 2);
    EXPECT_EQ(b->GetDepth(), 1);
    EXPECT_EQ(b->GetRoot(), &root);
    a->DetachFromParent();
    EXPECT_EQ(root.m_Children.GetSize(), 1);
    EXPECT_EQ(a->m_pParent, nullptr);
    b->AddChild(a);
    EXPECT_EQ(a->GetDepth(), 2);
    delete b;   // takes a with it
    EXPECT_EQ(root.m_Children.GetSize(), 0);
}

TEST_F(MessageTest, ArchiveRoundTrip)
{
    auto m = Headers("From: Joe <joe@x.org>\r\nTo: a@b.c\r\nDate: Wed, 12 Jun 1996 10:20:30 +0300\r\n"
                     "Content-Type: multipart/mixed; boundary=zz\r\nMessage-Id: <id@x>\r\n\r\n");
    m->ParseAddresses();
    m->m_nKeptFlagsC = 7;
    CMessage* child = new CMessage(m.get());
    child->SetStreamName(m->GetStreamName());
    child->m_strName = "c.txt";
    child->m_nBodyEnd = 4;
    CInetServer* server = new CInetServer;
    server->m_strHost = "mail";
    m->m_Servers.AddItem(server);

    CMemFile mem;
    {
        CArchive ar(&mem, CArchive::store);
        ar << static_cast<const CObject*>(m.get());
    }
    // the stored form starts with the class record of schema 275
    const BYTE* p = mem.GetBufferPtr();
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[1], 0xFF);
    EXPECT_EQ(p[2] | p[3] << 8, 275);

    mem.SeekToBegin();
    CArchive ar(&mem, CArchive::load);
    CObject* o = ar.ReadObject(RUNTIME_CLASS(CMessage));
    std::unique_ptr<CMessage> loaded(static_cast<CMessage*>(o));
    EXPECT_EQ(loaded->GetStreamName(), m->GetStreamName());
    EXPECT_EQ(loaded->m_Date.GetTime(), m->m_Date.GetTime());
    EXPECT_EQ(loaded->m_nZone, 300);
    EXPECT_EQ(loaded->m_nKind, m->m_nKind);
    EXPECT_EQ(loaded->m_nKeptFlagsC, 7u);
    EXPECT_EQ(loaded->m_strBoundary, "zz");
    EXPECT_EQ(loaded->m_strMessageId, "<id@x>");
    EXPECT_EQ(loaded->m_Sender.m_strName, "Joe");
    ASSERT_EQ(loaded->m_Recipients.GetSize(), 1);
    EXPECT_EQ(loaded->m_Recipients.GetItem(0)->m_strAddress, "a@b.c");
    ASSERT_EQ(loaded->m_Headers.GetSize(), 5);
    ASSERT_EQ(loaded->m_Servers.GetSize(), 1);
    EXPECT_EQ(loaded->m_Servers.GetItem(0)->m_strHost, "mail");
    EXPECT_EQ(loaded->m_Servers.GetItem(0)->m_nAddress, 0xFFFFFFFFu);
    ASSERT_EQ(loaded->m_Children.GetSize(), 1);
    EXPECT_EQ(loaded->m_Children.GetItem(0)->m_strName, "c.txt");
    EXPECT_EQ(loaded->m_Children.GetItem(0)->m_pParent, loaded.get());
    EXPECT_EQ(loaded->m_Children.GetItem(0)->m_nBodyEnd, 4);
}

TEST_F(MessageTest, ArchiveRefusesSharedOrCyclicChildren)
{
    // A message whose child list names the message itself (a back-reference to object 2).
    CMessage m;
    CMemFile mem;
    {
        CArchive ar(&mem, CArchive::store);
        ar << static_cast<const CObject*>(&m);
    }
    std::string bytes = MemFileBytes(mem);
    // The child count is the last field: a count of 0 (two zero bytes) at the end.
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(bytes.size() - 2), std::string(2, '\0'));
    bytes.replace(bytes.size() - 2, 2, std::string("\x01\x00\x02\x00", 4));
    CMemFile bad(reinterpret_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    CArchive ar(&bad, CArchive::load);
    bool raised = false;
    try {
        delete ar.ReadObject(RUNTIME_CLASS(CMessage));
    } catch (CArchiveException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
}

} // namespace
