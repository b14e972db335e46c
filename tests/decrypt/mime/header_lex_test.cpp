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
    // a stateful set across encoded and plain sections
    EXPECT_TRUE(find("a/b; name*0*=iso-2022-jp'ja'%1B%24BF; name*1*=%7C%1B%28B; name*2=.txt", "name"));
    EXPECT_EQ(v, "日.txt");
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
    // adjacent words in one set are joined before conversion: characters split across them
    EXPECT_EQ(AfxDecodeEncodedWords("=?utf-8?Q?caf=C3?= =?UTF-8?Q?=A9?="), "café");
    EXPECT_EQ(AfxDecodeEncodedWords("=?ISO-2022-JP?B?GyRCRg==?=\r\n =?ISO-2022-JP?B?fEtcGyhC?=.txt"), "日本.txt");
    EXPECT_EQ(AfxDecodeEncodedWords("=?iso-8859-1?Q?=E9?= =?utf-8?Q?=C3=A9?= x"), "éé x");
    // 8-bit text outside words, and C1 controls
    EXPECT_TRUE(find("a/b; name=\"\xE9t\xE9 =?utf-8?Q?a=C2=9Bb?=\""));
    EXPECT_EQ(v, "été ab");
    // words cut into plain RFC 2231 sections
    EXPECT_TRUE(find("a/b; name*0=\"=?utf-8?Q?caf=C3?=\"; name*1=\"=?utf-8?Q?=A9.txt?=\""));
    EXPECT_EQ(v, "café.txt");
}

TEST(HeaderLex, Charsets)
{
    // Bytes made with Python's codecs: expected.encode(codec), the codec named in the label
    // or the wider set senders mean by it (cp949 for euc-kr, gbk for gb2312).
    struct Case {
        const char* charset;
        std::string bytes, utf8;
    };
    const Case cases[] = {
        {"iso-2022-jp", "\x1B$BF|K\x5C" "8l\x1B(I6@\x1B(B.txt", "日本語ｶﾀ.txt"},
        {"ISO-2022-JP", "\x1B$BF|K\x5C", "日本"},   // never switched back
        {"x-sjis", "\x95\x5C\x8E\xA6.txt", "表示.txt"},
        {"shift_jis", "\x93\xFA\x93", "日\xEF\xBF\xBD"},   // cut inside a character
        {"euc-jp", "\xC6\xFC\xCB\xDC\xB8\xEC.txt", "日本語.txt"},
        {"ks_c_5601-1987", "\xC7\xD1\xB1\xB9\xBE\xEE.doc", "한국어.doc"},
        {"euc-kr", "\x8C" "c.doc", "똠.doc"},
        {"gb2312", "\xD6\xEC\xE9" "F\xBB\xF9.doc", "朱镕基.doc"},
        {"GB18030", "\x95" "2\x82" "6.txt", "𠀀.txt"},
        {"big5", "\xC1" "c\xC5\xE9.txt", "繁體.txt"},
        {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4.txt", "Привет.txt"},
        {"windows-1251", "\xCE\xF2\xF7\xB8\xF2.xls", "Отчёт.xls"},
        {"windows-1250", "\x8Elu\x9Dou\xE8k\xFD.txt", "Žluťoučký.txt"},
        {"iso-8859-2", "\xA3\xF3" "d\xBC.jpg", "Łódź.jpg"},
        {"iso-8859-7", "\xC5\xEB\xEB\xE7\xED\xE9\xEA\xDC", "Ελληνικά"},
        {"iso-8859-8-i", "\xF9\xEC\xE5\xED.txt", "שלום.txt"},
        {"unicode-1-1-utf-7", "Hi +Jjo!.txt", "Hi ☺!.txt"},
        {"utf-7", "+Jjo", "☺"},   // ends inside its base64 run
        {"x-mac-roman", "caf\x8E.txt", "café.txt"},
        {"x-mac-cyrillic", "\x8C\xE0\xEA", "Мак"},
        {"tis-620", "\xE4\xB7\xC2", "ไทย"},
        {"iso-8859-15", "\xA4", "€"},
        {"iso-8859-1", "\x93q\x94", "“q”"},
        {"utf-8*en", "\xC3\xA9", "é"},
        {"utf-8", "a\xE9" "b", "a\xEF\xBF\xBD" "b"},
        {"utf-8", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},   // a surrogate
        {"x-unknown", "\xC3\xA9", "é"},
        {"x-unknown", "\xE9", "é"},
        {"utf-8//IGNORE", "\xE9", "é"},   // no conversion options through the name
    };
    for (const Case& c : cases)
        EXPECT_EQ(AfxCharsetToUtf8(c.bytes, c.charset).str(), c.utf8) << c.charset;
}

} // namespace
