// CMimeSplitter: cuts the body of a message part into child parts over the same stream: a
// multipart at its boundary lines, text at its PEM markers, text around its uuencoded
// blocks. A split that makes parts leaves the part's own body empty.
#pragma once

#include "framework/types.h"

class CMessage;

class CMimeSplitter {
public:
    explicit CMimeSplitter(CMessage& part) : m_part(part) {}

    void SplitMultipart();
    // Returns the parts made (0: no PEM block, nothing changed).
    int SplitPemBlocks();
    // Returns the parts made: the text pieces and the uuencoded files.
    int SplitUuencoded();
    // Splits plain text that carries uuencoded blocks into its pieces and files; FALSE (and
    // nothing changed) when it carries none.
    BOOL SplitUuencodedText();

private:
    CMessage& m_part;
};
