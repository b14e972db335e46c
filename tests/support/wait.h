// Waiting for what another thread or process makes happen, instead of sleeping for a while
// and hoping it has.
#pragma once

#include <chrono>
#include <functional>

namespace qmtest {

// Polls `happened` until it holds; false when it has not within `limit`, a bound for a hung
// run only, never the thing a test checks.
bool WaitUntil(const std::function<bool()>& happened, std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace qmtest
