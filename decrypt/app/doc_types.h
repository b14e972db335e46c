// The program's two document types (.p7m and .sig) made known to the desktop, so that
// opening such a file starts the program with its path: a shared-mime-info package, a
// desktop entry (the same desktop id as the installed one, so there is only ever one) and
// the application icon in the user's data folder. The .sig type never takes other .sig
// files (OpenPGP signatures): it is told by its content.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

// The contents as the program registers them; `program` is the command the entry runs, in
// a terminal of its own unless the program shows windows.
CString DocTypesMimePackage();
CString DocTypesDesktopEntry(const char* program, bool windows = true);
CString DocTypesIcon();   // the SVG of packaging/quillmar-unsealer.svg

// Writes the package, the entry and the icon under dataFolder (mime/packages/,
// applications/, icons/hicolor/scalable/apps/) when they are missing. Of what is there, only
// what the program wrote and nobody changed is brought up to date (the entry's Exec follows
// the program's path; an earlier version's package gives way); anything else is the
// user's and left alone. Returns the number of files written, -1 when one could not be.
int RegisterShellFileTypes(const char* dataFolder, const char* program, bool windows = true);
// Removes what the program registered there and nobody changed since. Returns the number
// of files removed, -1 when one could not be removed.
int UnregisterShellFileTypes(const char* dataFolder);
