#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace qmtest {

ScopedEnv::~ScopedEnv()
{
    for (auto& [name, old] : m_saved) {
        if (old)
            ::setenv(name.c_str(), old->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void ScopedEnv::Set(const std::string& name, const char* value)
{
    if (!m_saved.count(name)) {
        const char* old = std::getenv(name.c_str());
        m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
        ::setenv(name.c_str(), value, 1);
    else
        ::unsetenv(name.c_str());
}

ScratchFolder::ScratchFolder(const std::string& parent)
{
    namespace fs = std::filesystem;
    std::string base = ((parent.empty() ? fs::temp_directory_path() : fs::path(parent)) / "qm-test-XXXXXX").string();
    if (!::mkdtemp(base.data())) {
        ADD_FAILURE() << "no scratch folder under " << base;
        return;
    }
    m_root = base;
    fs::create_directories(m_root + "/run");
    fs::permissions(m_root + "/run", fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(m_root + "/tmp");
    m_env.Set("XDG_CONFIG_HOME", m_root + "/config");
    m_env.Set("XDG_DATA_HOME", m_root + "/data");
    m_env.Set("XDG_RUNTIME_DIR", m_root + "/run");
    m_env.Set("TMPDIR", m_root + "/tmp");
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    if (!m_root.empty())
        std::filesystem::remove_all(m_root, ignored);
}

}  // namespace qmtest
