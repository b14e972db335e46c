// A kill request standing for the calling thread, as the program's cancel button leaves
// one: the library's long loops must end with the static CKillThreadException.
#pragma once

#include "framework/thread.h"
#include "sigilbox/engines/progress.h"
#include "tests/support/throws.h"

#include <utility>

namespace sigilboxtest {

// Standing while the object lives; cleared afterwards, so that what follows runs normally.
class KillRequest {
public:
    KillRequest()
    {
        ThreadToKill = &m_self;
        ThreadKillFlag = 1;
    }
    ~KillRequest()
    {
        ThreadKillFlag = 0;
        ThreadToKill = nullptr;
    }
    KillRequest(const KillRequest&) = delete;
    KillRequest& operator=(const KillRequest&) = delete;

private:
    CWinThread m_self;  // records the calling thread's identifier
};

// Whether the action ended with the static kill exception.
template <class F>
bool EndsWithKill(F&& action)
{
    qmtest::Caught<CKillThreadException> e = qmtest::Thrown<CKillThreadException>(std::forward<F>(action));
    return e && e.get() == &CKillThreadException::s_instance;
}

}  // namespace sigilboxtest
