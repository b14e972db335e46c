#include "framework/ui/dialog_template.h"

#include <map>
#include <mutex>

namespace {
std::mutex g_lock;
std::map<UINT, const DialogTemplate*>& Templates()
{
    static std::map<UINT, const DialogTemplate*> templates;
    return templates;
}
}

void AfxRegisterDialogTemplate(const DialogTemplate* dialogTemplate)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Templates()[dialogTemplate->id] = dialogTemplate;
}

void AfxRegisterDialogTemplates(std::initializer_list<const DialogTemplate*> templates)
{
    for (const DialogTemplate* t : templates)
        AfxRegisterDialogTemplate(t);
}

const DialogTemplate* AfxFindDialogTemplate(UINT id)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : it->second;
}
