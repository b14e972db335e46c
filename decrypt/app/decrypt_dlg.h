// The main dialog, its commands and the About box.
#pragma once

#include "decrypt/core/key_info.h"
#include "framework/instance_channel.h"
#include "framework/ui/dialog.h"

// Controls of the main dialog.
constexpr UINT IDC_CHANGE = 1003;
constexpr UINT IDC_NEW = 1009;
constexpr UINT IDC_DECRYPT = 1010;
constexpr UINT IDC_ID_NAME = 1013;
constexpr UINT IDC_PICTURE = 1016;
constexpr UINT IDC_ABOUT = 1017;
constexpr UINT IDC_HELP_BUTTON = 1018;
constexpr UINT IDC_VIEW = 1031;
// The system menu's About item (its commands come as WM_SYSCOMMAND).
constexpr UINT IDM_ABOUTBOX = 0x0010;
// Strings.
constexpr UINT IDS_DECRYPT_NO_ID = 32300;
constexpr UINT IDS_SHELL_HELP = 32301;

constexpr UINT HANDOVER_TIMER_ELAPSE = 1000;
// How often the main dialog looks for hand-overs from later instances.
constexpr UINT_PTR CHANNEL_TIMER_ID = 2;
constexpr UINT CHANNEL_TIMER_ELAPSE = 100;

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CDialog* parent = nullptr);
};

class CDecryptDlg : public CDialog {
public:
    explicit CDecryptDlg(DecryptionState* state, CDialog* parent = nullptr);

    // Later instances' hand-overs arrive through this channel (not owned; may be null).
    void SetInstanceChannel(CInstanceChannel* channel) { m_pChannel = channel; }

    BOOL OnInitDialog() override;
    BOOL OnCommand(UINT id) override;
    void OnTimer(UINT_PTR id) override;
    BOOL OnCopyData(HWND sender, const COPYDATASTRUCT* data) override;
    void OnDropFiles(const CStringArray& paths) override;
    // The system menu's About; for the front end, that Enter alone presses no button here
    // and why the commands that need an ID are off.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Shows the current ID's name and switches the commands that need an ID (and the
    // acceptance of dropped files) on or off.
    void ShowDecryptingID();

    // The "&Decrypt" file dialog's filter.
    static CString DecryptFilter();
    // Whether a file chosen in the "&Decrypt" dialog is read as base64: by its extension for
    // filter index 0, else from the index (1 content file, 2 human-readable).
    static BOOL Base64ForChoice(const CString& path, DWORD filterIndex);

    UINT_PTR m_nTimerID = 1;

private:
    void OnDecrypt();
    void OnNew();
    void OnChange();
    void StartDecryptTimer();

    DecryptionState* m_pState;
    CInstanceChannel* m_pChannel = nullptr;
};

// "&Change...": the user picks another key file; 1 when its ID is now the decrypting ID and
// the settings are written, 0 when the previous ID and settings stay in force.
int ChangeDecryptingID(CDialog* parent);
// The same without the file dialog: the key file and its format (0 by extension, 1
// archive, 2 DER) are given.
int ChangeDecryptingIDTo(CDialog* parent, const char* keyFile, int format);
