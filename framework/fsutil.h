// File-system helpers the platform layer lacks elsewhere.
#pragma once

#include "framework/types.h"

// Deletes a folder with everything in it. Symbolic links inside are removed, never
// followed. FALSE with the last error set (GetLastError) when something could not be
// removed; what could be removed is gone.
BOOL AfxDeleteFolderTree(const char* path);
