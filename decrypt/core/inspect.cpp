#include "decrypt/core/inspect.h"

#include "decrypt/core/content_processing.h"
#include "decrypt/core/envelope_info.h"
#include "decrypt/core/input_forms.h"
#include "decrypt/core/key_info.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/pkcs7.h"

#include <cstring>
#include <exception>
#include <memory>

namespace {

// The text with control characters shown as '?', for a terminal.
CString Shown(const char* text)
{
    CString shown(text ? text : "");
    for (int i = 0; i < shown.GetLength(); ++i) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        if (c < 0x20 || c == 0x7F)
            shown.SetAt(i, '?');
    }
    return shown;
}

// Reads the whole file into `bytes`; "" on success, else why it cannot be read. Only a plain
// file is read, and opening it never waits (a FIFO put in its place meanwhile fails).
CString ReadInput(const char* path, CByteArray& bytes)
{
    long long size = 0;
    CString problem = AfxDescribeInputProblem(path, &size);
    if (!problem.IsEmpty())
        return problem;
    if (size > kMaxInspectedFileSize) {
        CString why;
        why.Format("it is too large to inspect (%lld bytes; at most %lld)", size, kMaxInspectedFileSize);
        return why;
    }
    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary | CFile::modeRegularOnly, &error))
        return error.m_cause == CFileException::sharingViolation ? "another program is writing it"
                                                                 : "it cannot be opened (no permission to read it?)";
    bytes.SetSize(static_cast<int>(size));
    if (file.Read(bytes.GetData(), static_cast<UINT>(bytes.GetSize())) != static_cast<UINT>(bytes.GetSize()))
        return "it could not be read whole";
    return CString();
}

// The length in bytes of the RC2 key the private key unlocks from `locked`; 0 when it does
// not unlock (another recipient's key, a damaged block).
int UnlockedKeyLength(const CRSAPrivateKey& key, const std::vector<BYTE>& locked)
{
    if (locked.empty() || locked.size() > static_cast<size_t>(CRSAPublicKey::NumberSize))
        return 0;
    try {
        CRSAPrivateKey working(key);
        CRC2key session = working.UnlockRC2Key(locked.data(), static_cast<int>(locked.size()) * 8);
        const int length = session.m_nKeyLength;
        std::memset(session.m_Key, 0, sizeof session.m_Key);
        return length;
    } catch (CException* e) {
        e->Delete();
    }
    return 0;
}

// Whether the key (its certificate `id`, when known) opens the content; `why` says how or
// why not.
int CanOpen(const CEnvelopeView& view, const CRSAPrivateKey* key, const CRecipientView* id, CString& why)
{
    if (!key) {
        why = "no decrypting ID is set";
        return 0;
    }
    if (!view.enveloped) {
        why = view.hasData ? "the content is not encrypted" : "the content holds no message";
        return view.hasData ? 1 : 0;
    }
    if (!view.cipher.allowed) {
        why = view.cipher.problem;
        return 0;
    }
    // The ID's own recipients first, then the others.
    std::vector<size_t> order;
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < view.recipients.size(); ++i)
            if ((id && view.recipients[i].SameCertificate(*id)) == (pass == 0))
                order.push_back(i);
    const bool matched = id && !order.empty() && view.recipients[order[0]].SameCertificate(*id);
    if (matched)
        why.Format("recipient %zu is this ID's certificate", order[0] + 1);
    // With a bits value the certificate settles it; without one the key's length decides,
    // which only unlocking tells.
    if (matched && view.cipher.effectiveBits)
        return 1;
    int tries = 0;
    for (size_t i : order) {
        const CRecipientView& recipient = view.recipients[i];
        if (!recipient.rsa || recipient.encryptedKey.empty())
            continue;
        if (tries++ == kMaxRecipientTrials)
            break;
        const int keyBytes = UnlockedKeyLength(*key, recipient.encryptedKey);
        if (!keyBytes)
            continue;
        if (!view.cipher.effectiveBits && 8ul * keyBytes > kMaxRC2EffectiveBits) {
            why.Format("the content is encrypted with a %d-bit RC2 key; only RC2 with 40-bit keys is decrypted: ask "
                       "the sender to encrypt with RC2-40",
                       8 * keyBytes);
            return 0;
        }
        why.Format("this ID's key unlocks recipient %zu", i + 1);
        return 1;
    }
    if (matched)
        return 1;
    why = "no recipient is this ID: the message was encrypted for other keys";
    if (tries > kMaxRecipientTrials)
        why.Format("no recipient is this ID (the first %d were tried)", kMaxRecipientTrials);
    return 0;
}

int Inspect(const char* path, CString& report)
{
    std::unique_ptr<CASN1_ContentInfo> info;
    CInputForm form;
    {
        CByteArray raw;
        CString why = ReadInput(path, raw);
        if (!why.IsEmpty()) {
            report += "Cannot inspect: " + why + "\n";
            return 0;
        }
        CByteArray der;
        form = AfxRecogniseInput(raw.GetData(), static_cast<size_t>(raw.GetSize()), der);
        if (form != CInputForm::none) {
            raw.SetSize(0);
            try {
                CDEREncoding encoding(der.GetData(), static_cast<unsigned long>(der.GetSize()));
                info = std::make_unique<CASN1_ContentInfo>(encoding);
            } catch (CException* e) {
                e->Delete();
            }
        }
        if (!info) {
            if (form == CInputForm::none || form == CInputForm::der) {
                const CByteArray& bytes = form == CInputForm::none ? raw : der;
                report += "Not S/MIME content: it looks like " +
                    AfxDescribeInput(bytes.GetData(), static_cast<size_t>(bytes.GetSize())) + "\n";
            } else {
                report += CString("Not S/MIME content: the ") + AfxInputFormName(form) +
                    " holds no readable PKCS #7 content\n";
            }
            return 0;
        }
    }
    report += CString("Form: ") + AfxInputFormName(form) + "\n";
    const CEnvelopeView view = DescribeEnvelope(*info);
    info.reset();

    CString layers;
    for (const CString& layer : view.layers)
        layers += (layers.IsEmpty() ? "" : ", ") + layer;
    report += "Layers (outermost first): " + layers + (view.enveloped ? " (what it holds is encrypted)\n" : "\n");

    DecryptionState& state = AfxGetDecryptionState();
    const CRSAPrivateKey* key = state.HasDecryptingID() ? state.GetPrivateKey() : nullptr;
    CRecipientView id;
    const bool haveIdentity = key && ReadIDIdentity(state.m_strKeyFileName, *key, id);

    if (view.enveloped) {
        CString line;
        line.Format("Recipients: %zu\n", view.recipients.size() + static_cast<size_t>(view.otherRecipients));
        report += line;
        for (size_t i = 0; i < view.recipients.size(); ++i) {
            if (i == static_cast<size_t>(kMaxRecipientTrials)) {
                line.Format("  ... and %zu more\n", view.recipients.size() - i);
                report += line;
                break;
            }
            const CRecipientView& recipient = view.recipients[i];
            line.Format("  %zu. ", i + 1);
            report += line + recipient.Describe() +
                (haveIdentity && recipient.SameCertificate(id) ? " (this ID's certificate)\n" : "\n");
        }
        if (view.otherRecipients) {
            line.Format("  and %d of other kinds (not RSA to a certificate's issuer and serial)\n",
                        view.otherRecipients);
            report += line;
        }
        const CCipherView& cipher = view.cipher;
        report += "Content cipher: " + cipher.name;
        if (!cipher.allowed)
            report += " (refused: " + cipher.problem + ")\n";
        else if (!cipher.effectiveBits)
            report += " (within the limit if the key has at most 40 bits)\n";
        else
            report += " (within the limit)\n";
    }
    if (!view.problem.IsEmpty())
        report += "Note: " + view.problem + "\n";

    if (key) {
        report += "Current ID: " + Shown(state.m_strName) +
            (state.m_strKeyFileName.IsEmpty() ? CString(" (no key file)\n")
                                              : " (key file " + Shown(state.m_strKeyFileName) + ")\n");
        report += haveIdentity ? "ID certificate: " + id.Describe() + "\n"
                               : CString("ID certificate: none beside the key file holds its key\n");
    } else {
        report += "Current ID: none\n";
    }
    CString why;
    const int canOpen = CanOpen(view, key, haveIdentity ? &id : nullptr, why);
    report += CString("Can open: ") + (canOpen ? "yes (" : "no (") + why + ")\n";
    return canOpen;
}

}  // namespace

int InspectFile(const char* path, CString& report)
{
    report = "File: " + Shown(path) + "\n";
    try {
        return Inspect(path, report);
    } catch (CException* e) {
        e->Delete();
        report += "Cannot inspect: the file cannot be read\n";
    } catch (const std::exception&) {
        report += "Cannot inspect: there is not enough memory\n";
    }
    return 0;
}
