#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/transfer_decoders.h"

#include "mime_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every decoder runs at these read-buffer sizes, with a source that hands out pieces of
// the same size, because faults hide at chunk edges.
class DecoderTest : public ::testing::TestWithParam<UINT> {
protected:
    UINT Buf() const { return GetParam(); }

    std::string Base64(const std::string& text, int skip = 1, DWORD length = 0)
    {
        CChunkedMemFile src(text, Buf());
        CMemFile dst;
        DecodeBase64(&src, &dst, length, skip, Buf());
        return MemFileBytes(dst);
    }
    // Decodes and expects the MIME exception; returns what was written before it.
    std::string Base64Fails(const std::string& text, int skip = 1)
    {
        CChunkedMemFile src(text, Buf());
        CMemFile dst;
        try {
            DecodeBase64(&src, &dst, 0, skip, Buf());
        } catch (CMIMEEncodingException* e) {
            e->Delete();
            return MemFileBytes(dst);
        }
        ADD_FAILURE() << "no exception for \"" << text << "\"";
        return MemFileBytes(dst);
    }
    std::string Base64Tolerant(const std::string& text, CDecodeReport* report = nullptr)
    {
        CChunkedMemFile src(text, Buf());
        CMemFile dst;
        DecodeBase64Tolerant(&src, &dst, 0, report, Buf());
        return MemFileBytes(dst);
    }
    std::string Qp(const std::string& text, DWORD length = 0)
    {
        CChunkedMemFile src(text, Buf());
        CMemFile dst;
        DecodeQuotedPrintable(&src, &dst, length, Buf());
        return MemFileBytes(dst);
    }
    std::string Uu(const std::string& text, DWORD length = 0, DWORD* count = nullptr, long long* endPos = nullptr)
    {
        CChunkedMemFile src(text, Buf());
        CMemFile dst;
        DWORD n = DecodeUuencode(&src, &dst, length, Buf());
        if (count)
            *count = n;
        if (endPos)
            *endPos = src.GetPosition();
        EXPECT_EQ(n, dst.GetLength());
        return MemFileBytes(dst);
    }
};

INSTANTIATE_TEST_SUITE_P(ReadBuffers, DecoderTest, ::testing::Values(1u, 16u, 1024u, 4096u));

// ---- base64 -----------------------------------------------------------------------------

TEST_P(DecoderTest, Base64QuadsAndPads)
{
    EXPECT_EQ(Base64("QUJD"), "ABC");
    EXPECT_EQ(Base64("QUI="), "AB");
    EXPECT_EQ(Base64("QQ=="), "A");
    EXPECT_EQ(Base64(""), "");
    // decoding goes on after a short quad
    EXPECT_EQ(Base64("QQ==QUJD"), "AABC");
    // '=' in the middle of a quad adds no bits: the data characters pack from the top
    EXPECT_EQ(Base64("Q=U="), "A@");
    EXPECT_EQ(Base64("=QUJ"), "AB@");   // three data characters fill three bytes from the top
}

TEST_P(DecoderTest, Base64LineBreaks)
{
    EXPECT_EQ(Base64("QU\r\nJD"), "ABC");
    EXPECT_EQ(Base64("\r\nQ\nU\rJ\r\nD\r\n\r\n"), "ABC");
    EXPECT_EQ(Base64Fails("QU\r\nJD", 0), "");
    EXPECT_EQ(Base64Fails("QUJD\n", 0), "ABC");
}

TEST_P(DecoderTest, Base64BadInput)
{
    EXPECT_EQ(Base64Fails("Q==="), "");
    EXPECT_EQ(Base64Fails("===="), "");
    EXPECT_EQ(Base64Fails("*UJD"), "");
    EXPECT_EQ(Base64Fails("QUJDQU*D"), "ABC");   // what came before the fault is kept
    EXPECT_EQ(Base64Fails("QUJD QUJD"), "ABC");
    EXPECT_EQ(Base64Fails(std::string("QUJ\xC4", 4)), "");
    EXPECT_EQ(Base64Fails(std::string("QU\0D", 4)), "");
    // text ending inside a quad
    EXPECT_EQ(Base64Fails("QUJDR"), "ABC");
    EXPECT_EQ(Base64Fails("QUJDQUJ"), "ABC");
    EXPECT_EQ(Base64Fails("QUJDQUJDQU\r\n"), "ABCABC");
}

TEST_P(DecoderTest, Base64Length)
{
    // only the given number of source bytes is decoded, from the current position
    CChunkedMemFile src("xxQUJDQUJD", Buf());
    src.Seek(2, CFile::begin);
    CMemFile dst;
    DecodeBase64(&src, &dst, 4, 1, Buf());
    EXPECT_EQ(MemFileBytes(dst), "ABC");
    EXPECT_EQ(src.GetPosition(), 6);
    // length 0: from the current position to the end
    CChunkedMemFile src2("xxQUJDQUJD", Buf());
    src2.Seek(6, CFile::begin);
    CMemFile dst2;
    DecodeBase64(&src2, &dst2, 0, 1, Buf());
    EXPECT_EQ(MemFileBytes(dst2), "ABC");
    // decoded bytes are appended at the destination's position
    CChunkedMemFile src3("QUJD", Buf());
    CMemFile dst3;
    dst3.Write("12", 2);
    DecodeBase64(&src3, &dst3, 0, 1, Buf());
    EXPECT_EQ(MemFileBytes(dst3), "12ABC");
}

TEST_P(DecoderTest, Base64AgreesWithOpenssl)
{
    std::string raw = ReadFileBytes(MimeDataPath("b64_random.bin"));
    EXPECT_EQ(Base64(ReadFileBytes(MimeDataPath("b64_random.txt"))), raw);
    EXPECT_EQ(Base64(ReadFileBytes(MimeDataPath("b64_random_crlf.txt"))), raw);
    EXPECT_EQ(Base64(ReadFileBytes(MimeDataPath("b64_random_oneline.txt")), 0), raw);
    EXPECT_EQ(Base64Tolerant(ReadFileBytes(MimeDataPath("b64_random_crlf.txt"))), raw);
}

TEST_P(DecoderTest, Base64TolerantKeepsWhatDecodes)
{
    struct Case {
        std::string text, bytes;
        DWORD skipped;
        bool cutShort;
    };
    // The first group agrees with Python's base64.b64decode(text, validate=False); the
    // second with no Python result (it raises, or stops at the first pad).
    const Case cases[] = {
        {"QUJD", "ABC", 0, false},
        {"QU\r\nJD \t\n", "ABC", 0, false},
        {"QU*JD", "ABC", 1, false},
        {std::string("Q\xFF\xFEUJD-_\0", 9), "ABC", 5, false},
        {"QUI=", "AB", 0, false},
        {"QQ==", "A", 0, false},
        {"=QUJD", "ABC", 0, false},
        {"====", "", 0, false},
        {"", "", 0, false},

        {"QQ==QUJD", "AABC", 0, false},
        {"QQ=QUJD", "AABC", 0, false},
        {"QQ", "A", 0, true},
        {"QUJDQUJ\r\n", "ABCAB", 0, true},
        {"QUJDQ", "ABC", 0, true},
        {"Q===QUJD", "ABC", 0, true},
    };
    for (const Case& c : cases) {
        CDecodeReport report;
        EXPECT_EQ(Base64Tolerant(c.text, &report), c.bytes) << c.text;
        EXPECT_EQ(report.nSkipped, c.skipped) << c.text;
        EXPECT_EQ(report.bCutShort != FALSE, c.cutShort) << c.text;
    }
    EXPECT_EQ(Base64Tolerant("QU#JD"), "ABC");   // the report is optional
}

// ---- quoted-printable -------------------------------------------------------------------

TEST_P(DecoderTest, QpBasics)
{
    EXPECT_EQ(Qp("a=3Db  \r\n"), "a=b\r\n");
    EXPECT_EQ(Qp("abc=\r\ndef\r\n"), "abcdef\r\n");
    EXPECT_EQ(Qp("abc=  \t\r\ndef\r\n"), "abcdef\r\n");   // blanks after a soft break
    EXPECT_EQ(Qp("=E9=e9=eA\r\n"), "\xE9\xE9\xEA\r\n");
    EXPECT_EQ(Qp("x=20\r\n"), "x \r\n");                  // an encoded blank stays
    EXPECT_EQ(Qp("\r\n\r\n"), "\r\n\r\n");
    EXPECT_EQ(Qp(""), "");
}

TEST_P(DecoderTest, QpLiteralEquals)
{
    EXPECT_EQ(Qp("=4x\r\n"), "=4x\r\n");
    EXPECT_EQ(Qp("a = b\r\n"), "a = b\r\n");
    EXPECT_EQ(Qp("100%=\r\n"), "100%");
    EXPECT_EQ(Qp("==41\r\n"), "=A\r\n");
    EXPECT_EQ(Qp("=A\r\n"), "=A\r\n");
    EXPECT_EQ(Qp("=A"), "=A\r\n");
    EXPECT_EQ(Qp("end="), "end");
    EXPECT_EQ(Qp("=G1 \r\n"), "=G1\r\n");
}

TEST_P(DecoderTest, QpZeroByteKeepsTheLine)
{
    EXPECT_EQ(Qp("a=00b=00\r\nc\r\n"), std::string("a\0b\0\r\nc\r\n", 9));
}

TEST_P(DecoderTest, QpLineEnds)
{
    // bare LF ends a line like CR LF, however long the text
    std::string para(2000, 'x');
    EXPECT_EQ(Qp("one\ntwo  \n" + para + "\n"), "one\r\ntwo\r\n" + para + "\r\n");
    // a long CR LF line is not cut
    EXPECT_EQ(Qp(para + "\r\n"), para + "\r\n");
    // a CR on its own is an ordinary character; a final CR ends the line
    EXPECT_EQ(Qp("a\rb\r\n"), "a\rb\r\n");
    EXPECT_EQ(Qp("a\r\r\n"), "a\r\r\n");
    EXPECT_EQ(Qp("ab\r"), "ab\r\n");
    // a last line without terminator still gets its line end
    EXPECT_EQ(Qp("ab"), "ab\r\n");
    EXPECT_EQ(Qp("ab\r\n  "), "ab\r\n\r\n");
}

TEST_P(DecoderTest, QpBlankRuns)
{
    std::string blanks(3000, ' ');
    EXPECT_EQ(Qp("a" + blanks + "\r\n"), "a\r\n");
    EXPECT_EQ(Qp("a" + blanks + "b\r\n"), "a" + blanks + "b\r\n");
    EXPECT_EQ(Qp("a \t \tb\t\r\n"), "a \t \tb\r\n");
    // memory stays bounded: of a run longer than the 4096 blanks held back, those go out
    EXPECT_EQ(Qp("a" + blanks + blanks + "\r\n"), "a" + std::string(4096, ' ') + "\r\n");
}

TEST_P(DecoderTest, QpLength)
{
    CChunkedMemFile src("skip=41=42\r\nrest", Buf());
    src.Seek(4, CFile::begin);
    CMemFile dst;
    DecodeQuotedPrintable(&src, &dst, 8, Buf());
    EXPECT_EQ(MemFileBytes(dst), "AB\r\n");
    // the length ends the line between CR and LF
    EXPECT_EQ(Qp("ab\r\ncd", 3), "ab\r\n");
}

TEST_P(DecoderTest, QpAgreesWithPython)
{
    EXPECT_EQ(Qp(ReadFileBytes(MimeDataPath("qp_sample.txt"))), ReadFileBytes(MimeDataPath("qp_sample.bin")));
}

// ---- uuencode ---------------------------------------------------------------------------

TEST_P(DecoderTest, UuLines)
{
    EXPECT_EQ(Uu("#86)C\n"), "abc");
    EXPECT_EQ(Uu("#86)C\r\n#86)C\r\n`\r\nend\r\n"), "abcabc");
    EXPECT_EQ(Uu("`\n#86)C\n"), "");
    EXPECT_EQ(Uu(" \n#86)C\n"), "");
    EXPECT_EQ(Uu(""), "");
    EXPECT_EQ(Uu("#86)C"), "abc");
    // "end" and an empty line stop as well
    EXPECT_EQ(Uu("#86)C\nend\n#86)C\n"), "abc");
    EXPECT_EQ(Uu("#86)C\n\n#86)C\n"), "abc");
    // LF CR counts as one terminator
    EXPECT_EQ(Uu("#86)C\n\r#86)C\n"), "abcabc");
}

TEST_P(DecoderTest, UuShortAndLongLines)
{
    // missing characters count as zero bits: "#86" is 'a' and two bytes of the missing rest
    EXPECT_EQ(Uu("#86\n"), std::string("a`\0", 3));
    EXPECT_EQ(Uu("#\n"), std::string(3, '\0'));
    // the count decides how many bytes a line gives, even when more characters follow
    EXPECT_EQ(Uu("!86)C\n"), "a");
    // a line longer than a data line is read up to its limit, the rest is skipped
    std::string line = "M" + std::string(200, '!') + "\n#86)C\n";
    std::string out = Uu(line);
    EXPECT_EQ(out.size(), 45u + 3u);
    EXPECT_EQ(out.substr(45), "abc");
}

TEST_P(DecoderTest, UuCountAndPosition)
{
    DWORD n = 0;
    long long pos = 0;
    std::string text = "#86)C\r\n#86)C\r\n`\r\nmore text\r\n";
    EXPECT_EQ(Uu(text, 0, &n, &pos), "abcabc");
    EXPECT_EQ(n, 6u);
    EXPECT_EQ(pos, 17);   // just after the zero-count line
    // a length stops decoding at the limit
    EXPECT_EQ(Uu(text, 7, &n, &pos), "abc");
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(Uu(text, 10), std::string("abca`\0", 6));   // a line cut by the limit is a short line
}

TEST_P(DecoderTest, UuAgreesWithPython)
{
    EXPECT_EQ(Uu(ReadFileBytes(MimeDataPath("uu_random.txt"))), ReadFileBytes(MimeDataPath("uu_random.bin")));
}

TEST(UuencodeLine, Recognition)
{
    std::string sixty(60, 'A');
    EXPECT_TRUE(IsUuencodeLine(("M" + sixty).c_str()));
    EXPECT_FALSE(IsUuencodeLine(("N" + sixty).c_str()));
    EXPECT_FALSE(IsUuencodeLine(("M" + sixty.substr(1) + "a").c_str()));
    EXPECT_TRUE(IsUuencodeLine("`"));
    EXPECT_TRUE(IsUuencodeLine("#86)C"));
    EXPECT_TRUE(IsUuencodeLine("#86"));   // three characters reach the count of 3
    EXPECT_FALSE(IsUuencodeLine("$86"));
    EXPECT_FALSE(IsUuencodeLine(""));
    EXPECT_FALSE(IsUuencodeLine(nullptr));
    EXPECT_FALSE(IsUuencodeLine("#86)\xC3"));
    EXPECT_TRUE(IsUuencodeLine("#86)`"));
}

TEST(MimeEncodingException, SharedInstanceSurvivesDelete)
{
    CMIMEEncodingException* first = nullptr;
    for (int i = 0; i < 2; ++i) {
        try {
            AfxThrowMIMEEncodingException();
        } catch (CException* e) {
            ASSERT_TRUE(e->IsKindOf(RUNTIME_CLASS(CMIMEEncodingException)));
            if (!first)
                first = static_cast<CMIMEEncodingException*>(e);
            EXPECT_EQ(e, first);
            EXPECT_EQ(e->GetErrorText(), "Invalid symbol is detected during MIME encoding/decoding.");
            e->Delete();
        }
    }
}

} // namespace
