#include "decrypt/mime/content_handlers.h"

#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"

#include <algorithm>

namespace {

void WriteResult(CMemFile* file, DWORD value)
{
    BYTE b[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    file->Write(b, 4);
}

} // namespace

DWORD CContentHandlers::RunContentHandler(Handler kind, CMimeContext* context)
{
    CMessage& part = m_part;
    DWORD from = kind == Handler::pem ? part.m_nHeaderStart : part.m_nBodyStart;
    LONG len = part.m_nBodyEnd - static_cast<LONG>(from);
    DWORD length = len > 0 ? static_cast<DWORD>(len) : 0;

    CMessage reader(part.m_pStorage);
    reader.OpenReadingCopy(part, from);
    part.NewStream(TRUE);
    CCloseStreamsOnExit guard{{&part, &reader}};
    if (kind == Handler::pkcs10)
        part.WriteHeaders(&part);
    part.ReplaceResults();
    DWORD result = 0;
    switch (kind) {
    case Handler::pem:
        result = context->OnPemBlock(part.m_pResultB, part.m_pResultA, &reader.m_Stream, &part.m_Stream, length);
        break;
    case Handler::pkcs7:
        result = context->OnPkcs7Object(part.m_pResultB, part.m_pResultA, &reader.m_Stream, length, &part.m_Stream);
        break;
    case Handler::pkcs10:
        result = context->OnPkcs10Request(part.m_pResultB, part.m_pResultA, &reader.m_Stream, &part.m_Stream, length);
        break;
    }
    WriteResult(part.m_pResultA, result);
    part.EndBodyAtStreamEnd();
    return result;
}

void CContentHandlers::HandlePemBlock()
{
    RunContentHandler(Handler::pem, m_part.FindContext());
}

DWORD CContentHandlers::HandlePkcs7Object()
{
    return RunContentHandler(Handler::pkcs7, m_part.FindContext());
}

void CContentHandlers::HandlePkcs10Request()
{
    RunContentHandler(Handler::pkcs10, m_part.FindContext());
}

void CContentHandlers::HandleMultipartSigned()
{
    CMimeContext* context = m_part.FindContext();
    if (m_part.m_Children.GetSize() < 2)
        return;
    CMessage* content = m_part.m_Children.GetItem(0);
    CMessage* signature = m_part.m_Children.GetItem(1);
    LONG contentLength = std::max<LONG>(content->m_nBodyEnd - static_cast<LONG>(content->m_nHeaderStart), 0);
    LONG signatureLength = signature->GetBodyLength();
    CCloseStreamsOnExit guard{{content, signature}};
    content->EnsureOpen();
    content->m_Stream.Seek(content->m_nHeaderStart, CFile::begin);
    signature->EnsureOpen();
    signature->m_Stream.Seek(signature->m_nBodyStart, CFile::begin);
    m_part.ReplaceResults();
    DWORD result = context->OnSignedContent(m_part.m_pResultB, m_part.m_pResultA, &content->m_Stream,
                                            static_cast<DWORD>(contentLength), &signature->m_Stream,
                                            static_cast<DWORD>(signatureLength));
    WriteResult(m_part.m_pResultA, result);
}

void CContentHandlers::HandleMultipartEncrypted()
{
}
