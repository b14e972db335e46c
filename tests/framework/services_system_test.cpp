// System services: clock and zone, locale formats, platform id, temporary names, folders,
// libraries, programs and locked file replacement.
#include "framework/system.h"

#include "tests/support/scratch.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <cmath>
#include <sys/stat.h>
#include <time.h>

TEST(ServicesSystem, TicksAndClock)
{
    // Milliseconds of the monotonic clock: between two readings of it, and moving on.
    auto monotonicMs = [] {
        timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<DWORD>(static_cast<unsigned long long>(ts.tv_sec) * 1000ull + ts.tv_nsec / 1000000);
    };
    const DWORD before = monotonicMs();
    const DWORD a = GetTickCount();
    const DWORD after = monotonicMs();
    EXPECT_LE(a - before, after - before);
    EXPECT_TRUE(qmtest::WaitUntil([&] { return GetTickCount() != a; }));

    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    EXPECT_EQ(utc.wYear, tm.tm_year + 1900);
    EXPECT_GE(utc.wMonth, 1);
    EXPECT_LE(utc.wMonth, 12);
    EXPECT_LT(utc.wMilliseconds, 1000);
    EXPECT_EQ(utc.wDayOfWeek, tm.tm_wday);
}

TEST(ServicesSystem, TimeZoneBiasFollowsTheLocalZone)
{
    qmtest::ScratchFolder scratch;
    struct Case {
        const char* tz;
        LONG bias;
    };
    for (Case c : {Case{"UTC0", 0}, Case{"CET-1", -60}, Case{"EST5", 300}, Case{"IST-5:30", -330},
                   // Summer time the whole year: the bias includes it.
                   Case{"AAA-1BBB,J1/0,J365/25", -120}}) {
        scratch.SetEnv("TZ", c.tz);
        EXPECT_EQ(AfxGetTimeZoneBias(), c.bias) << c.tz;
    }
    scratch.SetEnv("TZ", "EST5");
    SYSTEMTIME utc{}, local{};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    int diff = (utc.wHour * 60 + utc.wMinute) - (local.wHour * 60 + local.wMinute);
    if (diff < 0)
        diff += 24 * 60;
    EXPECT_NEAR(diff, 300, 1);
    scratch.SetEnv("TZ", nullptr);
    tzset();
}

TEST(ServicesSystem, LocaleDateAndTimeFormats)
{
    qmtest::ScratchFolder scratch;
    scratch.SetEnv("LC_ALL", "C");
    SYSTEMTIME t{1996, 12, 0 /* wrong on purpose */, 31, 23, 59, 7, 0};
    EXPECT_EQ(AfxFormatLongDate(t), "Tuesday, December 31, 1996");
    EXPECT_EQ(AfxFormatTime(t, TRUE), "23:59:07");
    EXPECT_EQ(AfxFormatTime(t, FALSE), "23:59");
    SYSTEMTIME leap{2024, 2, 0, 29, 0, 5, 0, 0};
    EXPECT_EQ(AfxFormatLongDate(leap), "Thursday, February 29, 2024");
    EXPECT_EQ(AfxFormatTime(leap, FALSE), "00:05");
}

TEST(ServicesSystem, RandomBytes)
{
    unsigned char a[64] = {}, b[64] = {};
    ASSERT_TRUE(AfxGetOSRandomBytes(a, sizeof a));
    ASSERT_TRUE(AfxGetOSRandomBytes(b, sizeof b));
    EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
    EXPECT_TRUE(AfxGetOSRandomBytes(a, 0));
}

TEST(ServicesSystem, PlatformIdCanBeForced)
{
    OSVERSIONINFOA info{};
    EXPECT_FALSE(GetVersionExA(&info));   // the size must be set
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(info.dwOSVersionInfoSize, sizeof info);
    AfxForcePlatformId(VER_PLATFORM_WIN32s);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32s);
    AfxForcePlatformId(-1);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
}

TEST(ServicesSystem, TemporaryNamesAndFolders)
{
    qmtest::ScratchFolder scratch;
    char path[_MAX_PATH];
    DWORD n = GetTempPathA(sizeof path, path);
    EXPECT_EQ(std::string(path, n), scratch.Path("tmp/"));
    EXPECT_EQ(GetTempPathA(3, path), n + 1);   // too small: the size needed

    char name[_MAX_PATH], second[_MAX_PATH];
    UINT unique = GetTempFileNameA(scratch.Path("tmp").c_str(), "stgXYZ", 0, name);
    ASSERT_NE(unique, 0u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "/stg%X.TMP", unique);
    EXPECT_EQ(std::string(name), scratch.Path("tmp") + expected);
    EXPECT_EQ(GetFileAttributesA(name), FILE_ATTRIBUTE_ARCHIVE);   // created, reserved
    ASSERT_NE(GetTempFileNameA(scratch.Path("tmp").c_str(), "stg", 0, second), 0u);
    EXPECT_STRNE(name, second);
    EXPECT_EQ(GetTempFileNameA(scratch.Path("tmp/").c_str(), "st", 0x1A2B, second), 0x1A2Bu);
    EXPECT_EQ(std::string(second), scratch.Path("tmp/st1A2B.TMP"));
    EXPECT_EQ(GetFileAttributesA(second), INVALID_FILE_ATTRIBUTES);   // only named
    EXPECT_EQ(GetTempFileNameA(scratch.Path("missing").c_str(), "stg", 0, second), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // Folders: owner-only, refused when present, removed when empty.
    std::string dir = scratch.Path("Decrypt");
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(CreateDirectoryA(dir.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    qmtest::WriteFile(dir + "/Msg.txt", "x");
    EXPECT_FALSE(RemoveDirectoryA(dir.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(DeleteFileA(dir.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(MoveFileA((dir + "/Msg.txt").c_str(), (dir + "/.hidden").c_str()));
    EXPECT_EQ(GetFileAttributesA((dir + "/.hidden").c_str()), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
    qmtest::WriteFile(dir + "/other", "y");
    EXPECT_FALSE(MoveFileA((dir + "/other").c_str(), (dir + "/.hidden").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(DeleteFileA((dir + "/.hidden").c_str()));
    ASSERT_TRUE(DeleteFileA((dir + "/other").c_str()));
    EXPECT_FALSE(DeleteFileA((dir + "/other").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(RemoveDirectoryA(dir.c_str()));
    EXPECT_EQ(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES);

    char cwd[_MAX_PATH * 4];
    DWORD len = GetCurrentDirectoryA(sizeof cwd, cwd);
    ASSERT_GT(len, 0u);
    std::string old(cwd, len);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.Root().c_str()));
    len = GetCurrentDirectoryA(sizeof cwd, cwd);
    EXPECT_EQ(std::filesystem::canonical(std::string(cwd, len)), std::filesystem::canonical(scratch.Root()));
    EXPECT_EQ(GetCurrentDirectoryA(1, cwd), len + 1);
    ASSERT_TRUE(SetCurrentDirectoryA(old.c_str()));
    EXPECT_FALSE(SetCurrentDirectoryA(scratch.Path("nowhere").c_str()));
}

TEST(ServicesSystem, PerUserFolders)
{
    qmtest::ScratchFolder scratch;
    char sys[_MAX_PATH * 4];
    UINT n = GetSystemDirectoryA(sys, sizeof sys);
    EXPECT_EQ(std::string(sys, n), scratch.Path("data/quillmar/system"));
    EXPECT_TRUE(std::filesystem::is_directory(sys));
    EXPECT_EQ(GetSystemDirectoryA(sys, 4), n + 1);

    EXPECT_EQ(std::string(AfxGetConfigFolder()), scratch.Path("config/quillmar"));
    scratch.SetEnv("XDG_CONFIG_HOME", "relative/ignored");
    scratch.SetEnv("HOME", scratch.Root());
    EXPECT_EQ(std::string(AfxGetConfigFolder()), scratch.Path(".config/quillmar"));
    scratch.SetEnv("XDG_DATA_HOME", nullptr);
    n = GetSystemDirectoryA(sys, sizeof sys);
    EXPECT_EQ(std::string(sys, n), scratch.Path(".local/share/quillmar/system"));

    CString runtime = AfxGetRuntimeFolder();
    EXPECT_EQ(std::string(runtime), scratch.Path("run/quillmar"));
    struct stat st;
    ASSERT_EQ(stat(runtime, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A runtime folder open to others is refused.
    chmod(runtime, 0755);
    EXPECT_TRUE(AfxGetRuntimeFolder().IsEmpty());
}

TEST(ServicesSystem, LibrariesLoadFromTheSystemFolderToo)
{
    qmtest::ScratchFolder scratch;
    HMODULE libm = LoadLibraryA("libm.so.6");
    ASSERT_NE(libm, nullptr) << AfxGetLibraryError().c_str();
    auto cosine = reinterpret_cast<double (*)(double)>(GetProcAddress(libm, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(GetProcAddress(libm, "NoSuchEntryPoint"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    char path[4096];
    DWORD n = GetModuleFileNameA(libm, path, sizeof path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(AfxGetModulePathOf(reinterpret_cast<const void*>(cosine)).IsEmpty(), FALSE);

    EXPECT_EQ(LoadLibraryA("mapi32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_FALSE(AfxGetLibraryError().IsEmpty());

    // A library in the system folder answers to its platform name.
    char sys[4096];
    GetSystemDirectoryA(sys, sizeof sys);
    std::filesystem::copy_file(std::filesystem::canonical(std::string(path, n)), std::string(sys) + "/libmapi32.so");
    HMODULE mapi = LoadLibraryA("MAPI32.DLL");
    ASSERT_NE(mapi, nullptr) << AfxGetLibraryError().c_str();
    EXPECT_NE(GetProcAddress(mapi, "cos"), nullptr);
    EXPECT_TRUE(FreeLibrary(mapi));
    EXPECT_TRUE(FreeLibrary(libm));
    EXPECT_FALSE(FreeLibrary(nullptr));

    n = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_NE(std::string(path, n).find("framework_tests"), std::string::npos);
}

TEST(ServicesSystem, CommandLinesSplitAndJoin)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(AfxSplitCommandLine("  a  \"b c\"\td "), (V{"a", "b c", "d"}));
    EXPECT_EQ(AfxSplitCommandLine("\"/tmp/my mail.sig\" x.p7m"), (V{"/tmp/my mail.sig", "x.p7m"}));
    EXPECT_EQ(AfxSplitCommandLine(R"(a\\\"b "c""d" e\f \\"g h")"), (V{"a\\\"b", "c\"d", "e\\f", "\\g h"}));
    EXPECT_EQ(AfxSplitCommandLine("\"\""), (V{""}));
    EXPECT_TRUE(AfxSplitCommandLine("   ").empty());
    EXPECT_TRUE(AfxSplitCommandLine(nullptr).empty());
    for (const V& args : {V{"plain", "with blank", "quote\"inside", "trailing\\", "dir with\\", ""}}) {
        CString line = AfxJoinCommandLine(args);
        EXPECT_EQ(AfxSplitCommandLine(line), args) << line.c_str();
    }
}

TEST(ServicesSystem, ProgramsStartInTheirFolderAndReportFailures)
{
    qmtest::ScratchFolder scratch;
    DWORD code = 0;
    ASSERT_TRUE(AfxStartProcess("/bin/sh -c \"exit 7\"", nullptr, &code, TRUE));
    EXPECT_EQ(code, 7u);
    ASSERT_TRUE(AfxStartProcess("sh -c \"pwd > where.txt\"", scratch.Root().c_str(), &code, TRUE));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(std::filesystem::canonical(scratch.Path("where.txt")).parent_path(), std::filesystem::canonical(scratch.Root()));
    ASSERT_TRUE(AfxStartProcess("/bin/sh -c \"kill -9 $$\"", nullptr, &code, TRUE));
    EXPECT_EQ(code, 128u + 9u);

    // The administration program missing, not executable, or its folder missing.
    std::string admin = scratch.Path("PLNTMAdmin.exe");
    EXPECT_FALSE(AfxStartProcess(("\"" + admin + "\"").c_str(), scratch.Root().c_str(), &code, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    qmtest::WriteFile(admin, "#!/bin/sh\nexit 3\n");
    EXPECT_FALSE(AfxStartProcess(admin.c_str(), nullptr, &code, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    chmod(admin.c_str(), 0700);
    ASSERT_TRUE(AfxStartProcess(admin.c_str(), scratch.Root().c_str(), &code, TRUE));
    EXPECT_EQ(code, 3u);
    EXPECT_FALSE(AfxStartProcess(admin.c_str(), scratch.Path("gone").c_str(), &code, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
    EXPECT_FALSE(AfxStartProcess("   ", nullptr, &code, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    // Without waiting: returns at once, the program goes on by itself.
    ASSERT_TRUE(AfxStartProcess("sh -c \"sleep 0.05; echo done > later.txt\"", scratch.Root().c_str(), &code, FALSE));
    EXPECT_TRUE(qmtest::WaitUntil([&] { return std::filesystem::exists(scratch.Path("later.txt")); }));
    EXPECT_FALSE(AfxStartProcess("/nonexistent/program", nullptr, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(ServicesSystem, LockedEditsReplaceFilesWhole)
{
    qmtest::ScratchFolder scratch;
    const std::string file = scratch.Path("settings.txt");
    // Unchanged: nothing is written; an error comes back untouched and writes nothing.
    EXPECT_EQ(AfxEditFileLocked(file.c_str(), [](std::string&, BOOL exists) { return exists ? ERROR_SUCCESS : AFX_EDIT_UNCHANGED; }),
              ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(AfxEditFileLocked(file.c_str(), [](std::string& c, BOOL) { c = "x"; return ERROR_BADDB; }), ERROR_BADDB);
    EXPECT_FALSE(std::filesystem::exists(file));

    ASSERT_EQ(AfxEditFileLocked(file.c_str(), [](std::string& c, BOOL exists) { c = exists ? "bad" : "one"; return ERROR_SUCCESS; }),
              ERROR_SUCCESS);
    EXPECT_EQ(qmtest::ReadText(file), "one");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A replaced file keeps its mode; a link is followed and stays a link.
    chmod(file.c_str(), 0640);
    std::filesystem::create_symlink(file, scratch.Path("link.txt"));
    ASSERT_EQ(AfxEditFileLocked(scratch.Path("link.txt").c_str(), [](std::string& c, BOOL) { c += "+two"; return ERROR_SUCCESS; }),
              ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_symlink(scratch.Path("link.txt")));
    EXPECT_EQ(qmtest::ReadText(file), "one+two");
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    std::string content;
    ASSERT_TRUE(AfxReadWholeFile(file.c_str(), content));
    EXPECT_EQ(content, "one+two");
    EXPECT_FALSE(AfxReadWholeFile(file.c_str(), content, 3));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(AfxReadWholeFile(scratch.Path("none").c_str(), content));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}
