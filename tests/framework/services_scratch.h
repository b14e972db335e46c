// A scratch folder for tests of the system services: the per-user folders point into it
// while a test runs, so nothing touches the real ~/.config or ~/.local.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

class ServicesScratch {
public:
    ServicesScratch()
    {
        std::string base = (std::filesystem::temp_directory_path() / "qm-services-XXXXXX").string();
        char* made = ::mkdtemp(base.data());
        m_root = made ? made : base;
        Set("XDG_CONFIG_HOME", m_root + "/config");
        Set("XDG_DATA_HOME", m_root + "/data");
        Set("XDG_RUNTIME_DIR", m_root + "/run");
        Set("TMPDIR", m_root + "/tmp");
        std::filesystem::create_directories(m_root + "/run");
        std::filesystem::create_directories(m_root + "/tmp");
    }
    ~ServicesScratch()
    {
        for (auto& [name, old] : m_saved) {
            if (old)
                ::setenv(name.c_str(), old->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
    }
    ServicesScratch(const ServicesScratch&) = delete;
    ServicesScratch& operator=(const ServicesScratch&) = delete;

    // Sets an environment variable until the scratch goes (null value: unset).
    void Set(const std::string& name, const char* value)
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
    void Set(const std::string& name, const std::string& value) { Set(name, value.c_str()); }

    const std::string& Root() const { return m_root; }
    std::string Config() const { return m_root + "/config/quillmar"; }
    std::string Path(const std::string& name) const { return m_root + "/" + name; }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static void Write(const std::string& path, const std::string& text)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }

private:
    std::string m_root;
    std::map<std::string, std::optional<std::string>> m_saved;
};
