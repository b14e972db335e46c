// Making a new digital ID: a new RSA key pair, its self-issued certificate and key file.
#pragma once

#include "framework/types.h"

class CDialog;

// Returns 1 when a new ID was made, saved and made current; 0 otherwise (the previous ID
// stays in force).
int CreateDigitalID(CDialog* parent);

// The same for a key file chosen beforehand (the command line's new-ID option): no file
// dialog; the key file's format follows its extension ("sec": DER, else archive). Replacing
// an existing file is still asked.
int CreateDigitalID(CDialog* parent, const char* keyFileName);
