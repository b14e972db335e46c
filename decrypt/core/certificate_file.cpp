#include "decrypt/core/certificate_file.h"

#include "decrypt/core/certificate_dialog.h"
#include "decrypt/core/certificate_file_ids.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/dialog_helpers.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/resources.h"
#include "framework/app.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/memfile.h"
#include "framework/registry.h"
#include "framework/system.h"
#include "framework/ui/message_box.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/hex_text.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/unlock_exception.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/pkcs7.h"
#include "sigilbox/pki/rdn_sequence.h"

#include <cstring>

namespace {

const char kCounterKey[] = "Software\\Quillmar\\Postlantern";
const char kCounterSection[] = "SERIAL NUMBERS";

// A stored counter longer than this is not ours: it is read as a counter that failed to load.
constexpr DWORD kMaxStoredCounter = 1024;
constexpr int kMaxCounterBytes = 255;

void ShowError(CDialog* parent, const char* text)
{
    MessageBoxA(parent ? parent->GetSafeHwnd() : nullptr, text, kAppTitle, MB_OK | MB_ICONEXCLAMATION);
}

// "SN_" and the first 15 bytes of the MD5 digest of the issuer's DER encoding, in hex.
CString CounterValueName(const CDistinguishedName& issuer)
{
    CASN1_RDNSequence sequence(issuer);
    CDEREncoding encoding(sequence);
    CMD5DigestMaker md5;
    md5.UpdateBlock(encoding.GetData(), encoding.GetSize(), nullptr, 1);
    BYTE digest[CMD5DigestMaker::DigestLength];
    md5.GetCurrentDigest(digest);
    return CString("SN_") + OctetsToHexChars(digest, 15);
}

// The counter after the stored one; the single byte 1 when the stored one does not load.
CSerialNumber IncrementedCounter(const CByteArray& stored)
{
    static const BYTE one = 1;
    try {
        CMemFile file(const_cast<BYTE*>(stored.GetData()), static_cast<UINT>(stored.GetSize()));
        CArchive ar(&file, CArchive::load);
        CSerialNumber counter;
        counter.Serialize(ar);
        ar.Close();
        if (counter.GetSize() > kMaxCounterBytes)
            return CSerialNumber(&one, 1);
        CHugeDigit value;
        value.Decode(counter.GetData(), static_cast<unsigned short>(counter.GetSize()));
        CHugeDigit next = value + CHugeDigit(1ul);
        int bytes = (next.Bits() + 7) / 8;
        BYTE buffer[kMaxCounterBytes + 1];
        next.Encode(buffer, static_cast<unsigned short>(bytes));
        return CSerialNumber(buffer, bytes);
    } catch (CException* e) {
        e->Delete();
    }
    return CSerialNumber(&one, 1);
}

// A first counter: the tick count and the calendar time, in machine byte order, read as a
// big-endian number, in its shortest form.
CSerialNumber FirstCounter()
{
    BYTE bytes[8];
    DWORD ticks = GetTickCount();
    std::uint32_t seconds = static_cast<std::uint32_t>(CTime::GetCurrentTime().GetTime());
    std::memcpy(bytes, &ticks, 4);
    std::memcpy(bytes + 4, &seconds, 4);
    int first = 0;
    while (first < 7 && bytes[first] == 0)
        ++first;
    return CSerialNumber(bytes + first, 8 - first);
}

// The counter as it is stored: its archive form.
CByteArray StoredForm(CSerialNumber counter)
{
    CMemFile block;
    {
        CArchive ar(&block, CArchive::store);
        counter.Serialize(ar);
        ar.Close();
    }
    CByteArray value;
    value.SetSize(static_cast<int>(block.GetLength()));
    if (value.GetSize() > 0)
        std::memcpy(value.GetData(), block.GetBufferPtr(), static_cast<size_t>(value.GetSize()));
    return value;
}

// The counter kept in the application profile (the 16-bit-hosted platform has no machine
// settings): read, counted on and written back.
BOOL AdvanceProfileCounter(const CString& name, CSerialNumber& counter)
{
    CWinApp* app = AfxGetWinApp();
    if (!app)
        return FALSE;
    CByteArray stored;
    counter = app->GetProfileBinary(kCounterSection, name, stored) ? IncrementedCounter(stored) : FirstCounter();
    CByteArray value = StoredForm(counter);
    return app->WriteProfileBinary(kCounterSection, name, value.GetData(), static_cast<UINT>(value.GetSize()));
}

// The counter in the machine settings, read, counted on and written back under the hive's
// lock, so two instances making certificates at once never count from the same value.
BOOL AdvanceMachineCounter(const CString& name, CSerialNumber& counter)
{
    CString folder = AfxGetConfigFolder();
    if (folder.IsEmpty() || !AfxCreateFolderPath(folder, 0700))
        return FALSE;
    CString hivePath = AfxGetHivePath(HKEY_LOCAL_MACHINE);
    DWORD result = AfxEditFileLocked(hivePath, [&](std::string& content, BOOL) -> DWORD {
        CRegistryHive hive("HKEY_LOCAL_MACHINE");
        if (!hive.Load(content))
            return ERROR_BADDB;   // not ours to rewrite
        CRegistryHive::Key& key = hive.Create(kCounterKey);
        const CRegistryHive::Value* stored = CRegistryHive::FindValue(key, name.c_str());
        if (!stored) {
            counter = FirstCounter();
        } else {
            // Anything there that is not a binary value of a plausible size reads as a bad
            // counter.
            CByteArray bytes;
            if (stored->type == REG_BINARY && stored->data.size() <= kMaxStoredCounter) {
                bytes.SetSize(static_cast<int>(stored->data.size()));
                if (bytes.GetSize() > 0)
                    std::memcpy(bytes.GetData(), stored->data.data(), stored->data.size());
            }
            counter = IncrementedCounter(bytes);
        }
        CByteArray value = StoredForm(counter);
        CRegistryHive::Value updated;
        updated.name = name.c_str();
        updated.type = REG_BINARY;
        updated.data.assign(reinterpret_cast<const char*>(value.GetData()), static_cast<size_t>(value.GetSize()));
        CRegistryHive::SetValue(key, updated);
        content = hive.Save();
        return ERROR_SUCCESS;
    });
    return result == ERROR_SUCCESS;
}

// Writes the bytes as the new file `path`, there whole or not at all. An existing name (even
// a dangling symbolic link) is never replaced or followed: the certificate file is made once.
void WriteNewFile(const CString& path, const BYTE* data, UINT size)
{
    DWORD result = AfxWriteFileSafely(path, [&](CFile& file) { file.Write(data, size); },
                                      AFX_WRITE_CREATE_ONLY | AFX_WRITE_UMASK, 0666);
    if (result != ERROR_SUCCESS)
        AfxThrowFileException(CFileException::accessDenied, static_cast<LONG>(result), path);
}

// The DER of a certs-only signedData content info carrying the one certificate.
CDEREncoding CertificateContent(const CCertificate& certificate)
{
    CASN1_SignedData signedData(new CASN1_ContentInfo(CASN1_data(), nullptr));
    CASN1_SET certificates;
    certificates.AddObject(new CASN1_Certificate(certificate));
    signedData.SetCertificates(certificates);
    CASN1_ContentInfo contentInfo(CASN1_signedData(), &signedData);
    CDEREncoding encoding(contentInfo);
    contentInfo.ReleaseContent();
    return encoding;
}

// Builds, signs, checks and writes the certificate of the ID for the address.
int MakeCertificateFile(CDialog* parent, const CString& path, const CRSAPrivateKey& id, const CString& address)
{
    ProgressDialog progress;
    if (!progress.Create(parent, kAppTitle))
        return 0;
    CProgress& bar = progress.GetProgress();
    bar.SetUp(7, 0, 1, 0);

    int stage = 0;   // 1 while signing or checking
    try {
        progress.SetStageText("generating serial number ...");
        CRSAPrivateKey privateKey(id);
        CRSAPublicKey publicKey(privateKey);
        CDistinguishedName name(address);
        CCertificate certificate;
        CUTCTime now;
        if (!NextSerialNumber(name, certificate.m_SerialNumber))
            return 0;   // the counter could not be kept: nothing to tell beyond that
        bar.Hint(1);

        progress.SetStageText("creating certificate ...");
        certificate.GetDataFrom(publicKey);
        --now;
        certificate.m_NotBefore = now;
        certificate.m_NotAfter = CertificateExpiry(now);
        certificate.m_Issuer = name;
        certificate.m_Subject = name;
        bar.Hint(1);

        stage = 1;
        progress.SetStageText("signing certificate ...");
        certificate.SignWith(privateKey);
        bar.Hint(1);
        progress.SetStageText("checking signature ...");
        if (!certificate.IsSignatureOKFor(publicKey))
            AfxThrowUnlockException("Private key is not good: bad CRT signature");
        bar.Hint(1);
        stage = 0;

        progress.SetStageText("preparing S/MIME content ...");
        CDEREncoding encoding = CertificateContent(certificate);
        bar.Hint(1);
        bar.Hint(1);

        progress.SetStageText("saving .P7M file ...");
        WriteNewFile(path, encoding.GetData(), static_cast<UINT>(encoding.GetSize()));
    } catch (CException* e) {
        BOOL badKey = stage == 1 && e->IsKindOf(RUNTIME_CLASS(CUnlockException));
        e->Delete();
        progress.DestroyWindow();
        ShowError(parent, badKey ? "UNEXPECTED ERROR: signing key is not valid" : "UNEXPECTED ERROR: cannot create .P7M file");
        return 0;
    }
    bar.SetUp(1, 0, 1, 1);
    progress.DestroyWindow();
    return 1;
}

}  // namespace

CUTCTime CertificateExpiry(const CUTCTime& notBefore)
{
    CUTCTime notAfter = notBefore;
    ++notAfter.m_nYear;
    if (notAfter.m_nMonth == 2 && notAfter.m_nDay == 29 && CUTCTime::DaysInMonth(notAfter.m_nYear, 2) < 29)
        notAfter.m_nDay = 28;
    return notAfter;
}

CString CertificateFileName(const CString& keyFileName)
{
    if (keyFileName.IsEmpty())
        return CString();
    int slash = keyFileName.ReverseFind('/');
    int dot = keyFileName.ReverseFind('.');
    CString stem = dot > slash ? keyFileName.Left(dot) : keyFileName;
    return stem + ".P7M";
}

int CertificateFileExists()
{
    CString path = CertificateFileName(AfxGetDecryptionState().m_strKeyFileName);
    if (path.IsEmpty())
        return 0;
    CFile file;
    CFileException error;
    if (file.Open(path, CFile::modeRead | CFile::shareDenyWrite, &error)) {
        file.Close();
        return 1;
    }
    // Only a file known to be missing is missing; one that is there but cannot be opened
    // (held by another program, not readable) is not made again.
    return error.m_cause == CFileException::fileNotFound ? 0 : 1;
}

int NextSerialNumber(const CDistinguishedName& issuer, CSerialNumber& serial)
{
    try {
        CString name = CounterValueName(issuer);
        CSerialNumber counter;
        if (!(AfxIsWin32s() ? AdvanceProfileCounter(name, counter) : AdvanceMachineCounter(name, counter)))
            return 0;
        serial = counter;
        serial.RandomPermutation();
        return 1;
    } catch (CException* e) {
        e->Delete();
        return 0;
    }
}

int EnsureCertificateFile(CDialog* parent)
{
    DecryptionState& state = AfxGetDecryptionState();
    const CRSAPrivateKey* id = state.HasDecryptingID() ? state.GetPrivateKey() : nullptr;
    if (!id)
        return 0;
    if (CertificateFileExists())
        return 1;
    CString path = CertificateFileName(state.m_strKeyFileName);
    if (path.IsEmpty())
        return 0;   // nowhere to put it

    RegisterCoreResources();
    CCertificateFileDialog dialog(parent);
    dialog.m_strPath = path;
    dialog.m_strAddress = state.m_strEmailAddress;
    if (dialog.DoModal() != IDC_CREATE_CERTIFICATE)
        return 0;

    if (parent)
        parent->UpdateWindow();
    state.m_strEmailAddress = dialog.m_strAddress;
    return MakeCertificateFile(parent, path, *id, dialog.m_strAddress);
}
