// The system's MAPI service file and the entries this library writes into it.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

namespace deploykit {

// The service file's name in the system folder.
inline constexpr const char* kMapisvcName = "Mapisvc.inf";
// The longest system folder the library accepts.
constexpr UINT kMaxSystemDirectory = 255;

// The path of the service file, or FALSE (last error set) when the system folder cannot be
// found or is longer than kMaxSystemDirectory.
BOOL GetMapisvcPath(CString& path);

// The display name of the full product: the service the profile wizard is asked to add,
// whichever product is installed.
inline constexpr const char* kFullProductDisplayName = "Quillmar Postlantern";

} // namespace deploykit
