// The product table and the three settings of the decrypting user in the registry.
#include "decrypt/app/decrypt_app.h"
#include "framework/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

// The key file is stored by its absolute name; a relative one from an earlier version is
// looked for in the home folder, and when it is not there the reason is told.
TEST(ShellSettings, KeyFileNameIsStoredAbsoluteAndOldRelativeOnesAreResolved)
{
    UseScratchConfigFolder();
    const std::string home = std::getenv("XDG_CONFIG_HOME");
    ASSERT_EQ(::mkdir((home + "/ids").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((home + "/ids/dir.sec").c_str(), 0700), 0);
    std::ofstream(home + "/ids/me.sec") << "key";
    const struct {
        const char* stored;
        std::string resolved;
        const char* reason;   // the end of the problem, or nullptr when there is none
    } cases[] = {
        {"/abs/me.sec", "/abs/me.sec", nullptr},
        {"ids/me.sec", home + "/ids/me.sec", nullptr},
        {"ids/gone.sec", home + "/ids/gone.sec", ": there is no such file."},
        {"ids/dir.sec", home + "/ids/dir.sec", ": it is a folder."},
    };
    for (const auto& c : cases) {
        CString problem;
        EXPECT_EQ(std::string(ResolveStoredKeyFileName(c.stored, home.c_str(), problem).c_str()), c.resolved)
            << c.stored;
        const std::string text = problem.c_str();
        if (c.reason)
            EXPECT_NE(text.find(std::string("\"") + c.stored + "\" (from an earlier version), taken in the home folder as " +
                                c.resolved + c.reason),
                      std::string::npos)
                << text;
        else
            EXPECT_TRUE(text.empty()) << text;
    }

    CWinApp app("decrypt");
    ASSERT_TRUE(SelectProfileLocation(app, UNSEALER_PRODUCT_NUMBER));
    DecryptionState state;
    state.m_strKeyFileName = "ids/me.sec";
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_TRUE(WriteUserSettings(app, state));
    EXPECT_EQ(std::string(ReadRegistryValue("KeyFileName").c_str()), std::string(cwd) + "/ids/me.sec");
    CString problem;

    // An old relative entry found in the home folder is stored absolute from then on.
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", home.c_str(), 1);
    app.WriteProfileString(SETTINGS_SECTION, "KeyFileName", "ids/me.sec");
    ReadUserSettings(app, state, &problem);
    EXPECT_TRUE(problem.IsEmpty());
    EXPECT_EQ(std::string(state.m_strKeyFileName.c_str()), home + "/ids/me.sec");
    EXPECT_EQ(std::string(ReadRegistryValue("KeyFileName").c_str()), home + "/ids/me.sec");
    ::setenv("HOME", oldHome.c_str(), 1);
}

} // namespace
