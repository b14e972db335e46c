// File-system helpers the platform layer lacks elsewhere.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

// Deletes a folder with everything in it. Symbolic links inside are removed, never
// followed. FALSE with the last error set (GetLastError) when something could not be
// removed; what could be removed is gone.
FRAMEWORK_API BOOL AfxDeleteFolderTree(const char* path);
