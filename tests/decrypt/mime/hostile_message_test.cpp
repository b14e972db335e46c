// Messages made to hurt the program, decrypted end to end: the message text travels as a
// data content info (no key needed) through DecryptOneFile, the MIME processor and the output
// stage. Whatever the message, the run either gives a folder of plain files beside the
// input or one error box and no folder; nothing is ever written outside the output folder,
// and time and memory stay bounded by the input, not by what it claims.
#include "decrypt/app/resources.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_info.h"
#include "decrypt/mime/message.h"
#include "framework/fsutil.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The user's key as the decrypting ID: the driver decrypts nothing without one, not even
// plain data.
void SetUserKey()
{
    std::string der = ReadAll(std::string(QM_TEST_DATA) + "/decrypt/user_key.der");
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto* key = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*value, *key);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Test ID", CKeyInfo::RSAPrivateKey, key, 1));
}

std::string Der(unsigned char tag, const std::string& content)
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

// A data content info carrying the message text.
std::string AsDataContent(const std::string& message)
{
    static const std::string kDataOid("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01", 11);
    return Der(0x30, kDataOid + Der(0xA0, Der(0x04, message)));
}

// Every path under `root` (relative, "/" separated; folders end with "/"), links not
// followed.
void Walk(const std::string& root, const std::string& rel, std::set<std::string>& out)
{
    DIR* dir = opendir((root + "/" + rel).c_str());
    if (!dir)
        return;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (lstat((root + "/" + path).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            out.insert(path + "/");
            Walk(root, path, out);
        } else {
            out.insert(path);
        }
    }
    closedir(dir);
}

long PeakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    return -1;
}

long ResidentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6)) / 1024;
    return -1;
}

void ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

class HostileMessage : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/hostile_msg_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
        // The input lives one level down so that an escape upwards would land in `root`.
        in = root + "/in/deeper";
        ASSERT_EQ(mkdir((root + "/in").c_str(), 0700), 0);
        ASSERT_EQ(mkdir(in.c_str(), 0700), 0);
        setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", root.c_str(), 1);
        RegisterDecryptResources();
        SetUserKey();
    }
    void TearDown() override
    {
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo());
        AfxDeleteFolderTree(root.c_str());
    }

    // Decrypts the message (as a data content info); returns DecryptOneFile's result and
    // checks that nothing but the input and its output folder exists afterwards.
    int Run(const std::string& message) { return RunFile(AsDataContent(message)); }

    // Decrypts the file of these bytes, with the checks of Run.
    int RunFile(const std::string& bytes)
    {
        std::string path = in + "/mail.p7m";
        WriteAll(path, bytes);
        ui.boxes.clear();
        int result = DecryptOneFile(path.c_str(), FALSE, nullptr);
        lastBoxes.clear();
        for (const auto& b : ui.boxes)
            lastBoxes += b.text.str() + "\n";
        std::set<std::string> all;
        Walk(root, "", all);
        for (const std::string& p : all) {
            bool allowed = p == "in/" || p == "in/deeper/" || p == "in/deeper/mail.p7m" ||
                           (p.rfind("in/deeper/Decrypt/", 0) == 0 && p.find('/', 18) == std::string::npos);
            EXPECT_TRUE(allowed) << "written outside the output folder: " << p;
        }
        if (result) {
            // A success may warn of parts kept as they were sent, never report an error.
            for (const auto& b : ui.boxes)
                EXPECT_EQ(b.text.Find("WARNING:\n"), 0) << b.text.str();
        } else {
            EXPECT_EQ(ErrorBoxes(), 1);
            EXPECT_EQ(ui.boxes.size(), 1u);
            EXPECT_FALSE(all.count("in/deeper/Decrypt/"));
        }
        return result;
    }
    int ErrorBoxes() const
    {
        int n = 0;
        for (const auto& b : ui.boxes)
            n += b.text.Find("cannot decrypt the following file") >= 0;
        return n;
    }
    std::map<std::string, std::string> Outputs() const
    {
        std::map<std::string, std::string> files;
        std::set<std::string> all;
        Walk(in + "/Decrypt", "", all);
        for (const std::string& name : all)
            files[name] = ReadAll(in + "/Decrypt/" + name);
        return files;
    }
    void RemoveOutputs() { AfxDeleteFolderTree((in + "/Decrypt").c_str()); }

    std::string root, in;
    std::string lastBoxes;   // the texts of the last run's message boxes
    CScriptedFrontEnd ui;
};

// A part's body as written: the line break before the next boundary is kept with the body
// by the output stage for bodies that are not base64, so it is allowed here.
bool SameBody(const std::string& written, const std::string& expected)
{
    return written == expected || written == expected + "\r\n";
}

// An attachment part with the name given both ways senders give it.
std::string Attachment(const std::string& name, const std::string& body)
{
    return "--XX\r\nContent-Type: application/octet-stream; name=\"" + name +
           "\"\r\nContent-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n" + body + "\r\n";
}

}  // namespace

TEST_F(HostileMessage, AttachmentNamesWithPathAndDeviceTricksStayPlainFilesInTheFolder)
{
    const std::vector<std::string> names = {
        "../escape.txt", "../../../../../../tmp/escape2.txt", "..\\..\\escape3.txt", "/etc/passwd",
        "/tmp/absolute.txt", "C:\\Windows\\system32\\evil.dll", "C:evil.exe", "\\\\server\\share\\unc.txt",
        "sub/dir/file.txt", "..", ".", "...", ". . .", "..../....", "CON", "con.txt", "PRN", "AUX.doc", "NUL",
        "nul.tar.gz", "COM1", "LPT9.txt", "CLOCK$", "CONOUT$", "-rf", "--help", "-", "~", "~/.bashrc",
        ".hidden", "name\twith\x01" "control\x1b[31mchars.txt", "bell\x07.txt", "del\x7f.txt",
        "\xc0\xae\xc0\xae\xc0\xaf" "overlong.txt", "\xc0\xaf" "etc\xc0\xaf" "passwd",
        "\xe2\x80\xae" "txt.exe", "trailing dot.", "trailing blank ", std::string(5000, 'a') + ".txt",
        std::string(300, 'b'), "x." + std::string(400, 'e'), std::string(250, '/') + "slashes.txt",
        "=?utf-8?B?Li4vLi4vZW5jb2RlZC50eHQ=?=", "=?iso-8859-1?Q?..=2F..=2Fqp.txt?=", ""};
    std::string message = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n";
    for (size_t i = 0; i < names.size(); ++i)
        message += Attachment(names[i], "body " + std::to_string(i));
    // A name with a NUL inside: what follows the NUL must not name the file.
    message += "--XX\r\nContent-Type: application/octet-stream; name=\"safe";
    message += std::string(1, '\0');
    message += "/../../nul_escape.txt\"\r\n\r\nbody nul\r\n--XX--\r\n";

    ASSERT_EQ(Run(message), 1) << lastBoxes;
    auto out = Outputs();
    // Every body once (the message text aside), each in a plain file of a plain name.
    std::multiset<std::string> bodies;
    for (const auto& [name, content] : out) {
        if (name == "Msg.txt")
            continue;
        bodies.insert(content);
        SCOPED_TRACE(name);
        EXPECT_EQ(name.find('/'), std::string::npos);
        EXPECT_EQ(name.find('\\'), std::string::npos);
        EXPECT_NE(name, ".");
        EXPECT_NE(name, "..");
        EXPECT_LE(name.size(), static_cast<size_t>(kMaxAttachmentName) + 8);
        EXPECT_FALSE(IsReservedDeviceName(name.c_str()));
        for (unsigned char c : name)
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << static_cast<int>(c);
        struct stat st;
        ASSERT_EQ(lstat((in + "/Decrypt/" + name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
    }
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(bodies.count("body " + std::to_string(i)), 1u) << i;
    EXPECT_EQ(bodies.count("body nul"), 1u);
}

TEST_F(HostileMessage, TenThousandNestedMultipartsFailOnceWithinBoundedMemory)
{
    std::string text = "MIME-Version: 1.0\r\n";
    for (int i = 0; i < 10000; ++i)
        text += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i) +
                "\r\n";
    text += "\r\ninnermost\r\n";
    ResetPeak();
    long before = ResidentMiB();
    EXPECT_EQ(Run(text), 0);
    if (before >= 0) {
        EXPECT_LT(PeakMiB() - before, 256);
    }

    // The same depth of embedded messages.
    std::string messages;
    for (int i = 0; i < 10000; ++i)
        messages += "Content-Type: message/rfc822\r\n\r\n";
    EXPECT_EQ(Run(messages + "Subject: deep\r\n\r\nx\r\n"), 0);
}

TEST_F(HostileMessage, ClaimedLengthsAndEndlessHeadersAreBoundedByTheInput)
{
    // A message that claims a gigabyte of content in a kilobyte, and a header line of a
    // megabyte and a half (past the longest header line kept).
    std::string claimed = "Content-Length: 1073741824\r\nContent-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n" +
                          Attachment("big.bin", std::string(900, 'z'));
    ResetPeak();
    long before = ResidentMiB();
    EXPECT_EQ(Run(claimed), 1) << lastBoxes;
    EXPECT_TRUE(SameBody(Outputs()["big.bin"], std::string(900, 'z')));
    RemoveOutputs();
    std::string longHeader = "Subject: " + std::string(3 << 19, 'h') + "\r\n\r\nbody\r\n";
    Run(longHeader);   // kept or refused, but bounded and with the checks of Run
    RemoveOutputs();
    std::string folded = "Subject: x\r\n";
    for (int i = 0; i < 200000; ++i)
        folded += " more\r\n";
    Run(folded + "\r\nbody\r\n");
    if (before >= 0) {
        EXPECT_LT(PeakMiB() - before, 256);
    }
}

// Attachment bodies at every edge of the transfer encodings: each run gives either the exact
// bytes or one error and no folder.
TEST_F(HostileMessage, Base64AndQuotedPrintableAtEveryEdge)
{
    struct Case {
        const char* encoding;
        std::string body;
        std::optional<std::string> expected;   // none: failing the file is also fine
    } cases[] = {
        {"base64", "QUJD", "ABC"},
        {"base64", "QUI=", "AB"},
        {"base64", "QQ==", "A"},
        {"base64", "QQ", std::nullopt},                 // padding missing
        {"base64", "Q", std::nullopt},                  // one character of a quantum
        {"base64", "====", std::nullopt},
        {"base64", "QQ==QUJD", std::nullopt},           // data after the padding
        {"base64", "Q\r\nU\r\nJ\r\nD", "ABC"},     // a quantum across lines
        {"base64", "QU JD", std::nullopt},              // a blank inside
        {"base64", "QU*JD", std::nullopt},              // a character outside the alphabet
        {"base64", "QUJD\x80\xff", std::nullopt},
        {"base64", "", ""},
        {"base64", std::string(1 << 20, 'A'), std::nullopt},   // a megabyte on one line
        {"quoted-printable", "=41=42", "AB"},
        {"quoted-printable", "a=\r\nb", "ab"},
        {"quoted-printable", "=00=FF", std::nullopt},
        {"quoted-printable", "end=", std::nullopt},
        {"quoted-printable", "end=4", std::nullopt},
        {"quoted-printable", "=ZZ=g1", std::nullopt},
        {"quoted-printable", "trailing   \r\nblanks\t", std::nullopt},
        {"quoted-printable", std::string(100000, '='), std::nullopt},
        {"quoted-printable", std::string(1 << 20, 'q'), std::string(1 << 20, 'q')},
        {"x-uuencode", "begin 644 u.txt\r\n#04)#\r\n`\r\nend", std::nullopt},
        {"x-uuencode", "begin 644 ../../u.txt\r\nM" + std::string(200, '!') + "\r\nend", std::nullopt},
        {"x-unknown", "as is", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + ": " + c.body.substr(0, 40));
        std::string message = "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\n"
                              "Content-Type: application/octet-stream; name=\"f.bin\"\r\n"
                              "Content-Transfer-Encoding: " +
                              std::string(c.encoding) + "\r\n\r\n" + c.body + "\r\n--XX--\r\n";
        int result = Run(message);
        if (c.expected) {
            ASSERT_EQ(result, 1) << lastBoxes;
            auto out = Outputs();
            EXPECT_TRUE(SameBody(out["f.bin"], *c.expected)) << out["f.bin"].size() << " bytes: " << out["f.bin"].substr(0, 40);
        }
        RemoveOutputs();
    }
}

// Hostile DER in the input file itself: nesting ten thousand deep and lengths of a gigabyte
// and more claimed by a kilobyte. Each file fails with its one error box and no folder.
TEST_F(HostileMessage, HostileEncodingsOfTheWholeFileFailOnce)
{
    std::vector<std::string> files;
    std::string definite = std::string(1, '\x05') + '\x00';
    for (int i = 0; i < 10000; ++i)
        definite = Der(0x30, definite);
    files.push_back(definite);
    std::string indefinite;
    for (int i = 0; i < 10000; ++i)
        indefinite += "\x30\x80";
    indefinite += std::string(20000, '\0');
    files.push_back(indefinite);
    static const std::string kEnvelopedOid("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x03", 11);
    static const std::string kDataOid("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x07\x01", 11);
    for (const std::string& head : {std::string("\x30\x84\x40\x00\x00\x00", 6) + kEnvelopedOid + "\xa0\x84\x3f\xff\xff\xf0",
                                    std::string("\x30\x80", 2) + kDataOid + std::string("\xa0\x80\x24\x80\x04\x84\x40\x00\x00\x00", 10),
                                    std::string("\x30\x88\x01\x00\x00\x00\x00\x00\x00\x00", 10)}) {
        std::string file = head;
        file.resize(1024, 'A');
        files.push_back(file);
    }
    // A content info holding 10,000 nested explicit tags as its content.
    std::string tags = std::string(1, '\x04') + '\x00';
    for (int i = 0; i < 10000; ++i)
        tags = Der(0xA0, tags);
    files.push_back(Der(0x30, kDataOid + tags));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        ResetPeak();
        long before = ResidentMiB();
        EXPECT_EQ(RunFile(files[i]), 0);
        if (before >= 0) {
            EXPECT_LT(PeakMiB() - before, 64);
        }
    }
}
