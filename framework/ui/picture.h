// Pictures: the bitmap resources that picture controls show. A picture control's template
// text is the name of a picture registered here; a front end that can draw looks it up.
// The table copies what it is given and keeps it for the life of the process, so a library
// that registers its pictures may be unloaded afterwards.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

#include <cstddef>
#include <memory>
#include <vector>

struct FRAMEWORK_API PictureResource {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;   // 0x00RRGGBB, rows from the top, width * height of them
};

// Registers (or replaces) a picture; FALSE (ERROR_INVALID_PARAMETER) for an empty name, a
// size that is not positive or pixels that do not match it.
FRAMEWORK_API BOOL AfxRegisterPicture(const char* name, int width, int height, std::vector<DWORD> pixels);
// The picture of that name (exact match), or null.
FRAMEWORK_API std::shared_ptr<const PictureResource> AfxFindPicture(const char* name);

// Pictures kept in run-length form: runs holds pairs of (count 1-255, palette index).
// FALSE (pixels left empty) when the runs do not make exactly pixelCount pixels of
// colours from the palette.
FRAMEWORK_API BOOL AfxDecodePictureRuns(const DWORD* palette, size_t paletteSize, const BYTE* runs, size_t runsSize,
                                        size_t pixelCount, std::vector<DWORD>& pixels);
