// A scratch folder for one test: the per-user folders (XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_RUNTIME_DIR) and TMPDIR point into it while it lives, so nothing reaches the real
// ~/.config or ~/.local; the environment is put back and the folder removed afterwards.
#pragma once

#include "tests/support/bytes.h"

#include <map>
#include <optional>
#include <string>

namespace qmtest {

// Environment variables set for a scope, put back as they were when it ends.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // A null value unsets the variable.
    void Set(const std::string& name, const char* value);
    void Set(const std::string& name, const std::string& value) { Set(name, value.c_str()); }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

class ScratchFolder {
public:
    // Made under `parent`, the system's temporary folder when empty.
    explicit ScratchFolder(const std::string& parent = {});
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& name) const { return m_root + "/" + name; }
    // The program's own settings folder under the scratch XDG_CONFIG_HOME.
    std::string Config() const { return m_root + "/config/quillmar"; }

    void Write(const std::string& name, std::string_view bytes) const { WriteFile(Path(name), bytes); }
    void Write(const std::string& name, const Bytes& bytes) const { WriteFile(Path(name), bytes); }
    std::string Read(const std::string& name) const { return ReadText(Path(name)); }

    // Sets another variable until the scratch goes.
    void SetEnv(const std::string& name, const char* value) { m_env.Set(name, value); }
    void SetEnv(const std::string& name, const std::string& value) { m_env.Set(name, value); }

private:
    std::string m_root;
    ScopedEnv m_env;
};

}  // namespace qmtest
