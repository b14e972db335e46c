// `decrypt --inspect FILE...`: what a file holds and whether the current decrypting ID can
// open it, told without decrypting the content and without writing any file.
#pragma once

#include "framework/cstring.h"

// Files larger than this are not read for a report.
constexpr long long kMaxInspectedFileSize = 256ll << 20;


// Reads the file in any form users meet (DER, base64, PEM armour, a whole S/MIME mail) and
// writes the report into `report`: a few plain lines ending in '\n' (the file, its form, the
// layers outermost first, each recipient, the content cipher with the program's verdict, the
// current ID and whether it can open the file). 1 when the current decrypting ID can open
// the file, 0 otherwise; for a file that cannot be read (missing, a folder, not a plain file,
// empty, too large, no S/MIME content) the report says why. Never raises.
int InspectFile(const char* path, CString& report);
