// Key files and OpenSSL's command line: a key file saved here opens with `openssl enc`
// (DES-CBC, the session key unwrapped first, the integrity value an MD5 of the payload) and
// its payload holds the private key exactly as `openssl rsa` writes it; a key file put
// together by openssl loads here.
#include "key_file_support.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/fsutil.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/engines/sym_keys.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace keyfile_test;

namespace {

const char kLegacy[] = " -provider legacy -provider default";

class KeyFileInterop : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/key_file_interop_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        if (Run("openssl enc -des-cbc" + std::string(kLegacy) + " -K 0123456789abcdef -iv 0000000000000000 -in /dev/null -out " +
                dir + "/probe") != 0)
            GTEST_SKIP() << "openssl with the legacy provider is not available";
        RegisterCoreResources();
        AfxGetDecryptionState() = DecryptionState();
    }
    void TearDown() override
    {
        AfxGetDecryptionState() = DecryptionState();
        AfxDeleteFolderTree(dir.c_str());
    }

    int Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }
    std::string F(const char* name) const { return dir + "/" + name; }

    // The password key as openssl computes it: MD5 of the password, IV the first half, key
    // the second half with the parity bit (the most significant one) set by the library rule.
    void OpenSSLPasswordKey(const std::string& password, std::string& keyHex, std::string& ivHex)
    {
        WriteBytes(F("pw"), password);
        ASSERT_EQ(Run("openssl dgst -md5 -binary -out " + F("pw.md5") + " " + F("pw")), 0);
        Bytes md5 = ReadBytes(F("pw.md5"));
        ASSERT_EQ(md5.size(), 16u);
        BYTE key[8];
        std::memcpy(key, md5.data() + 8, 8);
        AdjustDESKeyParity(key, 8);
        keyHex = Hex(key, 8);
        ivHex = Hex(reinterpret_cast<const BYTE*>(md5.data()), 8);
    }

    std::string dir;
    CScriptedFrontEnd ui;
};

TEST_F(KeyFileInterop, SavedKeyFileOpensWithOpenSSL)
{
    auto key = LoadPrivateKey(KeyPath("512a"));
    DecryptionState& state = AfxGetDecryptionState();
    state.SetDecryptingID(CKeyInfo("Interop", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*key), 0));
    state.m_nIDIsSet = 1;
    state.m_strKeyFileName = F("id.sec").c_str();
    WriteBytes(F("id.P7M"), "certificate");
    ui.AnswerBox(IDYES);
    ui.OnDialog(IDD_PASSWORD, [](CDialog& d) {
        d.HandleEditChange(IDC_PASSWORD_EDIT, "interop password");
        d.HandleCommand(IDOK);
    });
    ASSERT_EQ(SaveKeyFile(nullptr, 0), 1);
    Bytes file = ReadBytes(F("id.sec"));
    ASSERT_GT(file.size(), 22u);
    EXPECT_EQ(file.substr(0, 6), Bytes("\x01\x00\x00\x00\x08\x00", 6));

    std::string pwKey, pwIV;
    OpenSSLPasswordKey("interop password", pwKey, pwIV);
    WriteBytes(F("session.locked"), file.substr(6, 8));
    ASSERT_EQ(Run("openssl enc -d -des-cbc -nopad" + std::string(kLegacy) + " -K " + pwKey + " -iv " + pwIV + " -in " +
                  F("session.locked") + " -out " + F("session.key")),
              0);
    Bytes session = ReadBytes(F("session.key"));
    ASSERT_EQ(session.size(), 8u);
    EXPECT_TRUE(IsDESKeyParityOK(reinterpret_cast<const BYTE*>(session.data()), 8));

    WriteBytes(F("rest"), file.substr(22));
    ASSERT_EQ(Run("openssl enc -d -des-cbc" + std::string(kLegacy) + " -K " +
                  Hex(reinterpret_cast<const BYTE*>(session.data()), 8) + " -iv " +
                  Hex(reinterpret_cast<const BYTE*>(file.data() + 14), 8) + " -in " + F("rest") + " -out " + F("plain")),
              0);
    Bytes plain = ReadBytes(F("plain"));
    ASSERT_GT(plain.size(), 16u);
    Bytes payload = plain.substr(16);
    ASSERT_NE(payload.size() % 1024, 0u);
    WriteBytes(F("payload"), payload);
    ASSERT_EQ(Run("openssl dgst -md5 -binary -out " + F("payload.md5") + " " + F("payload")), 0);
    EXPECT_EQ(ReadBytes(F("payload.md5")), plain.substr(0, 16));

    // The payload parses as DER and carries the key as openssl writes it.
    EXPECT_EQ(Run("openssl asn1parse -inform DER -in " + F("payload") + " -noout"), 0);
    ASSERT_EQ(Run("openssl rsa -inform DER -in " + KeyPath("512a") + " -traditional -outform DER -out " + F("key.der")), 0);
    Bytes keyDer = ReadBytes(F("key.der"));
    ASSERT_FALSE(keyDer.empty());
    EXPECT_NE(payload.find(keyDer), Bytes::npos);
    EXPECT_NE(payload.find("Interop"), Bytes::npos);
}

TEST_F(KeyFileInterop, KeyFileMadeWithOpenSSLLoads)
{
    auto key = LoadPrivateKey(KeyPath("512b"));
    Bytes payload = DERPayload({{key.get(), true, "From openssl"}});
    WriteBytes(F("payload"), payload);
    ASSERT_EQ(Run("openssl dgst -md5 -binary -out " + F("payload.md5") + " " + F("payload")), 0);
    WriteBytes(F("digest+payload"), ReadBytes(F("payload.md5")) + payload);

    const std::string sessionKey = "3b6b75ab1970c7f2", sessionIV = "a1b2c3d4e5f60718";
    BYTE sk[8];
    for (int i = 0; i < 8; ++i)
        sk[i] = static_cast<BYTE>(std::strtoul(sessionKey.substr(2 * i, 2).c_str(), nullptr, 16));
    ASSERT_TRUE(IsDESKeyParityOK(sk, 8));
    WriteBytes(F("session.key"), Bytes(reinterpret_cast<const char*>(sk), 8));

    std::string pwKey, pwIV;
    OpenSSLPasswordKey("made by openssl", pwKey, pwIV);
    ASSERT_EQ(Run("openssl enc -e -des-cbc -nopad" + std::string(kLegacy) + " -K " + pwKey + " -iv " + pwIV + " -in " +
                  F("session.key") + " -out " + F("session.locked")),
              0);
    ASSERT_EQ(Run("openssl enc -e -des-cbc" + std::string(kLegacy) + " -K " + sessionKey + " -iv " + sessionIV + " -in " +
                  F("digest+payload") + " -out " + F("cipher")),
              0);
    BYTE iv[8];
    for (int i = 0; i < 8; ++i)
        iv[i] = static_cast<BYTE>(std::strtoul(sessionIV.substr(2 * i, 2).c_str(), nullptr, 16));
    Bytes file = Bytes("\x01\x00\x00\x00\x08\x00", 6) + ReadBytes(F("session.locked")) +
                 Bytes(reinterpret_cast<const char*>(iv), 8) + ReadBytes(F("cipher"));
    WriteBytes(F("openssl.sec"), file);
    WriteBytes(F("openssl.P7M"), "certificate");

    AfxGetDecryptionState().m_strKeyFileName = F("openssl.sec").c_str();
    ui.OnDialog(IDD_PASSWORD, [](CDialog& d) {
        d.HandleEditChange(IDC_PASSWORD_EDIT, "made by openssl");
        d.HandleCommand(IDOK);
    });
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(AfxGetDecryptionState().m_strName, "From openssl");
    const CRSAPrivateKey* loaded = AfxGetDecryptionState().GetPrivateKey();
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(std::memcmp(loaded->m_PrivateExponent, key->m_PrivateExponent, CRSAPublicKey::NumberSize), 0);
    EXPECT_TRUE(*loaded == *key);
}

}  // namespace
