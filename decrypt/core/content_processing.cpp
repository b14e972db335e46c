#include "decrypt/core/content_processing.h"

#include "decrypt/core/envelope_info.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/outcome.h"
#include "decrypt/core/resources.h"
#include "decrypt/core/streamed_envelope.h"
#include "framework/memfile.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/engines/crypto_processor.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/unlock_exception.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/structure_view.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

DecryptionState& AfxGetDecryptionState()
{
    static DecryptionState state;
    return state;
}

unsigned long RC2EffectiveBitsFromParameter(unsigned long value)
{
    switch (value) {
    case 160: return 40;
    case 120: return 64;
    case 58: return 128;
    default: return (value >= 1 && value <= kMaxRC2EffectiveBits) || (value >= 256 && value <= 1024) ? value : 0;
    }
}

namespace {

constexpr UINT IDS_STRONG_CIPHER = 119;

enum class ParameterResult { Bad, Good };

// The IV and effective key bits from a content-encryption algorithm's parameter.
ParameterResult ReadCipherParameter(CASN1_AlgorithmIdentifier& algorithm, BYTE iv[8], unsigned long& effectiveBits)
{
    std::memset(iv, 0, 8);
    effectiveBits = 0;
    if (algorithm.GetComponentsCount() < 2)
        return ParameterResult::Bad;
    CASN1Type& parameter = CASN1_AlgorithmIdentifier::GetParameter(algorithm);
    switch (parameter.m_Tag) {
    case 0x05:
        return ParameterResult::Good;
    case 0x04: {
        auto* octets = dynamic_cast<CASN1_PRIMITIVE_TYPE*>(&parameter);
        if (!octets || octets->GetDataSize() != 8)
            return ParameterResult::Bad;
        std::memcpy(iv, octets->GetData(), 8);
        return ParameterResult::Good;
    }
    case 0x10: {
        if (!CASN1_RC2AlgorithmParameter::IsValid(&parameter))
            return ParameterResult::Bad;
        CASN1_OCTET_STRING& ivString = CASN1_RC2AlgorithmParameter::GetInitializationVector(parameter);
        if (ivString.GetDataSize() != 8)
            return ParameterResult::Bad;
        unsigned long bits = 0;
        if (!CASN1_RC2AlgorithmParameter::GetKeyBits(parameter).GetInteger(bits))
            return ParameterResult::Bad;
        bits = RC2EffectiveBitsFromParameter(bits);
        if (bits < 1 || bits > 1024)
            return ParameterResult::Bad;
        std::memcpy(iv, ivString.GetData(), 8);
        effectiveBits = bits;
        return ParameterResult::Good;
    }
    default:
        return ParameterResult::Bad;
    }
}

void RefuseStrongCipher(CDialog* parent)
{
    CString text;
    text.LoadString(IDS_STRONG_CIPHER);
    MessageBoxA(parent ? parent->GetSafeHwnd() : nullptr, text, AfxGetAppTitle(), MB_OK | MB_ICONEXCLAMATION);
    AfxThrowUnlockException("U.S. domestic version needed");
}

int Process(CASN1_ContentInfo& contentInfo, CFile& outFile, CProgress& progress, CDialog* parent,
            const CRSAPrivateKey& key, int depth);

// Moves the explicit content of the content info into `target`, decoded as the target's
// type; FALSE when it is missing or of another shape. A content of another tag is encoded
// first and released before it is decoded again, so that a large content is held twice at
// the most, never three times; it is gone afterwards in either case.
BOOL TakeExplicitContent(CASN1_ContentInfo& contentInfo, CASN1Type& target)
{
    if (!contentInfo.IsContent())
        return FALSE;
    CASN1_TAGGED& tagged = contentInfo.GetContent();
    if (!tagged.m_bConstructed || tagged.m_Components.GetSize() != 1 || !tagged.m_Components.GetAt(0))
        return FALSE;
    // A SEQUENCE read as a structure class takes its children over as they are (packed ones
    // stay packed), as AfxStructureAt does: nothing is encoded or decoded again.
    auto* plain = dynamic_cast<CASN1_SEQUENCE*>(tagged.m_Components.GetAt(0));
    auto* structure = dynamic_cast<CASN1_SEQUENCE*>(&target);
    if (plain && structure && plain->m_bConstructed && plain->m_Tag == structure->m_Tag) {
        structure->Clear();
        structure->m_Components.TakeOver(plain->m_Components);
        structure->m_bConstructed = TRUE;
        structure->m_bIndefiniteLength = plain->m_bIndefiniteLength;
        contentInfo.ReleaseContent();
        return TRUE;
    }
    const CASN1Type& child = *tagged.m_Components.GetAt(0);
    const BOOL constructed = child.m_bConstructed;
    CDEREncoding encoding(child);
    contentInfo.ReleaseContent();
    encoding[0] = static_cast<unsigned char>(target.m_Tag | (constructed ? 0x20 : 0x00));
    try {
        target.DecodeFrom(encoding);
    } catch (CDERDecodingException* e) {
        e->Delete();
        return FALSE;
    }
    return TRUE;
}

// Reads the explicit content as a SEQUENCE of structure class T and releases it from the
// content info; null when it is missing or of another shape.
template <class T>
std::unique_ptr<T> TakeContent(CASN1_ContentInfo& contentInfo)
{
    auto inner = std::make_unique<T>();
    if (!TakeExplicitContent(contentInfo, *inner))
        return nullptr;
    return inner;
}

// Entry i of the recipients is a recipient entry whose key is encrypted with RSA.
BOOL IsRSARecipient(const CASN1_SET& recipients, int i)
{
    CASN1ScratchValue scratch;
    const CASN1Type* entry = recipients.m_Components.View(i, scratch);
    if (!entry || !CASN1_RecipientInfo::IsValid(entry))
        return FALSE;
    // RecipientInfo: version, issuerAndSerialNumber, keyEncryptionAlgorithm, encryptedKey.
    const CASN1Type* algorithm = AfxChildAt(AfxAsConstructed(entry, 0x10), 2);
    const CASN1Type* id = AfxChildAt(AfxAsConstructed(algorithm, 0x10), 0);
    return id && (AreEqual(*id, CASN1_rsa()) || AreEqual(*id, CASN1_rsaEncryption()));
}

// Fails a layer with its reason.
int Fail(const char* reason)
{
    AfxNoteFailure(reason);
    return 0;
}

int ProcessData(CASN1_ContentInfo& contentInfo, CFile& outFile, CProgress& progress)
{
    if (!contentInfo.IsContent()) {
        progress.Hint(1);
        return 1;
    }
    CASN1_OCTET_STRING data;
    if (!TakeExplicitContent(contentInfo, data))
        return Fail("the data layer is damaged");
    // The value octets only; a segmented string is written as one run.
    int size = data.GetDataSize();
    if (size > 0)
        outFile.Write(data.GetData(), static_cast<UINT>(size));
    progress.Hint(1);
    return 1;
}

// One recipient: unlock the session key, decrypt, and process what it hides.
// Where an envelope's encrypted content is: in the decoded structure, or still in the input
// file (`streamed`); a streamed decryption of a large content may be handed to the caller
// through `later` instead of being run here.
struct CEncryptedSource {
    CStreamedEnvelope* streamed = nullptr;
    std::unique_ptr<CContentDecryption>* later = nullptr;
};

// The streamed content of an envelope holding data: checked, then decrypted into outFile
// (or handed on to run while the output is read).
int DecryptStreamed(CRC2key& sessionKey, CEncryptedSource& source, CFile& outFile, CProgress& progress, int depth)
{
    UINT pad = 0;
    try {
        pad = CheckedPadding(sessionKey, *source.streamed);
    } catch (CException*) {
        std::memset(sessionKey.m_Key, 0, sizeof sessionKey.m_Key);
        AfxNoteFailure("the content is corrupt: it does not decrypt with the key sent to this ID");
        throw;
    }
    auto processor = std::make_unique<CRC2_CBC>(sessionKey);
    std::memset(sessionKey.m_Key, 0, sizeof sessionKey.m_Key);
    progress.Hint(1);
    auto decryption = std::make_unique<CContentDecryption>(std::move(processor), *source.streamed,
                                                           source.streamed->CipherLength() - pad);
    progress.Hint(1);
    progress.Hint(1);
    if (depth + 1 >= kMaxContentNesting)
        return 0;
    if (source.later && decryption->PlainLength() >= kConcurrentDecryptionFrom)
        *source.later = std::move(decryption);
    else
        decryption->Run(outFile);
    progress.Hint(1);
    return 1;
}

int TryRecipient(CASN1_RecipientInfo& recipient, CASN1_EncryptedContentInfo& encrypted, const BYTE iv[8],
                 unsigned long effectiveBits, CEncryptedSource& source, CFile& outFile, CProgress& progress,
                 CDialog* parent, const CRSAPrivateKey& key, int depth, BOOL& unknownCipher)
{
    // An earlier recipient may have decrypted (and released) the content already.
    if (!source.streamed && !encrypted.IsEncryptedContent())
        return 0;
    CASN1_OCTET_STRING encryptedKey(recipient.GetEncryptedKey());
    progress.Hint(1);

    CASN1_AlgorithmIdentifier& algorithm = encrypted.GetContentEncryptionAlgorithm();
    CASN1_OBJECT_IDENTIFIER& cipher = CASN1_AlgorithmIdentifier::GetID(algorithm);
    if (cipher == CASN1_DES_CBC() || cipher == CASN1_DES_EDE3_CBC()) {
        AfxNoteFailure(DescribeContentCipher(algorithm).problem);
        RefuseStrongCipher(parent);
    }
    if (!(cipher == CASN1_RC2_CBC())) {
        AfxNoteFailure(DescribeContentCipher(algorithm).problem);
        unknownCipher = TRUE;
        return 0;
    }
    if (effectiveBits > kMaxRC2EffectiveBits) {
        AfxNoteFailure(DescribeContentCipher(algorithm).problem);
        RefuseStrongCipher(parent);
    }

    CRSAPrivateKey working(key);
    CRC2key sessionKey = working.UnlockRC2Key(encryptedKey.GetData(), encryptedKey.GetDataSize() * 8);
    // Without a bits value (NULL or bare IV) the whole key counts, and so it does for the
    // strength limit: a long key sent that way is as strong as its length.
    if (!effectiveBits && 8u * sessionKey.m_nKeyLength > kMaxRC2EffectiveBits) {
        CString reason;
        reason.Format("the content is encrypted with RC2-CBC and a %u-bit key (no effective-bits value); only RC2 "
                      "with 40-bit keys is decrypted: ask the sender to encrypt with RC2-40",
                      8u * sessionKey.m_nKeyLength);
        AfxNoteFailure(reason);
        std::memset(sessionKey.m_Key, 0, sizeof sessionKey.m_Key);
        RefuseStrongCipher(parent);
    }
    sessionKey.m_nEffectiveBits = static_cast<WORD>(effectiveBits ? effectiveBits : 8u * sessionKey.m_nKeyLength);
    std::memcpy(sessionKey.m_IV, iv, 8);
    if (source.streamed)
        return DecryptStreamed(sessionKey, source, outFile, progress, depth);
    CRC2_CBC processor(sessionKey);
    std::memset(sessionKey.m_Key, 0, sizeof sessionKey.m_Key);
    progress.Hint(1);

    // The encrypted content's value octets (a segmented value arrives concatenated) are
    // decrypted as one run.
    CASN1_TAGGED& content = encrypted.GetEncryptedContent();
    CMemFile plain(1024);
    {
        int size = content.GetDataSize();
        // Room for the whole plaintext at once, so the buffer never holds a copy while it grows.
        plain.SetLength(size);
        plain.SetLength(0);
        CMemFile cipherText(const_cast<BYTE*>(content.GetData()), static_cast<UINT>(size), 0);
        try {
            processor.DecryptFile(cipherText, 0, plain, nullptr);
        } catch (CException*) {
            AfxNoteFailure("the content is corrupt: it does not decrypt with the key sent to this ID");
            throw;
        }
    }
    encrypted.ReleaseContent();
    progress.Hint(1);

    // Plain data goes straight to the output (what a data content info holding these
    // octets would write); any other type is decoded and processed in turn.
    UINT plainSize = static_cast<UINT>(plain.GetLength());
    if (encrypted.GetContentType() == CASN1_data()) {
        progress.Hint(1);
        if (depth + 1 >= kMaxContentNesting)
            return 0;
        if (plainSize)
            outFile.Write(plain.GetBufferPtr(), plainSize);
        progress.Hint(1);
        return 1;
    }
    std::unique_ptr<CASN1Type> inner;
    {
        CDEREncoding der(plain.GetBufferPtr(), plainSize);
        plain.Close();
        inner.reset(AfxBuildFromEncoding(der));
    }
    CASN1_ContentInfo innerInfo(encrypted.GetContentType(), inner.get());
    inner.reset();
    progress.Hint(1);
    return Process(innerInfo, outFile, progress, parent, key, depth + 1);
}

// Why no recipient entry opened: who the message is for, and who this ID is.
CString NoRecipientReason(CASN1_SET& recipients, const CRecipientView* id, const CRSAPrivateKey& key, BOOL bounded)
{
    constexpr int kListed = 5;
    CString text(bounded ? "no recipient entry opened with this ID within the first " : "no recipient matches this ID");
    if (bounded) {
        CString count;
        count.Format("%d tried", kMaxRecipientTrials);
        text += count;
    }
    const int count = recipients.GetComponentsCount();
    text += ": the message is for ";
    int listed = 0;
    for (int i = 0; i < count && listed < kListed; ++i) {
        CASN1_RecipientInfo& recipient = AfxStructureAt<CASN1_RecipientInfo>(recipients, i);
        if (!CASN1_RecipientInfo::IsValid(&recipient))
            continue;
        text += listed++ ? "; " : "";
        text += DescribeRecipient(recipient).Describe();
    }
    if (listed == 0)
        text += "no readable recipient";
    else if (count > listed) {
        CString more;
        more.Format(" and %d more", count - listed);
        text += more;
    }
    CString own;
    if (id)
        own = id->Describe();
    else
        own.Format("a %u-bit RSA key without its certificate file", static_cast<unsigned>(key.m_nModulusBits));
    text += "; this ID is ";
    text += own;
    return text;
}

// An envelope taken from its content info (or read from the file around a streamed content).
int ProcessEnvelope(CASN1_SEQUENCE& envelope, BOOL signedAndEnveloped, CEncryptedSource& source, CFile& outFile,
                    CProgress& progress, CDialog* parent, const CRSAPrivateKey& key, int depth)
{
    const char* const layer = signedAndEnveloped ? "signedAndEnvelopedData" : "envelopedData";
    CString damaged = CString("the ") + layer + " layer is damaged";
    progress.Hint(1);

    CASN1_EncryptedContentInfo* encrypted;
    CASN1_SET* recipients;
    if (signedAndEnveloped) {
        auto& data = static_cast<CASN1_SignedAndEnvelopedData&>(envelope);
        if (!CASN1_SignedAndEnvelopedData::IsValid(&data))
            return Fail(damaged);
        encrypted = &data.GetEncryptedContentInfo();
        recipients = &data.GetRecipientInfos();
    } else {
        auto& data = static_cast<CASN1_EnvelopedData&>(envelope);
        if (!CASN1_EnvelopedData::IsValid(&data))
            return Fail(damaged);
        encrypted = &data.GetEncryptedContentInfo();
        recipients = &data.GetRecipientInfos();
    }
    progress.Hint(1);

    if (!source.streamed && !encrypted->IsEncryptedContent())
        return Fail(CString("the ") + layer + " layer holds no encrypted content");
    BYTE iv[8];
    unsigned long effectiveBits = 0;
    if (ReadCipherParameter(encrypted->GetContentEncryptionAlgorithm(), iv, effectiveBits) != ParameterResult::Good) {
        CCipherView cipher = DescribeContentCipher(encrypted->GetContentEncryptionAlgorithm());
        return Fail(cipher.problem.IsEmpty() ? CString("the content cipher's parameters are damaged") : cipher.problem);
    }
    progress.Hint(1);

    // The entries for this ID's certificate first; the others after them (peers rely on
    // trial decryption), last entry first as always, up to the bound of key operations.
    CRecipientView id;
    const BOOL haveId = ReadIDIdentity(AfxGetDecryptionState().m_strKeyFileName, key, id);
    const int count = recipients->GetComponentsCount();
    std::vector<int> order;
    order.reserve(static_cast<size_t>(count));
    for (int i = count - 1; i >= 0; --i)
        order.push_back(i);
    CByteArray encoding;
    if (haveId)
        std::stable_partition(order.begin(), order.end(), [&](int i) {
            // Told by the serial number in the entry's octets first: most entries of a long
            // list are for other certificates and are never decoded here.
            recipients->m_Components.EncodeChild(i, encoding);
            if (!MayBeRecipientFor(encoding.GetData(), static_cast<size_t>(encoding.GetSize()), id))
                return false;
            // Looked at, not kept: only the entries tried become structures.
            CASN1ScratchValue scratch;
            const CASN1Type* entry = recipients->m_Components.View(i, scratch);
            return entry && IsRecipientFor(*entry, id);
        });
    progress.SetUp(std::min(count, kMaxRecipientTrials) + 7, 0, 1, 0);
    int trials = 0;
    for (int i : order) {
        // Entries that cannot be tried are looked at, not kept: a long list of them costs
        // no more memory than its octets.
        if (!IsRSARecipient(*recipients, i))
            continue;
        CASN1_RecipientInfo& recipient = AfxStructureAt<CASN1_RecipientInfo>(*recipients, i);
        if (trials++ == kMaxRecipientTrials) {
            AfxNoteFailure(NoRecipientReason(*recipients, haveId ? &id : nullptr, key, TRUE));
            return 0;
        }
        BOOL unknownCipher = FALSE;
        try {
            if (TryRecipient(recipient, *encrypted, iv, effectiveBits, source, outFile, progress, parent, key, depth,
                             unknownCipher))
                return 1;
        } catch (CFileException*) {
            throw;   // the output could not be written: no other recipient changes that
        } catch (CMemoryException*) {
            throw;   // nor does it help when the memory ran out
        } catch (CException* e) {
            // Another recipient's key, a padding or decoding error, a refused cipher:
            // the next recipient may still be the user's.
            e->Delete();
        }
        if (unknownCipher)
            return 0;
    }
    AfxNoteFailure(NoRecipientReason(*recipients, haveId ? &id : nullptr, key, FALSE));
    return 0;
}

int ProcessEnveloped(CASN1_ContentInfo& contentInfo, BOOL signedAndEnveloped, CFile& outFile, CProgress& progress,
                     CDialog* parent, const CRSAPrivateKey& key, int depth)
{
    std::unique_ptr<CASN1_SEQUENCE> envelope;
    if (signedAndEnveloped)
        envelope = TakeContent<CASN1_SignedAndEnvelopedData>(contentInfo);
    else
        envelope = TakeContent<CASN1_EnvelopedData>(contentInfo);
    if (!envelope)
        return Fail(CString("the ") + (signedAndEnveloped ? "signedAndEnvelopedData" : "envelopedData") +
                    " layer is damaged");
    CEncryptedSource inStructure;
    return ProcessEnvelope(*envelope, signedAndEnveloped, inStructure, outFile, progress, parent, key, depth);
}

int Process(CASN1_ContentInfo& contentInfo, CFile& outFile, CProgress& progress, CDialog* parent,
            const CRSAPrivateKey& key, int depth)
{
    if (depth >= kMaxContentNesting)
        return Fail("the content nests too many layers");
    CASN1_OBJECT_IDENTIFIER& type = contentInfo.GetContentType();
    if (type == CASN1_data())
        return ProcessData(contentInfo, outFile, progress);

    if (type == CASN1_digestedData()) {
        auto digested = TakeContent<CASN1_DigestedData>(contentInfo);
        if (!digested)
            return Fail("the digestedData layer is damaged");
        progress.Hint(1);
        if (!CASN1_DigestedData::IsValid(digested.get()))
            return Fail("the digestedData layer is damaged");
        progress.Hint(1);
        CASN1_ContentInfo& inner = digested->GetContentInfo();
        if (!inner.IsContent())
            return Fail("the digestedData layer holds no content");
        return Process(inner, outFile, progress, parent, key, depth + 1);
    }

    if (type == CASN1_envelopedData())
        return ProcessEnveloped(contentInfo, FALSE, outFile, progress, parent, key, depth);
    if (type == CASN1_signedAndEnvelopedData())
        return ProcessEnveloped(contentInfo, TRUE, outFile, progress, parent, key, depth);

    if (type == CASN1_signedData()) {
        auto signedData = TakeContent<CASN1_SignedData>(contentInfo);
        if (!signedData)
            return Fail("the signedData layer is damaged");
        progress.Hint(1);
        if (!CASN1_SignedData::IsValid(signedData.get()))
            return Fail("the signedData layer is damaged");
        progress.Hint(1);
        return Process(signedData->GetContentInfo(), outFile, progress, parent, key, depth + 1);
    }
    // Another type: what it is, and for enveloped content of another kind its cipher.
    CEnvelopeView view = DescribeEnvelope(contentInfo);
    if (view.enveloped && !view.cipher.problem.IsEmpty())
        return Fail(view.cipher.problem);
    CString reason("the content is ");
    reason += view.layers.empty() ? CString("of an unknown type") : view.layers.front();
    reason += ", which this program does not open (it opens data, signed, enveloped and digested content)";
    AfxNoteFailure(reason);
    return 0;
}

}  // namespace

int ProcessContentInfo(CASN1_ContentInfo& contentInfo, CFile& outFile, CProgress& progress, CDialog* parent)
{
    CRSAPrivateKey* current = AfxGetDecryptionState().GetPrivateKey();
    if (!current)
        return Fail("no decrypting ID is set up");
    // Work on a copy, so nothing done here touches the decrypting ID.
    CRSAPrivateKey key(*current);
    return Process(contentInfo, outFile, progress, parent, key, 0);
}

int ProcessStreamedEnvelope(CStreamedEnvelope& envelope, CFile& outFile, CProgress& progress, CDialog* parent,
                            std::unique_ptr<CContentDecryption>* later)
{
    CRSAPrivateKey* current = AfxGetDecryptionState().GetPrivateKey();
    if (!current)
        return Fail("no decrypting ID is set up");
    CRSAPrivateKey key(*current);
    CEncryptedSource streamed;
    streamed.streamed = &envelope;
    streamed.later = later;
    return ProcessEnvelope(envelope.Envelope(), FALSE, streamed, outFile, progress, parent, key, 0);
}
