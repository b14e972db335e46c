// The messages of tests/data/decrypt/outputs give the output folders their expectation files
// describe: NAME.expect as the program runs by default, NAME.opened.expect with signed content
// opened. Each runs with CR LF and with LF-only line ends.
//
// An expectation file: "fails" (the message is refused), "warning TEXT" (a warning starting
// with TEXT), then "file NAME" followed by the file's lines ("file NAME *": any content).
// Line ends are compared as LF, and trailing line ends do not count.
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_info.h"
#include "decrypt/mime/msg_store.h"
#include "framework/exceptions.h"
#include "framework/fsutil.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Normalised(std::string text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

struct Expectation {
    bool fails = false;
    std::vector<std::string> warnings;
    std::map<std::string, std::string> files;   // "*": any content
};

Expectation ParseExpectation(const std::string& text)
{
    Expectation e;
    std::istringstream in(text);
    std::string line, current;
    while (std::getline(in, line)) {
        if (line == "fails") {
            e.fails = true;
        } else if (line.rfind("warning ", 0) == 0) {
            e.warnings.push_back(line.substr(8));
        } else if (line.rfind("file ", 0) == 0) {
            current = line.substr(5);
            bool any = current.size() > 2 && current.compare(current.size() - 2, 2, " *") == 0;
            if (any)
                current.erase(current.size() - 2);
            e.files[current] = any ? "*" : "";
            if (any)
                current.clear();
        } else if (!current.empty()) {
            std::string& body = e.files[current];
            body += line + "\n";
        }
    }
    for (auto& [name, body] : e.files)
        if (body != "*")
            body = Normalised(body);
    return e;
}

struct Case {
    std::string message;
    bool opened;
    bool crlf;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string name = info.param.message + (info.param.opened ? "_opened" : "") + (info.param.crlf ? "_crlf" : "_lf");
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    for (const auto& e : fs::directory_iterator(fs::path(QM_TEST_DATA) / "decrypt/outputs")) {
        if (e.path().extension() != ".eml")
            continue;
        std::string stem = e.path().stem().string();
        for (bool opened : {false, true}) {
            if (!fs::exists(e.path().parent_path() / (stem + (opened ? ".opened.expect" : ".expect"))))
                continue;
            for (bool crlf : {true, false})
                cases.push_back({stem, opened, crlf});
        }
    }
    std::sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) {
        return std::tie(a.message, a.opened, a.crlf) < std::tie(b.message, b.opened, b.crlf);
    });
    return cases;
}

class MessageOutputs : public ::testing::TestWithParam<Case> {
protected:
    // Inner PKCS #7 objects are processed with the decrypting ID, as the program does.
    static void SetUpTestSuite()
    {
        std::string der = Read(fs::path(QM_TEST_DATA) / "decrypt/user_key.der");
        CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
        std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
        auto* key = new CRSAPrivateKey;
        CASN1_PrivateKey::SetDataTo(*value, *key);
        AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Test ID", CKeyInfo::RSAPrivateKey, key, 1));
    }
    static void TearDownTestSuite() { AfxGetDecryptionState().SetDecryptingID(CKeyInfo()); }
};

TEST_P(MessageOutputs, FolderHoldsWhatTheExpectationSays)
{
    const Case& c = GetParam();
    const fs::path data = fs::path(QM_TEST_DATA) / "decrypt/outputs";
    const Expectation expected = ParseExpectation(Read(data / (c.message + (c.opened ? ".opened.expect" : ".expect"))));
    std::string message = Read(data / (c.message + ".eml"));
    if (c.crlf) {
        std::string withCr;
        for (char ch : message) {
            if (ch == '\n')
                withCr += '\r';
            withCr += ch;
        }
        message = withCr;
    }

    char templ[] = "/tmp/outputs_test_XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string folder = templ;
    bool failed = false;
    CStringArray warnings;
    {
        CMessageStore* store = new CMessageStore(folder.c_str());
        COleStream scratch;
        CString name = store->CreateStream(&scratch, nullptr, 0);
        scratch.Write(message.data(), static_cast<UINT>(message.size()));
        store->CloseStream(&scratch);
        try {
            WriteMessageOutputs(store, name, c.opened, &warnings);
        } catch (CException* e) {
            e->Delete();
            failed = true;
        }
        store->ReleaseStreamRef(name);
        store->Release();
    }
    std::map<std::string, std::string> actual;
    for (const auto& e : fs::directory_iterator(folder))
        actual[e.path().filename().string()] = Normalised(Read(e.path()));
    AfxDeleteFolderTree(folder.c_str());

    EXPECT_EQ(failed, expected.fails);
    if (expected.fails)
        return;
    ASSERT_EQ(static_cast<size_t>(warnings.GetSize()), expected.warnings.size());
    for (size_t i = 0; i < expected.warnings.size(); ++i)
        EXPECT_EQ(warnings[static_cast<int>(i)].str().rfind(expected.warnings[i], 0), 0u) << warnings[static_cast<int>(i)].str();
    std::map<std::string, std::string> wanted = expected.files;
    for (auto& [name, body] : wanted)
        if (body == "*" && actual.count(name))
            body = actual[name];
    EXPECT_EQ(actual, wanted);
}

INSTANTIATE_TEST_SUITE_P(Messages, MessageOutputs, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
