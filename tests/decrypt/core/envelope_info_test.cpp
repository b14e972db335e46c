// What `--inspect` tells about content: ciphers and recipients of messages made by the
// openssl command line (checked against openssl's own reading), the RC2 parameter rule,
// the layers, unreadable inputs, and whether the current ID can open a message.
#include "decrypt/core/envelope_info.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/inspect.h"
#include "framework/memfile.h"
#include "ids_test_support.h"
#include "key_file_support.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"
#include "tests/support/bytes.h"
#include "tests/support/der.h"

#include <cstdlib>
#include <sstream>

namespace {

namespace der = qmtest::der;
using qmtest::Bytes;

const std::string kSamples = std::string(QM_SOURCE_DIR) + "/samples/";
const std::string kLegacy = " -provider legacy -provider default";

std::unique_ptr<CASN1_ContentInfo> ContentOf(const Bytes& bytes)
{
    CDEREncoding encoding(bytes.data(), static_cast<unsigned long>(bytes.size()));
    return std::make_unique<CASN1_ContentInfo>(encoding);
}

void UseID(const std::string& keyDer, const std::string& keyFileName)
{
    SetTestID(*keyfile_test::LoadPrivateKey(keyDer), keyFileName);
}

// The scratch holds demo.pem (the demo ID's certificate) and other.pem (CN=Other Recipient,
// serial 1A2B, a 1024-bit key).
class Envelopes : public IdsScratch {
protected:
    void SetUp() override
    {
        IdsScratch::SetUp();
        if (!qmtest::HaveOpenSSL())
            GTEST_SKIP() << "no openssl";
        ASSERT_EQ(Shell("openssl pkcs7 -inform DER -in " + kSamples + "demo.P7M -print_certs -out " + Path("demo.pem")),
                  0);
        ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:1024 -nodes -keyout " + Path("other.key") +
                        " -subj /CN=Other\\ Recipient -set_serial 0x1A2B -days 30 -out " + Path("other.pem")),
                  0);
        qmtest::WriteFile(Path("m.txt"), std::string_view("Content-Type: text/plain\r\n\r\nhello\r\n"));
    }
    // Encrypts m.txt to the certificates ("demo.pem other.pem"); false when openssl cannot.
    bool Encrypt(const std::string& command, const std::string& option, const std::string& certs,
                 const std::string& out)
    {
        std::string paths;
        std::istringstream names(certs);
        for (std::string name; names >> name;)
            paths += " " + Path(name);
        return Shell("openssl " + command + kLegacy + " -encrypt -binary " + option + " -in " + Path("m.txt") +
                     " -outform DER -out " + Path(out) + paths) == 0;
    }
};

// openssl's reading of the recipients: issuer CN (the whole name with ", " without one) and
// the serial in hex, two digits a byte.
std::vector<std::pair<std::string, std::string>> OpenSSLRecipients(const std::string& file)
{
    std::string printed;
    Shell("openssl cms -cmsout -print -inform DER -in " + file, &printed);
    std::vector<std::pair<std::string, std::string>> recipients;
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find_first_not_of(' ');
        if (at == std::string::npos)
            continue;
        if (line.compare(at, 8, "issuer: ") == 0) {
            std::string name = line.substr(at + 8);
            const size_t cn = name.find("CN=");
            if (cn != std::string::npos)
                name = name.substr(cn + 3, name.find('/', cn) - cn - 3);
            for (size_t s; (s = name.find('/')) != std::string::npos;)
                name.replace(s, 1, ", ");
            recipients.emplace_back(name, "");
        } else if (line.compare(at, 14, "serialNumber: ") == 0 && !recipients.empty()) {
            std::string value = line.substr(at + 14);
            char hex[32];
            std::snprintf(hex, sizeof hex, "%llX", std::strtoull(value.c_str(), nullptr, 10));
            value = value.rfind("0x", 0) == 0 ? value.substr(2) : std::string(hex);
            recipients.back().second = (value.size() % 2 ? "0" : "") + value;
        }
    }
    return recipients;
}

struct CipherRow {
    const char* command;
    const char* option;
    const char* name;
    bool allowed;
};

class Ciphers : public Envelopes, public ::testing::WithParamInterface<CipherRow> {};

TEST_P(Ciphers, NamedJudgedAndRecipientsReadAsOpenSSLReadsThem)
{
    const CipherRow& row = GetParam();
    if (!Encrypt(row.command, row.option, "demo.pem other.pem", "both.der"))
        GTEST_SKIP() << "openssl cannot encrypt with " << row.option;
    auto info = ContentOf(qmtest::ReadFile(Path("both.der")));
    CEnvelopeView view = DescribeEnvelope(*info);
    EXPECT_TRUE(view.enveloped);
    EXPECT_EQ(view.cipher.name, row.name);
    EXPECT_EQ(view.cipher.allowed, row.allowed);
    EXPECT_EQ(view.cipher.problem.Find("ask the sender to encrypt with RC2-40") > 0, !row.allowed)
        << view.cipher.problem;
    auto expected = OpenSSLRecipients(Path("both.der"));
    ASSERT_EQ(view.recipients.size(), expected.size());
    ASSERT_EQ(expected.size(), 2u);
    for (size_t i = 0; i < expected.size(); ++i) {
        const CRecipientView& r = view.recipients[i];
        EXPECT_EQ(r.issuer.str(), expected[i].first);
        EXPECT_EQ(r.serial.str(), expected[i].second);
        EXPECT_TRUE(r.rsa);
        EXPECT_EQ(r.keyBits, r.issuer == "Other Recipient" ? 1024 : 512);
    }
    UseID(kSamples + "demo_key.der", kSamples + "demo.sec");
    CString report;
    EXPECT_EQ(InspectFile(Path("both.der").c_str(), report), row.allowed ? 1 : 0) << report.str();
}

std::string RowName(const ::testing::TestParamInfo<CipherRow>& row)
{
    std::string name = row.param.option + 1;
    for (char& c : name)
        c = c == '-' ? '_' : c;
    return name;
}

INSTANTIATE_TEST_SUITE_P(OpenSSL, Ciphers,
                         ::testing::Values(CipherRow{"cms", "-aes-256-cbc", "AES-256-CBC", false},
                                           CipherRow{"cms", "-aes-128-gcm", "AES-128-GCM", false},
                                           CipherRow{"cms", "-des3", "DES-EDE3-CBC", false},
                                           CipherRow{"cms", "-des", "DES-CBC", false},
                                           CipherRow{"smime", "-rc2-40", "RC2-CBC 40-bit", true},
                                           CipherRow{"smime", "-rc2-64", "RC2-CBC 64-bit", false},
                                           CipherRow{"smime", "-rc2-128", "RC2-CBC 128-bit", false}),
                         RowName);

TEST_F(Envelopes, TheIDOpensByItsCertificateOrByItsKey)
{
    ASSERT_TRUE(Encrypt("smime", "-rc2-40", "other.pem demo.pem", "both.der"));
    ASSERT_TRUE(Encrypt("smime", "-rc2-40", "other.pem", "other.der"));
    const struct {
        const char* file;
        std::string keyFile;  // empty: no ID
        int opens;
        const char* why;
    } rows[] = {
        {"both.der", kSamples + "demo.sec", 1, "is this ID's certificate)"},
        {"both.der", Path("demo.sec"), 1, "this ID's key unlocks recipient"},  // no certificate file there
        {"other.der", kSamples + "demo.sec", 0, "no recipient is this ID"},
        {"both.der", "", 0, "no decrypting ID is set"},
    };
    for (const auto& row : rows) {
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
        if (!row.keyFile.empty())
            UseID(kSamples + "demo_key.der", row.keyFile);
        CString report;
        EXPECT_EQ(InspectFile(Path(row.file).c_str(), report), row.opens) << report.str();
        EXPECT_GE(report.Find(row.why), 0) << report.str();
    }
}

TEST(RC2Parameters, VersionsBitsAndUnknownValues)
{
    const Bytes iv = qmtest::Hex("0102030405060708");
    auto rc2 = [&](unsigned long version) { return der::Sequence({der::Integer(version), der::OctetString(iv)}); };
    const struct {
        std::string oid;
        Bytes parameter;
        const char* name;
        bool allowed;
        bool bad;
    } rows[] = {
        {"1.2.840.113549.3.2", rc2(160), "RC2-CBC 40-bit", true, false},
        {"1.2.840.113549.3.2", rc2(120), "RC2-CBC 64-bit", false, false},
        {"1.2.840.113549.3.2", rc2(58), "RC2-CBC 128-bit", false, false},
        {"1.2.840.113549.3.2", rc2(40), "RC2-CBC 40-bit", true, false},
        {"1.2.840.113549.3.2", rc2(1), "RC2-CBC 1-bit", true, false},
        {"1.2.840.113549.3.2", rc2(256), "RC2-CBC 256-bit", false, false},
        {"1.2.840.113549.3.2", rc2(41), "RC2-CBC (unknown parameter version 41)", false, true},
        {"1.2.840.113549.3.2", rc2(0), "RC2-CBC (unknown parameter version 0)", false, true},
        {"1.2.840.113549.3.2", rc2(1025), "RC2-CBC (unknown parameter version 1025)", false, true},
        {"1.2.840.113549.3.2", der::Null(), "RC2-CBC (key length decides)", true, false},
        {"1.2.840.113549.3.2", der::OctetString(iv), "RC2-CBC (key length decides)", true, false},
        {"1.2.840.113549.3.2", der::OctetString(qmtest::Hex("01020304050607")), "RC2-CBC (unreadable parameter)", false,
         true},
        {"1.2.840.113549.3.2", Bytes(), "RC2-CBC (unreadable parameter)", false, true},  // no IV at all
        {"1.2.3.4", der::Null(), "cipher 1.2.3.4", false, false},
    };
    for (const auto& row : rows) {
        Bytes bytes = der::Sequence({der::Sequence({der::Oid(row.oid), row.parameter})});
        CDEREncoding encoding(bytes.data(), static_cast<unsigned long>(bytes.size()));
        std::unique_ptr<CASN1Type> outer(AfxBuildFromEncoding(encoding));
        auto& algorithm = AfxStructureAt<CASN1_AlgorithmIdentifier>(dynamic_cast<CASN1_SEQUENCE&>(*outer), 0);
        CCipherView view = DescribeContentCipher(algorithm);
        EXPECT_EQ(view.name, row.name);
        EXPECT_EQ(view.allowed, row.allowed) << row.name;
        EXPECT_EQ(view.badParameter, row.bad) << row.name;
        EXPECT_EQ(view.problem.IsEmpty(), row.allowed) << row.name;
    }
}

TEST(EnvelopeLayers, WalkedOutermostFirstWithinTheNestingBound)
{
    // digestedData around digestedData ... around data, `levels` deep.
    auto nested = [](int levels) {
        Bytes info = der::Sequence({der::Oid("1.2.840.113549.1.7.1"), der::Explicit(0, der::OctetString({'x'}))});
        for (int i = 0; i < levels; ++i) {
            Bytes digested = der::Sequence({der::Integer(0), der::Sequence({der::Oid("1.3.14.3.2.26"), der::Null()}),
                                            info, der::OctetString(Bytes(20, 0))});
            info = der::Sequence({der::Oid("1.2.840.113549.1.7.5"), der::Explicit(0, digested)});
        }
        return info;
    };
    const Bytes damagedSigned = der::Sequence({der::Oid("1.2.840.113549.1.7.2"), der::Explicit(0, der::Integer(7))});
    const struct {
        Bytes content;
        size_t layers;
        const char* last;
        bool problem;
    } rows[] = {
        {qmtest::ReadFile(qmtest::DataPath("pki/smime_signed_sha1.der")), 2, "data", false},
        {nested(3), 4, "data", false},
        {nested(kMaxContentNesting + 2), static_cast<size_t>(kMaxContentNesting), "digestedData", true},
        {damagedSigned, 1, "signedData", true},
    };
    for (const auto& row : rows) {
        auto info = ContentOf(row.content);
        CEnvelopeView view = DescribeEnvelope(*info);
        ASSERT_EQ(view.layers.size(), row.layers);
        EXPECT_EQ(view.layers.back(), row.last);
        EXPECT_EQ(view.problem.IsEmpty(), !row.problem) << view.problem.str();
        EXPECT_EQ(view.hasData, !row.problem);
    }
}

TEST_F(IdsScratch, DescribingLeavesTheContentToDecrypt)
{
    UseID(qmtest::DataPath("decrypt/user_key.der"), Path("user.sec"));
    auto info = ContentOf(qmtest::ReadFile(qmtest::DataPath("decrypt/text_rc2_40.p7m")));
    EXPECT_EQ(DescribeEnvelope(*info).cipher.name, "RC2-CBC 40-bit");
    CMemFile out;
    CProgress progress(nullptr);
    EXPECT_EQ(ProcessContentInfo(*info, out, progress, nullptr), 1);
    EXPECT_GT(out.GetLength(), 0);
}

TEST_F(IdsScratch, InputsInEveryFormAndUnreadableOnesToldWhy)
{
    UseID(qmtest::DataPath("decrypt/user_key.der"), Path("user.sec"));
    qmtest::WriteFile(Path("empty"), std::string_view());
    qmtest::WriteFile(Path("notes.txt"), std::string_view("just some notes\n"));
    const struct {
        std::string path;
        int opens;
        const char* says;
    } rows[] = {
        {qmtest::DataPath("decrypt/text_rc2_40.pem"), 1, "Form: PEM armour"},
        {qmtest::DataPath("decrypt/text_rc2_40.b64"), 1, "Form: base64 text"},
        {qmtest::DataPath("decrypt/text_rc2_40_mail.eml"), 1, "Form: an S/MIME mail"},
        {qmtest::DataPath("decrypt/rc2_128.p7m"), 0, "RC2-CBC 128-bit (refused"},
        {Path("missing.p7m"), 0, "the file does not exist"},
        {dir, 0, "a folder"},
        {Path("empty"), 0, "empty"},
        {"/dev/null", 0, "not a regular file"},
        {Path("notes.txt"), 0, "Not S/MIME content: it looks like text"},
    };
    for (const auto& row : rows) {
        CString report;
        EXPECT_EQ(InspectFile(row.path.c_str(), report), row.opens) << report.str();
        EXPECT_GE(report.Find(row.says), 0) << report.str();
    }
}

}  // namespace
