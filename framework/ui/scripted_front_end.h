// The scripted front end, for tests: every message box, dialog and stage text is recorded;
// answers and user actions come from queues the test fills beforehand.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/ui/front_end.h"

#include <deque>
#include <functional>
#include <map>
#include <vector>

class FRAMEWORK_API CScriptedFrontEnd : public CFrontEnd {
public:
    struct Box {
        CString caption;
        CString text;
        UINT type;
        int answer;
    };
    using DialogScript = std::function<void(CDialog&)>;
    using FileScript = std::function<INT_PTR(CFileDialog&)>;
    using SheetScript = std::function<INT_PTR(CPropertySheet&)>;

    // Installs itself as the front end for its lifetime.
    CScriptedFrontEnd();
    ~CScriptedFrontEnd() override;

    // The next message box gets this answer (unanswered boxes take their default button).
    void AnswerBox(int answer) { m_boxAnswers.push_back(answer); }
    // The next modal dialog of this template runs the script (the dialog's OnInitDialog has
    // run); a dialog still open afterwards runs its waiting messages and is cancelled.
    void OnDialog(UINT templateId, DialogScript script) { m_dialogScripts[templateId].push_back(std::move(script)); }
    // The next file dialog: choose this path with this 1-based filter index, or cancel.
    void AnswerFile(const char* path, DWORD filterIndex = 1);
    void CancelFile();
    void OnFileDialog(FileScript script) { m_fileScripts.push_back(std::move(script)); }
    void OnPropertySheet(SheetScript script) { m_sheetScripts.push_back(std::move(script)); }

    // Runs the dialog's waiting messages, waiting up to `ms` for timers it has started.
    static void Pump(CDialog& dialog, DWORD ms);

    std::vector<Box> boxes;
    std::vector<UINT> dialogs;           // template ids of modal dialogs, in order
    std::vector<CString> stageTexts;     // each new text of a static control of a modeless dialog
    std::vector<CString> fileDialogFilters;

    void RunModal(CDialog& dialog) override;
    void ShowModeless(CDialog& dialog) override;
    void Refresh(CDialog& dialog) override;
    void CloseModeless(CDialog& dialog) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    INT_PTR RunFileDialog(CFileDialog& dialog) override;
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override;

private:
    CFrontEnd* m_previous;
    std::deque<int> m_boxAnswers;
    std::map<UINT, std::deque<DialogScript>> m_dialogScripts;
    std::deque<FileScript> m_fileScripts;
    std::deque<SheetScript> m_sheetScripts;
    std::map<std::pair<const CDialog*, UINT>, CString> m_lastTexts;
};
