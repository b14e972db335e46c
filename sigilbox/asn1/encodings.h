// An ASN.1 value's encoding passed straight into a digest maker or through a crypto
// processor, without the caller holding the encoding.
//
// With contentsOnly nonzero the identifier and length octets of the outermost value (and,
// for an indefinite-length value, its end-of-contents octets) are left out, exactly as
// CASN1Type::EncodeToFile does with the same flag.
#pragma once

#include "framework/file.h"
#include "sigilbox/sigilbox_export.h"

class CASN1Type;
class CCryptoProcessor;
class CDigestMaker;

// Feeds the whole encoding to maker.UpdateBlock as one final block (the digest is finished).
SIGILBOX_API void AfxDigestEncoding(const CASN1Type& object, CDigestMaker& maker, int contentsOnly);
// Encrypts the encoding with processor.EncryptFile (padding added) into out.
SIGILBOX_API void AfxEncryptEncoding(const CASN1Type& object, CCryptoProcessor& processor, CFile& out, int contentsOnly);
// Treats the encoding as ciphertext: processor.DecryptFile writes the plaintext to out; its
// CUnlockException reasons pass on unchanged.
SIGILBOX_API void AfxDecryptEncoding(const CASN1Type& object, CCryptoProcessor& processor, CFile& out, int contentsOnly);
