// What became of each file given to the program: decrypted (into which folder, which files,
// what the message is) or failed (and why). The reason of a failure is noted where the
// failure happens; the driver hands the whole outcome to the program's listener.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

#include <string>
#include <vector>

struct CFileOutcome {
    struct File {
        CString name;
        long long size = 0;
    };
    CString path;
    BOOL decrypted = FALSE;
    CString reason;                  // why it failed ("" when decrypted)
    CString folder;                  // the output folder (decrypted only)
    std::vector<File> files;         // what the folder holds, in the order written
    std::vector<CString> warnings;   // parts that were not whole
    CString from, subject, date;     // of the decrypted message, as sent (encoded words decoded)

    // "PATH -> FOLDER: Msg.txt, report.pdf" and the From, Subject and Date lines under it;
    // for a failure "PATH: REASON".
    CString Summary() const;
    // One line of JSON (no line end): path, status, reason, folder, files with sizes,
    // warnings, from, subject, date.
    std::string ToJson() const;
};

class COutcomeListener {
public:
    virtual ~COutcomeListener() = default;
    virtual void FileDone(const CFileOutcome& outcome) = 0;
};

// The program's listener (not owned; null for none). Returns the previous one.
COutcomeListener* AfxSetOutcomeListener(COutcomeListener* listener);
COutcomeListener* AfxGetOutcomeListener();

// The reason of the file being decrypted now. The first note stands: a failure deep inside
// is more precise than what the callers above it would say. Cleared for each file.
void AfxNoteFailure(const CString& reason);
// Notes the reason even over an earlier one (an outer layer that knows better).
void AfxReplaceFailure(const CString& reason);
CString AfxTakeFailureReason();
BOOL AfxHasFailureReason();

// The user's words for a file error: "the file does not exist", "permission denied",
// "the disk is full"...
CString AfxDescribeFileError(int cause, LONG osError);
// The same for an error of the system layer (GetLastError).
CString AfxDescribeSystemError(DWORD error);
