// Where the program keeps its settings (the product table) and the three settings of the
// decrypting user, read and written together.
#pragma once

#include "decrypt/core/key_info.h"
#include "framework/app.h"

constexpr int UNSEALER_PRODUCT_NUMBER = 9;
constexpr const char* SETTINGS_SECTION = "USER INFORMATION";

// The product selected by SelectProfileLocation (0 before).
extern int g_nProductNumber;

// The product part of the registry key for a product number; null for an unknown number.
const char* GetProductRegistryName(int product);

// Entries then live under HKEY_CURRENT_USER\Software\Quillmar\<product>\<section>.
// FALSE (nothing changed) for an unknown product number.
BOOL SelectProfileLocation(CWinApp& app, int product);

// Each setting is read with its current value as default. A relative key-file name left by
// an earlier version is taken in the user's home folder (and stored so when the file is
// there); when it is not there, `problem` gets why.
void ReadUserSettings(CWinApp& app, DecryptionState& state, CString* problem = nullptr);
// TRUE only when all three writes succeeded. The key file's name is stored absolute (a
// relative one is taken in the working folder).
BOOL WriteUserSettings(CWinApp& app, const DecryptionState& state);

// `name` made absolute in `folder`; an absolute or empty name as it is.
CString AbsoluteFileName(const CString& name, const CString& folder);
// A key-file name as stored: an absolute one as it is; a relative one taken in `home` when a
// regular file is there; otherwise `problem` says why (and the name taken in `home` is
// returned when there is a home folder).
CString ResolveStoredKeyFileName(const CString& stored, const CString& home, CString& problem);

// The program's options, GNU style: "--name VALUE" or "--name=VALUE"; "--" ends the
// options; everything else is a file to decrypt.
struct CDecryptOptions {
    enum Command { None, Change, New, View, About, Help, Version, Inspect, Unregister };
    Command command = None;
    CString commandFile;    // --change / --new KEYFILE
    CString keyFile;        // --key KEYFILE.der: a PKCS #1 private key as the decrypting ID
    bool batch = false;
    bool terminal = false;    // --terminal: the terminal screen even where a desktop is
    bool json = false;        // --json: outcomes as JSON lines (implies batch)
    bool openSigned = false;  // --open-signed: signed content inside messages is opened
    int passwordFd = -1;    // --password-fd N
    int jobs = 0;           // -j/--jobs N: files a batch decrypts at once (0: one per processor)
    CStringArray files;
    CString error;          // not empty: the command line was refused, with this reason
};

CDecryptOptions ParseDecryptOptions(int argc, const char* const* argv);

// The program's exit statuses (see DECRYPT_USAGE).
constexpr int kExitMostFailures = 100;     // 1..100: that many files not decrypted
constexpr int kExitNoDecryptingID = 101;   // no file was tried
constexpr int kExitUsage = 102;
constexpr int kExitNotHandedOver = 103;    // a running instance did not take the files
// Whether a start may hand its files to a running instance: a run of its own (--key,
// --batch, --json, --open-signed) and commands never do.
bool MayHandOver(const CDecryptOptions& options);
// The status for a count of files not decrypted.
inline int ExitStatusForFailures(int failures)
{
    return failures > kExitMostFailures ? kExitMostFailures : failures;
}
// The files as one command line for QueueFileNames: each quoted when it holds a blank.
CString JoinFileNames(const CStringArray& files);
extern const char* const DECRYPT_USAGE;

class CDecryptDlg;
class CInstanceChannel;

// The application: start-up in the order the program always took, then the main dialog
// (interactive) or the queue decrypted at once (batch), or one command of the options.
class CDecryptApp : public CWinApp {
public:
    explicit CDecryptApp(const CDecryptOptions& options, BOOL interactive);

    BOOL InitInstance() override;
    int ExitInstance() override;

    // The decrypting state (the process's one).
    DecryptionState& m_state;
    // The platform is the 16-bit-hosted Win32 subset (platform id 0): settings in an INI file.
    BOOL m_bWin32s;
    CDecryptOptions m_options;
    BOOL m_bInteractive;
    // The program can show windows (built with the desktop front end): its desktop entry
    // then starts it without a terminal.
    BOOL m_bHasWindows = TRUE;
    // The result of a command given as an option: 0 done, 1 not done (--inspect: the number
    // of files the ID does not open).
    int m_nCommandResult = 0;
    // Files were given but there was no decrypting ID to try them with.
    BOOL m_bNoDecryptingID = FALSE;
    // A running instance was found but did not take the files: none was decrypted here.
    BOOL m_bNotHandedOver = FALSE;
    // Set while the main dialog runs (for tests and the hand-over channel).
    CDecryptDlg* m_pMainDlg = nullptr;

private:
    BOOL LoadDecryptingID();
    BOOL RunCommand();
};

// Makes the key in the file the decrypting ID for this run, without changing the settings:
// a key file, or a PKCS #1 private key in DER. FALSE (after a message) when it cannot.
BOOL UseKeyForThisRun(const char* path);
