#include "framework/fsutil.h"
#include "framework/system.h"

#include <cerrno>
#include <ftw.h>
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
