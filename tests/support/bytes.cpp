#include "tests/support/bytes.h"

#include "framework/arrays.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>

namespace qmtest {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string HexOf(const BYTE* p, std::size_t n, std::string_view separator, const char* digits)
{
    std::string s;
    s.reserve(n * (2 + separator.size()));
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            s += separator;
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

const char kUpper[] = "0123456789ABCDEF";

}  // namespace

Bytes Hex(std::string_view text)
{
    Bytes out;
    int high = -1;
    for (char c : text) {
        const int v = HexDigit(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<BYTE>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

std::string HexString(std::string_view text) { return ToString(Hex(text)); }

std::string ToHex(const void* data, std::size_t size, std::string_view separator)
{
    return HexOf(static_cast<const BYTE*>(data), size, separator, kUpper);
}

std::string ToHex(const Bytes& bytes, std::string_view separator)
{
    return ToHex(bytes.data(), bytes.size(), separator);
}

std::string ToHex(std::string_view bytes, std::string_view separator)
{
    return ToHex(bytes.data(), bytes.size(), separator);
}

std::string ToHex(const CByteArray& bytes, std::string_view separator)
{
    return ToHex(bytes.GetData(), static_cast<std::size_t>(bytes.GetSize()), separator);
}

std::string ToLowerHex(const void* data, std::size_t size)
{
    return HexOf(static_cast<const BYTE*>(data), size, {}, "0123456789abcdef");
}

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes b(size);
    for (BYTE& x : b)
        x = static_cast<BYTE>(gen());
    return b;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, std::string_view bytes)
{
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteFile(const std::string& path, const Bytes& bytes)
{
    WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string DataPath(const std::string& relative) { return std::string(QM_TEST_DATA) + "/" + relative; }

CommandResult RunCommand(const std::string& command, bool withErrors)
{
    CommandResult result;
    FILE* pipe = ::popen((command + (withErrors ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveOpenSSL()
{
    static const bool have = RunCommand("openssl version").Ok();
    return have;
}

}  // namespace qmtest
