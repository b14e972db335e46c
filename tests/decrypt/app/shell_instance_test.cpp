// The one-instance rule: a second process hands its files over and ends; the record reaching
// the first carries "PLNT" and each name, absolute, ended by a zero byte. Once taken, the
// names are the running instance's alone.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/decrypt_dlg.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/single_instance.h"
#include "decrypt/core/content_processing.h"
#include "framework/ui/scripted_front_end.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

CStringArray Names(std::initializer_list<const char*> names)
{
    CStringArray a;
    for (const char* n : names)
        a.Add(n);
    return a;
}

class ShellInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDecryptResources();
        char tmpl[] = "/tmp/qm_shell_rt_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir + "/cfg").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
        ASSERT_EQ(::mkdir((dir + "/work").c_str(), 0700), 0);
        std::string cmd = "cp '" + std::string(QM_SOURCE_DIR) + "/samples/demo.p7m' '" + QM_SOURCE_DIR +
                          "/samples/demo_key.der' '" + dir + "/work/'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        AfxGetDecryptionState() = DecryptionState();
    }
    void TearDown() override
    {
        AfxGetDecryptionState() = DecryptionState();
        std::system(("rm -rf '" + dir + "'").c_str());
    }

    // Starts the program as a later start would, in `folder`, without a terminal; returns
    // its exit status.
    int StartInFolder(const std::string& folder, std::vector<const char*> args)
    {
        pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(folder.c_str()) != 0)
                ::_exit(99);
            CScriptedFrontEnd ui;
            args.insert(args.begin(), "decrypt");
            CDecryptOptions options = ParseDecryptOptions(static_cast<int>(args.size()), args.data());
            CDecryptApp app(options, FALSE);
            app.InitInstance();
            ::_exit(app.m_bNotHandedOver ? kExitNotHandedOver : 0);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string dir;
};

TEST_F(ShellInstance, NoRunningInstanceMeansNoHandOver)
{
    EXPECT_EQ(HandOverToRunningInstance(Names({"a.sig"})), HandOver::noInstance);
}

// Names survive whatever they hold; relative ones are made absolute in the sender's folder.
TEST_F(ShellInstance, EachNameArrivesAbsoluteAndWhole)
{
    const struct {
        const char* given;
        std::string queued;
    } cases[] = {
        {"msg.sig", "/home/u/msg.sig"},
        {"/tmp/my msg.sig", "/tmp/my msg.sig"},
        {" \"quoted\" name .p7m ", "/home/u/ \"quoted\" name .p7m "},
        {"../up\\tab\t.p7m", "/home/u/../up\\tab\t.p7m"},
    };
    CStringArray given;
    for (const auto& c : cases)
        given.Add(c.given);
    const std::string block = HandOverBlock(given, "/home/u/");
    EXPECT_EQ(HandOverBlock(given, "/home/u"), block);
    COPYDATASTRUCT cds{HANDOVER_MAGIC, static_cast<DWORD>(block.size()), const_cast<char*>(block.data())};
    ASSERT_TRUE(QueueHandedOverNames(&cds));
    CStringArray& queue = AfxGetDecryptionState().DecryptQueue;
    ASSERT_EQ(queue.GetSize(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::string(queue[i].c_str()), cases[i].queued);

    // The last name's terminator missing: the block's end ends it.
    queue.RemoveAll();
    const std::string cut = block.substr(0, block.size() - 1);
    cds = COPYDATASTRUCT{HANDOVER_MAGIC, static_cast<DWORD>(cut.size()), const_cast<char*>(cut.data())};
    ASSERT_TRUE(QueueHandedOverNames(&cds));
    ASSERT_EQ(queue.GetSize(), 4);
    EXPECT_EQ(std::string(queue[3].c_str()), cases[3].queued);
    queue.RemoveAll();
}

TEST_F(ShellInstance, ForeignOrEmptyRecordsAreIgnored)
{
    char text[] = "a.sig";
    char zeros[3] = {};
    const COPYDATASTRUCT records[] = {
        {0x41424344u, sizeof text, text}, {HANDOVER_MAGIC, sizeof text, nullptr},
        {HANDOVER_MAGIC, 0, text},        {HANDOVER_MAGIC, sizeof zeros, zeros},
    };
    EXPECT_FALSE(QueueHandedOverNames(nullptr));
    for (const COPYDATASTRUCT& r : records)
        EXPECT_FALSE(QueueHandedOverNames(&r));
    EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 0);
}

// A later start from another folder, with relative names, while the running instance sits in
// a dialog: the sender is answered at once and decrypts nothing; the running instance
// decrypts the file once its dialog ends (not while it is up), exactly once. Starts
// that run alone never hand over.
TEST_F(ShellInstance, HandedOverFilesAreDecryptedOnceByTheRunningInstance)
{
    CScriptedFrontEnd ui;
    DecryptionState& state = AfxGetDecryptionState();
    ASSERT_TRUE(UseKeyForThisRun((dir + "/work/demo_key.der").c_str()));
    CInstanceChannel channel;
    ASSERT_TRUE(ListenForOtherInstances(channel));
    CDecryptDlg dlg(&state);
    dlg.SetInstanceChannel(&channel);

    ui.OnDialog(IDD_ABOUTBOX, [&](CDialog&) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(StartInFolder(dir + "/work", {"demo.p7m"}), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_FALSE(Exists(dir + "/work/Decrypt"));   // not by the sender, not yet here
        // Runs of their own decrypt the file themselves (the forked start keeps this
        // process's ID) and hand nothing over.
        EXPECT_EQ(StartInFolder(dir + "/work", {"--key", "demo_key.der", "demo.p7m"}), 0);
        EXPECT_TRUE(Exists(dir + "/work/Decrypt/Msg.txt"));
        EXPECT_EQ(StartInFolder(dir + "/work", {"--open-signed", "demo.p7m"}), 0);
        EXPECT_TRUE(Exists(dir + "/work/Decrypt1/Msg.txt"));
        // The main window's timers run on while this dialog is up: the names still wait.
        CScriptedFrontEnd::Pump(dlg, 2 * HANDOVER_TIMER_ELAPSE);
        EXPECT_FALSE(Exists(dir + "/work/Decrypt2"));
    });
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        CAboutDlg about(&d);
        about.DoModal();
        for (int i = 0; i < 60 && !Exists(dir + "/work/Decrypt2/Msg.txt"); ++i)
            CScriptedFrontEnd::Pump(d, 50);
        CScriptedFrontEnd::Pump(d, 300);
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
    EXPECT_TRUE(Exists(dir + "/work/Decrypt2/Msg.txt"));
    EXPECT_FALSE(Exists(dir + "/work/Decrypt3"));
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text.c_str());
    EXPECT_FALSE(Exists(dir + "/data/applications"));   // starts without a terminal register nothing
    EXPECT_FALSE(MayHandOver(ParseDecryptOptions(3, std::vector<const char*>{"decrypt", "--json", "a"}.data())));
    EXPECT_FALSE(MayHandOver(ParseDecryptOptions(3, std::vector<const char*>{"decrypt", "--inspect", "a"}.data())));
}

// An instance that listens but never answers: the start says so by its status and decrypts
// nothing itself (the other may still take the names later).
TEST_F(ShellInstance, AnInstanceThatDoesNotAnswerGetsNothingDecryptedTwice)
{
    const std::string socketPath = GetInstanceSocketPath().c_str();
    ASSERT_FALSE(socketPath.empty());
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 4), 0);   // never accepts
    EXPECT_EQ(StartInFolder(dir + "/work", {"demo.p7m"}), kExitNotHandedOver);
    EXPECT_FALSE(Exists(dir + "/work/Decrypt"));
    ::close(fd);
}

TEST_F(ShellInstance, EmptyHandOverStillCountsAsHandedOver)
{
    CInstanceChannel channel;
    ASSERT_TRUE(ListenForOtherInstances(channel));
    CInstanceChannel other;
    EXPECT_FALSE(ListenForOtherInstances(other));   // the first keeps the socket
    EXPECT_EQ(HandOverToRunningInstance(CStringArray()), HandOver::handedOver);
    std::vector<CInstanceMessage> got;
    for (int i = 0; i < 200 && got.empty(); ++i) {
        got = channel.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].data.empty());
}

} // namespace
