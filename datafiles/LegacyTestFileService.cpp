#include "datafiles/LegacyTestFileService.h"

#include "datafiles/LegacyDataFile.h"

namespace {

// One CLegacyDataFile behind the download's file interface.
class CLegacyDataFileAccess final : public CLegacyTestFile {
public:
    int Open(const std::string& path) override { return m_file.Open(path); }
    int AppendData(const uint8_t* bytes, size_t count) override { return m_file.AppendData(bytes, count); }
    void Close() override { m_file.Close(); }
    uint16_t StartPage() const override { return m_file.StartPage(); }
    uint16_t StartOffset() const override { return m_file.StartOffset(); }
    uint16_t EndPage() const override { return m_file.EndPage(); }
    uint16_t EndOffset() const override { return m_file.EndOffset(); }

private:
    CLegacyDataFile m_file;
};

class CLegacyTestFileService final : public CLegacyTestFiles {
public:
    std::unique_ptr<CLegacyTestFile> NewFile() const override { return std::make_unique<CLegacyDataFileAccess>(); }
    uint8_t KindFromDeviceCode(int model, int code) const override
    {
        return static_cast<uint8_t>(LegacyKindFromDeviceCode(model, code));
    }
};

} // namespace

const CLegacyTestFiles& LegacyTestFileService()
{
    static const CLegacyTestFileService service;
    return service;
}
