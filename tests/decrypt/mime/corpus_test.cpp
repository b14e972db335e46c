// Realistic messages (tests/data/mime/corpus, made by make_corpus.py) give the reviewed
// trees, and every attachment decodes to the bytes Python's email package decodes.
#include "mime_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> CorpusNames()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(MimeDataPath("corpus")))
        if (e.path().extension() == ".eml")
            names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

CMessage* FindNamed(CMessage* m, const std::string& name)
{
    if (m->m_strName.str() == name && m->m_Children.GetSize() == 0)
        return m;
    for (int i = 0; i < m->m_Children.GetSize(); ++i)
        if (CMessage* found = FindNamed(m->m_Children.GetItem(i), name))
            return found;
    return nullptr;
}

std::string FromHex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

class CorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusTest, TreeAndAttachments)
{
    const std::string base = MimeDataPath("corpus/" + GetParam());
    CStoreFixture f;
    CCopyingContext context;
    auto root = f.MakeRoot(ReadFileBytes(base + ".eml"));
    root->ProcessRoot(&context);

    std::string dump = DumpTree(root.get());
    if (std::getenv("QM_UPDATE_GOLDEN")) {
        WriteFileBytes(base + ".tree", dump);
    } else {
        EXPECT_EQ(dump, ReadFileBytes(base + ".tree"));
    }

    std::ifstream expect(base + ".expect");
    std::string hexName, file;
    int checked = 0;
    while (expect >> hexName >> file) {
        std::string name = FromHex(hexName);
        CMessage* part = FindNamed(root.get(), name);
        ASSERT_NE(part, nullptr) << "no part named " << name;
        EXPECT_EQ(BodyOf(part), ReadFileBytes(base + ".parts/" + file)) << name;
        ++checked;
    }
    RecordProperty("attachments", checked);

    // Nothing is left behind once the tree and its stream are gone.
    root.reset();
    EXPECT_EQ(f.Folder().CountFiles(), 0);
}

// The same messages with every CR LF turned into LF decode to the same attachments.
TEST_P(CorpusTest, LineEndsDoNotMatter)
{
    const std::string base = MimeDataPath("corpus/" + GetParam());
    std::string text = ReadFileBytes(base + ".eml");
    std::string lf;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lf += text[i];
    CStoreFixture f;
    CCopyingContext context;
    auto root = f.MakeRoot(lf);
    root->ProcessRoot(&context);
    std::ifstream expect(base + ".expect");
    std::string hexName, file;
    while (expect >> hexName >> file) {
        CMessage* part = FindNamed(root.get(), FromHex(hexName));
        ASSERT_NE(part, nullptr);
        std::string want = ReadFileBytes(base + ".parts/" + file);
        std::string got = BodyOf(part);
        // parts sent without a transfer encoding carry the message's line ends
        if (part->GetEncoding() == 0) {
            std::string wantLf;
            for (size_t i = 0; i < want.size(); ++i)
                if (!(want[i] == '\r' && i + 1 < want.size() && want[i + 1] == '\n'))
                    wantLf += want[i];
            want = wantLf;
        }
        EXPECT_EQ(got, want) << FromHex(hexName);
    }
}

INSTANTIATE_TEST_SUITE_P(Messages, CorpusTest, ::testing::ValuesIn(CorpusNames()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

} // namespace
