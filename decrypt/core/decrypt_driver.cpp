#include "decrypt/core/decrypt_driver.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/input_forms.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/opening_context.h"
#include "decrypt/core/outcome.h"
#include "decrypt/core/resources.h"
#include "decrypt/core/streamed_envelope.h"
#include "decrypt/mime/fs_storage.h"
#include "decrypt/mime/header_lex.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/msg_store.h"
#include "decrypt/mime/stg_interfaces.h"
#include "decrypt/mime/transfer_decoders.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/memfile.h"
#include "framework/system.h"
#include "framework/text_util.h"
#include "framework/ui/dialog.h"
#include "framework/ui/front_end.h"
#include "framework/ui/message_box.h"
#include "framework/ui/recording_front_end.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/pki/pkcs7.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr UINT kCopyChunk = 2048;
// A decoded .sig file grows in large steps: growing a 64 MiB result 1 KiB at a time costs
// more than the decoding.
constexpr UINT kBase64Growth = 1u << 20;
// Variants name(1) ... tried before a folder is taken as full of them.
constexpr int kMaxUniqueTries = 100000;

// Fails the file; the reason was noted where the failure was found.
[[noreturn]] void FailFile(const char* path)
{
    AfxThrowFileException(CFileException::generic, -1, path);
}

[[noreturn]] void FailFile(const char* path, const CString& reason)
{
    AfxNoteFailure(reason);
    FailFile(path);
}

// The box of a failed file. Where someone reads it on a screen, the reason stands under
// the box's own text; without a screen the program's listener prints it on a line of its own.
void ShowFileError(const char* path, const CString& reason, CDialog* parent)
{
    CString text("ERROR:\nQuillmar Postlantern Unsealer cannot decrypt the following file:\n");
    text += path;
    text += "\n\n";
    text += "The file maybe corrupted or other decrypting ID is needed.";
    if (AfxGetFrontEnd()->IsInteractive() && !reason.IsEmpty()) {
        text += "\nDetails: ";
        text += reason;
    }
    MessageBoxA(parent ? parent->GetSafeHwnd() : nullptr, text, kAppTitle, MB_OK | MB_ICONEXCLAMATION);
}

void Report(const CFileOutcome& outcome)
{
    if (COutcomeListener* listener = AfxGetOutcomeListener())
        listener->FileDone(outcome);
}

// The files written for the message being written now on this thread, in order.
std::vector<CString>& WrittenFiles()
{
    thread_local std::vector<CString> written;
    return written;
}

// The reason of a failure that was not noted where it happened, from the exception and
// from what the run was doing: reading the input, or writing the output folder.
CString ReasonFromException(CException* e, BOOL writing)
{
    if (auto* file = dynamic_cast<CFileException*>(e)) {
        if (file->m_cause == CFileException::generic && file->m_lOsError == -1)
            return "the content could not be decrypted";
        CString what = AfxDescribeFileError(file->m_cause, file->m_lOsError);
        return CString(writing ? "the output folder cannot be written: " : "the file cannot be read: ") + what;
    }
    if (dynamic_cast<CMemoryException*>(e))
        return "there is not enough memory to decrypt this file";
    if (dynamic_cast<CDERDecodingException*>(e) || dynamic_cast<CMIMEEncodingException*>(e))
        return "the content is corrupt";
    return "the content could not be decrypted";
}

// The file was decrypted, but parts of it could not be taken whole.
void ShowFileWarnings(const char* path, const CStringArray& warnings, CDialog* parent)
{
    CString text("WARNING:\nQuillmar Postlantern Unsealer decrypted the following file, but not every part of it was whole:\n");
    text += path;
    text += "\n";
    for (int i = 0; i < warnings.GetSize(); ++i) {
        text += "\n";
        text += warnings[i];
    }
    MessageBoxA(parent ? parent->GetSafeHwnd() : nullptr, text, kAppTitle, MB_OK | MB_ICONINFORMATION);
}

// The extension of the file-name part of a path ("" when it has none).
CString ExtensionOf(const CString& path)
{
    int slash = path.ReverseFind('/');
    CString name = path.Mid(slash + 1);
    int dot = name.ReverseFind('.');
    return dot < 0 ? CString() : name.Mid(dot + 1);
}

void SplitTitle(const CString& name, CString& title, CString& extension)
{
    int dot = name.ReverseFind('.');
    if (dot < 0) {
        title = name;
        extension.Empty();
    } else {
        title = name.Left(dot);
        extension = name.Mid(dot);
    }
}

// Cuts text to at most `bytes`, never inside a UTF-8 sequence.
CString CutBytes(const CString& text, int bytes)
{
    if (text.GetLength() <= bytes)
        return text;
    int n = bytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return text.Left(n);
}

// Per output folder and name, the first variant number not yet known to be taken: a
// message of many parts with one name costs one probe per part, not one per earlier part.
// Cleared for each message written, since a failed run's folder name comes back. One table
// a thread: the files of a batch are written side by side.
std::map<std::string, int>& NextVariants()
{
    thread_local std::map<std::string, int> next;
    return next;
}

// Creates a new output file (exclusively, never through a link) under the first free
// variant of `name` (name, name(1).ext, ...); the stream is open on it afterwards. A variant
// is skipped when something has it, including what the folder cannot open (a link to
// nowhere) and what another process takes between the look and the creation.
CString CreateOutputFile(CStorage& folder, const char* name, COleStream& stream)
{
    CString title, extension;
    SplitTitle(name, title, extension);
    int& next = NextVariants()[folder.GetName().str() + '\n' + name];
    for (int n = next; n <= kMaxUniqueTries; next = ++n) {
        CString candidate(name);
        if (n > 0) {
            candidate.Format("%s(%d)", title.c_str(), n);
            candidate += extension;
        }
        if (folder.ElementExists(candidate))
            continue;
        CFileException error;
        if (folder.CreateStream(&stream, candidate, kStoreMode, &error)) {
            next = n + 1;
            WrittenFiles().push_back(candidate);
            return candidate;
        }
        if (error.m_lOsError != STG_E_FILEALREADYEXISTS && !folder.ElementExists(candidate))
            AfxThrowFileException(error.m_cause, error.m_lOsError, candidate);
    }
    AfxThrowFileException(CFileException::generic, -1, name);
}

// Copies a part's body (the bytes after its header lines) to `out`; returns the last byte
// written, or -1 when the body is empty.
int CopyBody(CMessage& part, CFile& out)
{
    part.CloseStream();
    if (part.GetBodyLength() == 0)
        return -1;
    BYTE buffer[kCopyChunk];
    int last = -1;
    for (;;) {
        UINT n = part.ReadBody(buffer, sizeof buffer);
        if (n == 0)
            break;
        out.Write(buffer, n);
        last = buffer[n - 1];
        if (!part.m_Stream.IsOpen())
            break;
    }
    part.CloseStream();
    return last;
}

// The file name an attachment is written under (before it is made unique).
CString AttachmentName(CMessage& part, int index, CStorage& folder)
{
    CString fallback;
    fallback.Format("Att%d.att", index);
    CString name = SafeAttachmentName(part.m_strName.IsEmpty() ? part.m_strDefaultName : part.m_strName);
    // Room for the folder, a separator and a "(n)" the name may still get.
    if (name.IsEmpty() || folder.GetName().GetLength() + 1 + name.GetLength() + 8 > kMaxElementPath)
        return fallback;
    if (AfxIsWin32s()) {
        // The 16-bit-hosted platform takes only short names: probe the name first.
        CString probeName = MakeUniqueOutputName(folder, name);
        COleStream probe;
        CFileException error;
        if (!folder.CreateStream(&probe, probeName, kStoreMode, &error))
            return fallback;
        probe.Close();
        folder.DestroyElement(probeName, &error);
    }
    return name;
}

void WriteAttachment(CMessage& part, int index, CStorage& folder)
{
    CString name = AttachmentName(part, index, folder);
    COleStream out;
    CreateOutputFile(folder, name, out);
    CopyBody(part, out);
    out.Close();
}

}  // namespace

// ---- the queue --------------------------------------------------------------------------

void QueueFileNames(const char* list, int single)
{
    CStringArray& queue = AfxGetDecryptionState().DecryptQueue;
    if (!list)
        return;
    if (single) {
        queue.Add(list);
        return;
    }
    CString rest(list);
    rest.TrimRight(" \t");
    int pos = 0;
    const int length = rest.GetLength();
    for (;;) {
        while (pos < length && IsSpaceOrTab(rest[pos]))
            ++pos;
        if (pos >= length)
            break;
        int end;
        if (rest[pos] == '"') {
            rest.SetAt(pos, ' ');
            end = rest.Find('"', pos + 1);
        } else {
            end = -1;
            for (int i = pos; i < length; ++i) {
                if (IsSpaceOrTab(rest[i])) {
                    end = i;
                    break;
                }
            }
        }
        CString token = end < 0 ? rest.Mid(pos) : rest.Mid(pos, end - pos);
        token.TrimLeft(" \t");
        token.TrimRight(" \t");
        if (!token.IsEmpty())
            queue.Add(token);
        if (end < 0)
            break;
        pos = end + 1;
    }
}

void QueueFileNames(const CStringArray& names)
{
    CStringArray& queue = AfxGetDecryptionState().DecryptQueue;
    for (int i = 0; i < names.GetSize(); ++i)
        queue.Add(names[i]);
}

// ---- one file ---------------------------------------------------------------------------

namespace {

// The folder part of an input path ("" for the current folder), ending with a separator.
CString FolderOf(const char* path)
{
    CString input(path);
    return input.Left(input.ReverseFind('/') + 1);
}

[[noreturn]] void FailFolder(const char* what, DWORD error, const CString& name)
{
    AfxNoteFailure(CString(what) + AfxDescribeSystemError(error));
    AfxThrowFileException(CFileException::generic, static_cast<LONG>(error), name);
}

}  // namespace

CString CreateOutputFolder(const char* path)
{
    const CString folder = FolderOf(path);
    DWORD attributes = GetFileAttributesA(folder.IsEmpty() ? "." : folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        FailFile(path, "the folder the file is in does not exist");
    static std::atomic<int> serial{0};
    for (int tries = 0; tries < 1000; ++tries) {
        CString candidate;
        candidate.Format("%s.Decrypt-%lu-%d", folder.c_str(), static_cast<unsigned long>(GetCurrentProcessId()),
                         ++serial);
        if (CreateDirectoryA(candidate, nullptr))
            return candidate + "/";
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            FailFolder("the output folder cannot be made beside the file: ", error, candidate);
    }
    FailFile(path, "no temporary output folder could be made beside the file");
}

namespace {

// The output folder names a folder holds as files or folders ("Decrypt..."), read at once.
std::set<std::string> TakenOutputNames(const CString& folder)
{
    std::vector<std::string> entries;
    AfxListPlainFolderEntries(folder, entries);
    std::set<std::string> taken;
    for (std::string& entry : entries)
        if (entry.starts_with("Decrypt"))
            taken.insert(std::move(entry));
    return taken;
}

// PublishOutputFolder with the names of the input's folder known to be taken (as files or
// folders): those are passed over without a look, each of the others is looked at. The name
// given is added.
CString PublishOutputFolder(const CString& work, const char* path, std::set<std::string>& taken)
{
    const CString folder = FolderOf(path);
    const CString from = work.Left(work.GetLength() - 1);
    CString candidate = folder + "Decrypt";
    for (int n = 1;; ++n) {
        std::string name = candidate.Mid(folder.GetLength()).str();
        if (taken.contains(name)) {
            // passed over
        } else if (GetFileAttributesA(candidate) != INVALID_FILE_ATTRIBUTES) {
            taken.insert(std::move(name));
        } else {
            if (MoveFileA(from, candidate)) {
                taken.insert(std::move(name));
                return candidate + "/";
            }
            // Something of that name appeared (or is a dangling link): try the next one.
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
                FailFolder("the output folder cannot be named: ", error, candidate);
        }
        if (n == INT_MAX)
            FailFile(path, "every output folder name (Decrypt, Decrypt1 ...) is taken");
        candidate.Format("%sDecrypt%d", folder.c_str(), n);
    }
}

}  // namespace

CString PublishOutputFolder(const CString& work, const char* path)
{
    // The names there are read at once: a look at each name would cost one per earlier
    // output folder.
    std::set<std::string> taken = TakenOutputNames(FolderOf(path));
    return PublishOutputFolder(work, path, taken);
}

namespace {

// Reads the input into the DER buffer: the raw bytes, or the bytes its base64 text stands for.
void LoadInput(const char* path, BOOL base64, CDEREncoding& der, ProgressDialog& dialog)
{
    CProgress& progress = dialog.GetProgress();
    CFile input(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary | CFile::modeRegularOnly);
    progress.Hint(1);
    if (!base64) {
        dialog.SetStageText("loading ciphertext ...");
        long long length = input.GetLength();
        if (length <= 0)
            FailFile(path, "the file is empty");
        if (length > INT_MAX)
            FailFile(path, "the file is too large (2 GiB at the most)");
        der.SetSize(static_cast<int>(length));
        if (input.Read(der.GetData(), static_cast<UINT>(length)) != static_cast<UINT>(length))
            FailFile(path, "the file ended while it was read");
        progress.Hint(1);
        return;
    }
    dialog.SetStageText("restoring 6-bit ciphertext ...");
    CMemFile decoded(kBase64Growth);
    DecodeBase64(&input, &decoded, 0, 1);
    decoded.SeekToBegin();
    progress.Hint(1);
    dialog.SetStageText("loading ciphertext ...");
    long long length = decoded.GetLength();
    if (length <= 0)
        FailFile(path, "the file holds no base64 text");
    if (length > INT_MAX)
        FailFile(path, "the file is too large (2 GiB at the most)");
    der.SetSize(static_cast<int>(length));
    decoded.Read(der.GetData(), static_cast<UINT>(length));
    progress.Hint(1);
}

// The input's content info, read by the extension rule first; when that gives no PKCS #7,
// the other forms users meet (PEM armour, base64 text, a whole S/MIME mail, DER in a .sig
// file) are recognised by content.
std::unique_ptr<CASN1_ContentInfo> ReadContentInfo(const char* path, BOOL base64, ProgressDialog& dialog)
{
    {
        CDEREncoding der;
        try {
            LoadInput(path, base64, der, dialog);
            dialog.SetStageText("preparing ciphertext ...");
            return std::make_unique<CASN1_ContentInfo>(der);
        } catch (CDERDecodingException* e) {
            e->Delete();
        } catch (CMIMEEncodingException* e) {
            e->Delete();
        }
    }
    CByteArray raw;
    {
        CFile input(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary | CFile::modeRegularOnly);
        long long length = input.GetLength();
        if (length <= 0)
            FailFile(path, "the file is empty");
        if (length > INT_MAX)
            FailFile(path, "the file is too large (2 GiB at the most)");
        raw.SetSize(static_cast<int>(length));
        if (input.Read(raw.GetData(), static_cast<UINT>(length)) != static_cast<UINT>(length))
            FailFile(path, "the file ended while it was read");
    }
    const BYTE* bytes = raw.GetData();
    const size_t size = static_cast<size_t>(raw.GetSize());
    CDEREncoding der;
    const CInputForm form = AfxRecogniseInput(bytes, size, der);
    // DER read as DER already failed: nothing new to try.
    if (form == CInputForm::none || (form == CInputForm::der && !base64)) {
        CString fault = bytes[0] == 0x30 ? AfxDescribeEncodingFault(bytes, size) : CString();
        FailFile(path, fault.IsEmpty() ? CString("not S/MIME content: it looks like ") + AfxDescribeInput(bytes, size)
                                       : fault);
    }
    raw.SetSize(0);
    dialog.SetStageText("preparing ciphertext ...");
    try {
        return std::make_unique<CASN1_ContentInfo>(der);
    } catch (CDERDecodingException* e) {
        e->Delete();
        CString fault = AfxDescribeEncodingFault(der.GetData(), static_cast<size_t>(der.GetSize()));
        CString reason = fault.IsEmpty() ? CString("not S/MIME content: no PKCS #7 content info") : fault;
        reason += CString(" (read as ") + AfxInputFormName(form) + ")";
        FailFile(path, reason);
    }
}

// Opens a DER file as a streamed envelope when it has that shape, with the stage texts and
// progress hints of reading it whole; FALSE, having told nothing, when it does not.
BOOL OpenStreamed(const char* path, CStreamedEnvelope& streamed, ProgressDialog& dialog)
{
    if (!streamed.Open(path))
        return FALSE;
    CProgress& progress = dialog.GetProgress();
    progress.Hint(1);
    dialog.SetStageText("loading ciphertext ...");
    progress.Hint(1);
    dialog.SetStageText("preparing ciphertext ...");
    return TRUE;
}

// Runs the decryption on a thread of its own into the scratch file at `scratchPath` while
// `read` reads that file (through the store, whose streams wait for the bytes they ask for).
// A failure of the decryption is the file's failure; when `read` fails first (or is
// cancelled), the decryption stops at its next chunk.
void DecryptWhileReading(CContentDecryption& decryption, const CString& scratchPath, const std::function<void()>& read)
{
    auto feed = std::make_shared<CStreamFeed>(static_cast<unsigned long long>(decryption.PlainLength()));
    FsSetStreamFeed(scratchPath, feed);
    std::atomic<bool> stop{false};
    CException* failure = nullptr;
    CString reason;
    bool outOfMemory = false;
    bool failedFirst = false;   // the decryption failed before the reading did
    std::thread writer([&] {
        try {
            CFile out(scratchPath, CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary);
            decryption.Run(out, feed.get(), &stop);
            out.Close();
        } catch (CException* e) {
            failure = e;
            reason = AfxTakeFailureReason();
            failedFirst = !stop.load();
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
            failedFirst = !stop.load();
        }
        feed->Stop();   // readers waiting for bytes that will not come fail now
    });
    auto finish = [&] {
        writer.join();
        FsSetStreamFeed(scratchPath, nullptr);
    };
    auto rethrowDecryption = [&] {
        if (failure) {
            AfxTakeFailureReason();
            if (!reason.IsEmpty())
                AfxNoteFailure(reason);
            throw failure;
        }
        if (outOfMemory)
            throw std::bad_alloc();
    };
    // The reading ended early: the decryption stops, and its failure, when it came first,
    // is what the file failed of.
    auto abandon = [&](CException* readFailure) {
        stop = true;
        feed->Stop();
        finish();
        if (readFailure && failedFirst) {
            readFailure->Delete();
            rethrowDecryption();
        }
        if (failure)
            failure->Delete();
    };
    try {
        read();
    } catch (CException* e) {
        abandon(e);
        throw;
    } catch (...) {
        abandon(nullptr);
        throw;
    }
    finish();
    rethrowDecryption();
}

// What one run holds: released in every outcome, the folder removed when the run failed.
struct CRun {
    CString folder;
    CMessageStore* store = nullptr;
    COleStream scratch;
    CString scratchName;
    BOOL scratchHeld = FALSE;

    void Release()
    {
        if (store) {
            store->CloseStream(&scratch);
            if (scratchHeld)
                store->ReleaseStreamRef(scratchName);
            store->Release();
            store = nullptr;
        }
        scratchHeld = FALSE;
    }
    void Undo()
    {
        Release();
        if (!folder.IsEmpty()) {
            AfxDeleteFolderTree(folder);
            AfxRemoveInterruptCleanupFolder(folder);
        }
        folder.Empty();
    }
};

}  // namespace

namespace {

// The output folder's files with their sizes, in the order written.
void ListOutputs(const CString& folder, CFileOutcome& outcome)
{
    for (const CString& name : WrittenFiles()) {
        CFileStatus status;
        CFileOutcome::File file;
        file.name = name;
        if (CFile::GetStatus(folder + name, status))
            file.size = status.m_size;
        outcome.files.push_back(file);
    }
    WrittenFiles().clear();
}

}  // namespace

namespace {

// What building one file left for its finish: the outcome so far (the files, headers and
// warnings, or the reason of the failure) and, when the folder was not named yet, where it
// waits complete under its hidden name.
struct CBuiltFile {
    CFileOutcome outcome;
    BOOL complete = FALSE;
    CString work;   // the hidden folder to name (registered for removal on an interruption)
    CStringArray warnings;
    // The failure came from the system (an error code, no memory) rather than the content:
    // what ran beside the file may have caused it.
    BOOL systemFailure = FALSE;
};

// Everything of one file up to its complete output folder, named when `publish`, left
// hidden for FinishFile otherwise; or the failure with its reason, nothing of the folder left.
void BuildFile(const char* path, BOOL base64, CDialog* parent, BOOL publish, CBuiltFile& built)
{
    if (parent)
        parent->UpdateWindow();
    AfxTakeFailureReason();
    CFileOutcome& outcome = built.outcome;
    outcome.path = path;
    ProgressDialog dialog;
    dialog.Create(parent, path);
    CProgress& progress = dialog.GetProgress();
    progress.SetUp(7, 0, 1, 0);

    CRun run;
    CStringArray& warnings = built.warnings;
    BOOL writing = FALSE;
    auto fail = [&](const CString& fallback) {
        progress.Hint(1);
        run.Undo();
        progress.Hint(1);
        dialog.DestroyWindow();
        if (parent)
            parent->UpdateWindow();
        outcome.reason = AfxTakeFailureReason();
        if (outcome.reason.IsEmpty())
            outcome.reason = fallback;
        WrittenFiles().clear();
    };
    try {
        dialog.SetStageText("preparing outputs ...");
        CString problem = AfxDescribeInputProblem(path);
        if (!problem.IsEmpty())
            FailFile(path, problem);
        writing = TRUE;
        run.folder = CreateOutputFolder(path);
        AfxAddInterruptCleanupFolder(run.folder);
        progress.Hint(1);

        run.store = new CMessageStore(run.folder);
        char nameBuffer[_MAX_PATH];
        run.scratchName = run.store->CreateStream(&run.scratch, nameBuffer, sizeof nameBuffer);
        run.scratchHeld = TRUE;

        writing = FALSE;
        // Enveloped data in the shape senders write is read around its encrypted content,
        // which stays in the file; anything else is read whole.
        CStreamedEnvelope streamed;
        std::unique_ptr<CASN1_ContentInfo> input;
        const BOOL streaming = !base64 && OpenStreamed(path, streamed, dialog);
        if (!streaming)
            input = ReadContentInfo(path, base64, dialog);
        progress.Hint(1);
        writing = TRUE;   // the input is read: what fails with a file from now on is output

        dialog.SetStageText("decrypting ...");
        std::unique_ptr<CContentDecryption> later;
        if (!(streaming ? ProcessStreamedEnvelope(streamed, run.scratch, progress, parent, &later)
                        : ProcessContentInfo(*input, run.scratch, progress, parent))) {
            progress.Hint(1);
            FailFile(path);
        }

        dialog.SetStageText("running MIME processor ...");
        writing = TRUE;
        long long length = later ? later->PlainLength() : run.scratch.GetLength();
        run.store->CloseStream(&run.scratch);
        progress.Hint(1);
        // Content without data (a certificate file, signed data without content) is no
        // message: the file fails and no scratch file is left behind.
        if (length == 0)
            FailFile(path, "the content holds no data (a certificate file, or signed data without its content)");
        auto writeOutputs = [&] {
            WriteMessageOutputs(run.store, run.scratchName, AfxGetDecryptionState().m_nOpenSignedContent != 0,
                                &warnings, parent, &outcome);
        };
        // A large content is decrypted while the message is read from what is decrypted.
        if (later)
            DecryptWhileReading(*later, run.folder + run.scratchName, writeOutputs);
        else
            writeOutputs();
        run.store->ReleaseStreamRef(run.scratchName);   // the scratch file goes
        run.scratchHeld = FALSE;
        run.Release();
        if (publish) {
            // Complete: the folder takes its name (until now it was hidden under a temporary one).
            outcome.folder = PublishOutputFolder(run.folder, path);
            AfxRemoveInterruptCleanupFolder(run.folder);
        } else {
            built.work = run.folder;
        }
        run.folder.Empty();
    } catch (CException* e) {
        auto* file = dynamic_cast<CFileException*>(e);
        built.systemFailure = (file && file->m_lOsError > 0) || dynamic_cast<CMemoryException*>(e);
        CString reason = ReasonFromException(e, writing);
        e->Delete();
        fail(reason);
        return;
    } catch (const std::bad_alloc&) {
        // One file too large for the memory there is fails alone; the queue goes on.
        built.systemFailure = TRUE;
        fail("there is not enough memory to decrypt this file");
        return;
    } catch (...) {
        // Not ours to report, but a partly written output never stays.
        run.Undo();
        throw;
    }

    progress.Hint(1);
    dialog.SetStageText("finished");
    progress.SetUp(1, 0, 1, 1);
    dialog.DestroyWindow();
    if (parent)
        parent->UpdateWindow();
    built.complete = TRUE;
    ListOutputs(publish ? outcome.folder : built.work, outcome);
    for (int i = 0; i < warnings.GetSize(); ++i)
        outcome.warnings.push_back(warnings[i]);
}

// Names the folder of a built file when it still waits hidden (a failure to name it fails
// the file, its folder removed; `taken`: the names known taken in its folder), then shows the
// file's box and hands its outcome to the program's listener. 1 when the file was decrypted.
int FinishFile(const char* path, CBuiltFile& built, CDialog* parent, std::set<std::string>& taken)
{
    CFileOutcome& outcome = built.outcome;
    if (built.complete && !built.work.IsEmpty()) {
        AfxTakeFailureReason();
        CString fallback;
        try {
            outcome.folder = PublishOutputFolder(built.work, path, taken);
        } catch (CException* e) {
            fallback = ReasonFromException(e, TRUE);
            e->Delete();
        } catch (const std::bad_alloc&) {
            fallback = "there is not enough memory to decrypt this file";
        }
        if (outcome.folder.IsEmpty()) {
            AfxDeleteFolderTree(built.work);
            built.complete = FALSE;
            outcome.files.clear();
            outcome.warnings.clear();
            built.warnings.RemoveAll();
            outcome.reason = AfxTakeFailureReason();
            if (outcome.reason.IsEmpty())
                outcome.reason = fallback;
        }
        AfxRemoveInterruptCleanupFolder(built.work);
        built.work.Empty();
    }
    if (!built.complete) {
        ShowFileError(path, outcome.reason, parent);
        Report(outcome);
        return 0;
    }
    outcome.decrypted = TRUE;
    outcome.folder = outcome.folder.Left(outcome.folder.GetLength() - 1);
    if (built.warnings.GetSize() > 0)
        ShowFileWarnings(path, built.warnings, parent);
    if (AfxGetFrontEnd()->IsInteractive())
        AfxGetFrontEnd()->ShowStatus(outcome.Summary());
    Report(outcome);
    return 1;
}

}  // namespace

int DecryptOneFile(const char* path, BOOL base64, CDialog* parent)
{
    CBuiltFile built;
    BuildFile(path, base64, parent, TRUE, built);
    std::set<std::string> unused;
    return FinishFile(path, built, parent, unused);
}

// ---- several files at once ---------------------------------------------------------------

namespace {

BOOL IsBase64Input(const CString& name) { return ExtensionOf(name).CompareNoCase("SIG") == 0; }

// A batch decrypted by several threads that tells exactly what decrypting one file after the
// other would: worker threads build the files' folders (hidden) ahead, each recording its
// boxes; this thread finishes them strictly in the order given: names the folder, shows the
// recorded boxes, reports. A file whose build failed is decrypted again here, the workers
// held, as it would have been alone (what failed may have been the files beside it, or an
// earlier file's output it needed); when the system failed it, the builds ahead are undone
// first, so that it meets the disk as it would have. At most eight times as many files as
// there are workers wait built (a worker that runs ahead is not stopped by every pause of
// this thread), so that memory and disk stay bounded. With one job there are no
// workers: this thread builds and finishes each file in turn.
class CConcurrentBatch {
public:
    CConcurrentBatch(const std::vector<CString>& names, int jobs)
        : m_names(names), m_jobs(jobs), m_window(static_cast<size_t>(jobs) * 8)
    {
        for (size_t i = 0; i < names.size(); ++i)
            m_slots.push_back(std::make_unique<CSlot>());
    }
    ~CConcurrentBatch()
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread& worker : m_workers)
            worker.join();
        // An exception ended the batch: nothing built ahead stays.
        DiscardAfter(m_finished);
    }
    CConcurrentBatch(const CConcurrentBatch&) = delete;
    CConcurrentBatch& operator=(const CConcurrentBatch&) = delete;

    void Run()
    {
        for (int i = 0; i < m_jobs && m_jobs > 1; ++i) {
            try {
                m_workers.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;   // no more threads: the ones there are do the work
            }
        }
        for (size_t i = 0; i < m_names.size(); ++i) {
            const CString& name = m_names[i];
            if (m_workers.empty()) {
                CSlot& slot = *m_slots[i];
                BuildFile(name, IsBase64Input(name), nullptr, FALSE, slot.built);
                FinishFile(name, slot.built, nullptr, TakenIn(name));
                m_slots[i] = std::make_unique<CSlot>();
            } else {
                CSlot& slot = WaitBuilt(i);
                if (slot.error || !slot.shown.IsFaithful() || !slot.built.complete) {
                    HoldWorkers(i, slot.error || !slot.shown.IsFaithful() || slot.built.systemFailure);
                    DecryptOneFile(name, IsBase64Input(name), nullptr);
                } else {
                    slot.shown.Replay(*AfxGetFrontEnd());
                    FinishFile(name, slot.built, nullptr, TakenIn(name));
                }
                m_slots[i] = std::make_unique<CSlot>();
            }
            {
                std::lock_guard<std::mutex> hold(m_lock);
                m_finished = i + 1;
                m_held = false;
            }
            m_changed.notify_all();
        }
    }

private:
    struct CSlot {
        bool done = false;   // built, or failed
        CBuiltFile built;
        CRecordingFrontEnd shown;
        std::exception_ptr error;
    };

    void Work()
    {
        for (;;) {
            size_t i;
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_changed.wait(hold, [this] {
                    return m_stop || (!m_held && m_next < m_names.size() && m_next < m_finished + m_window);
                });
                if (m_stop)
                    return;
                i = m_next++;
                ++m_building;
            }
            CSlot& slot = *m_slots[i];
            CFrontEnd* previous = AfxSetThreadFrontEnd(&slot.shown);
            try {
                BuildFile(m_names[i], IsBase64Input(m_names[i]), nullptr, FALSE, slot.built);
            } catch (...) {
                slot.error = std::current_exception();
            }
            AfxSetThreadFrontEnd(previous);
            {
                std::lock_guard<std::mutex> hold(m_lock);
                slot.done = true;
                --m_building;
            }
            m_changed.notify_all();
        }
    }

    // The output names known taken in the folder of `name`. They are read once a batch: only
    // this batch adds to them (a name that appeared meanwhile is still seen).
    std::set<std::string>& TakenIn(const CString& name)
    {
        const std::string folder = FolderOf(name).str();
        auto known = m_taken.find(folder);
        if (known == m_taken.end())
            known = m_taken.emplace(folder, TakenOutputNames(folder.c_str())).first;
        return known->second;
    }

    CSlot& WaitBuilt(size_t i)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold, [&] { return m_slots[i]->done; });
        return *m_slots[i];
    }

    // Keeps the workers from starting more files until file i is finished; with `undo`, the
    // files built ahead of it are undone, to be built again afterwards.
    void HoldWorkers(size_t i, bool undo)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_held = true;
        m_changed.wait(hold, [this] { return m_building == 0; });
        if (undo) {
            DiscardAfter(i + 1);
            m_next = i + 1;
        }
    }

    // Removes the hidden folders of the files from `first` on that were built.
    void DiscardAfter(size_t first)
    {
        for (size_t j = first; j < m_slots.size(); ++j) {
            CSlot& slot = *m_slots[j];
            if (!slot.built.work.IsEmpty()) {
                AfxDeleteFolderTree(slot.built.work);
                AfxRemoveInterruptCleanupFolder(slot.built.work);
            }
            m_slots[j] = std::make_unique<CSlot>();
        }
    }

    const std::vector<CString>& m_names;
    const int m_jobs;
    const size_t m_window;
    std::vector<std::unique_ptr<CSlot>> m_slots;
    std::vector<std::thread> m_workers;
    std::map<std::string, std::set<std::string>> m_taken;   // output names taken, by folder
    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_next = 0;       // the next file a worker takes
    size_t m_finished = 0;   // the files finished, in order
    int m_building = 0;      // the files workers are building now
    bool m_held = false;
    bool m_stop = false;
};

}  // namespace

void DecryptQueuedFiles(CDialog* parent, int jobs)
{
    CStringArray& queue = AfxGetDecryptionState().DecryptQueue;
    if (jobs <= 0)
        jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    // Several at once only where nobody watches: a screen shows one file's progress at a time
    // (and the user may remove an output folder between two files, whose name then comes
    // back). Under a limit of the address space the workers' stacks would take from the
    // files' own memory, and a file could fail that alone decrypts: one at a time there too.
    if (!parent && !AfxGetFrontEnd()->IsInteractive() && queue.GetSize() > 1) {
        if (AfxIsAddressSpaceLimited())
            jobs = 1;
        std::vector<CString> names;
        for (int i = 0; i < queue.GetSize(); ++i)
            names.push_back(queue[i]);
        queue.RemoveAll();
        CConcurrentBatch batch(names, std::min(jobs, static_cast<int>(names.size())));
        batch.Run();
    }
    while (queue.GetSize() > 0) {
        CString name = queue[0];
        queue.RemoveAt(0);
        DecryptOneFile(name, IsBase64Input(name), parent);
    }
}

void ReportFileNotDecrypted(const char* path, const CString& reason)
{
    CFileOutcome outcome;
    outcome.path = path;
    outcome.reason = reason;
    Report(outcome);
}

// ---- outputs ----------------------------------------------------------------------------

namespace {

// The base context refuses every nested S/MIME part (the message fails as a whole); this
// one says what was refused.
class CRefusingContext : public CMimeContext {
public:
    DWORD OnPemBlock(CMemFile* resultB, CMemFile* resultA, CFile* source, CFile* destination, DWORD length) override
    {
        AfxNoteFailure("the message holds a PEM-protected block, which this program does not open");
        return CMimeContext::OnPemBlock(resultB, resultA, source, destination, length);
    }
    DWORD OnPkcs7Object(CMemFile* resultB, CMemFile* resultA, CFile* source, DWORD length, CFile* destination) override
    {
        AfxNoteFailure("the message holds S/MIME content inside (application/pkcs7-mime): "
                       "decrypt it with --open-signed to open signed content inside");
        return CMimeContext::OnPkcs7Object(resultB, resultA, source, length, destination);
    }
    DWORD OnPkcs10Request(CMemFile* resultB, CMemFile* resultA, CFile* source, CFile* destination, DWORD length) override
    {
        AfxNoteFailure("the message holds a certificate request, which this program does not open");
        return CMimeContext::OnPkcs10Request(resultB, resultA, source, destination, length);
    }
    DWORD OnSignedContent(CMemFile* resultB, CMemFile* resultA, CFile* content, DWORD contentLength, CFile* signature,
                          DWORD signatureLength) override
    {
        AfxNoteFailure("the message is clear-signed (multipart/signed): decrypt it with --open-signed to open "
                       "the signed content (the signature is not checked)");
        return CMimeContext::OnSignedContent(resultB, resultA, content, contentLength, signature, signatureLength);
    }
};

// A header of the message for the summary. Signed content that was opened carries the
// message's headers inside (the outer part has only its type): the signed part is looked at
// when the wrapper has none.
CString HeaderForUser(const CMessage& message, const char* name)
{
    const CMessage* part = &message;
    for (int depth = 0; part && depth < 4; ++depth) {
        CString value = part->m_Headers.Find(name);
        value.TrimLeft();
        value.TrimRight();
        if (!value.IsEmpty())
            return AfxDecodeEncodedWords(value);
        const BOOL wrapper = part->GetContent() == kContentPkcs7 ||
                             (part->GetContent() == kContentMultipart && part->GetFlavour() == kFlavourSigned);
        part = wrapper && part->m_Children.GetSize() > 0 ? part->m_Children.GetItem(0) : nullptr;
    }
    return CString();
}

}  // namespace

void WriteMessageOutputs(CMessageStore* store, const char* streamName, BOOL openSigned, CStringArray* warnings,
                         CDialog* parent, CFileOutcome* outcome)
{
    NextVariants().clear();
    WrittenFiles().clear();
    CMessage message(store);
    message.SetStreamName(streamName);
    CRefusingContext refusing;
    COpeningContext opening(parent);
    message.ProcessRoot(openSigned ? static_cast<CMimeContext*>(&opening) : &refusing);
    if (outcome) {
        outcome->from = HeaderForUser(message, "From");
        outcome->subject = HeaderForUser(message, "Subject");
        outcome->date = HeaderForUser(message, "Date");
    }
    WriteMessageOutputs(message, *store->GetStorage());
    if (warnings)
        for (int i = 0; i < message.m_Warnings.GetSize(); ++i)
            warnings->Add(message.m_Warnings[i]);
}

namespace {

bool IsAlternative(const CMessage& part)
{
    const CString& type = part.m_strContentType;
    return type.GetLength() >= 21 && CString(type.Left(21)).CompareNoCase("multipart/alternative") == 0;
}

// Writes the parts of one message: text into its message text file, files beside it.
class COutputWriter {
public:
    COutputWriter(CStorage& folder, COleStream& text, int firstNestedIndex)
        : m_folder(folder), m_text(text), m_nextNested(firstNestedIndex) {}

    // Appends a part's body to the message text; a text that does not end its last line
    // gets a line end first, so two parts never run into one line.
    void AppendText(CMessage& part)
    {
        if (part.GetBodyLength() == 0)
            return;
        if (m_last >= 0 && m_last != '\n' && m_last != '\r')
            m_text.Write("\r\n", 2);
        int last = CopyBody(part, m_text);
        if (last >= 0)
            m_last = last;
    }

    // The parts of `container`; `top` numbers them by their place (Att0.att is the first
    // part), nested parts get the numbers after the top level's. In an alternative the
    // first plain text is the text and the other alternatives are files.
    void WriteParts(CMessage& container, bool top, bool* alternativeTextTaken)
    {
        bool taken = false;
        if (IsAlternative(container))
            alternativeTextTaken = &taken;
        for (int i = 0; i < container.m_Children.GetSize(); ++i) {
            CMessage& part = *container.m_Children.GetItem(i);
            const int index = top ? i : m_nextNested++;
            const DWORD form = part.GetForm();
            if (form == 0 || form == kFormPlain || form == kFormPem) {
                WriteText(part, index, alternativeTextTaken);
                continue;
            }
            if (form != kFormMime && form != kFormUuText)
                continue;   // S/MIME content writes nothing
            if (form == kFormUuText && part.m_Children.GetSize() > 0) {
                // Text with uuencoded files in it: its pieces of text are one text.
                if (alternativeTextTaken)
                    *alternativeTextTaken = true;
                AppendText(part);
                WriteParts(part, false, nullptr);
                continue;
            }
            switch (part.GetContent()) {
            case 0:
            case kContentText:
                WriteText(part, index, alternativeTextTaken);
                break;
            case kContentFile:
                WriteAttachment(part, index, m_folder);
                break;
            case kContentMultipart:
                // A multipart without delimiter lines kept its body: it is text.
                AppendText(part);
                WriteParts(part, false, alternativeTextTaken);
                break;
            case kContentOle1:
            case kContentOle2:
                m_text.Write("\r\n[[ OLE ]]\r\n", 13);
                break;
            case kContentMessage:
                WriteEmbedded(part);
                break;
            default:
                break;
            }
        }
    }

    // A message/rfc822 part: the message inside gets its own message text.
    void WriteEmbedded(CMessage& part)
    {
        if (part.m_Children.GetSize() > 0) {
            WriteMessageOutputs(*part.m_Children.GetItem(0), m_folder);
        } else {
            COleStream embedded;
            CreateOutputFile(m_folder, "Msg.txt", embedded);
            CopyBody(part, embedded);
            embedded.Close();
        }
    }

private:
    void WriteText(CMessage& part, int index, bool* alternativeTextTaken)
    {
        if (alternativeTextTaken) {
            if (*alternativeTextTaken) {
                WriteAttachment(part, index, m_folder);
                return;
            }
            *alternativeTextTaken = true;
        }
        AppendText(part);
    }

    CStorage& m_folder;
    COleStream& m_text;
    int m_nextNested;
    int m_last = -1;   // the last byte of the message text so far
};

}  // namespace

void WriteMessageOutputs(CMessage& message, CStorage& folder)
{
    CMessage* root = &message;
    // An S/MIME wrapper around one multipart stands for that multipart.
    BOOL wrapper = message.GetContent() == kContentPkcs7 ||
                   (message.GetContent() == kContentMultipart && message.GetFlavour() == kFlavourSigned);
    if (wrapper && message.m_Children.GetSize() == 1 &&
        message.m_Children.GetItem(0)->GetContent() == kContentMultipart)
        root = message.m_Children.GetItem(0);

    COleStream text;
    CreateOutputFile(folder, "Msg.txt", text);
    const DWORD form = root->GetForm();
    if (root->m_Children.GetSize() == 0 && (form == kFormMime || form == kFormPlain) &&
        root->GetContent() == kContentFile) {
        // A message that is one file: the file, under its name; the text stays empty.
        WriteAttachment(*root, 0, folder);
    } else if (root->GetContent() == kContentMessage && form == kFormMime) {
        // The whole message is a forwarded one: its text stays empty, the forwarded
        // message's goes to a text of its own.
        COutputWriter writer(folder, text, 0);
        text.Close();
        writer.WriteEmbedded(*root);
        return;
    } else {
        COutputWriter writer(folder, text, root->m_Children.GetSize());
        writer.AppendText(*root);
        writer.WriteParts(*root, true, nullptr);
    }
    text.Close();
}

CString MakeUniqueOutputName(CStorage& folder, const char* name)
{
    if (!folder.ElementExists(name))
        return name;
    CString title, extension;
    SplitTitle(name, title, extension);
    for (int n = 1;; ++n) {
        CString candidate;
        candidate.Format("%s(%d)", title.c_str(), n);
        candidate += extension;
        if (!folder.ElementExists(candidate))
            return candidate;
        if (n == kMaxUniqueTries)
            AfxThrowFileException(CFileException::generic, -1, name);
    }
}

// ---- safe names -------------------------------------------------------------------------

BOOL IsReservedDeviceName(const char* name)
{
    // The device names count with any extension and trailing blanks ("con.txt", "NUL ").
    CString base(name);
    int dot = base.Find('.');
    if (dot >= 0)
        base = base.Left(dot);
    base.TrimRight(" ");
    base.MakeUpper();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (base == device)
            return TRUE;
    if (base.GetLength() == 4 && (base.Left(3) == "COM" || base.Left(3) == "LPT") && base[3] >= '0' && base[3] <= '9')
        return TRUE;
    return FALSE;
}

CString SafeAttachmentName(const char* name)
{
    CString clean;
    for (const char* p = name ? name : ""; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != 0x7F)
            clean += static_cast<char>(c);
    }
    // Only the last path component, whichever separator the sender used.
    int cut = -1;
    for (int i = 0; i < clean.GetLength(); ++i)
        if (clean[i] == '/' || clean[i] == '\\')
            cut = i;
    clean = clean.Mid(cut + 1);
    while (clean.GetLength() >= 2 && ((clean[0] >= 'A' && clean[0] <= 'Z') || (clean[0] >= 'a' && clean[0] <= 'z')) &&
           clean[1] == ':')
        clean = clean.Mid(2);
    clean.TrimLeft(" ");
    clean.TrimRight(" .");
    if (clean.IsEmpty() || IsReservedDeviceName(clean))
        return CString();
    if (clean.GetLength() > kMaxAttachmentName) {
        CString title, extension;
        SplitTitle(clean, title, extension);
        if (extension.GetLength() < kMaxAttachmentName / 2)
            clean = CutBytes(title, kMaxAttachmentName - extension.GetLength()) + extension;
        else
            clean = CutBytes(clean, kMaxAttachmentName);
        clean.TrimRight(" .");
        if (clean.IsEmpty() || clean == extension)
            return CString();
    }
    return clean;
}
