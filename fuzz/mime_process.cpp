// Drives the MIME processor over untrusted message text: the text is put into a stream of a
// message store on a scratch folder and processed with a context that accepts every kind of
// content, so PEM, S/MIME and signed paths run too. Any exception of the framework family is
// an accepted outcome; a crash, a leak or a stream file left behind is not.
#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/msg_store.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

class CAcceptingContext : public CMimeContext {
public:
    DWORD OnPemBlock(CMemFile*, CMemFile*, CFile* source, CFile* destination, DWORD length) override
    {
        return Copy(source, destination, length);
    }
    DWORD OnPkcs7Object(CMemFile*, CMemFile*, CFile* source, DWORD length, CFile* destination) override
    {
        return Copy(source, destination, length);
    }
    DWORD OnPkcs10Request(CMemFile*, CMemFile*, CFile* source, CFile* destination, DWORD length) override
    {
        return Copy(source, destination, length);
    }
    DWORD OnSignedContent(CMemFile*, CMemFile*, CFile*, DWORD, CFile*, DWORD) override { return 0; }

private:
    static DWORD Copy(CFile* source, CFile* destination, DWORD length)
    {
        std::vector<char> buf(4096);
        DWORD done = 0;
        while (done < length) {
            UINT n = source->Read(buf.data(), static_cast<UINT>(std::min<DWORD>(length - done, 4096)));
            if (n == 0)
                break;
            destination->Write(buf.data(), n);
            done += n;
        }
        return done;
    }
};

// One scratch folder for the whole run, removed at exit.
struct CScratch {
    std::string path;
    CScratch()
    {
        std::random_device rd;
        for (;;) {
            auto p = std::filesystem::temp_directory_path() / ("mime_fuzz_" + std::to_string(rd()));
            if (std::filesystem::create_directory(p)) {
                path = p.string();
                return;
            }
        }
    }
    ~CScratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
} g_scratch;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = g_scratch.path;
    CMessageStore* store = new CMessageStore(folder.c_str());
    {
        CAcceptingContext accepting;
        CMimeContext refusing;
        CMessage root(store);
        try {
            COleStream s;
            CString name = store->CreateStream(&s, nullptr, 0);
            if (size)
                s.Write(data, static_cast<UINT>(size));
            store->CloseStream(&s);
            root.SetStreamName(name);
            store->ReleaseStreamRef(name);
            // The first byte picks the context, so refusals are exercised as well.
            root.ProcessRoot(size && (data[0] & 1) ? static_cast<CMimeContext*>(&refusing) : &accepting);
        } catch (CException* e) {
            e->Delete();
        }
    }
    store->Release();
    if (!std::filesystem::is_empty(folder)) {
        std::fprintf(stderr, "stream files left behind in %s\n", folder.c_str());
        std::abort();
    }
    return 0;
}
