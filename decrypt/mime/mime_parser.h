// CMimeParser: the MIME processor. Turns a message into a tree of parts with decoded
// bodies: reads each part's header lines (CMimeHeaderReader), cuts containers and text into
// child parts (CMimeSplitter), undoes transfer encodings (CBodyDecoder) and hands S/MIME
// objects, PEM blocks and signed multiparts to the context (CContentHandlers).
#pragma once

#include "framework/types.h"

class CMessage;
class CMimeContext;

class CMimeParser {
public:
    explicit CMimeParser(CMessage& part) : m_part(part) {}

    // Processes a root message with the context its content handlers use.
    void ProcessRoot(CMimeContext* context);
    // Reads the part's header lines (unless it was cut out of text) and processes it; the
    // result is Process's.
    BOOL ProcessChild();
    // Returns TRUE when the part, an S/MIME wrapper, asks to be replaced in its parent by
    // its children (the caller does that, see HoistIntoParent).
    BOOL Process();
    // Moves the part's children and results to the end of its parent, then deletes the
    // part. Nothing may touch it afterwards.
    void HoistIntoParent();

private:
    // Drops the children that hold nothing but a few blanks and line ends.
    void DropBlankChildren();

    CMessage& m_part;
};
