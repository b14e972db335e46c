// The decrypt driver end to end: messages made by OpenSSL (tests/data/decrypt, with the
// script that made them) decrypted with the user's key into folders beside the inputs.
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/afx.h"
#include "framework/fsutil.h"
#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Fixture(const char* name) { return ReadBytes(std::string(QM_TEST_DATA) + "/decrypt/" + name); }

// Name -> content of the regular files in a folder.
std::map<std::string, std::string> FolderContent(const std::string& path)
{
    std::map<std::string, std::string> files;
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return files;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            files[name] = ReadBytes(path + "/" + name);
    }
    closedir(dir);
    return files;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

const std::string kText = "Hello, this is the text only message.\r\nSecond line.\r\n";

const char kFileError[] =
    "ERROR:\nQuillmar Postlantern Unsealer cannot decrypt the following file:\n%s\n\n"
    "The file maybe corrupted or other decrypting ID is needed.";

class DecryptDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/driver_test_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", dir.c_str(), 1);
        RegisterCoreResources();
        std::string der = Fixture("user_key.der");
        CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
        std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
        auto* key = new CRSAPrivateKey;
        CASN1_PrivateKey::SetDataTo(*value, *key);
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Test ID", CKeyInfo::RSAPrivateKey, key, 1));
        AfxGetDecryptionState().DecryptQueue.RemoveAll();
    }
    void TearDown() override
    {
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
        AfxGetDecryptionState().DecryptQueue.RemoveAll();
        AfxDeleteFolderTree(dir.c_str());
    }

    // Copies a fixture into the scratch folder under `name`; returns its path.
    std::string Put(const char* fixture, const std::string& name)
    {
        std::string path = dir + "/" + name;
        WriteBytes(path, Fixture(fixture));
        return path;
    }
    // The box of a failed file without its "Details" line, which says why.
    std::string ErrorFor(const std::string& path) const
    {
        CString text;
        text.Format(kFileError, path.c_str());
        return text.str();
    }
    static std::string WithoutDetails(const CString& box)
    {
        std::string text = box.str();
        return text.substr(0, text.find("\nDetails: "));
    }
    int ErrorBoxes() const
    {
        int n = 0;
        for (const auto& b : ui.boxes)
            n += b.text.Find("cannot decrypt the following file") >= 0;
        return n;
    }

    std::string dir;
    CScriptedFrontEnd ui;
};

TEST_F(DecryptDriver, TextOnlyMessageGivesMsgTxtWithTheStagesInOrder)
{
    std::string path = Put("text_rc2_40.p7m", "mail.p7m");
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    EXPECT_TRUE(ui.boxes.empty());
    auto out = FolderContent(dir + "/Decrypt");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out["Msg.txt"], kText);
    std::vector<std::string> stages;
    for (const CString& s : ui.stageTexts)
        if (stages.empty() || stages.back() != s.str())
            stages.push_back(s.str());
    EXPECT_EQ(stages, (std::vector<std::string>{"preparing outputs ...", "loading ciphertext ...",
                                                "preparing ciphertext ...", "decrypting ...",
                                                "running MIME processor ...", "finished"}));
}

TEST_F(DecryptDriver, RecipientsAndEncodingsAllReachTheSameText)
{
    // Three recipients with the user's key first, second and last; a BER-streamed envelope;
    // the forms users meet besides the extension's (PEM armour, an S/MIME mail, base64 on
    // one line, DER under a .sig name).
    const struct {
        const char* fixture;
        const char* name;
    } cases[] = {
        {"three_first.p7m", "in.p7m"}, {"three_second.p7m", "in.p7m"}, {"three_last.p7m", "in.p7m"},
        {"text_stream.p7m", "in.p7m"}, {"text_rc2_40.pem", "in.p7m"},  {"text_rc2_40_mail.eml", "in.eml"},
        {"text_rc2_40.b64", "in.sig"}, {"text_rc2_40.p7m", "in.sig"},
    };
    for (const auto& c : cases) {
        const std::string f = c.fixture;
        SCOPED_TRACE(f);
        std::string sub = dir + "/" + f + ".d";
        ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
        std::string path = sub + "/" + c.name;
        WriteBytes(path, Fixture(c.fixture));
        EXPECT_EQ(DecryptOneFile(path.c_str(), std::string(c.name).ends_with(".sig"), nullptr), 1);
        EXPECT_EQ(FolderContent(sub + "/Decrypt")["Msg.txt"], kText);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DecryptDriver, QueueChoosesBase64ByTheSigExtension)
{
    // MAIL.SIG and x.sig are base64 text; mail.sig.bak and a name without extension are DER.
    const char* names[][2] = {{"text_rc2_40.sig", "MAIL.SIG"}, {"text_rc2_40.sig", "x.sig"},
                              {"text_rc2_40.p7m", "mail.sig.bak"}, {"text_rc2_40.p7m", "noext"}};
    std::string list;
    for (auto& n : names) {
        std::string sub = dir + "/" + n[1] + ".d";
        ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
        WriteBytes(sub + "/" + n[1], Fixture(n[0]));
        QueueFileNames((sub + "/" + n[1]).c_str(), 1);
    }
    DecryptQueuedFiles(nullptr);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 0);
    for (auto& n : names)
        EXPECT_EQ(FolderContent(dir + "/" + n[1] + ".d/Decrypt")["Msg.txt"], kText) << n[1];
    int restoring = 0;
    for (const CString& s : ui.stageTexts)
        restoring += s == "restoring 6-bit ciphertext ...";
    EXPECT_EQ(restoring, 2);
}

TEST_F(DecryptDriver, MultipartPartsBecomeTextAndSafelyNamedFiles)
{
    std::string path = Put("multipart.p7m", "parts.p7m");
    ASSERT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    auto out = FolderContent(dir + "/Decrypt");
    std::map<std::string, std::string> expected = {
        // Parts end before the CR LF of the boundary line; the quoted-printable decoder ends
        // its lines with CR LF.
        {"Msg.txt", "First text part.\r\nQuoted = printable with a soft break.\r\n"},
        {"a.doc", std::string("first a.doc\0\1\2", 14)},
        {"Att3.att", "unnamed one"},
        {"a(1).doc", "second a.doc"},
        {"evil.txt", "evil"},
        {"passwd", "passwd"},
        {"Att7.att", "device"},
        {"b.txt", "backslash"},
        {"Att9.att", "unnamed two"},
    };
    EXPECT_EQ(out, expected);
    // Nothing escaped the output folder.
    EXPECT_FALSE(Exists(dir + "/evil.txt"));
    EXPECT_FALSE(Exists(dir + "/../evil.txt"));
}

TEST_F(DecryptDriver, OnTheSubsetPlatformNamesAreProbedAndTheProbeGoes)
{
    AfxForcePlatformId(VER_PLATFORM_WIN32s);
    std::string path = Put("multipart.p7m", "parts.p7m");
    int ok = DecryptOneFile(path.c_str(), FALSE, nullptr);
    AfxForcePlatformId(-1);
    ASSERT_EQ(ok, 1);
    auto out = FolderContent(dir + "/Decrypt");
    EXPECT_EQ(out.size(), 9u);
    EXPECT_EQ(out["a(1).doc"], "second a.doc");
    EXPECT_EQ(out["evil.txt"], "evil");
}

TEST_F(DecryptDriver, EmbeddedMessageGetsItsOwnText)
{
    std::string path = Put("embedded.p7m", "outer.p7m");
    ASSERT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    auto out = FolderContent(dir + "/Decrypt");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out["Msg.txt"], "Outer text.");
    EXPECT_EQ(out["Msg(1).txt"], "Inner text.");
}

TEST_F(DecryptDriver, UuencodedFileNamesStayInTheFolderToo)
{
    std::string path = Put("uuencoded.p7m", "uu.p7m");
    ASSERT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    auto out = FolderContent(dir + "/Decrypt");
    std::map<std::string, std::string> expected = {
        // The text before a block ends before the CR LF of its "begin" line.
        {"Msg.txt", "Text before the file.\r\nText after the file.\r\n"},
        {"up.txt", "uuencoded data\r\n"},
    };
    EXPECT_EQ(out, expected);
    EXPECT_FALSE(Exists(dir + "/up.txt"));
}

// Files may grow only to a given size once the MIME processor runs, as on a disk that fills
// up while the outputs are written.
class CFillingDisk : public CScriptedFrontEnd {
public:
    explicit CFillingDisk(rlim_t limit) : m_limit(limit)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    }
    ~CFillingDisk() override
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        signal(SIGXFSZ, m_oldHandler);
    }
    void Refresh(CDialog& dialog) override
    {
        CScriptedFrontEnd::Refresh(dialog);
        if (dialog.GetControls().size() > 1 && !m_armed) {
            for (const auto& c : dialog.GetControls()) {
                if (c.text == "running MIME processor ...") {
                    rlimit r = m_saved;
                    r.rlim_cur = m_limit;
                    setrlimit(RLIMIT_FSIZE, &r);
                    m_armed = true;
                }
            }
        }
    }

private:
    rlim_t m_limit;
    rlimit m_saved{};
    void (*m_oldHandler)(int);
    bool m_armed = false;
};

TEST_F(DecryptDriver, ADiskFullInTheMiddleOfAnAttachmentLeavesNoFolder)
{
    std::string path = Put("big.p7m", "big.p7m");
    {
        CFillingDisk disk(8192);
        EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 0);
        ASSERT_EQ(disk.boxes.size(), 1u);
        EXPECT_EQ(WithoutDetails(disk.boxes[0].text), ErrorFor(path));
    }
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
    // With room the same file decrypts.
    ASSERT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    auto out = FolderContent(dir + "/Decrypt");
    EXPECT_EQ(out["Msg.txt"], "See the file.");
    EXPECT_EQ(out["big.bin"].size(), 250u * 81u - 2u);
}

// A content of a megabyte or more is decrypted on a thread of its own while its message is
// read from what is decrypted: DER and BER-streamed forms give the folder that reading the
// file whole gives (its base64 form is read whole), and when that thread cannot write, the
// file fails with one box and leaves nothing.
TEST_F(DecryptDriver, LargeContentDecryptedWhileItIsReadGivesTheSameFolder)
{
    std::string attachment(1536 * 1024, '\0');
    unsigned state = 7;
    for (char& c : attachment)
        c = static_cast<char>((state = state * 1103515245u + 12345u) >> 23);
    WriteBytes(dir + "/att.bin", attachment);
    WriteBytes(dir + "/key.der", Fixture("user_key.der"));
    const std::string legacy = "-provider legacy -provider default";
    const std::string encrypt = "openssl smime " + legacy + " -encrypt -binary -rc2-40 -outform DER -in big.eml";
    ASSERT_EQ(std::system(("cd '" + dir + "' && mkdir der ber whole && "
                           "openssl rsa -inform DER -in key.der -out k.pem 2>/dev/null && "
                           "openssl req -x509 -new -key k.pem -subj /CN=Large -days 2 -out c.pem 2>/dev/null && "
                           "(printf 'Subject: large\\r\\nMIME-Version: 1.0\\r\\nContent-Type: multipart/mixed; boundary=b\\r\\n\\r\\n"
                           "--b\\r\\nContent-Type: text/plain\\r\\n\\r\\nSee the file.\\r\\n--b\\r\\n"
                           "Content-Type: application/octet-stream; name=att.bin\\r\\nContent-Transfer-Encoding: base64\\r\\n\\r\\n'; "
                           "openssl base64 -in att.bin; printf '\\r\\n--b--\\r\\n') > big.eml && " +
                           encrypt + " -out der/big.p7m c.pem && " + encrypt + " -stream -out ber/big.p7m c.pem && "
                           "openssl base64 -in der/big.p7m -out whole/big.sig")
                              .c_str()),
              0);
    ASSERT_EQ(DecryptOneFile((dir + "/whole/big.sig").c_str(), TRUE, nullptr), 1);
    const auto whole = FolderContent(dir + "/whole/Decrypt");
    ASSERT_EQ(whole.count("att.bin"), 1u);
    EXPECT_EQ(whole.at("att.bin"), attachment);
    for (const char* form : {"der", "ber"}) {
        ASSERT_EQ(DecryptOneFile((dir + "/" + form + "/big.p7m").c_str(), FALSE, nullptr), 1) << form;
        EXPECT_EQ(FolderContent(dir + "/" + form + "/Decrypt"), whole) << form;
    }
    EXPECT_TRUE(ui.boxes.empty());

    const std::string path = dir + "/der/big.p7m";
    {
        CFillingDisk disk(512 * 1024);
        EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 0);
        ASSERT_EQ(disk.boxes.size(), 1u);
        EXPECT_EQ(WithoutDetails(disk.boxes[0].text), ErrorFor(path));
        EXPECT_GE(disk.boxes[0].text.Find("the output folder cannot be written"), 0) << disk.boxes[0].text.str();
    }
    EXPECT_FALSE(Exists(dir + "/der/Decrypt1"));
    for (const auto& entry : std::filesystem::directory_iterator(dir + "/der"))
        EXPECT_NE(entry.path().filename().string().rfind(".Decrypt", 0), 0u) << entry.path();
}

// A DER value: tag, length, content.
std::string Tlv(unsigned char tag, const std::string& content)
{
    std::string out(1, static_cast<char>(tag));
    size_t n = content.size();
    if (n < 0x80) {
        out += static_cast<char>(n);
    } else {
        std::string len;
        for (; n; n >>= 8)
            len.insert(len.begin(), static_cast<char>(n & 0xFF));
        out += static_cast<char>(0x80 | len.size());
        out += len;
    }
    return out + content;
}

TEST_F(DecryptDriver, SignedDataAroundEnvelopedDataIsUnwrapped)
{
    // SignedData { version 1, { sha1 }, the enveloped content info itself, no signers }.
    const std::string signedOid("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x02", 11);
    const std::string sha1 = Tlv(0x30, std::string("\x06\x05\x2b\x0e\x03\x02\x1a\x05\x00", 9));
    std::string signedData =
        Tlv(0x30, Tlv(0x02, "\x01") + Tlv(0x31, sha1) + Fixture("text_rc2_40.p7m") + Tlv(0x31, ""));
    std::string path = dir + "/signed.p7m";
    WriteBytes(path, Tlv(0x30, signedOid + Tlv(0xA0, signedData)));
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    EXPECT_EQ(FolderContent(dir + "/Decrypt")["Msg.txt"], kText);
}

TEST_F(DecryptDriver, ContentWithoutDataFailsAndLeavesNothing)
{
    // A data content info without content, and the certificate file of an ID (signed data
    // with certificates only): no message, so the file fails and no folder stays.
    std::string path = dir + "/nothing.p7m";
    WriteBytes(path, std::string("\x30\x0b\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01", 13));
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 0);
    std::string certificates = dir + "/id.P7M";
    WriteBytes(certificates, ReadBytes(std::string(QM_SOURCE_DIR) + "/samples/demo.P7M"));
    EXPECT_EQ(DecryptOneFile(certificates.c_str(), FALSE, nullptr), 0);
    EXPECT_EQ(ErrorBoxes(), 2);
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
}

TEST_F(DecryptDriver, NestedSmimeInTheMessageFailsTheFile)
{
    // The decrypted message is clear-signed: this program does not process such parts.
    std::string path = Put("clearsigned.p7m", "cs.p7m");
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(WithoutDetails(ui.boxes[0].text), ErrorFor(path));
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
}

TEST_F(DecryptDriver, StrongCiphersShowTheRefusalPerRecipientThenTheError)
{
    for (const char* f : {"rc2_64.p7m", "rc2_128.p7m", "des.p7m"}) {
        SCOPED_TRACE(f);
        ui.boxes.clear();
        std::string path = Put(f, f);
        EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 0);
        ASSERT_EQ(ui.boxes.size(), 2u);
        EXPECT_EQ(ui.boxes[0].text.Find("Unsealer could not decrypt and/or verify authentication\r\n"), 0);
        EXPECT_EQ(WithoutDetails(ui.boxes[1].text), ErrorFor(path));
        EXPECT_EQ(ui.boxes[1].caption, kAppTitle);
        EXPECT_EQ(ui.boxes[1].type & MB_ICONMASK, MB_ICONEXCLAMATION);
        EXPECT_FALSE(Exists(dir + "/Decrypt"));
    }
    ui.boxes.clear();
    std::string path = Put("des3_three.p7m", "des3.p7m");
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 4u);
    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_EQ(WithoutDetails(ui.boxes[3].text), ErrorFor(path));
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
}

TEST_F(DecryptDriver, OutputFoldersAreNeverReused)
{
    std::string path = Put("text_rc2_40.p7m", "mail.p7m");
    ASSERT_EQ(mkdir((dir + "/Decrypt").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir + "/Decrypt1").c_str(), 0700), 0);
    // A dangling link in the way is skipped, never followed.
    ASSERT_EQ(symlink((dir + "/nowhere").c_str(), (dir + "/Decrypt2").c_str()), 0);
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    EXPECT_EQ(FolderContent(dir + "/Decrypt3")["Msg.txt"], kText);
    EXPECT_TRUE(FolderContent(dir + "/Decrypt").empty());
    EXPECT_FALSE(Exists(dir + "/nowhere"));
    EXPECT_EQ(DecryptOneFile(path.c_str(), FALSE, nullptr), 1);
    EXPECT_EQ(FolderContent(dir + "/Decrypt4")["Msg.txt"], kText);
}

TEST_F(DecryptDriver, QueueWithAFailingMiddleFileGoesOn)
{
    std::string sub[3];
    for (int i = 0; i < 3; ++i) {
        sub[i] = dir + "/q" + std::to_string(i);
        ASSERT_EQ(mkdir(sub[i].c_str(), 0700), 0);
    }
    WriteBytes(sub[0] + "/a.p7m", Fixture("text_rc2_40.p7m"));
    WriteBytes(sub[1] + "/b.p7m", "garbage, not DER at all");
    WriteBytes(sub[2] + "/c.p7m", Fixture("embedded.p7m"));
    for (int i = 0; i < 3; ++i)
        QueueFileNames((sub[i] + "/" + char('a' + i) + ".p7m").c_str(), 1);
    DecryptQueuedFiles(nullptr);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(WithoutDetails(ui.boxes[0].text), ErrorFor(sub[1] + "/b.p7m"));
    EXPECT_EQ(FolderContent(sub[0] + "/Decrypt")["Msg.txt"], kText);
    EXPECT_FALSE(Exists(sub[1] + "/Decrypt"));
    EXPECT_EQ(FolderContent(sub[2] + "/Decrypt").size(), 2u);
}

TEST_F(DecryptDriver, BadInputsEndWithOneErrorBoxAndNoFolder)
{
    std::string der = Fixture("text_rc2_40.p7m");
    std::string corrupt = der;
    corrupt[corrupt.size() - 5] ^= 0x55;   // the last cipher block: padding breaks
    struct Case {
        std::string name, bytes, reason;   // the reason the box's Details line gives
    };
    std::vector<Case> all = {
        {"empty.p7m", "", "the file is empty"},
        {"empty.sig", "", "the file is empty"},
        {"blank.sig", "\r\n\r\n", "the file holds no base64 text"},
        {"garbage.sig", "!!!! not base64 ????", "not S/MIME content: it looks like text"},
        {"truncated.p7m", der.substr(0, der.size() / 2), "the content is truncated: it ends at byte"},
        {"corrupt.p7m", corrupt, "the content is corrupt: it does not decrypt with the key sent to this ID"},
        {"nested.p7m", std::string(2000, '\x30'), "the content is corrupt at byte 2"},
    };
    // Content infos of every other type without their content.
    const char* const layers[] = {"signedData", "envelopedData", "signedAndEnvelopedData", "digestedData", "encryptedData"};
    for (char type = 2; type <= 6; ++type) {
        std::string oid("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07", 10);
        all.push_back({"type" + std::to_string(type) + ".p7m", "\x30\x0b" + oid + type, layers[type - 2]});
    }
    for (const auto& c : all) {
        SCOPED_TRACE(c.name);
        ui.boxes.clear();
        std::string path = dir + "/" + c.name;
        WriteBytes(path, c.bytes);
        QueueFileNames(path.c_str(), 1);
        DecryptQueuedFiles(nullptr);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(WithoutDetails(ui.boxes[0].text), ErrorFor(path));
        const std::string box = ui.boxes[0].text.str();
        EXPECT_NE(box.find(c.reason, box.find("\nDetails: ")), std::string::npos) << box;
        EXPECT_FALSE(Exists(dir + "/Decrypt"));
    }
    // A file that is not there, and a folder that is not there.
    ui.boxes.clear();
    EXPECT_EQ(DecryptOneFile((dir + "/missing.p7m").c_str(), FALSE, nullptr), 0);
    EXPECT_EQ(DecryptOneFile((dir + "/nofolder/x.p7m").c_str(), FALSE, nullptr), 0);
    EXPECT_EQ(ui.boxes.size(), 2u);
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
}

TEST(QueueFileNames, SplitsLikeACommandLine)
{
    CStringArray& q = AfxGetDecryptionState().DecryptQueue;
    q.RemoveAll();
    QueueFileNames("\"/tmp/my files/a.p7m\" b.sig", 0);
    ASSERT_EQ(q.GetSize(), 2);
    EXPECT_EQ(q[0], "/tmp/my files/a.p7m");
    EXPECT_EQ(q[1], "b.sig");
    q.RemoveAll();
    QueueFileNames("   one   \"\"  \" two \"   three\"four   ", 0);
    ASSERT_EQ(q.GetSize(), 3);
    EXPECT_EQ(q[0], "one");
    EXPECT_EQ(q[1], "two");
    EXPECT_EQ(q[2], "three\"four");
    q.RemoveAll();
    QueueFileNames("\"unterminated name", 0);
    ASSERT_EQ(q.GetSize(), 1);
    EXPECT_EQ(q[0], "unterminated name");
    q.RemoveAll();
    QueueFileNames("  kept as it is  ", 1);
    ASSERT_EQ(q.GetSize(), 1);
    EXPECT_EQ(q[0], "  kept as it is  ");
    q.RemoveAll();
    QueueFileNames("   ", 0);
    EXPECT_EQ(q.GetSize(), 0);
}

TEST(SafeAttachmentName, NamesStayInTheirFolder)
{
    EXPECT_EQ(SafeAttachmentName("report.doc"), "report.doc");
    EXPECT_EQ(SafeAttachmentName("../../evil.txt"), "evil.txt");
    EXPECT_EQ(SafeAttachmentName("/etc/passwd"), "passwd");
    EXPECT_EQ(SafeAttachmentName("a\\b.txt"), "b.txt");
    EXPECT_EQ(SafeAttachmentName("C:\\Windows\\x.exe"), "x.exe");
    EXPECT_EQ(SafeAttachmentName("C:x.exe"), "x.exe");
    EXPECT_EQ(SafeAttachmentName("na\x01me\x7f.txt\r\n"), "name.txt");
    EXPECT_EQ(SafeAttachmentName("  spaced.txt . . "), "spaced.txt");
    for (const char* bad : {"", ".", "..", "...", "dir/", "dir/..", " . ", "CON", "con.txt", "Nul", "COM1", "lpt9.doc",
                            "aux ", "\x01\x02"})
        EXPECT_EQ(SafeAttachmentName(bad), "") << bad;
    EXPECT_EQ(SafeAttachmentName("COM10"), "COM10");
    EXPECT_EQ(SafeAttachmentName("console.txt"), "console.txt");

    CString longName(std::string(300, 'x') + ".pdf");
    CString cut = SafeAttachmentName(longName);
    EXPECT_EQ(cut.GetLength(), kMaxAttachmentName);
    EXPECT_EQ(cut.Right(4), ".pdf");
    // A cut never splits a UTF-8 sequence.
    std::string utf8;
    for (int i = 0; i < 150; ++i)
        utf8 += "\xc3\xa9";
    CString cutUtf8 = SafeAttachmentName(CString(utf8 + ".txt"));
    EXPECT_LE(cutUtf8.GetLength(), kMaxAttachmentName);
    EXPECT_EQ(cutUtf8.GetLength() % 2, 0);
    EXPECT_EQ(cutUtf8.Right(4), ".txt");
}

}  // namespace
