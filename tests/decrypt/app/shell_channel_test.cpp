// The instance channel: hand-over between two processes, stale sockets, live sockets, bad peers.
#include "framework/instance_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ScratchSocket(const char* name)
{
    char dir[] = "/tmp/qm_shell_XXXXXX";
    if (!::mkdtemp(dir))
        return {};
    return std::string(dir) + "/" + name;
}

std::vector<CInstanceMessage> PollFor(CInstanceChannel& ch, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::vector<CInstanceMessage> got;
    while (got.empty() && std::chrono::steady_clock::now() < end) {
        got = ch.Poll();
        if (got.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return got;
}

TEST(ShellChannel, SecondProcessHandsOverAndIsAcknowledged)
{
    std::string path = ScratchSocket("instance");
    CInstanceChannel ch;
    ASSERT_TRUE(ch.Listen(path));
    const std::string payload = "/home/u/msg one.sig";
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        AfxSendResult r = AfxSendToInstance(path, 7, payload.data(), DWORD(payload.size()));
        ::_exit(r == AfxSendResult::delivered ? 0 : 1);
    }
    // Acknowledged while this process does not look: the listener answers on its own.
    int status = 0;
    ::waitpid(pid, &status, 0);
    auto got = PollFor(ch, 2000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].dwData, 7u);
    EXPECT_EQ(std::string(got[0].data.begin(), got[0].data.end()), payload);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ShellChannel, NobodyListeningAndLiveOrStaleSockets)
{
    std::string path = ScratchSocket("instance");
    EXPECT_EQ(AfxSendToInstance(path, 1, "x", 1, 200), AfxSendResult::noListener);

    CInstanceChannel first;
    ASSERT_TRUE(first.Listen(path));
    CInstanceChannel second;
    EXPECT_FALSE(second.Listen(path)); // a live instance keeps its socket

    // A socket file left behind by a process that died is taken over.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    std::string stale = ScratchSocket("stale");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    CInstanceChannel third;
    EXPECT_TRUE(third.Listen(stale));
    // A listener that stopped leaves nobody to answer.
    first.Close();
    EXPECT_EQ(AfxSendToInstance(path, 1, "x", 1, 200), AfxSendResult::noListener);

    // A path too long for the socket address is refused rather than truncated.
    EXPECT_FALSE(CInstanceChannel().Listen("/tmp/" + std::string(200, 'a')));
}

TEST(ShellChannel, OversizedOrTruncatedBlocksAreDropped)
{
    std::string path = ScratchSocket("instance");
    CInstanceChannel ch;
    ASSERT_TRUE(ch.Listen(path));
    std::vector<BYTE> big(INSTANCE_CHANNEL_MAX_DATA + 1);
    EXPECT_EQ(AfxSendToInstance(path, 1, big.data(), DWORD(big.size()), 200), AfxSendResult::notTaken);

    // A peer announcing more than it sends, then hanging up.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const BYTE header[8] = {1, 0, 0, 0, 100, 0, 0, 0};
    ASSERT_EQ(::write(fd, header, sizeof header), 8);
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(ch.Poll().empty());

    // Empty blocks still arrive.
    std::thread t([&] { EXPECT_EQ(AfxSendToInstance(path, 3, nullptr, 0), AfxSendResult::delivered); });
    auto got = PollFor(ch, 2000);
    t.join();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].dwData, 3u);
    EXPECT_TRUE(got[0].data.empty());
}

} // namespace
