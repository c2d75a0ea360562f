// Feeds arbitrary files to the legacy test data file and to the download's end-pointer
// repair.
//
// Input: byte 0 is the number of bytes to append (0 to 255) and byte 1 selects the model
// code of the repair; the rest is the file. The file is opened; when it opens, every sample
// count must fit its data length, every value read must succeed or give one of its codes,
// and an append must move the end pointer by exactly the bytes appended (seen again by a
// fresh open). The repair then runs on the file as it stands and may only answer its codes.

#include "comm/LegacyBlockReaders.h"
#include "comm/protocol/TkResultCodes.h"
#include "datafiles/LegacyDataFile.h"
#include "foundation/AppUtils.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// The file of this process, removed when the process ends.
struct ScratchFile {
    std::string path = "/tmp/wv-fuzz-legacy-" + std::to_string(::getpid()) + ".bin";
    ~ScratchFile() { std::remove(path.c_str()); }
};

const std::string& FilePath()
{
    static const ScratchFile file;
    return file.path;
}

bool WriteFile(const uint8_t* data, size_t size)
{
    UniqueFile file(FileOpen(FilePath(), "wb"));
    return file && FileWrite(data, 1, size, file.get()) == size;
}

int64_t Linear(uint16_t page, uint16_t offset) { return (int64_t{page} - 1) * 16384 + offset - 16384; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || !WriteFile(data + 2, size - 2)) {
        return 0;
    }
    const size_t append = data[0];
    constexpr uint8_t kModels[] = {2, 3, 8, 10, 15, 16, 25};
    const uint8_t model = kModels[data[1] % sizeof kModels];

    {
        CLegacyDataFile file;
        const int opened = file.Open(FilePath());
        Check(opened == 0 || opened == kLegacyFileCannotOpen || (opened >= 1 && opened <= 8));
        if (opened == 0) {
            Check(file.SampleCount() <= file.DataLength());
            Check(Linear(file.EndPage(), file.EndOffset()) - Linear(file.StartPage(), file.StartOffset()) ==
                  file.DataLength());
            for (size_t c = 0; c < file.ChannelCount() + 1; ++c) {
                for (uint32_t s : {0u, file.SampleCount() / 2, file.SampleCount()}) {
                    double value = 0;
                    const int read = file.ReadValue({s, static_cast<uint32_t>(c)}, value);
                    Check(read == 0 || read == kLegacyFileNoSample || read == kLegacyFileRangeError);
                    if (s >= file.SampleCount() || c >= file.ChannelCount()) {
                        Check(read == kLegacyFileNoSample);
                    }
                }
            }
            const uint32_t length = file.DataLength();
            std::vector<uint8_t> bytes(append, 0x3C);
            const int appended = file.AppendData(bytes.data(), bytes.size());
            Check(appended == 0 || appended == kLegacyFileShortWrite);
            file.Close();
            if (appended == 0) {
                CLegacyDataFile again;
                Check(again.Open(FilePath()) == 0);
                Check(again.DataLength() == length + append);
            }
        }
    }

    UniqueFile file(FileOpen(FilePath(), "r+b"));
    if (file) {
        const uint32_t expected = size > 4 ? uint32_t{data[2]} << 8 | data[3] : 0;
        const int repaired = RepairLegacyEndPointer(file.get(), model, expected);
        Check(repaired == 0 || repaired == kTkErrLegacyTruncated || repaired == kTkErrFileRead ||
              repaired == kTkErrFileWrite);
    }
    return 0;
}
