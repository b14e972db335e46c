// Making a new digital ID: a new RSA key pair, its self-issued certificate and key file.
#pragma once

#include "framework/types.h"

class CDialog;

// Returns 1 when a new ID was made, saved and made current; 0 otherwise (the previous ID
// stays in force).
int CreateDigitalID(CDialog* parent);
