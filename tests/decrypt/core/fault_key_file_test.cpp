// The key file on a bad day: it lies in a folder the user cannot write (it must still load,
// and a save must fail with its message and leave it as it was), and a save is cut off by
// the process dying in the middle of writing (the previous file stays whole and loads; the
// next save goes through).
#include "key_file_support.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/fsutil.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace keyfile_test;

namespace {

// Runs body in a child; with unprivileged, as a user without root's rights (folder
// permissions then hold as they do for users). Returns the exit status, or 128 + signal.
int InChild(const std::function<int()>& body, bool unprivileged)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class FaultKeyFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/fault_key_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        chmod(dir.c_str(), 0777);
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", dir.c_str(), 1);
        RegisterCoreResources();
        key = LoadPrivateKey(KeyPath("512a"));
        AfxGetDecryptionState() = DecryptionState();
    }
    void TearDown() override
    {
        AfxGetDecryptionState() = DecryptionState();
        chmod((dir + "/keys").c_str(), 0777);
        AfxDeleteFolderTree(dir.c_str());
    }

    // An unprotected key file holding one record "Old" in dir/keys (with its certificate
    // file beside it, so that loading asks nothing); returns its path.
    std::string PutOldKeyFile()
    {
        mkdir((dir + "/keys").c_str(), 0777);
        CKeyInfo old("Old", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*key), 1);
        previous = KeyFileBytes(0, "*", ArchivePayload({&old}));
        std::string path = dir + "/keys/id.key";
        WriteBytes(path, previous);
        WriteBytes(dir + "/keys/id.P7M", "certificate");
        chmod(path.c_str(), 0644);
        chmod((dir + "/keys/id.P7M").c_str(), 0644);
        return path;
    }
    static void SetNewID(const CRSAPrivateKey& k, const std::string& path)
    {
        DecryptionState& state = AfxGetDecryptionState();
        state.SetDecryptingID(CKeyInfo("New", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(k), 1));
        state.m_nIDIsSet = 1;
        state.m_strKeyFileName = path.c_str();
    }

    std::string dir;
    Bytes previous;
    std::unique_ptr<CRSAPrivateKey> key;
};

}  // namespace

TEST_F(FaultKeyFile, AKeyFileOnAReadOnlyPathLoadsAndRefusesToBeSaved)
{
    std::string path = PutOldKeyFile();
    chmod((dir + "/keys").c_str(), 0555);
    const CRSAPrivateKey& k = *key;
    int status = InChild([&] {
        CScriptedFrontEnd ui;
        DecryptionState& state = AfxGetDecryptionState();
        state.m_strKeyFileName = path.c_str();
        if (LoadKeyFile(nullptr, 0) != 1 || state.m_strName != "Old")
            return 1;
        SetNewID(k, path);
        ui.AnswerBox(IDNO);   // no password
        if (SaveKeyFile(nullptr, 0) != 0)
            return 2;
        // The question, then one message that says what failed (the old file cannot even
        // be kept beside it).
        if (ui.boxes.size() != 2 ||
            ui.boxes[1].text.str().rfind("Unexpected error occured: cannot create file.\nThe key file there could not be kept", 0) != 0)
            return 3;
        return 0;
    }, true);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), previous);
}

TEST_F(FaultKeyFile, ASaveCutOffByTheProcessDyingLeavesThePreviousFileWhole)
{
    std::string path = PutOldKeyFile();
    // The file-size limit kills the saving process (SIGXFSZ, default action) part way
    // through the new file, at several points of it.
    for (rlim_t limit : {rlim_t(0), rlim_t(4), rlim_t(40), rlim_t(200)}) {
        SCOPED_TRACE(limit);
        const CRSAPrivateKey& k = *key;
        int status = InChild([&] {
            CScriptedFrontEnd ui;
            SetNewID(k, path);
            ui.AnswerBox(IDNO);
            signal(SIGXFSZ, SIG_DFL);
            rlimit r{limit, limit};
            setrlimit(RLIMIT_FSIZE, &r);
            SaveKeyFile(nullptr, 0);
            return 0;
        }, false);
        EXPECT_EQ(status, 128 + SIGXFSZ);
        EXPECT_EQ(ReadBytes(path), previous);
        CScriptedFrontEnd ui;
        AfxGetDecryptionState() = DecryptionState();
        AfxGetDecryptionState().m_strKeyFileName = path.c_str();
        ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
        EXPECT_EQ(AfxGetDecryptionState().m_strName, "Old");
    }
    // With room, the next save replaces the file whole and loads.
    CScriptedFrontEnd ui;
    SetNewID(*key, path);
    ui.AnswerBox(IDNO);
    ASSERT_EQ(SaveKeyFile(nullptr, 0), 1);
    AfxGetDecryptionState() = DecryptionState();
    AfxGetDecryptionState().m_strKeyFileName = path.c_str();
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(AfxGetDecryptionState().m_strName, "New");
}
