// Feeds arbitrary bytes to the sensor-foil coefficient file reader, as a damaged or foreign
// Config/KorvantFoilCoeffs.kvf would reach it.
//
// Whatever the bytes, the reader must stay inside them and never hold more batches than
// they can carry. A set that loads must write the same bytes back, and its batches must
// answer within their bounds.

#include "values/FoilCoeffSet.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    CFoilCoeffSet set;
    const bool loaded = set.Serialize(bytes, false);
    const size_t room = size < CFoilCoeffSet::kHeadSize ? 0 : (size - CFoilCoeffSet::kHeadSize) / CFoilCoeffSet::kBatchSize;
    Check(static_cast<size_t>(set.GetBatchCount()) <= room);
    if (loaded) {
        Check(size == CFoilCoeffSet::kHeadSize + CFoilCoeffSet::kBatchSize * static_cast<size_t>(set.GetBatchCount()) +
                          CFoilCoeffSet::kCrcSize);
        Check(set.GetLoadMessage() == 0);
        std::string written;
        Check(set.Serialize(written, true));
        // Everything before the CRC fields is kept, but for a negative batch count, which is
        // written as the 0 batches it stands for (the CRC fields' high halves are not kept).
        constexpr size_t kCountAt = 16;
        Check(written.size() == size);
        Check(written.compare(0, kCountAt, bytes, 0, kCountAt) == 0);
        const size_t rest = kCountAt + 4;
        Check(written.compare(rest, size - CFoilCoeffSet::kCrcSize - rest, bytes, rest,
                              size - CFoilCoeffSet::kCrcSize - rest) == 0);
        const bool negative = (static_cast<uint8_t>(bytes[kCountAt + 3]) & 0x80) != 0;
        Check(negative ? set.GetBatchCount() == 0 && written.compare(kCountAt, 4, std::string(4, '\0')) == 0
                       : written.compare(kCountAt, 4, bytes, kCountAt, 4) == 0);
        const int last = set.GetBatchCount() - 1;
        (void)set.GetCoeff(last, 4, 3);
        (void)set.GetBatchNumber(last);
    }
    return 0;
}
