// The MIME processor: turns a message into a tree of parts with decoded bodies.
#include "decrypt/mime/mime_parser.h"

#include "decrypt/mime/body_decoder.h"
#include "decrypt/mime/content_handlers.h"
#include "decrypt/mime/header_lex.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/mime_exception.h"
#include "decrypt/mime/mime_header_reader.h"
#include "decrypt/mime/mime_splitter.h"

#include <algorithm>
#include <vector>

namespace {

// Children of uuencoded text shorter than this that hold only blanks are dropped.
constexpr LONG kBlankChildLimit = 32;

// Plain text as sent (no transfer encoding to undo first), which may carry uuencoded files.
bool IsPlainText(const CMessage& part)
{
    const DWORD content = part.GetContent();
    return (part.GetForm() == kFormPlain || part.GetForm() == kFormMime) && (content == 0 || content == kContentText) &&
           part.m_Children.GetSize() == 0 && CBodyDecoder::DecoderFor(part) == CBodyDecoder::Decoder::none;
}

} // namespace

void CMimeParser::ProcessRoot(CMimeContext* context)
{
    m_part.m_pContext = context;
    m_part.EnsureOpen();
    long long length = m_part.m_Stream.GetLength();
    m_part.CloseStream();
    // Offsets are 32-bit: larger content is refused rather than misread.
    if (length > 0x7FFFFFFF)
        AfxThrowMIMEEncodingException();
    if (m_part.m_nBodyEnd < 0)
        m_part.m_nBodyEnd = static_cast<LONG>(length);
    if (m_part.m_nStreamEnd == 0)
        m_part.m_nStreamEnd = static_cast<DWORD>(length);
    CMimeHeaderReader reader(m_part);
    reader.ReadHeaders();
    reader.ParseAddresses();
    Process();
}

BOOL CMimeParser::ProcessChild()
{
    if (m_part.GetDepth() > kMaxMimeNesting)
        AfxThrowMIMEEncodingException();
    CMimeHeaderReader reader(m_part);
    if (!m_part.m_bNoHeaders)
        reader.ReadHeaders();
    if (m_part.m_pParent && m_part.m_pParent->GetContent() == kContentMessage)
        reader.ParseAddresses();
    return Process();
}

BOOL CMimeParser::Process()
{
    CMimeSplitter splitter(m_part);
    CBodyDecoder decoder(m_part);
    CContentHandlers handlers(m_part);

    // Phase 1: structure.
    if (m_part.GetForm() == kFormUuText) {
        splitter.SplitUuencoded();
        DropBlankChildren();
    } else {
        switch (m_part.GetContent()) {
        case kContentMultipart:
            splitter.SplitMultipart();
            if (AfxStartsWithNoCase(m_part.m_strContentType, "multipart/digest")) {
                // A digest's parts are messages unless they say otherwise.
                for (int i = 0; i < m_part.m_Children.GetSize(); ++i)
                    m_part.m_Children.GetItem(i)->m_nKind = kFormMime | kContentMessage;
            }
            if (m_part.GetFlavour() == kFlavourSigned && m_part.FindContext()->OpensSignedContent()) {
                // Opened: the content as if it were not signed, the signature as a file.
                if (m_part.m_Children.GetSize() >= 2)
                    m_part.m_Children.GetItem(1)->m_strDefaultName = "smime.p7s";
            } else if (m_part.GetFlavour() == kFlavourSigned && m_part.m_Children.GetSize() >= 2) {
                CMessage* signature = m_part.m_Children.GetItem(1);
                CMimeHeaderReader(*signature).ReadHeaders();
                CBodyDecoder(*signature).DecodeBody();
                handlers.HandleMultipartSigned();
                delete m_part.m_Children.DetachAt(1);
            } else if (m_part.GetFlavour() == kFlavourEncrypted) {
                handlers.HandleMultipartEncrypted();
            }
            break;
        case kContentMessage: {
            // Sent with a transfer encoding now and then although none is allowed here.
            const CBodyDecoder::Decoder encoding = CBodyDecoder::DecoderFor(m_part);
            if (encoding == CBodyDecoder::Decoder::base64 || encoding == CBodyDecoder::Decoder::quotedPrintable)
                decoder.DecodeBody();
            m_part.MakeChild(m_part.m_nBodyStart, static_cast<DWORD>(std::max<LONG>(m_part.m_nBodyEnd, 0)), kFormPlain, FALSE);
            m_part.m_nBodyEnd = static_cast<LONG>(m_part.m_nBodyStart);
            break;
        }
        case kContentPkcs7: {
            decoder.DecodeBody();
            CMessage* child = m_part.MakeChild(m_part.m_nBodyStart, static_cast<DWORD>(std::max<LONG>(m_part.m_nBodyEnd, 0)),
                                               kFormSmime | kContentPkcs7, FALSE);
            if (CContentHandlers(*child).HandlePkcs7Object() == kPkcs7KeepAsFile) {
                // Certificates only: nothing to unwrap; the object itself is the attachment.
                child->m_nKind = kFormMime | kContentFile;
                child->m_bNoHeaders = TRUE;
                child->m_nHeaderStart = child->m_nBodyStart;
                child->m_strName = m_part.m_strName;
                child->m_strDefaultName = "smime.p7c";
            } else {
                child->m_nKind = kFormMime;
            }
            m_part.TakeResults(*child);
            m_part.m_nBodyEnd = static_cast<LONG>(m_part.m_nBodyStart);
            break;
        }
        default:
            if (splitter.SplitPemBlocks() == 0 && IsPlainText(m_part) && splitter.SplitUuencodedText())
                DropBlankChildren();
            break;
        }
    }

    // Phase 2: the children.
    if (m_part.GetForm() == kFormUuText) {
        for (int i = 0; i < m_part.m_Children.GetSize(); ++i) {
            CMessage* child = m_part.m_Children.GetItem(i);
            if (child->GetEncoding() == kEncodingUuencode)
                CBodyDecoder(*child).DecodeBody();
        }
    } else {
        // Parts hoisted up from an S/MIME wrapper join the end of the list already
        // processed; only the children present now are processed here.
        std::vector<CMessage*> children;
        for (int i = 0; i < m_part.m_Children.GetSize(); ++i)
            children.push_back(m_part.m_Children.GetItem(i));
        for (CMessage* child : children) {
            CMimeParser parser(*child);
            if (parser.ProcessChild())
                parser.HoistIntoParent();
        }
    }

    // Phase 3: this part's own content.
    switch (m_part.GetForm()) {
    case kFormPem:
        handlers.HandlePemBlock();
        break;
    case kFormMime:
        switch (m_part.GetContent()) {
        case 0:
        case kContentText:
        case kContentFile:
        case kContentOle1:
        case kContentOle2:
            decoder.DecodeBody();
            break;
        default:
            break;
        }
        break;
    case kFormSmime:
        if (m_part.GetContent() == kContentPkcs7 && m_part.m_pParent)
            return TRUE;
        if (m_part.GetContent() == kContentPkcs10) {
            decoder.DecodeBody();
            handlers.HandlePkcs10Request();
        }
        break;
    default:
        break;
    }
    return FALSE;
}

void CMimeParser::HoistIntoParent()
{
    CMessage* parent = m_part.m_pParent;
    if (!parent)
        return;
    while (m_part.m_Children.GetSize() > 0) {
        CMessage* child = m_part.m_Children.DetachAt(0);
        child->m_pParent = nullptr;
        parent->AddChild(child);
    }
    parent->TakeResults(m_part);
    m_part.DetachFromParent();
    delete &m_part;
}

void CMimeParser::DropBlankChildren()
{
    for (int i = m_part.m_Children.GetSize() - 1; i >= 0; --i) {
        CMessage* child = m_part.m_Children.GetItem(i);
        LONG len = child->GetBodyLength();
        if (len >= kBlankChildLimit)
            continue;
        char buf[kBlankChildLimit];
        UINT got = 0;
        if (len > 0) {
            child->EnsureOpen();
            child->m_Stream.Seek(child->m_nBodyStart, CFile::begin);
            got = child->m_Stream.Read(buf, static_cast<UINT>(len));
            child->CloseStream();
        }
        if (std::all_of(buf, buf + got, [](char c) { return c == '\r' || c == '\n' || c == '\t' || c == ' '; }))
            delete m_part.m_Children.DetachAt(i);
    }
}
