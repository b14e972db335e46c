// INI-file profiles: lookups, lists, edits that keep the rest of the file, concurrency.
#include "framework/profile.h"

#include "framework/system.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string Get(const char* section, const char* key, const char* def, const std::string& file)
{
    char buffer[256];
    DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer, file.c_str());
    return std::string(buffer, n);
}

const char* const kMapisvc =
    "; MAPI service file\r\n"
    "[Services]\r\n"
    "MSPST AB=Personal Address Book\r\n"
    "  Quoted = \"  spaced  \"  \r\n"
    "Single='x'\r\n"
    "no equals sign here\r\n"
    "\r\n"
    "[Other]\r\n"
    "Key=Value\r\n"
    "[services]\r\n"
    "MSPST AB=second section of the same name\r\n";

} // namespace

TEST(ProfileIni, ReadsValuesAsThePlatformDoes)
{
    qmtest::ScratchFolder scratch;
    const std::string file = scratch.Path("MAPISVC.INF");
    qmtest::WriteFile(file, kMapisvc);

    EXPECT_EQ(Get("services", "mspst ab", "", file), "Personal Address Book");
    EXPECT_EQ(Get(" Services ", "Quoted", "", file), "  spaced  ");
    EXPECT_EQ(Get("Services", "Single", "", file), "x");
    EXPECT_EQ(Get("Services", "no equals sign here", "dflt", file), "dflt");
    EXPECT_EQ(Get("Services", "Missing", "dflt  ", file), "dflt");   // trailing blanks of the default go
    EXPECT_EQ(Get("Services", "Missing", nullptr, file), "");
    EXPECT_EQ(Get("Nowhere", "Key", "d", file), "d");
    EXPECT_EQ(Get("Other", "Key", "d", scratch.Path("missing.ini")), "d");

    // A value cut short by the buffer.
    char small[5];
    EXPECT_EQ(GetPrivateProfileStringA("Other", "Key", "", small, sizeof small, file.c_str()), 4u);
    EXPECT_STREQ(small, "Valu");

    qmtest::WriteFile(file, "[N]\nA=42\nB=-3\nC=12abc\nD=abc\n");
    EXPECT_EQ(GetPrivateProfileIntA("N", "A", 7, file.c_str()), 42u);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("N", "B", 7, file.c_str())), -3);
    EXPECT_EQ(GetPrivateProfileIntA("N", "C", 7, file.c_str()), 12u);
    EXPECT_EQ(GetPrivateProfileIntA("N", "D", 7, file.c_str()), 7u);
    EXPECT_EQ(GetPrivateProfileIntA("N", "E", 7, file.c_str()), 7u);
}

TEST(ProfileIni, ListsSectionsAndKeys)
{
    qmtest::ScratchFolder scratch;
    const std::string file = scratch.Path("list.ini");
    qmtest::WriteFile(file, kMapisvc);
    char buffer[128];
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, nullptr, buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("Services\0Other\0services\0\0", 25));
    n = GetPrivateProfileStringA("Services", nullptr, nullptr, buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("MSPST AB\0Quoted\0Single\0\0", 24));
    // Cut short: what fits, then two NULs, and size - 2.
    n = GetPrivateProfileStringA("Services", nullptr, nullptr, buffer, 12, file.c_str());
    EXPECT_EQ(n, 10u);
    EXPECT_EQ(std::string(buffer, 12), std::string("MSPST AB\0Q\0\0", 12));
}

TEST(ProfileIni, WritesKeepEverythingElse)
{
    qmtest::ScratchFolder scratch;
    const std::string file = scratch.Path("MAPISVC.INF");
    qmtest::WriteFile(file, kMapisvc);

    ASSERT_TRUE(WritePrivateProfileStringA("SERVICES", "PLNTM", "Quillmar Postlantern", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Services", "single", "y", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("PLNTM", "PR_DISPLAY_NAME", "Quillmar Postlantern", file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("PLNTM", "WIZARD_ENTRY_NAME", "PostlanternWizard", file.c_str()));
    EXPECT_EQ(qmtest::ReadText(file),
              "; MAPI service file\r\n"
              "[Services]\r\n"
              "MSPST AB=Personal Address Book\r\n"
              "  Quoted = \"  spaced  \"  \r\n"
              "single=y\r\n"
              "no equals sign here\r\n"
              "PLNTM=Quillmar Postlantern\r\n"
              "\r\n"
              "[Other]\r\n"
              "Key=Value\r\n"
              "[services]\r\n"
              "MSPST AB=second section of the same name\r\n"
              "\r\n"
              "[PLNTM]\r\n"
              "PR_DISPLAY_NAME=Quillmar Postlantern\r\n"
              "WIZARD_ENTRY_NAME=PostlanternWizard\r\n");

    // A null value deletes the key, and writing it back restores the value.
    ASSERT_TRUE(WritePrivateProfileStringA("Services", "MSPST AB", nullptr, file.c_str()));
    EXPECT_EQ(Get("Services", "MSPST AB", "gone", file), "gone");
    ASSERT_TRUE(WritePrivateProfileStringA("Services", "MSPST AB", "Personal Address Book", file.c_str()));
    EXPECT_EQ(Get("Services", "MSPST AB", "", file), "Personal Address Book");

    // A null key deletes every section of the name with its lines.
    ASSERT_TRUE(WritePrivateProfileStringA("services", nullptr, nullptr, file.c_str()));
    std::string text = qmtest::ReadText(file);
    EXPECT_EQ(text.find("Services"), std::string::npos);
    EXPECT_EQ(text.find("services"), std::string::npos);
    EXPECT_EQ(text.rfind("; MAPI service file\r\n[Other]\r\nKey=Value\r\n", 0), 0u) << text;

    // Nothing to delete: no change, success.
    EXPECT_TRUE(WritePrivateProfileStringA("Absent", nullptr, nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "v", file.c_str()));
}

TEST(ProfileIni, LineEndsAndRefusedNames)
{
    qmtest::ScratchFolder scratch;
    const std::string lf = scratch.Path("lf.ini");
    qmtest::WriteFile(lf, "[A]\nx=1\n");
    ASSERT_TRUE(WritePrivateProfileStringA("A", "y", "2", lf.c_str()));
    EXPECT_EQ(qmtest::ReadText(lf), "[A]\nx=1\ny=2\n");

    // A new file is CR LF; a bare name lands in the config folder.
    ASSERT_TRUE(WritePrivateProfileStringA("Sec", "k", "v", "app.INI"));
    EXPECT_EQ(qmtest::ReadText(scratch.Config() + "/app.INI"), "[Sec]\r\nk=v\r\n");
    EXPECT_EQ(Get("sec", "K", "", "app.INI"), "v");

    for (auto [s, k, v] : {std::tuple{"A", "bad\nkey", "v"}, {"A", "k", "two\r\nlines"}, {"A]", "k", "v"}, {"A", "k=x", "v"},
                           {"A", ";k", "v"}, {"A", "[k", "v"}}) {
        SetLastError(0);
        EXPECT_FALSE(WritePrivateProfileStringA(s, k, v, lf.c_str())) << k;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(qmtest::ReadText(lf), "[A]\nx=1\ny=2\n");
}

TEST(ProfileIni, TwoProcessesWritingAtOnceLoseNothing)
{
    qmtest::ScratchFolder scratch;
    const std::string file = scratch.Path("shared.ini");
    constexpr int kKeys = 25;
    pid_t pids[2];
    for (int p = 0; p < 2; ++p) {
        pids[p] = ::fork();
        if (pids[p] == 0) {
            for (int i = 0; i < kKeys; ++i) {
                std::string key = "K" + std::to_string(p) + "_" + std::to_string(i);
                if (!WritePrivateProfileStringA(p ? "Second" : "First", key.c_str(), std::to_string(i).c_str(), file.c_str()))
                    ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kKeys; ++i)
            EXPECT_EQ(Get(p ? "Second" : "First", ("K" + std::to_string(p) + "_" + std::to_string(i)).c_str(), "lost", file),
                      std::to_string(i));
}
