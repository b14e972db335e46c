// The dialog model and its front ends: handlers run from scripted, batch and terminal input.
#include "framework/afx.h"
#include "framework/system.h"
#include "framework/ui/batch_front_end.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "framework/ui/picture.h"
#include "framework/ui/recording_front_end.h"
#include "framework/ui/scripted_front_end.h"
#include "framework/ui/terminal_front_end.h"
#include "framework/window.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr UINT kFormId = 9001;
constexpr UINT kProgressId = 9002;
constexpr UINT kClashId = 9003;
constexpr UINT kName = 100, kSecret = 101, kAgree = 102, kGo = 103, kStage = 104, kBar = 105, kSeed = 106;

const DialogTemplate kForm = {kFormId, "Sample Form",
                              {
                                  {IDC_STATIC, ControlKind::Static, "&Name:"},
                                  {kName, ControlKind::Edit, "", 0, 8},
                                  {IDC_STATIC, ControlKind::Static, "Password:"},
                                  {kSecret, ControlKind::Edit, "", CS_PASSWORD},
                                  {kAgree, ControlKind::CheckBox, "I &agree"},
                                  {IDC_STATIC, ControlKind::Static, "Seed:"},
                                  {kSeed, ControlKind::Edit, "", CS_WANTKEYS},
                                  {kGo, ControlKind::Button, "&Go", CS_DISABLED},
                                  {IDOK, ControlKind::DefaultButton, "OK"},
                                  {IDCANCEL, ControlKind::Button, "Cancel"},
                              }};
const DialogTemplate kProgress = {kProgressId, "", {{kBar, ControlKind::ProgressBar, ""}, {kStage, ControlKind::Static, ""}}};

// "Close" has no access key and its first letter is "&Change..."'s.
const DialogTemplate kClash = {kClashId, "Clash",
                               {
                                   {IDC_STATIC, ControlKind::Static, "Path:"},
                                   {kName, ControlKind::Edit, "/fixed/path", CS_READONLY},
                                   {kGo, ControlKind::Button, "&Change..."},
                                   {IDOK, ControlKind::Button, "Close"},
                                   {IDCANCEL, ControlKind::Button, "Cancel"},
                               }};

struct Registrar {
    Registrar() { AfxRegisterDialogTemplates({&kForm, &kProgress, &kClash}); }
} g_registrar;

class CFormDlg : public CDialog {
public:
    CFormDlg() : CDialog(kFormId) {}
    BOOL OnInitDialog() override
    {
        ++inits;
        if (startTimer)
            SetTimer(7, 20);
        return TRUE;
    }
    void OnEditChange(UINT id) override
    {
        if (id == kName)
            EnableControl(kGo, !GetDlgItemText(kName).IsEmpty());
    }
    BOOL OnCommand(UINT id) override
    {
        if (id == kGo) {
            ++goes;
            if (throwOnGo)
                AfxThrowFileException(CFileException::diskFull, 28, "out.txt");
            return TRUE;
        }
        return CDialog::OnCommand(id);
    }
    void OnOK() override
    {
        name = GetDlgItemText(kName);
        secret = GetDlgItemText(kSecret);
        agreed = IsDlgButtonChecked(kAgree);
        CDialog::OnOK();
    }
    void OnKey(UINT, UINT ch, DWORD) override { keys += static_cast<char>(ch); }
    void OnTimer(UINT_PTR id) override
    {
        ++timerHits;
        KillTimer(id);
    }
    void OnDropFiles(const CStringArray& paths) override
    {
        for (int i = 0; i < paths.GetSize(); ++i)
            dropped.push_back(paths[i].str());
    }
    int inits = 0, goes = 0, timerHits = 0;
    BOOL startTimer = FALSE, throwOnGo = FALSE, agreed = FALSE;
    CString name, secret;
    std::string keys;
    std::vector<std::string> dropped;
};

TEST(DialogModel, ScriptDrivesHandlersAndLimits)
{
    CScriptedFrontEnd ui;
    ui.OnDialog(kFormId, [](CDialog& d) {
        EXPECT_FALSE(d.IsControlEnabled(kGo));
        d.HandleCommand(kGo);   // disabled: nothing happens
        d.HandleEditChange(kName, "a name too long");
        EXPECT_TRUE(d.IsControlEnabled(kGo));
        d.HandleCommand(kGo);
        d.HandleEditChange(kSecret, "pw");
        d.HandleCommand(kAgree);
        d.HandleCommand(IDOK);
    });
    CFormDlg dlg;
    EXPECT_EQ(dlg.DoModal(), static_cast<INT_PTR>(IDOK));
    EXPECT_EQ(dlg.inits, 1);
    EXPECT_EQ(dlg.goes, 1);
    EXPECT_EQ(dlg.name, "a name t");   // the edit's limit of 8
    EXPECT_EQ(dlg.secret, "pw");
    EXPECT_TRUE(dlg.agreed);
    EXPECT_EQ(ui.dialogs, std::vector<UINT>{kFormId});
    // Without a script the dialog is cancelled.
    CFormDlg again;
    EXPECT_EQ(again.DoModal(), static_cast<INT_PTR>(IDCANCEL));
}

TEST(DialogModel, HandlerExceptionsBecomeOneBox)
{
    CScriptedFrontEnd ui;
    AfxSetAppTitle("Test App");
    ui.OnDialog(kFormId, [](CDialog& d) {
        d.HandleEditChange(kName, "x");
        d.HandleCommand(kGo);
        d.HandleCommand(IDCANCEL);
    });
    CFormDlg dlg;
    dlg.throwOnGo = TRUE;
    EXPECT_EQ(dlg.DoModal(), static_cast<INT_PTR>(IDCANCEL));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "Test App");
    EXPECT_NE(ui.boxes[0].text.Find("out.txt"), -1);
    AfxSetAppTitle(nullptr);
}

TEST(DialogModel, BatchRunsStartupTimersThenCancels)
{
    std::FILE* out = std::tmpfile();
    CBatchFrontEnd batch(out);
    CFrontEnd* old = AfxSetFrontEnd(&batch);
    CFormDlg dlg;
    dlg.startTimer = TRUE;
    EXPECT_EQ(dlg.DoModal(), static_cast<INT_PTR>(IDCANCEL));
    EXPECT_EQ(dlg.timerHits, 1);

    EXPECT_EQ(MessageBoxA(nullptr, "Replace it?", "Caption", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Caption", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "ERROR:\nline two", "Caption", MB_OK), IDOK);
    std::rewind(out);
    char buf[256] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, out);
    EXPECT_EQ(std::string(buf, n), "Caption: Replace it?\nCaption: Go on?\nCaption: ERROR:\nline two\n");
    std::fclose(out);
    AfxSetFrontEnd(old);
}

TEST(DialogModel, ThreadFrontEndRecordsBoxesForReplayElsewhere)
{
    CScriptedFrontEnd ui;   // the process's: sees nothing of the thread's boxes
    CRecordingFrontEnd recorder;
    std::vector<int> answers;
    BOOL faithfulAfterBoxes = FALSE;
    std::thread([&] {
        AfxSetThreadFrontEnd(&recorder);
        answers.push_back(MessageBoxA(nullptr, "Replace it?", "Caption", MB_YESNO));
        answers.push_back(MessageBoxA(nullptr, "ERROR:\nline two", "Caption", MB_OK));
        faithfulAfterBoxes = recorder.IsFaithful();
        CFormDlg dlg;   // a dialog cannot wait for a later answer
        answers.push_back(static_cast<int>(dlg.DoModal()));
        AfxSetThreadFrontEnd(nullptr);
    }).join();
    EXPECT_EQ(answers, (std::vector<int>{IDNO, IDOK, IDCANCEL}));
    EXPECT_TRUE(faithfulAfterBoxes);
    EXPECT_FALSE(recorder.IsFaithful());
    EXPECT_TRUE(ui.boxes.empty());

    std::FILE* out = std::tmpfile();
    CBatchFrontEnd batch(out);
    recorder.Replay(batch);
    std::rewind(out);
    char buf[256] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, out);
    EXPECT_EQ(std::string(buf, n), "Caption: Replace it?\nCaption: ERROR:\nline two\n");
    std::fclose(out);
}

TEST(DialogModel, ModelessProgressRecordsStagesAndPostedProgress)
{
    CScriptedFrontEnd ui;
    CDialog progress(kProgressId);
    ASSERT_TRUE(progress.Create());
    HWND bar = progress.GetProgressBar(kBar);
    ASSERT_NE(bar, nullptr);
    progress.SetDlgItemText(kStage, "Reading file...");
    PostMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 4));
    PostMessageA(bar, PBM_SETSTEP, 1, 0);
    for (int i = 0; i < 3; ++i)
        PostMessageA(bar, PBM_DELTAPOS, 1, 0);
    progress.SetDlgItemText(kStage, "Decrypting...");
    progress.UpdateWindow();
    PROGRESSBARSTATE st;
    ASSERT_TRUE(AfxGetProgressBarState(bar, &st));
    EXPECT_EQ(st.nUpper, 4);
    EXPECT_EQ(st.nPos, 3);
    progress.DestroyWindow();
    EXPECT_EQ(ui.stageTexts, (std::vector<CString>{"Reading file...", "Decrypting..."}));
    EXPECT_FALSE(IsWindow(bar));
}

TEST(DialogModel, ScriptedBoxesAnswerInOrderElseDefault)
{
    CScriptedFrontEnd ui;
    ui.AnswerBox(IDYES);
    EXPECT_EQ(AfxMessageBox("first", MB_YESNO), IDYES);
    EXPECT_EQ(AfxMessageBox("second", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(AfxMessageBox("third", MB_YESNOCANCEL), IDYES);
    ASSERT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(ui.boxes[1].text, "second");
}

TEST(FileDialogTest, FilterParsingAndValidation)
{
    CFileDialog open(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY,
                     "S/MIME content file (*.p7m) | *.p7m|S/MIME human-readable content file (*.sig) | *.sig||");
    ASSERT_EQ(open.GetFilters().size(), 2u);
    EXPECT_EQ(open.GetFilters()[1].description, "S/MIME human-readable content file (*.sig) ");
    EXPECT_EQ(open.GetFilters()[1].pattern, " *.sig");
    EXPECT_FALSE(open.Validate("/nonexistent/file.p7m").IsEmpty());
    EXPECT_TRUE(open.Validate(QM_SOURCE_DIR "/CMakeLists.txt").IsEmpty());
    EXPECT_FALSE(open.Validate(QM_SOURCE_DIR).IsEmpty());   // a folder is no file
    open.SetResult("/tmp/dir.x/mail", 0);
    EXPECT_EQ(open.GetFileExt(), "");
    EXPECT_EQ(open.GetFileName(), "mail");
    open.SetResult("/tmp/mail.P7M", 2);
    EXPECT_EQ(open.GetFileExt(), "P7M");
    EXPECT_EQ(open.GetFileTitle(), "mail");

    CFileDialog save(FALSE, nullptr, nullptr, OFN_PATHMUSTEXIST, "Secret file (*.sec) |*.sec||");
    EXPECT_FALSE(save.Validate("/nonexistent-folder/id.sec").IsEmpty());
    EXPECT_TRUE(save.Validate("/tmp/new-id.sec").IsEmpty());
}

TEST(TerminalFrontEnd, FormRenderingAndPastedPaths)
{
    CScriptedFrontEnd ui;   // so DoModal below does not block
    CFormDlg dlg;
    ui.OnDialog(kFormId, [](CDialog& d) {
        d.HandleEditChange(kSecret, "abc");
        CString form = CTerminalFrontEnd::RenderForm(d);
        EXPECT_NE(form.Find("== Sample Form =="), -1);
        EXPECT_NE(form.Find("1) [N]ame: "), -1);
        EXPECT_NE(form.Find("2) Password: ***"), -1);
        EXPECT_NE(form.Find("3) [ ] I [a]gree"), -1);
        EXPECT_NE(form.Find("([G]o)"), -1);
        EXPECT_NE(form.Find("[O]K  [C]ancel"), -1);
        EXPECT_EQ(form.Find("abc"), -1);
    });
    dlg.DoModal();

    auto paths = CTerminalFrontEnd::ParseDroppedPaths("'/tmp/a b.p7m' /tmp/c\\ d.sig \"/tmp/e.p7m\" file:///tmp/f%20g.sig");
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(paths[0], "/tmp/a b.p7m");
    EXPECT_EQ(paths[1], "/tmp/c d.sig");
    EXPECT_EQ(paths[2], "/tmp/e.p7m");
    EXPECT_EQ(paths[3], "/tmp/f g.sig");
    EXPECT_EQ(CTerminalFrontEnd::AccessKey("&Decrypt"), 'D');
    EXPECT_EQ(CTerminalFrontEnd::AccessKey("Save && go"), 0);
}

// Runs a dialog on the terminal front end with the given input typed on a pipe.
std::string RunOnTerminal(CDialog& dlg, const std::string& input)
{
    int in[2], out[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(in[1]);
    std::string shown;
    {
        CTerminal term(in[0], out[1]);
        CTerminalFrontEnd ui(term);
        CFrontEnd* old = AfxSetFrontEnd(&ui);
        std::thread drain([&] {
            char buf[4096];
            // Reads until the dialog's side of the pipe is closed.
            for (;;) {
                ssize_t n = ::read(out[0], buf, sizeof buf);
                if (n > 0)
                    shown.append(buf, static_cast<size_t>(n));
                else if (n == 0 || errno != EINTR)
                    break;
            }
        });
        dlg.DoModal();
        AfxSetFrontEnd(old);
        ::close(out[1]);
        drain.join();
    }
    ::close(in[0]);
    ::close(out[0]);
    return shown;
}

TEST(TerminalFrontEnd, TypedCommandsReachTheHandlers)
{
    CFormDlg dlg;
    dlg.DragAcceptFiles(TRUE);
    std::string shown = RunOnTerminal(dlg, "1\nAlice\n2\nsecret\n3\ng\n'/tmp/x y.p7m' /tmp/z.sig\nz\n\n");
    EXPECT_EQ(dlg.GetResult(), static_cast<INT_PTR>(IDOK));
    EXPECT_EQ(dlg.name, "Alice");
    EXPECT_EQ(dlg.secret, "secret");
    EXPECT_TRUE(dlg.agreed);
    EXPECT_EQ(dlg.goes, 1);
    EXPECT_EQ(shown.find("secret"), std::string::npos);
    EXPECT_NE(shown.find("Type a letter"), std::string::npos);   // "z" matched nothing
    EXPECT_EQ(dlg.dropped, (std::vector<std::string>{"/tmp/x y.p7m", "/tmp/z.sig"}));
}

TEST(TerminalFrontEnd, ButtonsWithoutAccessKeyTakeAFreeLetter)
{
    CDialog dlg(kClashId);
    std::string shown = RunOnTerminal(dlg, "l\n");
    EXPECT_EQ(dlg.GetResult(), static_cast<INT_PTR>(IDOK));
    EXPECT_NE(shown.find("[C]hange...  C[l]ose  C[a]ncel"), std::string::npos) << shown;

    CDialog again(kClashId);
    RunOnTerminal(again, "a\n");
    EXPECT_EQ(again.GetResult(), static_cast<INT_PTR>(IDCANCEL));
}

TEST(TerminalFrontEnd, ReadOnlyFieldsAreShownButNotChanged)
{
    CDialog dlg(kClashId);
    std::string shown = RunOnTerminal(dlg, "1\nelsewhere\nl\n");
    // No field of this screen can be changed: none is numbered.
    EXPECT_NE(shown.find("  Path: /fixed/path"), std::string::npos) << shown;
    EXPECT_NE(shown.find("No field can be changed on this screen."), std::string::npos) << shown;
    EXPECT_EQ(dlg.GetResult(), static_cast<INT_PTR>(IDOK));
}

TEST(DialogModel, NumbersTheControlCannotHoldAreRefused)
{
    CScriptedFrontEnd ui;
    CDialog dlg(kClashId);
    ui.OnDialog(kClashId, [](CDialog& d) {
        BOOL ok = TRUE;
        d.SetDlgItemText(kName, "508");
        EXPECT_EQ(d.GetDlgItemInt(kName, &ok), 508u);
        EXPECT_TRUE(ok);
        d.SetDlgItemText(kName, "4294967295");
        EXPECT_EQ(d.GetDlgItemInt(kName, &ok), 4294967295u);
        EXPECT_TRUE(ok);
        for (const char* text : {"4294967804", "99999999999999999999999", "-1", "12x", ""}) {
            d.SetDlgItemText(kName, text);
            EXPECT_EQ(d.GetDlgItemInt(kName, &ok), 0u) << text;
            EXPECT_FALSE(ok) << text;
        }
        d.HandleCommand(IDOK);
    });
    dlg.DoModal();
}

TEST(TerminalFrontEnd, EndOfInputCancels)
{
    CFormDlg dlg;
    RunOnTerminal(dlg, "1\nBob\n");
    EXPECT_EQ(dlg.GetResult(), static_cast<INT_PTR>(IDCANCEL));
}

TEST(Pictures, RunsMakeExactlyThePixelsOfThePalette)
{
    const DWORD palette[2] = {0x112233, 0xFFEEDD};
    struct Case {
        std::vector<BYTE> runs;
        bool ok;
    };
    const Case cases[] = {
        {{3, 0, 1, 1}, true},
        {{3, 0}, false},            // too few
        {{3, 0, 2, 1}, false},      // too many
        {{0, 0, 4, 1}, false},      // empty run
        {{4, 2}, false},            // colour past the palette
        {{3, 0, 1}, false},         // half a run
    };
    for (const Case& c : cases) {
        std::vector<DWORD> pixels{7};
        EXPECT_EQ(AfxDecodePictureRuns(palette, 2, c.runs.data(), c.runs.size(), 4, pixels), c.ok ? TRUE : FALSE);
        EXPECT_EQ(pixels, c.ok ? std::vector<DWORD>({0x112233, 0x112233, 0x112233, 0xFFEEDD}) : std::vector<DWORD>());
    }
}

}  // namespace
