#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/mime_exception.h"

#include "mime_test_support.h"

#include <gtest/gtest.h>

namespace {

// Messages are written with LF for readability; most tests run them with CR LF.
std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

class MimeTest : public ::testing::Test {
protected:
    CStoreFixture f;
    CCopyingContext copying;

    std::unique_ptr<CMessage> Run(const std::string& text, CMimeContext* context = nullptr)
    {
        auto root = f.MakeRoot(text);
        root->ProcessRoot(context ? context : &copying);
        return root;
    }
    // Runs and expects the exception type; returns the root as far as it got.
    template <class E>
    std::unique_ptr<CMessage> RunFails(const std::string& text, CMimeContext* context = nullptr)
    {
        auto root = f.MakeRoot(text);
        bool raised = false;
        try {
            root->ProcessRoot(context ? context : &copying);
        } catch (E* e) {
            raised = true;
            e->Delete();
        }
        EXPECT_TRUE(raised);
        return root;
    }
    CMessage* Child(CMessage* m, int i) { return m->m_Children.GetItem(i); }
};

const char kMixed[] =
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\n"
    "\n"
    "preamble --b\n"
    "--bogus\n"
    "--b\n"
    "Content-Type: text/plain\n"
    "\n"
    "part one\n"
    "--b\n"
    "Content-Type: text/plain; name=a.txt\n"
    "\n"
    "part two\n";

TEST_F(MimeTest, MultipartWithPreambleAndEpilogue)
{
    auto root = Run(Crlf(std::string(kMixed) + "--b--\nepilogue\n"));
    EXPECT_EQ(DumpTree(root.get()),
              "kind=0x33 type=\"multipart/mixed\" name=\"\" body=\"\"\n"
              "  kind=0x13 type=\"text/plain\" name=\"\" body=\"part one\"\n"
              "  kind=0x23 type=\"text/plain\" name=\"a.txt\" body=\"part two\"\n");
}

TEST_F(MimeTest, MultipartWithoutClosingDelimiterKeepsItsLastPart)
{
    auto root = Run(Crlf(kMixed));
    ASSERT_EQ(root->m_Children.GetSize(), 2);
    EXPECT_EQ(BodyOf(Child(root.get(), 1)), "part two\r\n");
}

TEST_F(MimeTest, DelimiterPaddingAndLineEnds)
{
    // blanks after a delimiter are padding; LF-only text loses no byte
    std::string text = "Content-Type: multipart/mixed; boundary=b\n\n--b \t\n\nx\n\n--b\t\n\ny\n--b-- \n";
    auto root = Run(text);
    ASSERT_EQ(root->m_Children.GetSize(), 2);
    EXPECT_EQ(BodyOf(Child(root.get(), 0)), "x\n");
    EXPECT_EQ(BodyOf(Child(root.get(), 1)), "y");
    auto crlf = Run(Crlf(text));
    EXPECT_EQ(BodyOf(Child(crlf.get(), 0)), "x\r\n");
    EXPECT_EQ(BodyOf(Child(crlf.get(), 1)), "y");
    // a delimiter right after another gives an empty part
    auto empty = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\n\nz\n--b--\n"));
    ASSERT_EQ(empty->m_Children.GetSize(), 2);
    EXPECT_EQ(BodyOf(Child(empty.get(), 0)), "");
    EXPECT_EQ(BodyOf(Child(empty.get(), 1)), "z");
}

TEST_F(MimeTest, BoundariesThatNeverMatch)
{
    // no delimiter at all, or an empty boundary: the body stays whole
    for (const char* type : {"multipart/mixed; boundary=zz", "multipart/mixed", "multipart/mixed; boundary=\"\""}) {
        auto root = Run(Crlf(std::string("Content-Type: ") + type + "\n\n--\n----\nbody\n"));
        EXPECT_EQ(root->m_Children.GetSize(), 0) << type;
        EXPECT_EQ(BodyOf(root.get()), "--\r\n----\r\nbody\r\n") << type;
    }
    // a delimiter inside a long line is no delimiter
    std::string longLine(1023, 'x');
    auto root = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\n\n" + longLine + "--b\nafter\n--b--\n"));
    ASSERT_EQ(root->m_Children.GetSize(), 1);
    EXPECT_EQ(BodyOf(Child(root.get(), 0)), longLine + "--b\r\nafter");
}

TEST_F(MimeTest, PartWithoutEmptyLineKeepsItsText)
{
    auto root = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n--b\nno headers here\n--b--\n"));
    ASSERT_EQ(root->m_Children.GetSize(), 1);
    EXPECT_EQ(BodyOf(Child(root.get(), 0)), "no headers here");
}

TEST_F(MimeTest, DecodedBodiesReplaceTheStream)
{
    auto root = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n"
                         "--b\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\naGVs\nbG8=\n"
                         "--b\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\nsoft=\nbreak =3D=E9\n"
                         "--b\nContent-Type: application/mac-binhex40; name=x.hqx\nContent-Transfer-Encoding: binhex40\n\n(This file...)\n"
                         "--b\nContent-Type: text/plain\nContent-Transfer-Encoding: BASE64 (comment)\n\nb2s=\n"
                         "--b--\n"));
    ASSERT_EQ(root->m_Children.GetSize(), 4);
    CMessage* b64 = Child(root.get(), 0);
    EXPECT_EQ(StreamOf(b64), "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nhello");
    EXPECT_EQ(BodyOf(b64), "hello");
    EXPECT_EQ(BodyOf(Child(root.get(), 1)), "softbreak =\xE9\r\n");
    CMessage* binhex = Child(root.get(), 2);
    // no binhex decoder: the part is kept as it was sent, with a warning
    EXPECT_EQ(BodyOf(binhex), "(This file...)");
    ASSERT_EQ(root->m_Warnings.GetSize(), 1);
    EXPECT_EQ(root->m_Warnings[0], "\"x.hqx\": binhex is not decoded; the part was saved as it was sent");
    EXPECT_EQ(BodyOf(Child(root.get(), 3)), "ok");
    // the decoded parts have streams of their own; the root's is still the original
    EXPECT_NE(b64->GetStreamName(), root->GetStreamName());
}

TEST_F(MimeTest, UuencodeTransferEncodingSkipsItsBeginLine)
{
    auto root = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n"
                         "--b\nContent-Type: application/octet-stream; name=a\nContent-Transfer-Encoding: x-uuencode\n\n"
                         "begin 644 a\n#86)C\n`\nend\n--b--\n"));
    EXPECT_EQ(BodyOf(Child(root.get(), 0)), "abc");
}

TEST_F(MimeTest, TruncatedBase64KeepsWhatDecodes)
{
    auto root = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n"
                         "--b\nContent-Transfer-Encoding: base64\n\nQUJDQUJ\n--b--\n"));
    ASSERT_EQ(root->m_Children.GetSize(), 1);
    EXPECT_EQ(BodyOf(Child(root.get(), 0)), "ABCAB");
}

TEST_F(MimeTest, SignedMultipart)
{
    std::string text = Crlf("Content-Type: multipart/signed; protocol=\"application/x-pkcs7-signature\"; micalg=sha1; boundary=s\n\n"
                            "--s\nContent-Type: text/plain\n\nsigned text\n"
                            "--s\nContent-Type: application/x-pkcs7-signature\nContent-Transfer-Encoding: base64\n\nU0lH\n"
                            "--s--\n");
    auto root = Run(text);
    ASSERT_EQ(root->m_Children.GetSize(), 1);
    EXPECT_EQ(copying.signedContent, "Content-Type: text/plain\r\n\r\nsigned text");
    EXPECT_EQ(copying.signature, "SIG");
    EXPECT_EQ(BodyOf(Child(root.get(), 0)), "signed text");
    ASSERT_NE(root->m_pResultA, nullptr);
    EXPECT_EQ(MemFileBytes(*root->m_pResultA), std::string("\x06\0\0\0", 4));

    CMimeContext unsupported;
    RunFails<CNotSupportedException>(text, &unsupported);
}

TEST_F(MimeTest, PemBlocks)
{
    std::string text = Crlf("Subject: pem\n\n"
                            "before\n"
                            "-----BEGIN PRIVACY-ENHANCED MESSAGE-----\n"
                            "Proc-Type: 4,ENCRYPTED\n"
                            "\n"
                            "data\n"
                            "-----END PRIVACY-ENHANCED MESSAGE-----\n"
                            "after\n");
    auto root = Run(text);
    EXPECT_EQ(DumpTree(root.get()),
              "kind=0x1 type=\"\" name=\"\" body=\"\"\n"
              "  kind=0x1 type=\"\" name=\"\" body=\"before\"\n"
              "  kind=0x2 type=\"\" name=\"\" body=\"Proc-Type: 4,ENCRYPTED\\r\\n\\r\\ndata\"\n"
              "  kind=0x1 type=\"\" name=\"\" body=\"after\\r\\n\"\n");
    ASSERT_EQ(copying.calls.size(), 1u);
    EXPECT_EQ(copying.calls[0], "pem:Proc-Type: 4,ENCRYPTED\r\n\r\ndata");
    CMessage* pem = Child(root.get(), 1);
    EXPECT_EQ(pem->m_Headers.Find("Proc-Type"), "4,ENCRYPTED");

    // text lines that look like headers stay text
    auto headerish = Run(Crlf("\nKey: value\nmore\n\nrest\n-----BEGIN PRIVACY-ENHANCED MESSAGE-----\n\nx\n"
                              "-----END PRIVACY-ENHANCED MESSAGE-----\n"));
    EXPECT_EQ(BodyOf(Child(headerish.get(), 0)), "Key: value\r\nmore\r\n\r\nrest");

    // a block at the very start has no text before it; one never closed stays text
    auto start = Run(Crlf("\n-----BEGIN PRIVACY-ENHANCED MESSAGE-----\n\nx\n-----END PRIVACY-ENHANCED MESSAGE-----\n"));
    EXPECT_EQ(start->m_Children.GetSize(), 1);
    auto open = Run(Crlf("\ntext\n-----BEGIN PRIVACY-ENHANCED MESSAGE-----\n\nx\n"));
    ASSERT_EQ(open->m_Children.GetSize(), 2);
    EXPECT_EQ(BodyOf(Child(open.get(), 1)), "-----BEGIN PRIVACY-ENHANCED MESSAGE-----\r\n\r\nx\r\n");

    CMimeContext unsupported;
    RunFails<CNotSupportedException>(text, &unsupported);
}

TEST_F(MimeTest, UuencodedAttachmentsInText)
{
    auto root = Run(Crlf("Encoding: 5 TEXT, 3 UUENCODE\n\n"
                         "Here it is:\n"
                         "begin 644 my file.txt\n"
                         "#86)C\n"
                         "`\n"
                         "end\n"
                         "Regards\n"
                         "begin 600 second\n"
                         "#86)C\n"
                         "`\n"
                         "end\n"
                         "\n"));
    EXPECT_EQ(DumpTree(root.get()),
              "kind=0x5 type=\"\" name=\"\" body=\"\"\n"
              "  kind=0x1 type=\"\" name=\"\" body=\"Here it is:\\r\\n\"\n"
              "  kind=0x425 type=\"\" name=\"my file.txt\" body=\"abc\"\n"
              "  kind=0x1 type=\"\" name=\"\" body=\"Regards\\r\\n\"\n"
              "  kind=0x425 type=\"\" name=\"second\" body=\"abc\"\n");
}

TEST_F(MimeTest, BeginLinesThatStartNoBlock)
{
    // not followed by a data line, no mode, a bad mode, or a block never ended
    for (const char* body : {"begin 644 x.txt\nthis is not uuencode\n", "begin x.txt\n#86)C\n", "begin 9 x\n#86)C\n",
                             "begin 644 x\n#86)C\n`\n"}) {
        std::string text = Crlf(std::string("Encoding: UUENCODE\n\nHi\n") + body);
        auto root = Run(text);
        ASSERT_EQ(root->m_Children.GetSize(), 1) << body;
        EXPECT_EQ(BodyOf(Child(root.get(), 0)), text.substr(text.find("Hi"))) << body;
    }
    // a path in the name is kept as it came; making it safe is the writer's job
    auto root = Run(Crlf("Encoding: UUENCODE\n\nbegin 0644 ../../etc/x\n#86)C\n`\nend\n"));
    ASSERT_EQ(root->m_Children.GetSize(), 1);
    EXPECT_EQ(Child(root.get(), 0)->m_strName, "../../etc/x");
}

TEST_F(MimeTest, EmbeddedMessage)
{
    auto root = Run(Crlf("From: outer@x.org\nContent-Type: multipart/mixed; boundary=o\n\n"
                         "--o\nContent-Type: message/rfc822\n\n"
                         "From: Inner <inner@y.org>\nTo: t@y.org\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n"
                         "inner =3D body\n"
                         "--o--\n"));
    ASSERT_EQ(root->m_Children.GetSize(), 1);
    CMessage* wrapper = Child(root.get(), 0);
    EXPECT_EQ(wrapper->m_nKind, 0x63u);
    EXPECT_EQ(BodyOf(wrapper), "");
    ASSERT_EQ(wrapper->m_Children.GetSize(), 1);
    CMessage* inner = Child(wrapper, 0);
    EXPECT_EQ(inner->m_Sender.m_strAddress, "inner@y.org");
    ASSERT_EQ(inner->m_Recipients.GetSize(), 1);
    EXPECT_EQ(BodyOf(inner), "inner = body\r\n");
    EXPECT_EQ(root->m_Sender.m_strAddress, "outer@x.org");
    // parts of a multipart parse no addresses
    EXPECT_EQ(wrapper->m_Sender.m_strAddress, "");
}

TEST_F(MimeTest, Pkcs7WrapperIsReplacedByItsContent)
{
    // "Q29udGVudC1UeXBlOiB0ZXh0L3BsYWluDQoNCnNlY3JldA==" is "Content-Type: text/plain\r\n\r\nsecret"
    std::string text = Crlf("Content-Type: multipart/mixed; boundary=b\n\n"
                            "--b\nContent-Type: text/plain\n\nfirst\n"
                            "--b\nContent-Type: application/x-pkcs7-mime; name=smime.p7m\nContent-Transfer-Encoding: base64\n\n"
                            "Q29udGVudC1UeXBlOiB0ZXh0L3BsYWluDQoNCnNlY3JldA==\n"
                            "--b--\n");
    auto root = Run(text);
    EXPECT_EQ(DumpTree(root.get()),
              "kind=0x33 type=\"multipart/mixed\" name=\"\" body=\"\"\n"
              "  kind=0x13 type=\"text/plain\" name=\"\" body=\"first\"\n"
              "  kind=0x13 type=\"text/plain\" name=\"\" body=\"secret\"\n");
    ASSERT_NE(root->m_pResultA, nullptr);
    EXPECT_EQ(MemFileBytes(*root->m_pResultA), std::string("P7\x07\0\0\0", 6));
    ASSERT_EQ(copying.calls.size(), 1u);
    EXPECT_EQ(copying.calls[0], "pkcs7:Content-Type: text/plain\r\n\r\nsecret");

    CMimeContext unsupported;
    RunFails<CNotSupportedException>(text, &unsupported);
}

TEST_F(MimeTest, Pkcs10Request)
{
    auto root = Run(Crlf("Content-Type: application/x-pkcs10\nContent-Transfer-Encoding: base64\n\ncmVx\n"));
    EXPECT_EQ(root->m_nKind, 0x2B4u);
    ASSERT_EQ(copying.calls.size(), 1u);
    EXPECT_EQ(copying.calls[0], "pkcs10:req");
    // the handler's stream starts with the header block and holds what the context wrote
    EXPECT_EQ(BodyOf(root.get()), "req");
}

TEST_F(MimeTest, NestingIsBounded)
{
    std::string text;
    for (int i = 0; i < kMaxMimeNesting + 5; ++i)
        text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) + "\n";
    text += "\ninnermost\n";
    RunFails<CMIMEEncodingException>(Crlf(text));

    std::string messages;
    for (int i = 0; i < kMaxMimeNesting + 5; ++i)
        messages += "Content-Type: message/rfc822\n\n";
    RunFails<CMIMEEncodingException>(Crlf(messages + "Subject: deep\n\nx\n"));

    // just inside the limit is fine
    std::string ok;
    for (int i = 0; i < kMaxMimeNesting - 1; ++i)
        ok += "Content-Type: message/rfc822\n\n";
    auto root = Run(Crlf(ok + "Subject: deep\n\nx\n"));
    CMessage* m = root.get();
    int depth = 0;
    while (m->m_Children.GetSize() == 1) {
        m = Child(m, 0);
        ++depth;
    }
    EXPECT_EQ(depth, kMaxMimeNesting - 1);
    EXPECT_EQ(BodyOf(m), "x\r\n");
}

TEST_F(MimeTest, PartCountIsBounded)
{
    std::string text = "Content-Type: multipart/mixed; boundary=b\n\n";
    for (int i = 0; i <= kMaxMimeParts; ++i)
        text += "--b\n";
    RunFails<CMIMEEncodingException>(text);
}

TEST_F(MimeTest, OversizedOffsetsAreRefused)
{
    // a root range that claims more than the stream holds reads only what is there
    auto root = f.MakeRoot(Crlf("Content-Type: text/plain\n\nshort\n"));
    root->m_nBodyEnd = 1000;
    root->ProcessRoot(&copying);
    EXPECT_EQ(BodyOf(root.get()), "short\r\n");
}

TEST_F(MimeTest, StreamsGoWithTheirLastReference)
{
    {
        auto root = Run(Crlf("Content-Type: multipart/mixed; boundary=b\n\n"
                             "--b\nContent-Transfer-Encoding: base64\n\naGVsbG8=\n"
                             "--b\nContent-Transfer-Encoding: quoted-printable\n\nq=3D\n"
                             "--b\n\nplain shares the root stream\n"
                             "--b--\n"));
        EXPECT_EQ(f.Folder().CountFiles(), 3);   // the original and two decoded streams
        // siblings that share a stream read correctly, interleaved
        CMessage* plain = Child(root.get(), 2);
        EXPECT_EQ(plain->GetStreamName(), root->GetStreamName());
        char a[5], b[5];
        EXPECT_EQ(plain->ReadBody(a, 5), 5u);
        EXPECT_EQ(Child(root.get(), 0)->ReadBody(b, 5), 5u);
        EXPECT_EQ(std::string(a, 5), "plain");
        EXPECT_EQ(std::string(b, 5), "hello");
        plain->CloseStream();
        Child(root.get(), 0)->CloseStream();
    }
    EXPECT_EQ(f.Folder().CountFiles(), 0);
}

} // namespace
