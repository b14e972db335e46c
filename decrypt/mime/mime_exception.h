// The one exception every transfer decoder and the MIME processor raise on input they
// cannot make sense of. Like the library's other exceptions it is thrown by pointer to a
// single static instance whose auto-delete flag is off, so a catch site's Delete() leaves
// it alive.
#pragma once

#include "framework/exceptions.h"

class CMIMEEncodingException : public CSimpleException {
    DECLARE_DYNAMIC(CMIMEEncodingException)
public:
    CMIMEEncodingException() : CSimpleException(FALSE) {}
    // "Invalid symbol is detected during MIME encoding/decoding."
    BOOL GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext = nullptr) const override;
};

// String-table entry of the message above.
constexpr UINT IDS_MIME_ENCODING_ERROR = 99;

[[noreturn]] void AfxThrowMIMEEncodingException();
