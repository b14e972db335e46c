#include "decrypt/mime/header_lex.h"

#include <gtest/gtest.h>

namespace {

std::string Norm(const char* v, BOOL keep = FALSE)
{
    return AfxNormalizeHeaderValue(v, keep).str();
}

TEST(HeaderLex, Normalisation)
{
    EXPECT_EQ(Norm("text/plain; charset = us-ascii"), "text/plain;charset=us-ascii");
    EXPECT_EQ(Norm("  a   b\t\tc  "), "a b c");
    EXPECT_EQ(Norm("a (comment (nested) more) b"), "a b");
    EXPECT_EQ(Norm("a(c)b"), "a b");
    EXPECT_EQ(Norm("a (c) ; b"), "a;b");
    EXPECT_EQ(Norm("x; name = \"a  b ; c\" ; y"), "x;name=\"a  b ; c\";y");
    EXPECT_EQ(Norm("\"q\" word"), "\"q\"word");   // blanks next to a quoted string vanish
    EXPECT_EQ(Norm("x \"esc \\\" q\" y"), "x\"esc \\\" q\"y");
    EXPECT_EQ(Norm("Joe (the man) <joe@x.org>", TRUE), "Joe(the man)<joe@x.org>");
    EXPECT_EQ(Norm("unclosed (comment"), "unclosed");
    EXPECT_EQ(Norm("unclosed \"quote"), "unclosed\"quote");
    EXPECT_EQ(Norm("Wed, 12 Jun 1996 10:20:30 +0300"), "Wed,12 Jun 1996 10:20:30 +0300");
}

TEST(HeaderLex, Parameters)
{
    CString v;
    CString value = AfxNormalizeHeaderValue("multipart/signed; protocol=\"application/x-pkcs7-signature\"; micalg=sha1; boundary=\"b1\"", FALSE);
    EXPECT_TRUE(AfxFindHeaderParameter(value, "protocol", v));
    EXPECT_EQ(v, "application/x-pkcs7-signature");
    EXPECT_TRUE(AfxFindHeaderParameter(value, "MICALG", v));
    EXPECT_EQ(v, "sha1");
    EXPECT_TRUE(AfxFindHeaderParameter(value, "boundary", v));
    EXPECT_EQ(v, "b1");
    EXPECT_FALSE(AfxFindHeaderParameter(value, "name", v));
    EXPECT_EQ(v, "");
    // a ';' inside quotes does not start a parameter
    value = AfxNormalizeHeaderValue("a/b; name=\"x;boundary=evil\"; boundary=good", FALSE);
    EXPECT_TRUE(AfxFindHeaderParameter(value, "boundary", v));
    EXPECT_EQ(v, "good");
    EXPECT_TRUE(AfxFindHeaderParameter(value, "name", v));
    EXPECT_EQ(v, "x;boundary=evil");
    // the name must be followed by '='
    value = AfxNormalizeHeaderValue("a/b; names=1; name=2", FALSE);
    EXPECT_TRUE(AfxFindHeaderParameter(value, "name", v));
    EXPECT_EQ(v, "2");
}

TEST(HeaderLex, NamesFromRfc2231)
{
    CString v;
    auto find = [&](const char* header, const char* name) {
        return AfxFindNameParameter(AfxNormalizeHeaderValue(header, FALSE), name, v);
    };
    EXPECT_TRUE(find("attachment; filename*=UTF-8''caf%C3%A9%20menu.pdf", "filename"));
    EXPECT_EQ(v, "caf\xC3\xA9 menu.pdf");
    EXPECT_TRUE(find("attachment; filename*=iso-8859-1'fr'%E9t%E9.txt", "filename"));
    EXPECT_EQ(v, "\xC3\xA9t\xC3\xA9.txt");
    // continuations, in any order, extended and plain mixed
    EXPECT_TRUE(find("a/b; name*1=\"part two\"; name*0*=utf-8''%E2%82%AC; name*2*=%21", "name"));
    EXPECT_EQ(v, "\xE2\x82\xAC" "part two!");
    // the extended form wins over the plain one
    EXPECT_TRUE(find("attachment; filename=\"fallback.txt\"; filename*=UTF-8''real.txt", "filename"));
    EXPECT_EQ(v, "real.txt");
    // a gap ends the continuation
    EXPECT_TRUE(find("a/b; name*0=one; name*2=three", "name"));
    EXPECT_EQ(v, "one");
    // windows-1252 bytes
    EXPECT_TRUE(find("a/b; name*=windows-1252''%80%20%93q%94", "name"));
    EXPECT_EQ(v, "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D");
    // no charset quotes: the text as it is
    EXPECT_TRUE(find("a/b; name*=plain%2Etxt", "name"));
    EXPECT_EQ(v, "plain.txt");
    EXPECT_FALSE(find("a/b; other*=x", "name"));
}

TEST(HeaderLex, NamesFromEncodedWords)
{
    CString v;
    auto find = [&](const char* header) { return AfxFindNameParameter(AfxNormalizeHeaderValue(header, FALSE), "name", v); };
    EXPECT_TRUE(find("a/b; name=\"=?UTF-8?B?w6l0w6kudHh0?=\""));
    EXPECT_EQ(v, "\xC3\xA9t\xC3\xA9.txt");
    EXPECT_TRUE(find("a/b; name=\"=?iso-8859-1?Q?r=E9sum=E9_final.doc?=\""));
    EXPECT_EQ(v, "r\xC3\xA9sum\xC3\xA9 final.doc");
    // two words with blanks between: the blanks go
    EXPECT_TRUE(find("a/b; name=\"=?utf-8?Q?a?= =?utf-8?Q?b?=.txt\""));
    EXPECT_EQ(v, "ab.txt");
    // text around a word stays; a malformed word stays as it is
    EXPECT_TRUE(find("a/b; name=\"x =?utf-8?Q?y?= z\""));
    EXPECT_EQ(v, "x y z");
    EXPECT_TRUE(find("a/b; name=\"=?utf-8?X?bad?=\""));
    EXPECT_EQ(v, "=?utf-8?X?bad?=");
    // control characters never reach a name
    EXPECT_TRUE(find("a/b; name=\"=?utf-8?Q?a=00b=0Ac?=\""));
    EXPECT_EQ(v, "abc");
    EXPECT_EQ(AfxDecodeEncodedWords("=?utf-8*en?q?ok?="), "ok");
}

TEST(HeaderLex, Charsets)
{
    EXPECT_EQ(AfxCharsetToUtf8("\xE9", "ISO-8859-1"), "\xC3\xA9");
    EXPECT_EQ(AfxCharsetToUtf8("\xA4", "iso-8859-15"), "\xE2\x82\xAC");
    EXPECT_EQ(AfxCharsetToUtf8("\xC3\xA9", "utf-8"), "\xC3\xA9");
    EXPECT_EQ(AfxCharsetToUtf8("\xE9", "utf-8"), "\xC3\xA9");          // not UTF-8 after all
    EXPECT_EQ(AfxCharsetToUtf8("\xC3\xA9", "x-unknown"), "\xC3\xA9");
    EXPECT_EQ(AfxCharsetToUtf8("\xED\xA0\x80", "utf-8"), "\xC3\xAD\xC2\xA0\xC2\x80");   // a surrogate is not UTF-8
}

} // namespace
