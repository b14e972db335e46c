// The program's two document types (.p7m and .sig) made known to the desktop, so that
// opening such a file starts the program with its path: a shared-mime-info package and a
// desktop entry in the user's data folder.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

// The contents as the program registers them; `program` is the command the entry runs.
CString DocTypesMimePackage();
CString DocTypesDesktopEntry(const char* program);

// Writes the package and the entry under dataFolder (mime/packages/, applications/) when
// they are missing; what is there already, the user's or an earlier start's, is left alone.
// Returns the number of files written, -1 when one could not be written.
int RegisterShellFileTypes(const char* dataFolder, const char* program);
