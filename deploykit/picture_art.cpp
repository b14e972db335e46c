#include "deploykit/picture_art.h"

#include "framework/ui/picture.h"

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
    if (art.width <= 0 || art.height <= 0)
        return FALSE;
    const size_t total = static_cast<size_t>(art.width) * static_cast<size_t>(art.height);
    return AfxDecodePictureRuns(art.palette, 16, art.runs, art.runsSize, total, pixels);
}

} // namespace deploykit
