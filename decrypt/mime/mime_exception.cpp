#include "decrypt/mime/mime_exception.h"

#include <cstdio>

IMPLEMENT_DYNAMIC(CMIMEEncodingException, CSimpleException)

namespace {
CMIMEEncodingException g_mimeEncodingException;
}

BOOL CMIMEEncodingException::GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext) const
{
    if (helpContext)
        *helpContext = IDS_MIME_ENCODING_ERROR;
    if (!buffer || maxChars == 0)
        return FALSE;
    std::snprintf(buffer, maxChars, "%s", "Invalid symbol is detected during MIME encoding/decoding.");
    return TRUE;
}

void AfxThrowMIMEEncodingException()
{
    throw &g_mimeEncodingException;
}
