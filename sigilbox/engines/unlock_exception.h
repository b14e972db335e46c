// The failure of every unlocking step: RSA unwrapping of keys and digests, and symmetric
// decryption whose input or padding is wrong.
#pragma once

#include "framework/exceptions.h"
#include "sigilbox/sigilbox_export.h"

// Adds nothing but its type. Thrown by pointer to the library's single static instance
// (auto-delete off), so Delete() on it does nothing.
class SIGILBOX_API CUnlockException : public CException {
    DECLARE_DYNAMIC(CUnlockException)
public:
    explicit CUnlockException(BOOL bAutoDelete = TRUE) : CException(bAutoDelete) {}

    static CUnlockException s_instance;
};

// Throws &CUnlockException::s_instance. The reason is kept only as a diagnostic of the
// calling thread (AfxGetLastUnlockReason), never in the exception.
[[noreturn]] SIGILBOX_API void AfxThrowUnlockException(const char* reason);

// The reason of the last unlock failure raised on this thread (null before the first).
SIGILBOX_API const char* AfxGetLastUnlockReason();
