// CContentHandlers: hands a part's content to the root's CMimeContext: a PEM block, a
// PKCS #7 object, a PKCS #10 request, a signed multipart. What the context writes becomes
// the part's new stream, and its answer is written into the part's result A.
#pragma once

#include "framework/types.h"

class CMessage;
class CMimeContext;

class CContentHandlers {
public:
    explicit CContentHandlers(CMessage& part) : m_part(part) {}

    void HandlePemBlock();
    // The context's answer (kPkcs7KeepAsFile: the object is certificates only).
    DWORD HandlePkcs7Object();
    void HandlePkcs10Request();
    void HandleMultipartSigned();
    void HandleMultipartEncrypted();

private:
    enum class Handler { pem, pkcs7, pkcs10 };
    // The part's text goes to the context from a reading copy; what the context writes
    // becomes the part's new stream.
    DWORD RunContentHandler(Handler kind, CMimeContext* context);

    CMessage& m_part;
};
