// Helpers of the cipher tests: hex text, the known-answer files under tests/data/ciphers,
// temporary files and running the openssl command line.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/crypto_processor.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace ciphertest {

using Bytes = std::vector<BYTE>;

inline Bytes Hex(const std::string& text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            continue;
        int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<BYTE>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

inline std::string ToHex(const BYTE* p, size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

inline std::string ToHex(const Bytes& b)
{
    return ToHex(b.data(), b.size());
}

// One entry of a known-answer file: its fields, and whether it is in the [invalid] part.
struct Vector {
    std::map<std::string, std::string> fields;
    bool invalid = false;
    int line = 0;

    const std::string& operator[](const std::string& name) const
    {
        static const std::string empty;
        auto it = fields.find(name);
        return it == fields.end() ? empty : it->second;
    }
    bool Has(const std::string& name) const { return fields.count(name) != 0; }
};

// Entries are groups of "name = value" lines separated by blank lines; '#' starts a
// comment line; a line "[invalid]" starts the entries that must fail.
inline std::vector<Vector> ReadVectors(const std::string& fileName)
{
    std::ifstream in(std::string(QM_TEST_DATA) + "/ciphers/" + fileName);
    std::vector<Vector> out;
    if (!in)
        return out;
    std::string line;
    Vector current;
    bool invalid = false;
    int lineNo = 0;
    auto flush = [&] {
        if (!current.fields.empty())
            out.push_back(current);
        current = Vector();
        current.invalid = invalid;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty()) {
            flush();
            continue;
        }
        if (line[0] == '#')
            continue;
        if (line == "[invalid]") {
            flush();
            invalid = true;
            current.invalid = true;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string name = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        while (!value.empty() && value.front() == ' ')
            value.erase(value.begin());
        if (current.fields.empty())
            current.line = lineNo;
        current.fields[name] = value;
    }
    flush();
    return out;
}

inline Bytes RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<BYTE>(gen());
    return b;
}

// A folder of its own under the build tree, removed with the object.
class TempDir {
public:
    TempDir()
    {
        static int counter = 0;
        m_path = std::filesystem::path(QM_BINARY_DIR) / "test-tmp" /
                 ("ciphers-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

inline void WriteFileBytes(const std::string& path, const Bytes& b)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Runs a command and returns its standard output; ok is false when it fails.
inline Bytes RunCommand(const std::string& command, bool& ok)
{
    Bytes out;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) {
        ok = false;
        return out;
    }
    BYTE buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.insert(out.end(), buf, buf + n);
    ok = ::pclose(pipe) == 0;
    return out;
}

// `openssl enc` with a raw key and IV; legacy ciphers need the legacy provider.
inline Bytes OpenSSLEnc(const std::string& cipher, bool decrypt, const Bytes& key, const Bytes& iv,
                        const std::string& inputFile, bool nopad, bool& ok)
{
    std::string cmd = "openssl enc -" + cipher + (decrypt ? " -d" : " -e") + " -K " + ToHex(key);
    if (!iv.empty())
        cmd += " -iv " + ToHex(iv);
    if (nopad)
        cmd += " -nopad";
    cmd += " -provider legacy -provider default -in '" + inputFile + "'";
    return RunCommand(cmd, ok);
}

// Whether this openssl knows the cipher (with the legacy provider).
inline bool OpenSSLHasCipher(const std::string& cipher, size_t keyBytes)
{
    bool ok = false;
    RunCommand("openssl enc -" + cipher + " -e -K " + std::string(keyBytes * 2, '1') +
                   " -iv 0000000000000000 -provider legacy -provider default -in /dev/null",
               ok);
    return ok;
}

// The whole content of a memory file.
inline Bytes MemFileBytes(CMemFile& file)
{
    Bytes out(static_cast<size_t>(file.GetLength()));
    long long pos = file.GetPosition();
    file.SeekToBegin();
    if (!out.empty())
        file.Read(out.data(), static_cast<UINT>(out.size()));
    file.Seek(pos, CFile::begin);
    return out;
}

inline void FillMemFile(CMemFile& file, const Bytes& b)
{
    file.SetLength(0);
    if (!b.empty())
        file.Write(b.data(), static_cast<UINT>(b.size()));
    file.SeekToBegin();
}

// EncryptFile / DecryptFile of a whole byte vector through memory files.
inline Bytes EncryptAll(CCryptoProcessor& p, const Bytes& plain)
{
    CMemFile in, out;
    FillMemFile(in, plain);
    p.EncryptFile(in, 0, out, nullptr);
    return MemFileBytes(out);
}

inline Bytes DecryptAll(CCryptoProcessor& p, const Bytes& cipher)
{
    CMemFile in, out;
    FillMemFile(in, cipher);
    p.DecryptFile(in, 0, out, nullptr);
    return MemFileBytes(out);
}

// Runs an action and reports the runtime class name of the CException it raised ("" for
// none), deleting the exception properly.
template <class F>
std::string ExceptionClassOf(F&& action)
{
    try {
        action();
    } catch (CException* e) {
        std::string name = e->GetRuntimeClass()->m_lpszClassName;
        e->Delete();
        return name;
    }
    return "";
}

// The cause of the CArchiveException an action raised (-1: none, -2: another exception).
template <class F>
int ArchiveCauseOf(F&& action)
{
    try {
        action();
    } catch (CArchiveException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    } catch (CException* e) {
        e->Delete();
        return -2;
    }
    return -1;
}

template <class F>
int FileCauseOf(F&& action)
{
    try {
        action();
    } catch (CFileException* e) {
        int cause = e->m_cause;
        e->Delete();
        return cause;
    } catch (CException* e) {
        e->Delete();
        return -2;
    }
    return -1;
}

}
