#include "decrypt/mime/mime_context.h"

#include "framework/exceptions.h"

DWORD CMimeContext::Reserved0(void*, void*, void*) { AfxThrowNotSupportedException(); }
DWORD CMimeContext::OnPemBlock(CMemFile*, CMemFile*, CFile*, CFile*, DWORD) { AfxThrowNotSupportedException(); }
DWORD CMimeContext::Reserved2(void*, void*, void*) { AfxThrowNotSupportedException(); }
DWORD CMimeContext::OnPkcs7Object(CMemFile*, CMemFile*, CFile*, DWORD, CFile*) { AfxThrowNotSupportedException(); }
DWORD CMimeContext::OnPkcs10Request(CMemFile*, CMemFile*, CFile*, CFile*, DWORD) { AfxThrowNotSupportedException(); }
DWORD CMimeContext::Reserved5(void*, void*, void*) { AfxThrowNotSupportedException(); }
DWORD CMimeContext::OnSignedContent(CMemFile*, CMemFile*, CFile*, DWORD, CFile*, DWORD) { AfxThrowNotSupportedException(); }
