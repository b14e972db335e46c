// The program without a terminal: exit status and standard-error output, run as a process.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/resources.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "framework/ui/dialog.h"
#include "framework/ui/scripted_front_end.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct RunResult {
    int status = -1;
    std::string output;
};

std::string ProgramPath() { return std::string(QM_BINARY_DIR) + "/decrypt"; }

// Runs the program in dir with scratch settings and runtime folders, stdin from /dev/null.
RunResult RunProgram(const std::string& dir, const std::string& args)
{
    std::string cmd = "cd '" + dir + "' && XDG_CONFIG_HOME='" + dir + "/cfg' XDG_DATA_HOME='" + dir +
                      "/data' XDG_RUNTIME_DIR='" + dir + "' '" + ProgramPath() + "' " + args +
                      " </dev/null 2>&1 >/dev/null";
    RunResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string ScratchCopyOfSamples()
{
    char dir[] = "/tmp/qm_shell_batch_XXXXXX";
    if (!::mkdtemp(dir))
        return {};
    std::string cmd = std::string("cp '") + QM_SOURCE_DIR + "/samples/demo.p7m' '" + QM_SOURCE_DIR +
                      "/samples/demo_key.der' '" + QM_SOURCE_DIR + "/samples/demo.sec' '" + QM_SOURCE_DIR +
                      "/samples/demo.P7M' '" + dir + "/'";
    return std::system(cmd.c_str()) == 0 ? std::string(dir) : std::string();
}

class ShellBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access(ProgramPath().c_str(), X_OK) != 0)
            GTEST_SKIP() << "the decrypt program is not built";
        dir = ScratchCopyOfSamples();
        ASSERT_FALSE(dir.empty());
    }
    std::string dir;
};

TEST_F(ShellBatch, EveryFileDecryptedExitsZero)
{
    RunResult r = RunProgram(dir, "--batch --key demo_key.der demo.p7m");
    EXPECT_EQ(r.status, 0) << r.output;
    struct stat st;
    EXPECT_EQ(::stat((dir + "/Decrypt/Msg.txt").c_str(), &st), 0);
}

TEST_F(ShellBatch, FailuresAreCountedAndReportedOnStandardError)
{
    RunResult r = RunProgram(dir, "--batch demo.p7m");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("ERROR:\nQuillmar Postlantern Unsealer cannot decrypt file(s) now.\n"
                            "Decrypting ID is not setup."),
              std::string::npos)
        << r.output;
    struct stat st;
    EXPECT_NE(::stat((dir + "/Decrypt").c_str(), &st), 0); // nothing decrypted

    r = RunProgram(dir, "--batch --key demo_key.der missing.p7m demo.p7m");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.output.find("ERROR:"), std::string::npos) << r.output;
}

TEST_F(ShellBatch, KeyFilesWithAndWithoutPassword)
{
    RunResult r = RunProgram(dir, "--batch --key demo.sec demo.p7m");
    EXPECT_EQ(r.status, 0) << r.output;
    struct stat st;
    EXPECT_EQ(::stat((dir + "/Decrypt/Msg.txt").c_str(), &st), 0);

    // The same ID behind a password, given on a descriptor; a wrong one is refused.
    {
        RegisterDecryptResources();
        ASSERT_TRUE(UseKeyForThisRun((dir + "/demo.sec").c_str()));
        DecryptionState& state = AfxGetDecryptionState();
        state.m_strKeyFileName = (dir + "/locked.sec").c_str();
        ASSERT_EQ(std::system(("cp '" + dir + "/demo.P7M' '" + dir + "/locked.P7M'").c_str()), 0);
        CScriptedFrontEnd ui;
        ui.AnswerBox(IDYES);
        ui.OnDialog(32028, [](CDialog& d) {
            d.HandleEditChange(1002, "open sesame");
            d.HandleCommand(IDOK);
        });
        ASSERT_EQ(SaveKeyFile(nullptr, 0), 1);
        state = DecryptionState();
    }
    ASSERT_EQ(std::system(("mkdir '" + dir + "/two' && cp '" + dir + "/demo.p7m' '" + dir + "/two/'").c_str()), 0);
    ASSERT_EQ(std::system(("cd '" + dir + "' && printf 'open sesame\\n' > right && printf 'open says me\\n' > wrong").c_str()), 0);
    r = RunProgram(dir, "--batch --key locked.sec --password-fd 3 two/demo.p7m 3<right");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(::stat((dir + "/two/Decrypt/Msg.txt").c_str(), &st), 0);

    // A wrong password, none, one with a NUL byte, one longer than a password can be (read no
    // further): no decrypting ID, no file tried, and the reason for each file.
    ASSERT_EQ(std::system(("cd '" + dir + "' && printf 'open\\0sesame\\n' > nul && head -c 100000 /dev/zero | tr '\\0' y > long").c_str()), 0);
    const struct {
        const char* descriptor;
        const char* reason;
    } refusals[] = {
        {"3<wrong", "Cannot unlock file with specified password."},
        {"", "the key file needs its password and none was given"},
        {"3<nul", "the password read from --password-fd holds a NUL byte"},
        {"3</dev/zero", "the password read from --password-fd holds a NUL byte"},
        {"3<long", "is longer than a password can be"},
    };
    for (const auto& refusal : refusals) {
        std::string fd = *refusal.descriptor ? std::string("--password-fd 3 ") : std::string();
        r = RunProgram(dir, "--batch --key locked.sec " + fd + "two/demo.p7m two/demo.p7m " + refusal.descriptor);
        EXPECT_EQ(r.status, kExitNoDecryptingID) << refusal.descriptor << r.output;
        EXPECT_NE(r.output.find(refusal.reason), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("decrypt: two/demo.p7m: no decrypting ID"), std::string::npos) << r.output;
    }
}

TEST_F(ShellBatch, ChangeCommandWritesTheSettingsForLaterRuns)
{
    RunResult r = RunProgram(dir, "--change demo.sec");
    EXPECT_EQ(r.status, 0) << r.output;
    // A later start finds its ID in the settings.
    r = RunProgram(dir, "--batch demo.p7m");
    EXPECT_EQ(r.status, 0) << r.output;
    // A change to a file that is no key file keeps the previous ID.
    r = RunProgram(dir, "--change demo.p7m");
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(std::system(("rm -rf '" + dir + "/Decrypt'").c_str()), 0);
    r = RunProgram(dir, "--batch demo.p7m");
    EXPECT_EQ(r.status, 0) << r.output;
    // Making an ID needs someone to type.
    r = RunProgram(dir, "--new fresh.sec");
    EXPECT_EQ(r.status, 1);
    struct stat st;
    EXPECT_NE(::stat((dir + "/fresh.sec").c_str(), &st), 0);
}

TEST_F(ShellBatch, BadCommandLinesExitWithTheUsageStatus)
{
    RunResult r = RunProgram(dir, "--frobnicate");
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_NE(r.output.find("unknown option"), std::string::npos) << r.output;
    EXPECT_EQ(RunProgram(dir, "--password-fd x a.p7m").status, kExitUsage);
}

} // namespace
