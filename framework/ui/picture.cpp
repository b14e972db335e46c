#include "framework/ui/picture.h"

#include "framework/system.h"

#include <map>
#include <mutex>
#include <string>

namespace {
std::mutex g_pictureLock;
std::map<std::string, std::shared_ptr<const PictureResource>> g_pictures;
}

BOOL AfxRegisterPicture(const char* name, int width, int height, std::vector<DWORD> pixels)
{
    if (!name || !*name || width <= 0 || height <= 0
        || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto picture = std::make_shared<PictureResource>();
    picture->width = width;
    picture->height = height;
    picture->pixels = std::move(pixels);
    std::lock_guard<std::mutex> guard(g_pictureLock);
    g_pictures[name] = std::move(picture);
    return TRUE;
}

std::shared_ptr<const PictureResource> AfxFindPicture(const char* name)
{
    if (!name)
        return nullptr;
    std::lock_guard<std::mutex> guard(g_pictureLock);
    auto it = g_pictures.find(name);
    return it == g_pictures.end() ? nullptr : it->second;
}

BOOL AfxDecodePictureRuns(const DWORD* palette, size_t paletteSize, const BYTE* runs, size_t runsSize,
                          size_t pixelCount, std::vector<DWORD>& pixels)
{
    pixels.clear();
    if (!palette || !runs || runsSize % 2 != 0)
        return FALSE;
    pixels.reserve(pixelCount);
    for (size_t i = 0; i < runsSize; i += 2) {
        const size_t count = runs[i];
        const size_t colour = runs[i + 1];
        if (count == 0 || colour >= paletteSize || count > pixelCount - pixels.size()) {
            pixels.clear();
            return FALSE;
        }
        pixels.insert(pixels.end(), count, palette[colour]);
    }
    if (pixels.size() != pixelCount) {
        pixels.clear();
        return FALSE;
    }
    return TRUE;
}
