// The locked-file wrapper on its own: round trips with every kind of key, the layout
// against the test's own assembly, the integrity and parity checks, truncated input, the
// stage texts, and the archive payload's refusal of shared key objects.
#include "key_file_support.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/locked_file.h"
#include "decrypt/core/resources.h"
#include "framework/afx.h"
#include "framework/fsutil.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/engines/unlock_exception.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace keyfile_test;

namespace {

const char kNotValid[] = "UnlockFileWithKey - locked file is not valid or key is corrupted";
const char kParity[] = "UnlockFileWithKey - locked DES is corrupted (parity check failed)";
const char kDigest[] = "UnlockFileWithKey - data to unlock are corrupted or key is not valid (invalid unlocked digest)";

Bytes Pattern(size_t n)
{
    Bytes b(n, '\0');
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return b;
}

void Put(CMemFile& f, const Bytes& b)
{
    f.Write(b.data(), static_cast<UINT>(b.size()));
    f.SeekToBegin();
}

Bytes Contents(CMemFile& f) { return Bytes(reinterpret_cast<const char*>(f.GetBufferPtr()), static_cast<size_t>(f.GetLength())); }

Bytes Lock(const Bytes& plain, const CKeyInfo& key)
{
    CMemFile in, out;
    Put(in, plain);
    LockFileWithKey(in, out, key, nullptr);
    return Contents(out);
}

// The plaintext, or the unlock reason prefixed with "!".
Bytes Unlock(const Bytes& locked, const CKeyInfo& key)
{
    CMemFile in, out;
    Put(in, locked);
    try {
        UnlockFileWithKey(in, out, key, nullptr);
    } catch (CUnlockException* e) {
        e->Delete();
        return "!" + std::string(AfxGetLastUnlockReason());
    }
    return Contents(out);
}

TEST(LockedFile, PasswordKeyIsMD5OfThePassword)
{
    for (const char* pw : {"", "*", "a longer pass phrase"}) {
        CKeyInfo info = MakePasswordKey(CString(pw));
        EXPECT_EQ(info.m_nType, CKeyInfo::DESKey);
        EXPECT_EQ(info.m_strName, "");
        EXPECT_EQ(info.m_nGrade, 0);
        const auto* key = static_cast<const CDESkey*>(info.m_pKey);
        BYTE k[8], iv[8];
        PasswordKeyBytes(pw, k, iv);
        EXPECT_EQ(Hex(key->m_Key, 8), Hex(k, 8));
        EXPECT_EQ(Hex(key->m_IV, 8), Hex(iv, 8));
        EXPECT_TRUE(IsDESKeyParityOK(key->m_Key, 8));
    }
}

TEST(LockedFile, RoundTripsWithEverySymmetricKeyAndSize)
{
    CKeyInfo des("", CKeyInfo::DESKey, new CDESkey, 0);
    CKeyInfo tdes("", CKeyInfo::TripleDESKey, new CTripleDESkey, 0);
    CKeyInfo idea("", CKeyInfo::IDEAKey, new CIDEAkey, 0);
    for (const CKeyInfo* key : {&des, &tdes, &idea})
        for (size_t n : {0, 1, 7, 8, 1023, 1024, 2048, 2400, 2401, 5000}) {
            Bytes plain = Pattern(n);
            Bytes locked = Lock(plain, *key);
            EXPECT_EQ(locked.size(), 2 + 8 + 8 + 16 + n + (8 - n % 8)) << n;
            EXPECT_EQ(Unlock(locked, *key), plain) << key->m_nType << " " << n;
        }
    // Another key of the same kind fails, mostly at the parity check.
    CKeyInfo other("", CKeyInfo::DESKey, new CDESkey, 0);
    Bytes result = Unlock(Lock(Pattern(100), des), other);
    EXPECT_EQ(result[0], '!');
}

TEST(LockedFile, LayoutMatchesTheAssembledBytes)
{
    // The file made here, taken apart with the test's own code, and assembled again from
    // its session key, is the same file; at a length of 1024 the stored integrity value is
    // the unfinished MD5 state.
    for (size_t n : {0, 100, 1024, 3072, 3000}) {
        Bytes plain = Pattern(n);
        CKeyInfo key = MakePasswordKey(CString("layout"));
        Bytes locked = Bytes("\x01\x00\x00\x00", 4) + Lock(plain, key);
        OpenedKeyFile opened = OpenKeyFile(locked, "layout");
        ASSERT_TRUE(opened.ok) << n;
        EXPECT_EQ(opened.payload, plain);
        EXPECT_EQ(KeyFileBytes(1, "layout", plain, opened.sessionKey, opened.sessionIV), locked) << n;
        BYTE standard[16];
        AfxMakeMD5DigestOnData(reinterpret_cast<const BYTE*>(plain.data()), static_cast<int>(n), standard);
        EXPECT_EQ(std::memcmp(standard, opened.digest, 16) != 0, n != 0 && n % 1024 == 0) << n;
    }
}

TEST(LockedFile, SourceAndDestinationPositionsAreKept)
{
    CKeyInfo key = MakePasswordKey(CString("pos"));
    CMemFile in, out;
    Put(in, "HEADER" + Pattern(50));
    in.Seek(6, CFile::begin);
    out.Write("PREFIX", 6);
    LockFileWithKey(in, out, key, nullptr);
    Bytes locked = Contents(out);
    EXPECT_EQ(locked.substr(0, 6), "PREFIX");

    CMemFile src, dst;
    Put(src, locked);
    src.Seek(6, CFile::begin);
    dst.Write("KEEP", 4);
    UnlockFileWithKey(src, dst, key, nullptr);
    EXPECT_EQ(Contents(dst), "KEEP" + Pattern(50));
}

TEST(LockedFile, OneChangedByteFailsTheIntegrityCheck)
{
    CKeyInfo key = MakePasswordKey(CString("digest"));
    Bytes plain = Pattern(3000);
    Bytes locked = Lock(plain, key);
    // Each payload block before the last one: the digest catches it.
    for (size_t at : {size_t(34), size_t(40), size_t(1000), size_t(2400), locked.size() - 17}) {
        Bytes bad = locked;
        bad[at] ^= 0x01;
        EXPECT_EQ(Unlock(bad, key), "!" + std::string(kDigest)) << at;
    }
    // The encrypted digest itself.
    Bytes bad = locked;
    bad[18] ^= 0x80;
    EXPECT_EQ(Unlock(bad, key), "!" + std::string(kDigest));
    // The last block: the padding check or the digest.
    bad = locked;
    bad[locked.size() - 1] ^= 0x01;
    Bytes r = Unlock(bad, key);
    EXPECT_TRUE(r == "!" + std::string(kDigest) || r.find("CCryptoProcessor::DecryptFile") != std::string::npos) << r;
}

TEST(LockedFile, SessionKeyWithBadParityIsRefusedFirst)
{
    BYTE k[8], iv[8];
    PasswordKeyBytes("parity", k, iv);
    CDESkey pw;
    std::memcpy(pw.m_Key, k, 8);
    std::memcpy(pw.m_IV, iv, 8);
    CDES_CBC cbc(pw);
    BYTE even[8] = {0x00, 0x03, 0x05, 0x06, 0x09, 0x0A, 0x0C, 0x0F};
    BYTE locked[8];
    cbc.EncryptBlock(even, 8, locked, nullptr);
    Bytes file = KeyFileBytes(0, "parity", Pattern(40)).substr(4);
    std::memcpy(file.data() + 2, locked, 8);
    EXPECT_EQ(Unlock(file, MakePasswordKey(CString("parity"))), "!" + std::string(kParity));
}

TEST(LockedFile, TruncatedOrOversizedInputIsRefusedWithoutCrashing)
{
    CKeyInfo key = MakePasswordKey(CString("cut"));
    Bytes locked = Lock(Pattern(77), key);
    for (size_t n = 0; n < locked.size(); ++n) {
        Bytes r = Unlock(locked.substr(0, n), key);
        ASSERT_EQ(r[0], '!') << n;
        if (n < 26 + 8) {
            EXPECT_EQ(r, "!" + std::string(kNotValid)) << n;
        }
    }
    for (unsigned n : {0u, 7u, 9u, 100u, 0xFFFFu}) {
        Bytes bad = locked;
        bad[0] = static_cast<char>(n & 0xFF);
        bad[1] = static_cast<char>(n >> 8);
        EXPECT_EQ(Unlock(bad, key), "!" + std::string(kNotValid)) << n;
    }
}

TEST(LockedFile, RSAKeysLockTheSessionKeyWithTheModulusLength)
{
    auto k512 = LoadPrivateKey(KeyPath("512a"));
    auto k1024 = LoadPrivateKey(KeyPath("1024"));
    CKeyInfo priv("", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*k512), 0);
    CKeyInfo pub("", CKeyInfo::RSAPublicKey, new CRSAPublicKey(*k512), 0);
    CKeyInfo big("", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*k1024), 0);

    Bytes plain = Pattern(300);
    Bytes locked = Lock(plain, pub);
    EXPECT_EQ(static_cast<BYTE>(locked[0]) | (static_cast<BYTE>(locked[1]) << 8), 64);
    EXPECT_EQ(Unlock(locked, priv), plain);
    EXPECT_EQ(Unlock(locked, pub), "!" + std::string(kNotValid));   // no private key to unlock with
    EXPECT_EQ(Unlock(locked, big), "!" + std::string(kNotValid));   // N is not its length
    EXPECT_EQ(Unlock(Lock(plain, big), big), plain);

    // Assembled by the test with the library's RSA primitive.
    CRSAPublicKey publicKey(*k512);
    EXPECT_EQ(Unlock(RSALockedBytes(publicKey, plain), priv), plain);
}

TEST(LockedFile, StageTextsFollowTheSteps)
{
    CScriptedFrontEnd ui;
    RegisterCoreResources();
    CKeyInfo key = MakePasswordKey(CString("stages"));
    CMemFile in, locked, out;
    Put(in, Pattern(5000));
    {
        ProgressDialog progress;
        ASSERT_TRUE(progress.Create(nullptr, "lock"));
        LockFileWithKey(in, locked, key, &progress);
        locked.SeekToBegin();
        UnlockFileWithKey(locked, out, key, &progress);
        progress.DestroyWindow();
    }
    EXPECT_EQ(ui.stageTexts, (std::vector<CString>{"preparing...", "computing digest for integrity check...",
                                                   "locking data...", "finished locking", "preparing...",
                                                   "unlocking data...", "checking data integrity...",
                                                   "finished data unlocking"}));
    EXPECT_EQ(Contents(out), Pattern(5000));
}

TEST(LockedFile, WipingMemoryFileKeepsItsContentsUntilWiped)
{
    CWipingMemFile f(16);
    Bytes b = Pattern(100);
    for (int i = 0; i < 10; ++i)
        f.Write(b.data(), static_cast<UINT>(b.size()));
    EXPECT_EQ(f.GetLength(), 1000);
    EXPECT_EQ(Bytes(reinterpret_cast<const char*>(f.GetBufferPtr()), 100), b);
    f.WipeContents();
    EXPECT_EQ(f.GetLength(), 0);
}

// An archive payload whose second record refers back to the first record's key object: no
// writer makes it, and loading it must neither share nor free that key twice.
TEST(KeyFileArchive, RecordsReferringToAnotherRecordsKeyAreRefused)
{
    CScriptedFrontEnd ui;
    char templ[] = "/tmp/key_file_archive_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    std::string dir = templ;
    RegisterCoreResources();
    AfxGetDecryptionState() = DecryptionState();
    auto k512 = LoadPrivateKey(KeyPath("512a"));
    CKeyInfo a("A", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*k512), 0);
    Bytes one = ArchivePayload({&a});
    ASSERT_EQ(one[0], '\x01');
    // version, name "B", empty second string, type 5, grade 0, object reference 2 (the key
    // loaded with the first record), flag 0, 16 digest bytes.
    Bytes second("\x00\x01" "B" "\x00\x05\x00\x00\x00\x02\x00\x00\x00", 12);
    second.append(16, '\0');
    Bytes payload = "\x02" + one.substr(1) + second;
    std::string path = dir + "/shared.key";
    WriteBytes(path, KeyFileBytes(0, "*", payload));
    WriteBytes(dir + "/shared.P7M", "certificate");
    AfxGetDecryptionState().m_strKeyFileName = path.c_str();
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), "Unexpected error occured: cannot read file.\n" + path);
    AfxGetDecryptionState() = DecryptionState();
    AfxDeleteFolderTree(dir.c_str());
}

// Key files are read under a shared lock: runs that share one ID load it at the same time,
// and none reads it while a writer holds it.
TEST(KeyFileSharing, ReadersShareTheFileAWriterKeepsItToItself)
{
    CScriptedFrontEnd ui;
    char templ[] = "/tmp/key_file_sharing_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    std::string dir = templ;
    RegisterCoreResources();
    AfxGetDecryptionState() = DecryptionState();
    auto k512 = LoadPrivateKey(KeyPath("512a"));
    CKeyInfo a("A", CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(*k512), 0);
    std::string path = dir + "/shared.key";
    WriteBytes(path, KeyFileBytes(0, "*", ArchivePayload({&a})));
    WriteBytes(dir + "/shared.P7M", "certificate");
    AfxGetDecryptionState().m_strKeyFileName = path.c_str();
    {
        CFile otherReader(path.c_str(), CFile::modeRead | CFile::shareDenyWrite);
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
        EXPECT_TRUE(ui.boxes.empty());
    }
    {
        CFile writer(path.c_str(), CFile::modeReadWrite | CFile::shareExclusive);
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text.str(), std::string(DecryptString(IDS_KEYFILE_CANNOT_OPEN)) + "\n" + path);
    }
    AfxGetDecryptionState() = DecryptionState();
    AfxDeleteFolderTree(dir.c_str());
}

}  // namespace
