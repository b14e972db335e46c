// CMessage: one mail message or one part of it (a MIME body part, a PEM block, a uuencoded
// attachment). Its text is not held in memory: it lives in a stream of the message store,
// and the part covers a byte range of that stream (header lines, then the body). Several
// parts may share one stream.
//
// Typical use: make a store on a working folder, a root message on it, give the root the
// name of the stream that holds the text, and run the MIME processor:
//
//     CMessageStore* store = new CMessageStore(folder);
//     CMessage root(store);                 // takes its own reference to the store
//     root.SetStreamName(name);             // the body range defaults to the whole stream
//     root.ProcessRoot(&context);
//     store->Release();
//
// The message is the record, the tree of parts and the access to its stream. Reading its
// header lines is CMimeHeaderReader's work and processing it CMimeParser's; the header and
// processing calls below hand the message over to them.
#pragma once

#include "decrypt/mime/message_records.h"
#include "decrypt/mime/ole_stream.h"
#include "framework/file.h"
#include "framework/memfile.h"

#include <vector>

class CMessage;
class CMimeContext;
class IMessageStore;

// ---- the content-kind word ------------------------------------------------------------------

constexpr DWORD kKindFormMask = 0x000F;
constexpr DWORD kKindContentMask = 0x00F0;
constexpr DWORD kKindEncodingMask = 0x0F00;
constexpr DWORD kKindFlavourMask = 0xF000;

constexpr DWORD kFormPlain = 0x1;        // plain RFC 822 text
constexpr DWORD kFormPem = 0x2;          // a PEM block
constexpr DWORD kFormMime = 0x3;         // a MIME entity
constexpr DWORD kFormSmime = 0x4;        // an S/MIME object
constexpr DWORD kFormUuText = 0x5;       // text that carries uuencoded attachments

constexpr DWORD kContentText = 0x10;
constexpr DWORD kContentFile = 0x20;
constexpr DWORD kContentMultipart = 0x30;
constexpr DWORD kContentOle1 = 0x40;
constexpr DWORD kContentOle2 = 0x50;
constexpr DWORD kContentMessage = 0x60;
constexpr DWORD kContentPkcs7 = 0xA0;
constexpr DWORD kContentPkcs10 = 0xB0;

constexpr DWORD kEncodingBase64 = 0x200;
constexpr DWORD kEncodingQuotedPrintable = 0x300;
constexpr DWORD kEncodingUuencode = 0x400;
constexpr DWORD kEncodingBinhex = 0x500;

constexpr DWORD kFlavourSigned = 0x2000;
constexpr DWORD kFlavourEncrypted = 0x3000;

constexpr DWORD kKindUuAttachment = 0x425;

// Limits that keep hostile messages bounded.
constexpr int kMaxMimeNesting = 32;          // multiparts and embedded messages inside each other
constexpr int kMaxMimeParts = 10000;         // parts one message may be split into
constexpr int kMaxHeaderLength = 1 << 20;    // one unfolded header line

class CMessages : public COwningArray<CMessage> {
    DECLARE_SERIAL(CMessages)
public:
    void Serialize(CArchive& ar) override;
};

class CMessage : public CObject, public CAdoptable {
    DECLARE_SERIAL(CMessage)
public:
    CMessage();
    // A message in a store; takes a reference to it.
    explicit CMessage(IMessageStore* storage);
    // A part of `parent`: appended to its children, sharing its store.
    explicit CMessage(CMessage* parent);
    ~CMessage() override;
    CMessage(const CMessage&) = delete;
    CMessage& operator=(const CMessage&) = delete;

    void Reset();

    // ---- the stream ----
    // Takes the name and a reference to it in the store (releasing any name held before).
    void SetStreamName(const char* name);
    CString GetStreamName() const { return m_strStreamName; }
    // Opens the stream by name if it is closed; TRUE when it opened it.
    BOOL EnsureOpen();
    void CloseStream();
    // Reads the body from where the stream stands (from the body start once the stream has
    // just been opened); closes the stream once the body end is reached.
    UINT ReadBody(void* buffer, UINT count);
    // Writes at the stream's position (a closed stream is created, or reopened at its end).
    void Append(const void* data, UINT count);
    void AppendString(const char* text);
    // A fresh stream for this message; with `reset` all four offsets become 0.
    void NewStream(BOOL reset);
    // Opens this message (made on the same store as `source`) on `source`'s stream,
    // standing at `offset`: the reading side while `source` writes a new stream of its own.
    void OpenReadingCopy(const CMessage& source, DWORD offset);
    // The body runs to the end of what the stream holds now.
    void EndBodyAtStreamEnd();
    // The end of what ReadHeaders and the splits may read: the body end, or the stream's
    // length while the body end is unset.
    DWORD ScanLimit();

    // ---- the tree ----
    void AddChild(CMessage* child);
    void DetachFromParent();
    CMessage* GetRoot();
    int GetDepth() const;
    // A new last child over [headerStart, bodyEnd) of this stream; counts against the
    // parts one message may be split into.
    CMessage* MakeChild(DWORD headerStart, DWORD bodyEnd, DWORD kind, BOOL noHeaders);
    // The context the root was processed with; "not supported" when there is none.
    CMimeContext* FindContext();

    // ---- the content handlers' results ----
    // Two empty result files in place of any held before.
    void ReplaceResults();
    // Takes `other`'s result files in place of this one's, leaving `other` without any.
    void TakeResults(CMessage& other);

    // ---- headers (CMimeHeaderReader does the work) ----
    void ReadHeaders();
    void ParseHeaderLine(const CString& line);
    void ParseAddresses();
    // Appends the header block of `source` (which may be this message) to this stream.
    void WriteHeaders(CMessage* source);

    // ---- MIME processing (CMimeParser and the classes it uses do the work) ----
    void ProcessRoot(CMimeContext* context);
    // Reads the part's header lines (unless it was cut out of text) and processes it; the
    // result is Process's.
    BOOL ProcessChild();
    // Returns TRUE when this part, an S/MIME wrapper, asks to be replaced in its parent by
    // its children (the caller does that, see HoistIntoParent).
    BOOL Process();
    void DecodeBody();
    void SplitMultipart();
    int SplitPemBlocks();
    int SplitUuencoded();
    // Splits plain text that carries uuencoded blocks into its pieces and files; FALSE (and
    // nothing changed) when it carries none.
    BOOL SplitUuencodedText();
    void HandlePemBlock();
    // The context's answer (kPkcs7KeepAsFile: the object is certificates only).
    DWORD HandlePkcs7Object();
    void HandlePkcs10Request();
    void HandleMultipartSigned();
    void HandleMultipartEncrypted();
    // Moves this part's children and results to the end of its parent, then deletes this
    // part. Nothing may touch it afterwards.
    void HoistIntoParent();

    void Serialize(CArchive& ar) override;

    DWORD GetForm() const { return m_nKind & kKindFormMask; }
    DWORD GetContent() const { return m_nKind & kKindContentMask; }
    DWORD GetEncoding() const { return m_nKind & kKindEncodingMask; }
    DWORD GetFlavour() const { return m_nKind & kKindFlavourMask; }
    LONG GetBodyLength() const { return m_nBodyEnd > static_cast<LONG>(m_nBodyStart) ? m_nBodyEnd - static_cast<LONG>(m_nBodyStart) : 0; }
    IMessageStore* GetStorage() const { return m_pStorage; }
    // The part's name for a warning: its file name, or its content type.
    CString DescribeForUser() const;

    // The "kept" fields belong to the stored record of the family's messages: this program
    // fills none of them, but carries what a stored file holds in them through a load and a
    // store unchanged.
    CHeaderRecords m_Headers;
    CString m_strBoundary;
    CString m_strName;
    CString m_strContentType;
    CMessages m_Children;
    CMimeContext* m_pContext;
    CMemFile* m_pResultA;
    CMemFile* m_pResultB;
    CString m_strProtocol;
    CString m_strMicalg;
    CString m_strSpare;            // never stored, never set
    DWORD m_nKeptFlagsA;           // kept: the three flag words after the content kind
    DWORD m_nKeptFlagsB;
    DWORD m_nKeptFlagsC;
    CString m_strKeptTextA;        // kept: the three strings after the message id
    CString m_strKeptTextB;
    CString m_strKeptTextC;
    IMessageStore* m_pStorage;
    CString m_strStreamName;
    COleStream m_Stream;
    CTime m_Date;
    LONG m_nZone;
    CTime m_KeptTimeA;             // kept: the two times after the date ("now" on reset)
    CTime m_KeptTimeB;
    DWORD m_nStreamEnd;
    DWORD m_nHeaderStart;
    DWORD m_nBodyStart;
    LONG m_nBodyEnd;
    CRcpt m_Sender;
    CRcpts m_Recipients;
    DWORD m_nKind;
    CMessage* m_pParent;
    CString m_strKeptBeforeId;     // kept: the string stored just before the message id
    CString m_strMessageId;
    CInetServers m_Servers;

    // A part cut out of text (by the PEM or uuencode split) has no header lines of its own.
    BOOL m_bNoHeaders;

    // What the processor could not take whole (a damaged encoding, a body kept as sent):
    // collected on the root, one line each, for the user.
    void AddWarning(const CString& text);
    CStringArray m_Warnings;
    // The name an unnamed file part is written under instead of a numbered one ("smime.p7s").
    CString m_strDefaultName;

private:
    void ReleaseStreamName();
    void BindStoreToChildren();

    int m_nPartsMade;   // on the root: parts the splits made in the whole tree
};

// Closes the streams of the given messages however the scope is left.
struct CCloseStreamsOnExit {
    std::vector<CMessage*> messages;
    ~CCloseStreamsOnExit()
    {
        for (CMessage* m : messages)
            m->CloseStream();
    }
};

// The local time zone as +-HHMM (UTC+2 gives 200, UTC-5:30 gives -530).
LONG AfxGetLocalZone();
