#include "datafiles/DeviceImageFileService.h"

#include "datafiles/TestFileImageReader.h"
#include "datafiles/TestFileWriter.h"

namespace {

class CDeviceImageFileService final : public CDeviceImageFiles {
public:
    bool WriteImage(const std::string& path, CDeviceImage& image) const override
    {
        CTestFileWriter writer;
        return writer.Write(path, image);
    }
    bool ReadImage(const std::string& path, CDeviceImage& image) const override
    {
        CTestFileImageReader reader;
        return reader.Read(path, image);
    }
};

} // namespace

const CDeviceImageFiles& DeviceImageFileService()
{
    static const CDeviceImageFileService service;
    return service;
}
