#include "mime_test_support.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

CChunkedMemFile::CChunkedMemFile(const std::string& bytes, UINT chunk) : CMemFile(1024), m_nChunk(chunk ? chunk : 1)
{
    if (!bytes.empty())
        Write(bytes.data(), static_cast<UINT>(bytes.size()));
    SeekToBegin();
}

UINT CChunkedMemFile::Read(void* buffer, UINT count)
{
    return CMemFile::Read(buffer, std::min(count, m_nChunk));
}

std::string MemFileBytes(const CMemFile& file)
{
    const BYTE* p = file.GetBufferPtr();
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(file.GetLength())) : std::string();
}

CScratchFolder::CScratchFolder()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
        fs::path p = fs::temp_directory_path() / ("mime_test_" + std::to_string(rd()) + "_" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string CScratchFolder::ListFiles() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_path))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string all;
    for (const auto& n : names)
        all += (all.empty() ? "" : ",") + n;
    return all;
}

int CScratchFolder::CountFiles() const
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(m_path)) {
        (void)e;
        ++n;
    }
    return n;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string MimeDataPath(const std::string& name)
{
    return std::string(QM_TEST_DATA) + "/mime/" + name;
}
