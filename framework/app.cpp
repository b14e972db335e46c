// The application object and its profile.
#include "framework/app.h"

#include "framework/profile.h"
#include "framework/system.h"
#include "framework/window.h"

#include <cstdio>
#include <cstring>
#include <memory>

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

namespace {

CString ProgramName()
{
    char path[4096];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return CString("program");
    CString name(path);
    int slash = name.ReverseFind('/');
    if (slash >= 0)
        name = name.Mid(slash + 1);
    int dot = name.ReverseFind('.');
    if (dot > 0)
        name = name.Left(dot);
    return name;
}

// Keeps a registry handle closed on every path.
struct KeyHolder {
    HKEY key = nullptr;
    ~KeyHolder()
    {
        if (key)
            RegCloseKey(key);
    }
};

} // namespace

CWinApp::CWinApp(const char* appName)
{
    m_strExeName = ProgramName();
    m_strAppName = appName ? CString(appName) : m_strExeName;
    m_strProfileName = m_strExeName + ".INI";
    m_pszAppName = m_strAppName;
    m_pszExeName = m_strExeName;
    m_pszProfileName = m_strProfileName;
    AfxSetApp(this);
}

CWinApp::~CWinApp() = default;

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return m_nExitCode; }

int CWinApp::Run()
{
    BOOL idle = TRUE;
    long idleCount = 0;
    MSG msg;
    for (;;) {
        while (idle && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                idle = FALSE;
        }
        do {
            if (!PumpMessage()) {
                m_nExitCode = AfxGetQuitCode();
                return ExitInstance();
            }
            idle = TRUE;
            idleCount = 0;
        } while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    }
}

void CWinApp::SetRegistryKey(const char* company)
{
    m_strRegistryKey = company ? company : "";
    m_pszRegistryKey = m_strRegistryKey;
    m_strProfileName = m_pszAppName ? m_pszAppName : "";
    m_pszProfileName = m_strProfileName;
}

void CWinApp::SetCommandLine(int argc, char** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i] ? argv[i] : "");
    m_strCmdLine = AfxJoinCommandLine(args);
    m_lpCmdLine = m_strCmdLine;
}

HKEY CWinApp::GetAppRegistryKey(BOOL create)
{
    if (!m_pszRegistryKey || !*m_pszRegistryKey || !m_pszProfileName || !*m_pszProfileName)
        return nullptr;
    CString path = CString("Software\\") + m_pszRegistryKey + "\\" + m_pszProfileName;
    HKEY key = nullptr;
    LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr)
                    : RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, &key);
    return r == ERROR_SUCCESS ? key : nullptr;
}

HKEY CWinApp::GetSectionKey(const char* section, BOOL create)
{
    if (!section)
        return nullptr;
    KeyHolder app;
    app.key = GetAppRegistryKey(create);
    if (!app.key)
        return nullptr;
    HKEY key = nullptr;
    LONG r = create ? RegCreateKeyExA(app.key, section, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                      &key, nullptr)
                    : RegOpenKeyExA(app.key, section, 0, KEY_ALL_ACCESS, &key);
    return r == ERROR_SUCCESS ? key : nullptr;
}

namespace {
bool UsesRegistry(const CWinApp& app) { return app.m_pszRegistryKey && *app.m_pszRegistryKey; }
}

CString CWinApp::GetProfileString(const char* section, const char* entry, const char* defaultValue)
{
    if (UsesRegistry(*this)) {
        KeyHolder sec;
        sec.key = GetSectionKey(section, FALSE);
        DWORD type = 0, size = 0;
        if (sec.key && RegQueryValueExA(sec.key, entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
            std::string data(size, '\0');
            if (RegQueryValueExA(sec.key, entry, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
                data.resize(std::min<size_t>(size, std::strlen(data.c_str())));
                return CString(data);
            }
        }
        return CString(defaultValue);
    }
    // The INI file: grow the buffer until the value fits.
    for (DWORD size = 256;; size *= 4) {
        std::string buffer(size, '\0');
        DWORD n = GetPrivateProfileStringA(section, entry, defaultValue, buffer.data(), size, m_pszProfileName);
        if (n < size - 1 || size >= (64u << 20)) {
            buffer.resize(n);
            return CString(buffer);
        }
    }
}

BOOL CWinApp::WriteProfileString(const char* section, const char* entry, const char* value)
{
    if (!section)
        return FALSE;
    if (UsesRegistry(*this)) {
        if (!entry) {
            KeyHolder app;
            app.key = GetAppRegistryKey(FALSE);
            if (!app.key)
                return TRUE;   // nothing to delete
            LONG r = RegDeleteTreeA(app.key, section);
            return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
        }
        if (!value) {
            KeyHolder sec;
            sec.key = GetSectionKey(section, FALSE);
            if (!sec.key)
                return TRUE;
            LONG r = RegDeleteValueA(sec.key, entry);
            return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
        }
        KeyHolder sec;
        sec.key = GetSectionKey(section, TRUE);
        if (!sec.key)
            return FALSE;
        return RegSetValueExA(sec.key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                              static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
    }
    return WritePrivateProfileStringA(section, entry, value, m_pszProfileName);
}

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue)
{
    if (UsesRegistry(*this)) {
        KeyHolder sec;
        sec.key = GetSectionKey(section, FALSE);
        DWORD type = 0, value = 0, size = sizeof value;
        if (sec.key && RegQueryValueExA(sec.key, entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof value)
            return value;
        return static_cast<UINT>(defaultValue);
    }
    return GetPrivateProfileIntA(section, entry, defaultValue, m_pszProfileName);
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int value)
{
    if (UsesRegistry(*this)) {
        KeyHolder sec;
        sec.key = GetSectionKey(section, TRUE);
        if (!sec.key || !entry)
            return FALSE;
        DWORD v = static_cast<DWORD>(value);
        return RegSetValueExA(sec.key, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v) == ERROR_SUCCESS;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return WritePrivateProfileStringA(section, entry, text, m_pszProfileName);
}

BOOL CWinApp::GetProfileBinary(const char* section, const char* entry, CByteArray& data)
{
    data.RemoveAll();
    std::string bytes;
    if (UsesRegistry(*this)) {
        KeyHolder sec;
        sec.key = GetSectionKey(section, FALSE);
        DWORD type = 0, size = 0;
        if (!sec.key || RegQueryValueExA(sec.key, entry, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_BINARY)
            return FALSE;
        bytes.resize(size);
        if (RegQueryValueExA(sec.key, entry, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS ||
            type != REG_BINARY)
            return FALSE;
        bytes.resize(size);
    } else {
        CString text = GetProfileString(section, entry, nullptr);
        int n = text.GetLength();
        if (n == 0 || n % 2 != 0)
            return FALSE;
        for (int i = 0; i < n; i += 2) {
            int lo = text[i] - 'A', hi = text[i + 1] - 'A';
            if (lo < 0 || lo > 15 || hi < 0 || hi > 15)
                return FALSE;
            bytes += static_cast<char>((hi << 4) | lo);
        }
    }
    data.SetSize(static_cast<int>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(data.GetData(), bytes.data(), bytes.size());
    return TRUE;
}

BOOL CWinApp::GetProfileBinary(const char* section, const char* entry, BYTE** data, UINT* bytes)
{
    if (!data || !bytes)
        return FALSE;
    *data = nullptr;
    *bytes = 0;
    CByteArray array;
    if (!GetProfileBinary(section, entry, array))
        return FALSE;
    UINT n = static_cast<UINT>(array.GetSize());
    *data = new BYTE[n ? n : 1];
    if (n)
        std::memcpy(*data, array.GetData(), n);
    *bytes = n;
    return TRUE;
}

BOOL CWinApp::WriteProfileBinary(const char* section, const char* entry, const BYTE* data, UINT bytes)
{
    if (!data && bytes)
        return FALSE;
    if (UsesRegistry(*this)) {
        KeyHolder sec;
        sec.key = GetSectionKey(section, TRUE);
        if (!sec.key || !entry)
            return FALSE;
        return RegSetValueExA(sec.key, entry, 0, REG_BINARY, data, bytes) == ERROR_SUCCESS;
    }
    std::string text;
    text.reserve(static_cast<size_t>(bytes) * 2);
    for (UINT i = 0; i < bytes; ++i) {
        text += static_cast<char>('A' + (data[i] & 0x0F));
        text += static_cast<char>('A' + ((data[i] >> 4) & 0x0F));
    }
    return WritePrivateProfileStringA(section, entry, text.c_str(), m_pszProfileName);
}

CWinApp* AfxGetWinApp()
{
    CWinThread* app = AfxGetApp();
    return app && app->IsKindOf(RUNTIME_CLASS(CWinApp)) ? static_cast<CWinApp*>(app) : nullptr;
}

int AfxWinMain(int argc, char** argv)
{
    CWinApp* app = AfxGetWinApp();
    if (!app)
        return -1;
    app->SetCommandLine(argc, argv);
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
