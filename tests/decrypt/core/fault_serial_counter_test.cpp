// Serial-number counters when two instances of the program make certificates at the same
// moment: every certificate of one issuer must carry a counter value of its own, and the
// stored counter must end up counting all of them.
#include "ids_test_support.h"

#include "decrypt/core/certificate_file.h"
#include "sigilbox/asn1/serial_number.h"
#include "sigilbox/pki/distinguished_name.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The part of a serial that stands for the counter (its MD5; the rest is random).
std::string CounterPart(const CSerialNumber& serial)
{
    if (serial.GetSize() != 24)
        return {};
    return std::string(reinterpret_cast<const char*>(serial.GetData()) + 3, 16);
}

class SerialCounterRace : public IdsScratch {};

}  // namespace

// Two processes counting for the same issuer read and write one settings value at once; a
// counter value handed out twice would give two certificates the same serial number.
TEST_F(SerialCounterRace, TwoInstancesNeverHandOutTheSameCounter)
{
    constexpr int kEach = 100;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        if (child == 0) {
            close(fds[0]);
            for (int i = 0; i < kEach; ++i) {
                CSerialNumber serial;
                if (!NextSerialNumber(CDistinguishedName("race@example.org"), serial))
                    _exit(1);
                std::string part = CounterPart(serial);
                if (part.size() != 16 || write(fds[1], part.data(), 16) != 16)
                    _exit(2);
            }
            _exit(0);
        }
    }
    close(fds[1]);
    std::set<std::string> seen;
    int total = 0;
    char buffer[16];
    while (read(fds[0], buffer, 16) == 16) {
        seen.insert(std::string(buffer, 16));
        ++total;
    }
    close(fds[0]);
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(total, 2 * kEach);
    EXPECT_EQ(static_cast<int>(seen.size()), total) << "certificates with the same counter value";
}
