// Key-file unlock and parse, as LoadKeyFile does them on a file the user picked. The first
// byte picks what the rest is:
//   mode 0, 1: the payload of an unprotected key file (0: the archive of records, 1: the DER
//              sequence of entries); the target locks it with the built-in password, as a
//              saved file holds it, so the fuzzer works on what the parsers read;
//   mode 2, 3: the bytes after the flag word as they are (damaged or hostile locked data).
// Whatever the bytes, LoadKeyFile ends with 1 or 0 and its message box; a crash, a leak or a
// key taken as the decrypting ID that is no usable private key is a finding.
#include "decrypt/app/resources.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/locked_file.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/memfile.h"
#include "framework/ui/front_end.h"
#include "sigilbox/engines/rsa_keys.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Message boxes are answered at once; dialogs (the password) are cancelled.
class CQuietFrontEnd : public CFrontEnd {
public:
    void RunModal(CDialog&) override {}
    int MessageBox(const char*, const char*, UINT) override { return 1; }
    INT_PTR RunFileDialog(CFileDialog&) override { return 2; }
    INT_PTR RunPropertySheet(CPropertySheet&) override { return 2; }
    BOOL IsInteractive() const override { return FALSE; }
};

std::string g_folder;

void SetUpOnce()
{
    if (!g_folder.empty())
        return;
    char templ[] = "/tmp/fuzz_key_file_XXXXXX";
    if (!mkdtemp(templ))
        std::abort();
    g_folder = templ;
    setenv("XDG_CONFIG_HOME", g_folder.c_str(), 1);
    setenv("XDG_DATA_HOME", g_folder.c_str(), 1);
    static CQuietFrontEnd quiet;
    AfxSetFrontEnd(&quiet);
    RegisterDecryptResources();
}

void WriteFile(const std::string& path, const BYTE* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetUpOnce();
    if (size == 0 || size > 65536)
        return 0;
    int mode = data[0] & 3;
    // Unprotected files are tried with every printable password: keep raw inputs short.
    if (mode >= 2 && size > 8192)
        return 0;
    const char* name = (mode == 1 || mode == 3) ? "/id.sec" : "/id.key";   // DER by the extension
    std::string path = g_folder + name;

    CMemFile file;
    static const BYTE kFlag[4] = {0, 0, 0, 0};
    file.Write(kFlag, 4);
    if (mode <= 1) {
        CMemFile payload(const_cast<BYTE*>(data + 1), static_cast<UINT>(size - 1));
        LockFileWithKey(payload, file, MakePasswordKey("*", 1), nullptr);
    } else if (size > 1) {
        file.Write(data + 1, static_cast<UINT>(size - 1));
    }
    WriteFile(path, file.GetBufferPtr(), static_cast<size_t>(file.GetLength()));

    DecryptionState& state = AfxGetDecryptionState();
    state.SetDecryptingID(CKeyInfo());
    state.m_nIDIsSet = 0;
    state.m_strKeyFileName = path.c_str();
    int loaded = 0;
    try {
        loaded = LoadKeyFile(nullptr, 0);
    } catch (CException* e) {
        // LoadKeyFile reports its own failures; nothing may escape it.
        char text[256] = {};
        e->GetErrorMessage(text, sizeof text);
        std::fprintf(stderr, "key_file: exception escaped LoadKeyFile: %s\n", text);
        std::abort();
    }
    if (loaded) {
        CRSAPrivateKey* key = state.GetPrivateKey();
        if (!state.HasDecryptingID() || !key)
            std::abort();
    }
    state.SetDecryptingID(CKeyInfo());
    state.m_nIDIsSet = 0;
    return 0;
}
