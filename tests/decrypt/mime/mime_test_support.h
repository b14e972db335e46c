// Helpers shared by the message tests: a memory file that hands out its bytes in small
// pieces (chunk edges are where decoders break), byte-string conversions, and a scratch
// folder that is removed with everything in it.
#pragma once

#include "framework/memfile.h"

#include <string>

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
