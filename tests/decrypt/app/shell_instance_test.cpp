// The one-instance rule: a second process hands its command line over and ends; the record
// reaching the first carries "PLNT" and the zero-terminated, trimmed command line.
#include "decrypt/app/single_instance.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

void UseScratchRuntimeFolder()
{
    char dir[] = "/tmp/qm_shell_rt_XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ::setenv("XDG_RUNTIME_DIR", dir, 1);
}

TEST(ShellInstance, NoRunningInstanceMeansNoHandOver)
{
    UseScratchRuntimeFolder();
    EXPECT_FALSE(HandOverToRunningInstance("a.sig"));
}

TEST(ShellInstance, SecondProcessHandsOverTrimmedCommandLine)
{
    UseScratchRuntimeFolder();
    CInstanceChannel channel;
    ASSERT_TRUE(ListenForOtherInstances(channel));
    CInstanceChannel other;
    EXPECT_FALSE(ListenForOtherInstances(other)); // the first keeps the socket

    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
        ::_exit(HandOverToRunningInstance("  \"/tmp/my msg.sig\" b.p7m \t") ? 0 : 1);
    std::vector<CInstanceMessage> got;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got.empty() && std::chrono::steady_clock::now() < end) {
        got = channel.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].dwData, HANDOVER_MAGIC);
    const std::string expected = std::string("\"/tmp/my msg.sig\" b.p7m") + '\0';
    EXPECT_EQ(std::string(got[0].data.begin(), got[0].data.end()), expected);
}

TEST(ShellInstance, EmptyCommandLineStillCountsAsHandedOver)
{
    UseScratchRuntimeFolder();
    CInstanceChannel channel;
    ASSERT_TRUE(ListenForOtherInstances(channel));
    std::thread t([] { EXPECT_TRUE(HandOverToRunningInstance("   ")); });
    std::vector<CInstanceMessage> got;
    for (int i = 0; i < 200 && got.empty(); ++i) {
        got = channel.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    t.join();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].data.empty());
}

TEST(ShellInstance, ForeignOrEmptyRecordsAreIgnored)
{
    char text[] = "a.sig";
    EXPECT_FALSE(QueueHandedOverNames(nullptr));
    COPYDATASTRUCT cds{0x41424344u, sizeof text, text};
    EXPECT_FALSE(QueueHandedOverNames(&cds));
    cds = COPYDATASTRUCT{HANDOVER_MAGIC, sizeof text, nullptr};
    EXPECT_FALSE(QueueHandedOverNames(&cds));
    cds = COPYDATASTRUCT{HANDOVER_MAGIC, 0, text};
    EXPECT_FALSE(QueueHandedOverNames(&cds));
}

} // namespace
