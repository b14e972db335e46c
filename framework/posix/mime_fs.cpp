#include "framework/fsutil.h"
#include "framework/system.h"

#include <cerrno>
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
thread_local int g_firstError = 0;

int RemoveOne(const char* path, const struct stat*, int kind, struct FTW*)
{
    int rc = (kind == FTW_DP) ? ::rmdir(path) : ::unlink(path);
    if (rc != 0 && g_firstError == 0)
        g_firstError = errno;
    return 0;   // go on with the rest
}
}

BOOL AfxDeleteFolderTree(const char* path)
{
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_firstError = 0;
    if (::nftw(path, RemoveOne, 16, FTW_DEPTH | FTW_PHYS) != 0 && g_firstError == 0)
        g_firstError = errno ? errno : EIO;
    if (g_firstError) {
        SetLastError(AfxErrnoToWin32Error(g_firstError));
        return FALSE;
    }
    return TRUE;
}

AfxPathKind AfxGetPathKind(const char* path, long long* size, LONG* osError)
{
    struct stat st;
    if (!path || ::stat(path, &st) != 0) {
        const int error = path ? errno : ENOENT;
        if (osError)
            *osError = error;
        return error == ENOENT || error == ENOTDIR ? AfxPathKind::missing : AfxPathKind::unknown;
    }
    if (size)
        *size = S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : 0;
    if (S_ISREG(st.st_mode))
        return AfxPathKind::regular;
    return S_ISDIR(st.st_mode) ? AfxPathKind::folder : AfxPathKind::other;
}

BOOL AfxListPlainFolderEntries(const char* path, std::vector<std::string>& names)
{
    names.clear();
    DIR* folder = path ? ::opendir(*path ? path : ".") : nullptr;
    if (!folder) {
        SetLastError(AfxErrnoToWin32Error(path ? errno : EINVAL));
        return FALSE;
    }
    while (const struct dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if ((entry->d_type == DT_DIR || entry->d_type == DT_REG) && name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(folder);
    return TRUE;
}
