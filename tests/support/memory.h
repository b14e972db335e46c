// The process's own memory, for tests that bound what hostile input may make it allocate
// (Linux; -1 where /proc/self/status is not there).
#pragma once

namespace qmtest {

// Peak resident memory since the last ResetPeak, in MiB.
long PeakMiB();
// Resident memory now, in MiB.
long ResidentMiB();
// Starts a new peak from the present resident memory.
void ResetPeak();

}  // namespace qmtest
