// Making a digital ID: the dialogs' rules, generation and its cancel, and the whole story
// from the file dialog to a certificate that OpenSSL encrypts to and we decrypt with.
#include "decrypt/core/ids_test_support.h"

#include "decrypt/core/certificate_file.h"
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/decrypt_driver.h"
#include "decrypt/core/key_file.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/password_dialog.h"
#include "decrypt/core/resources.h"
#include "decrypt/ids/digital_id.h"
#include "decrypt/ids/digital_id_dialogs.h"
#include "decrypt/ids/ids_resources.h"
#include "framework/app.h"
#include "framework/system.h"
#include "framework/ui/message_box.h"
#include "framework/ui/scripted_front_end.h"
#include "framework/window.h"
#include "sigilbox/engines/rsa_keypair.h"
#include "sigilbox/engines/rsa_keys.h"

#include <cstring>

namespace {

// Types the text key by key, as a person would, starting from what the edit holds.
void Type(CDialog& d, UINT id, const char* text)
{
    CString now = d.GetDlgItemText(id);
    for (const char* p = text; *p; ++p) {
        d.HandleKey(id, static_cast<unsigned char>(*p), GetTickCount());
        now += *p;
        d.HandleEditChange(id, now);
    }
}

void Backspace(CDialog& d, UINT id)
{
    CString now = d.GetDlgItemText(id);
    d.HandleKey(id, 8, GetTickCount());
    d.HandleEditChange(id, now.Left(now.GetLength() - 1));
}

bool SameKey(const CRSAPublicKey& a, const CRSAPublicKey& b)
{
    return a.m_nModulusBits == b.m_nModulusBits && std::memcmp(a.m_Modulus, b.m_Modulus, sizeof a.m_Modulus) == 0;
}

TEST(NewDigitalIDDialog, NameStrengthAndButtons)
{
    RegisterDigitalIDResources();
    CScriptedFrontEnd ui;
    CNewDigitalIDDialog dialog;
    ui.OnDialog(IDD_NEW_DIGITAL_ID, [](CDialog& d) {
        // Only the universal grade, with the strength controls out of sight.
        EXPECT_EQ(d.GetCount(IDC_STRENGTH_LIST), 1);
        EXPECT_EQ(d.GetItemText(IDC_STRENGTH_LIST, 0), "Universal Grade");
        EXPECT_EQ(d.GetCurSel(IDC_STRENGTH_LIST), 0);
        EXPECT_FALSE(d.GetControl(IDC_STRENGTH_LIST)->visible);
        EXPECT_FALSE(d.GetControl(IDC_SET_STRENGTH)->visible);

        EXPECT_FALSE(d.IsControlEnabled(IDC_CREATE_ID));
        EXPECT_FALSE(d.IsControlEnabled(IDOK));
        d.HandleEditChange(IDC_ID_NAME_EDIT, "M");
        EXPECT_TRUE(d.IsControlEnabled(IDC_CREATE_ID));
        d.HandleEditChange(IDC_ID_NAME_EDIT, "");
        EXPECT_FALSE(d.IsControlEnabled(IDC_CREATE_ID));
        d.HandleCommand(IDC_CREATE_ID);   // disabled: nothing runs
        d.HandleCommand(IDOK);            // no key yet
        EXPECT_FALSE(d.IsEnded());

        d.HandleCommand(IDC_ADVANCED);
        EXPECT_TRUE(d.GetControl(IDC_STRENGTH_LIST)->visible);
        EXPECT_TRUE(d.GetControl(IDC_SET_STRENGTH)->visible);
        EXPECT_FALSE(d.IsControlEnabled(IDC_ADVANCED));
        // "Set..." follows the custom selection wherever the entry is there.
        EXPECT_FALSE(d.IsControlEnabled(IDC_SET_STRENGTH));
        for (const char* grade : {"Standard Grade", "Premium Grade", "Custom Grade"})
            d.AddString(IDC_STRENGTH_LIST, grade);
        d.HandleSelChange(IDC_STRENGTH_LIST, 3);
        EXPECT_TRUE(d.IsControlEnabled(IDC_SET_STRENGTH));
        d.HandleSelChange(IDC_STRENGTH_LIST, 1);
        EXPECT_FALSE(d.IsControlEnabled(IDC_SET_STRENGTH));
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_pKey, nullptr);
    EXPECT_EQ(GradeBits(GradeUniversal, 700), 508);
    EXPECT_EQ(GradeBits(GradeStandard, 700), 1024);
    EXPECT_EQ(GradeBits(GradePremium, 700), 2048);
    EXPECT_EQ(GradeBits(GradeCustom, 700), 700);
}

TEST(IDStrengthDialog, RangeIs508To2048)
{
    RegisterDigitalIDResources();
    struct Case {
        const char* text;
        bool accepted;
    };
    for (Case c : {Case{"507", false}, Case{"2049", false}, Case{"", false}, Case{"5o8", false}, Case{"-508", false},
                   Case{"4294967804", false}, Case{"508", true}, Case{"2048", true}, Case{" 1536 ", true}}) {
        CScriptedFrontEnd ui;
        CIDStrengthDialog dialog(700);
        ui.OnDialog(IDD_ID_STRENGTH, [&](CDialog& d) {
            EXPECT_EQ(d.GetDlgItemText(IDC_STRENGTH_BITS), "700");
            d.HandleEditChange(IDC_STRENGTH_BITS, c.text);
            d.HandleCommand(IDOK);
        });
        INT_PTR result = dialog.DoModal();
        SCOPED_TRACE(c.text);
        EXPECT_EQ(result, c.accepted ? IDOK : IDCANCEL);
        EXPECT_EQ(ui.boxes.size(), c.accepted ? 0u : 1u);
        if (!c.accepted && !ui.boxes.empty()) {
            EXPECT_EQ(ui.boxes[0].text, "Please enter an integer between 508 and 2048.");
        }
        EXPECT_EQ(dialog.m_nBits, c.accepted ? std::atoi(c.text) : 700);
    }

    // The spin control moves the number, within its range.
    CScriptedFrontEnd ui;
    CIDStrengthDialog dialog(508);
    ui.OnDialog(IDD_ID_STRENGTH, [](CDialog& d) {
        d.SetSpinPos(IDC_STRENGTH_SPIN, 4000);
        d.HandleCommand(IDC_STRENGTH_SPIN);
        d.HandleCommand(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_nBits, 2048);
}

TEST(MakingDigitalIDDialog, PhraseEnablesOKAndEveryChangeIsTimed)
{
    RegisterDigitalIDResources();
    CScriptedFrontEnd ui;
    CMakingDigitalIDDialog dialog(508);
    ui.OnDialog(IDD_MAKING_DIGITAL_ID, [](CDialog& dlg) {
        auto& d = static_cast<CMakingDigitalIDDialog&>(dlg);
        EXPECT_FALSE(d.IsControlEnabled(IDOK));
        Type(d, IDC_PHRASE_EDIT, "RANDOM GENERATIO");
        EXPECT_FALSE(d.IsControlEnabled(IDOK));
        EXPECT_EQ(d.GetTimings().size(), 16u);
        Type(d, IDC_PHRASE_EDIT, "N");
        EXPECT_TRUE(d.IsControlEnabled(IDOK));   // capitals count as the phrase
        Backspace(d, IDC_PHRASE_EDIT);
        EXPECT_FALSE(d.IsControlEnabled(IDOK));
        EXPECT_EQ(d.GetTimings().size(), 18u);   // the deletion is one more interval
        Type(d, IDC_PHRASE_EDIT, "n");
        EXPECT_TRUE(d.IsControlEnabled(IDOK));
        d.HandleEditChange(IDC_PHRASE_EDIT, "random generation ");
        EXPECT_FALSE(d.IsControlEnabled(IDOK));
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_pKey, nullptr);
}

// Generation pumps the thread's messages through the application object, as the program
// has one; cancelling names the application's thread.
class MakingWithApp : public IdsScratch {
protected:
    MakingWithApp() { RegisterDigitalIDResources(); }
    CWinApp app{"decrypt"};
};

TEST_F(MakingWithApp, MakesA508BitKeyThatPassesItsTest)
{
    CScriptedFrontEnd ui;
    CMakingDigitalIDDialog dialog(508);
    CString status;
    ui.OnDialog(IDD_MAKING_DIGITAL_ID, [&](CDialog& d) {
        Type(d, IDC_PHRASE_EDIT, "random generation");
        d.HandleCommand(IDOK);
        status = d.GetDlgItemText(IDC_MAKING_STATUS);
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    ASSERT_NE(dialog.m_pKey, nullptr);
    EXPECT_EQ(dialog.m_pKey->m_nModulusBits, 508);
    EXPECT_EQ(status, "Verifying key pair...");
    EXPECT_EQ(ThreadKillFlag, 0);
    CRSAKeyPair pair(*dialog.m_pKey);
    EXPECT_EQ(pair.TestKeys(3, nullptr, 0), 0);
}

TEST_F(MakingWithApp, CancelDuringGenerationKeepsTheDialogOpenWithoutKey)
{
    CScriptedFrontEnd ui;
    CMakingDigitalIDDialog dialog(508);
    bool openAfterCancel = false, okAfterCancel = false, hadKey = true;
    CString statusAfterCancel = "?";
    ui.OnDialog(IDD_MAKING_DIGITAL_ID, [&](CDialog& dlg) {
        auto& d = static_cast<CMakingDigitalIDDialog&>(dlg);
        Type(d, IDC_PHRASE_EDIT, "random generation");
        // The Cancel press waits in the queue and is handled while the generation runs.
        PostMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
        d.HandleCommand(IDOK);
        openAfterCancel = !d.IsEnded();
        hadKey = d.m_pKey != nullptr;
        okAfterCancel = d.IsControlEnabled(IDOK);
        statusAfterCancel = d.GetDlgItemText(IDC_MAKING_STATUS);
        EXPECT_FALSE(d.IsBusy());
        EXPECT_EQ(ThreadKillFlag, 0);
        // A second try runs to the end.
        d.HandleCommand(IDOK);
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(openAfterCancel);
    EXPECT_FALSE(hadKey);
    EXPECT_TRUE(okAfterCancel);
    EXPECT_EQ(statusAfterCancel, "");
    ASSERT_NE(dialog.m_pKey, nullptr);
    EXPECT_EQ(dialog.m_pKey->m_nModulusBits, 508);
}

// ---- CreateDigitalID ------------------------------------------------------------------------

class CreateID : public MakingWithApp {
protected:
    // Scripts the two ID dialogs: the name, then the phrase and OK (or a cancelled
    // generation followed by Cancel when cancelGeneration).
    void ScriptNewID(const char* name, bool cancelGeneration = false)
    {
        CString n = name;
        ui.OnDialog(IDD_NEW_DIGITAL_ID, [n](CDialog& d) {
            d.HandleEditChange(IDC_ID_NAME_EDIT, n);
            d.HandleCommand(IDC_CREATE_ID);
        });
        ui.OnDialog(IDD_MAKING_DIGITAL_ID, [this, cancelGeneration](CDialog& d) {
            Type(d, IDC_PHRASE_EDIT, "random generation");
            if (cancelGeneration) {
                PostMessageA(d.GetSafeHwnd(), WM_COMMAND, IDCANCEL, 0);
                d.HandleCommand(IDOK);
                generationCancelledOpen = !d.IsEnded();
                d.HandleCommand(IDCANCEL);
                return;
            }
            d.HandleCommand(IDOK);
        });
    }
    void SetOldID() { SetTestID(TestKey508(), Path("old.sec"), "Old ID"); }
    void ExpectOldID()
    {
        DecryptionState& state = AfxGetDecryptionState();
        EXPECT_STREQ(state.m_strName, "Old ID");
        EXPECT_STREQ(state.m_strKeyFileName, Path("old.sec").c_str());
        EXPECT_EQ(state.m_nIDIsSet, 1);
        ASSERT_NE(state.GetPrivateKey(), nullptr);
        EXPECT_TRUE(SameKey(*state.GetPrivateKey(), TestKey508()));
    }

    CScriptedFrontEnd ui;
    bool generationCancelledOpen = false;
};

TEST_F(CreateID, TheWholeStoryAgainstOpenSSL)
{
    SetOldID();
    std::string keyFile = Path("mine.sec");
    ui.AnswerFile(Path("mine").c_str(), 2);   // the kind adds ".sec"
    ScriptNewID("My New ID");
    ui.AnswerBox(IDNO);                        // no password
    ui.OnDialog(IDD_CREATE_CERTIFICATE, [](CDialog& d) {
        d.HandleEditChange(IDC_EMAIL_ADDRESS, "me@example.org");
        d.HandleCommand(IDC_CREATE_CERTIFICATE);
    });
    ASSERT_EQ(CreateDigitalID(nullptr), 1);
    EXPECT_EQ(ui.dialogs, (std::vector<UINT>{IDD_NEW_DIGITAL_ID, IDD_MAKING_DIGITAL_ID, IDD_CREATE_CERTIFICATE}));

    DecryptionState& state = AfxGetDecryptionState();
    EXPECT_STREQ(state.m_strName, "My New ID");
    EXPECT_STREQ(state.m_strKeyFileName, keyFile.c_str());
    EXPECT_EQ(state.m_nType, CKeyInfo::RSAPrivateKey);
    EXPECT_EQ(state.m_nGrade, 0);
    ASSERT_NE(state.GetPrivateKey(), nullptr);
    EXPECT_EQ(state.GetPrivateKey()->m_nModulusBits, 508);
    EXPECT_FALSE(SameKey(*state.GetPrivateKey(), TestKey508()));
    CRSAPrivateKey made(*state.GetPrivateKey());

    // The key file loads back to the same ID.
    state.SetDecryptingID(CKeyInfo());
    state.m_strKeyFileName = keyFile.c_str();
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_STREQ(state.m_strName, "My New ID");
    EXPECT_TRUE(SameKey(*state.GetPrivateKey(), made));

    if (!HaveOpenSSL())
        GTEST_SKIP() << "openssl not found";
    std::string out;
    std::string pem = Path("me.pem");
    ASSERT_EQ(Shell("openssl pkcs7 -inform DER -in '" + Path("mine.P7M") + "' -print_certs -out '" + pem + "'", &out), 0) << out;
    ASSERT_EQ(Shell("openssl verify -auth_level 0 -CAfile '" + pem + "' '" + pem + "'", &out), 0) << out;
    WriteBytes(Path("letter.txt"), "Subject: hello\r\n\r\nA letter encrypted by OpenSSL for the new ID.\r\n");
    ASSERT_EQ(Shell("openssl smime -encrypt -rc2-40 -provider legacy -provider default -binary -outform DER -in '" +
                        Path("letter.txt") + "' -out '" + Path("letter.p7m") + "' '" + pem + "'",
                    &out),
              0)
        << out;
    ASSERT_EQ(DecryptOneFile(Path("letter.p7m").c_str(), FALSE, nullptr), 1);
    EXPECT_NE(ReadBytes(Path("Decrypt/Msg.txt")).find("A letter encrypted by OpenSSL for the new ID."), std::string::npos);
}

TEST_F(CreateID, FailedSaveRestoresThePreviousID)
{
    SetOldID();
    AfxGetDecryptionState().DecryptQueue.Add("/queued/meanwhile.p7m");
    ui.AnswerFile(Path("mine.sec").c_str(), 2);
    ScriptNewID("My New ID");
    ui.AnswerBox(IDCANCEL);   // the password question of the save
    EXPECT_EQ(CreateDigitalID(nullptr), 0);
    ExpectOldID();
    EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 1);
    EXPECT_FALSE(PathExists(Path("mine.sec")));
}

TEST_F(CreateID, CancelledGenerationOrDialogKeepsThePreviousID)
{
    SetOldID();
    ui.AnswerFile(Path("mine.sec").c_str(), 2);
    ScriptNewID("My New ID", true);
    EXPECT_EQ(CreateDigitalID(nullptr), 0);
    EXPECT_TRUE(generationCancelledOpen);
    ExpectOldID();

    ui.CancelFile();
    EXPECT_EQ(CreateDigitalID(nullptr), 0);
    ExpectOldID();
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_TRUE(FolderNames(dir).empty() || FolderNames(dir) == std::vector<std::string>{"quillmar"});
}

TEST_F(CreateID, AsksBeforeReplacingAKeyFile)
{
    SetOldID();
    WriteBytes(Path("mine.sec"), "the keys of another ID");
    // Unanswered, the question takes its default: No.
    ui.AnswerFile(Path("mine").c_str(), 2);
    EXPECT_EQ(CreateDigitalID(nullptr), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, CString(Path("mine.sec").c_str()) + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(ui.boxes[0].type & MB_TYPEMASK, MB_YESNO);
    EXPECT_EQ(ui.boxes[0].answer, IDNO);
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_EQ(ReadBytes(Path("mine.sec")), "the keys of another ID");
    ExpectOldID();
}

TEST_F(CreateID, ReplacedKeyFileGetsItsOwnCertificate)
{
    // An ID made before, with its certificate file.
    SetTestID(TestKey508(), Path("mine.sec"), "Old ID");
    ui.OnDialog(IDD_CREATE_CERTIFICATE, [](CDialog& d) {
        d.HandleEditChange(IDC_EMAIL_ADDRESS, "old@example.org");
        d.HandleCommand(IDC_CREATE_CERTIFICATE);
    });
    ASSERT_EQ(EnsureCertificateFile(nullptr), 1);
    std::string oldCertificate = ReadBytes(Path("mine.P7M"));
    WriteBytes(Path("mine.sec"), "old keys");

    ui.AnswerFile(Path("mine").c_str(), 2);   // the kind adds ".sec"
    ui.AnswerBox(IDYES);   // replace
    ScriptNewID("New ID");
    ui.AnswerBox(IDNO);    // no password
    ui.OnDialog(IDD_CREATE_CERTIFICATE, [](CDialog& d) {
        d.HandleEditChange(IDC_EMAIL_ADDRESS, "new@example.org");
        d.HandleCommand(IDC_CREATE_CERTIFICATE);
    });
    ASSERT_EQ(CreateDigitalID(nullptr), 1);
    EXPECT_EQ(ReadBytes(Path("mine.P7M.old")), oldCertificate);
    ASSERT_TRUE(PathExists(Path("mine.P7M")));
    EXPECT_NE(ReadBytes(Path("mine.P7M")), oldCertificate);
    EXPECT_STREQ(AfxGetDecryptionState().m_strEmailAddress, "new@example.org");
}

}  // namespace

namespace {

TEST_F(CreateID, ANewPasswordIsTypedTwiceUntilBothTypingsAgree)
{
    ScriptNewID("Protected ID");
    ui.AnswerBox(IDYES);   // protect with a password
    std::vector<CString> prompts;
    // Two typings that differ are asked again; an empty password is allowed when both agree.
    for (const char* typed : {"first", "frist", "", ""}) {
        ui.OnDialog(IDD_PASSWORD, [&prompts, typed](CDialog& d) {
            prompts.push_back(d.GetDlgItemText(IDC_PASSWORD_PROMPT));
            d.HandleEditChange(IDC_PASSWORD_EDIT, typed);
            d.HandleCommand(IDOK);
        });
    }
    ASSERT_EQ(CreateDigitalID(nullptr, Path("pw.key").c_str()), 1);
    EXPECT_EQ(prompts, (std::vector<CString>{"Password:", "Reenter password:", "Password:", "Reenter password:"}));
    ASSERT_GE(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].text, kPasswordsDiffer);

    // Opening the key file asks once, and the agreed password opens it.
    prompts.clear();
    DecryptionState& state = AfxGetDecryptionState();
    state.SetDecryptingID(CKeyInfo());
    state.m_strKeyFileName = Path("pw.key").c_str();
    ui.OnDialog(IDD_PASSWORD, [&prompts](CDialog& d) {
        prompts.push_back(d.GetDlgItemText(IDC_PASSWORD_PROMPT));
        d.HandleCommand(IDOK);
    });
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_EQ(prompts, (std::vector<CString>{"Reenter password:"}));
    EXPECT_STREQ(state.m_strName, "Protected ID");
}

TEST_F(CreateID, KeyFileGivenBeforehandSkipsTheFileDialog)
{
    ScriptNewID("Command Line ID");
    ui.AnswerBox(IDNO);   // no password
    ASSERT_EQ(CreateDigitalID(nullptr, Path("cmd.key").c_str()), 1);
    EXPECT_TRUE(ui.fileDialogFilters.empty());
    DecryptionState& state = AfxGetDecryptionState();
    CRSAPrivateKey made(*state.GetPrivateKey());
    // Written in the archive format, as its extension says, and read back so.
    state.SetDecryptingID(CKeyInfo());
    state.m_strKeyFileName = Path("cmd.key").c_str();
    ASSERT_EQ(LoadKeyFile(nullptr, 0), 1);
    EXPECT_STREQ(state.m_strName, "Command Line ID");
    EXPECT_TRUE(SameKey(*state.GetPrivateKey(), made));
}

}  // namespace
