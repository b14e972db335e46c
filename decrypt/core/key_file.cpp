#include "decrypt/core/key_file.h"

#include "decrypt/core/certificate_file.h"
#include "decrypt/core/content_processing.h"
#include "decrypt/core/key_file_ids.h"
#include "decrypt/core/key_info.h"
#include "decrypt/core/locked_file.h"
#include "decrypt/core/outcome.h"
#include "decrypt/core/password_dialog.h"
#include "decrypt/core/resources.h"
#include "framework/archive.h"
#include "framework/file.h"
#include "framework/fsutil.h"
#include "framework/system.h"
#include "framework/ui/dialog.h"
#include "framework/ui/message_box.h"
#include "sigilbox/asn1/asn1_type.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/unlock_exception.h"
#include "sigilbox/pki/key_container.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// Unprotected key files are locked with this one-character password. Files written by
// earlier versions may use another printable character; loading tries those as well.
constexpr char kBuiltInPassword = '*';

// Key files hold a handful of keys; anything much larger is not one, and is refused before
// it is decrypted into memory.
constexpr long long kMaxKeyFileSize = 16LL * 1024 * 1024;

// An archive record takes at least its version byte, two empty strings, type, grade, flag
// and the 16 digest bytes.
constexpr unsigned long long kMinRecordSize = 1 + 1 + 1 + 2 + 2 + 2 + 16;

// The decrypting ID must fit the program's content keys. Below, the smallest key the
// stored key records accept: a DER entry may carry any modulus, and a toy one is no ID.
constexpr int kMaxDecryptingModulusBits = 512;
constexpr int kMinDecryptingModulusBits = 508;

enum PayloadFormat { ArchivePayload = 1, DERPayload = 2 };

using KeyList = std::vector<std::unique_ptr<CKeyInfo>>;

HWND OwnerOf(CDialog* parent) { return parent ? parent->GetSafeHwnd() : nullptr; }

CString FullPath(const CString& path)
{
    if (path.IsEmpty() || path[0] == '/')
        return path;
    char folder[_MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder)
        return path;
    CString full(folder);
    if (full.IsEmpty() || full[full.GetLength() - 1] != '/')
        full += '/';
    return full + path;
}

CString Extension(const CString& path)
{
    int slash = path.ReverseFind('/');
    int dot = path.ReverseFind('.');
    return dot > slash ? path.Mid(dot + 1) : CString();
}

int ChooseFormat(int format, const CString& path)
{
    if (format == ArchivePayload || format == DERPayload)
        return format;
    return Extension(path).CompareNoCase("sec") == 0 ? DERPayload : ArchivePayload;
}

int Box(CDialog* parent, const CString& text, UINT type)
{
    return MessageBoxA(OwnerOf(parent), text, AfxGetAppTitle(), type);
}

// A message of the string table, followed by the key file's full path.
void PathMessage(CDialog* parent, UINT id, const CString& path, UINT icon = MB_ICONEXCLAMATION)
{
    Box(parent, CString(DecryptString(id)) + "\n" + FullPath(path), MB_OK | icon);
}

void Message(CDialog* parent, UINT id) { Box(parent, DecryptString(id), MB_OK | MB_ICONEXCLAMATION); }

// A key file about to be replaced is first copied whole to "<name>.old", or "<name>.old(1)",
// "(2)" ... when that is taken; nothing there is ever overwritten. `kept` gets the copy's
// name, empty when there is no file to keep (none, or a folder). FALSE when the copy could
// not be made, with the error as the last error.
BOOL KeepOldKeyFile(const CString& path, CString& kept)
{
    kept.Empty();
    if (AfxGetPathKind(path) != AfxPathKind::regular)
        return TRUE;
    std::string content;
    if (!AfxReadWholeFile(path, content, static_cast<size_t>(kMaxKeyFileSize)))
        return FALSE;
    for (int n = 0; n < 1000; ++n) {
        CString name = path + ".old";
        if (n > 0) {
            CString number;
            number.Format("(%d)", n);
            name += number;
        }
        const DWORD result = AfxWriteFileSafely(name, [&](CFile& file) {
            file.Write(content.data(), static_cast<UINT>(content.size()));
        }, AFX_WRITE_CREATE_ONLY, 0600);
        if (result == ERROR_SUCCESS) {
            kept = name;
            return TRUE;
        }
        if (result != ERROR_ALREADY_EXISTS)
            return FALSE;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

// Unlocks the rest of the file (after the flag) into payload with the password.
BOOL TryUnlock(CFile& file, CWipingMemFile& payload, const char* password, int length)
{
    payload.WipeContents();
    CKeyInfo key = MakePasswordKey(password, length);
    try {
        file.Seek(4, CFile::begin);
        UnlockFileWithKey(file, payload, key, nullptr);
        payload.SeekToBegin();
        return TRUE;
    } catch (CException* e) {
        e->Delete();
    }
    payload.WipeContents();
    return FALSE;
}

// An unprotected file: the built-in password first, then every other printable character,
// so that files locked with another one-character password still load.
BOOL UnlockUnprotected(CFile& file, CWipingMemFile& payload)
{
    if (TryUnlock(file, payload, &kBuiltInPassword, 1))
        return TRUE;
    for (char c = 0x20; c <= 0x7E; ++c)
        if (c != kBuiltInPassword && TryUnlock(file, payload, &c, 1))
            return TRUE;
    return FALSE;
}

void ReadArchivePayload(CFile& payload, KeyList& keys)
{
    CArchive ar(&payload, CArchive::load);
    DWORD count = ar.ReadCount();
    // Every record takes some bytes: a count beyond what is there is refused up front.
    if (count > ar.BytesLeft() / kMinRecordSize)
        AfxThrowArchiveException(CArchiveException::endOfFile, ar.m_strFileName);
    // Each record owns the key it loads; one that refers back to another record's key
    // (which no writer produces) is refused.
    for (DWORD i = 0; i < count; ++i) {
        keys.push_back(std::make_unique<CKeyInfo>());
        keys.back()->Serialize(ar);
    }
}

// Overwrites the contents octets of a decoded or assembled tree (the private key's numbers
// among them) before the tree is freed.
void WipeTree(CASN1Type& object)
{
    if (auto* constructed = dynamic_cast<CASN1_CONSTRUCTED_TYPE*>(&object))
        for (int i = 0; i < constructed->GetComponentsCount(); ++i)
            WipeTree(constructed->GetComponent(i));
    if (auto* primitive = dynamic_cast<CASN1_PRIMITIVE_TYPE*>(&object)) {
        CByteArray& contents = *primitive;
        if (contents.GetSize() > 0)
            WipeBytes(contents.GetData(), static_cast<size_t>(contents.GetSize()));
    }
}

void ReadDERPayload(CWipingMemFile& payload, KeyList& keys)
{
    CDEREncoding encoding(payload.GetBufferPtr(), static_cast<unsigned long>(payload.GetLength()));
    try {
        CASN1_KCDNs entries(encoding);
        try {
            // Last to first, so that the choice below, which scans from the end, takes the
            // first suitable key in file order.
            for (int i = entries.GetEntriesCount() - 1; i >= 0; --i) {
                CASN1_RSAKeyWithCertsAndDistinguishedName& entry = entries.GetEntry(i);
                if (!entry.IsPrivateKey())
                    continue;
                auto* key = new CRSAPrivateKey;
                auto record = std::make_unique<CKeyInfo>(entry.GetName(), CKeyInfo::RSAPrivateKey, key, 0);
                entry.GetPrivateKey(*key);
                keys.push_back(std::move(record));
            }
        } catch (...) {
            WipeTree(entries);
            throw;
        }
        WipeTree(entries);
    } catch (...) {
        if (encoding.GetSize() > 0)
            WipeBytes(encoding.GetData(), static_cast<size_t>(encoding.GetSize()));
        throw;
    }
    if (encoding.GetSize() > 0)
        WipeBytes(encoding.GetData(), static_cast<size_t>(encoding.GetSize()));
}

// The decrypting ID among the keys: from the last to the first, the first private key of at
// most 512 bits (and at least 508).
const CKeyInfo* ChooseDecryptingID(const KeyList& keys)
{
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        const CRSAPrivateKey* key = (*it)->GetPrivateKey();
        if (key && key->m_nModulusBits <= kMaxDecryptingModulusBits && key->m_nModulusBits >= kMinDecryptingModulusBits)
            return it->get();
    }
    return nullptr;
}

void WritePayload(const CKeyInfo& id, int format, CFile& payload)
{
    if (format == ArchivePayload) {
        CArchive ar(&payload, CArchive::store);
        ar.WriteCount(1);
        CKeyInfo copy(id);
        copy.Serialize(ar);
        ar.Close();
        return;
    }
    CASN1_KCDNs entries;
    if (const CRSAPrivateKey* key = id.GetPrivateKey())
        entries.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*key, id.m_strName, nullptr));
    else if (const CRSAPublicKey* publicKey = id.GetPublicKey())
        entries.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*publicKey, id.m_strName, nullptr));
    try {
        entries.EncodeToFile(payload, 0);
    } catch (...) {
        WipeTree(entries);
        throw;
    }
    WipeTree(entries);
}

}  // namespace

int LoadKeyFile(CDialog* parent, int format)
{
    DecryptionState& state = AfxGetDecryptionState();
    CString path = state.m_strKeyFileName;
    if (path.IsEmpty())
        return 0;
    format = ChooseFormat(format, path);

    // Read under a shared lock: any number of runs may load one ID at once; a writer holding
    // the file keeps them out (and they it) while it is read.
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) {
        PathMessage(parent, IDS_KEYFILE_CANNOT_OPEN, path);
        return 0;
    }

    BYTE flagBytes[4] = {};
    DWORD flag = 0;
    BOOL readable = FALSE;
    try {
        readable = file.GetLength() <= kMaxKeyFileSize && file.Read(flagBytes, 4) == 4;
    } catch (CException* e) {
        e->Delete();
    }
    if (readable)
        flag = flagBytes[0] | (DWORD(flagBytes[1]) << 8) | (DWORD(flagBytes[2]) << 16) | (DWORD(flagBytes[3]) << 24);

    CWipingMemFile payload(1024);
    BOOL unlocked = FALSE;
    if (flag != 0) {
        CString password;
        if (!AskPassword(parent, password))
            return 0;
        unlocked = readable && TryUnlock(file, payload, password.c_str(), password.GetLength());
        password.Wipe();
    } else {
        try {
            unlocked = readable && UnlockUnprotected(file, payload);
        } catch (CException* e) {
            e->Delete();
            unlocked = FALSE;
        }
    }
    file.Close();
    if (parent)
        parent->UpdateWindow();
    if (!unlocked) {
        PathMessage(parent, flag != 0 ? IDS_KEYFILE_WRONG_PASSWORD : IDS_KEYFILE_CORRUPTED, path);
        return 0;
    }

    KeyList keys;
    try {
        if (format == DERPayload)
            ReadDERPayload(payload, keys);
        else
            ReadArchivePayload(payload, keys);
    } catch (CException* e) {
        e->Delete();
        PathMessage(parent, IDS_KEYFILE_CANNOT_READ, path);
        return 0;
    }
    payload.Close();

    const CKeyInfo* id = ChooseDecryptingID(keys);
    if (!id) {
        PathMessage(parent, IDS_KEYFILE_NO_VALID_KEYS, path, MB_ICONINFORMATION);
        return 0;
    }
    state.SetDecryptingID(*id);
    state.m_nIDIsSet = 1;
    keys.clear();
    EnsureCertificateFile(parent);
    return 1;
}

int SaveKeyFile(CDialog* parent, int format)
{
    DecryptionState& state = AfxGetDecryptionState();
    if (!state.m_nIDIsSet || !state.GetPublicKey())
        return 0;
    CString path = state.m_strKeyFileName;
    format = ChooseFormat(format, path);

    int answer = Box(parent, DecryptString(IDS_KEYFILE_PROTECT), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer != IDYES && answer != IDNO)
        return 0;
    CString password;
    DWORD flag = 0;
    if (answer == IDYES) {
        if (!AskPassword(parent, password))
            return 0;
        flag = 1;
    } else {
        password = CString(kBuiltInPassword);
    }

    // The key file is replaced only once its successor is complete: the new file is written
    // beside it and renamed over it, so a failure leaves the old one as it was. The old one
    // is kept beside it as NAME.old (NAME.old(1) ...): replacing never loses a key.
    BOOL begun = FALSE;
    DWORD result = ERROR_INVALID_PARAMETER;
    CString kept;
    if (!path.IsEmpty() && !KeepOldKeyFile(path, kept)) {
        const DWORD error = GetLastError();
        password.Wipe();
        Box(parent, CString(DecryptString(IDS_KEYFILE_CANNOT_CREATE)) + "\nThe key file there could not be kept as " +
                        FullPath(path) + ".old: " + AfxDescribeSystemError(error),
            MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (!path.IsEmpty()) {
        try {
            result = AfxWriteFileSafely(path, [&](CFile& file) {
                begun = TRUE;
                CKeyInfo key = MakePasswordKey(password);
                password.Wipe();
                CWipingMemFile payload(1024);
                WritePayload(state, format, payload);
                BYTE flagBytes[4] = {static_cast<BYTE>(flag), 0, 0, 0};
                file.Write(flagBytes, 4);
                payload.SeekToBegin();
                LockFileWithKey(payload, file, key, nullptr);
            }, AFX_WRITE_REPLACE | AFX_WRITE_UMASK, 0600);
        } catch (...) {
            password.Wipe();
            if (!kept.IsEmpty())
                DeleteFileA(kept);
            throw;
        }
    }
    password.Wipe();
    if (result != ERROR_SUCCESS) {
        if (!kept.IsEmpty())
            DeleteFileA(kept);   // the old file is still in its place
        Message(parent, begun ? IDS_KEYFILE_CANNOT_SAVE : IDS_KEYFILE_CANNOT_CREATE);
        return 0;
    }
    EnsureCertificateFile(parent);
    return 1;
}
