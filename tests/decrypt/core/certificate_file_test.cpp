// The certificate file beside a key file: its name, the question when it is missing, the
// file itself as OpenSSL reads and verifies it, and the serial-number counters.
#include "ids_test_support.h"

#include "decrypt/core/certificate_dialog.h"
#include "decrypt/core/certificate_file.h"
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_info.h"
#include "framework/app.h"
#include "framework/file.h"
#include "framework/memfile.h"
#include "framework/registry.h"
#include "framework/system.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/hex_text.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kCannotCreate[] = "UNEXPECTED ERROR: cannot create .P7M file";

// Answers dialog 130 with the address (or cancels it when address is null) and records
// what the dialog showed.
struct CertificateQuestion {
    CString shownPath;
    CString shownAddress;
    BOOL pathReadOnly = FALSE;
};
void AnswerCertificateQuestion(CScriptedFrontEnd& ui, const char* address, CertificateQuestion* seen = nullptr)
{
    CString answer = address ? address : "";
    bool cancel = address == nullptr;
    ui.OnDialog(IDD_CREATE_CERTIFICATE, [=](CDialog& d) {
        if (seen) {
            seen->shownPath = d.GetDlgItemText(IDC_CERTIFICATE_PATH);
            seen->shownAddress = d.GetDlgItemText(IDC_EMAIL_ADDRESS);
            seen->pathReadOnly = (d.GetControl(IDC_CERTIFICATE_PATH)->style & CS_READONLY) != 0;
        }
        if (cancel) {
            d.HandleCommand(IDCANCEL);
            return;
        }
        d.HandleEditChange(IDC_EMAIL_ADDRESS, answer);
        d.HandleCommand(IDC_CREATE_CERTIFICATE);
    });
}

// The stored counter of an issuer, as the registry holds it.
std::string StoredCounter(const CString& valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quillmar\\Postlantern", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    BYTE data[512];
    DWORD size = sizeof data, type = 0;
    LONG r = RegQueryValueExA(key, valueName, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_BINARY)
        return {};
    return std::string(reinterpret_cast<char*>(data), size);
}

CString CounterName(const char* address)
{
    CASN1_RDNSequence sequence{CDistinguishedName(address)};
    CDEREncoding der(sequence);
    CMD5DigestMaker md5;
    md5.UpdateBlock(der.GetData(), der.GetSize(), nullptr, 1);
    BYTE digest[16];
    md5.GetCurrentDigest(digest);
    return CString("SN_") + OctetsToHexChars(digest, 15);
}

// The counter bytes out of its stored archive form.
std::string CounterBytes(const std::string& stored)
{
    CMemFile file(reinterpret_cast<BYTE*>(const_cast<char*>(stored.data())), static_cast<UINT>(stored.size()));
    CArchive ar(&file, CArchive::load);
    CSerialNumber serial;
    serial.Serialize(ar);
    return std::string(reinterpret_cast<const char*>(serial.GetData()), static_cast<size_t>(serial.GetSize()));
}

std::string StoreCounter(const std::string& bytes)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        CSerialNumber serial(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<int>(bytes.size()));
        serial.Serialize(ar);
    }
    return std::string(reinterpret_cast<const char*>(file.GetBufferPtr()), static_cast<size_t>(file.GetLength()));
}

void PutCounter(const CString& valueName, const std::string& stored)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Quillmar\\Postlantern", &key), static_cast<LONG>(ERROR_SUCCESS));
    RegSetValueExA(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(stored.data()), static_cast<DWORD>(stored.size()));
    RegCloseKey(key);
}

// The serial a certificate carries hides the counter: 3 random bytes, MD5 of the counter, 5 more.
std::string DigestInSerial(const CSerialNumber& serial)
{
    if (serial.GetSize() != 24)
        return {};
    return std::string(reinterpret_cast<const char*>(serial.GetData()) + 3, 16);
}
std::string Md5(const std::string& bytes)
{
    CMD5DigestMaker md5;
    md5.UpdateBlock(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<int>(bytes.size()), nullptr, 1);
    BYTE digest[16];
    md5.GetCurrentDigest(digest);
    return std::string(reinterpret_cast<char*>(digest), 16);
}

// The certificate carried by a certificate file.
bool ReadCertificateFile(const std::string& path, CCertificate& certificate)
{
    std::string bytes = ReadBytes(path);
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    CASN1_ContentInfo info(encoding);
    if (!(info.GetContentType() == CASN1_signedData()))
        return false;
    CASN1_SignedData signedData;
    if (!CASN1_TAGGED::FromExplicit(info.GetContent(), signedData) || !CASN1_SignedData::IsValid(&signedData))
        return false;
    if (signedData.GetSignerInfos().GetComponentsCount() != 0 || !signedData.IsCertificates())
        return false;
    CASN1_SET certificates = signedData.GetCertificates();
    if (certificates.GetComponentsCount() != 1)
        return false;
    CASN1_Certificate::SetDataTo(*certificates.m_Components[0], certificate);
    return true;
}

class CertificateFile : public IdsScratch {};

TEST(CertificateFileName, BesideTheKeyFileWithP7M)
{
    EXPECT_STREQ(CertificateFileName("/keys/Mine.sec"), "/keys/Mine.P7M");
    EXPECT_STREQ(CertificateFileName("/keys/my.id.key"), "/keys/my.id.P7M");
    EXPECT_STREQ(CertificateFileName("/keys.d/mine"), "/keys.d/mine.P7M");   // a dot in the folder is not an extension
    EXPECT_STREQ(CertificateFileName("mine.sec"), "mine.P7M");
    EXPECT_STREQ(CertificateFileName(""), "");
}

TEST(CertificateExpiry, OneYearLaterAndLeapDays)
{
    CUTCTime leap(CString("280229235959Z"));
    leap.m_nYear = 2028;
    CUTCTime after = CertificateExpiry(leap);
    EXPECT_EQ(after.m_nYear, 2029);
    EXPECT_EQ(after.m_nMonth, 2);
    EXPECT_EQ(after.m_nDay, 28);
    EXPECT_EQ(after.m_nMinuteOfDay, leap.m_nMinuteOfDay);
    EXPECT_EQ(after.m_nSecond, leap.m_nSecond);

    CUTCTime plain(CString("270301000000Z"));
    plain.m_nYear = 2027;
    after = CertificateExpiry(plain);
    EXPECT_EQ(after.m_nYear, 2028);
    EXPECT_EQ(after.m_nMonth, 3);
    EXPECT_EQ(after.m_nDay, 1);
    EXPECT_TRUE(after.IsValid());
}

TEST(CertificateAddress, AtSignNeededAfterTheFirstCharacter)
{
    EXPECT_TRUE(IsAcceptableEmailAddress("a@b"));
    EXPECT_TRUE(IsAcceptableEmailAddress("alice@example.org"));
    EXPECT_FALSE(IsAcceptableEmailAddress("@example.org"));
    EXPECT_FALSE(IsAcceptableEmailAddress("example.org"));
    EXPECT_FALSE(IsAcceptableEmailAddress(""));
    // Only what the certificate's IA5String can carry.
    EXPECT_FALSE(IsAcceptableEmailAddress("al\xE9@example.org"));
    EXPECT_FALSE(IsAcceptableEmailAddress("a\tb@example.org"));
}

TEST_F(CertificateFile, PresenceFollowsTheFileAndItsOpenability)
{
    EXPECT_EQ(CertificateFileExists(), 0);   // no key file name
    SetTestID(TestKey508(), Path("mine.sec"));
    EXPECT_EQ(CertificateFileExists(), 0);
    WriteBytes(Path("mine.P7M"), "x");
    EXPECT_EQ(CertificateFileExists(), 1);

    // Held by another program: counted as there, not made again.
    CFile holder(Path("mine.P7M").c_str(), CFile::modeReadWrite | CFile::shareExclusive);
    EXPECT_EQ(CertificateFileExists(), 1);
    CScriptedFrontEnd ui;
    EXPECT_EQ(EnsureCertificateFile(nullptr), 1);
    EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(CertificateFile, NothingWithoutAnID)
{
    CScriptedFrontEnd ui;
    AfxGetDecryptionState().m_strKeyFileName = Path("mine.sec").c_str();
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_FALSE(PathExists(Path("mine.P7M")));
}

TEST_F(CertificateFile, AddressRefusedUntilValid)
{
    SetTestID(TestKey508(), Path("mine.sec"));
    AfxGetDecryptionState().m_strEmailAddress = "old@example.org";
    CScriptedFrontEnd ui;
    std::vector<BOOL> endedAfter;
    CertificateQuestion seen;
    ui.OnDialog(IDD_CREATE_CERTIFICATE, [&](CDialog& d) {
        seen.shownPath = d.GetDlgItemText(IDC_CERTIFICATE_PATH);
        seen.shownAddress = d.GetDlgItemText(IDC_EMAIL_ADDRESS);
        for (const char* address : {"@example.org", "example.org", "", "b@x"}) {
            d.HandleEditChange(IDC_EMAIL_ADDRESS, address);
            d.HandleCommand(IDC_CREATE_CERTIFICATE);
            endedAfter.push_back(d.IsEnded());
        }
    });
    ASSERT_EQ(EnsureCertificateFile(nullptr), 1);
    EXPECT_EQ(seen.shownPath, Path("mine.P7M").c_str());
    EXPECT_EQ(seen.shownAddress, "old@example.org");
    EXPECT_EQ(endedAfter, (std::vector<BOOL>{FALSE, FALSE, FALSE, TRUE}));
    ASSERT_EQ(ui.boxes.size(), 3u);
    for (const auto& box : ui.boxes) {
        EXPECT_EQ(box.text, "Type valid Internet or IP address.");
        EXPECT_EQ(box.type & MB_ICONMASK, MB_ICONEXCLAMATION);
    }
    EXPECT_STREQ(AfxGetDecryptionState().m_strEmailAddress, "b@x");
}

TEST_F(CertificateFile, CancelLeavesEverythingAndAsksAgain)
{
    SetTestID(TestKey508(), Path("mine.sec"));
    CScriptedFrontEnd ui;
    AnswerCertificateQuestion(ui, nullptr);
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    EXPECT_EQ(FolderNames(dir).size(), 0u);
    EXPECT_TRUE(AfxGetDecryptionState().m_strEmailAddress.IsEmpty());
    EXPECT_EQ(StoredCounter(CounterName("a@b")), "");   // no serial number was used
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    EXPECT_EQ(ui.dialogs, (std::vector<UINT>{IDD_CREATE_CERTIFICATE, IDD_CREATE_CERTIFICATE}));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(CertificateFile, MadeSignedAndReadByOpenSSL)
{
    SetTestID(TestKey508(), Path("mine.sec"));
    CScriptedFrontEnd ui;
    CertificateQuestion seen;
    AnswerCertificateQuestion(ui, "  Alice@Example.ORG ", &seen);
    mode_t old = umask(022);
    int made = EnsureCertificateFile(nullptr);
    umask(old);
    ASSERT_EQ(made, 1);
    EXPECT_TRUE(seen.pathReadOnly);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_STREQ(AfxGetDecryptionState().m_strEmailAddress, "Alice@Example.ORG");
    EXPECT_EQ(ui.stageTexts, (std::vector<CString>{"generating serial number ...", "creating certificate ...",
                                                   "signing certificate ...", "checking signature ...",
                                                   "preparing S/MIME content ...", "saving .P7M file ..."}));
    // Nothing else beside it (no temporary left), readable by all as a public file.
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"mine.P7M", "quillmar"}));
    struct stat st;
    ASSERT_EQ(stat(Path("mine.P7M").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    CCertificate certificate;
    ASSERT_TRUE(ReadCertificateFile(Path("mine.P7M"), certificate));
    EXPECT_TRUE(certificate.IsSelfSigned());
    CString email;
    ASSERT_TRUE(certificate.m_Subject.Find(DNEMailAddress, email));
    EXPECT_STREQ(email, "alice@example.org");
    CString locality;
    ASSERT_TRUE(certificate.m_Subject.Find(DNLocalityName, locality));
    EXPECT_STREQ(locality, "Internet");
    CRSAPublicKey publicKey(TestKey508());
    EXPECT_TRUE(certificate.IsSignatureOKFor(publicKey));
    EXPECT_EQ(certificate.m_nModulusBits, 508);
    EXPECT_EQ(std::memcmp(certificate.m_Modulus, publicKey.m_Modulus, sizeof publicKey.m_Modulus), 0);
    CUTCTime now;
    EXPECT_TRUE(certificate.IsValidationPeriodOKFor(now));
    EXPECT_EQ(certificate.m_NotAfter.m_nYear, certificate.m_NotBefore.m_nYear + 1);
    EXPECT_EQ(DigestInSerial(certificate.m_SerialNumber), Md5(CounterBytes(StoredCounter(CounterName("alice@example.org")))));

    // Made once: present now, no question.
    EXPECT_EQ(EnsureCertificateFile(nullptr), 1);
    EXPECT_EQ(ui.dialogs.size(), 1u);

    if (!HaveOpenSSL())
        GTEST_SKIP() << "openssl not found";
    std::string out;
    ASSERT_EQ(Shell("openssl pkcs7 -inform DER -in '" + Path("mine.P7M") + "' -print_certs -out '" + Path("mine.pem") + "'", &out), 0)
        << out;
    ASSERT_EQ(Shell("openssl x509 -in '" + Path("mine.pem") + "' -noout -subject -issuer", &out), 0) << out;
    EXPECT_NE(out.find("emailAddress = alice@example.org"), std::string::npos) << out;
    EXPECT_NE(out.find("L = Internet"), std::string::npos) << out;
    std::string pem = "'" + Path("mine.pem") + "'";
    EXPECT_EQ(Shell("openssl verify -auth_level 0 -CAfile " + pem + " " + pem, &out), 0) << out;
    EXPECT_NE(out.find(": OK"), std::string::npos) << out;
}

TEST_F(CertificateFile, NeverFollowsOrReplacesWhatIsInTheWay)
{
    SetTestID(TestKey508(), Path("mine.sec"));
    // A dangling link counts as missing, but the file is not written through it.
    ASSERT_EQ(symlink(Path("elsewhere.P7M").c_str(), Path("mine.P7M").c_str()), 0);
    CScriptedFrontEnd ui;
    AnswerCertificateQuestion(ui, "a@b");
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, kCannotCreate);
    EXPECT_FALSE(PathExists(Path("elsewhere.P7M")));
    EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"mine.P7M", "quillmar"}));

    // A folder that is gone: the error box.
    SetTestID(TestKey508(), Path("gone/mine.sec"));
    AnswerCertificateQuestion(ui, "a@b");
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, kCannotCreate);

    // A folder that cannot be written: the error box, nothing left behind.
    ASSERT_EQ(mkdir(Path("ro").c_str(), 0500), 0);
    if (access(Path("ro").c_str(), W_OK) == 0)
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    SetTestID(TestKey508(), Path("ro/mine.sec"));
    AnswerCertificateQuestion(ui, "a@b");
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[2].text, kCannotCreate);
    EXPECT_TRUE(FolderNames(Path("ro")).empty());
}

TEST_F(CertificateFile, KeyThatSignsWronglyIsRefused)
{
    CRSAPrivateKey broken(TestKey508());
    broken.m_PrivateExponent[sizeof broken.m_PrivateExponent - 1] ^= 0x02;
    broken.m_Exponent1[sizeof broken.m_Exponent1 - 1] ^= 0x02;
    broken.m_Exponent2[sizeof broken.m_Exponent2 - 1] ^= 0x02;
    SetTestID(broken, Path("mine.sec"));
    CScriptedFrontEnd ui;
    AnswerCertificateQuestion(ui, "a@b");
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "UNEXPECTED ERROR: signing key is not valid");
    EXPECT_EQ(ui.boxes[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_FALSE(PathExists(Path("mine.P7M")));
}

TEST_F(CertificateFile, CounterThatCannotBeStoredEndsSilently)
{
    SetTestID(TestKey508(), Path("mine.sec"));
    // A machine hive that is not ours is never overwritten: the counter cannot be stored.
    mkdir(Path("quillmar").c_str(), 0700);
    WriteBytes(AfxGetHivePath(HKEY_LOCAL_MACHINE).str(), "not a hive\n");
    CScriptedFrontEnd ui;
    AnswerCertificateQuestion(ui, "a@b");
    EXPECT_EQ(EnsureCertificateFile(nullptr), 0);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(PathExists(Path("mine.P7M")));
    EXPECT_EQ(ReadBytes(AfxGetHivePath(HKEY_LOCAL_MACHINE).str()), "not a hive\n");
}

TEST_F(CertificateFile, CountersGrowByOnePerIssuerAcrossRestarts)
{
    CDistinguishedName alice("alice@example.org");
    CString name = CounterName("alice@example.org");
    EXPECT_EQ(name.GetLength(), 33);

    CSerialNumber first, second, other;
    ASSERT_EQ(NextSerialNumber(alice, first), 1);
    std::string c1 = CounterBytes(StoredCounter(name));
    ASSERT_FALSE(c1.empty());
    EXPECT_NE(c1[0], '\0');   // shortest form
    EXPECT_LE(c1.size(), 8u);
    EXPECT_EQ(DigestInSerial(first), Md5(c1));

    // Every call reads the hive file afresh, as a new run of the program does.
    ASSERT_EQ(NextSerialNumber(CDistinguishedName("ALICE@example.org"), second), 1);
    std::string c2 = CounterBytes(StoredCounter(name));
    CHugeDigit a, b;
    a.Decode(reinterpret_cast<const BYTE*>(c1.data()), static_cast<unsigned short>(c1.size()));
    b.Decode(reinterpret_cast<const BYTE*>(c2.data()), static_cast<unsigned short>(c2.size()));
    CHugeDigit diff = b - a;
    EXPECT_EQ(diff.Bits(), 1);
    EXPECT_EQ(DigestInSerial(second), Md5(c2));
    EXPECT_FALSE(first == second);

    // Another address counts on its own.
    ASSERT_EQ(NextSerialNumber(CDistinguishedName("bob@example.org"), other), 1);
    EXPECT_EQ(CounterBytes(StoredCounter(name)), c2);
    EXPECT_FALSE(StoredCounter(CounterName("bob@example.org")).empty());
}

TEST_F(CertificateFile, CounterCarriesAndUnreadableCountersRestartAtOne)
{
    CDistinguishedName alice("alice@example.org");
    CString name = CounterName("alice@example.org");
    CSerialNumber serial;

    PutCounter(name, StoreCounter(std::string("\x01\xFF\xFF", 3)));
    ASSERT_EQ(NextSerialNumber(alice, serial), 1);
    EXPECT_EQ(CounterBytes(StoredCounter(name)), std::string("\x02\x00\x00", 3));
    PutCounter(name, StoreCounter(std::string("\xFF\xFF", 2)));
    ASSERT_EQ(NextSerialNumber(alice, serial), 1);
    EXPECT_EQ(CounterBytes(StoredCounter(name)), std::string("\x01\x00\x00", 3));

    for (const std::string& bad : {std::string("\x05\x01", 2), std::string(), StoreCounter(std::string(300, '\x7F'))}) {
        PutCounter(name, bad);
        ASSERT_EQ(NextSerialNumber(alice, serial), 1);
        EXPECT_EQ(CounterBytes(StoredCounter(name)), std::string("\x01", 1));
        EXPECT_EQ(DigestInSerial(serial), Md5(std::string("\x01", 1)));
    }
}

TEST_F(CertificateFile, CountersInTheProfileOnTheSixteenBitHostedPlatform)
{
    CWinApp app("decrypt");
    AfxForcePlatformId(VER_PLATFORM_WIN32s);
    CDistinguishedName alice("alice@example.org");
    CSerialNumber serial;
    int first = NextSerialNumber(alice, serial);
    int second = NextSerialNumber(alice, serial);
    CByteArray stored;
    BOOL found = app.GetProfileBinary("SERIAL NUMBERS", CounterName("alice@example.org"), stored);
    AfxForcePlatformId(-1);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    ASSERT_TRUE(found);
    EXPECT_EQ(StoredCounter(CounterName("alice@example.org")), "");   // not in the registry
    std::string counter = CounterBytes(std::string(reinterpret_cast<const char*>(stored.GetData()), static_cast<size_t>(stored.GetSize())));
    EXPECT_EQ(DigestInSerial(serial), Md5(counter));
}

}  // namespace
