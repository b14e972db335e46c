#include "decrypt/core/outcome.h"

#include "framework/exceptions.h"
#include "framework/system.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>

namespace {

COutcomeListener* g_listener = nullptr;
thread_local CString t_reason;

std::string Text(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.GetLength())); }

}  // namespace

CString CFileOutcome::Summary() const
{
    CString text(path);
    if (!decrypted) {
        text += ": ";
        text += reason;
        return text;
    }
    text += " -> ";
    text += folder;
    text += ":";
    for (size_t i = 0; i < files.size(); ++i) {
        text += i == 0 ? " " : ", ";
        text += files[i].name;
    }
    const struct {
        const char* label;
        const CString& value;
    } lines[] = {{"From", from}, {"Subject", subject}, {"Date", date}};
    for (const auto& line : lines) {
        if (line.value.IsEmpty())
            continue;
        text += "\n  ";
        text += line.label;
        text += ": ";
        text += line.value;
    }
    for (const CString& warning : warnings) {
        text += "\n  warning: ";
        text += warning;
    }
    return text;
}

std::string CFileOutcome::ToJson() const
{
    nlohmann::ordered_json j;
    j["path"] = Text(path);
    j["status"] = decrypted ? "decrypted" : "failed";
    j["reason"] = Text(reason);
    j["folder"] = Text(folder);
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const File& file : files)
        list.push_back({{"name", Text(file.name)}, {"size", file.size}});
    j["files"] = std::move(list);
    nlohmann::ordered_json notes = nlohmann::ordered_json::array();
    for (const CString& warning : warnings)
        notes.push_back(Text(warning));
    j["warnings"] = std::move(notes);
    j["from"] = Text(from);
    j["subject"] = Text(subject);
    j["date"] = Text(date);
    // Names and headers come from the message: bytes that are no UTF-8 become U+FFFD.
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

COutcomeListener* AfxSetOutcomeListener(COutcomeListener* listener)
{
    COutcomeListener* previous = g_listener;
    g_listener = listener;
    return previous;
}

COutcomeListener* AfxGetOutcomeListener() { return g_listener; }

void AfxNoteFailure(const CString& reason)
{
    if (t_reason.IsEmpty())
        t_reason = reason;
}

void AfxReplaceFailure(const CString& reason) { t_reason = reason; }

CString AfxTakeFailureReason()
{
    CString reason = t_reason;
    t_reason.Empty();
    return reason;
}

BOOL AfxHasFailureReason() { return !t_reason.IsEmpty(); }

CString AfxDescribeFileError(int cause, LONG osError)
{
    switch (osError) {
    case EFBIG:
        return "the file-size limit was reached";
    case ENOSPC:
        return "the disk is full";
    case EDQUOT:
        return "the disk quota is used up";
    case EROFS:
        return "the disk is read-only";
    default:
        break;
    }
    switch (cause) {
    case CFileException::fileNotFound:
        return "the file does not exist";
    case CFileException::badPath:
        return "the folder does not exist";
    case CFileException::accessDenied:
        return "permission denied";
    case CFileException::diskFull:
        return "the disk is full";
    case CFileException::tooManyOpenFiles:
        return "too many files are open";
    case CFileException::sharingViolation:
    case CFileException::lockViolation:
        return "another program has the file locked";
    case CFileException::hardIO:
        return "the disk reported an input/output error";
    case CFileException::endOfFile:
        return "the file ended early";
    default:
        break;
    }
    if (osError > 0) {
        CString text("system error: ");
        text += std::strerror(static_cast<int>(osError));
        return text;
    }
    return "the file could not be read or written";
}

CString AfxDescribeSystemError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "the folder does not exist";
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return "permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "the disk is full";
    case ERROR_TOO_MANY_OPEN_FILES:
        return "too many files are open";
    default: {
        CString text;
        text.Format("system error %lu", static_cast<unsigned long>(error));
        return text;
    }
    }
}
