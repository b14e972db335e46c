#include "tests/support/wait.h"

#include <thread>

namespace qmtest {

bool WaitUntil(const std::function<bool()>& happened, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (happened())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace qmtest
