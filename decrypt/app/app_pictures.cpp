#include "decrypt/app/app_pictures.h"

#include "framework/ui/picture.h"

#include <vector>

BOOL RegisterAppPictures()
{
    BOOL ok = TRUE;
    for (const AppPicture& picture : kAppPictures) {
        std::vector<DWORD> pixels;
        const size_t total = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
        if (!AfxDecodePictureRuns(picture.palette, picture.paletteSize, picture.runs, picture.runsSize, total, pixels)
            || !AfxRegisterPicture(picture.name, picture.width, picture.height, std::move(pixels)))
            ok = FALSE;
    }
    return ok;
}
