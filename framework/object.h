// CObject and run-time class records: names, schemas, dynamic creation, IsKindOf and a
// registry of classes by name, which archives use to re-create stored objects.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

class CArchive;
class CObject;

// A class whose stored schema may differ from its own marks its schema with this flag.
constexpr UINT VERSIONABLE_SCHEMA = 0x80000000u;

struct FRAMEWORK_API CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                       // 0xFFFF: not serialisable
    CObject* (*m_pfnCreateObject)();      // null: not dynamically creatable
    CRuntimeClass* m_pBaseClass;

    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const;

    // Class records as archives store them: WORD schema, WORD name length, the name.
    void Store(CArchive& ar) const;
    static CRuntimeClass* Load(CArchive& ar, UINT* schema);

    // The registry of every class declared with the macros below.
    static CRuntimeClass* FromName(const char* name);
    static void Register(CRuntimeClass* cls);
};

// Registers a class at load time (one static object per implemented class).
struct FRAMEWORK_API AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass* cls) { CRuntimeClass::Register(cls); }
};

class FRAMEWORK_API CObject {
public:
    virtual ~CObject() = default;
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual void Serialize(CArchive& ar);

    BOOL IsKindOf(const CRuntimeClass* cls) const;
    BOOL IsSerializable() const;

    static CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name)                                  \
public:                                                              \
    static CRuntimeClass class##class_name;                          \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name)                                \
    DECLARE_DYNAMIC(class_name)                                      \
    static CObject* CreateObject();

#define DECLARE_SERIAL(class_name)                                   \
    DECLARE_DYNCREATE(class_name)                                    \
    friend CArchive& operator>>(CArchive& ar, class_name*& pOb);

#define AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew) \
    CRuntimeClass class_name::class##class_name = {                  \
        #class_name, static_cast<int>(sizeof(class class_name)), wSchema, pfnNew, \
        RUNTIME_CLASS(base_class_name)};                             \
    static AFX_CLASSINIT _init_##class_name(&class_name::class##class_name); \
    CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)             \
    CObject* class_name::CreateObject() { return new class_name; }   \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, class_name::CreateObject)

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema)       \
    CObject* class_name::CreateObject() { return new class_name; }   \
    AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, class_name::CreateObject) \
    AFX_SERIAL_EXTRACTION CArchive& operator>>(CArchive& ar, class_name*& pOb) \
    {                                                                \
        pOb = static_cast<class_name*>(ar.ReadObject(RUNTIME_CLASS(class_name))); \
        return ar;                                                   \
    }
