// EditMapisvc: registers the product's service and its two providers in MAPISVC.INF.
#include "deploykit/deploykit.h"
#include "deploykit/mapisvc.h"

#include "framework/profile.h"
#include "framework/system.h"

#include <cstring>

namespace deploykit {
namespace {

// What an entry holds: a fixed text, or one of the product's names. The library value is
// the installation folder followed by the library's file name.
enum class ValueKind { Text, DisplayName, Providers, Library };

struct ProfileEntry {
    const char* key;
    ValueKind kind;
    const char* text = nullptr;
};

struct Product {
    const char* service;
    const char* displayName;
    const char* providers;
    const char* addressBookSection;
    const char* transportSection;
    const char* library;
};

const Product kFullProduct{"PLNTM", kFullProductDisplayName, "PLNTM_AB, PLNTM_XP", "PLNTM_AB", "PLNTM_XP", "plntm.dll"};
const Product kLightProduct{"PLNTL", "Quillmar Postlantern Lite", "PLNTL_AB, PLNTL_XP", "PLNTL_AB", "PLNTL_XP", "plntl.dll"};

const ProfileEntry kServiceEntries[] = {
    {"PR_DISPLAY_NAME", ValueKind::DisplayName},
    {"PR_RESOURCE_FLAGS", ValueKind::Text, "SERVICE_SINGLE_COPY"},
    {"Providers", ValueKind::Providers},
    {"PR_SERVICE_DLL_NAME", ValueKind::Library},
    {"PR_SERVICE_SUPPORT_FILES", ValueKind::Library},
    {"PR_SERVICE_DELETE_FILES", ValueKind::Library},
    {"PR_SERVICE_ENTRY_NAME", ValueKind::Text, "ServiceEntry"},
    {"WIZARD_ENTRY_NAME", ValueKind::Text, "PostlanternWizard"},
};

const ProfileEntry kAddressBookEntries[] = {
    {"PR_RESOURCE_TYPE", ValueKind::Text, "MAPI_AB_PROVIDER"},
    {"PR_RESOURCE_FLAGS", ValueKind::Text, "STATUS_PRIMARY_IDENTITY"},
    {"PR_PROVIDER_DLL_NAME", ValueKind::Library},
    {"PR_PROVIDER_DISPLAY", ValueKind::Text, "Postlantern Address Book"},
    {"PR_DISPLAY_NAME", ValueKind::Text, "Postlantern Address Book"},
};

const ProfileEntry kTransportEntries[] = {
    {"PR_RESOURCE_TYPE", ValueKind::Text, "MAPI_TRANSPORT_PROVIDER"},
    {"PR_RESOURCE_FLAGS", ValueKind::Text, "STATUS_PRIMARY_IDENTITY"},
    {"PR_PROVIDER_DLL_NAME", ValueKind::Library},
    {"PR_PROVIDER_DISPLAY", ValueKind::Text, "Postlantern Courier"},
    {"PR_DISPLAY_NAME", ValueKind::Text, "Postlantern Courier"},
};

class MapisvcWriter {
public:
    MapisvcWriter(const CString& path, const Product& product, const char* folder)
        : m_path(path), m_product(product), m_library(CString(folder) + product.library) {}

    template <size_t N>
    void WriteSection(const char* section, const ProfileEntry (&entries)[N])
    {
        for (const ProfileEntry& e : entries)
            Write(section, e.key, ValueOf(e));
    }
    void Write(const char* section, const char* key, const char* value)
    {
        // Every entry is attempted even after a failure, so one bad write leaves as much
        // of the registration in place as the file allows.
        if (!WritePrivateProfileStringA(section, key, value, m_path))
            m_failed = true;
    }
    bool Failed() const { return m_failed; }

private:
    const char* ValueOf(const ProfileEntry& e) const
    {
        switch (e.kind) {
        case ValueKind::DisplayName:
            return m_product.displayName;
        case ValueKind::Providers:
            return m_product.providers;
        case ValueKind::Library:
            return m_library;
        case ValueKind::Text:
            break;
        }
        return e.text;
    }

    CString m_path;
    const Product& m_product;
    CString m_library;
    bool m_failed = false;
};

} // namespace

BOOL GetMapisvcPath(CString& path)
{
    char folder[kMaxSystemDirectory + 1];
    UINT length = GetSystemDirectoryA(folder, sizeof folder);
    if (length == 0)
        return FALSE;
    if (length > kMaxSystemDirectory) {
        // Cut short: a truncated folder would name some other file.
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    path = CString(folder) + "/" + kMapisvcName;
    return TRUE;
}

} // namespace deploykit

using namespace deploykit;

DEPLOYKIT_EXPORT LONG EditMapisvc(HWND, LONG* value, char* text)
{
    // Without a product or a folder there is nothing sound to write; a folder holding a
    // line break would be refused half-way through the entries, so it is refused up front.
    if (!value || !text || std::strpbrk(text, "\r\n")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    CString path;
    if (!GetMapisvcPath(path))
        return 0;
    const Product& product = *value == 0 ? kFullProduct : kLightProduct;
    MapisvcWriter writer(path, product, text);
    writer.Write("Services", product.service, product.displayName);
    writer.WriteSection(product.service, kServiceEntries);
    writer.WriteSection(product.addressBookSection, kAddressBookEntries);
    writer.WriteSection(product.transportSection, kTransportEntries);
    return writer.Failed() ? 0 : 1;
}
