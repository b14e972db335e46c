// The header and processing calls of CMessage: each hands the message to the class that
// does the work.
#include "decrypt/mime/body_decoder.h"
#include "decrypt/mime/content_handlers.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_header_reader.h"
#include "decrypt/mime/mime_parser.h"
#include "decrypt/mime/mime_splitter.h"

void CMessage::ReadHeaders() { CMimeHeaderReader(*this).ReadHeaders(); }
void CMessage::ParseHeaderLine(const CString& line) { CMimeHeaderReader(*this).ParseHeaderLine(line); }
void CMessage::ParseAddresses() { CMimeHeaderReader(*this).ParseAddresses(); }
void CMessage::WriteHeaders(CMessage* source) { CMimeHeaderReader(*this).WriteHeaders(source); }

void CMessage::ProcessRoot(CMimeContext* context) { CMimeParser(*this).ProcessRoot(context); }
BOOL CMessage::ProcessChild() { return CMimeParser(*this).ProcessChild(); }
BOOL CMessage::Process() { return CMimeParser(*this).Process(); }
void CMessage::HoistIntoParent() { CMimeParser(*this).HoistIntoParent(); }

void CMessage::DecodeBody() { CBodyDecoder(*this).DecodeBody(); }

void CMessage::SplitMultipart() { CMimeSplitter(*this).SplitMultipart(); }
int CMessage::SplitPemBlocks() { return CMimeSplitter(*this).SplitPemBlocks(); }
int CMessage::SplitUuencoded() { return CMimeSplitter(*this).SplitUuencoded(); }
BOOL CMessage::SplitUuencodedText() { return CMimeSplitter(*this).SplitUuencodedText(); }

void CMessage::HandlePemBlock() { CContentHandlers(*this).HandlePemBlock(); }
DWORD CMessage::HandlePkcs7Object() { return CContentHandlers(*this).HandlePkcs7Object(); }
void CMessage::HandlePkcs10Request() { CContentHandlers(*this).HandlePkcs10Request(); }
void CMessage::HandleMultipartSigned() { CContentHandlers(*this).HandleMultipartSigned(); }
void CMessage::HandleMultipartEncrypted() { CContentHandlers(*this).HandleMultipartEncrypted(); }
