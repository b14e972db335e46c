// The main dialog's logic and the start-up order, driven through the scripted front end.
#include "decrypt/app/decrypt_app.h"
#include "decrypt/app/decrypt_dlg.h"
#include "decrypt/app/resources.h"
#include "decrypt/app/single_instance.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file.h"
#include "framework/registry.h"
#include "framework/ui/dialog_template.h"
#include "framework/ui/picture.h"
#include "framework/ui/scripted_front_end.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class ShellDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterDecryptResources();
        char tmpl[] = "/tmp/qm_shell_dlg_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ::setenv("XDG_CONFIG_HOME", (dir + "/cfg").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        std::string cmd = "cp '" + std::string(QM_SOURCE_DIR) + "/samples/demo.p7m' '" + QM_SOURCE_DIR +
                          "/samples/demo_key.der' '" + dir + "/'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        AfxGetDecryptionState() = DecryptionState();
    }
    void TearDown() override
    {
        AfxGetDecryptionState() = DecryptionState();
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    void LoadDemoKey() { ASSERT_TRUE(UseKeyForThisRun((dir + "/demo_key.der").c_str())); }
    std::string dir;
};

TEST_F(ShellDialog, IconAndDialogPicturesAreRegistered)
{
    const struct {
        const char* name;
        int size;
    } expected[] = {{"#128", 32}, {"#129", 64}};
    for (const auto& e : expected) {
        auto picture = AfxFindPicture(e.name);
        ASSERT_NE(picture, nullptr) << e.name;
        EXPECT_EQ(picture->width, e.size);
        EXPECT_EQ(picture->height, e.size);
        std::set<DWORD> colours(picture->pixels.begin(), picture->pixels.end());
        EXPECT_GT(colours.size(), 16u) << e.name;   // a drawing, not a blank
    }
    for (UINT id : {IDD_DECRYPT_DIALOG, IDD_ABOUTBOX}) {
        for (const ControlTemplate& c : AfxFindDialogTemplate(id)->controls) {
            if (c.kind == ControlKind::Picture) {
                EXPECT_NE(AfxFindPicture(c.text), nullptr) << id << " " << c.text;
            }
        }
    }
}

TEST_F(ShellDialog, WithoutAnIdNothingIsDecryptedOrDropped)
{
    CScriptedFrontEnd ui;
    CDecryptDlg dlg(&AfxGetDecryptionState());
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(IDC_ID_NAME), "[No ID Set]");
        EXPECT_FALSE(d.IsControlEnabled(IDC_DECRYPT));
        EXPECT_FALSE(d.IsControlEnabled(IDC_VIEW));
        EXPECT_TRUE(d.IsControlEnabled(IDC_CHANGE));
        EXPECT_FALSE(d.AcceptsFiles());
        CStringArray paths;
        paths.Add((dir + "/demo.p7m").c_str());
        d.HandleDropFiles(paths);
        d.HandleCommand(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), static_cast<INT_PTR>(IDOK));
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ShellDialog, DroppedFilesAreDecryptedInDropOrder)
{
    LoadDemoKey();
    CScriptedFrontEnd ui;
    CDecryptDlg dlg(&AfxGetDecryptionState());
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        EXPECT_TRUE(d.AcceptsFiles());
        EXPECT_EQ(d.GetDlgItemText(IDC_ID_NAME), (dir + "/demo_key.der").c_str());
        CStringArray paths;
        paths.Add((dir + "/first.p7m").c_str());
        paths.Add((dir + "/second.p7m").c_str());
        paths.Add((dir + "/third.p7m").c_str());
        d.HandleDropFiles(paths);
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
    // None of them exists: one error each, in the order they were dropped.
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_NE(ui.boxes[0].text.Find("first.p7m"), -1) << ui.boxes[0].text.c_str();
    EXPECT_NE(ui.boxes[1].text.Find("second.p7m"), -1);
    EXPECT_NE(ui.boxes[2].text.Find("third.p7m"), -1);
    EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 0);
}

TEST_F(ShellDialog, HandOverIsCheckedQueuedAndDecryptedFromTheTimer)
{
    LoadDemoKey();
    CScriptedFrontEnd ui;
    CDecryptDlg dlg(&AfxGetDecryptionState());
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        std::string line = dir + "/demo.p7m";
        COPYDATASTRUCT wrong = {0x12345678, static_cast<DWORD>(line.size() + 1), line.data()};
        EXPECT_FALSE(SendMessageA(d.GetSafeHwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&wrong)));
        COPYDATASTRUCT empty = {HANDOVER_MAGIC, 4, nullptr};
        EXPECT_FALSE(SendMessageA(d.GetSafeHwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty)));
        EXPECT_FALSE(SendMessageA(d.GetSafeHwnd(), WM_COPYDATA, 0, 0));
        EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 0);

        COPYDATASTRUCT good = {HANDOVER_MAGIC, static_cast<DWORD>(line.size() + 1), line.data()};
        EXPECT_TRUE(SendMessageA(d.GetSafeHwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&good)));
        // Not inside the sender's call: the file waits for the timer.
        EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 1);
        EXPECT_FALSE(Exists(dir + "/Decrypt/Msg.txt"));
        CScriptedFrontEnd::Pump(d, 3000);
        EXPECT_TRUE(Exists(dir + "/Decrypt/Msg.txt"));
        EXPECT_FALSE(d.HasTimers());   // the hand-over timer is stopped once it has run
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text.c_str());
}

TEST_F(ShellDialog, DecryptCommandTakesBase64FromTheChosenFileType)
{
    EXPECT_FALSE(CDecryptDlg::Base64ForChoice("/a/b.p7m", 0));
    EXPECT_TRUE(CDecryptDlg::Base64ForChoice("/a/b.SiG", 0));
    EXPECT_FALSE(CDecryptDlg::Base64ForChoice("/a.sig/b", 0));
    EXPECT_FALSE(CDecryptDlg::Base64ForChoice("/a/b.sig", 1));
    EXPECT_TRUE(CDecryptDlg::Base64ForChoice("/a/b.p7m", 2));
    EXPECT_EQ(CDecryptDlg::DecryptFilter(),
              "S/MIME content file (*.p7m) | *.p7m|S/MIME human-readable content file (*.sig) | *.sig||");

    // A base64 file named .p7m, opened as "S/MIME human-readable content file".
    LoadDemoKey();
    ASSERT_EQ(std::system(("base64 '" + dir + "/demo.p7m' > '" + dir + "/text.p7m'").c_str()), 0);
    CScriptedFrontEnd ui;
    ui.AnswerFile((dir + "/text.p7m").c_str(), 2);
    CDecryptDlg dlg(&AfxGetDecryptionState());
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        d.HandleCommand(IDC_DECRYPT);
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text.c_str());
    EXPECT_TRUE(Exists(dir + "/Decrypt/Msg.txt"));
    ASSERT_EQ(ui.fileDialogFilters.size(), 1u);
}

TEST_F(ShellDialog, AboutFromButtonAndSystemMenuHelpExplains)
{
    CScriptedFrontEnd ui;
    CDecryptDlg dlg(&AfxGetDecryptionState());
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        d.HandleCommand(IDC_ABOUT);
        SendMessageA(d.GetSafeHwnd(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        SendMessageA(d.GetSafeHwnd(), WM_SYSCOMMAND, 0xF060, 0);   // not ours: nothing
        d.HandleCommand(IDC_HELP_BUTTON);
        d.HandleCommand(IDOK);
    });
    ui.OnDialog(IDD_ABOUTBOX, [](CDialog& d) {
        EXPECT_EQ(d.GetWindowText(), "About Unsealer");
        bool found = false;
        for (const CDialogControl& c : d.GetControls())
            found = found || c.text == "Quillmar Postlantern Unsealer Version 1.0";
        EXPECT_TRUE(found);
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(ui.dialogs, (std::vector<UINT>{IDD_DECRYPT_DIALOG, IDD_ABOUTBOX, IDD_ABOUTBOX}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.Find("Decrypt"), -1);
}

TEST_F(ShellDialog, FailedChangeKeepsTheIdAndTheSettings)
{
    LoadDemoKey();
    CWinApp app("decrypt");
    SelectProfileLocation(app, UNSEALER_PRODUCT_NUMBER);
    DecryptionState& state = AfxGetDecryptionState();
    state.m_strKeyFileName = "/keys/previous.sec";
    state.m_strEmailAddress = "me@example.org";
    ASSERT_TRUE(WriteUserSettings(app, state));

    CScriptedFrontEnd ui;
    ui.AnswerFile((dir + "/demo.p7m").c_str(), 2);   // not a key file: its first word asks for a password
    ui.OnDialog(32028, [](CDialog& d) {
        d.HandleEditChange(1002, "guess");
        d.HandleCommand(IDOK);
    });
    EXPECT_EQ(ChangeDecryptingID(nullptr), 0);
    EXPECT_EQ(state.m_nIDIsSet, 1);
    EXPECT_EQ(state.m_strName, (dir + "/demo_key.der").c_str());
    EXPECT_EQ(state.m_strKeyFileName, "/keys/previous.sec");
    EXPECT_EQ(app.GetProfileString(SETTINGS_SECTION, "KeyFileName"), "/keys/previous.sec");
    ASSERT_EQ(ui.boxes.size(), 1u);   // the key file's own message says why
    EXPECT_EQ(ui.boxes[0].text.Find("Cannot unlock file with specified password."), 0);

    ui.CancelFile();
    EXPECT_EQ(ChangeDecryptingID(nullptr), 0);
    EXPECT_EQ(state.m_strKeyFileName, "/keys/previous.sec");
}

TEST_F(ShellDialog, SuccessfulChangeWritesAllThreeSettings)
{
    // A key file of the demo ID, saved without a password.
    LoadDemoKey();
    DecryptionState& state = AfxGetDecryptionState();
    std::string keyFile = dir + "/other.sec";
    {
        CScriptedFrontEnd ui;
        ui.AnswerBox(IDNO);
        state.m_strKeyFileName = keyFile.c_str();
        ASSERT_EQ(SaveKeyFile(nullptr, 0), 1);
    }
    state = DecryptionState();
    CWinApp app("decrypt");
    SelectProfileLocation(app, UNSEALER_PRODUCT_NUMBER);
    state.m_strEmailAddress = "me@example.org";

    CScriptedFrontEnd ui;
    ui.AnswerFile(keyFile.c_str(), 2);
    CDecryptDlg dlg(&state);
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        EXPECT_FALSE(d.IsControlEnabled(IDC_DECRYPT));
        d.HandleCommand(IDC_CHANGE);
        EXPECT_TRUE(d.IsControlEnabled(IDC_DECRYPT));
        EXPECT_TRUE(d.IsControlEnabled(IDC_VIEW));
        EXPECT_TRUE(d.AcceptsFiles());
        EXPECT_EQ(d.GetDlgItemText(IDC_ID_NAME), (dir + "/demo_key.der").c_str());
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(state.m_nIDIsSet, 1);
    EXPECT_EQ(app.GetProfileString(SETTINGS_SECTION, "KeyFileName"), keyFile.c_str());
    EXPECT_EQ(app.GetProfileString(SETTINGS_SECTION, "emailAddress"), "me@example.org");
    EXPECT_EQ(app.GetProfileString(SETTINGS_SECTION, "DefaultViewer"), "NOTEPAD.EXE");
}

TEST_F(ShellDialog, StartUpWithoutAnIdRefusesTheCommandLine)
{
    CScriptedFrontEnd ui;
    CDecryptOptions options = ParseDecryptOptions(3, std::vector<const char*>{"decrypt", (dir + "/demo.p7m").c_str(), "x.sig"}.data());
    CDecryptApp app(options, TRUE);
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(IDC_ID_NAME), "[No ID Set]");
        d.HandleCommand(IDOK);
    });
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "ERROR:\nQuillmar Postlantern Unsealer cannot decrypt file(s) now.\nDecrypting ID is not setup.");
    EXPECT_EQ(ui.dialogs, (std::vector<UINT>{IDD_DECRYPT_DIALOG}));
    EXPECT_FALSE(Exists(dir + "/Decrypt"));
    EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 0);
    // The document types were registered on the way.
    EXPECT_TRUE(Exists(dir + "/data/applications/quillmar-unsealer.desktop"));
}

TEST_F(ShellDialog, StartUpQueuesTheCommandLineAndDecryptsOnceTheWindowShows)
{
    std::string key = dir + "/demo_key.der";
    std::string file = dir + "/demo.p7m";
    CDecryptOptions options = ParseDecryptOptions(4, std::vector<const char*>{"decrypt", "--key", key.c_str(), file.c_str()}.data());
    CScriptedFrontEnd ui;
    CDecryptApp app(options, TRUE);
    ui.OnDialog(IDD_DECRYPT_DIALOG, [&](CDialog& d) {
        EXPECT_EQ(AfxGetDecryptionState().DecryptQueue.GetSize(), 1);
        EXPECT_TRUE(d.IsControlEnabled(IDC_DECRYPT));
        // The window also polls for hand-overs, so its timers never all stop.
        for (int i = 0; i < 60 && !Exists(dir + "/Decrypt/Msg.txt"); ++i)
            CScriptedFrontEnd::Pump(d, 50);
        EXPECT_TRUE(Exists(dir + "/Decrypt/Msg.txt"));
        d.HandleCommand(IDOK);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(ui.boxes.empty()) << (ui.boxes.empty() ? "" : ui.boxes[0].text.c_str());
    // Settings are written only when the ID changes.
    EXPECT_EQ(app.GetProfileString(SETTINGS_SECTION, "KeyFileName", "<none>"), "<none>");
}

}  // namespace
