// The decrypt driver on a bad day: the disk fills up at every point of the output, the
// input's folder cannot be written, the output folder turns read-only under the run, and
// links or files appear where outputs are about to be written. In each case the input and
// whatever the user already had stay whole, nothing is written through a link, and a failed
// run ends in the one error box naming the file.
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/fsutil.h"
#include "framework/ui/dialog.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::map<std::string, std::string> FolderContent(const std::string& path)
{
    std::map<std::string, std::string> files;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return files;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            files[name] = ReadAll(path + "/" + name);
    }
    closedir(dir);
    return files;
}

// The user's key as the decrypting ID: the driver decrypts nothing without one, not even
// plain data.
// The hidden folder a run builds its output in ("" when there is none).
std::string WorkFolder(const std::string& dir)
{
    std::string found;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).rfind(".Decrypt-", 0) == 0)
                found = dir + "/" + e->d_name;
        closedir(d);
    }
    return found;
}

void SetUserKey()
{
    std::string der = ReadAll(std::string(QM_TEST_DATA) + "/decrypt/user_key.der");
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto* key = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*value, *key);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Test ID", CKeyInfo::RSAPrivateKey, key, 1));
}

std::string Der(unsigned char tag, const std::string& content)
{
    std::string out(1, static_cast<char>(tag));
    size_t n = content.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::string len;
        for (; n; n >>= 8)
            len.insert(len.begin(), static_cast<char>(n & 0xFF));
        out += static_cast<char>(0x80 | len.size());
        out += len;
    }
    return out + content;
}

// The message text as a data content info: what DecryptOneFile reads without a key.
std::string AsDataContent(const std::string& message)
{
    static const std::string kDataOid("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01", 11);
    return Der(0x30, kDataOid + Der(0xA0, Der(0x04, message)));
}

// A message with its text and two attachments (a.txt small, big.bin of `bigSize` bytes).
std::string TwoAttachments(size_t bigSize)
{
    std::string big;
    for (size_t i = 0; i < bigSize; ++i)
        big += static_cast<char>('a' + i % 26);
    return "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\n"
           "The text.\r\n--XX\r\nContent-Type: application/octet-stream; name=\"a.txt\"\r\n\r\nsmall one\r\n"
           "--XX\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n\r\n" +
           big + "\r\n--XX--\r\n";
}

// Runs `action` when the progress window reaches the MIME stage (the output folder exists,
// nothing is written into it yet).
class CAtMimeStage : public CScriptedFrontEnd {
public:
    std::function<void()> action;
    void Refresh(CDialog& dialog) override
    {
        CScriptedFrontEnd::Refresh(dialog);
        if (m_done || !action)
            return;
        for (const auto& c : dialog.GetControls()) {
            if (c.text == "running MIME processor ...") {
                m_done = true;
                action();
                return;
            }
        }
    }

private:
    bool m_done = false;
};

// Runs `body` in a child process without the rights of root (so that folder permissions
// hold in the test as they do for users) and returns its exit status.
int RunUnprivileged(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ErrorBoxes(const CScriptedFrontEnd& ui)
{
    int n = 0;
    for (const auto& b : ui.boxes)
        n += b.text.Find("cannot decrypt the following file") >= 0;
    return n;
}

class FaultOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/fault_out_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        // Reachable by the unprivileged child; each test decides what it may write.
        chmod(dir.c_str(), 0777);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", dir.c_str(), 1);
        RegisterCoreResources();
        SetUserKey();
    }
    void TearDown() override
    {
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
        // Give every folder back its rights so the scratch tree can go.
        std::function<void(const std::string&)> open = [&](const std::string& path) {
            chmod(path.c_str(), 0777);
            DIR* d = opendir(path.c_str());
            if (!d)
                return;
            while (dirent* e = readdir(d)) {
                std::string name = e->d_name;
                struct stat st;
                if (name != "." && name != ".." && lstat((path + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                    open(path + "/" + name);
            }
            closedir(d);
        };
        open(dir);
        AfxDeleteFolderTree(dir.c_str());
    }

    std::string Put(const std::string& name, const std::string& message)
    {
        std::string path = dir + "/" + name;
        WriteAll(path, AsDataContent(message));
        chmod(path.c_str(), 0644);
        return path;
    }

    std::string dir;
};

}  // namespace

TEST_F(FaultOutput, DiskFullAtEveryPointOfTheOutputLeavesNoFolderAndTheInputWhole)
{
    std::string path = Put("mail.p7m", TwoAttachments(64 * 1024));
    const std::string input = ReadAll(path);
    // File-size limits that stop the run in the scratch copy, in the text, in the small
    // attachment and at several points of the big one.
    for (rlim_t limit : {rlim_t(0), rlim_t(1), rlim_t(9), rlim_t(100), rlim_t(4096), rlim_t(30000), rlim_t(65535)}) {
        SCOPED_TRACE(limit);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        int result;
        int boxes;
        {
            CAtMimeStage ui;
            ui.action = [&] {
                rlimit r = saved;
                r.rlim_cur = limit;
                setrlimit(RLIMIT_FSIZE, &r);
            };
            result = DecryptOneFile(path.c_str(), FALSE, nullptr);
            setrlimit(RLIMIT_FSIZE, &saved);
            boxes = ErrorBoxes(ui);
            EXPECT_EQ(ui.boxes.size(), static_cast<size_t>(boxes));
        }
        signal(SIGXFSZ, oldHandler);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(boxes, 1);
        EXPECT_FALSE(Exists(dir + "/Decrypt"));
        EXPECT_EQ(ReadAll(path), input);
    }
    // With room again the same input decrypts completely.
    CScriptedFrontEnd ui;
    ASSERT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    auto out = FolderContent(dir + "/Decrypt");
    EXPECT_EQ(out["a.txt"], "small one");
    EXPECT_EQ(out["big.bin"].size(), 64u * 1024u);
}

TEST_F(FaultOutput, InputInAReadOnlyFolderFailsWithOneErrorAndTouchesNothing)
{
    ASSERT_EQ(mkdir((dir + "/ro").c_str(), 0755), 0);
    std::string path = dir + "/ro/mail.p7m";
    WriteAll(path, AsDataContent(TwoAttachments(100)));
    chmod(path.c_str(), 0444);
    chmod((dir + "/ro").c_str(), 0555);
    const std::string input = ReadAll(path);
    int status = RunUnprivileged([&] {
        CScriptedFrontEnd ui;
        int result = DecryptOneFile(path.c_str(), FALSE, nullptr);
        if (result != 0)
            return 1;
        if (ui.boxes.size() != 1 || ErrorBoxes(ui) != 1)
            return 2;
        if (ui.boxes[0].text.Find(path.c_str()) < 0)
            return 3;   // the box names the file that failed
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadAll(path), input);
    EXPECT_EQ(FolderContent(dir + "/ro").size(), 1u);
}

TEST_F(FaultOutput, OutputFolderTurningReadOnlyMidRunFailsOnceAndKeepsTheInput)
{
    std::string path = Put("mail.p7m", TwoAttachments(1000));
    const std::string input = ReadAll(path);
    int status = RunUnprivileged([&] {
        CAtMimeStage ui;
        ui.action = [&] { chmod(WorkFolder(dir).c_str(), 0555); };
        int result = DecryptOneFile(path.c_str(), FALSE, nullptr);
        if (result != 0)
            return 1;
        if (ui.boxes.size() != 1 || ErrorBoxes(ui) != 1)
            return 2;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadAll(path), input);
    // No output is there half-written, and no folder looks finished. The hidden folder cannot
    // be emptied once it is read-only: only the run's scratch copy of the message, written
    // before, may stay in it.
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
    auto left = FolderContent(WorkFolder(dir));
    for (const auto& [name, content] : left)
        EXPECT_EQ(name.rfind("MAIL-", 0), 0u) << "left behind: " << name << " (" << content.size() << " bytes)";
}

TEST_F(FaultOutput, ExistingFoldersFilesAndLinksNamedDecryptAreLeftAlone)
{
    std::string path = Put("mail.p7m", TwoAttachments(10));
    // A file named Decrypt, a link named Decrypt1 to a folder elsewhere, a dangling link
    // named Decrypt2 and a read-only folder Decrypt3 with the user's own file in it.
    ASSERT_EQ(mkdir((dir + "/elsewhere").c_str(), 0777), 0);
    WriteAll(dir + "/Decrypt", "the user's file");
    ASSERT_EQ(symlink((dir + "/elsewhere").c_str(), (dir + "/Decrypt1").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/missing").c_str(), (dir + "/Decrypt2").c_str()), 0);
    ASSERT_EQ(mkdir((dir + "/Decrypt3").c_str(), 0777), 0);
    WriteAll(dir + "/Decrypt3/Msg.txt", "kept");
    chmod((dir + "/Decrypt3").c_str(), 0555);

    int status = RunUnprivileged([&] {
        CScriptedFrontEnd ui;
        return DecryptOneFile(path.c_str(), FALSE, nullptr) == 1 && ui.boxes.empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadAll(dir + "/Decrypt"), "the user's file");
    EXPECT_TRUE(FolderContent(dir + "/elsewhere").empty());
    EXPECT_FALSE(Exists(dir + "/missing"));
    EXPECT_EQ(FolderContent(dir + "/Decrypt3"), (std::map<std::string, std::string>{{"Msg.txt", "kept"}}));
    auto out = FolderContent(dir + "/Decrypt4");
    EXPECT_EQ(out["a.txt"], "small one");
    EXPECT_EQ(out["Msg.txt"].find("The text."), 0u);
}

TEST_F(FaultOutput, LinksAndFilesPlantedUnderAttachmentNamesAreNeverFollowedOrOverwritten)
{
    std::string path = Put("mail.p7m", TwoAttachments(10));
    WriteAll(dir + "/target.txt", "the user's data");
    std::string out = dir + "/Decrypt";
    CAtMimeStage ui;
    // Just before the outputs are written, another program puts a link where the first
    // attachment goes, a dangling link where the second goes, and a file named Msg.txt.
    ui.action = [&] {
        const std::string work = WorkFolder(dir);
        EXPECT_EQ(symlink((dir + "/target.txt").c_str(), (work + "/a.txt").c_str()), 0);
        EXPECT_EQ(symlink((dir + "/created_through_link").c_str(), (work + "/big.bin").c_str()), 0);
        WriteAll(work + "/Msg.txt", "planted");
    };
    ASSERT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    EXPECT_EQ(ReadAll(dir + "/target.txt"), "the user's data");
    EXPECT_FALSE(Exists(dir + "/created_through_link"));
    auto files = FolderContent(out);
    EXPECT_EQ(files["Msg.txt"], "planted");
    EXPECT_EQ(files["Msg(1).txt"].find("The text."), 0u);
    EXPECT_EQ(files["a(1).txt"], "small one");
    EXPECT_EQ(files["big(1).bin"], "abcdefghij");
    struct stat st;
    ASSERT_EQ(lstat((out + "/a.txt").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}
