#include "ids_test_support.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/fsutil.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/rsa_keypair.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>

void IdsScratch::SetUp()
{
    char templ[] = "/tmp/ids_test_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir = templ;
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    RegisterCoreResources();
    DecryptionState& state = AfxGetDecryptionState();
    state.SetDecryptingID(CKeyInfo());
    state.m_strKeyFileName.Empty();
    state.m_strEmailAddress.Empty();
    state.DecryptQueue.RemoveAll();
    ThreadKillFlag = 0;
    ThreadToKill = nullptr;
}

void IdsScratch::TearDown()
{
    DecryptionState& state = AfxGetDecryptionState();
    state.SetDecryptingID(CKeyInfo());
    state.m_strKeyFileName.Empty();
    state.m_strEmailAddress.Empty();
    state.DecryptQueue.RemoveAll();
    AfxDeleteFolderTree(dir.c_str());
}

const CRSAPrivateKey& TestKey508()
{
    static const CRSAKeyPair key = [] {
        const BYTE seed[] = "ids tests: a fixed seed for the shared test key";
        return CRSAKeyPair(508, 1, seed, sizeof seed, nullptr);
    }();
    return key;
}

void SetTestID(const CRSAPrivateKey& key, const std::string& keyFileName, const char* name)
{
    DecryptionState& state = AfxGetDecryptionState();
    state.SetDecryptingID(CKeyInfo(name, CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(key), 0));
    state.m_strKeyFileName = keyFileName.c_str();
}

int Shell(const std::string& command, std::string* output)
{
    std::string full = command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveOpenSSL()
{
    static const bool have = Shell("openssl version") == 0;
    return have;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderNames(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}
