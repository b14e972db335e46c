// The registry API over the two hive files.
#include "framework/registry.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct OpenKey {
    int hive;             // 0 HKEY_CURRENT_USER, 1 HKEY_LOCAL_MACHINE
    std::string path;     // below the root
    REGSAM sam;
};

const char* const kRootNames[] = {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};

std::mutex g_handlesLock;
std::unordered_map<std::uintptr_t, OpenKey> g_handles;
std::uintptr_t g_nextHandle = 0x1000;
thread_local std::string t_problem;

bool Resolve(HKEY key, OpenKey* out)
{
    auto v = reinterpret_cast<std::uintptr_t>(key);
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        out->hive = key == HKEY_CURRENT_USER ? 0 : 1;
        out->path.clear();
        out->sam = KEY_ALL_ACCESS;
        return true;
    }
    std::lock_guard<std::mutex> lock(g_handlesLock);
    auto it = g_handles.find(v);
    if (it == g_handles.end())
        return false;
    *out = it->second;
    return true;
}

HKEY NewHandle(const OpenKey& key)
{
    std::lock_guard<std::mutex> lock(g_handlesLock);
    std::uintptr_t v = g_nextHandle;
    g_nextHandle += 4;
    g_handles.emplace(v, key);
    return reinterpret_cast<HKEY>(v);
}

std::string HivePath(int hive)
{
    return std::string(AfxGetConfigFolder().str()) + "/" + kRootNames[hive] + ".reg";
}

// Joins a handle's path and a relative subkey name, dropping empty components.
bool JoinPath(const std::string& base, const char* subKey, std::string* out)
{
    *out = base;
    if (!subKey)
        return true;
    std::string_view s(subKey);
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find('\\', start);
        std::string_view part = s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!part.empty()) {
            if (!out->empty())
                *out += '\\';
            *out += part;
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return CRegistryHive::IsValidKeyPath(*out);
}

LONG ReadHive(int hive, CRegistryHive& model)
{
    std::string path = HivePath(hive);
    std::string text;
    if (!AfxReadWholeFile(path.c_str(), text)) {
        DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
            model.Load("");
            return ERROR_SUCCESS;
        }
        return static_cast<LONG>(err);
    }
    std::string problem;
    if (!model.Load(text, &problem)) {
        t_problem = path + ": " + problem + "; the file is left as it is";
        return static_cast<LONG>(ERROR_BADDB);
    }
    return ERROR_SUCCESS;
}

// Reads the hive, lets `change` act on it and writes it back when it asks for that.
// change returns ERROR_SUCCESS to write, AFX_EDIT_UNCHANGED to leave the file, or an error.
template <typename Change>
LONG EditHive(int hive, Change change)
{
    std::string path = HivePath(hive);
    std::string folder = AfxGetConfigFolder().str();
    if (!AfxCreateFolderPath(folder.c_str(), 0700))
        return static_cast<LONG>(GetLastError());
    DWORD result = AfxEditFileLocked(path.c_str(), [&](std::string& content, BOOL) -> DWORD {
        CRegistryHive model(kRootNames[hive]);
        std::string problem;
        if (!model.Load(content, &problem)) {
            t_problem = path + ": " + problem + "; the file is left as it is";
            return ERROR_BADDB;
        }
        DWORD r = change(model);
        if (r != ERROR_SUCCESS)
            return r;
        content = model.Save();
        return ERROR_SUCCESS;
    });
    return static_cast<LONG>(result);
}

LONG CopyData(const std::string& bytes, BYTE* data, DWORD* dataSize)
{
    if (!dataSize)
        return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (data) {
        if (*dataSize < needed) {
            *dataSize = needed;
            return ERROR_MORE_DATA;
        }
        if (needed)
            std::memcpy(data, bytes.data(), needed);
    }
    *dataSize = needed;
    return ERROR_SUCCESS;
}

LONG CopyName(const std::string& name, char* out, DWORD* size)
{
    if (!out || !size)
        return ERROR_INVALID_PARAMETER;
    if (*size < name.size() + 1) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

} // namespace

CString AfxGetRegistryProblem() { return CString(t_problem); }

CString AfxGetHivePath(HKEY root)
{
    if (root == HKEY_CURRENT_USER)
        return CString(HivePath(0));
    if (root == HKEY_LOCAL_MACHINE)
        return CString(HivePath(1));
    return CString();
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM sam, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey base;
    if (!Resolve(key, &base))
        return ERROR_INVALID_HANDLE;
    OpenKey opened{base.hive, {}, sam};
    if (!JoinPath(base.path, subKey, &opened.path))
        return ERROR_BAD_PATHNAME;
    CRegistryHive model(kRootNames[base.hive]);
    if (LONG r = ReadHive(base.hive, model))
        return r;
    if (!model.Find(base.path))
        return ERROR_KEY_DELETED;
    if (!model.Find(opened.path))
        return ERROR_FILE_NOT_FOUND;
    *result = NewHandle(opened);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY key, const char* subKey, PHKEY result)
{
    return RegOpenKeyExA(key, subKey, 0, KEY_ALL_ACCESS, result);
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM sam, void*, PHKEY result, DWORD* disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    OpenKey base;
    if (!Resolve(key, &base))
        return ERROR_INVALID_HANDLE;
    OpenKey opened{base.hive, {}, sam};
    if (!JoinPath(base.path, subKey, &opened.path))
        return ERROR_BAD_PATHNAME;

    // Most calls find the key there already: no lock and no write then.
    CRegistryHive model(kRootNames[base.hive]);
    if (LONG r = ReadHive(base.hive, model))
        return r;
    bool created = false;
    if (!model.Find(opened.path)) {
        if (!(base.sam & KEY_CREATE_SUB_KEY))
            return ERROR_ACCESS_DENIED;
        LONG r = EditHive(base.hive, [&](CRegistryHive& m) -> DWORD {
            if (!m.Find(base.path))
                return ERROR_KEY_DELETED;
            m.Create(opened.path, &created);
            return created ? ERROR_SUCCESS : AFX_EDIT_UNCHANGED;
        });
        if (r != ERROR_SUCCESS)
            return r;
    } else if (!model.Find(base.path)) {
        return ERROR_KEY_DELETED;
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(opened);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY key, const char* subKey, PHKEY result)
{
    return RegCreateKeyExA(key, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, result, nullptr);
}

LONG RegCloseKey(HKEY key)
{
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_handlesLock);
    return g_handles.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegFlushKey(HKEY key)
{
    OpenKey k;
    return Resolve(key, &k) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (data && !dataSize)
        return ERROR_INVALID_PARAMETER;
    CRegistryHive model(kRootNames[k.hive]);
    if (LONG r = ReadHive(k.hive, model))
        return r;
    const CRegistryHive::Key* found = model.Find(k.path);
    if (!found)
        return ERROR_KEY_DELETED;
    const CRegistryHive::Value* v = CRegistryHive::FindValue(*found, valueName ? valueName : "");
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = v->type;
    return CopyData(v->data, data, dataSize);
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!(k.sam & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!data && dataSize)
        return ERROR_INVALID_PARAMETER;
    CRegistryHive::Value value;
    value.name = valueName ? valueName : "";
    value.type = type;
    if (!CRegistryHive::IsValidValueName(value.name))
        return ERROR_INVALID_PARAMETER;
    if (dataSize)
        value.data.assign(reinterpret_cast<const char*>(data), dataSize);
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && value.data.find('\0') == std::string::npos)
        value.data += '\0';
    return EditHive(k.hive, [&](CRegistryHive& m) -> DWORD {
        CRegistryHive::Key* found = m.Find(k.path);
        if (!found)
            return ERROR_KEY_DELETED;
        const CRegistryHive::Value* old = CRegistryHive::FindValue(*found, value.name);
        if (old && old->type == value.type && old->data == value.data)
            return AFX_EDIT_UNCHANGED;
        CRegistryHive::SetValue(*found, value);
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, const char* valueName)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    if (!(k.sam & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    std::string name = valueName ? valueName : "";
    return EditHive(k.hive, [&](CRegistryHive& m) -> DWORD {
        CRegistryHive::Key* found = m.Find(k.path);
        if (!found)
            return ERROR_KEY_DELETED;
        return CRegistryHive::DeleteValue(*found, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

namespace {
LONG DeleteKey(HKEY key, const char* subKey, bool tree)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    std::string path;
    if (!JoinPath(k.path, subKey, &path))
        return ERROR_BAD_PATHNAME;
    bool self = path == k.path;
    if (!tree && (self || !subKey))
        return ERROR_INVALID_PARAMETER;
    return EditHive(k.hive, [&](CRegistryHive& m) -> DWORD {
        if (!m.Find(k.path))
            return ERROR_KEY_DELETED;
        CRegistryHive::Key* target = m.Find(path);
        if (!target)
            return ERROR_FILE_NOT_FOUND;
        if (!tree) {
            if (!m.SubKeys(path).empty())
                return ERROR_ACCESS_DENIED;
            m.DeleteTree(path);
            return ERROR_SUCCESS;
        }
        if (self) {
            // Empty the key itself: its values and subkeys go, the key stays.
            for (const std::string& child : m.SubKeys(path))
                m.DeleteTree(path.empty() ? child : path + "\\" + child);
            target = m.Find(path);
            target->items.clear();
            return ERROR_SUCCESS;
        }
        m.DeleteTree(path);
        return ERROR_SUCCESS;
    });
}
} // namespace

LONG RegDeleteKeyA(HKEY key, const char* subKey) { return DeleteKey(key, subKey, false); }
LONG RegDeleteTreeA(HKEY key, const char* subKey) { return DeleteKey(key, subKey, true); }

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD*, char* keyClass, DWORD* classSize, void*)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    CRegistryHive model(kRootNames[k.hive]);
    if (LONG r = ReadHive(k.hive, model))
        return r;
    if (!model.Find(k.path))
        return ERROR_KEY_DELETED;
    std::vector<std::string> names = model.SubKeys(k.path);
    if (index >= names.size())
        return ERROR_NO_MORE_ITEMS;
    if (keyClass && classSize && *classSize > 0) {
        keyClass[0] = '\0';
        *classSize = 0;
    }
    return CopyName(names[index], name, nameSize);
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize)
{
    return RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD*, DWORD* type, BYTE* data, DWORD* dataSize)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    CRegistryHive model(kRootNames[k.hive]);
    if (LONG r = ReadHive(k.hive, model))
        return r;
    const CRegistryHive::Key* found = model.Find(k.path);
    if (!found)
        return ERROR_KEY_DELETED;
    std::vector<const CRegistryHive::Value*> values = CRegistryHive::Values(*found);
    if (index >= values.size())
        return ERROR_NO_MORE_ITEMS;
    const CRegistryHive::Value& v = *values[index];
    if (LONG r = CopyName(v.name, valueName, valueNameSize))
        return r;
    if (type)
        *type = v.type;
    return CopyData(v.data, data, dataSize);
}

LONG RegQueryInfoKeyA(HKEY key, char* keyClass, DWORD* classSize, DWORD*, DWORD* subKeys, DWORD* maxSubKeyLength,
                      DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength, DWORD* maxValueLength,
                      DWORD* securityDescriptor, void*)
{
    OpenKey k;
    if (!Resolve(key, &k))
        return ERROR_INVALID_HANDLE;
    CRegistryHive model(kRootNames[k.hive]);
    if (LONG r = ReadHive(k.hive, model))
        return r;
    const CRegistryHive::Key* found = model.Find(k.path);
    if (!found)
        return ERROR_KEY_DELETED;
    std::vector<std::string> names = model.SubKeys(k.path);
    std::vector<const CRegistryHive::Value*> vals = CRegistryHive::Values(*found);
    if (keyClass && classSize && *classSize > 0)
        keyClass[0] = '\0';
    if (classSize)
        *classSize = 0;
    if (subKeys)
        *subKeys = static_cast<DWORD>(names.size());
    if (maxSubKeyLength) {
        size_t m = 0;
        for (const auto& n : names)
            m = std::max(m, n.size());
        *maxSubKeyLength = static_cast<DWORD>(m);
    }
    if (maxClassLength)
        *maxClassLength = 0;
    if (values)
        *values = static_cast<DWORD>(vals.size());
    size_t maxName = 0, maxData = 0;
    for (const auto* v : vals) {
        maxName = std::max(maxName, v->name.size());
        maxData = std::max(maxData, v->data.size());
    }
    if (maxValueNameLength)
        *maxValueNameLength = static_cast<DWORD>(maxName);
    if (maxValueLength)
        *maxValueLength = static_cast<DWORD>(maxData);
    if (securityDescriptor)
        *securityDescriptor = 0;
    return ERROR_SUCCESS;
}
