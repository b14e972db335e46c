// The program without a terminal: exit status and standard-error output, run as a process.
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
                      "/samples/demo_key.der' '" + dir + "/'";
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

TEST_F(ShellBatch, BadCommandLinesExitTwo)
{
    RunResult r = RunProgram(dir, "--frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("unknown option"), std::string::npos) << r.output;
    EXPECT_EQ(RunProgram(dir, "--password-fd x a.p7m").status, 2);
}

} // namespace
