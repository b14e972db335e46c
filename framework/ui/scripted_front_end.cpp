#include "framework/ui/scripted_front_end.h"

#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"

CScriptedFrontEnd::CScriptedFrontEnd() : m_previous(AfxSetFrontEnd(this)) {}

CScriptedFrontEnd::~CScriptedFrontEnd() { AfxSetFrontEnd(m_previous); }

void CScriptedFrontEnd::AnswerFile(const char* path, DWORD filterIndex)
{
    CString p(path);
    m_fileScripts.push_back([p, filterIndex](CFileDialog& d) -> INT_PTR {
        d.SetResult(p, filterIndex);
        return IDOK;
    });
}

void CScriptedFrontEnd::CancelFile()
{
    m_fileScripts.push_back([](CFileDialog&) -> INT_PTR { return IDCANCEL; });
}

void CScriptedFrontEnd::Pump(CDialog& dialog, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        dialog.PumpWaitingMessages();
        if (dialog.IsEnded() || !dialog.HasTimers())
            return;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return;
        AfxWaitForMessage(ms - elapsed);
    }
}

void CScriptedFrontEnd::RunModal(CDialog& dialog)
{
    dialogs.push_back(dialog.GetTemplateId());
    auto it = m_dialogScripts.find(dialog.GetTemplateId());
    if (it != m_dialogScripts.end() && !it->second.empty()) {
        DialogScript script = std::move(it->second.front());
        it->second.pop_front();
        script(dialog);
    }
    if (!dialog.IsEnded())
        dialog.PumpWaitingMessages();
}

void CScriptedFrontEnd::ShowModeless(CDialog& dialog) { Refresh(dialog); }

void CScriptedFrontEnd::Refresh(CDialog& dialog)
{
    if (dialog.IsModal())
        return;
    for (const CDialogControl& c : dialog.GetControls()) {
        if (c.kind != ControlKind::Static)
            continue;
        CString& last = m_lastTexts[{&dialog, c.id}];
        if (c.text != last) {
            last = c.text;
            if (!c.text.IsEmpty())
                stageTexts.push_back(c.text);
        }
    }
}

void CScriptedFrontEnd::CloseModeless(CDialog& dialog)
{
    for (auto it = m_lastTexts.begin(); it != m_lastTexts.end();)
        it = it->first.first == &dialog ? m_lastTexts.erase(it) : std::next(it);
}

int CScriptedFrontEnd::MessageBox(const char* text, const char* caption, UINT type)
{
    int answer = AfxMessageBoxDefault(type);
    if (!m_boxAnswers.empty()) {
        answer = m_boxAnswers.front();
        m_boxAnswers.pop_front();
    }
    boxes.push_back(Box{CString(caption), CString(text), type, answer});
    return answer;
}

INT_PTR CScriptedFrontEnd::RunFileDialog(CFileDialog& dialog)
{
    CString filters;
    for (const auto& f : dialog.GetFilters())
        filters += f.description + "|" + f.pattern + "|";
    fileDialogFilters.push_back(filters);
    if (m_fileScripts.empty())
        return IDCANCEL;
    FileScript script = std::move(m_fileScripts.front());
    m_fileScripts.pop_front();
    return script(dialog);
}

INT_PTR CScriptedFrontEnd::RunPropertySheet(CPropertySheet& sheet)
{
    if (m_sheetScripts.empty())
        return IDCANCEL;
    SheetScript script = std::move(m_sheetScripts.front());
    m_sheetScripts.pop_front();
    return script(sheet);
}
