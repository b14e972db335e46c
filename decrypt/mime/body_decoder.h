// CBodyDecoder: undoes a part's transfer encoding. The decoded body goes to a new stream of
// the part's own, after a copy of its header block; a body that cannot be decoded is kept
// as it was sent, with a warning for the user.
#pragma once

#include "framework/types.h"

class CMessage;

class CBodyDecoder {
public:
    enum class Decoder { none, base64, quotedPrintable, uuencode, binhex };

    // The decoder the part's transfer encoding (or its uuencoded kind) asks for.
    static Decoder DecoderFor(const CMessage& part);

    explicit CBodyDecoder(CMessage& part) : m_part(part) {}

    void DecodeBody();

private:
    // Adds "<the part>: <problem>" to the warnings of the root.
    void Warn(const char* problem);

    CMessage& m_part;
};
