#include "tests/support/throws.h"

namespace qmtest {

std::string ExceptionClassName(const CException* e)
{
    const CRuntimeClass* c = e ? e->GetRuntimeClass() : nullptr;
    return c && c->m_lpszClassName ? c->m_lpszClassName : "(unknown)";
}

}  // namespace qmtest
