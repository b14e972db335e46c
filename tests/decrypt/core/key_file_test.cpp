// The decrypting ID's key file: files assembled byte by byte load (protected, unprotected,
// with an older one-character password, both payload formats), the decrypting ID is
// chosen by its rules, every failure shows its message, and saving writes the same layout
// and never loses the previous file.
#include "key_file_support.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/afx.h"
#include "framework/fsutil.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace keyfile_test;

namespace {

bool SameKey(const CRSAPrivateKey& a, const CRSAPrivateKey& b)
{
    return a.m_nModulusBits == b.m_nModulusBits && std::memcmp(a.m_Modulus, b.m_Modulus, sizeof a.m_Modulus) == 0 &&
           std::memcmp(a.m_PrivateExponent, b.m_PrivateExponent, sizeof a.m_PrivateExponent) == 0;
}

std::vector<std::string> FolderNames(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* e = readdir(dir))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(dir);
    }
    return names;
}

class KeyFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/key_file_test_XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", dir.c_str(), 1);
        RegisterCoreResources();
        key512a = LoadPrivateKey(KeyPath("512a"));
        key512b = LoadPrivateKey(KeyPath("512b"));
        key1024 = LoadPrivateKey(KeyPath("1024"));
        key2048 = LoadPrivateKey(KeyPath("2048"));
        State() = DecryptionState();
    }
    void TearDown() override
    {
        State() = DecryptionState();
        AfxDeleteFolderTree(dir.c_str());
    }

    static DecryptionState& State() { return AfxGetDecryptionState(); }

    // Puts a key file into the folder (with its certificate file beside it, so that the
    // certificate check has nothing to ask) and makes it the setting.
    std::string PutKeyFile(const std::string& name, const Bytes& bytes, bool withCertificate = true)
    {
        std::string path = dir + "/" + name;
        WriteBytes(path, bytes);
        if (withCertificate)
            WriteBytes(path.substr(0, path.rfind('.')) + ".P7M", "certificate");
        State().m_strKeyFileName = path.c_str();
        return path;
    }

    CKeyInfo Record(const char* name, const CRSAPrivateKey& key, int grade = 1)
    {
        return CKeyInfo(name, CKeyInfo::RSAPrivateKey, new CRSAPrivateKey(key), grade);
    }

    void TypePassword(const char* password)
    {
        std::string p = password;
        ui.OnDialog(IDD_PASSWORD, [p](CDialog& d) {
            d.HandleEditChange(IDC_PASSWORD_EDIT, p.c_str());
            d.HandleCommand(IDOK);
        });
    }

    std::string Text(UINT id, const std::string& path) const { return std::string(DecryptString(id)) + "\n" + path; }

    void SetID(const char* name, const CRSAPrivateKey& key)
    {
        State().SetDecryptingID(Record(name, key));
        State().m_nIDIsSet = 1;
    }

    std::string dir;
    CScriptedFrontEnd ui;
    std::unique_ptr<CRSAPrivateKey> key512a, key512b, key1024, key2048;
};

// ---- loading --------------------------------------------------------------------------

TEST_F(KeyFile, UnprotectedArchiveFileLoadsWithoutAnyDialog)
{
    CKeyInfo rec = Record("Alice", *key512a, 2);
    std::string path = PutKeyFile("alice.key", KeyFileBytes(0, "*", ArchivePayload({&rec})));
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(ui.dialogs.empty());
    ASSERT_TRUE(State().HasDecryptingID());
    EXPECT_EQ(State().m_nIDIsSet, 1);
    EXPECT_EQ(State().m_strName, "Alice");
    EXPECT_EQ(State().m_nGrade, 2);
    EXPECT_TRUE(SameKey(*State().GetPrivateKey(), *key512a));
}

TEST_F(KeyFile, LegacyUnprotectedFilesWithAnotherPrintableCharacterLoad)
{
    CKeyInfo rec = Record("Old", *key512b);
    for (const char* legacy : {" ", "~", "A", "0"}) {
        State() = DecryptionState();
        PutKeyFile("old.key", KeyFileBytes(0, legacy, ArchivePayload({&rec})));
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 1) << legacy;
        EXPECT_EQ(State().m_strName, "Old");
    }
    // A two-character password is not one of them: the file reads as corrupted.
    State() = DecryptionState();
    std::string path = PutKeyFile("old.key", KeyFileBytes(0, "ab", ArchivePayload({&rec})));
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), Text(IDS_KEYFILE_CORRUPTED, path));
    EXPECT_EQ(ui.boxes[0].text.str(), "The file is corrupted. Cannot read it.\n" + path);
    EXPECT_EQ(ui.boxes[0].caption, kAppTitle);
    EXPECT_EQ(ui.boxes[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_FALSE(State().HasDecryptingID());
}

TEST_F(KeyFile, ProtectedFileAsksForThePasswordAndRefusesAWrongOne)
{
    std::vector<DEREntry> entries = {{key512a.get(), true, "Bob"}};
    std::string path = PutKeyFile("bob.sec", KeyFileBytes(1, "open sesame", DERPayload(entries)));

    TypePassword("open sesame");
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(ui.dialogs, std::vector<UINT>{IDD_PASSWORD});
    EXPECT_EQ(State().m_strName, "Bob");
    EXPECT_EQ(State().m_nGrade, 0);
    EXPECT_TRUE(SameKey(*State().GetPrivateKey(), *key512a));

    // A failed load keeps the ID that was there.
    TypePassword("open sesamE");
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), "Cannot unlock file with specified password.\n" + path);
    EXPECT_EQ(State().m_strName, "Bob");

    // Cancel: nothing shown, nothing loaded.
    ui.OnDialog(IDD_PASSWORD, [](CDialog& d) { d.HandleCommand(IDCANCEL); });
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(KeyFile, UnprotectedFileMarkedProtectedOpensOnlyWithTheBuiltInPassword)
{
    CKeyInfo rec = Record("Carol", *key512a);
    Bytes bytes = KeyFileBytes(0, "*", ArchivePayload({&rec}));
    bytes[0] = 1;
    std::string path = PutKeyFile("carol.key", bytes);
    for (const char* wrong : {"", "x", "**", "~"}) {
        TypePassword(wrong);
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 0) << wrong;
        EXPECT_EQ(ui.boxes.back().text.str(), Text(IDS_KEYFILE_WRONG_PASSWORD, path));
    }
    TypePassword("*");
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
}

TEST_F(KeyFile, TheDecryptingIDIsASmallPrivateKeyChosenByFormat)
{
    CKeyInfo a = Record("A512", *key512a), b = Record("B512", *key512b), big = Record("Big", *key1024),
             huge = Record("Huge", *key2048);
    CKeyInfo pub("Pub", CKeyInfo::RSAPublicKey, new CRSAPublicKey(*key512a), 0);

    struct Case {
        const char* file;
        Bytes payload;
        const char* expected;
    };
    std::vector<Case> cases = {
        {"a.key", ArchivePayload({&a, &big}), "A512"},
        {"b.key", ArchivePayload({&big, &a}), "A512"},
        {"c.key", ArchivePayload({&a, &b}), "B512"},       // archive: the last suitable record
        {"d.key", ArchivePayload({&pub, &b, &huge}), "B512"},
        {"e.sec", DERPayload({{key512a.get(), true, "A512"}, {key512b.get(), true, "B512"}}), "A512"},   // DER: the first
        {"f.sec", DERPayload({{key1024.get(), true, "Big"}, {key512b.get(), true, "B512"}}), "B512"},
        {"g.sec", DERPayload({{key512a.get(), false, "Pub"}, {key512b.get(), true, "B512"}}), "B512"},
    };
    for (const Case& c : cases) {
        State() = DecryptionState();
        PutKeyFile(c.file, KeyFileBytes(0, "*", c.payload));
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 1) << c.file;
        EXPECT_EQ(State().m_strName, c.expected) << c.file;
    }
    EXPECT_TRUE(ui.boxes.empty());

    // Only larger keys (or only public ones, or a toy modulus): nothing to decrypt with.
    CRSAPrivateKey toy;
    for (int i = 1; i <= 8; ++i)
        toy.m_Modulus[CRSAPublicKey::NumberSize - i] = 0xC1;
    toy.m_PublicExponent[CRSAPublicKey::NumberSize - 1] = 3;
    toy.m_PrivateExponent[CRSAPublicKey::NumberSize - 1] = 7;
    toy.m_nModulusBits = 64;
    std::vector<std::pair<std::string, Bytes>> none = {
        {"l.sec", DERPayload({{&toy, true, "Toy"}})},
        {"h.key", ArchivePayload({&big, &huge})},
        {"i.sec", DERPayload({{key1024.get(), true, "Big"}, {key2048.get(), true, "Huge"}})},
        {"j.sec", DERPayload({{key512a.get(), false, "Pub"}})},
        {"k.key", ArchivePayload({})},
    };
    for (const auto& [name, payload] : none) {
        ui.boxes.clear();
        std::string path = PutKeyFile(name, KeyFileBytes(0, "*", payload));
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 0) << name;
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text.str(), "The file doesn't contain any valid keys.\n" + path);
        EXPECT_EQ(ui.boxes[0].type & MB_ICONMASK, MB_ICONINFORMATION);
    }
}

TEST_F(KeyFile, TheFormatArgumentOverridesTheExtension)
{
    CKeyInfo rec = Record("Arch", *key512a);
    Bytes archive = KeyFileBytes(0, "*", ArchivePayload({&rec}));
    Bytes der = KeyFileBytes(0, "*", DERPayload({{key512b.get(), true, "Der"}}));

    std::string path = PutKeyFile("x.SEC", archive);   // extension compared without case: DER
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), "Unexpected error occured: cannot read file.\n" + path);
    EXPECT_EQ(LoadKeyFile(nullptr, 1), 1);
    EXPECT_EQ(State().m_strName, "Arch");

    PutKeyFile("y.key", der);
    EXPECT_EQ(LoadKeyFile(nullptr, 2), 1);
    EXPECT_EQ(State().m_strName, "Der");
    PutKeyFile("noext", der);
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);   // no extension: archive
}

TEST_F(KeyFile, FailuresShowTheirMessagesWithTheFullPath)
{
    // No key file set: nothing happens.
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    EXPECT_TRUE(ui.boxes.empty());

    // A relative name is shown as a full path.
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    char cwd[4096];
    bool gotCwd = getcwd(cwd, sizeof cwd) != nullptr;
    State().m_strKeyFileName = "missing.key";
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_TRUE(gotCwd);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), "Unexpected error occured: cannot open file.\n" + std::string(cwd) + "/missing.key");

    // Payload that is no archive of records.
    ui.boxes.clear();
    std::string path = PutKeyFile("junk.key", KeyFileBytes(0, "*", Bytes("\x05\x00garbage in the payload", 24)));
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), Text(IDS_KEYFILE_CANNOT_READ, path));

    // An element count far beyond the payload is refused before anything is allocated.
    ui.boxes.clear();
    PutKeyFile("count.key", KeyFileBytes(0, "*", Bytes("\xFF\xFF\xFF\xFF\xFF\x7F", 6)));
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    EXPECT_EQ(ui.boxes.at(0).text.str(), Text(IDS_KEYFILE_CANNOT_READ, dir + "/count.key"));
}

TEST_F(KeyFile, TruncatedAndDamagedFilesReadAsCorrupted)
{
    CKeyInfo rec = Record("T", *key512a);
    Bytes good = KeyFileBytes(0, "*", ArchivePayload({&rec}));
    for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(5), size_t(6), size_t(13), size_t(21), size_t(29),
                       size_t(37), size_t(38), good.size() - 8, good.size() - 1}) {
        ui.boxes.clear();
        std::string path = PutKeyFile("t.key", good.substr(0, cut));
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 0) << cut;
        ASSERT_EQ(ui.boxes.size(), 1u) << cut;
        EXPECT_EQ(ui.boxes[0].text.str(), Text(IDS_KEYFILE_CORRUPTED, path)) << cut;
    }
    // N beyond the file, and N other than 8 for a password key.
    for (unsigned n : {0u, 7u, 9u, 64u, 0xFFFFu}) {
        Bytes bad = good;
        bad[4] = static_cast<char>(n & 0xFF);
        bad[5] = static_cast<char>(n >> 8);
        ui.boxes.clear();
        PutKeyFile("n.key", bad);
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 0) << n;
        EXPECT_EQ(ui.boxes.size(), 1u);
    }
}

TEST_F(KeyFile, OversizedFilesAreRefusedBeforeDecrypting)
{
    CKeyInfo rec = Record("Big", *key512a);
    std::string path = PutKeyFile("big.key", KeyFileBytes(0, "*", ArchivePayload({&rec})));
    ASSERT_EQ(truncate(path.c_str(), 64LL * 1024 * 1024), 0);
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text.str(), Text(IDS_KEYFILE_CORRUPTED, path));
}

TEST_F(KeyFile, TheCertificateCheckRunsAfterALoad)
{
    CKeyInfo rec = Record("Dana", *key512a);
    PutKeyFile("dana.key", KeyFileBytes(0, "*", ArchivePayload({&rec})), false);
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
    // The certificate file is missing: its dialog came up (and was cancelled).
    ASSERT_FALSE(ui.dialogs.empty());
    EXPECT_NE(ui.dialogs.back(), IDD_PASSWORD);
}

// ---- the password dialog ----------------------------------------------------------------

TEST_F(KeyFile, PasswordDialogTakesAtMostFiftyCharacters)
{
    CKeyInfo rec = Record("Long", *key512a);
    std::string fifty(50, 'p');
    PutKeyFile("long.key", KeyFileBytes(1, fifty, ArchivePayload({&rec})));
    CString caption, prompt;
    BOOL ticked = FALSE, enabled = TRUE;
    DWORD style = 0;
    ui.OnDialog(IDD_PASSWORD, [&](CDialog& d) {
        caption = d.GetWindowText();
        prompt = d.GetDlgItemText(IDC_PASSWORD_PROMPT);
        ticked = d.IsDlgButtonChecked(IDC_PASSWORD_SAVE);
        enabled = d.IsControlEnabled(IDC_PASSWORD_SAVE);
        style = d.GetControl(IDC_PASSWORD_EDIT)->style;
        d.HandleEditChange(IDC_PASSWORD_EDIT, (fifty + "extra").c_str());
        d.HandleCommand(IDOK);
    });
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(caption, "Verify password");
    EXPECT_EQ(prompt, "Reenter password:");
    EXPECT_TRUE(ticked);
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(style & CS_PASSWORD);
}

// ---- saving -----------------------------------------------------------------------------

TEST_F(KeyFile, SavedFilesHaveTheLayoutOfBothFormats)
{
    SetID("Eve", *key512a);
    for (const char* name : {"eve.key", "eve.sec"}) {
        std::string path = dir + "/" + name;
        State().m_strKeyFileName = path.c_str();
        WriteBytes(path.substr(0, path.rfind('.')) + ".P7M", "certificate");
        ui.AnswerBox(IDNO);
        ASSERT_EQ(SaveKeyFile(nullptr, 0), 1) << name;
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Protect keys with password?  ");
        EXPECT_EQ(ui.boxes[0].type, MB_YESNOCANCEL | MB_ICONQUESTION);
        ui.boxes.clear();

        Bytes file = ReadBytes(path);
        OpenedKeyFile opened = OpenKeyFile(file, "*");
        ASSERT_TRUE(opened.ok) << name;
        EXPECT_EQ(opened.flag, 0u);
        EXPECT_EQ(opened.n, 8u);
        CKeyInfo expectedRecord(State());
        Bytes expected = std::string(name).find(".sec") != std::string::npos
                             ? DERPayload({{key512a.get(), true, "Eve"}})
                             : ArchivePayload({&expectedRecord});
        EXPECT_EQ(Hex(reinterpret_cast<const BYTE*>(opened.payload.data()), opened.payload.size()),
                  Hex(reinterpret_cast<const BYTE*>(expected.data()), expected.size()));
        // Rebuilt with the same session key, the test's own assembly gives the same bytes.
        EXPECT_EQ(KeyFileBytes(0, "*", expected, opened.sessionKey, opened.sessionIV), file);

        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);

        State().m_strName = "changed";
        EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
        EXPECT_EQ(State().m_strName, "Eve");
    }
    // Nothing but the two key files and their certificate file.
    EXPECT_EQ(FolderNames(dir).size(), 3u);
}

TEST_F(KeyFile, SavingWithAPasswordSetsTheFlag)
{
    SetID("Fay", *key512b);
    std::string path = dir + "/fay.key";
    State().m_strKeyFileName = path.c_str();
    WriteBytes(dir + "/fay.P7M", "certificate");
    ui.AnswerBox(IDYES);
    TypePassword("Fay's password");
    ASSERT_EQ(SaveKeyFile(nullptr, 0), 1);
    OpenedKeyFile opened = OpenKeyFile(ReadBytes(path), "Fay's password");
    ASSERT_TRUE(opened.ok);
    EXPECT_EQ(opened.flag, 1u);

    TypePassword("Fay's password");
    State().SetDecryptingID(CKeyInfo());
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(State().m_strName, "Fay");
}

TEST_F(KeyFile, SavingCanBeCancelledAndNeedsAnID)
{
    std::string path = dir + "/none.key";
    State().m_strKeyFileName = path.c_str();
    EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);   // no ID yet
    EXPECT_TRUE(ui.boxes.empty());

    SetID("Gil", *key512a);
    ui.AnswerBox(IDCANCEL);
    EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);
    ui.AnswerBox(IDYES);
    ui.OnDialog(IDD_PASSWORD, [](CDialog& d) { d.HandleCommand(IDCANCEL); });
    EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);
    EXPECT_EQ(ui.boxes.size(), 2u);
    EXPECT_TRUE(FolderNames(dir).empty());
}

// A front end that lets files grow only up to a limit once the save question is answered.
class LimitedDisk : public CScriptedFrontEnd {
public:
    explicit LimitedDisk(rlim_t limit) : m_limit(limit)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    }
    ~LimitedDisk() override
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        signal(SIGXFSZ, m_oldHandler);
    }
    int MessageBox(const char* text, const char* caption, UINT type) override
    {
        rlimit r = m_saved;
        if (std::strcmp(text, "Protect keys with password?  ") == 0)
            r.rlim_cur = m_limit;
        setrlimit(RLIMIT_FSIZE, &r);
        return CScriptedFrontEnd::MessageBox(text, caption, type);
    }

private:
    rlim_t m_limit;
    rlimit m_saved{};
    void (*m_oldHandler)(int);
};

TEST_F(KeyFile, AFailedSaveLeavesThePreviousFileAsItWas)
{
    CKeyInfo old = Record("Old", *key512b);
    Bytes previous = KeyFileBytes(0, "*", ArchivePayload({&old}));
    std::string path = PutKeyFile("keep.key", previous);
    SetID("New", *key512a);
    {
        LimitedDisk disk(100);
        disk.AnswerBox(IDNO);
        EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);
        ASSERT_EQ(disk.boxes.size(), 2u);
        // The old file could not even be kept: nothing was replaced.
        EXPECT_EQ(disk.boxes[1].text.str().rfind("Unexpected error occured: cannot create file.\n"
                                                 "The key file there could not be kept as " + path + ".old: ", 0), 0u)
            << disk.boxes[1].text.str();
        EXPECT_EQ(disk.boxes[1].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(ReadBytes(path), previous);
    EXPECT_EQ(FolderNames(dir).size(), 2u);   // no temporary file left behind

    // A folder where nothing can be created.
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
        ui.AnswerBox(IDNO);
        EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);
        EXPECT_EQ(ui.boxes.back().text.str().rfind("Unexpected error occured: cannot create file.\n"
                                                   "The key file there could not be kept as " + path + ".old: ", 0), 0u)
            << ui.boxes.back().text.str();
        chmod(dir.c_str(), 0700);
        EXPECT_EQ(ReadBytes(path), previous);
    }
    // A missing folder.
    State().m_strKeyFileName = (dir + "/no/such/folder.key").c_str();
    ui.AnswerBox(IDNO);
    EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);
    EXPECT_EQ(ui.boxes.back().text, "Unexpected error occured: cannot create file.");

    // The name is taken by a folder: the finished file cannot replace it, and is removed.
    std::string folder = dir + "/taken.key";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteBytes(folder + "/inside", "x");
    State().m_strKeyFileName = folder.c_str();
    ui.AnswerBox(IDNO);
    EXPECT_EQ(SaveKeyFile(nullptr, 0), 0);
    EXPECT_EQ(ui.boxes.back().text, "Unexpected error occured: cannot save file.");
    EXPECT_EQ(FolderNames(dir).size(), 3u);
    EXPECT_EQ(FolderNames(folder).size(), 1u);
    // ...and it cannot be loaded either.
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 0);
    EXPECT_EQ(ui.boxes.back().text.str(), Text(IDS_KEYFILE_CANNOT_OPEN, folder));

    // Saving over an existing file replaces it whole.
    State().m_strKeyFileName = path.c_str();
    ui.AnswerBox(IDNO);
    EXPECT_EQ(SaveKeyFile(nullptr, 0), 1);
    State().m_strName = "other";
    EXPECT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(State().m_strName, "New");
}

// Each replacement keeps the file it replaces beside it, under the first free .old name;
// nothing there is overwritten, and the kept files load as the IDs they were.
TEST_F(KeyFile, ReplacingKeepsEveryOldKeyFile)
{
    CKeyInfo first = Record("First", *key512b);
    std::string path = PutKeyFile("id.key", KeyFileBytes(0, "*", ArchivePayload({&first})));
    WriteBytes(path + ".old(2)", "someone's own");
    const struct {
        const char* name;
        const CRSAPrivateKey* key;
        const char* keptAs;
        const char* keptName;
    } saves[] = {{"Second", key512a.get(), ".old", "First"},
                 {"Third", key512a.get(), ".old(1)", "Second"},
                 {"Fourth", key512b.get(), ".old(3)", "Third"}};
    for (const auto& save : saves) {
        SetID(save.name, *save.key);
        State().m_strKeyFileName = path.c_str();
        ui.AnswerBox(IDNO);
        ASSERT_EQ(SaveKeyFile(nullptr, 0), 1) << save.name;
        State().m_strKeyFileName = (path + save.keptAs).c_str();
        ASSERT_EQ(LoadKeyFile(nullptr, 0), 1) << save.keptAs;
        EXPECT_EQ(State().m_strName, save.keptName);
    }
    EXPECT_EQ(ReadBytes(path + ".old(2)"), Bytes("someone's own"));
    State().m_strKeyFileName = path.c_str();
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(State().m_strName, "Fourth");
}

}  // namespace
