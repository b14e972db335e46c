// The hive reader on untrusted text: it must never crash, and what it writes must read back
// to the same text (so a hive does not drift each time it is rewritten).
#include "framework/registry.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), data ? size : 0);
    for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
        CRegistryHive hive(root);
        std::string problem;
        if (!hive.Load(text, &problem))
            continue;
        std::string once = hive.Save();
        CRegistryHive again(root);
        if (!again.Load(once))
            std::abort();
        if (again.Save() != once)
            std::abort();
        // Lookups over whatever was read.
        for (const std::string& name : again.SubKeys(""))
            if (!again.Find(name))
                std::abort();
    }
    return 0;
}
