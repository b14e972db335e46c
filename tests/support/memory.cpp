#include "tests/support/memory.h"

#include <fstream>
#include <string>

namespace qmtest {

namespace {

long StatusMiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size())) / 1024;
    return -1;
}

}  // namespace

long PeakMiB() { return StatusMiB("VmHWM"); }

long ResidentMiB() { return StatusMiB("VmRSS"); }

void ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

}  // namespace qmtest
