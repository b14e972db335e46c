// The terminal front end's screen: what Enter, q and an unavailable command do, when fields
// are numbered, and long texts wrapped to the terminal's width.
#include "framework/ui/dialog.h"
#include "framework/ui/front_end.h"
#include "framework/ui/terminal_front_end.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr UINT kScreenId = 9101;
constexpr UINT kPath = 200, kGo = 201;

const DialogTemplate kScreen = {kScreenId, "Screen",
                                {
                                    {IDC_STATIC, ControlKind::Static, "Path:"},
                                    {kPath, ControlKind::Edit, "/fixed", CS_READONLY},
                                    {kGo, ControlKind::Button, "&Go...", CS_DISABLED},
                                    {IDOK, ControlKind::DefaultButton, "OK"},
                                    {IDCANCEL, ControlKind::Button, "Cancel"},
                                }};

// A dialog that may say that Enter presses nothing and why Go is off.
class CScreenDlg : public CDialog {
public:
    explicit CScreenDlg(bool answers) : CDialog(kScreenId), m_answers(answers) { AfxRegisterDialogTemplate(&kScreen); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (m_answers && message == DM_GETDEFID)
            return static_cast<LRESULT>(static_cast<DWORD>(DC_HASDEFID) << 16);
        if (m_answers && message == WM_QUERYDISABLEDREASON && wParam == kGo) {
            *reinterpret_cast<CString*>(lParam) = "needs a key: make one first";
            return 1;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    bool m_answers;
};

// Runs the dialog on a terminal reading the input from a pipe; what it wrote.
std::string RunScreen(CDialog& dialog, const std::string& input)
{
    int in[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(in[1]);
    FILE* out = std::tmpfile();
    {
        CTerminal terminal(in[0], ::fileno(out));
        CTerminalFrontEnd frontEnd(terminal);
        CFrontEnd* previous = AfxSetFrontEnd(&frontEnd);
        dialog.DoModal();
        AfxSetFrontEnd(previous);
    }
    ::close(in[0]);
    std::string shown;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;)
        shown += static_cast<char>(c);
    std::fclose(out);
    return shown;
}

TEST(TerminalScreen, EnterQAndUnavailableCommands)
{
    struct Case {
        bool answers;          // the dialog tells Enter's button and Go's reason
        const char* input;
        INT_PTR result;
        const char* shown;     // on the screen
        const char* notShown;
    } cases[] = {
        // Enter alone does nothing: the prompt again, the form not drawn again.
        {true, "\n\nq\n", IDCANCEL, "== Screen ==\n  Path: /fixed\n  ([G]o...)  [O]K  [C]ancel\n> > > ", "> \n=="},
        {false, "\n", IDOK, "", "> > "},
        {true, "g\nq\n", IDCANCEL, "Go needs a key: make one first.\n", "not available"},
        {false, "g\nq\n", IDCANCEL, "That command is not available now.\n", "needs"},
        // Numbers only where a field can be changed.
        {false, "1\nc\n", IDCANCEL, "No field can be changed on this screen.\n", "1)"},
        {false, "x\nq\n", IDCANCEL, "Type a letter in [ ] for a command, or q to close.\n", "field number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        CScreenDlg dialog(c.answers);
        std::string shown = RunScreen(dialog, c.input);
        EXPECT_EQ(dialog.GetResult(), c.result);
        EXPECT_NE(shown.find(c.shown), std::string::npos) << shown;
        EXPECT_EQ(shown.find(c.notShown), std::string::npos) << shown;
    }
}

TEST(TerminalScreen, TextsWrapToTheWidth)
{
    struct Case {
        const char* text;
        int width;
        const char* wrapped;
    } cases[] = {
        {"short line", 20, "short line"},
        {"one two three four five", 10, "one two\nthree four\nfive"},
        {"kept\n\nbreaks", 10, "kept\n\nbreaks"},
        {"  indented text goes on", 12, "  indented\n  text goes\n  on"},
        {"abcdefghijklmnop end", 10, "abcdefghij\nklmnop end"},   // a word longer than a line is cut
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9 x", 11, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\n\xC3\xA9 x"},   // not inside a character
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTerminalFrontEnd::WrapText(c.text, c.width), c.wrapped) << c.text;
}

}  // namespace
