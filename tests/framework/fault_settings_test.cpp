// Settings on a bad day: the configuration folder cannot be written, the disk fills up while
// a hive is rewritten, and two instances of the program save their settings at the same
// moment. The settings already saved stay whole, a write that did not happen says so, and
// concurrent writers lose nothing.
#include "framework/app.h"
#include "framework/registry.h"

#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SettingsApp : public CWinApp {
public:
    SettingsApp() : CWinApp("Unsealer") {}
};

template <typename Body>
int InChild(Body body, bool unprivileged = false)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

LONG SetString(const char* name, const std::string& value)
{
    HKEY key = nullptr;
    LONG r = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer\\Settings", 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS)
        return r;
    r = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return r;
}

std::string GetString(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quillmar\\Unsealer\\Settings", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    std::string value(1 << 20, '\0');
    DWORD type = 0, size = static_cast<DWORD>(value.size());
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS)
        return "<missing>";
    value.resize(size ? size - 1 : 0);
    return value;
}

}  // namespace

TEST(FaultSettings, AReadOnlyConfigurationFolderRefusesTheWriteAndKeepsTheHive)
{
    qmtest::ScratchFolder scratch;
    ASSERT_EQ(SetString("KeyFile", "/home/u/keys/me.key"), ERROR_SUCCESS);
    const std::string hive = scratch.Config() + "/HKEY_CURRENT_USER.reg";
    const std::string before = qmtest::ReadText(hive);
    ASSERT_FALSE(before.empty());
    // The folder and the hive belong to the user but are read-only now.
    std::filesystem::path root = std::filesystem::path(scratch.Config()).parent_path().parent_path();
    for (auto& entry : std::filesystem::recursive_directory_iterator(root))
        chmod(entry.path().c_str(), entry.is_directory() ? 0555 : 0444);
    chmod(root.c_str(), 0755);

    int status = InChild([] {
        if (SetString("KeyFile", "/elsewhere.key") == ERROR_SUCCESS)
            return 1;   // reported as saved but cannot be
        return GetString("KeyFile") == "/home/u/keys/me.key" ? 0 : 2;
    }, true);
    for (auto& entry : std::filesystem::recursive_directory_iterator(root))
        chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(qmtest::ReadText(hive), before);
    EXPECT_EQ(GetString("KeyFile"), "/home/u/keys/me.key");
}

TEST(FaultSettings, ADiskFillingUpDuringAWriteKeepsTheSavedSettings)
{
    qmtest::ScratchFolder scratch;
    ASSERT_EQ(SetString("KeyFile", "/home/u/keys/me.key"), ERROR_SUCCESS);
    ASSERT_EQ(SetString("Viewer", "less"), ERROR_SUCCESS);
    const std::string hive = scratch.Config() + "/HKEY_CURRENT_USER.reg";
    const std::string before = qmtest::ReadText(hive);
    for (rlim_t limit : {rlim_t(0), rlim_t(10), rlim_t(before.size()), rlim_t(before.size() + 100)}) {
        SCOPED_TRACE(limit);
        int status = InChild([limit] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit r{limit, limit};
            setrlimit(RLIMIT_FSIZE, &r);
            // A value far larger than the room left.
            return SetString("Big", std::string(200000, 'x')) == ERROR_SUCCESS ? 1 : 0;
        });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(qmtest::ReadText(hive), before);
        EXPECT_EQ(GetString("KeyFile"), "/home/u/keys/me.key");
        EXPECT_EQ(GetString("Big"), "<missing>");
    }
    // With room the next write goes through and leaves no temporary file behind.
    ASSERT_EQ(SetString("Big", "small now"), ERROR_SUCCESS);
    EXPECT_EQ(GetString("Viewer"), "less");
    EXPECT_FALSE(std::filesystem::exists(hive + ".tmp"));
}

TEST(FaultSettings, TwoInstancesSavingTheirProfilesAtOnceLoseNothing)
{
    qmtest::ScratchFolder scratch;
    constexpr int kRounds = 30;
    auto instance = [](char tag) {
        return [tag] {
            SettingsApp app;
            app.SetRegistryKey("Quillmar");
            for (int i = 0; i < kRounds; ++i) {
                std::string entry = std::string(1, tag) + std::to_string(i);
                BYTE digest[16];
                for (int k = 0; k < 16; ++k)
                    digest[k] = static_cast<BYTE>(tag + i + k);
                if (!app.WriteProfileString("Settings", entry.c_str(), ("value " + entry).c_str()) ||
                    !app.WriteProfileInt("Counters", entry.c_str(), i) ||
                    !app.WriteProfileBinary("Digests", entry.c_str(), digest, sizeof digest))
                    return 1;
            }
            return 0;
        };
    };
    pid_t a = ::fork();
    if (a == 0)
        ::_exit(instance('A')());
    pid_t b = ::fork();
    if (b == 0)
        ::_exit(instance('B')());
    int sa = 0, sb = 0;
    ::waitpid(a, &sa, 0);
    ::waitpid(b, &sb, 0);
    ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0);
    ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0);

    SettingsApp app;
    app.SetRegistryKey("Quillmar");
    for (char tag : {'A', 'B'}) {
        for (int i = 0; i < kRounds; ++i) {
            std::string entry = std::string(1, tag) + std::to_string(i);
            EXPECT_EQ(app.GetProfileString("Settings", entry.c_str(), "").str(), "value " + entry);
            EXPECT_EQ(app.GetProfileInt("Counters", entry.c_str(), -1), static_cast<UINT>(i));
            CByteArray digest;
            ASSERT_TRUE(app.GetProfileBinary("Digests", entry.c_str(), digest)) << entry;
            ASSERT_EQ(digest.GetSize(), 16);
            EXPECT_EQ(digest[15], static_cast<BYTE>(tag + i + 15));
        }
    }
}
