// The REGEDIT4 text form of the hives: byte-exact output, both line ends, kept lines,
// broken files.
#include "framework/registry.h"

#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

std::string Crlf(const std::string& lf)
{
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

HKEY CreateKey(HKEY root, const char* path)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    return key;
}

void SetString(HKEY key, const char* name, const char* text)
{
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
}

} // namespace

TEST(RegistryHive, WritesTheSettingsKeyByteForByte)
{
    qmtest::ScratchFolder scratch;
    HKEY key = CreateKey(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer\\USER INFORMATION");
    SetString(key, "KeyFileName", "C:\\Keys\\my \"own\".sec");
    SetString(key, "emailAddress", "someone@example.org");
    SetString(key, nullptr, "default");
    DWORD count = 42;
    ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4), ERROR_SUCCESS);
    const BYTE bin[] = {0x0a, 0xff, 0x00};
    ASSERT_EQ(RegSetValueExA(key, "Bytes", 0, REG_BINARY, bin, 3), ERROR_SUCCESS);
    RegCloseKey(key);

    const std::string expected = Crlf(
        "REGEDIT4\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software]\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmar]\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmar\\Unsealer]\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Quillmar\\Unsealer\\USER INFORMATION]\n"
        "\"KeyFileName\"=\"C:\\\\Keys\\\\my \\\"own\\\".sec\"\n"
        "\"emailAddress\"=\"someone@example.org\"\n"
        "@=\"default\"\n"
        "\"Count\"=dword:0000002a\n"
        "\"Bytes\"=hex:0a,ff,00\n"
        "\n");
    EXPECT_EQ(qmtest::ReadText(scratch.Config() + "/HKEY_CURRENT_USER.reg"), expected);
    // The other hive was never touched.
    EXPECT_FALSE(std::filesystem::exists(scratch.Config() + "/HKEY_LOCAL_MACHINE.reg"));
}

TEST(RegistryHive, ContinuesLongHexLinesAtColumn77)
{
    CRegistryHive hive("HKEY_LOCAL_MACHINE");
    CRegistryHive::Value v{"Data", REG_BINARY, {}};
    for (int i = 0; i < 60; ++i)
        v.data += static_cast<char>(i);
    CRegistryHive::SetValue(hive.Create("Software\\Quillmar\\Postlantern"), v);
    CRegistryHive::Value empty{"Empty", REG_BINARY, {}};
    CRegistryHive::SetValue(*hive.Find("software\\quillmar\\postlantern"), empty);
    CRegistryHive::Value expand{"Path", REG_EXPAND_SZ, std::string("%HOME%\0", 7)};
    CRegistryHive::SetValue(*hive.Find("Software\\Quillmar\\Postlantern"), expand);

    const std::string expected = Crlf(
        "REGEDIT4\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Quillmar]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Quillmar\\Postlantern]\n"
        "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
        "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
        "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\n"
        "\"Empty\"=hex:\n"
        "\"Path\"=hex(2):25,48,4f,4d,45,25,00\n"
        "\n");
    std::string text = hive.Save();
    EXPECT_EQ(text, expected);

    // And it reads back to the same values, with CR LF or with LF line ends.
    std::string lf;
    for (char c : text)
        if (c != '\r')
            lf += c;
    for (const std::string& form : {text, lf}) {
        CRegistryHive back("HKEY_LOCAL_MACHINE");
        ASSERT_TRUE(back.Load(form));
        const CRegistryHive::Key* key = back.Find("SOFTWARE\\QUILLMAR\\POSTLANTERN");
        ASSERT_NE(key, nullptr);
        const CRegistryHive::Value* data = CRegistryHive::FindValue(*key, "data");
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->type, REG_BINARY);
        EXPECT_EQ(data->data, v.data);
        EXPECT_EQ(CRegistryHive::FindValue(*key, "Path")->type, REG_EXPAND_SZ);
        EXPECT_EQ(CRegistryHive::FindValue(*key, "Path")->data, expand.data);
        EXPECT_TRUE(CRegistryHive::FindValue(*key, "Empty")->data.empty());
        EXPECT_EQ(back.Save(), text);
    }
}

TEST(RegistryHive, StringsThatTextCannotHoldGoHex)
{
    CRegistryHive hive("HKEY_CURRENT_USER");
    CRegistryHive::Key& key = hive.Create("K");
    CRegistryHive::SetValue(key, {"Lines", REG_SZ, std::string("a\r\nb\0", 5)});
    CRegistryHive::SetValue(key, {"NoNul", REG_SZ, "ab"});
    CRegistryHive::SetValue(key, {"Short", REG_DWORD, "\x01\x02"});
    std::string text = hive.Save();
    EXPECT_NE(text.find("\"Lines\"=hex(1):61,0d,0a,62,00\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"NoNul\"=hex(1):61,62\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Short\"=hex(4):01,02\r\n"), std::string::npos);
    CRegistryHive back("HKEY_CURRENT_USER");
    ASSERT_TRUE(back.Load(text));
    EXPECT_EQ(CRegistryHive::FindValue(*back.Find("k"), "LINES")->data, std::string("a\r\nb\0", 5));
    EXPECT_EQ(CRegistryHive::FindValue(*back.Find("k"), "nonul")->data, "ab");
}

TEST(RegistryHive, ReadsWhatOtherWritersProduce)
{
    // LF line ends, upper-case hex, blanks, a continuation, duplicate sections and values,
    // implied parents, and lines we do not understand.
    const std::string text =
        "REGEDIT4\n"
        "; written by hand\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\A\\B]\n"
        "\"X\"=dword:FF\n"
        "\"Bin\"=hex:01, 02,\\\n"
        "     03\n"
        "; a comment in a key\n"
        "\"Bad\"=dword:123456789\n"
        "\"Str\"=\"one\"\n"
        "[-HKEY_CURRENT_USER\\Software\\Gone]\n"
        "\"Inside\"=\"foreign\"\n"
        "[HKEY_LOCAL_MACHINE\\Other]\n"
        "[hkey_current_user\\software\\a\\b]\n"
        "\"str\"=\"two\"   \n";
    CRegistryHive hive("HKEY_CURRENT_USER");
    ASSERT_TRUE(hive.Load(text));
    const CRegistryHive::Key* key = hive.Find("Software\\A\\B");
    ASSERT_NE(key, nullptr);
    ASSERT_NE(hive.Find("software\\a"), nullptr);
    EXPECT_EQ(CRegistryHive::FindValue(*key, "x")->data, std::string("\xff\0\0\0", 4));
    EXPECT_EQ(CRegistryHive::FindValue(*key, "Bin")->data, "\x01\x02\x03");
    EXPECT_EQ(CRegistryHive::FindValue(*key, "Str")->data, std::string("two\0", 4));
    EXPECT_EQ(CRegistryHive::FindValue(*key, "Bad"), nullptr);
    EXPECT_EQ(CRegistryHive::FindValue(*key, "Inside"), nullptr);
    EXPECT_EQ(hive.Find("Software\\Gone"), nullptr);

    // Writing keeps every line it did not understand, and the result is stable.
    std::string saved = hive.Save();
    for (const char* kept : {"; written by hand\r\n", "; a comment in a key\r\n", "\"Bad\"=dword:123456789\r\n",
                             "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n\"Inside\"=\"foreign\"\r\n", "[HKEY_LOCAL_MACHINE\\Other]\r\n"})
        EXPECT_NE(saved.find(kept), std::string::npos) << kept;
    EXPECT_NE(saved.find("\"X\"=dword:000000ff\r\n\"Bin\"=hex:01,02,03\r\n"), std::string::npos) << saved;
    CRegistryHive again("HKEY_CURRENT_USER");
    ASSERT_TRUE(again.Load(saved));
    EXPECT_EQ(again.Save(), saved);
}

TEST(RegistryHive, RefusesWhatIsNotRegedit4)
{
    CRegistryHive hive("HKEY_CURRENT_USER");
    std::string problem;
    EXPECT_FALSE(hive.Load("Windows Registry Editor Version 5.00\r\n\r\n", &problem));
    EXPECT_NE(problem.find("not a REGEDIT4 file"), std::string::npos);
    EXPECT_FALSE(hive.Load("\xef\xbb\xbfREGEDIT4\r\n", &problem));
    EXPECT_FALSE(hive.Load("\n", &problem));
    EXPECT_TRUE(hive.Load(""));
    EXPECT_TRUE(hive.Load("REGEDIT4"));
    EXPECT_TRUE(hive.Load("REGEDIT4 \r\n"));
}

TEST(RegistryHive, BrokenHiveFileIsReportedAndLeftAlone)
{
    qmtest::ScratchFolder scratch;
    const std::string path = scratch.Config() + "/HKEY_CURRENT_USER.reg";
    const std::string broken = "this is not a hive\r\n[HKEY_CURRENT_USER\\Software]\r\n";
    qmtest::WriteFile(path, broken);

    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_BADDB);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);
    DWORD v = 1;
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_BADDB);
    CString problem = AfxGetRegistryProblem();
    EXPECT_NE(problem.Find(path.c_str()), -1) << problem.c_str();
    EXPECT_NE(problem.Find("not a REGEDIT4 file"), -1);
    EXPECT_EQ(qmtest::ReadText(path), broken);

    // The other hive is unaffected.
    EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
}

TEST(RegistryHive, NamesAreCheckedBeforeTheyReachTheFile)
{
    EXPECT_TRUE(CRegistryHive::IsValidKeyPath("Software\\Quillmar"));
    EXPECT_FALSE(CRegistryHive::IsValidKeyPath("Software\\\\Quillmar"));
    EXPECT_FALSE(CRegistryHive::IsValidKeyPath("a\nb"));
    EXPECT_FALSE(CRegistryHive::IsValidKeyPath(std::string(256, 'k')));
    EXPECT_TRUE(CRegistryHive::IsValidKeyPath(std::string(255, 'k')));
    EXPECT_FALSE(CRegistryHive::IsValidValueName("a\rb"));

    qmtest::ScratchFolder scratch;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\r\nb", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_BAD_PATHNAME);
    DWORD v = 0;
    EXPECT_EQ(RegSetValueExA(HKEY_CURRENT_USER, "x\ny", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_INVALID_PARAMETER);
}

TEST(RegistryHive, KeptLinesEndingInABackslashDoNotSwallowNewValues)
{
    CRegistryHive hive("HKEY_CURRENT_USER");
    ASSERT_TRUE(hive.Load("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"bad\"=hex:zz,\\\r\n\r\n\"ok\"=dword:00000001\r\n"));
    CRegistryHive::Key* key = hive.Find("K");
    ASSERT_NE(key, nullptr);
    EXPECT_NE(CRegistryHive::FindValue(*key, "ok"), nullptr);
    CRegistryHive::SetValue(*key, {"New", REG_DWORD, std::string("\x02\0\0\0", 4)});
    CRegistryHive back("HKEY_CURRENT_USER");
    ASSERT_TRUE(back.Load(hive.Save()));
    const CRegistryHive::Key* k = back.Find("K");
    ASSERT_NE(k, nullptr);
    ASSERT_NE(CRegistryHive::FindValue(*k, "ok"), nullptr);
    ASSERT_NE(CRegistryHive::FindValue(*k, "New"), nullptr);
    EXPECT_EQ(CRegistryHive::FindValue(*k, "New")->data, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(back.Save(), hive.Save());
}
