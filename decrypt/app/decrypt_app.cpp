#include "decrypt/app/decrypt_app.h"

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

void ReadUserSettings(CWinApp& app, DecryptionState& state)
{
    state.m_strKeyFileName = app.GetProfileString(SETTINGS_SECTION, "KeyFileName", state.m_strKeyFileName);
    state.m_strEmailAddress = app.GetProfileString(SETTINGS_SECTION, "emailAddress", state.m_strEmailAddress);
    state.m_strDefaultViewer = app.GetProfileString(SETTINGS_SECTION, "DefaultViewer", state.m_strDefaultViewer);
}

BOOL WriteUserSettings(CWinApp& app, const DecryptionState& state)
{
    BOOL a = app.WriteProfileString(SETTINGS_SECTION, "KeyFileName", state.m_strKeyFileName);
    BOOL b = app.WriteProfileString(SETTINGS_SECTION, "emailAddress", state.m_strEmailAddress);
    BOOL c = app.WriteProfileString(SETTINGS_SECTION, "DefaultViewer", state.m_strDefaultViewer);
    return a && b && c;
}
