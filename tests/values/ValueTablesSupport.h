#pragma once
// Shared pieces of the value-table tests: device images built by hand (a level
// logger and sondes with chosen sensors), the validity maps the value engine
// hands the origin table, and an engine double that answers from a fixed list.

#include "comm/DeviceImage.h"
#include "foundation/DataMap.h"
#include "values/ValueEngineServices.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace wvtest {

// A sensor on a numbered port: the channel code and the parameter type of its block.
struct PortSensor {
    uint8_t code;  // 11, 12, 21, 25, 31, 32, 41, 42
    uint8_t parameterType;
};

// A normalised image of deviceType whose linear test lists codes, with the ports'
// sensor blocks typed as given.
inline std::unique_ptr<CDeviceImage> MakeImage(uint8_t deviceType, const std::vector<uint8_t>& codes,
                                               const std::vector<PortSensor>& sensors = {})
{
    auto image = std::make_unique<CDeviceImage>();
    image->Reset();
    std::span<uint8_t> info = image->Record(kRecordDeviceInfo);
    info[0] = '9';
    info[1] = deviceType;
    info[2] = 0x39;
    info[3] = 0x30;
    for (const PortSensor& s : sensors) {
        std::span<uint8_t> cal = image->Record(ChannelCalRecordId(static_cast<uint8_t>(s.code / 10)));
        cal[0] = 'L';
        const size_t block = s.code % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
        cal[block + 1] = s.parameterType;
    }
    std::span<uint8_t> test = image->TestDefinitionBuffer(1);
    const size_t size = TestDefinitionSize(1);
    test[0] = 1;
    test[size - 3] = static_cast<uint8_t>(codes.size());
    std::copy(codes.begin(), codes.end(), test.begin() + static_cast<std::ptrdiff_t>(size - 2));
    image->Normalize();
    return image;
}

// A level logger: the pressure transducer and its board temperature.
inline std::unique_ptr<CDeviceImage> LevelLogger() { return MakeImage(25, {}); }

// The row validity the engine makes of an image: each parameter's used flag by
// name, and "TIMESTAMP" as "USER_TIMESTAMP".
inline CDataMap RowValidity(const CDeviceImage& image)
{
    CDataMap map;
    for (int kind = 0; const CValueSet* set = image.GetValueSet(kind); ++kind) {
        std::string name;
        for (int slot = 0; set->GetName(slot, name); ++slot) {
            map.SetBool(name, set->GetUsedAt(slot));
        }
    }
    int32_t timestamp = 0;
    map.GetBool("USER_TIMESTAMP", timestamp);
    map.SetBool("TIMESTAMP", timestamp);
    return map;
}

// The root validity of a device whose constants are all usable, but for the
// names given as unusable.
inline CDataMap RootValidity(const std::vector<std::string>& unusable = {})
{
    CDataMap map;
    for (const char* name : {"STARTTIME", "DENSITY", "SPECIFIC_GRAVITY", "ELEVATION", "LATITUDE", "DISPLAY_MODE",
                             "USER_REFERENCE", "NOW_REFERENCE", "WHENTOREAD_REF", "DEVICE_SERIAL_NO",
                             "ENTITY_CODE_STR", "ENTITY_IS_9K", "ENTITY_IS_MINIVORNA", "START_OF_TEST_REF"}) {
        map.SetBool(name, 1);
    }
    for (const std::string& name : unusable) {
        map.SetBool(name, 0);
    }
    return map;
}

// An engine that knows a fixed list of values; every other name fails with 1.
class FakeEngine final : public CValueEngineServices {
public:
    struct Default {
        std::string name;
        std::string text;
        int type;
        bool operator==(const Default&) const = default;
    };

    int GetValue(std::string_view name, CDataMap& result) override
    {
        asked.emplace_back(name);
        const auto it = values.find(std::string(name));
        if (it == values.end()) {
            SetError(kValueResultFailed, result);
            return 0;
        }
        result.SetDouble(name, it->second);
        return 1;
    }

    void SetError(int code, CDataMap& result) override
    {
        codes.push_back(code);
        int32_t bits = 0;
        result.GetInt("ErrCode", bits);
        result.SetInt("ErrCode", code == 0 ? 0 : (bits | code));
    }

    int SetValueFromText(CDataMap& result, std::string_view name, std::string_view text, int type) override
    {
        defaults.push_back({std::string(name), std::string(text), type});
        if (type == kDataMapInt) {
            result.SetInt(name, StrToInt(text));
        } else if (type == kDataMapDouble) {
            result.SetDouble(name, StrToDouble(text));
        }
        return 1;
    }

    std::map<std::string, double> values;
    std::vector<std::string> asked;
    std::vector<int> codes;
    std::vector<Default> defaults;
};

} // namespace wvtest
