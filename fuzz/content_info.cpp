// Runs the S/MIME content processor over untrusted DER with a fixed private key (the
// driver tests' 512-bit key, so the seeds made for it decrypt and the fuzzer reaches the
// layers inside the envelope). Any exception of the framework family is an accepted
// outcome; a crash, a leak or an unbounded recursion is not.
#include "decrypt/app/resources.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/outcome.h"
#include "decrypt/core/streamed_envelope.h"
#include "framework/exceptions.h"
#include "framework/memfile.h"
#include "framework/ui/front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"
#include "sigilbox/pki/pkcs7.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const unsigned char kUserKey[] = {
      0x30, 0x82, 0x01, 0x3c, 0x02, 0x01, 0x00, 0x02, 0x41, 0x00, 0xd9, 0xf0,
      0x00, 0xa1, 0x06, 0x94, 0xb1, 0xa1, 0x11, 0x85, 0xa6, 0xac, 0xad, 0xa7,
      0x8c, 0x30, 0xd6, 0xba, 0xa8, 0x24, 0xb1, 0x7d, 0xb5, 0x36, 0x8c, 0x5f,
      0x07, 0x64, 0x5a, 0x38, 0x0c, 0xba, 0xde, 0x6c, 0xf5, 0x30, 0x7e, 0x8c,
      0x9a, 0xc1, 0xc5, 0x8c, 0x7d, 0x59, 0xbe, 0x48, 0x43, 0xbf, 0x26, 0xd3,
      0x5c, 0x92, 0x6d, 0x37, 0x7d, 0x70, 0x32, 0xa6, 0xb1, 0xb2, 0xfc, 0x8f,
      0x78, 0xff, 0x02, 0x03, 0x01, 0x00, 0x01, 0x02, 0x41, 0x00, 0xb4, 0x95,
      0x49, 0xf0, 0x23, 0xa3, 0xd2, 0x0b, 0xc4, 0x99, 0x1a, 0x22, 0xbb, 0x41,
      0xb9, 0xc8, 0x3e, 0x25, 0x2c, 0x6e, 0x3b, 0x24, 0x0e, 0xa3, 0xc4, 0x6c,
      0x79, 0x93, 0x8d, 0xae, 0x23, 0xdc, 0xac, 0x3f, 0x45, 0xc4, 0x2a, 0x70,
      0xae, 0xdd, 0xaa, 0xc1, 0xab, 0xb0, 0xdb, 0xc2, 0x5c, 0x96, 0xc5, 0xde,
      0x60, 0x2f, 0x2b, 0x0b, 0x46, 0xeb, 0xf2, 0xdb, 0x04, 0xf7, 0xf6, 0x0e,
      0x59, 0x01, 0x02, 0x21, 0x00, 0xed, 0x2b, 0x71, 0xa4, 0x8c, 0xbb, 0xc3,
      0xfb, 0x90, 0xd5, 0x58, 0x30, 0xae, 0xaf, 0x40, 0xf5, 0xb3, 0xb9, 0x6c,
      0x5a, 0xf5, 0x90, 0x04, 0xce, 0xd1, 0x51, 0x2f, 0x32, 0x50, 0xb2, 0x57,
      0xb3, 0x02, 0x21, 0x00, 0xeb, 0x3d, 0xa8, 0x56, 0xc4, 0x76, 0x0e, 0x5f,
      0x33, 0xd0, 0x3b, 0x66, 0x45, 0xd0, 0x8f, 0xb7, 0xa3, 0x1f, 0xcb, 0x0a,
      0xe9, 0x93, 0x52, 0xa8, 0x0c, 0x11, 0x83, 0x51, 0x7a, 0x33, 0xf3, 0x85,
      0x02, 0x21, 0x00, 0x95, 0x8f, 0x7f, 0xea, 0xb4, 0x94, 0xf3, 0xd2, 0x00,
      0x53, 0x89, 0x79, 0xa9, 0xae, 0xfa, 0xd7, 0xf6, 0xae, 0x47, 0x96, 0x54,
      0xa4, 0xad, 0x63, 0x7e, 0xbc, 0x23, 0x77, 0x27, 0x4c, 0x4f, 0xe1, 0x02,
      0x20, 0x0f, 0x7a, 0x47, 0x11, 0x2e, 0x6b, 0xf6, 0x16, 0x1d, 0x7a, 0x9d,
      0xed, 0xe4, 0xba, 0x0c, 0x3a, 0xb0, 0xe8, 0xee, 0x9b, 0x11, 0x33, 0x38,
      0x45, 0x06, 0x46, 0x40, 0xb5, 0xa3, 0xac, 0xb7, 0x61, 0x02, 0x21, 0x00,
      0x87, 0x51, 0x4f, 0xa0, 0x1c, 0x6d, 0x71, 0xc7, 0x24, 0xfe, 0x7d, 0xda,
      0xdd, 0x85, 0x15, 0x06, 0x00, 0xfc, 0x67, 0xb5, 0x11, 0xdc, 0xd1, 0x82,
      0x0d, 0xb9, 0x49, 0x02, 0xf8, 0xc2, 0x1c, 0x40
};

// Message boxes (the strong-cipher refusal) are answered at once and shown nowhere.
class CQuietFrontEnd : public CFrontEnd {
public:
    void RunModal(CDialog&) override {}
    int MessageBox(const char*, const char*, UINT) override { return 1; }
    INT_PTR RunFileDialog(CFileDialog&) override { return 2; }
    INT_PTR RunPropertySheet(CPropertySheet&) override { return 2; }
    BOOL IsInteractive() const override { return FALSE; }
};

void SetUpOnce()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    static CQuietFrontEnd quiet;
    AfxSetFrontEnd(&quiet);
    RegisterDecryptResources();
    CDEREncoding encoding(kUserKey, sizeof kUserKey);
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto* key = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*value, *key);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Fuzz ID", CKeyInfo::RSAPrivateKey, key, 1));
}

// The input as a file, for the reading that leaves the encrypted content in its file.
const char* InputFile(const uint8_t* data, size_t size)
{
    static std::string path = [] {
        char name[] = "/tmp/fuzz_content_info_XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        return std::string(name);
    }();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return nullptr;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path.c_str();
}

struct Result {
    int ok = -1;   // -1: an exception
    std::string output;
    std::string reason;
};

Result Take(int ok, CMemFile& out)
{
    Result r;
    r.ok = ok;
    r.output.resize(static_cast<size_t>(out.GetLength()));
    out.SeekToBegin();
    out.Read(r.output.data(), static_cast<UINT>(r.output.size()));
    r.reason = AfxTakeFailureReason().str();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetUpOnce();
    if (size == 0 || size > (1u << 20))
        return 0;
    AfxTakeFailureReason();
    Result whole;
    bool decoded = false;
    try {
        CDEREncoding encoding(data, static_cast<unsigned long>(size));
        CASN1_ContentInfo info(encoding);
        decoded = true;
        CMemFile out;
        CProgress progress(nullptr);
        whole = Take(ProcessContentInfo(info, out, progress, nullptr), out);
    } catch (CException* e) {
        e->Delete();
        whole.reason = AfxTakeFailureReason().str();
    }
    // Enveloped data the streamed reading takes must decode whole too, and give the same
    // output or the same failure.
    const char* path = InputFile(data, size);
    if (!path)
        return 0;
    try {
        CStreamedEnvelope envelope;
        if (!envelope.Open(path))
            return 0;
        if (!decoded)
            std::abort();
        Result streamed;
        try {
            CMemFile out;
            CProgress progress(nullptr);
            streamed = Take(ProcessStreamedEnvelope(envelope, out, progress, nullptr), out);
        } catch (CException* e) {
            e->Delete();
            streamed.reason = AfxTakeFailureReason().str();
        }
        if (streamed.ok != whole.ok || streamed.output != whole.output || streamed.reason != whole.reason)
            std::abort();
    } catch (CException* e) {
        e->Delete();
    }
    return 0;
}
