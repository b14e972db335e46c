// The decrypting ID's key file: loading it into the application's decrypting state and
// saving it.
#pragma once

#include "framework/types.h"

class CDialog;

// format: 0 = by the extension of the key file name ("sec" means DER, else archive),
// 1 = archive, 2 = DER. Each returns 1 on success, 0 otherwise.
int LoadKeyFile(CDialog* parent, int format);
int SaveKeyFile(CDialog* parent, int format);
