#include "framework/ui/terminal_front_end.h"

#include "framework/file.h"
#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"

#include <cctype>
#include <cstdlib>

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

CString CTerminalFrontEnd::RenderForm(const CDialog& dialog)
{
    CString out;
    out += "== " + dialog.GetWindowText() + " ==\n";
    auto fields = Fields(dialog);
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
            line.Format("  %d) %s %s%s\n", number, LabelOf(dialog, c).c_str(), value.c_str(), off.c_str());
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            line.Format("  %d) [%c] %s%s\n", number, c.checked ? 'x' : ' ', StripAmpersand(c.text).c_str(), off.c_str());
            break;
        case ControlKind::ListBox:
        case ControlKind::ComboBox: {
            CString sel = c.selection >= 0 && c.selection < static_cast<int>(c.items.size()) ? c.items[static_cast<size_t>(c.selection)] : c.text;
            line.Format("  %d) %s %s%s\n", number, LabelOf(dialog, c).c_str(), sel.c_str(), off.c_str());
            break;
        }
        case ControlKind::Spin:
            line.Format("  %d) %s %d%s\n", number, LabelOf(dialog, c).c_str(), c.spinPos, off.c_str());
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

BOOL CTerminalFrontEnd::WaitForLine(CDialog* dialog, CString& line, BOOL echo)
{
    // Timers and messages of the dialog keep running while the user types.
    while (!m_term.WaitForInput(50)) {
        if (dialog) {
            dialog->PumpWaitingMessages();
            if (dialog->IsEnded())
                return FALSE;
        }
    }
    return m_term.ReadLine(line, echo);
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
        m_term.Write("   choose: ");
        CString line;
        if (!WaitForLine(&dialog, line))
            return FALSE;
        int n = std::atoi(line.c_str());
        if (n >= 1 && n <= static_cast<int>(control.items.size()))
            dialog.HandleSelChange(id, n - 1);
        return TRUE;
    }
    case ControlKind::Spin: {
        m_term.Write("   value: ");
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
    m_term.Write(CString("   ") + label + " ");
    if (control.style & CS_WANTKEYS) {
        // Each key goes to the dialog with its time, as it is pressed.
        CString text = control.text;
        m_term.SetRaw(TRUE);
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
            m_term.Write((control.style & CS_PASSWORD) ? "*" : CString(static_cast<char>(key)).c_str());
            if (dialog.IsEnded())
                break;
        }
        m_term.SetRaw(FALSE);
        m_term.Write("\n");
        return TRUE;
    }
    CString line;
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
        for (const CDialogControl& c : dialog.GetControls())
            if (c.kind == ControlKind::DefaultButton && c.visible) {
                RunCommand(dialog, c.id);
                return TRUE;
            }
        if (dialog.GetControl(IDOK))
            RunCommand(dialog, IDOK);
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
                    m_term.Write("That command is not available now.\n");
                else
                    RunCommand(dialog, c.id);
                return TRUE;
            }
        }
    }
    m_term.Write("Type a letter in [ ] for a command, a field number to change it, or Enter.\n");
    return TRUE;
}

void CTerminalFrontEnd::RunModal(CDialog& dialog)
{
    LeaveRawWhileBusy(m_term);
    if (m_progressLineOpen) {
        m_term.Write("\n");
        m_progressLineOpen = FALSE;
    }
    while (!dialog.IsEnded()) {
        dialog.PumpWaitingMessages();
        if (dialog.IsEnded())
            break;
        m_term.Write("\n");
        m_term.Write(RenderForm(dialog));
        m_term.Write("> ");
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
        m_term.Write("\n");
        m_progressLineOpen = FALSE;
    }
}

void CTerminalFrontEnd::ShowStatus(const char* text)
{
    if (m_progressLineOpen) {
        m_term.Write("\n");
        m_progressLineOpen = FALSE;
    }
    m_term.Write(text ? text : "");
    m_term.Write("\n");
}

int CTerminalFrontEnd::MessageBox(const char* text, const char* caption, UINT type)
{
    LeaveRawWhileBusy(m_term);
    if (m_progressLineOpen) {
        m_term.Write("\n");
        m_progressLineOpen = FALSE;
    }
    m_term.Write("\n");
    if (caption && *caption)
        m_term.Write((CString("[ ") + caption + " ]\n").c_str());
    m_term.Write(text);
    m_term.Write("\n");
    int buttons[3];
    int n = AfxMessageBoxButtons(type, buttons);
    int def = AfxMessageBoxDefault(type);
    if (n == 1) {
        m_term.Write("(press Enter) ");
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
        m_term.Write(prompt + "> ");
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
    if (m_progressLineOpen) {
        m_term.Write("\n");
        m_progressLineOpen = FALSE;
    }
    const auto& filters = dialog.GetFilters();
    m_term.Write(dialog.IsOpen() ? "\nOpen file\n" : "\nSave file as\n");
    for (size_t i = 0; i < filters.size(); ++i) {
        CString row;
        row.Format("  %zu. %s\n", i + 1, filters[i].description.c_str());
        m_term.Write(row);
    }
    for (;;) {
        m_term.Write("File name (Enter cancels): ");
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
            if (MessageBox(path + " already exists.\nDo you want to replace it?", "Save As", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
                continue;
        }
        DWORD index = 0;
        if (filters.size() > 1) {
            CString prompt;
            prompt.Format("File type (1-%zu, Enter: from the name): ", filters.size());
            m_term.Write(prompt);
            CString t;
            if (!WaitForLine(nullptr, t))
                return IDCANCEL;
            int n = std::atoi(t.c_str());
            if (n >= 1 && n <= static_cast<int>(filters.size()))
                index = static_cast<DWORD>(n);
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
        m_term.Write("  [O]K  [C]ancel  tab: t N\n> ");
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
        if (line.CompareNoCase("c") == 0 || line == "\x1b")
            return IDCANCEL;
        if ((line[0] == 't' || line[0] == 'T') && line.GetLength() > 1) {
            sheet.SetActivePage(std::atoi(line.Mid(1).c_str()) - 1);
            continue;
        }
        HandleInput(*page, line);
    }
}
