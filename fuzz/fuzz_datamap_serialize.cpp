// Feeds arbitrary bytes to a settings map loading itself from an archive. A
// damaged archive must fail and leave the map as it was; a map that loaded
// must store itself, and that archive must load into a new map that stores
// the same bytes again.

#include "foundation/Archive.h"
#include "foundation/DataMap.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

std::string Stored(CDataMap& map)
{
    wv::Archive out;
    Check(map.Serialize(out));
    return out.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // An ordered map that already holds a key, as a loader would have it.
    CDataMap map;
    map.SetOrdered(true);
    map.name = "before";
    map.SetInt("held", 1);
    const std::string before = Stored(map);

    wv::Archive in(bytes);
    const bool loaded = map.Serialize(in);
    Check(in.Position() <= size);
    if (!loaded) {
        Check(in.Failed());
        Check(Stored(map) == before);
        return 0;
    }
    std::vector<std::string> keys;
    map.GetKeys(keys);
    Check(!keys.empty() && keys.front() == "held"); // new keys follow in archive order

    const std::string first = Stored(map);
    CDataMap copy;
    wv::Archive again(first);
    Check(copy.Serialize(again));
    Check(again.Remaining() == 0);
    Check(Stored(copy) == first);
    return 0;
}
