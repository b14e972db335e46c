#include "decrypt/app/decrypt_app.h"

#include "decrypt/core/outcome.h"
#include "framework/fsutil.h"
#include "framework/system.h"

#include <vector>

int g_nProductNumber = 0;

const char* GetProductRegistryName(int product)
{
    switch (product) {
    case 1: case 3: return "Postlantern";
    case 2: case 4: return "Postlantern Lite";
    case 5: return "Seal Atelier";
    case 6: return "Postlantern Administrator";
    case 7: return "Postlantern Server";
    case 8: return "Seal Vault";
    case 9: return "Unsealer";
    case 10: return "Seal Ateler";
    default: return nullptr;
    }
}

BOOL SelectProfileLocation(CWinApp& app, int product)
{
    const char* name = GetProductRegistryName(product);
    if (name == nullptr)
        return FALSE;
    app.SetRegistryKey("Quillmar");
    app.m_pszProfileName = name; // a string literal: outlives the application
    g_nProductNumber = product;
    return TRUE;
}

CString AbsoluteFileName(const CString& name, const CString& folder)
{
    if (name.IsEmpty() || name[0] == '/' || folder.IsEmpty())
        return name;
    return folder[folder.GetLength() - 1] == '/' ? folder + name : folder + "/" + name;
}

namespace {

CString WorkingFolder()
{
    std::vector<char> folder(4096);
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data());
    if (n >= folder.size()) {
        folder.resize(n + 1);
        n = GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data());
    }
    return n == 0 || n >= folder.size() ? CString() : CString(folder.data());
}

}  // namespace

CString ResolveStoredKeyFileName(const CString& stored, const CString& home, CString& problem)
{
    problem.Empty();
    if (stored.IsEmpty() || stored[0] == '/')
        return stored;
    if (home.IsEmpty() || home[0] != '/') {
        problem = CString("The key file is remembered by the relative name \"") + stored +
                  "\", and the home folder it belongs to is not known.";
        return stored;
    }
    const CString candidate = AbsoluteFileName(stored, home);
    LONG error = 0;
    const AfxPathKind kind = AfxGetPathKind(candidate, nullptr, &error);
    if (kind == AfxPathKind::regular)
        return candidate;
    CString reason = kind == AfxPathKind::missing  ? CString("there is no such file")
                     : kind == AfxPathKind::folder ? CString("it is a folder")
                     : kind == AfxPathKind::other  ? CString("it is not a regular file")
                                                   : AfxDescribeSystemError(static_cast<DWORD>(error));
    problem = CString("The key file is remembered by the relative name \"") + stored +
              "\" (from an earlier version), taken in the home folder as " + candidate + ": " + reason +
              ".\nUse Change to choose the key file again.";
    return candidate;
}

void ReadUserSettings(CWinApp& app, DecryptionState& state, CString* problem)
{
    state.m_strKeyFileName = app.GetProfileString(SETTINGS_SECTION, "KeyFileName", state.m_strKeyFileName);
    state.m_strEmailAddress = app.GetProfileString(SETTINGS_SECTION, "emailAddress", state.m_strEmailAddress);
    state.m_strDefaultViewer = app.GetProfileString(SETTINGS_SECTION, "DefaultViewer", state.m_strDefaultViewer);
    state.m_nOpenSignedContent = app.GetProfileInt(SETTINGS_SECTION, "OpenSignedContent", 0) != 0;
    // Earlier versions stored the name as given, relative to whatever folder the program ran
    // in; the settings are the user's, so the user's home folder is where it is looked for.
    const CString stored = state.m_strKeyFileName;
    CString trouble;
    state.m_strKeyFileName = ResolveStoredKeyFileName(stored, AfxGetHomeFolder(), trouble);
    if (trouble.IsEmpty() && state.m_strKeyFileName != stored)
        app.WriteProfileString(SETTINGS_SECTION, "KeyFileName", state.m_strKeyFileName);
    if (problem)
        *problem = trouble;
}

BOOL WriteUserSettings(CWinApp& app, const DecryptionState& state)
{
    // Stored absolute: a later start from another folder finds the same file.
    BOOL a = app.WriteProfileString(SETTINGS_SECTION, "KeyFileName",
                                    AbsoluteFileName(state.m_strKeyFileName, WorkingFolder()));
    BOOL b = app.WriteProfileString(SETTINGS_SECTION, "emailAddress", state.m_strEmailAddress);
    BOOL c = app.WriteProfileString(SETTINGS_SECTION, "DefaultViewer", state.m_strDefaultViewer);
    return a && b && c;
}

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

const char* const DECRYPT_USAGE =
    "Usage: decrypt [OPTION]... [FILE]...\n"
    "Decrypt S/MIME files (.p7m, .sig; DER, base64, PEM or a whole S/MIME mail) with the\n"
    "decrypting ID. Each file decrypts into a new folder beside it (Decrypt, Decrypt1 ...):\n"
    "Msg.txt holds the message text, the attachments sit beside it under their names.\n"
    "Only RC2 with 40-bit keys is decrypted.\n"
    "\n"
    "  --change KEYFILE   use the digital ID in KEYFILE as the decrypting ID\n"
    "  --new KEYFILE      create a new digital ID and save it in KEYFILE\n"
    "  --view             show the decrypting ID\n"
    "  --about            show the program's version box\n"
    "  --key KEYFILE      use the ID in KEYFILE (or a PKCS #1 DER key) for this run\n"
    "  --terminal         use the terminal screen even where a desktop shows windows\n"
    "  --batch            decrypt the files and exit, without a screen: one line per file\n"
    "                     on standard output (PATH -> FOLDER: files), reasons on standard error\n"
    "  --json             as --batch, but one JSON object per file on standard output\n"
    "  --inspect          tell what each file holds and whether the ID opens it; writes nothing\n"
    "  --open-signed      open signed content inside messages (signatures not checked)\n"
    "  --password-fd N    read passwords from file descriptor N\n"
    "  -j, --jobs N       decrypt N files at once in a batch (default: one per processor);\n"
    "                     what is written and printed is the same for every N\n"
    "  --unregister       remove the document types, desktop entry and icon that a start on\n"
    "                     a terminal registered for the user\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0        every file decrypted (--inspect: every file opens with the ID); a command done;\n"
    "           the screen closed\n"
    "  1-100    that many files were not decrypted (100: a hundred or more); a command not done\n"
    "  101      no decrypting ID could be set up (none made, key file missing, password\n"
    "           missing or wrong): no file was tried\n"
    "  102      the command line was wrong\n"
    "  103      an instance already runs but did not take the files: none was decrypted\n"
    "\n"
    "A start while another screen runs hands its files (named absolute) to that one and\n"
    "exits with 0; --key, --batch, --json, --open-signed and --inspect always run alone.\n";

namespace {

// The files decrypted at once: a whole number from 1; 0 when the text is none.
int ParseJobs(const std::string& value)
{
    char* end = nullptr;
    errno = 0;
    long jobs = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || value[0] < '0' || value[0] > '9' || *end != '\0' || errno != 0 || jobs < 1 || jobs > 1024)
        return 0;
    return static_cast<int>(jobs);
}

}  // namespace

CDecryptOptions ParseDecryptOptions(int argc, const char* const* argv)
{
    CDecryptOptions o;
    auto setCommand = [&](CDecryptOptions::Command c, const char* name) {
        if (o.command != CDecryptOptions::None && o.command != c && o.error.IsEmpty())
            o.error = CString("option '") + name + "' conflicts with an earlier command";
        o.command = c;
    };
    bool optionsEnded = false;
    for (int i = 1; i < argc && o.error.IsEmpty(); ++i) {
        const char* arg = argv[i] ? argv[i] : "";
        if (optionsEnded || std::strncmp(arg, "--", 2) != 0 || arg[2] == '\0') {
            if (!optionsEnded && std::strcmp(arg, "--") == 0) {
                optionsEnded = true;
                continue;
            }
            if (!optionsEnded && std::strcmp(arg, "-h") == 0) {
                setCommand(CDecryptOptions::Help, "-h");
                continue;
            }
            if (!optionsEnded && std::strcmp(arg, "-V") == 0) {
                setCommand(CDecryptOptions::Version, "-V");
                continue;
            }
            if (!optionsEnded && std::strncmp(arg, "-j", 2) == 0) {
                std::string value = arg + 2;
                if (value.empty()) {
                    if (i + 1 >= argc) {
                        o.error = "option '-j' needs a value";
                        break;
                    }
                    value = argv[++i] ? argv[i] : "";
                }
                o.jobs = ParseJobs(value);
                if (o.jobs == 0)
                    o.error = CString("invalid number of jobs '") + value.c_str() + "' (a whole number from 1 to 1024)";
                continue;
            }
            if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
                o.error = CString("unknown option '") + arg + "'";
                break;
            }
            o.files.Add(arg);
            continue;
        }
        std::string name(arg + 2);
        std::string value;
        bool hasValue = false;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            hasValue = true;
        }
        bool takesValue = name == "change" || name == "new" || name == "key" || name == "password-fd" || name == "jobs";
        if (takesValue && !hasValue) {
            if (i + 1 >= argc) {
                o.error = CString("option '--") + name.c_str() + "' needs a value";
                break;
            }
            value = argv[++i];
        } else if (!takesValue && hasValue) {
            o.error = CString("option '--") + name.c_str() + "' takes no value";
            break;
        }
        if (name == "change") { setCommand(CDecryptOptions::Change, "--change"); o.commandFile = value.c_str(); }
        else if (name == "new") { setCommand(CDecryptOptions::New, "--new"); o.commandFile = value.c_str(); }
        else if (name == "view") setCommand(CDecryptOptions::View, "--view");
        else if (name == "about") setCommand(CDecryptOptions::About, "--about");
        else if (name == "help") setCommand(CDecryptOptions::Help, "--help");
        else if (name == "version") setCommand(CDecryptOptions::Version, "--version");
        else if (name == "batch") o.batch = true;
        else if (name == "terminal") o.terminal = true;
        else if (name == "json") o.batch = o.json = true;
        else if (name == "inspect") setCommand(CDecryptOptions::Inspect, "--inspect");
        else if (name == "unregister") setCommand(CDecryptOptions::Unregister, "--unregister");
        else if (name == "open-signed") o.openSigned = true;
        else if (name == "key") o.keyFile = value.c_str();
        else if (name == "password-fd") {
            char* end = nullptr;
            errno = 0;
            long fd = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || fd < 0 || fd > INT_MAX)
                o.error = CString("invalid file descriptor '") + value.c_str() + "'";
            else
                o.passwordFd = static_cast<int>(fd);
        } else if (name == "jobs") {
            o.jobs = ParseJobs(value);
            if (o.jobs == 0 && !value.empty())
                o.error = CString("invalid number of jobs '") + value.c_str() + "' (a whole number from 1 to 1024)";
        } else {
            o.error = CString("unknown option '--") + name.c_str() + "'";
        }
        if ((takesValue && value.empty()) && o.error.IsEmpty())
            o.error = CString("option '--") + name.c_str() + "' needs a value";
    }
    if (o.error.IsEmpty() && o.terminal && o.batch)
        o.error = "option '--terminal' conflicts with '--batch' and '--json'";
    return o;
}

bool MayHandOver(const CDecryptOptions& options)
{
    return !options.batch && !options.json && !options.openSigned && options.keyFile.IsEmpty() &&
           options.command == CDecryptOptions::None;
}

CString JoinFileNames(const CStringArray& files)
{
    CString line;
    for (int i = 0; i < files.GetSize(); ++i) {
        if (i > 0)
            line += " ";
        const CString& f = files[i];
        if (std::strpbrk(f, " \t") != nullptr)
            line += CString("\"") + f + "\"";
        else
            line += f;
    }
    return line;
}
