// The program's pictures: its icon (#128) and the picture of the main dialog and the About
// box (#129), kept in run-length form, and the scalable icon for the desktop (all drawn by
// decrypt/app/art/make_app_pictures.py).
#pragma once

#include "framework/types.h"

#include <cstddef>

struct AppPicture {
    const char* name;
    int width;
    int height;
    const DWORD* palette;   // 0x00RRGGBB
    size_t paletteSize;
    const BYTE* runs;       // pairs of (count 1-255, palette index)
    size_t runsSize;
};

constexpr int kAppPictureCount = 2;
extern const AppPicture kAppPictures[kAppPictureCount];   // app_picture_data.cpp

// The scalable icon, as packaging/quillmar-unsealer.svg (app_picture_data.cpp).
extern const char kAppIconSvg[];

// Registers every picture of the program with the framework; FALSE when one is damaged.
BOOL RegisterAppPictures();
