// CheckMapi and RunWizard: the MAPI library's presence, its profile wizard, and the
// family's administration program.
#include "deploykit/deploykit.h"
#include "deploykit/mapisvc.h"

#include "framework/profile.h"
#include "framework/system.h"
#include "framework/ui/message_box.h"

#include <cstring>
#include <string>
#include <vector>

namespace deploykit {
namespace {

constexpr const char* kMapiLibrary = "mapi32.dll";
constexpr const char* kWizardEntry = "LAUNCHWIZARD";
constexpr const char* kAdminProgram = "PLNTMAdmin.exe";
// The personal address book's service: the wizard would offer it alongside ours, so it is
// hidden from the wizard while it runs.
constexpr const char* kHiddenService = "MSPST AB";
constexpr DWORD kWizardFlags = 10;
constexpr DWORD kProfileNameMax = 255;

// The wizard's entry point: parent window, flags, the services to add (a list ended by a
// null), the size of the name buffer, the buffer for the new profile's name; 0 on success.
using LaunchWizardEntry = LONG (*)(HWND, DWORD, const char**, DWORD, char*);

// Reads a whole profile value, however long; FALSE when it would not fit in any buffer we
// are willing to make.
BOOL ReadWholeValue(const char* section, const char* key, const char* file, std::string& value)
{
    for (DWORD size = 256; size <= (1u << 20); size *= 2) {
        std::vector<char> buffer(size);
        DWORD length = GetPrivateProfileStringA(section, key, "", buffer.data(), size, file);
        if (length < size - 1) {
            value.assign(buffer.data(), length);
            return TRUE;
        }
    }
    return FALSE;
}

// The text to write so that reading the key gives `value` again: reading drops one pair of
// surrounding quotes, so a value that itself looks quoted gets a pair more.
std::string AsWritten(const std::string& value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return "\"" + value + "\"";
    return value;
}

// Runs the profile wizard with the personal address book hidden; the entry's old value
// goes back whatever happens, even when the library has no wizard.
LONG RunProfileWizard(HWND window, char* text)
{
    HMODULE mapi = LoadLibraryA(kMapiLibrary);
    if (!mapi)
        return 0;
    CString file;
    if (!GetMapisvcPath(file)) {
        FreeLibrary(mapi);
        return 0;
    }
    std::string hidden;
    bool removed = false;
    if (ReadWholeValue("Services", kHiddenService, file, hidden) && !hidden.empty())
        removed = WritePrivateProfileStringA("Services", kHiddenService, nullptr, file) != FALSE;

    auto wizard = reinterpret_cast<LaunchWizardEntry>(GetProcAddress(mapi, kWizardEntry));
    if (wizard) {
        if (text)
            text[0] = '\0';
        const char* services[] = {kFullProductDisplayName, nullptr};
        // One byte more than the wizard is told, so its name always ends in a terminator.
        char newProfile[kProfileNameMax + 1] = {};
        if (wizard(window, kWizardFlags, services, kProfileNameMax, newProfile) == 0 && text) {
            newProfile[kProfileNameMax] = '\0';
            std::memcpy(text, newProfile, std::strlen(newProfile) + 1);
        }
    }

    if (removed)
        WritePrivateProfileStringA("Services", kHiddenService, AsWritten(hidden).c_str(), file);
    FreeLibrary(mapi);
    return wizard ? 1 : 0;
}

// Runs the administration program from the given folder and waits for it to end.
LONG RunAdministration(HWND window, const char* folder)
{
    BOOL started = FALSE;
    if (!folder) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else {
        // A folder relative to ours names the program from here, as the platform resolved
        // a program's name before the program's own folder applied.
        std::string program = std::string(folder) + kAdminProgram;
        if (program[0] != '/') {
            char current[4096];
            DWORD length = GetCurrentDirectoryA(sizeof current, current);
            if (length > 0 && length < sizeof current)
                program = std::string(current) + "/" + program;
            else if (program.find('/') == std::string::npos)
                program = "./" + program;   // never a search of the program path
        }
        DWORD exitCode = 0;
        started = AfxStartProcess(AfxJoinCommandLine({program}), *folder ? folder : nullptr, &exitCode, TRUE);
    }
    if (!started) {
        CString message;
        message.Format("Error : %d", static_cast<int>(GetLastError()));
        MessageBoxA(window, message, "RunWizard GetLastError", MB_OK);
        return 0;
    }
    return 1;
}

} // namespace
} // namespace deploykit

using namespace deploykit;

DEPLOYKIT_EXPORT LONG CheckMapi(HWND, LONG*, char*)
{
    HMODULE mapi = LoadLibraryA(kMapiLibrary);
    if (!mapi)
        return 0;
    FreeLibrary(mapi);
    return 1;
}

DEPLOYKIT_EXPORT LONG RunWizard(HWND window, LONG* value, char* text)
{
    if (!value)
        return 0;
    switch (*value) {
    case 0:
        return RunProfileWizard(window, text);
    case 1:
        return RunAdministration(window, text);
    default:
        return 0;
    }
}
