// Feeds arbitrary bytes to the settings-store parser. Whatever it reads must
// survive being written and read again unchanged.

#include "platform/RegistryStore.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t bad = 0;
    wv::RegistryData parsed = wv::RegistryData::Parse(text, &bad);

    std::string written = parsed.Format();
    size_t badAgain = 0;
    wv::RegistryData again = wv::RegistryData::Parse(written, &badAgain);
    if (badAgain != 0 || !(again == parsed) || again.Format() != written) {
        std::abort();
    }

    // Every name that was read can be looked up again, whatever its letter case.
    for (const std::string& section : parsed.SectionNames()) {
        for (const std::string& name : parsed.ValueNames(section)) {
            if (!parsed.Find(section, name)) {
                std::abort();
            }
        }
    }
    return 0;
}
