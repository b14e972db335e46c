// The registry: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, each kept as a REGEDIT4 text file
// (HKEY_CURRENT_USER.reg, HKEY_LOCAL_MACHINE.reg) in AfxGetConfigFolder().
//
// Every call reads the hive file afresh, so changes made by other processes are seen. Every
// change takes the advisory lock beside the hive, re-reads it, applies the one change and
// replaces the file atomically (AfxEditFileLocked): two processes never lose each other's
// values, and a crash mid-write leaves the previous hive. A hive file that is not REGEDIT4
// text is never overwritten: calls on it fail with ERROR_BADDB and AfxGetRegistryProblem()
// says which file and why. Key and value names compare case-insensitively (ASCII).
//
// Key handles from RegOpenKeyExA/RegCreateKeyExA name a key by path; a key deleted meanwhile
// gives ERROR_KEY_DELETED. Key names may not hold control characters, value names CR or LF;
// a key name component is 1 to 255 characters. String data holding CR, LF or NUL, or not ending in exactly one NUL,
// is stored in the hex(1) form so it comes back byte for byte.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/system.h"
#include "framework/types.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000003u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Results are error numbers (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA, ...).
// Only HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE have hives; the other roots give
// ERROR_INVALID_HANDLE.
// Access rights are kept: setting or deleting needs KEY_SET_VALUE, creating a subkey
// KEY_CREATE_SUB_KEY (ERROR_ACCESS_DENIED otherwise). The root handles have every right.
FRAMEWORK_API LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM sam, PHKEY result);
FRAMEWORK_API LONG RegOpenKeyA(HKEY key, const char* subKey, PHKEY result);
// Creates the key and its missing parents. disposition: REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY. The class and security arguments are ignored.
FRAMEWORK_API LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM sam, void* security, PHKEY result, DWORD* disposition);
FRAMEWORK_API LONG RegCreateKeyA(HKEY key, const char* subKey, PHKEY result);
FRAMEWORK_API LONG RegCloseKey(HKEY key);
FRAMEWORK_API LONG RegFlushKey(HKEY key);   // every change is already on disk

// Null or empty name: the key's default value. With data null, only the type and size are
// given. A buffer too small gives ERROR_MORE_DATA and the needed size in *dataSize.
FRAMEWORK_API LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
// For REG_SZ data without any NUL the terminating NUL is added, as callers that pass the
// string length expect.
FRAMEWORK_API LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
FRAMEWORK_API LONG RegDeleteValueA(HKEY key, const char* valueName);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some).
FRAMEWORK_API LONG RegDeleteKeyA(HKEY key, const char* subKey);
// Deletes a key with everything below it; a null subKey empties the key itself.
FRAMEWORK_API LONG RegDeleteTreeA(HKEY key, const char* subKey);

// Subkeys and values by index, in the hive's order (subkeys sorted case-insensitively,
// values in the order they were first set). ERROR_NO_MORE_ITEMS past the end. Sizes are in
// characters without the terminator, like the platform's.
FRAMEWORK_API LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                   char* keyClass, DWORD* classSize, void* lastWriteTime);
FRAMEWORK_API LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);
FRAMEWORK_API LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* dataSize);
FRAMEWORK_API LONG RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classSize, DWORD* reserved, DWORD* subKeys,
                      DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                      DWORD* maxValueNameLength, DWORD* maxValueLength, DWORD* securityDescriptor,
                      void* lastWriteTime);

// Why the last registry call of this thread that failed with ERROR_BADDB failed: the hive
// file's path and what is wrong with it.
FRAMEWORK_API CString AfxGetRegistryProblem();
// Path of the file that holds a root's hive (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
FRAMEWORK_API CString AfxGetHivePath(HKEY root);

// ---- The hive model: REGEDIT4 text in and out ---------------------------------------------
//
// Layout written: "REGEDIT4", a blank line, then each key as "[ROOT\path]", its values and a
// blank line; every line ends in CR LF. Keys are written parents first, siblings sorted
// case-insensitively; the root key only when it has values. Values: "Name"="text" (\ and "
// escaped), "Name"=dword:0000002a, "Name"=hex:0a,ff (hex(N): for other types), @= for the
// default value; hex data continues after a comma with "\", CR LF and two blanks once the
// line reaches 77 columns. Reading accepts CR LF and LF line ends. Lines that are not
// understood (comments, other roots' sections, malformed values) are kept and written back.
class FRAMEWORK_API CRegistryHive {
public:
    struct Value {
        std::string name;   // empty: the default value
        DWORD type = REG_NONE;
        std::string data;   // the value's bytes
    };
    // One line of a key: a value, or a line kept as it was (isValue false).
    struct Item {
        bool isValue = true;
        Value value;
        std::vector<std::string> raw;   // the physical lines of a kept line
    };
    struct Key {
        std::string path;   // below the root, components joined by '\', first spelling kept
        std::vector<Item> items;
    };

    explicit CRegistryHive(const char* rootName);

    // Replaces the content with the text. FALSE, content emptied, when the text is not
    // REGEDIT4 at all (problem, when given, says why). An empty text is an empty hive.
    BOOL Load(std::string_view text, std::string* problem = nullptr);
    std::string Save() const;

    const char* RootName() const { return m_root.c_str(); }
    // Paths are below the root; "" is the root itself.
    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;
    // Creates the key and its missing parents; *created says whether it was new.
    Key& Create(std::string_view path, bool* created = nullptr);
    // Removes the key and all below it. FALSE when it does not exist.
    BOOL DeleteTree(std::string_view path);
    // Direct subkeys' last components, in order.
    std::vector<std::string> SubKeys(std::string_view path) const;

    static const Value* FindValue(const Key& key, std::string_view name);
    // Sets (replacing in place) or appends the value.
    static void SetValue(Key& key, const Value& value);
    static BOOL DeleteValue(Key& key, std::string_view name);
    static std::vector<const Value*> Values(const Key& key);

    // Whether a name can be stored: key paths of components 1-255 characters long without
    // control characters; value names without CR, LF or NUL.
    static bool IsValidKeyPath(std::string_view path);
    static bool IsValidValueName(std::string_view name);
    // The lookup form of a path: lower-case, separators sorting before every character.
    static std::string FoldPath(std::string_view path);

private:
    std::string m_root;
    std::map<std::string, Key> m_keys;             // by folded path
    std::vector<std::string> m_preamble;           // kept lines before the first key
    std::vector<std::vector<std::string>> m_foreign;   // sections kept as they were
};
