// The setup pictures, kept as small 16-colour cards in run-length form (drawn by
// deploykit/art/make_pictures.py), and their decoding into pixels.
#pragma once

#include "framework/types.h"

#include <vector>

namespace deploykit {

struct PictureArt {
    UINT bitmapId;
    int width;
    int height;
    const DWORD* palette;   // 16 colours, 0x00RRGGBB
    const BYTE* runs;       // pairs of (count 1-255, colour index)
    size_t runsSize;
};

constexpr int kPictureArtCount = 5;
extern const PictureArt kPictureArt[kPictureArtCount];

// The artwork of a bitmap id, or null.
const PictureArt* FindPictureArt(UINT bitmapId);
// The pixels, or FALSE when the runs do not make exactly width * height valid pixels.
BOOL DecodePictureArt(const PictureArt& art, std::vector<DWORD>& pixels);

} // namespace deploykit
