// The device side of the manufacturing-record commands (see MfgCommands.h).

#include "tools/instrument-sim/MfgCommands.h"

#include "comm/protocol/MfgRecords.h"
#include "comm/protocol/TkBody.h"
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/FileCommands.h"

#include <cstring>

namespace wv::sim {

namespace {

// The forms as the device keeps them, in host order once a layout has converted them.
constexpr const char* kMfgLayout = "ciii6(c)";       // 13 bytes
constexpr const char* kSensorLayout = "ccicc16(c)";  // 22 bytes
constexpr uint8_t kMfgTag = '2';
constexpr uint8_t kSensorTag = 30;
constexpr size_t kSerialBytes = 16;

SimReply SetMfg(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode(kMfgLayout, body) || body[0] != kMfgTag) {
        return SimReply::Status(kStatusBadRequest);
    }
    SimMfgRecords& r = MfgRecordsOf(device);
    if (r.ignoreSetRequests > 0) {
        --r.ignoreSetRequests;
        return SimReply::None();
    }
    TkBodyReader in(body);
    in.Skip(1);
    r.serialNo = in.U16();
    r.lotNumber = in.U16();
    r.mfgDate.year = in.U16();
    r.mfgDate.month = in.U8();
    r.mfgDate.day = in.U8();
    r.mfgDate.hour = in.U8();
    r.mfgDate.minute = in.U8();
    r.mfgDate.second = in.U8();
    r.mfgDate.hundredths = in.U8();
    r.serialWrites.push_back(r.serialNo);
    // The serial number is the device's address: it answers from the new one at once.
    device.SetAddress(r.serialNo);
    return SimReply::Answer();
}

SimReply GetMfg(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const SimMfgRecords& r = MfgRecordsOf(device);
    TkBodyWriter w;
    w.U8(kMfgTag).U16(r.serialNo).U16(r.lotNumber).U16(r.mfgDate.year);
    w.U8(r.mfgDate.month).U8(r.mfgDate.day).U8(r.mfgDate.hour).U8(r.mfgDate.minute);
    w.U8(r.mfgDate.second).U8(r.mfgDate.hundredths);
    return SimReply::Answer(w.Take(), kMfgLayout);
}

SimReply SetSensor(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode(kSensorLayout, body) || body[0] != kSensorTag) {
        return SimReply::Status(kStatusBadRequest);
    }
    LevelSensorRecord& sensor = ChannelRecordsOf(device).levelSensor;
    TkBodyReader in(body);
    in.Skip(1);
    sensor.sensorType = in.U8();
    sensor.sensorRange = in.U16();
    sensor.vendor = in.U8();
    sensor.model = in.U8();
    // The device keeps the 16 bytes as they came.
    in.Bytes(sensor.serial.data(), kSerialBytes);
    ++MfgRecordsOf(device).sensorWrites;
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}

SimReply GetSensor(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const LevelSensorRecord& sensor = ChannelRecordsOf(device).levelSensor;
    TkBodyWriter w;
    w.U8(kSensorTag).U8(sensor.sensorType).U16(sensor.sensorRange).U8(sensor.vendor).U8(sensor.model);
    w.Bytes(sensor.serial.data(), kSerialBytes);
    return SimReply::Answer(w.Take(), kSensorLayout);
}

} // namespace

SimMfgRecords& MfgRecordsOf(SimDevice& device)
{
    SimMfgRecords& r = device.State<SimMfgRecords>();
    if (!r.initialised) {
        r.initialised = true;
        r.serialNo = static_cast<uint16_t>(device.Address());
        r.lotNumber = 1207;
        r.mfgDate = DeviceTime{2023, 11, 2, 9, 30, 0, 0};
    }
    return r;
}

void InstallMfgCommands(SimDevice& device)
{
    device.SetHandler(kTkCmdSetMfgInfo, SetMfg);
    device.SetHandler(kTkCmdGetMfgInfo, GetMfg);
    device.SetHandler(kTkCmdSetPMfgInfo, SetSensor);
    device.SetHandler(kTkCmdGetPMfgInfo, GetSensor);
}

} // namespace wv::sim
