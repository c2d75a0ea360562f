// The device side of the channel commands (see ChannelCommands.h).

#include "tools/instrument-sim/ChannelCommands.h"

#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/TestCommands.h"

#include <cstring>
#include <span>
#include <string>

namespace wv::sim {

namespace {


// Packed records kept for the record-CRC list go most significant byte first.
constexpr int kStoredOrder = 0;
// Reply bodies are built in host order; their layouts convert them to the frame's order.
constexpr int kHostOrder = 1;

// The 'M' in front of a level-sensor write, and the size of that write.
constexpr size_t kSensorWriteSize = 1 + kLevelSensorSize;


uint16_t RecordId(uint8_t tag, uint8_t channel) { return static_cast<uint16_t>(tag | (channel << 8)); }

std::span<const uint8_t> Body(const SimRequest& request) { return request.body; }

SimReply Answer(std::vector<uint8_t> body, const char* layout)
{
    return SimReply::Answer(std::move(body), layout);
}

// A channel as a fresh read leaves it: level defaults, calibration part empty.
ChannelDefinitionRecord NewChannel(uint8_t number, uint8_t type, const char* name)
{
    ChannelDefinitionRecord r;
    SetChannelLevelDefaults(r);
    ResetChannelSensorPart(r);
    r.channelNumber = number;
    r.parameterType = type;
    SetChannelName(r, name);
    return r;
}

// A calibrated sensor block; values exact in single precision, so what the host reads
// back compares equal.
void Calibrate(ChannelDefinitionRecord& r, float base)
{
    r.sensorDate = DeviceTime{2024, 2, 1, 9, 30, 0, 0};
    r.calibrationMode = 1;
    r.calibrationPointCount = 2;
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const float f = static_cast<float>(i);
        r.segments[i] = CalSegment{static_cast<uint8_t>(10 + i), base + f, base * 2 + f, 25.0f - f};
    }
    for (size_t i = 0; i < r.pairs.size(); ++i) {
        r.pairs[i] = CoeffPair{1.0f + 0.5f * static_cast<float>(i), -0.25f * static_cast<float>(i)};
    }
}

void InitialiseFor(SimChannelRecords& r, uint32_t type)
{
    r.initialised = true;

    LevelSensorRecord& level = r.levelSensor;
    level.sensorType = 1;
    level.sensorRange = 30;
    level.vendor = 2;
    level.model = 3;
    const char serial[] = "PT-20417";
    std::memcpy(level.serial.data(), serial, sizeof serial);
    PtCalInfoRecord& cal = level.calibration;
    cal.calibrationDate = DeviceTime{2024, 1, 20, 14, 5, 0, 0};
    cal.PRange = 30;
    cal.PAccuracy = 5;
    cal.PShift = 2;
    for (size_t i = 0; i < cal.PCoeff.size(); ++i) {
        cal.PCoeff[i] = 0.5f * static_cast<float>(i) - 1.0f;
    }
    cal.TAccuracy = 3;
    cal.TCoeff = {-20.0f, 0.0078125f, 0.0f, 0.0f};
    r.pressureReading = 0.125f;

    ChannelDefinitionRecord temperature = NewChannel(1, kParamTemperature, "Temperature");
    r.channels[1] = SimChannel{temperature, kChannelFormTemperature};

    if (!TkDeviceModelOf(type).IsParameterFamily()) {
        ChannelDefinitionRecord levelChannel = NewChannel(2, kParamLevel, "Level");
        levelChannel.levelSetting = 1;
        levelChannel.pressureRange = 30;
        levelChannel.levelMode = 2;
        levelChannel.levelReference = 12.5;
        levelChannel.referenceReading = 3.25;
        levelChannel.specificGravity = 1.0;
        levelChannel.whenToRead = 1;
        levelChannel.latitude = 45;
        levelChannel.locationByte = 1;
        levelChannel.elevation = 100.5;
        levelChannel.density = 0.75;
        r.channels[2] = SimChannel{levelChannel, kChannelFormLevel};
        return;
    }

    ChannelDefinitionRecord conductivity = NewChannel(2, 5, "");
    Calibrate(conductivity, 100.0f);
    r.channels[2] = SimChannel{conductivity, kChannelFormSensor};
    ChannelDefinitionRecord barometric = NewChannel(3, kParamBarometric, "Baro");
    barometric.pressureRange = 15;
    barometric.levelReference = 14.5;
    r.channels[3] = SimChannel{barometric, kChannelFormLevel};
    ChannelDefinitionRecord turbidity = NewChannel(r.turbidityChannel, kParamTurbidity, "");
    Calibrate(turbidity, 40.0f);
    turbidity.calibrationMode = 45;
    r.channels[r.turbidityChannel] = SimChannel{turbidity, kChannelFormTurbidity};
    ChannelDefinitionRecord wiper = NewChannel(kWiperChannelNumber, kParamWiper, "");
    r.channels[kWiperChannelNumber] = SimChannel{wiper, kChannelFormWiper};

    r.hasConductivitySensor = true;
    SensorInfoRecord& info = r.conductivity.info;
    info.tag = kConductivitySensorTag;
    info.byte = 9;
    std::memcpy(info.text.data(), "TB", 3);
    info.value = 1;
    info.date = DeviceTime{2023, 12, 5, 0, 0, 0, 0};
    for (size_t t = 0; t < r.conductivity.tables.size(); ++t) {
        SensorCalTable& table = r.conductivity.tables[t];
        table.parameterType = static_cast<uint8_t>(150 + t);
        table.date = DeviceTime{2023, 12, static_cast<uint8_t>(6 + t), 8, 0, 0, 0};
        table.calibrationMode = 45;
        table.pointCount = static_cast<uint8_t>(2 + t);
        for (size_t i = 0; i < table.points.size(); ++i) {
            const float f = static_cast<float>(i + 10 * t);
            table.points[i] = CalSegment{45, 1000.0f + f, 990.0f + f, 25.0f};
        }
        for (size_t i = 0; i < table.pairs.size(); ++i) {
            table.pairs[i] = CoeffPair{1.0f + static_cast<float>(t), static_cast<float>(i)};
        }
    }
    r.conductivity.temperatureCoefficients = {TempCoeffPair{0.0190625f, 0.0001f}, TempCoeffPair{0.02f, 0.0f}};

    const std::pair<uint8_t, const char*> sensors[] = {{1, "TMP001"}, {4, "CND002"}, {22, "TRB003"}};
    for (const auto& [code, text] : sensors) {
        SensorInfoRecord j;
        j.byte = code;
        std::memcpy(j.text.data(), text, 6);
        j.value = static_cast<uint16_t>(code * 10);
        j.date = DeviceTime{2023, 11, code, 0, 0, 0, 0};
        r.sensorInfo[code] = j;
    }

    // The coefficient cache: a calibration date and word in the head, then a distinct value
    // in every float the replies carry.
    std::span<uint8_t> cache(r.coefficients);
    const DeviceTime coefDate{2024, 1, 21, 10, 0, 0, 0};
    cache[0] = static_cast<uint8_t>(coefDate.year);
    cache[1] = static_cast<uint8_t>(coefDate.year >> 8);
    cache[2] = coefDate.month;
    cache[3] = coefDate.day;
    cache[4] = coefDate.hour;
    cache[5] = coefDate.minute;
    cache[6] = coefDate.second;
    cache[7] = coefDate.hundredths;
    cache[8] = 0x34;
    cache[9] = 0x12;
    for (size_t i = 0; i < 4; ++i) {
        StoreCoefficientFloat(cache, kCoefHeadFloats + 4 * i, 0.5f + static_cast<float>(i));
    }
    StoreCoefficientFloat(cache, kCoefSensorOffset, r.zeroOffset);
    for (size_t i = 0; i < kCoefHeadTailFloats; ++i) {
        StoreCoefficientFloat(cache, kCoefHeadTail + 4 * i, 2.0f + static_cast<float>(i));
    }
    for (uint8_t code : kCoefficientBlockCodes) {
        const size_t offset = static_cast<size_t>(CoefficientSetOffset(code));
        for (size_t j = 0; j < kCoefBlockFloats; ++j) {
            StoreCoefficientFloat(cache, offset + 4 * j, static_cast<float>(code) + 0.25f * static_cast<float>(j));
        }
    }

    r.wiper.values = {250, 500, 0, 125, 125, 13, 3, 30, 90, 0};
    r.wiper.state = 1;
    r.wiper.error = 0;
}

// ---- Channels ----------------------------------------------------------------------------

SimReply ChannelReply(const SimChannel& channel)
{
    return Answer(EncodeChannelDefinition(channel.record, channel.form, kHostOrder), ChannelFormLayout(channel.form));
}

SimReply SetChannel(SimDevice& device, const SimRequest& request)
{
    SimChannelRecords& r = ChannelRecordsOf(device);
    ChannelDefinitionRecord record;
    if (DecodeChannelDefinitionWrite(Body(request), request.order, r.turbidityChannel, record) != 0 ||
        request.body.size() != ChannelFormSize(request.body[0])) {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t form = request.body[0];
    auto it = r.channels.find(record.channelNumber);
    if (it == r.channels.end()) {
        return SimReply::Status(kStatusNoSuchRecord);
    }
    r.channelWrites.push_back(record);
    SimChannel& channel = it->second;
    switch (form) {
    case kChannelFormParameter:
        channel.form = kChannelFormSensor;  // the device keeps the block, not the name
        break;
    case kChannelFormLevel:
        if (channel.form != kChannelFormOldLevel) {
            channel.form = kChannelFormLevel;
        }
        if (record.whenToRead == 0 && record.levelMode != 2) {
            record.referenceReading = r.levelReading;
        }
        break;
    default:
        channel.form = form;
        break;
    }
    channel.record = record;
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}

SimReply GetChannel(SimDevice& device, const SimRequest& request)
{
    if (request.body.size() != 1) {
        return SimReply::Status(kStatusBadRequest);
    }
    const SimChannelRecords& r = ChannelRecordsOf(device);
    if (r.misplacedCodes.count(request.body[0]) != 0) {
        return SimReply::Status(kStatusMisplaced);
    }
    auto it = r.channels.find(request.body[0]);
    // The block selector reads the turbidity block wherever the turbidity channel sits.
    if (it == r.channels.end() && request.body[0] == kTkChannelBlockSelector) {
        it = r.channels.find(r.turbidityChannel);
    }
    if (it == r.channels.end()) {
        return SimReply::Status(kStatusNoSuchRecord);
    }
    return ChannelReply(it->second);
}

SimReply GetTestChannel(SimDevice& device, const SimRequest& request)
{
    if (request.body.size() != 2) {
        return SimReply::Status(kStatusBadRequest);
    }
    const uint8_t test = request.body[0];
    const uint8_t number = request.body[1];
    const SimChannelRecords& r = ChannelRecordsOf(device);
    const std::map<uint8_t, SimChannel>* channels = nullptr;
    if (auto kept = r.testChannels.find(test); kept != r.testChannels.end()) {
        channels = &kept->second;
    } else {
        const SimTests& tests = device.State<SimTests>();
        auto slot = tests.slots.find(test);
        if (slot == tests.slots.end() || !slot->second.defined) {
            return SimReply::Status(tests.noTestStatus);
        }
        channels = &r.channels;
    }
    auto it = channels->find(number);
    if (it == channels->end()) {
        return SimReply::Status(kStatusNoTestChannel);
    }
    return ChannelReply(it->second);
}

// ---- PT calibration and coefficients ---------------------------------------------------

SimReply SetPtCal(SimDevice& device, const SimRequest& request)
{
    PtCalInfoRecord cal;
    if (request.body.size() != kPtCalInfoSize || DecodePtCalInfo(Body(request), request.order, cal) != 0) {
        return SimReply::Status(kStatusBadRequest);
    }
    ChannelRecordsOf(device).levelSensor.calibration = cal;
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}

SimReply GetPtCalOrCoefficients(SimDevice& device, const SimRequest& request)
{
    SimChannelRecords& r = ChannelRecordsOf(device);
    if (request.body.empty()) {
        return Answer(EncodePtCalInfo(r.levelSensor.calibration, kHostOrder), kPtCalInfoLayout);
    }
    if (request.body.size() != 4 || !TkDeviceModelOf(device.Type()).IsParameterFamily()) {
        return SimReply::Status(kStatusBadRequest);
    }
    const std::array<uint8_t, 4> codes{request.body[0], request.body[1], request.body[2], request.body[3]};
    r.coefficientRequests.push_back(codes);
    if (codes[0] == kTkSensorCodeLevel) {
        return Answer(EncodeCoefficientHead(r.coefficients, kHostOrder), kCoefHeadLayout);
    }
    return Answer(EncodeCoefficientBlocks(r.coefficients, codes, kHostOrder), kCoefBlocksLayout);
}

// ---- Sensor information ------------------------------------------------------------------

SimReply SetSensorInfo(SimDevice& device, const SimRequest& request)
{
    LevelSensorRecord sensor;
    if (request.body.size() != kSensorWriteSize || request.body[0] != kTkSensorInfoWriteTag ||
        DecodeLevelSensor(Body(request).subspan(1), request.order, sensor) != 0) {
        return SimReply::Status(kStatusBadRequest);
    }
    SimChannelRecords& r = ChannelRecordsOf(device);
    r.levelSensor = sensor;
    r.hasLevelSensor = true;
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}

SimReply GetSensorInfo(SimDevice& device, const SimRequest& request)
{
    if (request.body.size() != 1) {
        return SimReply::Status(kStatusBadRequest);
    }
    const SimChannelRecords& r = ChannelRecordsOf(device);
    const uint8_t code = request.body[0];
    if (code == kTkSensorCodeLevel) {
        if (!r.hasLevelSensor) {
            return SimReply::Status(kStatusNoSuchRecord);
        }
        return Answer(EncodeLevelSensor(r.levelSensor, kHostOrder), kLevelSensorLayout);
    }
    if (code == kTkSensorCodeConductivity) {
        if (r.conductivityStatus != 0) {
            return SimReply::Status(r.conductivityStatus);
        }
        if (!r.hasConductivitySensor) {
            return SimReply::Status(kStatusNoSuchRecord);
        }
        return Answer(EncodeConductivitySensor(r.conductivity, kHostOrder), kConductivitySensorLayout);
    }
    auto it = r.sensorInfo.find(code);
    if (it == r.sensorInfo.end()) {
        if (code >= 1 && code <= 4 && TkDeviceModelOf(device.Type()).IsParameterFamily()) {
            return Answer(EncodeSensorInfo(DefaultPortSensor(code), kHostOrder), kSensorInfoLayout);
        }
        return SimReply::Status(kStatusNoSuchRecord);
    }
    return Answer(EncodeSensorInfo(it->second, kHostOrder), kSensorInfoLayout);
}

// ---- Wiper -------------------------------------------------------------------------------

SimReply SetWiper(SimDevice& device, const SimRequest& request)
{
    WiperRecord wiper;
    if (request.body.size() != kWiperRecordSize || DecodeWiperRecord(Body(request), request.order, wiper) != 0) {
        return SimReply::Status(kStatusBadRequest);
    }
    ChannelRecordsOf(device).wiper = wiper;
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}

SimReply GetWiper(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    return Answer(EncodeWiperRecord(ChannelRecordsOf(device).wiper, kHostOrder), kWiperRecordLayout);
}

SimReply WiperCommand(SimDevice& device, const SimRequest& request)
{
    std::vector<uint8_t> body;
    if (!request.Decode("i", body)) {
        return SimReply::Status(kStatusBadRequest);
    }
    uint16_t command = 0;
    std::memcpy(&command, body.data(), sizeof command);
    SimChannelRecords& r = ChannelRecordsOf(device);
    r.wiperCommands.push_back(command);
    // The wiper moves at once: a wipe and "go home" end at home, "stay away" away from it;
    // a calibration ends at home, or with the scripted error byte.
    switch (command) {
    case kSimWiperWipe:
    case kSimWiperHome: r.wiper.state = kSimWiperAtHome; break;
    case kSimWiperStayAway: r.wiper.state = kSimWiperAway; break;
    case kSimWiperCalibrate:
        r.wiper.error = r.wiperCalibrationError;
        if (r.wiperCalibrationError == 0) {
            r.wiper.state = kSimWiperAtHome;
        }
        break;
    default: break;
    }
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}

// ---- Zero ----------------------------------------------------------------------------------

SimReply ZeroPressure(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    SimChannelRecords& r = ChannelRecordsOf(device);
    ++r.zeroRequests;
    r.zeroOffset = r.pressureReading;
    StoreCoefficientFloat(r.coefficients, kCoefSensorOffset, r.zeroOffset);
    SyncChannelStoredRecords(device);
    TkBodyWriter w;
    w.F32(r.zeroOffset);
    return SimReply::Answer(w.Take(), "f");
}

SimReply ResetPressureZero(SimDevice& device, const SimRequest& request)
{
    if (!request.body.empty()) {
        return SimReply::Status(kStatusBadRequest);
    }
    SimChannelRecords& r = ChannelRecordsOf(device);
    ++r.zeroResets;
    r.zeroOffset = 0.0f;
    StoreCoefficientFloat(r.coefficients, kCoefSensorOffset, 0.0f);
    SyncChannelStoredRecords(device);
    return SimReply::Answer();
}


// ---- Records as the host's device image keeps them (for the record-CRC list) ------------

// The 'H' record of the coefficient cache, as the six coefficient replies deliver it: tag,
// date, word, four floats, the sensor offset, a byte no reply carries (0), then the 31 head
// floats and the seventeen blocks of 16 floats.
std::vector<uint8_t> CoefficientRecord(const std::array<uint8_t, kCoefficientCacheSize>& cache)
{
    const CoefficientCacheView view(cache);
    TkBodyWriter w(kStoredOrder);
    w.U8('H');
    w.Time(DeviceTime{static_cast<uint16_t>(cache[0] | cache[1] << 8), cache[2], cache[3], cache[4], cache[5],
                      cache[6], cache[7]});
    w.U16(static_cast<uint16_t>(cache[8] | cache[9] << 8));
    for (size_t i = 0; i < 4; ++i) {
        w.F32(view.Float(kCoefHeadFloats + 4 * i));
    }
    w.F32(view.Float(kCoefSensorOffset));
    w.U8(0);
    for (size_t offset = kCoefHeadTail; offset < kCoefficientCacheSize; offset += 4) {
        w.F32(view.Float(offset));
    }
    return w.Take();
}

// The '#' record of the pressure channel as the host reads it (channel 2, else 3): what the
// channel's read reply carries, in the '#' form.
std::vector<uint8_t> PressureChannelRecord(const SimChannelRecords& r)
{
    auto it = r.channels.find(2);
    if (it == r.channels.end()) {
        it = r.channels.find(3);
    }
    if (it == r.channels.end()) {
        return {};
    }
    const SimChannel& channel = it->second;
    ChannelDefinitionRecord asRead;
    if (DecodeChannelDefinition(EncodeChannelDefinition(channel.record, channel.form, kHostOrder), kHostOrder,
                                it->first, asRead) != 0) {
        return {};
    }
    return EncodeChannelDefinition(asRead, kChannelFormLevel, kStoredOrder);
}

} // namespace

SensorInfoRecord DefaultPortSensor(uint8_t port)
{
    SensorInfoRecord j;
    j.byte = 0;
    j.value = 0;
    j.text[0] = static_cast<char>('0' + port % 10);
    return j;
}

void SetPortSensor(SimDevice& device, uint8_t port, uint8_t kind, uint16_t number)
{
    SimChannelRecords& r = ChannelRecordsOf(device);
    auto it = r.sensorInfo.find(port);
    SensorInfoRecord j = it != r.sensorInfo.end() ? it->second : DefaultPortSensor(port);
    j.byte = kind;
    j.value = number;
    r.sensorInfo[port] = j;
    SyncChannelStoredRecords(device);
}

SimChannelRecords& ChannelRecordsOf(SimDevice& device)
{
    SimChannelRecords& r = device.State<SimChannelRecords>();
    if (!r.initialised) {
        InitialiseFor(r, device.Type());
        SyncChannelStoredRecords(device);
    }
    return r;
}

void SyncChannelStoredRecords(SimDevice& device)
{
    const SimChannelRecords& r = ChannelRecordsOf(device);
    std::map<uint16_t, std::vector<uint8_t>>& stored = DeviceRecordsOf(device).storedRecords;
    for (const auto& [number, channel] : r.channels) {
        if (channel.form == kChannelFormLevel || channel.form == kChannelFormOldLevel) {
            stored[RecordId(channel.form, number)] = EncodeChannelDefinition(channel.record, channel.form, kStoredOrder);
        }
    }
    if (!TkDeviceModelOf(device.Type()).IsParameterFamily()) {
        return;
    }
    if (r.hasLevelSensor) {
        stored[RecordId(kLevelSensorTag, 0)] = EncodeLevelSensor(r.levelSensor, kStoredOrder);
    } else {
        stored.erase(RecordId(kLevelSensorTag, 0));
    }
    if (auto it = r.channels.find(r.turbidityChannel);
        it != r.channels.end() && it->second.form == kChannelFormTurbidity) {
        stored[RecordId(kChannelFormTurbidity, 0)] =
            EncodeChannelDefinition(it->second.record, kChannelFormTurbidity, kStoredOrder);
    }
    stored[RecordId(kWiperRecordTag, 0)] = EncodeWiperRecord(r.wiper, kStoredOrder);
    stored[RecordId('H', 0)] = CoefficientRecord(r.coefficients);
    if (std::vector<uint8_t> pressure = PressureChannelRecord(r); !pressure.empty()) {
        stored[RecordId(kChannelFormLevel, 0)] = std::move(pressure);
    } else {
        stored.erase(RecordId(kChannelFormLevel, 0));
    }
    // The 'J' record of each port the host reads (sensor codes 1 to 4).
    for (uint8_t port = 1; port <= 4; ++port) {
        if (auto it = r.sensorInfo.find(port); it != r.sensorInfo.end()) {
            stored[RecordId(kSensorInfoTag, port)] = EncodeSensorInfo(it->second, kStoredOrder);
        } else {
            stored.erase(RecordId(kSensorInfoTag, port));
        }
    }
    if (r.hasConductivitySensor) {
        stored[RecordId(kConductivitySensorTag, 0)] = EncodeConductivitySensor(r.conductivity, kStoredOrder);
    } else {
        stored.erase(RecordId(kConductivitySensorTag, 0));
    }
}

void InstallChannelCommands(SimDevice& device)
{
    device.SetHandler(kTkCmdSetChannelConfig, SetChannel);
    device.SetHandler(kTkCmdGetChannelConfig, GetChannel);
    device.SetHandler(kTkCmdGetTestChannelConfig, GetTestChannel);
    device.SetHandler(kTkCmdSetPtCalInfo, SetPtCal);
    device.SetHandler(kTkCmdGetPtCalInfo, GetPtCalOrCoefficients);
    device.SetHandler(kTkCmdZeroPressure, ZeroPressure);
    device.SetHandler(kTkCmdResetPressureZero, ResetPressureZero);
    if (TkDeviceModelOf(device.Type()).IsParameterFamily()) {
        device.SetHandler(kTkCmdSetSensorInfo, SetSensorInfo);
        device.SetHandler(kTkCmdGetSensorInfo, GetSensorInfo);
        device.SetHandler(kTkCmdSetWiperRecord, SetWiper);
        device.SetHandler(kTkCmdGetWiperRecord, GetWiper);
        device.SetHandler(kTkCmdWiperCommand, WiperCommand);
    }
}

} // namespace wv::sim
