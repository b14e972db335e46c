// What a piece of S/MIME content is, told without decrypting it: its layers, its recipients
// and its content cipher with the program's verdict on it. Used for the reasons of failed
// files and by `decrypt --inspect`.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

#include <vector>

class CASN1_AlgorithmIdentifier;
class CASN1_ContentInfo;
class CASN1_RecipientInfo;
class CASN1_SET;
class CASN1Type;
class CRSAPrivateKey;

// One recipient entry as the user reads it.
struct CRecipientView {
    CString issuer;      // the issuer's common name; the whole name ("C=.., O=..") without one
    CString serial;      // the serial number in hex, upper case, two digits a byte
    int keyBits = 0;     // the recipient key's size, from the encrypted key's length
    BOOL rsa = FALSE;    // the key-encryption algorithm is RSA
    // "issuer CN, serial 01A2, 512-bit RSA"
    CString Describe() const;
    // Issuer (DER) and serial equal: the same certificate.
    std::vector<BYTE> issuerDer;
    std::vector<BYTE> serialBytes;
    BOOL SameCertificate(const CRecipientView& other) const;
    // The encrypted session key as sent (empty for an ID), for trying a key on it.
    std::vector<BYTE> encryptedKey;
};

// The content cipher and the program's verdict.
struct CCipherView {
    CString name;         // "RC2-CBC 40-bit", "AES-256-CBC", "DES-EDE3-CBC", "AES-128-GCM",
                          // "RC2-CBC (key length decides)", "cipher 1.2.3.4" for one not known
    BOOL known = FALSE;   // this library has the cipher (RC2, DES, Triple-DES)
    BOOL allowed = FALSE; // within the strength limit: RC2 of at most 40 effective bits, or
                          // RC2 without a bits value (then the key's length decides)
    BOOL badParameter = FALSE;  // the parameter is unreadable (an unknown RC2 version included)
    CString problem;      // why not allowed ("" when allowed), ending with what the sender
                          // can do: "... only RC2 with 40-bit keys is decrypted: ask the
                          // sender to encrypt with RC2-40"
    unsigned long effectiveBits = 0;  // RC2's effective key bits when the parameter gives
                                      // them; 0 otherwise (the key's length decides then)
};

CCipherView DescribeContentCipher(CASN1_AlgorithmIdentifier& algorithm);
CRecipientView DescribeRecipient(CASN1_RecipientInfo& recipient);
// A recipient entry (a RecipientInfo, or a plain SEQUENCE viewed in a list) is for the
// certificate `id` describes (issuer and serial), told without describing or keeping the
// entry: cheap enough for every one of many entries.
BOOL IsRecipientFor(const CASN1Type& entry, const CRecipientView& id);
// Told from the entry's encoding alone: FALSE when its serial number is not the one of the
// certificate `id` describes, so it cannot be for that certificate; TRUE when it may be
// (IsRecipientFor decides), also when the encoding is not in the plain definite form.
BOOL MayBeRecipientFor(const BYTE* encoding, size_t size, const CRecipientView& id);

// The identity of the current decrypting ID: the issuer and serial of the certificate in the
// certificate file beside the key file (the first certificate whose public key is the key's);
// FALSE when there is none to read.
BOOL ReadIDIdentity(const char* keyFileName, const CRSAPrivateKey& key, CRecipientView& id);

// The whole content, layer by layer, as `--inspect` reports it.
struct CEnvelopeView {
    std::vector<CString> layers;            // "signedData", "envelopedData", "data" ... outermost first
    std::vector<CRecipientView> recipients; // of the outermost enveloped layer
    CCipherView cipher;                      // of that layer
    BOOL enveloped = FALSE;
    int otherRecipients = 0;   // recipients of other kinds (key agreement, key identifiers...)
    BOOL hasData = FALSE;      // not enveloped: the innermost layer is data holding octets
    CString problem;           // what could not be read ("" when everything could)
};
// Reads what can be read without a key (inner layers of an enveloped layer stay unknown):
// data, signedData and digestedData are descended into (CMS content wrapped in an OCTET
// STRING too), envelopedData, signedAndEnvelopedData and authEnvelopedData give the
// recipients and the cipher, at most kMaxContentNesting layers. The content is left as it is
// (nothing is taken or changed); never raises: what cannot be read is told in `problem`.
CEnvelopeView DescribeEnvelope(CASN1_ContentInfo& contentInfo);
