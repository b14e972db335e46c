// Peels PKCS #7 content (signed, digested, enveloped, signed-and-enveloped) down to its data
// with the user's private key, refusing content ciphers above the program's strength limit.
#pragma once

#include "framework/file.h"
#include "framework/types.h"

#include <memory>

class CASN1_ContentInfo;
class CContentDecryption;
class CStreamedEnvelope;
class CDialog;
class CProgress;
class DecryptionState;

// Content infos nest at most this deep (signed around enveloped around data is three).
constexpr int kMaxContentNesting = 16;

// Private-key operations spent on the recipient entries of one enveloped layer at the most:
// the entries for the ID's certificate come first, trial decryption of the others after.
constexpr int kMaxRecipientTrials = 64;

// The strength limit: RC2 with at most this many effective key bits.
constexpr unsigned long kMaxRC2EffectiveBits = 40;

// RC2 parameters carry the effective key bits either as the bits themselves or, as peers
// write them, as the version numbers 160, 120 and 58 (40, 64 and 128 bits). Values of 256
// and above are the bits themselves (RFC 2268; at most 1024), and so are 1 to 40, as older
// senders of this family write them. Any other value (0, 41 to 255 but the three versions,
// above 1024) is an unknown version: 0.
unsigned long RC2EffectiveBitsFromParameter(unsigned long value);

// Writes the innermost data to outFile; nonzero on success, 0 when the content cannot be
// processed. Failures inside the recipient loop are caught there; other library
// exceptions pass on to the caller.
int ProcessContentInfo(CASN1_ContentInfo& contentInfo, CFile& outFile, CProgress& progress, CDialog* parent);

// The same for enveloped data read from its file around the encrypted content, which is
// decrypted from the file chunk by chunk. With `later`, a content of
// kConcurrentDecryptionFrom bytes or more is not decrypted here: the decryption, set up and
// checked, is handed over to be run (into outFile's file) while the output is read.
int ProcessStreamedEnvelope(CStreamedEnvelope& envelope, CFile& outFile, CProgress& progress, CDialog* parent,
                            std::unique_ptr<CContentDecryption>* later = nullptr);

// The application's decrypting state (the current decrypting ID, settings, queue).
DecryptionState& AfxGetDecryptionState();
