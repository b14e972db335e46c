// The program on a terminal, as a user meets it: the main screen through a pseudo-terminal,
// commands typed by their keys (Enter alone, q, commands that are off), a path pasted as a
// dropped file, a second start of the program handing its file to the running one, and a
// new ID with its password typed unseen, twice.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ProgramPath() { return std::string(QM_BINARY_DIR) + "/decrypt"; }

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// TRUE when a waiting prompt was written over: "> " followed by anything but its line end.
bool PromptOverwritten(const std::string& screen)
{
    for (size_t at = screen.find("> \r"); at != std::string::npos; at = screen.find("> \r", at + 1))
        if (at + 3 >= screen.size() || screen[at + 3] != '\n')
            return true;
    return false;
}

// The program running on a pseudo-terminal in a scratch folder with scratch settings.
class CScreen {
public:
    CScreen(const std::string& dir, const std::vector<std::string>& args) : m_dir(dir)
    {
        struct winsize ws = {40, 120, 0, 0};
        m_pid = ::forkpty(&m_master, nullptr, nullptr, &ws);
        if (m_pid == 0) {
            if (::chdir(dir.c_str()) != 0)
                ::_exit(126);
            ::setenv("XDG_CONFIG_HOME", (dir + "/cfg").c_str(), 1);
            ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
            ::setenv("TERM", "dumb", 1);
            std::vector<char*> argv;
            std::string program = ProgramPath();
            argv.push_back(program.data());
            std::vector<std::string> copy = args;
            for (auto& a : copy)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~CScreen()
    {
        if (m_pid > 0 && !m_exited) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }
    bool Started() const { return m_pid > 0; }

    // Reads the screen until `text` appears after what was already seen; false on timeout.
    bool WaitFor(const std::string& text, int ms = 5000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            size_t at = m_screen.find(text, m_seen);
            if (at != std::string::npos) {
                m_seen = at + text.size();
                return true;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return false;
            struct pollfd p = {m_master, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            char buf[4096];
            ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                return false;
            m_screen.append(buf, static_cast<size_t>(n));
        }
    }
    void Type(const std::string& keys) { ASSERT_EQ(::write(m_master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
    // The exit status once the program ended within ms, else -1.
    int Wait(int ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            char buf[4096];
            struct pollfd p = {m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0)
                    m_screen.append(buf, static_cast<size_t>(n));
            }
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            }
        }
        return -1;
    }
    const std::string& Screen() const { return m_screen; }

private:
    std::string m_dir;
    pid_t m_pid = -1;
    int m_master = -1;
    bool m_exited = false;
    std::string m_screen;
    size_t m_seen = 0;
};

class ShellScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::access(ProgramPath().c_str(), X_OK) != 0)
            GTEST_SKIP() << "the decrypt program is not built";
        char tmpl[] = "/tmp/qm_shell_screen_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        std::string cmd = "mkdir -p '" + dir + "/in' '" + dir + "/later' && cp '" + QM_SOURCE_DIR +
                          "/samples/demo.p7m' '" + QM_SOURCE_DIR + "/samples/demo_key.der' '" + dir +
                          "/' && cp '" + dir + "/demo.p7m' '" + dir + "/in/pasted message.p7m' && base64 '" + dir +
                          "/demo.p7m' > '" + dir + "/later/handed.sig'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    void TearDown() override
    {
        if (!dir.empty())
            std::system(("rm -rf '" + dir + "'").c_str());
    }
    std::string dir;
};

TEST_F(ShellScreen, CommandsPasteAndHandOverFromASecondStart)
{
    CScreen screen(dir, {"--key", "demo_key.der"});
    ASSERT_TRUE(screen.Started());
    ASSERT_TRUE(screen.WaitFor("== Quillmar Postlantern Unsealer ==")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("demo_key.der")) << screen.Screen();   // the ID's name
    ASSERT_TRUE(screen.WaitFor("[D]ecrypt  [V]iew...  [C]hange...  [N]ew...  [A]bout  [H]elp  C[l]ose")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));

    // The About box, and back.
    screen.Type("a\n");
    ASSERT_TRUE(screen.WaitFor("== About Unsealer ==")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("Quillmar Postlantern Unsealer Version 1.0"));
    screen.Type("\n");
    ASSERT_TRUE(screen.WaitFor("== Quillmar Postlantern Unsealer ==")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));

    // A path pasted on the screen is a dropped file.
    screen.Type("'" + dir + "/in/pasted message.p7m'\n");
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Exists(dir + "/in/Decrypt/Msg.txt") && std::chrono::steady_clock::now() < end)
        screen.WaitFor("\x01", 50);
    EXPECT_TRUE(Exists(dir + "/in/Decrypt/Msg.txt")) << screen.Screen();

    // A second start with a .sig file hands it over and ends at once, without a screen.
    std::string second = "cd '" + dir + "' && XDG_CONFIG_HOME='" + dir + "/cfg' XDG_DATA_HOME='" + dir +
                         "/data' XDG_RUNTIME_DIR='" + dir + "' '" + ProgramPath() + "' '" + dir +
                         "/later/handed.sig' </dev/null >/dev/null 2>&1";
    // It returns on its own (the first instance is still running): the hand-over was taken.
    EXPECT_EQ(std::system(second.c_str()), 0);
    end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Exists(dir + "/later/Decrypt/Msg.txt") && std::chrono::steady_clock::now() < end)
        screen.WaitFor("\x01", 50);
    EXPECT_TRUE(Exists(dir + "/later/Decrypt/Msg.txt")) << screen.Screen();
    // Its progress went below the waiting prompt, and its bar reached the end.
    ASSERT_TRUE(screen.WaitFor("finished")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("[####################]")) << screen.Screen();
    EXPECT_FALSE(PromptOverwritten(screen.Screen())) << screen.Screen();

    // A start without files only finds the running one.
    std::string bare = "cd '" + dir + "' && XDG_CONFIG_HOME='" + dir + "/cfg' XDG_DATA_HOME='" + dir +
                       "/data' XDG_RUNTIME_DIR='" + dir + "' '" + ProgramPath() + "' </dev/null >/dev/null 2>&1";
    EXPECT_EQ(std::system(bare.c_str()), 0);

    // "Close" answers to L ("&Change..." has C).
    screen.Type("l\n");
    EXPECT_EQ(screen.Wait(5000), 0) << screen.Screen();
}

TEST_F(ShellScreen, WithoutAnIdTheCommandsThatNeedOneAreOff)
{
    CScreen screen(dir, {});
    ASSERT_TRUE(screen.Started());
    ASSERT_TRUE(screen.WaitFor("[No ID Set]")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("([D]ecrypt)  ([V]iew...)")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("d\n");
    ASSERT_TRUE(screen.WaitFor("Decrypt needs a decrypting ID: use New or Change.")) << screen.Screen();
    // Pasted paths are not taken as drops either.
    screen.Type("'" + dir + "/demo.p7m'\n");
    ASSERT_TRUE(screen.WaitFor("> "));
    // Enter alone does nothing (no file dialog); q closes the screen.
    screen.Type("\n");
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("q\n");
    EXPECT_EQ(screen.Wait(5000), 0) << screen.Screen();
    EXPECT_EQ(screen.Screen().find("Open file"), std::string::npos) << screen.Screen();
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
}

TEST_F(ShellScreen, NewIdIsMadeFromKeysTypedOnTheTerminal)
{
    CScreen screen(dir, {"--new", dir + "/me.sec"});
    ASSERT_TRUE(screen.Started());
    ASSERT_TRUE(screen.WaitFor("== Create a New Digital ID ==")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("1\n");
    ASSERT_TRUE(screen.WaitFor("Enter a name for this ID:"));
    screen.Type("Terminal ID\n");
    ASSERT_TRUE(screen.WaitFor("[C]reate ID...")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("c\n");
    ASSERT_TRUE(screen.WaitFor("== Making a New Digital ID ==")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("(OK)  [C]ancel")) << screen.Screen();   // not before the phrase
    // The phrase key by key, as raw key presses with their times; typed again, it replaces
    // the first attempt.
    for (const char* phrase : {"Random Gen", "Random Generation"}) {
        ASSERT_TRUE(screen.WaitFor("> "));
        screen.Type("1\n");
        ASSERT_TRUE(screen.WaitFor("then click OK. "));
        for (char c : std::string(phrase)) {
            screen.Type(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        screen.Type("\r");
    }
    ASSERT_TRUE(screen.WaitFor("[O]K  [C]ancel")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("o\n");
    ASSERT_TRUE(screen.WaitFor("Protect keys with password?", 60000)) << screen.Screen();
    screen.Type("y\n");
    // The password twice, unseen; typings that differ are asked again.
    for (const char* typed : {"Sesame1", "Sesame2", "Sesame1", "Sesame1"}) {
        ASSERT_TRUE(screen.WaitFor("== Verify password ==")) << screen.Screen();
        ASSERT_TRUE(screen.WaitFor("> "));
        screen.Type("1\n");
        ASSERT_TRUE(screen.WaitFor("assword: ")) << screen.Screen();
        screen.Type(std::string(typed) + "\r");
        ASSERT_TRUE(screen.WaitFor("*******\r\n")) << screen.Screen();
        ASSERT_TRUE(screen.WaitFor("> "));
        screen.Type("\n");   // Enter: OK
        if (std::string(typed) == "Sesame2") {
            ASSERT_TRUE(screen.WaitFor("The two passwords differ.")) << screen.Screen();
            screen.Type("\n");
        }
    }
    ASSERT_TRUE(screen.WaitFor("Create certificate file ==")) << screen.Screen();
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("2\n");
    ASSERT_TRUE(screen.WaitFor("ddress: ")) << screen.Screen();
    screen.Type("me@example.org\n");
    ASSERT_TRUE(screen.WaitFor("> "));
    screen.Type("c\n");
    EXPECT_EQ(screen.Wait(20000), 0) << screen.Screen();
    struct stat st;
    ASSERT_EQ(::stat((dir + "/me.sec").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(Exists(dir + "/me.P7M"));
    EXPECT_EQ(screen.Screen().find("Sesame"), std::string::npos) << screen.Screen();
    std::ofstream(dir + "/password") << "Sesame1\n";

    // The new ID is the decrypting ID of later starts.
    std::string view = "cd '" + dir + "' && XDG_CONFIG_HOME='" + dir + "/cfg' XDG_DATA_HOME='" + dir +
                       "/data' XDG_RUNTIME_DIR='" + dir + "' '" + ProgramPath() + "' --batch --password-fd 3 demo.p7m 2>&1 3<password";
    FILE* p = ::popen(view.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512];
    std::string out;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    // The demo message is not for this ID: it is refused, but not for want of an ID.
    EXPECT_NE(::pclose(p), 0);
    EXPECT_EQ(out.find("Decrypting ID is not setup."), std::string::npos) << out;
    EXPECT_EQ(out.find("no decrypting ID"), std::string::npos) << out;
}

}  // namespace
