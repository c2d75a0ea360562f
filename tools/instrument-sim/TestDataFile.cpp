// A simulated device's test data file, written field by field (see TestDataFile.h).

#include "tools/instrument-sim/TestDataFile.h"

#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace wv::sim {

namespace {

constexpr size_t kDefinitionYearOffset = 20;  // scheduled start's year (16-bit)
constexpr size_t kEventThresholdOffset = 28;  // event form: the threshold (float)
constexpr uint8_t kEventType = 3;
constexpr DeviceTime kUnsetDate{1999, 9, 9, 9, 9, 9, 9};

// Appends fields most significant byte first.
class BigEndian {
public:
    BigEndian& U8(uint8_t v)
    {
        out_.push_back(v);
        return *this;
    }
    BigEndian& U16(uint16_t v)
    {
        out_.push_back(static_cast<uint8_t>(v >> 8));
        out_.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    BigEndian& U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v >> 16));
        return U16(static_cast<uint16_t>(v));
    }
    BigEndian& F32(float v)
    {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        return U32(bits);
    }
    BigEndian& F32(double v) { return F32(static_cast<float>(v)); }
    BigEndian& Time(const DeviceTime& t)
    {
        U16(t.year);
        out_.insert(out_.end(), {t.month, t.day, t.hour, t.minute, t.second, t.hundredths});
        return *this;
    }
    // size bytes of text, zero-padded; the last byte is always 0.
    BigEndian& Text(const char* text, size_t textSize, size_t size)
    {
        const size_t n = std::min(textSize, size - 1);
        size_t used = 0;
        while (used < n && text[used] != 0) {
            out_.push_back(static_cast<uint8_t>(text[used]));
            ++used;
        }
        out_.insert(out_.end(), size - used, 0);
        return *this;
    }
    // size bytes of text, zero-padded, without a terminating zero of their own.
    BigEndian& Chars(const char* text, size_t textSize, size_t size)
    {
        size_t used = 0;
        while (used < std::min(textSize, size) && text[used] != 0) {
            out_.push_back(static_cast<uint8_t>(text[used]));
            ++used;
        }
        out_.insert(out_.end(), size - used, 0);
        return *this;
    }
    BigEndian& Fill(size_t n, uint8_t byte)
    {
        out_.insert(out_.end(), n, byte);
        return *this;
    }
    BigEndian& Raw(const std::vector<uint8_t>& bytes)
    {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    size_t Size() const { return out_.size(); }
    std::vector<uint8_t> Take() { return std::move(out_); }

private:
    std::vector<uint8_t> out_;
};

// Host-order fields of the definition as the slot keeps it.
uint16_t HostU16(const std::vector<uint8_t>& b, size_t at)
{
    uint16_t v = 0;
    std::memcpy(&v, &b[at], sizeof v);
    return v;
}

uint32_t HostU32(const std::vector<uint8_t>& b, size_t at)
{
    uint32_t v = 0;
    std::memcpy(&v, &b[at], sizeof v);
    return v;
}

// The definition in file order: its only wider fields are the scheduled start's year and
// the event form's threshold.
std::vector<uint8_t> Definition(const std::vector<uint8_t>& def)
{
    std::vector<uint8_t> out = def;
    if (out.size() >= kDefinitionYearOffset + 2) {
        const uint16_t year = HostU16(def, kDefinitionYearOffset);
        out[kDefinitionYearOffset] = static_cast<uint8_t>(year >> 8);
        out[kDefinitionYearOffset + 1] = static_cast<uint8_t>(year);
    }
    if (!out.empty() && out[0] == kEventType && out.size() >= kEventThresholdOffset + 4) {
        const uint32_t bits = HostU32(def, kEventThresholdOffset);
        for (size_t i = 0; i < 4; ++i) {
            out[kEventThresholdOffset + i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
        }
    }
    return out;
}

void DeviceInfo(BigEndian& w, SimDevice& device)
{
    const SimDeviceRecords& r = DeviceRecordsOf(device);
    const std::string name = device.Name();
    w.U8('9')
        .U8(static_cast<uint8_t>(device.Type()))
        .U16(static_cast<uint16_t>(device.Address()))
        .U16(r.spareWord)
        .Time(DeviceTime{r.manufactureYear, r.manufactureMonth, r.manufactureDay, 0, 0, 0, 0})
        .U16(r.firmwareHundredths)
        .U8(r.hardwareByte)
        .U8(r.interfaceType)
        .U8(r.batteryType)
        .Time(r.batteryInstallDate)
        .Text(name.c_str(), name.size(), 17)
        .Time(DeviceTime{r.calibrationYear, r.calibrationMonth, r.calibrationDay, 0, 0, 0, 0})
        .U32(r.totalMemory)
        .U32(r.freeMemory)
        .U32(r.cpuRuntime)
        .F32(r.batteryVoltage)
        .F32(r.supplyVoltage);
}

// The pressure sensor's manufacturing fields after a tag (record 30's body).
void PressureSensorFields(BigEndian& w, const LevelSensorRecord& s)
{
    w.U8(s.sensorType).U16(s.sensorRange).U8(s.vendor).U8(s.model).Text(s.serial.data(), s.serial.size(), 16);
}

void PtCalibration(BigEndian& w, const PtCalInfoRecord& c)
{
    w.U8(31).Time(c.calibrationDate).U16(c.PRange).U16(c.PAccuracy).U8(c.PShift);
    for (float f : c.PCoeff) {
        w.F32(f);
    }
    w.U16(c.TAccuracy);
    for (float f : c.TCoeff) {
        w.F32(f);
    }
}

// The first channel of 2 and 3 the device keeps as a level channel.
const SimChannel* PressureChannel(const SimChannelRecords& r)
{
    for (uint8_t number : {uint8_t{2}, uint8_t{3}}) {
        auto it = r.channels.find(number);
        if (it != r.channels.end() &&
            (it->second.form == kChannelFormLevel || it->second.form == kChannelFormOldLevel)) {
            return &it->second;
        }
    }
    return nullptr;
}

void LevelChannel(BigEndian& w, const SimChannelRecords& r)
{
    const SimChannel* channel = PressureChannel(r);
    if (channel == nullptr) {
        // No level channel: the record a device writes for none.
        const char dummy[] = "DUMMY";
        w.U8('#').U8(0).Text(dummy, sizeof dummy, 17).Fill(46 - 19, 0);
        return;
    }
    const ChannelDefinitionRecord& c = channel->record;
    w.U8('#')
        .U8(c.channelNumber)
        .Text(c.name.data(), c.name.size(), 17)
        .U8(c.levelSetting)
        .U16(c.pressureRange)
        .U8(c.levelMode)
        .F32(c.levelReference)
        .F32(c.referenceReading)
        .F32(c.specificGravity)
        .U8(c.whenToRead)
        .U8(c.latitude)
        .U8(c.locationByte)
        .F32(c.elevation)
        .F32(c.density);
}

// A channel's calibration block (114 bytes) led by first.
void CalibrationBlock(BigEndian& w, uint8_t first, const ChannelDefinitionRecord& c)
{
    w.U8(first).U8(c.parameterType).Time(c.sensorDate).U8(c.calibrationMode).U8(c.calibrationPointCount);
    for (const CalSegment& s : c.segments) {
        w.U8(s.code).F32(s.standard).F32(s.reading).F32(s.temperature);
    }
    for (const CoeffPair& p : c.pairs) {
        w.F32(p.slope).F32(p.offset);
    }
}

void DefaultCalibrationBlock(BigEndian& w)
{
    w.U8('K').U8(4).Time(kUnsetDate).Fill(114 - 10, 0);
}

void Coefficients(BigEndian& w, const std::array<uint8_t, kCoefficientCacheSize>& cache)
{
    // The cache keeps its fields least significant byte first: the head's date and word,
    // four floats, the sensor offset, four spare bytes, then 31 head floats and the
    // seventeen blocks of 16 floats.
    auto le16 = [&](size_t at) { return static_cast<uint16_t>(cache[at] | cache[at + 1] << 8); };
    auto le32 = [&](size_t at) {
        return static_cast<uint32_t>(cache[at] | cache[at + 1] << 8 | cache[at + 2] << 16 |
                                     static_cast<uint32_t>(cache[at + 3]) << 24);
    };
    w.U8('H').Time(DeviceTime{le16(0), cache[2], cache[3], cache[4], cache[5], cache[6], cache[7]}).U16(le16(8));
    for (size_t at = 12; at < 28; at += 4) {
        w.U32(le32(at));
    }
    w.U32(le32(28)).U8(0);
    for (size_t at = 36; at + 4 <= kCoefficientCacheSize; at += 4) {
        w.U32(le32(at));
    }
}

void Wiper(BigEndian& w, const WiperRecord& r)
{
    w.U8('U');
    for (uint16_t v : r.values) {
        w.U16(v);
    }
    w.U8(r.state).U8(r.error);
}

void SensorInfo(BigEndian& w, uint8_t tag, const SensorInfoRecord& s)
{
    // Six bytes of text on the device, without a terminating zero.
    w.U8(tag).U8(s.byte).Chars(s.text.data(), s.text.size(), 6).U16(s.value).Time(s.date);
}

void CalTable(BigEndian& w, const SensorCalTable& t)
{
    w.U8('R').U8(t.parameterType).Time(t.date).U8(t.calibrationMode).U8(t.pointCount);
    for (const CalSegment& s : t.points) {
        w.U8(s.code).F32(s.standard).F32(s.reading).F32(s.temperature);
    }
    for (const CoeffPair& p : t.pairs) {
        w.F32(p.slope).F32(p.offset);
    }
}

void Conductivity(BigEndian& w, const SimChannelRecords& r)
{
    if (!r.hasConductivitySensor) {
        w.U8('V').Fill(252 - 1, 0);
        return;
    }
    const ConductivitySensorRecord& c = r.conductivity;
    SensorInfo(w, 'V', c.info);
    CalTable(w, c.tables[1]);
    CalTable(w, c.tables[0]);
    for (const TempCoeffPair& p : c.temperatureCoefficients) {
        w.F32(p.alpha).F32(p.beta);
    }
}

void Turbidity(BigEndian& w, const SimChannelRecords& r)
{
    auto it = r.channels.find(r.turbidityChannel);
    w.U8('S');
    if (it == r.channels.end()) {
        DefaultCalibrationBlock(w);
        return;
    }
    CalibrationBlock(w, 'K', it->second.record);
}

void SitePrefs(BigEndian& w, const SitePrefsRecord& p)
{
    w.U8(':').U16(p.word1).U16(p.word2).U16(p.word3).F32(p.value1).U16(p.word4).U16(p.word5).F32(p.value2)
        .F32(p.value3).F32(p.barometricPsi).U8(p.barometricFlag);
}

void SensorConfig(BigEndian& w, const SensorConfigRecord& c)
{
    w.U8('Y').F32(c.value0).Time(c.date).U16(c.word1);
    for (float f : c.values3) {
        w.F32(f);
    }
    w.U16(c.word2).U16(c.word3);
    for (float f : c.values34) {
        w.F32(f);
    }
    w.U16(c.word4);
    for (uint8_t b : c.bytes20) {
        w.U8(b);
    }
}

void CoefficientSets(BigEndian& w, const SimDeviceRecords& r)
{
    w.U8('[').U32(r.calSet1.value1).U32(r.calSet1.value2).U16(r.calSet1.value3).U32(r.calSet1.value4)
        .F32(r.calSet1.value5);
    w.U8('\\');
    for (uint32_t v : r.calSet2.values) {
        w.U32(v);
    }
    w.U16(r.calSet2.flags);
    w.U8(']');
    for (float f : r.calSet3.values) {
        w.F32(f);
    }
}

void LevelSensor(BigEndian& w, const SimChannelRecords& r)
{
    w.U8('I').U8(30);
    if (r.hasLevelSensor) {
        PressureSensorFields(w, r.levelSensor);
        PtCalibration(w, r.levelSensor.calibration);
        return;
    }
    // None fitted: the record of a device without one.
    const char zeros[] = "0000";
    LevelSensorRecord none;
    none.sensorType = kNoLevelSensorType;
    std::memcpy(none.serial.data(), zeros, sizeof zeros);
    PressureSensorFields(w, none);
    PtCalibration(w, PtCalInfoRecord{});
}

void Ports(BigEndian& w, const SimChannelRecords& r)
{
    for (uint8_t port = 1; port <= 4; ++port) {
        // A port without a record of its own holds what 269 answers for it: no sensor.
        auto it = r.sensorInfo.find(port);
        SensorInfo(w, 'J', it != r.sensorInfo.end() ? it->second : DefaultPortSensor(port));
    }
    // Each sensor channel of a port (codes 10 to 49, the port its tens) fills the second
    // block when its code ends in 2, else the first; a later code takes the place of an
    // earlier one.
    std::array<std::array<const ChannelDefinitionRecord*, 2>, 4> blocks{};
    for (const auto& [code, channel] : r.channels) {
        if (code >= 10 && code < 50) {
            blocks[code / 10 - 1][code % 10 == 2 ? 1 : 0] = &channel.record;
        }
    }
    for (const auto& port : blocks) {
        w.U8('L');
        for (const ChannelDefinitionRecord* channel : port) {
            if (channel != nullptr) {
                CalibrationBlock(w, 'K', *channel);
            } else {
                DefaultCalibrationBlock(w);
            }
        }
    }
}

} // namespace

bool WritesSondeFile(uint32_t deviceType) { return deviceType >= 30 && deviceType <= 40; }

std::vector<uint8_t> TestFileHeader(SimDevice& device, const std::vector<uint8_t>& definition,
                                    const DeviceTime& definedOn, const DeviceTime& start)
{
    const SimDeviceRecords& records = DeviceRecordsOf(device);
    const SimChannelRecords& channels = ChannelRecordsOf(device);
    BigEndian w;
    if (WritesSondeFile(device.Type())) {
        w.U8('f').Time(definedOn).Fill(96, ' ');
        w.Raw(Definition(definition)).Time(start);
        DeviceInfo(w, device);
        Coefficients(w, channels.coefficients);
        Wiper(w, channels.wiper);
        Conductivity(w, channels);
        Turbidity(w, channels);
        SitePrefs(w, records.sitePrefs);
        SensorConfig(w, records.sensorConfig);
        CoefficientSets(w, records);
        LevelSensor(w, channels);
        LevelChannel(w, channels);
        Ports(w, channels);
        return w.Take();
    }
    w.U8('d').Time(definedOn);
    w.Raw(Definition(definition)).Time(start);
    DeviceInfo(w, device);
    w.U8(30);
    PressureSensorFields(w, channels.levelSensor);
    PtCalibration(w, channels.levelSensor.calibration);
    auto temperature = channels.channels.find(1);
    w.U8(' ').U8(1);
    if (temperature != channels.channels.end()) {
        w.Text(temperature->second.record.name.data(), temperature->second.record.name.size(), 17);
    } else {
        const char dummy[] = "DUMMY";
        w.Text(dummy, sizeof dummy, 17);
    }
    LevelChannel(w, channels);
    return w.Take();
}

std::vector<uint8_t> TestFileTrailer(bool sonde, bool abended, const DeviceTime& stop, uint32_t samples)
{
    BigEndian w;
    w.U16(sonde ? 0x8003 : 0x8001).U16(abended ? 1 : 0).Time(stop).U32(samples);
    if (sonde) {
        w.F32(0.0f).F32(0.0f);
    }
    w.U8(sonde ? 'g' : 'e');
    return w.Take();
}

} // namespace wv::sim
