// The product table and the three settings of the decrypting user in the registry.
#include "decrypt/app/decrypt_app.h"
#include "framework/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

void UseScratchConfigFolder()
{
    char dir[] = "/tmp/qm_shell_cfg_XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ::setenv("XDG_CONFIG_HOME", dir, 1);
}

CString ReadRegistryValue(const char* entry)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer\\USER INFORMATION", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return CString("<missing key>");
    char buf[512] = {};
    DWORD type = 0, size = sizeof buf - 1;
    LONG rc = RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? CString(buf) : CString("<missing value>");
}

TEST(ShellSettings, WrittenTogetherUnderTheProductKeyAndReadBack)
{
    UseScratchConfigFolder();
    CWinApp app("decrypt");
    ASSERT_TRUE(SelectProfileLocation(app, UNSEALER_PRODUCT_NUMBER));
    EXPECT_EQ(g_nProductNumber, 9);
    EXPECT_FALSE(SelectProfileLocation(app, 42));
    EXPECT_EQ(g_nProductNumber, 9);

    DecryptionState state;
    ReadUserSettings(app, state); // nothing stored: the defaults stay
    EXPECT_STREQ(state.m_strDefaultViewer, "NOTEPAD.EXE");
    EXPECT_TRUE(state.m_strKeyFileName.IsEmpty());

    state.m_strKeyFileName = "/home/u/my id.der";
    state.m_strEmailAddress = "u@example.org";
    state.m_strDefaultViewer = "less";
    ASSERT_TRUE(WriteUserSettings(app, state));
    EXPECT_STREQ(ReadRegistryValue("KeyFileName"), "/home/u/my id.der");
    EXPECT_STREQ(ReadRegistryValue("emailAddress"), "u@example.org");
    EXPECT_STREQ(ReadRegistryValue("DefaultViewer"), "less");

    DecryptionState fresh;
    ReadUserSettings(app, fresh);
    EXPECT_STREQ(fresh.m_strKeyFileName, "/home/u/my id.der");
    EXPECT_STREQ(fresh.m_strEmailAddress, "u@example.org");
    EXPECT_STREQ(fresh.m_strDefaultViewer, "less");
    EXPECT_EQ(fresh.m_nOpenSignedContent, 0u);

    // Opening signed content is the user's own setting: read, never written back.
    app.WriteProfileInt(SETTINGS_SECTION, "OpenSignedContent", 1);
    ReadUserSettings(app, fresh);
    EXPECT_EQ(fresh.m_nOpenSignedContent, 1u);
}

} // namespace
