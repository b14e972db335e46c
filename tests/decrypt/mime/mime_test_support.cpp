#include "mime_test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
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

// ---- messages in a store ----------------------------------------------------------------

CStoreFixture::CStoreFixture() : m_pStore(new CMessageStore(m_folder.Path().c_str())) {}

CStoreFixture::~CStoreFixture()
{
    m_pStore->Release();
}

CString CStoreFixture::PutStream(const std::string& text)
{
    COleStream s;
    CString name = m_pStore->CreateStream(&s, nullptr, 0);
    if (!text.empty())
        s.Write(text.data(), static_cast<UINT>(text.size()));
    m_pStore->CloseStream(&s);
    return name;
}

std::unique_ptr<CMessage> CStoreFixture::MakeRoot(const std::string& text)
{
    CString name = PutStream(text);
    auto root = std::make_unique<CMessage>(m_pStore);
    root->SetStreamName(name);
    root->m_nStreamEnd = static_cast<DWORD>(text.size());
    root->m_nBodyEnd = static_cast<LONG>(text.size());
    m_pStore->ReleaseStreamRef(name);   // the root's reference is the one that stays
    return root;
}

std::string BodyOf(CMessage* part)
{
    std::string out;
    if (part->GetBodyLength() == 0)
        return out;
    part->CloseStream();
    char buf[4096];
    for (;;) {
        UINT n = part->ReadBody(buf, sizeof buf);
        if (n == 0)
            break;
        out.append(buf, n);
        if (!part->m_Stream.IsOpen())
            break;
    }
    part->CloseStream();
    return out;
}

std::string StreamOf(CMessage* part)
{
    part->CloseStream();
    part->EnsureOpen();
    std::string out;
    char buf[4096];
    for (;;) {
        UINT n = part->m_Stream.Read(buf, sizeof buf);
        if (n == 0)
            break;
        out.append(buf, n);
    }
    part->CloseStream();
    return out;
}

std::string Escape(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

namespace {
void DumpPart(CMessage* part, int depth, std::string& out)
{
    char kind[16];
    std::snprintf(kind, sizeof kind, "0x%X", part->m_nKind);
    std::string body = BodyOf(part);
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + "kind=" + kind + " type=\"" + Escape(part->m_strContentType.str()) +
           "\" name=\"" + Escape(part->m_strName.str()) + "\" body=";
    if (body.size() <= 160) {
        out += "\"" + Escape(body) + "\"";
    } else {
        unsigned long long h = 1469598103934665603ull;
        for (unsigned char c : body)
            h = (h ^ c) * 1099511628211ull;
        char tail[64];
        std::snprintf(tail, sizeof tail, "%zu bytes fnv %016llx", body.size(), h);
        out += tail;
    }
    out += "\n";
    for (int i = 0; i < part->m_Children.GetSize(); ++i)
        DumpPart(part->m_Children.GetItem(i), depth + 1, out);
}

std::string ReadAll(CFile* f, DWORD length)
{
    std::string out(length, '\0');
    UINT n = length ? f->Read(out.data(), length) : 0;
    out.resize(n);
    return out;
}
}

std::string DumpTree(CMessage* root)
{
    std::string out;
    DumpPart(root, 0, out);
    return out;
}

DWORD CCopyingContext::OnPemBlock(CMemFile*, CMemFile*, CFile* source, CFile* destination, DWORD length)
{
    std::string bytes = ReadAll(source, length);
    calls.push_back("pem:" + bytes);
    destination->Write(bytes.data(), static_cast<UINT>(bytes.size()));
    return 1;
}

DWORD CCopyingContext::OnPkcs7Object(CMemFile*, CMemFile* resultA, CFile* source, DWORD length, CFile* destination)
{
    std::string bytes = ReadAll(source, length);
    calls.push_back("pkcs7:" + bytes);
    destination->Write(bytes.data(), static_cast<UINT>(bytes.size()));
    resultA->Write("P7", 2);
    return 7;
}

DWORD CCopyingContext::OnPkcs10Request(CMemFile*, CMemFile*, CFile* source, CFile* destination, DWORD length)
{
    std::string bytes = ReadAll(source, length);
    calls.push_back("pkcs10:" + bytes);
    destination->Write(bytes.data(), static_cast<UINT>(bytes.size()));
    return 10;
}

DWORD CCopyingContext::OnSignedContent(CMemFile*, CMemFile*, CFile* content, DWORD contentLength, CFile* sig, DWORD signatureLength)
{
    signedContent = ReadAll(content, contentLength);
    signature = ReadAll(sig, signatureLength);
    calls.push_back("signed");
    return 6;
}
