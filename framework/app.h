// The application object: start-up and message loop virtuals, and the application's profile
// (settings by section and entry) in the registry or, without a registry key, in an INI file.
#pragma once

#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/registry.h"
#include "framework/thread.h"

class FRAMEWORK_API CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
public:
    // appName null: the program's file name without folder and extension. The object
    // registers itself as the application (AfxSetApp).
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up; FALSE ends the program (Run is not called).
    virtual BOOL InitInstance();
    // The message loop: idle processing while the queue is empty, one message at a time,
    // until the quit message; then ExitInstance's result.
    virtual int Run();
    // Clean-up; returns the program's exit code (the quit message's code by default).
    virtual int ExitInstance();

    // Profile location. Without a registry key the profile is the INI file m_pszProfileName
    // (default "<program name>.INI", resolved as GetPrivateProfileStringA does). After
    // SetRegistryKey(company) the entries live under
    //   HKEY_CURRENT_USER\Software\<m_pszRegistryKey>\<m_pszProfileName>\<section>
    // and m_pszProfileName becomes m_pszAppName. The pointers may be set to other strings
    // that outlive the object; the current values are used at each call.
    void SetRegistryKey(const char* company);

    CString GetProfileString(const char* section, const char* entry, const char* defaultValue = nullptr);
    // entry null deletes the section; value null deletes the entry.
    BOOL WriteProfileString(const char* section, const char* entry, const char* value);
    UINT GetProfileInt(const char* section, const char* entry, int defaultValue);
    BOOL WriteProfileInt(const char* section, const char* entry, int value);
    // *data is allocated with new[] (the caller deletes it with delete[]); FALSE, with
    // *data null and *bytes 0, when the entry is missing or not binary. In the INI file a
    // binary entry is one letter 'A'-'P' per half-byte, low half first.
    BOOL GetProfileBinary(const char* section, const char* entry, BYTE** data, UINT* bytes);
    BOOL GetProfileBinary(const char* section, const char* entry, CByteArray& data);
    BOOL WriteProfileBinary(const char* section, const char* entry, const BYTE* data, UINT bytes);

    // HKEY_CURRENT_USER\Software\<key>\<profile> and its section keys, opened for reading
    // (null when missing) or created for writing; the caller closes them. Null without a
    // registry key.
    HKEY GetAppRegistryKey(BOOL create = TRUE);
    HKEY GetSectionKey(const char* section, BOOL create = TRUE);

    const char* m_pszAppName = nullptr;
    const char* m_pszExeName = nullptr;
    const char* m_pszRegistryKey = nullptr;
    const char* m_pszProfileName = nullptr;
    const char* m_lpCmdLine = "";     // the arguments after the program's name, one line
    int m_nExitCode = 0;              // the quit message's code once the loop has ended

    // Sets m_lpCmdLine from the program's arguments (quoting those with blanks).
    void SetCommandLine(int argc, char** argv);

private:
    CString m_strAppName;
    CString m_strExeName;
    CString m_strRegistryKey;
    CString m_strProfileName;
    CString m_strCmdLine;
};

// The application object as a CWinApp (null when there is none or it is no CWinApp).
FRAMEWORK_API CWinApp* AfxGetWinApp();

// Runs the application the program created: command line, InitInstance, then Run when it
// succeeded, else ExitInstance. Returns the exit code.
FRAMEWORK_API int AfxWinMain(int argc, char** argv);
