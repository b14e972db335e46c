// Decoding: the type factory (tag octet to class) and the recursive BER/DER decoder, in a
// form that makes a new object and one that fills an existing object.
#pragma once

#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/sigilbox_export.h"

// Deepest nesting of constructed values the decoders accept (the outermost value is level
// 1). PKCS #7 with certificates needs about 15; deeper input is refused instead of
// exhausting the stack.
constexpr int kASN1MaxNestingDepth = 64;

// A new, empty object for a tag octet; a tag the library does not model gives a
// CASN1_TAGGED that keeps the value as it is.
SIGILBOX_API CASN1Type* AfxMakeASN1Class(unsigned char tag);

// Decodes the value at the seek index into a new object (the caller owns it); the seek
// index then stands after the value.
SIGILBOX_API CASN1Type* AfxBuildFromEncoding(CDEREncoding& encoding);

// Decodes the value at the seek index into an existing, empty object whose tag octet must
// be the input's.
SIGILBOX_API void AfxBuildFromEncoding(CASN1Type& object, CDEREncoding& encoding);

// As AfxBuildFromEncoding, but into objects all the way down, nothing kept packed (see
// CASN1Children): how a small packed child is decoded when it is asked for.
SIGILBOX_API CASN1Type* AfxBuildFromEncodingPlain(CDEREncoding& encoding);
