// The forms an S/MIME input reaches users in, recognised by content: the DER itself, its
// base64 text (with or without line breaks), PEM armour ("-----BEGIN PKCS7-----",
// "-----BEGIN CMS-----") and a whole S/MIME mail (a saved message whose type is
// application/(x-)pkcs7-mime). The extension rule of the decrypt driver comes first; these
// are tried when it does not give PKCS #7.
#pragma once

#include "framework/arrays.h"
#include "framework/cstring.h"

#include <cstddef>

enum class CInputForm { none, der, base64, pem, smimeMail };

// The DER the bytes carry and the form they had; CInputForm::none (and `der` empty) when
// they are none of the forms. Only a result that starts as a DER SEQUENCE counts.
CInputForm AfxRecogniseInput(const BYTE* data, size_t size, CByteArray& der);

// The form's name for the user ("DER", "base64 text", "PEM armour", "an S/MIME mail").
const char* AfxInputFormName(CInputForm form);

// What bytes that are no S/MIME content look like, for the user: "a certificate (PEM)",
// "a private key (PEM)", "a mail message without S/MIME content", "text", "binary data"...
CString AfxDescribeInput(const BYTE* data, size_t size);

// Where BER bytes stop fitting their own lengths: "the content is truncated: it ends at byte
// M, but the element at byte N runs to byte K", "the content is corrupt at byte N (...)";
// empty when the first element is whole.
CString AfxDescribeEncodingFault(const BYTE* data, size_t size);

// Why a path cannot be an input at all, before anything is read or made for it: "the file
// does not exist", "it is a folder, not a file", "it is not a regular file (a FIFO, a socket
// or a device)", "the file is empty"...; empty when it can. `size` gets a regular file's length.
CString AfxDescribeInputProblem(const char* path, long long* size = nullptr);
