// The setup library's entry points, called by the product family's installer, which loads
// the library at run time and looks the names up. Every entry point takes the installer's
// window, a pointer to a 32-bit integer and a character buffer (in/out parameters of the
// installer; an entry point ignores what it does not use) and returns a 32-bit integer.
//
// The framework inside the library gives way to the installer's own copy when the
// installer carries one: window handles, message boxes and dialogs are then the
// installer's, as the platform's services are shared by every module of a process.
#pragma once

#include "framework/types.h"

#if defined(__GNUC__)
#define DEPLOYKIT_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define DEPLOYKIT_EXPORT extern "C"
#endif

// The shape of every entry point, for installers that look them up.
using DeploykitEntry = LONG (*)(HWND window, LONG* value, char* text);

// Registers the mail service in the system's MAPI service file. *value selects the product
// (0 the full one, anything else the light one); text is the installation folder, ending in
// a path separator. 1 on success; 0 when the system folder cannot be found, an argument is
// missing or unusable, or the file could not be written.
DEPLOYKIT_EXPORT LONG EditMapisvc(HWND window, LONG* value, char* text);
// 1 when the MAPI library can be loaded.
DEPLOYKIT_EXPORT LONG CheckMapi(HWND window, LONG* value, char* text);
// *value 0: runs the MAPI profile wizard and puts the new profile's name in text (which
// holds kDeploykitProfileNameSize bytes); 1 when the wizard could be called. *value 1:
// runs the administration program from the folder in text and waits for it; 1 when it ran.
// Other values: 0.
DEPLOYKIT_EXPORT LONG RunWizard(HWND window, LONG* value, char* text);
// Shows setup picture *value (0-4) over the installer's window and moves its controls to
// the bottom of it; always 1.
DEPLOYKIT_EXPORT LONG ShowBitmap(HWND window, LONG* value, char* text);
// Takes the picture away again; always 1.
DEPLOYKIT_EXPORT LONG HideBitmap(HWND window, LONG* value, char* text);
// Calls the self-registration entry point of the library named by text; always 1.
DEPLOYKIT_EXPORT LONG RegisterDAO(HWND window, LONG* value, char* text);

// The profile name buffer the wizard fills: 255 characters and the terminator.
constexpr int kDeploykitProfileNameSize = 256;
