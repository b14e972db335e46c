#include "deploykit/picture_art.h"

namespace deploykit {

const PictureArt* FindPictureArt(UINT bitmapId)
{
    for (const PictureArt& art : kPictureArt)
        if (art.bitmapId == bitmapId)
            return &art;
    return nullptr;
}

BOOL DecodePictureArt(const PictureArt& art, std::vector<DWORD>& pixels)
{
    pixels.clear();
    if (art.width <= 0 || art.height <= 0 || !art.palette || !art.runs || art.runsSize % 2 != 0)
        return FALSE;
    const size_t total = static_cast<size_t>(art.width) * static_cast<size_t>(art.height);
    pixels.reserve(total);
    for (size_t i = 0; i < art.runsSize; i += 2) {
        const size_t count = art.runs[i];
        const BYTE colour = art.runs[i + 1];
        if (count == 0 || colour >= 16 || count > total - pixels.size()) {
            pixels.clear();
            return FALSE;
        }
        pixels.insert(pixels.end(), count, art.palette[colour]);
    }
    if (pixels.size() != total) {
        pixels.clear();
        return FALSE;
    }
    return TRUE;
}

} // namespace deploykit
