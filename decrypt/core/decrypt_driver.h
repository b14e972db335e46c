// The decrypt driver: the queue of input files and, for each file, the pipeline that turns
// S/MIME content into a folder of readable output beside it (the message text and its
// attachments), with its progress window and the single error box of a failed file.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

class CDialog;
struct CFileOutcome;
class CMessage;
class CMessageStore;
class CStorage;
class CStringArray;

// Appends file names to the decrypt queue: with single nonzero, list is one name as it is;
// otherwise list is split as a command line (blanks separate names, double quotes group).
void QueueFileNames(const char* list, int single);
// Appends each name as it is: the names of a command line, none joined, split or trimmed.
void QueueFileNames(const CStringArray& names);

// Drains the decrypt queue (".sig" files are base64 text); a failed file never stops the
// queue. Without a parent window and a front end anyone watches, `jobs` files are decrypted
// at once (0: one per processor); what is written, shown and reported is still exactly what
// one file after the other would give, in the same order.
void DecryptQueuedFiles(CDialog* parent, int jobs = 1);

// Decrypts one file into a new output folder beside it. 1 on success; 0 after the failure
// was reported with the error box (nothing of the output folder is left then). Either way
// the outcome (the folder and its files, or the reason) goes to the program's listener.
int DecryptOneFile(const char* path, BOOL base64, CDialog* parent);

// Tells the program's listener that a file was not tried, and why (no decrypting ID).
void ReportFileNotDecrypted(const char* path, const CString& reason);

// Parses the decrypted content held in the store's stream `streamName` as a mail message
// and writes the message text and the attachments into the store's folder. With
// `openSigned`, signed content inside is opened instead of refused. What could not be taken
// whole (kept as sent, decoded as far as it goes) is added to `warnings`, a line each; the
// message's From, Subject and Date go to `outcome`.
void WriteMessageOutputs(CMessageStore* store, const char* streamName, BOOL openSigned = FALSE,
                         CStringArray* warnings = nullptr, CDialog* parent = nullptr, CFileOutcome* outcome = nullptr);
// The output stage for a processed message tree (called again for embedded messages).
void WriteMessageOutputs(CMessage& message, CStorage& folder);

// `name`, or name(1).ext, name(2).ext ... when the name is taken in the folder.
CString MakeUniqueOutputName(CStorage& folder, const char* name);

// An attachment name reduced to a plain file name that stays in its folder: directory
// parts, drive prefixes, control characters and trailing dots and blanks go; the length is
// capped keeping the extension. Empty when nothing usable remains (".", "..", a device
// name): the caller then uses the "Att%d.att" form.
CString SafeAttachmentName(const char* name);

// Names a sent file may not take (device names of the other platform: CON, NUL, COM1...).
BOOL IsReservedDeviceName(const char* name);

// Longest attachment name kept (bytes).
constexpr int kMaxAttachmentName = 200;

// The folder a run builds its output in: hidden beside the input (".Decrypt-PID-N"), made
// here, so that an output folder is never seen half written. Raises a file exception (its
// reason noted) when the input's folder is missing or the folder cannot be made. The
// result ends with a separator.
CString CreateOutputFolder(const char* path);

// Gives the finished folder its name: "Decrypt", then Decrypt1, Decrypt2 ... in the input's
// own folder, never taking a name that is there. The new name, ending with a separator.
CString PublishOutputFolder(const CString& work, const char* path);
