// Feeds arbitrary bytes to the low-flow run as a .flo file: the settings section read
// from them must either load or leave the run as it was; a file read with its data must
// leave either the companion file or nothing; every key read back afterwards must come
// out of the typed access without a fault.

#include "lowflow/LFData.h"
#include "values/UnitCatalog.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

std::string Snapshot(const CDataMap& map)
{
    std::vector<std::string> keys;
    map.GetKeys(keys);
    std::string out;
    for (const std::string& key : keys) {
        std::string text;
        map.GetText(key, text);
        out += key + '\x01' + std::to_string(map.GetType(key)) + '\x01' + text + '\x02';
    }
    return out;
}

// A scratch folder of this process, made once.
const std::filesystem::path& Scratch()
{
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "wv-fuzz-lowflow-XXXXXX").string();
        Check(::mkdtemp(pattern.data()) != nullptr);
        return std::filesystem::path(pattern);
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static CUnitCatalog catalog("1");

    CLFData run;
    run.InitForDevice(catalog);
    const std::string before = Snapshot(run.GetSettings());
    size_t end = 0;
    if (run.ReadSettings(bytes, &end) == 0) {
        Check(Snapshot(run.GetSettings()) == before);
    } else {
        Check(end <= size);
    }

    const std::filesystem::path flo = Scratch() / "run.flo";
    const std::filesystem::path image = Scratch() / "run.bin";
    {
        std::ofstream out(flo, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::error_code ec;
    std::filesystem::remove(image, ec);
    CLFData withData;
    withData.InitForDevice(catalog);
    const int loaded = withData.LoadFileWithData(flo.string(), image.string());
    Check(std::filesystem::exists(image) == (loaded != 0));
    if (loaded != 0) {
        Check(std::filesystem::file_size(image) == size - end);
    }

    std::vector<std::string> keys;
    withData.GetSettings().GetKeys(keys);
    for (const std::string& key : keys) {
        LFValue value;
        withData.GetValue(key, value);
        withData.SetValue(key, value);
    }
    return 0;
}
