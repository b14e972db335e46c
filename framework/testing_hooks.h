// Hooks for the framework's own tests. This header is not installed: the hooks are exported
// only so that the tests, which link the shared library like every other user, reach them.
#pragma once

#include "framework/framework_export.h"

// The next replacement written by AfxEditFileLocked in this process ends the process with
// _exit(86) after `bytes` bytes of the temporary file, as a crash would. -1 turns it off.
FRAMEWORK_API void AfxSetCrashPointForTesting(long bytes);
