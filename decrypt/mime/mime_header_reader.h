// CMimeHeaderReader: reads the header block of a message part into the part (its header
// records, its content kind, name, boundary, date and addresses, by the rules mailers
// follow in practice), and writes a header block back into a part's stream.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

class CMessage;

class CMimeHeaderReader {
public:
    explicit CMimeHeaderReader(CMessage& part) : m_part(part) {}

    // Reads the header lines from the part's header start; the body starts after the
    // empty line, or at the first line that is no header field.
    void ReadHeaders();
    // One unfolded header line: recorded, and applied when it is one the part depends on.
    void ParseHeaderLine(const CString& line);
    // The sender from "From", the recipients from "To" and "Cc".
    void ParseAddresses();
    // Appends the header block of `source` (which may be the part itself) to the part's
    // stream; the part's body starts after it.
    void WriteHeaders(CMessage* source);

private:
    void ParseContentType(const CString& value);
    void ParseDisposition(const CString& value);
    void ParseTransferEncoding(const CString& value);
    void ParseDate(const CString& value);
    // After the header lines: a file name from Content-Disposition (whatever the
    // disposition) comes before Content-Type's, and a part that has one is a file.
    void ResolvePartName();
    // The parameter's file name, if the part has no name yet, making it a file; FALSE when
    // the parameter is absent (unless an absent one counts as an empty name).
    BOOL ApplyNamedFile(const CString& value, const char* parameter, BOOL treatAbsentAsEmpty);
    // Sets the form and content of the kind word, keeping its encoding and flavour.
    void SetFormAndContent(DWORD formAndContent);

    CMessage& m_part;
};
