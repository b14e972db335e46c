// Helpers shared by the message tests: a memory file that hands out its bytes in small
// pieces (chunk edges are where decoders break), byte-string conversions, and a scratch
// folder that is removed with everything in it.
#pragma once

#include "decrypt/mime/message.h"
#include "decrypt/mime/mime_context.h"
#include "decrypt/mime/msg_store.h"
#include "framework/memfile.h"

#include <memory>
#include <string>
#include <vector>

// A memory file whose Read returns at most `chunk` bytes per call.
class CChunkedMemFile : public CMemFile {
public:
    CChunkedMemFile(const std::string& bytes, UINT chunk);
    UINT Read(void* buffer, UINT count) override;

private:
    UINT m_nChunk;
};

// The whole content of a memory file.
std::string MemFileBytes(const CMemFile& file);

// A fresh empty folder under the system's temporary folder, deleted (with its content) when
// the object goes.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }
    // Names of the regular files in the folder, sorted.
    std::string ListFiles() const;
    int CountFiles() const;

private:
    std::string m_path;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Path of a file under tests/data/mime.
std::string MimeDataPath(const std::string& name);

// ---- messages in a store ----------------------------------------------------------------

// A message store on a scratch folder.
class CStoreFixture {
public:
    CStoreFixture();
    ~CStoreFixture();
    CMessageStore* Store() const { return m_pStore; }
    const CScratchFolder& Folder() const { return m_folder; }
    // A new stream holding `text`, with its first reference taken by the caller; returns
    // its name.
    CString PutStream(const std::string& text);
    // A root message over a new stream holding `text`.
    std::unique_ptr<CMessage> MakeRoot(const std::string& text);

private:
    CScratchFolder m_folder;
    CMessageStore* m_pStore;
};

// The body bytes of a part.
std::string BodyOf(CMessage* part);
// The whole stream of a part (header block and body).
std::string StreamOf(CMessage* part);
// The tree as text: one line per part, "kind=0x.. type=.. name=.. body=<escaped text or
// length and hash>", children indented by two blanks.
std::string DumpTree(CMessage* root);
std::string Escape(const std::string& bytes);

// A context that implements every operation: PEM blocks, PKCS #7 objects and PKCS #10
// requests are copied through unchanged (so the tree can be checked); each call is
// recorded.
class CCopyingContext : public CMimeContext {
public:
    DWORD OnPemBlock(CMemFile* resultB, CMemFile* resultA, CFile* source, CFile* destination, DWORD length) override;
    DWORD OnPkcs7Object(CMemFile* resultB, CMemFile* resultA, CFile* source, DWORD length, CFile* destination) override;
    DWORD OnPkcs10Request(CMemFile* resultB, CMemFile* resultA, CFile* source, CFile* destination, DWORD length) override;
    DWORD OnSignedContent(CMemFile* resultB, CMemFile* resultA, CFile* content, DWORD contentLength, CFile* signature,
                          DWORD signatureLength) override;

    std::vector<std::string> calls;       // operation name and the bytes it was given
    std::string signedContent;
    std::string signature;
};
