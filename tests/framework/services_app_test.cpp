// The application object: its profile in the registry and in the INI file, and its loop.
#include "framework/app.h"

#include "framework/profile.h"
#include "framework/window.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace {

class TestApp : public CWinApp {
public:
    TestApp() : CWinApp("Unsealer") {}
    int idles = 0;
    BOOL OnIdle(long count) override
    {
        ++idles;
        if (count == 0)
            PostQuitMessage(5);
        return FALSE;
    }
    int ExitInstance() override { return CWinApp::ExitInstance() + 100; }
};

// The profile round trip both locations must give.
void CheckProfile(CWinApp& app)
{
    EXPECT_EQ(app.GetProfileString("USER INFORMATION", "DefaultViewer", "NOTEPAD.EXE"), "NOTEPAD.EXE");
    ASSERT_TRUE(app.WriteProfileString("USER INFORMATION", "KeyFileName", "/home/me/keys/mine.sec"));
    ASSERT_TRUE(app.WriteProfileString("USER INFORMATION", "emailAddress", "me@example.org"));
    EXPECT_EQ(app.GetProfileString("user information", "keyfilename"), "/home/me/keys/mine.sec");

    ASSERT_TRUE(app.WriteProfileInt("Counters", "Runs", -7));
    EXPECT_EQ(static_cast<int>(app.GetProfileInt("Counters", "Runs", 0)), -7);
    EXPECT_EQ(app.GetProfileInt("Counters", "Missing", 9), 9u);

    const BYTE serial[] = {0x00, 0x01, 0xfe, 0xff, 0x5a};
    ASSERT_TRUE(app.WriteProfileBinary("SERIAL NUMBERS", "SN_0123", serial, sizeof serial));
    BYTE* data = nullptr;
    UINT bytes = 0;
    ASSERT_TRUE(app.GetProfileBinary("SERIAL NUMBERS", "SN_0123", &data, &bytes));
    ASSERT_EQ(bytes, sizeof serial);
    EXPECT_EQ(std::memcmp(data, serial, bytes), 0);
    delete[] data;
    EXPECT_FALSE(app.GetProfileBinary("SERIAL NUMBERS", "SN_none", &data, &bytes));
    EXPECT_EQ(data, nullptr);
    EXPECT_FALSE(app.GetProfileBinary("USER INFORMATION", "KeyFileName", &data, &bytes));   // not binary

    // Deleting an entry, then a whole section.
    ASSERT_TRUE(app.WriteProfileString("USER INFORMATION", "emailAddress", nullptr));
    EXPECT_EQ(app.GetProfileString("USER INFORMATION", "emailAddress", "none"), "none");
    ASSERT_TRUE(app.WriteProfileString("USER INFORMATION", nullptr, nullptr));
    EXPECT_EQ(app.GetProfileString("USER INFORMATION", "KeyFileName", "none"), "none");
    EXPECT_EQ(static_cast<int>(app.GetProfileInt("Counters", "Runs", 0)), -7);
}

} // namespace

TEST(ServicesApp, ProfileInTheRegistry)
{
    qmtest::ScratchFolder scratch;
    TestApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(AfxGetWinApp(), &app);
    app.SetRegistryKey("Quillmar");
    EXPECT_STREQ(app.m_pszProfileName, "Unsealer");
    // Reading creates nothing.
    EXPECT_EQ(app.GetProfileString("USER INFORMATION", "KeyFileName", "d"), "d");
    EXPECT_FALSE(std::filesystem::exists(scratch.Config() + "/HKEY_CURRENT_USER.reg"));

    CheckProfile(app);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer\\Counters", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Runs", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    RegCloseKey(key);
    EXPECT_NE(qmtest::ReadText(scratch.Config() + "/HKEY_CURRENT_USER.reg").find("\"SN_0123\"=hex:00,01,fe,ff,5a\r\n"),
              std::string::npos);

    // The profile part can be changed after the company is set.
    app.m_pszProfileName = "Postlantern";
    ASSERT_TRUE(app.WriteProfileString("S", "E", "v"));
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar\\Postlantern\\S", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST(ServicesApp, ProfileInTheIniFileWithoutARegistryKey)
{
    qmtest::ScratchFolder scratch;
    TestApp app;
    ASSERT_NE(app.m_pszProfileName, nullptr);
    app.m_pszProfileName = "Unsealer.INI";
    CheckProfile(app);
    std::string text = qmtest::ReadText(scratch.Config() + "/Unsealer.INI");
    // Binary entries: one letter per half-byte, low half first.
    EXPECT_NE(text.find("SN_0123=AABAOPPPKF\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Runs=-7\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(scratch.Config() + "/HKEY_CURRENT_USER.reg"));

    // Malformed binary text is refused, not half-read.
    ASSERT_TRUE(WritePrivateProfileStringA("SERIAL NUMBERS", "Bad", "AAZ", "Unsealer.INI"));
    BYTE* data = nullptr;
    UINT bytes = 0;
    EXPECT_FALSE(app.GetProfileBinary("SERIAL NUMBERS", "Bad", &data, &bytes));
}

TEST(ServicesApp, RunLoopsUntilQuitAndEndsWithExitInstance)
{
    TestApp app;
    char arg0[] = "decrypt", arg1[] = "/tmp/a b.sig", arg2[] = "c.p7m";
    char* argv[] = {arg0, arg1, arg2};
    app.SetCommandLine(3, argv);
    EXPECT_STREQ(app.m_lpCmdLine, "\"/tmp/a b.sig\" c.p7m");
    EXPECT_EQ(app.Run(), 105);
    EXPECT_EQ(app.m_nExitCode, 5);
    EXPECT_GE(app.idles, 1);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}
