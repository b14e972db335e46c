// Byte strings in tests: hex text both ways, whole files, random and joined buffers, and
// shell commands whose output a test compares.
#pragma once

#include "framework/types.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class CByteArray;

namespace qmtest {

using Bytes = std::vector<BYTE>;

// The bytes of hex text; anything that is not a hex digit (blanks, colons) is skipped, so
// vectors can be grouped for reading.
Bytes Hex(std::string_view text);
// The same as a byte string.
std::string HexString(std::string_view text);

// Upper-case hex, `separator` between bytes.
std::string ToHex(const void* data, std::size_t size, std::string_view separator = {});
std::string ToHex(const Bytes& bytes, std::string_view separator = {});
std::string ToHex(std::string_view bytes, std::string_view separator = {});
std::string ToHex(const CByteArray& bytes, std::string_view separator = {});
std::string ToLowerHex(const void* data, std::size_t size);

Bytes ToBytes(std::string_view text);
std::string ToString(const Bytes& bytes);
Bytes Concat(std::initializer_list<Bytes> parts);
// `size` bytes from a fixed seed: the same on every run.
Bytes RandomBytes(std::size_t size, unsigned seed);

// Whole files, bytes as they are. Writing makes the folders above the file.
Bytes ReadFile(const std::string& path);
std::string ReadText(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, std::string_view bytes);
// A path under tests/data.
std::string DataPath(const std::string& relative);

// Runs a shell command; its exit status and standard output. Standard error is kept with
// the output when `withErrors`, thrown away otherwise.
struct CommandResult {
    int status = -1;
    std::string output;
    bool Ok() const { return status == 0; }
};
CommandResult RunCommand(const std::string& command, bool withErrors = true);
// Whether an openssl command line is there to check against.
bool HaveOpenSSL();

}  // namespace qmtest
