// CMimeContext: what the MIME processor hands PEM blocks, S/MIME objects and signed
// multiparts to. The operations are in the slot order of the family's interface; the
// base class implements none of them (each raises "not supported"), which is the context
// the decrypt driver uses. Each operation gets the part's two result files (B, then A),
// and returns a 32-bit value that the processor writes into result A.
#pragma once

#include "framework/file.h"
#include "framework/memfile.h"
#include "framework/types.h"

class CMimeContext {
public:
    virtual ~CMimeContext() = default;

    virtual DWORD Reserved0(void* a, void* b, void* c);                                    // 0
    // A PEM block with its encapsulated header fields: length bytes of `source`.
    virtual DWORD OnPemBlock(CMemFile* resultB, CMemFile* resultA, CFile* source, CFile* destination, DWORD length);  // 1
    virtual DWORD Reserved2(void* a, void* b, void* c);                                    // 2
    // The body of an application/x-pkcs7-mime part; the unwrapped content goes to
    // `destination`.
    virtual DWORD OnPkcs7Object(CMemFile* resultB, CMemFile* resultA, CFile* source, DWORD length, CFile* destination);  // 3
    virtual DWORD OnPkcs10Request(CMemFile* resultB, CMemFile* resultA, CFile* source, CFile* destination, DWORD length);  // 4
    virtual DWORD Reserved5(void* a, void* b, void* c);                                    // 5
    // The signed content (its header lines included) and the signature's decoded body.
    virtual DWORD OnSignedContent(CMemFile* resultB, CMemFile* resultA, CFile* content, DWORD contentLength,
                                  CFile* signature, DWORD signatureLength);                // 6

    // Signed content is opened rather than refused: a multipart/signed part is processed
    // as its content plus the signature as a file, and OnPkcs7Object unwraps signed objects.
    virtual BOOL OpensSignedContent() const { return FALSE; }
};

// What OnPkcs7Object answers for an object that carries certificates and no content: the
// source bytes were copied to the destination and are kept as a file.
constexpr DWORD kPkcs7KeepAsFile = 2;
