// S/MIME content processing against messages made by OpenSSL (the PKI fixtures).
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/outcome.h"
#include "decrypt/core/resources.h"
#include "decrypt/core/streamed_envelope.h"
#include "framework/afx.h"
#include "framework/ui/scripted_front_end.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs1_keys.h"
#include "sigilbox/pki/pkcs7.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> ReadFixture(const char* name, const char* folder = "pki")
{
    std::ifstream in(std::string(QM_TEST_DATA) + "/" + folder + "/" + name, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void UseKey(const char* name, const char* folder = "pki")
{
    std::vector<BYTE> der = ReadFixture(name, folder);
    CDEREncoding encoding(der.data(), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto* key = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*value, *key);
    AfxGetDecryptionState().SetDecryptingID(CKeyInfo("Test ID", CKeyInfo::RSAPrivateKey, key, 1));
}

struct Result {
    int ok;
    std::string output;
};

Result Process(const char* fixture)
{
    std::vector<BYTE> der = ReadFixture(fixture);
    EXPECT_FALSE(der.empty()) << fixture;
    CDEREncoding encoding(der.data(), static_cast<unsigned long>(der.size()));
    CASN1_ContentInfo info(encoding);
    CMemFile out;
    CProgress progress(nullptr);
    int ok = ProcessContentInfo(info, out, progress, nullptr);
    std::string text(static_cast<size_t>(out.GetLength()), '\0');
    out.SeekToBegin();
    out.Read(text.data(), static_cast<UINT>(text.size()));
    return {ok, text};
}

const std::string kMessage = "Content-Type: text/plain\r\n\r\nHello from the PKI fixtures.\r\n";

class ContentProcessing : public ::testing::Test {
protected:
    void SetUp() override { RegisterCoreResources(); }
    void TearDown() override { AfxGetDecryptionState().SetDecryptingID(CKeyInfo()); }
    CScriptedFrontEnd ui;
};

TEST_F(ContentProcessing, Rc2FortyBitsToOneRecipient)
{
    UseKey("user512_key.der");
    Result r = Process("smime_enveloped_rc2.der");
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.output, kMessage);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ContentProcessing, TheUsersRecipientIsFoundByTrial)
{
    // Recipients: the 1024-bit user first, then the 512-bit one; either key finds its own.
    UseKey("user512_key.der");
    EXPECT_EQ(Process("cms_enveloped_two.der").output, kMessage);
    UseKey("user1024_key.der");
    EXPECT_EQ(Process("cms_enveloped_two.der").output, kMessage);
    // A key that belongs to no recipient fails silently.
    Result r = Process("smime_enveloped_rc2.der");
    EXPECT_EQ(r.ok, 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ContentProcessing, StreamedEnvelopeDecryptsToTheWholeContent)
{
    UseKey("user512_key.der");
    Result r = Process("cms_enveloped_stream.ber");
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.output, std::string(20000, 'y'));
}

TEST_F(ContentProcessing, StrongCiphersShowTheRefusalOncePerRecipient)
{
    UseKey("user512_key.der");
    Result r = Process("smime_enveloped_two.der");   // Triple-DES to two recipients
    EXPECT_EQ(r.ok, 0);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].caption, kAppTitle);
    EXPECT_EQ(ui.boxes[0].text.Find("Unsealer could not decrypt and/or verify authentication\r\n"), 0);
}

TEST_F(ContentProcessing, SignedLayersAreUnwrappedWithoutChecks)
{
    UseKey("user512_key.der");
    Result r = Process("smime_signed_sha1.der");
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.output, kMessage);
}

TEST(RC2Parameters, VersionNumbersMapToTheirBits)
{
    EXPECT_EQ(RC2EffectiveBitsFromParameter(160), 40u);
    EXPECT_EQ(RC2EffectiveBitsFromParameter(120), 64u);
    EXPECT_EQ(RC2EffectiveBitsFromParameter(58), 128u);
    EXPECT_EQ(RC2EffectiveBitsFromParameter(40), 40u);
    EXPECT_EQ(RC2EffectiveBitsFromParameter(41), 0u);
}

}  // namespace

namespace {

// Drops the NULL parameter of every algorithm identifier in the tree, as peers that follow
// RFC 5754 send their digest algorithms.
int DropNullParameters(CASN1Type& value)
{
    auto* constructed = dynamic_cast<CASN1_CONSTRUCTED_TYPE*>(&value);
    if (!constructed)
        return 0;
    int dropped = 0;
    if (constructed->m_Tag == 0x10 && constructed->GetComponentsCount() == 2 &&
        constructed->GetComponent(0).m_Tag == 0x06 && constructed->GetComponent(1).m_Tag == 0x05) {
        constructed->m_Components.RemoveAt(1);   // the array's hook deletes the child
        ++dropped;
    }
    for (int i = 0; i < constructed->GetComponentsCount(); ++i)
        dropped += DropNullParameters(constructed->GetComponent(i));
    return dropped;
}

// Replaces the RC2 parameter (version and IV) of every RC2 algorithm identifier in the tree
// by the bare IV, as some peers send it: the key bits are then not said.
int StripRC2KeyBits(CASN1Type& value)
{
    auto* constructed = dynamic_cast<CASN1_CONSTRUCTED_TYPE*>(&value);
    if (!constructed)
        return 0;
    if (constructed->m_Tag == 0x10 && constructed->GetComponentsCount() == 2 &&
        constructed->GetComponent(0).m_Tag == 0x06 && constructed->GetComponent(1).m_Tag == 0x10) {
        auto& parameter = static_cast<CASN1_CONSTRUCTED_TYPE&>(constructed->GetComponent(1));
        if (parameter.GetComponentsCount() == 2 && parameter.GetComponent(1).m_Tag == 0x04) {
            CByteArray iv;
            parameter.GetComponent(1).EncodeTo(iv);
            CDEREncoding encoding(iv.GetData(), static_cast<unsigned long>(iv.GetSize()));
            constructed->m_Components.RemoveAt(1);
            constructed->m_Components.Add(AfxBuildFromEncoding(encoding));
            return 1;
        }
    }
    int stripped = 0;
    for (int i = 0; i < constructed->GetComponentsCount(); ++i)
        stripped += StripRC2KeyBits(constructed->GetComponent(i));
    return stripped;
}

struct Rewritten {
    int rewrites;
    int ok;
    std::string output;
};

// Decodes a fixture, lets `rewrite` change its tree (it returns how many places it changed),
// encodes the tree again and processes that.
template <class Rewrite>
Rewritten ProcessRewritten(const char* fixture, Rewrite rewrite)
{
    std::vector<BYTE> der = ReadFixture(fixture);
    CDEREncoding encoding(der.data(), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> tree(AfxBuildFromEncoding(encoding));
    Rewritten r{rewrite(*tree), 0, {}};
    CByteArray bytes;
    tree->EncodeTo(bytes);
    CDEREncoding bare(bytes.GetData(), static_cast<unsigned long>(bytes.GetSize()));
    CASN1_ContentInfo info(bare);
    CMemFile out;
    CProgress progress(nullptr);
    r.ok = ProcessContentInfo(info, out, progress, nullptr);
    r.output.resize(static_cast<size_t>(out.GetLength()));
    out.SeekToBegin();
    out.Read(r.output.data(), static_cast<UINT>(r.output.size()));
    return r;
}

// Without a key-bits value the key's length is its strength: a 40-bit key decrypts, a
// 128-bit one is refused like any strong cipher.
TEST_F(ContentProcessing, RC2WithoutKeyBitsIsAsStrongAsItsKey)
{
    UseKey("../decrypt/user_key.der");
    for (const auto& [fixture, decrypts] : {std::pair{"../decrypt/text_rc2_40.p7m", 1}, {"../decrypt/rc2_128.p7m", 0}}) {
        ui.boxes.clear();
        Rewritten r = ProcessRewritten(fixture, StripRC2KeyBits);
        ASSERT_EQ(r.rewrites, 1) << fixture;
        EXPECT_EQ(r.ok, decrypts) << fixture;
        EXPECT_EQ(ui.boxes.size(), decrypts ? 0u : 1u) << fixture;
        if (!decrypts && !ui.boxes.empty()) {
            EXPECT_EQ(ui.boxes[0].text.Find("Unsealer could not decrypt and/or verify authentication\r\n"), 0);
        }
    }
}

TEST_F(ContentProcessing, AlgorithmsWithoutParametersAreAccepted)
{
    UseKey("user512_key.der");
    for (const char* fixture : {"smime_signed_sha1.der", "smime_enveloped_rc2.der"}) {
        Rewritten r = ProcessRewritten(fixture, DropNullParameters);
        ASSERT_GT(r.rewrites, 0) << fixture;
        EXPECT_EQ(r.ok, 1) << fixture;
        EXPECT_EQ(r.output, kMessage) << fixture;
    }
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text.c_str());
}

}  // namespace

namespace {

// What processing gave: output, failure reason and boxes; `read` is false when the streamed
// reading left the file to the whole read.
struct Processed {
    bool read = true;
    int ok = 0;
    std::string output;
    std::string reason;
    std::vector<std::string> boxes;
};

Processed Finish(int ok, CMemFile& out, CScriptedFrontEnd& ui)
{
    Processed p;
    p.ok = ok;
    p.output.resize(static_cast<size_t>(out.GetLength()));
    out.SeekToBegin();
    out.Read(p.output.data(), static_cast<UINT>(p.output.size()));
    p.reason = AfxTakeFailureReason().str();
    for (const auto& box : ui.boxes)
        p.boxes.push_back(box.text.str());
    ui.boxes.clear();
    return p;
}

bool operator==(const Processed& a, const Processed& b)
{
    return a.ok == b.ok && a.output == b.output && a.reason == b.reason && a.boxes == b.boxes;
}

}  // namespace

// Enveloped data read from its file around the encrypted content gives what reading it
// whole gives: the same output, or the same failure with the same reason and boxes. Other
// shapes (signed data, trailing bytes, a cut file) are left to the whole read.
TEST_F(ContentProcessing, StreamedReadingGivesWhatTheWholeReadGives)
{
    enum Change { asIs, lastByteFlipped, trailingByte, cutShort };
    struct Case {
        const char* folder;
        const char* fixture;
        Change change;
        bool streams;
    } cases[] = {
        {"pki", "smime_enveloped_rc2.der", asIs, true},
        {"pki", "smime_enveloped_rc2.der", lastByteFlipped, true},   // bad padding
        {"pki", "smime_enveloped_rc2.der", trailingByte, false},
        {"pki", "smime_enveloped_rc2.der", cutShort, false},
        {"pki", "cms_enveloped_stream.ber", asIs, true},
        {"pki", "cms_enveloped_stream.ber", lastByteFlipped, false},   // an end-of-contents octet
        {"pki", "smime_enveloped_two.der", asIs, true},                // Triple-DES: refused
        {"pki", "smime_signed_sha1.der", asIs, false},
        {"decrypt", "text_rc2_40.p7m", asIs, true},
        {"decrypt", "text_stream.p7m", asIs, true},
        {"decrypt", "three_last.p7m", asIs, true},
        {"decrypt", "three_first.p7m", lastByteFlipped, true},
        {"decrypt", "rc2_128.p7m", asIs, true},
        {"decrypt", "multipart.p7m", asIs, true},
    };
    const std::string path = testing::TempDir() + "streamed_reading.p7m";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + "/" + c.fixture + " change " + std::to_string(c.change));
        UseKey(std::string(c.folder) == "pki" ? "user512_key.der" : "user_key.der", c.folder);
        std::vector<BYTE> bytes = ReadFixture(c.fixture, c.folder);
        ASSERT_FALSE(bytes.empty());
        if (c.change == lastByteFlipped)
            bytes.back() ^= 0x5A;
        else if (c.change == trailingByte)
            bytes.push_back(0);
        else if (c.change == cutShort)
            bytes.pop_back();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        ui.boxes.clear();
        AfxTakeFailureReason();

        Processed streamed;
        {
            CStreamedEnvelope envelope;
            CMemFile out;
            CProgress progress(nullptr);
            streamed.read = envelope.Open(path.c_str()) != FALSE;
            if (streamed.read)
                streamed = Finish(ProcessStreamedEnvelope(envelope, out, progress, nullptr), out, ui);
        }
        EXPECT_EQ(streamed.read, c.streams);
        if (!streamed.read)
            continue;
        CDEREncoding encoding(bytes.data(), static_cast<unsigned long>(bytes.size()));
        CASN1_ContentInfo info(encoding);
        CMemFile out;
        CProgress progress(nullptr);
        Processed whole = Finish(ProcessContentInfo(info, out, progress, nullptr), out, ui);
        EXPECT_TRUE(streamed == whole) << "streamed: " << streamed.ok << " '" << streamed.reason << "' "
                                       << streamed.boxes.size() << " boxes; whole: " << whole.ok << " '"
                                       << whole.reason << "' " << whole.boxes.size() << " boxes";
    }
    // A file cut after its structure was read fails with what happened to it.
    {
        UseKey("user512_key.der");
        std::vector<BYTE> bytes = ReadFixture("smime_enveloped_rc2.der");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        CStreamedEnvelope envelope;
        ASSERT_TRUE(envelope.Open(path.c_str()));
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), 100);
        CMemFile out;
        CProgress progress(nullptr);
        AfxTakeFailureReason();
        try {
            ProcessStreamedEnvelope(envelope, out, progress, nullptr);
            ADD_FAILURE() << "a cut file decrypted";
        } catch (CFileException* e) {
            e->Delete();
        }
        EXPECT_EQ(AfxTakeFailureReason().str(), "the file ended while it was read");
    }
    std::remove(path.c_str());
}
