#include "framework/object.h"
#include "framework/archive.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {
struct ClassRegistry {
    std::mutex lock;
    std::map<std::string, CRuntimeClass*> byName;
};

ClassRegistry& Registry()
{
    static ClassRegistry registry;
    return registry;
}
}

CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr, nullptr};
static AFX_CLASSINIT _init_CObject(&CObject::classCObject);

CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

void CObject::Serialize(CArchive&) {}

BOOL CObject::IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

BOOL CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != 0xFFFF; }

CObject* CRuntimeClass::CreateObject() const
{
    if (!m_pfnCreateObject)
        return nullptr;
    return m_pfnCreateObject();
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
        if (c == base || std::strcmp(c->m_lpszClassName, base->m_lpszClassName) == 0)
            return TRUE;
    return FALSE;
}

void CRuntimeClass::Register(CRuntimeClass* cls)
{
    auto& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.byName[cls->m_lpszClassName] = cls;
}

CRuntimeClass* CRuntimeClass::FromName(const char* name)
{
    auto& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byName.find(name ? name : "");
    return it == r.byName.end() ? nullptr : it->second;
}
