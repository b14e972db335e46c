// The file-system storage: a folder plays the storage and every stream is a file in it.
// Stream clones share one open file and keep their own positions.
#pragma once

#include "decrypt/mime/stg_interfaces.h"

// Longest element path (folder, separator and name) a file-system storage accepts: the
// system's own limit (PATH_MAX), not the 260 characters of the other platform.
constexpr int kMaxElementPath = 4096;

// Opens (or, with `create` or the STGM_CREATE bit, creates) the storage over the folder
// `path`; an existing folder is accepted. With no path a fresh folder with the prefix "stg"
// is made in the system's temporary folder.
HRESULT FsOpenStorage(const char* path, DWORD mode, BOOL create, IStorage** storage);

// The storage result for a platform error number (GetLastError's).
HRESULT StgResultFromSystemError(DWORD error);
