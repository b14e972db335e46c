#include "framework/ui/terminal_front_end.h"

#include "framework/file.h"
#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
// Indexes of the controls a user can pick by number (fields, boxes, lists), in order.
std::vector<const CDialogControl*> Fields(const CDialog& dialog)
{
    std::vector<const CDialogControl*> fields;
    for (const CDialogControl& c : dialog.GetControls()) {
        if (!c.visible)
            continue;
        switch (c.kind) {
        case ControlKind::Edit:
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
        case ControlKind::ListBox:
        case ControlKind::ComboBox:
        case ControlKind::Spin:
            fields.push_back(&c);
            break;
        default:
            break;
        }
    }
    return fields;
}

// TRUE when some field of the screen can be changed: only then are the fields numbered.
bool HasEditableField(const std::vector<const CDialogControl*>& fields)
{
    for (const CDialogControl* f : fields)
        if (f->enabled && !(f->style & CS_READONLY))
            return true;
    return false;
}

// A button's text as a word: no access-key mark, no trailing "...".
CString PlainName(const char* text)
{
    CString out;
    for (const char* p = text; *p; ++p) {
        if (*p == '&' && p[1])
            ++p;
        out += *p;
    }
    while (!out.IsEmpty() && out[out.GetLength() - 1] == '.')
        out = out.Left(out.GetLength() - 1);
    return out;
}

CString StripAmpersand(const char* text)
{
    CString out;
    for (const char* p = text; *p; ++p) {
        if (*p == '&' && p[1]) {
            ++p;
            if (*p != '&') {
                out += '[';
                out += *p;
                out += ']';
                continue;
            }
        }
        out += *p;
    }
    return out;
}

CString Bar(int lower, int upper, int pos, int width)
{
    int span = upper - lower;
    int filled = span > 0 ? static_cast<int>(static_cast<long long>(pos - lower) * width / span) : 0;
    if (filled < 0)
        filled = 0;
    if (filled > width)
        filled = width;
    return CString('#', filled) + CString('.', width - filled);
}

// The label of a control: the static text just before it in the template.
CString LabelOf(const CDialog& dialog, const CDialogControl& control)
{
    const CDialogControl* prev = nullptr;
    for (const CDialogControl& c : dialog.GetControls()) {
        if (&c == &control)
            break;
        prev = &c;
    }
    if (prev && prev->kind == ControlKind::Static)
        return StripAmpersand(prev->text);
    return CString();
}

BOOL IsLabelFor(const CDialog& dialog, size_t index)
{
    const auto& cs = dialog.GetControls();
    if (index + 1 >= cs.size() || cs[index].kind != ControlKind::Static)
        return FALSE;
    ControlKind next = cs[index + 1].kind;
    return next == ControlKind::Edit || next == ControlKind::ComboBox || next == ControlKind::ListBox || next == ControlKind::Spin;
}

bool IsButton(const CDialogControl& c)
{
    return (c.kind == ControlKind::Button || c.kind == ControlKind::DefaultButton) && c.visible;
}

// The key that presses a button: its access key, or else the first letter of its text that
// no other button answers to ("Close" beside "&Change..." answers to L). Sets *at to the
// position of that letter in the text without ampersands (-1 with an access key or none).
char ButtonKey(const CDialog& dialog, const CDialogControl& button, int* at = nullptr)
{
    if (at)
        *at = -1;
    if (char k = CTerminalFrontEnd::AccessKey(button.text))
        return k;
    const auto& cs = dialog.GetControls();
    auto taken = [&](char key) {
        for (const CDialogControl& c : cs) {
            if (&c == &button || !IsButton(c))
                continue;
            char other = CTerminalFrontEnd::AccessKey(c.text);
            if (!other && &c < &button)
                other = ButtonKey(dialog, c);
            if (other == key)
                return true;
        }
        return false;
    };
    CString plain = StripAmpersand(button.text);
    for (int i = 0; i < plain.GetLength(); ++i) {
        unsigned char ch = static_cast<unsigned char>(plain[i]);
        if (!std::isalnum(ch))
            continue;
        char key = static_cast<char>(std::toupper(ch));
        if (!taken(key)) {
            if (at)
                *at = i;
            return key;
        }
    }
    return 0;
}

// The modal dialog whose button command is running (innermost), and whether the terminal
// was put in raw mode to watch for a cancel key while it runs.
CDialog* g_commandDialog = nullptr;
BOOL g_rawWhileBusy = FALSE;

// Back to line input (a box or dialog opened while a command was watched for Esc).
void LeaveRawWhileBusy(CTerminal& term)
{
    if (g_rawWhileBusy) {
        term.SetRaw(FALSE);
        g_rawWhileBusy = FALSE;
    }
}

// The button Enter presses: the dialog's own answer, else the template's default button,
// else OK; 0 when Enter presses nothing.
UINT EnterButton(CDialog& dialog)
{
    DWORD answer = static_cast<DWORD>(dialog.WindowProc(DM_GETDEFID, 0, 0));
    if (HIWORD(answer) == DC_HASDEFID)
        return LOWORD(answer);
    for (const CDialogControl& c : dialog.GetControls())
        if (c.kind == ControlKind::DefaultButton && c.visible)
            return c.id;
    return dialog.GetControl(IDOK) ? IDOK : 0;
}

// TRUE when the name's extension is one of the filters' (*.ext) patterns.
bool HasFilterExtension(const CString& path, const std::vector<CFileDialog::Filter>& filters)
{
    int slash = path.ReverseFind('/');
    int dot = path.ReverseFind('.');
    if (dot <= slash + 1 || dot + 1 >= path.GetLength())
        return false;
    CString want = "*" + path.Mid(dot);
    want.MakeLower();
    for (const auto& f : filters) {
        CString pattern = f.pattern;
        pattern.MakeLower();
        pattern.TrimLeft();
        pattern.TrimRight();
        for (int start = 0; start <= pattern.GetLength();) {
            int end = pattern.Find(';', start);
            if (end < 0)
                end = pattern.GetLength();
            CString one = pattern.Mid(start, end - start);
            one.TrimLeft();
            one.TrimRight();
            if (one == want)
                return true;
            start = end + 1;
        }
    }
    return false;
}

bool HasProgressBar(const CDialog& dialog)
{
    for (const CDialogControl& c : dialog.GetControls())
        if (c.kind == ControlKind::ProgressBar && c.visible)
            return true;
    return false;
}

CString ExpandHome(const CString& path)
{
    if (path.Left(2) == "~/") {
        CString home = AfxGetHomeFolder();
        return (home == "/" ? CString() : home) + path.Mid(1);
    }
    return path;
}
}

char CTerminalFrontEnd::AccessKey(const char* text)
{
    for (const char* p = text; *p; ++p) {
        if (*p == '&') {
            if (p[1] == '&') {
                ++p;
                continue;
            }
            return static_cast<char>(std::toupper(static_cast<unsigned char>(p[1])));
        }
    }
    return 0;
}

CString CTerminalFrontEnd::WrapText(const char* text, int width)
{
    if (width < 10)
        width = 10;
    const size_t w = static_cast<size_t>(width);
    CString out;
    for (const char* p = text ? text : "";;) {
        const char* end = std::strchr(p, '\n');
        std::string line(p, end ? static_cast<size_t>(end - p) : std::strlen(p));
        size_t indent = line.find_first_not_of(' ');
        std::string pad(indent == std::string::npos || indent > w / 2 ? 0 : indent, ' ');
        while (line.size() > w) {
            size_t cut = line.rfind(' ', w);
            size_t resume = cut + 1;
            if (cut == std::string::npos || cut <= pad.size()) {
                // One word longer than the line: cut it, not inside a character.
                cut = w;
                while (cut > pad.size() + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
                    --cut;
                resume = cut;
            }
            size_t keep = line.find_last_not_of(' ', cut - 1);
            out += CString(line.substr(0, keep == std::string::npos ? 0 : keep + 1)) + "\n";
            size_t next = line.find_first_not_of(' ', resume);
            line = pad + (next == std::string::npos ? std::string() : line.substr(next));
            if (line.size() == pad.size())
                line.clear();
        }
        out += CString(line);
        if (!end)
            break;
        out += "\n";
        p = end + 1;
    }
    return out;
}

CString CTerminalFrontEnd::RenderForm(const CDialog& dialog)
{
    CString out;
    out += "== " + dialog.GetWindowText() + " ==\n";
    auto fields = Fields(dialog);
    // Numbers only where a field can be changed; elsewhere they would invite typing them.
    const bool numbered = HasEditableField(fields);
    const auto& cs = dialog.GetControls();
    CString buttons;
    for (size_t i = 0; i < cs.size(); ++i) {
        const CDialogControl& c = cs[i];
        if (!c.visible)
            continue;
        int number = 0;
        for (size_t f = 0; f < fields.size(); ++f)
            if (fields[f] == &c)
                number = static_cast<int>(f) + 1;
        CString mark;
        if (numbered && number > 0)
            mark.Format("%d) ", number);
        CString off = c.enabled ? CString() : CString(" (off)");
        CString line;
        switch (c.kind) {
        case ControlKind::Static:
            if (!IsLabelFor(dialog, i) && !c.text.IsEmpty())
                line.Format("  %s\n", StripAmpersand(c.text).c_str());
            break;
        case ControlKind::GroupBox:
            line.Format(" -- %s --\n", StripAmpersand(c.text).c_str());
            break;
        case ControlKind::Edit: {
            CString value = (c.style & CS_PASSWORD) ? CString('*', c.text.GetLength()) : c.text;
            line.Format("  %s%s %s%s\n", mark.c_str(), LabelOf(dialog, c).c_str(), value.c_str(), off.c_str());
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            line.Format("  %s[%c] %s%s\n", mark.c_str(), c.checked ? 'x' : ' ', StripAmpersand(c.text).c_str(), off.c_str());
            break;
        case ControlKind::ListBox:
        case ControlKind::ComboBox: {
            CString sel = c.selection >= 0 && c.selection < static_cast<int>(c.items.size()) ? c.items[static_cast<size_t>(c.selection)] : c.text;
            line.Format("  %s%s %s%s\n", mark.c_str(), LabelOf(dialog, c).c_str(), sel.c_str(), off.c_str());
            break;
        }
        case ControlKind::Spin:
            line.Format("  %s%s %d%s\n", mark.c_str(), LabelOf(dialog, c).c_str(), c.spinPos, off.c_str());
            break;
        case ControlKind::ProgressBar: {
            PROGRESSBARSTATE st;
            if (c.hwnd && AfxGetProgressBarState(c.hwnd, &st))
                line.Format("  [%s]\n", Bar(st.nLower, st.nUpper, st.nPos, 40).c_str());
            break;
        }
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            CString b = StripAmpersand(c.text);
            int at = -1;
            ButtonKey(dialog, c, &at);
            if (at >= 0)
                b = b.Left(at) + "[" + b.Mid(at, 1) + "]" + b.Mid(at + 1);
            if (!c.enabled)
                b = "(" + StripAmpersand(c.text) + ")";
            if (!buttons.IsEmpty())
                buttons += "  ";
            buttons += b;
            break;
        }
        case ControlKind::Picture:
            break;
        }
        out += line;
    }
    if (!buttons.IsEmpty())
        out += "  " + buttons + "\n";
    return out;
}

std::vector<CString> CTerminalFrontEnd::ParseDroppedPaths(const char* text)
{
    std::vector<CString> paths;
    CString cur;
    bool any = false;
    char quote = 0;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && quote == '"' && p[1])
                cur += *++p;
            else
                cur += c;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            any = true;
        } else if (c == '\\' && p[1]) {
            cur += *++p;
            any = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (any)
                paths.push_back(cur);
            cur.Empty();
            any = false;
        } else {
            cur += c;
            any = true;
        }
    }
    if (any)
        paths.push_back(cur);
    // Desktop terminals paste dropped files as file:// URLs with %-escapes.
    for (CString& path : paths) {
        if (path.Left(7) == "file://") {
            CString rest = path.Mid(7);
            int slash = rest.Find('/');
            rest = slash < 0 ? CString() : rest.Mid(slash);
            CString decoded;
            for (int i = 0; i < rest.GetLength(); ++i) {
                if (rest[i] == '%' && i + 2 < rest.GetLength() && std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
                    decoded += static_cast<char>(std::strtol(rest.Mid(i + 1, 2).c_str(), nullptr, 16));
                    i += 2;
                } else {
                    decoded += rest[i];
                }
            }
            path = decoded;
        }
        path = ExpandHome(path);
    }
    return paths;
}

void CTerminalFrontEnd::Prompt(const CString& text)
{
    m_term.Write(text);
    m_openPrompt = text;
}

void CTerminalFrontEnd::EndOpenLine()
{
    if (m_progressLineOpen || !m_openPrompt.IsEmpty())
        m_term.Write("\n");
    m_progressLineOpen = FALSE;
    m_openPrompt.Empty();
}

BOOL CTerminalFrontEnd::WaitForLine(CDialog* dialog, CString& line, BOOL echo)
{
    // Timers and messages of the dialog keep running while the user types. What they write
    // (a handed-over file's progress) goes below the prompt, which is then shown again.
    const CString prompt = m_openPrompt;
    while (!m_term.WaitForInput(50)) {
        if (dialog) {
            dialog->PumpWaitingMessages();
            if (dialog->IsEnded()) {
                m_openPrompt.Empty();
                return FALSE;
            }
        }
        if (!prompt.IsEmpty() && m_openPrompt.IsEmpty() && !m_progressLineOpen)
            Prompt(prompt);
    }
    m_openPrompt.Empty();
    return m_term.ReadLine(line, echo);
}

BOOL CTerminalFrontEnd::ReadSecret(CDialog* dialog, CString& line, BOOL& cancel)
{
    cancel = FALSE;
    char typed[4 * 64 + 1];
    size_t length = 0;
    BOOL ended = FALSE;
    m_term.SetRaw(TRUE);
    for (;;) {
        if (!m_term.WaitForInput(50)) {
            if (dialog) {
                dialog->PumpWaitingMessages();
                if (dialog->IsEnded()) {
                    ended = TRUE;
                    break;
                }
            }
            continue;
        }
        int key = m_term.ReadKey();
        if (key < 0) {
            ended = TRUE;
            break;
        }
        if (key == '\r' || key == '\n')
            break;
        if (key == 27 || key == 3) {   // Esc, Ctrl-C
            cancel = TRUE;
            break;
        }
        if (key == 127 || key == 8) {
            // One character back (all the bytes of a UTF-8 one).
            while (length > 0 && (static_cast<unsigned char>(typed[length - 1]) & 0xC0) == 0x80)
                --length;
            if (length > 0) {
                --length;
                m_term.Write("\b \b");
            }
            continue;
        }
        if (key < 0x20 || length + 1 >= sizeof typed)
            continue;
        typed[length++] = static_cast<char>(key);
        if ((key & 0xC0) != 0x80)
            m_term.Write("*");
    }
    m_term.SetRaw(FALSE);
    m_term.Write("\n");
    line.Wipe();
    line = CString(typed, static_cast<int>(length));
    volatile char* wipe = typed;
    for (size_t i = 0; i < sizeof typed; ++i)
        wipe[i] = 0;
    return ended ? FALSE : TRUE;
}

BOOL CTerminalFrontEnd::EditField(CDialog& dialog, const CDialogControl& control)
{
    UINT id = control.id;
    CString label = LabelOf(dialog, control);
    switch (control.kind) {
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
        dialog.HandleCommand(id);
        return TRUE;
    case ControlKind::ListBox:
    case ControlKind::ComboBox: {
        for (size_t i = 0; i < control.items.size(); ++i) {
            CString item;
            item.Format("     %zu. %s\n", i + 1, control.items[i].c_str());
            m_term.Write(item);
        }
        Prompt("   choose: ");
        CString line;
        if (!WaitForLine(&dialog, line))
            return FALSE;
        int n = std::atoi(line.c_str());
        if (n >= 1 && n <= static_cast<int>(control.items.size()))
            dialog.HandleSelChange(id, n - 1);
        return TRUE;
    }
    case ControlKind::Spin: {
        Prompt("   value: ");
        CString line;
        if (!WaitForLine(&dialog, line))
            return FALSE;
        dialog.SetSpinPos(id, std::atoi(line.c_str()));
        dialog.HandleCommand(id);
        return TRUE;
    }
    case ControlKind::Edit:
        break;
    default:
        return TRUE;
    }
    // Keys of a password or a timed phrase are taken one by one, unechoed from the first:
    // the terminal is switched before the prompt shows.
    const bool secret = (control.style & CS_PASSWORD) && m_term.IsInteractive();
    if (secret || (control.style & CS_WANTKEYS))
        m_term.SetRaw(TRUE);
    m_term.Write(CString("   ") + label + " ");
    if (control.style & CS_WANTKEYS) {
        // Each key goes to the dialog with its time, as it is pressed. A field typed again
        // starts empty: what is typed replaces it.
        CString text;
        if (!control.text.IsEmpty())
            dialog.HandleEditChange(id, "");
        for (;;) {
            int key = m_term.ReadKey();
            if (key < 0 || key == '\r' || key == '\n')
                break;
            if (key == 27 || key == 3) {   // Esc, Ctrl-C
                m_term.SetRaw(FALSE);
                m_term.Write("\n");
                dialog.HandleCommand(IDCANCEL);
                return TRUE;
            }
            dialog.HandleKey(id, static_cast<UINT>(key), GetTickCount());
            if (key == 127 || key == 8) {
                if (!text.IsEmpty())
                    text = text.Left(text.GetLength() - 1);
            } else if (key >= 0x20) {
                text += static_cast<char>(key);
            }
            dialog.HandleEditChange(id, text);
            if (key == 127 || key == 8)
                m_term.Write("\b \b");
            else if (key >= 0x20)
                m_term.Write((control.style & CS_PASSWORD) ? "*" : CString(static_cast<char>(key)).c_str());
            if (dialog.IsEnded())
                break;
        }
        m_term.SetRaw(FALSE);
        m_term.Write("\n");
        return TRUE;
    }
    CString line;
    if (secret) {
        // Unechoed from the first key: a line read would have been shown while typed.
        BOOL cancel = FALSE;
        if (!ReadSecret(&dialog, line, cancel)) {
            line.Wipe();
            return FALSE;
        }
        if (cancel)
            dialog.HandleCommand(IDCANCEL);
        else
            dialog.HandleEditChange(id, line);
        line.Wipe();
        return TRUE;
    }
    BOOL echo = (control.style & CS_PASSWORD) ? FALSE : TRUE;
    if (!WaitForLine(&dialog, line, echo))
        return FALSE;
    dialog.HandleEditChange(id, line);
    line.Wipe();
    return TRUE;
}

BOOL CTerminalFrontEnd::HandleInput(CDialog& dialog, const CString& input)
{
    // A button's command. A long one (a dialog with a progress bar working on this thread)
    // refreshes the dialog as it goes, and each refresh looks for Esc or Ctrl-C (Refresh).
    auto RunCommand = [this](CDialog& target, UINT id) {
        struct Running {
            explicit Running(CDialog* d) : outer(g_commandDialog) { g_commandDialog = d; }
            ~Running() { g_commandDialog = outer; }
            CDialog* outer;
        } running(&target);
        target.HandleCommand(id);
        LeaveRawWhileBusy(m_term);
        if (m_progressLineOpen) {
            m_term.Write("\n");
            m_progressLineOpen = FALSE;
        }
    };
    CString line = input;
    line.TrimLeft();
    line.TrimRight();
    if (line.IsEmpty()) {
        UINT id = EnterButton(dialog);
        const CDialogControl* button = id ? dialog.GetControl(id) : nullptr;
        if (!button) {
            m_redraw = FALSE;   // Enter alone does nothing here: the prompt again
            return TRUE;
        }
        if (!button->enabled && IsButton(*button))
            SayUnavailable(dialog, *button);
        else
            RunCommand(dialog, id);
        return TRUE;
    }
    if (line == "\x1b") {
        dialog.HandleCommand(IDCANCEL);
        return TRUE;
    }
    if (line == "?")
        return TRUE;
    char first = line[0];
    if (dialog.AcceptsFiles() && (first == '/' || first == '~' || first == '\'' || first == '"' || line.Left(7) == "file://")) {
        CStringArray paths;
        for (const CString& p : ParseDroppedPaths(line))
            paths.Add(p);
        dialog.HandleDropFiles(paths);
        return TRUE;
    }
    if (std::isdigit(static_cast<unsigned char>(first))) {
        auto fields = Fields(dialog);
        if (!HasEditableField(fields)) {
            m_term.Write("No field can be changed on this screen.\n");
            return TRUE;
        }
        int n = std::atoi(line.c_str());
        if (n >= 1 && n <= static_cast<int>(fields.size()) && fields[static_cast<size_t>(n - 1)]->enabled) {
            if (fields[static_cast<size_t>(n - 1)]->style & CS_READONLY) {
                m_term.Write("That field cannot be changed.\n");
                return TRUE;
            }
            return EditField(dialog, *fields[static_cast<size_t>(n - 1)]);
        }
        m_term.Write("No such field.\n");
        return TRUE;
    }
    if (line.GetLength() == 1) {
        char key = static_cast<char>(std::toupper(static_cast<unsigned char>(first)));
        for (const CDialogControl& c : dialog.GetControls()) {
            if ((c.kind != ControlKind::Button && c.kind != ControlKind::DefaultButton) || !c.visible)
                continue;
            char k = ButtonKey(dialog, c);
            if (k == key) {
                if (!c.enabled)
                    SayUnavailable(dialog, c);
                else
                    RunCommand(dialog, c.id);
                return TRUE;
            }
        }
        if (key == 'Q') {   // no button answers to it: q closes, as Esc does
            dialog.HandleCommand(IDCANCEL);
            return TRUE;
        }
    }
    m_term.Write(HasEditableField(Fields(dialog))
                     ? "Type a letter in [ ] for a command, a field number to change it, Enter, or q to close.\n"
                     : "Type a letter in [ ] for a command, or q to close.\n");
    return TRUE;
}

void CTerminalFrontEnd::SayUnavailable(CDialog& dialog, const CDialogControl& button)
{
    CString reason;
    if (dialog.WindowProc(WM_QUERYDISABLEDREASON, button.id, reinterpret_cast<LPARAM>(&reason)) && !reason.IsEmpty())
        m_term.Write(WrapText(PlainName(button.text) + " " + reason + ".", m_term.Columns() - 1) + "\n");
    else
        m_term.Write("That command is not available now.\n");
}

void CTerminalFrontEnd::RunModal(CDialog& dialog)
{
    LeaveRawWhileBusy(m_term);
    EndOpenLine();
    m_redraw = TRUE;
    while (!dialog.IsEnded()) {
        dialog.PumpWaitingMessages();
        if (dialog.IsEnded())
            break;
        if (m_redraw) {
            m_term.Write("\n");
            m_term.Write(RenderForm(dialog));
        }
        m_redraw = TRUE;
        Prompt("> ");
        CString line;
        if (!WaitForLine(&dialog, line)) {
            if (!dialog.IsEnded())
                dialog.EndDialog(IDCANCEL);
            break;
        }
        HandleInput(dialog, line);
    }
}

void CTerminalFrontEnd::DrawProgress(CDialog& dialog)
{
    CString stage;
    int lower = 0, upper = 100, pos = 0;
    for (const CDialogControl& c : dialog.GetControls()) {
        if (c.kind == ControlKind::Static && c.visible && !c.text.IsEmpty())
            stage = c.text;
        PROGRESSBARSTATE st;
        if (c.kind == ControlKind::ProgressBar && c.hwnd && AfxGetProgressBarState(c.hwnd, &st)) {
            lower = st.nLower;
            upper = st.nUpper;
            pos = st.nPos;
        }
    }
    int width = m_term.Columns() - 1;
    CString head = dialog.GetWindowText();
    if (!head.IsEmpty())
        head += ": ";
    head += stage;
    int barWidth = 20;
    int room = width - barWidth - 3;
    if (room < 10)
        room = 10;
    if (head.GetLength() > room)
        head = head.Left(room - 3) + "...";
    CString line;
    line.Format("\r%-*s [%s]", room, head.c_str(), Bar(lower, upper, pos, barWidth).c_str());
    if (m_term.IsInteractive() || AfxIsTerminal(1)) {
        // Progress comes in many small steps; only a change is drawn.
        if (m_progressLineOpen && line == m_lastProgressLine)
            return;
        if (!m_openPrompt.IsEmpty()) {
            // Below a waiting prompt, never over it.
            m_term.Write("\n");
            m_openPrompt.Empty();
        }
        m_term.Write(line);
        m_progressLineOpen = TRUE;
        m_lastProgressLine = line;
    }
}

void CTerminalFrontEnd::ShowModeless(CDialog& dialog)
{
    m_modeless = &dialog;
    DrawProgress(dialog);
}

void CTerminalFrontEnd::Refresh(CDialog& dialog)
{
    if (!dialog.IsModal()) {
        DrawProgress(dialog);
        return;
    }
    if (&dialog != g_commandDialog || !HasProgressBar(dialog))
        return;
    // A modal dialog's command is working with a progress bar: show it, and read the keys
    // typed meanwhile. Esc or Ctrl-C press its Cancel, other keys are dropped. Raw mode
    // makes the keys arrive without Enter and keeps Ctrl-C from ending the program.
    if (!g_rawWhileBusy && m_term.IsInteractive()) {
        m_term.SetRaw(TRUE);
        g_rawWhileBusy = TRUE;
    }
    DrawProgress(dialog);
    while (m_term.WaitForInput(0)) {
        int key = m_term.ReadKey();
        if (key < 0)
            break;
        if (key == 27 || key == 3) {
            dialog.HandleCommand(IDCANCEL);
            break;
        }
    }
}

void CTerminalFrontEnd::CloseModeless(CDialog& dialog)
{
    if (m_modeless == &dialog)
        m_modeless = nullptr;
    if (m_progressLineOpen) {
        // The last steps (the bar set to its end as the work ends) may still be on their
        // way: the line is drawn once more with them.
        dialog.UpdateWindow();
        m_term.Write("\n");
        m_progressLineOpen = FALSE;
    }
}

void CTerminalFrontEnd::ShowStatus(const char* text)
{
    EndOpenLine();
    m_term.Write(text ? text : "");
    m_term.Write("\n");
}

int CTerminalFrontEnd::MessageBox(const char* text, const char* caption, UINT type)
{
    LeaveRawWhileBusy(m_term);
    EndOpenLine();
    m_term.Write("\n");
    if (caption && *caption)
        m_term.Write((CString("[ ") + caption + " ]\n").c_str());
    m_term.Write(WrapText(text, m_term.Columns() - 1));
    m_term.Write("\n");
    int buttons[3];
    int n = AfxMessageBoxButtons(type, buttons);
    int def = AfxMessageBoxDefault(type);
    if (n == 1) {
        Prompt("(press Enter) ");
        CString line;
        WaitForLine(nullptr, line);
        return buttons[0];
    }
    auto name = [](int id) -> const char* {
        switch (id) {
        case IDOK: return "[O]K";
        case IDCANCEL: return "[C]ancel";
        case IDABORT: return "[A]bort";
        case IDRETRY: return "[R]etry";
        case IDIGNORE: return "[I]gnore";
        case IDYES: return "[Y]es";
        case IDNO: return "[N]o";
        default: return "?";
        }
    };
    for (;;) {
        CString prompt;
        for (int i = 0; i < n; ++i) {
            prompt += name(buttons[i]);
            prompt += buttons[i] == def ? "* " : " ";
        }
        Prompt(prompt + "> ");
        CString line;
        if (!WaitForLine(nullptr, line))
            return AfxMessageBoxSafeAnswer(type);
        line.TrimLeft();
        line.TrimRight();
        if (line.IsEmpty())
            return def;
        if (line == "\x1b")
            return AfxMessageBoxSafeAnswer(type);
        char k = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        for (int i = 0; i < n; ++i)
            if (name(buttons[i])[1] == k)
                return buttons[i];
    }
}

INT_PTR CTerminalFrontEnd::RunFileDialog(CFileDialog& dialog)
{
    LeaveRawWhileBusy(m_term);
    EndOpenLine();
    const auto& filters = dialog.GetFilters();
    m_term.Write(dialog.IsOpen() ? "\nOpen file\n" : "\nSave file as\n");
    for (size_t i = 0; i < filters.size(); ++i) {
        CString row;
        row.Format("  %zu. %s\n", i + 1, filters[i].description.c_str());
        m_term.Write(row);
    }
    for (;;) {
        Prompt("File name (Enter cancels): ");
        CString line;
        if (!WaitForLine(nullptr, line))
            return IDCANCEL;
        line.TrimLeft();
        line.TrimRight();
        if (line.IsEmpty())
            return IDCANCEL;
        auto parsed = ParseDroppedPaths(line);
        CString path = parsed.empty() ? line : parsed.front();
        CString error = dialog.Validate(path);
        if (!error.IsEmpty()) {
            MessageBox(error, dialog.IsOpen() ? "Open" : "Save As", MB_OK | MB_ICONEXCLAMATION);
            continue;
        }
        CFileStatus st;
        if (!dialog.IsOpen() && (dialog.GetFlags() & OFN_OVERWRITEPROMPT) && CFile::GetStatus(path, st)) {
            // Replacing is never the default: Enter keeps what is there.
            if (MessageBox(path + " already exists.\nDo you want to replace it?", "Save As",
                           MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
                continue;
        }
        DWORD index = 0;
        if (filters.size() > 1) {
            // A name without a known extension takes the chosen type's, the first by default.
            const bool fromName = HasFilterExtension(path, filters);
            CString prompt;
            prompt.Format(fromName ? "File type (1-%zu, Enter: from the name): " : "File type (1-%zu, Enter: 1): ", filters.size());
            Prompt(prompt);
            CString t;
            if (!WaitForLine(nullptr, t))
                return IDCANCEL;
            int n = std::atoi(t.c_str());
            if (n >= 1 && n <= static_cast<int>(filters.size()))
                index = static_cast<DWORD>(n);
            else if (!fromName)
                index = 1;
        } else if (filters.size() == 1) {
            index = 1;
        }
        dialog.SetResult(path, index);
        return IDOK;
    }
}

INT_PTR CTerminalFrontEnd::RunPropertySheet(CPropertySheet& sheet)
{
    LeaveRawWhileBusy(m_term);
    for (;;) {
        CPropertyPage* page = sheet.GetPage(sheet.GetActiveIndex());
        m_term.Write("\n== " + sheet.GetCaption() + " ==\n  tabs:");
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            CString tab;
            tab.Format(" %c%d) %s%c", i == sheet.GetActiveIndex() ? '<' : ' ', i + 1, sheet.GetPage(i)->GetWindowText().c_str(),
                       i == sheet.GetActiveIndex() ? '>' : ' ');
            m_term.Write(tab);
        }
        m_term.Write("\n");
        m_term.Write(RenderForm(*page));
        m_term.Write("  [O]K  [C]ancel  tab: t N\n");
        Prompt("> ");
        CString line;
        if (!WaitForLine(nullptr, line))
            return IDCANCEL;
        line.TrimLeft();
        line.TrimRight();
        if (line.IsEmpty() || line.CompareNoCase("o") == 0) {
            if (sheet.ApplyAll())
                return IDOK;
            continue;
        }
        if (line.CompareNoCase("c") == 0 || line.CompareNoCase("q") == 0 || line == "\x1b")
            return IDCANCEL;
        if ((line[0] == 't' || line[0] == 'T') && line.GetLength() > 1) {
            sheet.SetActivePage(std::atoi(line.Mid(1).c_str()) - 1);
            continue;
        }
        HandleInput(*page, line);
    }
}
