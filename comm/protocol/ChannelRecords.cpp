#include "comm/protocol/ChannelRecords.h"

#include "comm/protocol/TkBody.h"
#include "comm/protocol/TkRequest.h"
#include "comm/protocol/TkResultCodes.h"
#include "foundation/Text.h"

#include <cstring>

#include <algorithm>
#include <bit>

namespace {

// A double of a record travels as the nearest 32-bit float.
void Narrow(TkBodyWriter& w, double value) { w.F32(static_cast<float>(value)); }

// Stored images are kept least significant byte first.
constexpr int kImageOrder = 1;

void WritePair(TkBodyWriter& w, const CoeffPair& p)
{
    w.F32(p.slope);
    w.F32(p.offset);
}

CoeffPair ReadPair(TkBodyReader& r)
{
    CoeffPair p;
    p.slope = r.F32();
    p.offset = r.F32();
    return p;
}

// The segments and pairs that end every calibration block, on the wire ("cfff" and "ff"
// each) or in a stored image (a segment's code byte padded to 4).
void WriteCalibration(TkBodyWriter& w, std::span<const CalSegment> segments, std::span<const CoeffPair> pairs,
                      bool image)
{
    for (const CalSegment& s : segments) {
        w.U8(s.code);
        if (image) {
            w.U8(0);
            w.U8(0);
            w.U8(0);
        }
        w.F32(s.standard);
        w.F32(s.reading);
        w.F32(s.temperature);
    }
    for (const CoeffPair& p : pairs) {
        WritePair(w, p);
    }
}

void ReadCalibration(TkBodyReader& in, std::span<CalSegment> segments, std::span<CoeffPair> pairs, bool image)
{
    for (CalSegment& s : segments) {
        s.code = in.U8();
        if (image) {
            in.Skip(3);
        }
        s.standard = in.F32();
        s.reading = in.F32();
        s.temperature = in.F32();
    }
    for (CoeffPair& p : pairs) {
        p = ReadPair(in);
    }
}

// The sensor block "cci6(c)cc6(cfff)3(ff)": tag 'K', parameter type, sensor
// date, calibration mode and point count, six segments, three pairs.
void WriteSensorBlock(TkBodyWriter& w, const ChannelDefinitionRecord& r)
{
    w.U8(kChannelFormSensor);
    w.U8(r.parameterType);
    w.Time(r.sensorDate);
    w.U8(r.calibrationMode);
    w.U8(r.calibrationPointCount);
    WriteCalibration(w, r.segments, r.pairs, false);
}

void ReadSensorBlock(TkBodyReader& in, ChannelDefinitionRecord& r)
{
    in.Skip(1);  // the block's own tag
    r.parameterType = in.U8();
    r.sensorDate = in.Time();
    r.calibrationMode = in.U8();
    r.calibrationPointCount = in.U8();
    ReadCalibration(in, r.segments, r.pairs, false);
}

// A record as every read starts it: all zero, level defaults, calibration part reset.
ChannelDefinitionRecord FreshChannel()
{
    ChannelDefinitionRecord r;
    SetChannelLevelDefaults(r);
    ResetChannelSensorPart(r);
    return r;
}

uint8_t LevelParameterType(uint8_t channelNumber)
{
    return channelNumber == kBarometricChannelNumber ? kParamBarometric : kParamLevel;
}

// Decodes any of the seven channel forms; the callers pick which they accept.
int DecodeChannelForm(std::span<const uint8_t> body, int order, uint8_t channelIfAbsent,
                      ChannelDefinitionRecord& record)
{
    if (body.empty()) {
        return kTkErrUnexpectedRecord;
    }
    const uint8_t tag = body[0];
    const size_t size = ChannelFormSize(tag);
    if (size == 0) {
        return kTkErrUnknownChannelForm;
    }
    if (body.size() < size) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    in.Skip(1);
    ChannelDefinitionRecord r = FreshChannel();
    switch (tag) {
    case kChannelFormTemperature:
        r.channelNumber = in.U8();
        r.parameterType = kParamTemperature;
        in.Text(r.name.data(), r.name.size(), kChannelNameSize);
        break;
    case kChannelFormOldLevel:
        // The older level form follows its own layout: the when-to-read byte
        // comes before the reference reading and the specific gravity.
        r.channelNumber = in.U8();
        r.parameterType = LevelParameterType(r.channelNumber);
        in.Text(r.name.data(), r.name.size(), kChannelNameSize);
        r.levelSetting = in.U8();
        r.pressureRange = in.U16();
        r.levelMode = in.U8();
        r.levelReference = in.F32();
        r.whenToRead = in.U8();
        r.referenceReading = in.F32();
        r.specificGravity = in.F32();
        r.latitude = 0;
        r.locationByte = 0;
        r.elevation = 0.0;
        r.density = 0.0;
        break;
    case kChannelFormLevel:
        r.channelNumber = in.U8();
        r.parameterType = LevelParameterType(r.channelNumber);
        in.Text(r.name.data(), r.name.size(), kChannelNameSize);
        r.levelSetting = in.U8();
        r.pressureRange = in.U16();
        r.levelMode = in.U8();
        r.levelReference = in.F32();
        r.referenceReading = in.F32();
        r.specificGravity = in.F32();
        r.whenToRead = in.U8();
        r.latitude = in.U8();
        r.locationByte = in.U8();
        r.elevation = in.F32();
        r.density = in.F32();
        break;
    case kChannelFormSensor:
        r.channelNumber = channelIfAbsent;
        in.SeekTo(0);
        ReadSensorBlock(in, r);
        break;
    case kChannelFormTurbidity:
        r.channelNumber = channelIfAbsent;
        ReadSensorBlock(in, r);
        break;
    case kChannelFormParameter:
        r.channelNumber = in.U8();
        ReadSensorBlock(in, r);
        break;
    case kChannelFormWiper:
        r.channelNumber = kWiperChannelNumber;
        r.parameterType = kParamWiper;
        break;
    default:
        return kTkErrUnknownChannelForm;
    }
    record = r;
    return 0;
}

} // namespace

// ---- Channel definition ----------------------------------------------------------------

const char* ChannelFormLayout(uint8_t tag)
{
    switch (tag) {
    case kChannelFormTemperature: return kChannelTemperatureLayout;
    case kChannelFormOldLevel: return kChannelOldLevelLayout;
    case kChannelFormLevel: return kChannelLevelLayout;
    case kChannelFormSensor: return kSensorBlockLayout;
    case kChannelFormTurbidity: return kChannelTurbidityLayout;
    case kChannelFormParameter: return kChannelParameterLayout;
    case kChannelFormWiper: return kChannelWiperLayout;
    default: return nullptr;
    }
}

size_t ChannelFormSize(uint8_t tag)
{
    switch (tag) {
    case kChannelFormTemperature: return kChannelTemperatureSize;
    case kChannelFormOldLevel: return kChannelOldLevelSize;
    case kChannelFormLevel: return kChannelLevelSize;
    case kChannelFormSensor: return kSensorBlockSize;
    case kChannelFormTurbidity: return kChannelTurbiditySize;
    case kChannelFormParameter: return kChannelParameterSize;
    case kChannelFormWiper: return kChannelWiperSize;
    default: return 0;
    }
}

uint8_t ChannelWriteForm(uint8_t parameterType)
{
    switch (parameterType) {
    case kParamTemperature: return kChannelFormTemperature;
    case kParamLevel:
    case kParamBarometric: return kChannelFormLevel;
    case kParamTurbidity: return kChannelFormTurbidity;
    case kParamWiper: return kChannelFormWiper;
    default: return kChannelFormParameter;
    }
}

void SetChannelLevelDefaults(ChannelDefinitionRecord& record)
{
    record.coefficients.fill(0.0);
    record.warmUp = kChannelDefaultWarmUp;
    record.levelSetting = kChannelDefaultLevelSetting;
    record.levelMode = kChannelDefaultLevelMode;
    record.levelReference = 0.0;
    record.whenToRead = kChannelDefaultWhenToRead;
    record.referenceReading = 0.0;
    record.specificGravity = kChannelDefaultSpecificGravity;
    record.pressureRange = kChannelDefaultPressureRange;
    record.latitude = 0;
    record.locationByte = 0;
    record.elevation = 0.0;
    record.density = 0.0;
}

void ResetChannelSensorPart(ChannelDefinitionRecord& record)
{
    record.sensorDate = kDeviceTimeNotSet;
    record.calibrationMode = 0;
    record.calibrationPointCount = 0;
    record.segments.fill(CalSegment{});
    record.pairs.fill(CoeffPair{});
}

size_t ChannelCalibrationPoints(const ChannelDefinitionRecord& record)
{
    return std::min<size_t>(record.calibrationPointCount, kChannelSegments);
}

size_t CalTablePoints(const SensorCalTable& table)
{
    return std::clamp<size_t>(table.pointCount, 1, kCalTablePoints);
}

std::string ChannelName(const ChannelDefinitionRecord& record)
{
    const auto end = std::find(record.name.begin(), record.name.end(), '\0');
    return Cp1252ToUtf8(std::string_view(record.name.data(), static_cast<size_t>(end - record.name.begin())));
}

void SetChannelName(ChannelDefinitionRecord& record, std::string_view utf8)
{
    const std::string bytes = Utf8ToCp1252(utf8);
    record.name.fill('\0');
    const size_t length = std::min(bytes.size(), kChannelNameSize - 1);
    for (size_t i = 0; i < length; ++i) {
        // A zero inside the text ends the name.
        if (bytes[i] == '\0') {
            break;
        }
        record.name[i] = bytes[i];
    }
}

std::vector<uint8_t> EncodeChannelDefinition(const ChannelDefinitionRecord& record, uint8_t tag, int order)
{
    if (ChannelFormSize(tag) == 0) {
        return {};
    }
    TkBodyWriter w(order);
    const ChannelDefinitionRecord& r = record;
    switch (tag) {
    case kChannelFormTemperature:
        w.U8(tag);
        w.U8(r.channelNumber);
        w.Text(r.name.data(), r.name.size(), kChannelNameSize);
        break;
    case kChannelFormOldLevel:
        w.U8(tag);
        w.U8(r.channelNumber);
        w.Text(r.name.data(), r.name.size(), kChannelNameSize);
        w.U8(r.levelSetting);
        w.U16(r.pressureRange);
        w.U8(r.levelMode);
        Narrow(w, r.levelReference);
        w.U8(r.whenToRead);
        Narrow(w, r.referenceReading);
        Narrow(w, r.specificGravity);
        break;
    case kChannelFormLevel:
        w.U8(tag);
        w.U8(r.channelNumber);
        w.Text(r.name.data(), r.name.size(), kChannelNameSize);
        w.U8(r.levelSetting);
        w.U16(r.pressureRange);
        w.U8(r.levelMode);
        Narrow(w, r.levelReference);
        Narrow(w, r.referenceReading);
        Narrow(w, r.specificGravity);
        w.U8(r.whenToRead);
        w.U8(r.latitude);
        w.U8(r.locationByte);
        Narrow(w, r.elevation);
        Narrow(w, r.density);
        break;
    case kChannelFormSensor:
        WriteSensorBlock(w, r);
        break;
    case kChannelFormTurbidity:
        w.U8(tag);
        WriteSensorBlock(w, r);
        break;
    case kChannelFormParameter:
        w.U8(tag);
        w.U8(r.channelNumber);
        WriteSensorBlock(w, r);
        break;
    case kChannelFormWiper:
        w.U8(tag);
        break;
    default:
        break;
    }
    return w.Take();
}

std::vector<uint8_t> EncodeChannelDefinitionWrite(const ChannelDefinitionRecord& record, int order)
{
    return EncodeChannelDefinition(record, ChannelWriteForm(record.parameterType), order);
}

int DecodeChannelDefinition(std::span<const uint8_t> body, int order, uint8_t requestedChannel,
                       ChannelDefinitionRecord& record)
{
    if (!body.empty() && body[0] == kChannelFormParameter) {
        return kTkErrUnknownChannelForm;  // a write form, never a reply
    }
    return DecodeChannelForm(body, order, requestedChannel, record);
}

int DecodeChannelDefinitionWrite(std::span<const uint8_t> body, int order, uint8_t channelIfAbsent,
                       ChannelDefinitionRecord& record)
{
    if (!body.empty() && (body[0] == kChannelFormOldLevel || body[0] == kChannelFormSensor)) {
        return kTkErrUnknownChannelForm;  // read forms, never written
    }
    return DecodeChannelForm(body, order, channelIfAbsent, record);
}

std::array<uint8_t, kChannelDefinitionImageSize> ChannelDefinitionToImage(const ChannelDefinitionRecord& r)
{
    TkBodyWriter w(kImageOrder);
    w.U8(r.channelNumber);
    w.U8(r.parameterType);
    w.Text(r.name.data(), r.name.size(), kChannelNameSize);
    w.PadTo(24);
    for (double c : r.coefficients) {
        w.F64(c);
    }
    w.U16(r.warmUp);
    w.U8(r.levelSetting);
    w.U8(r.levelMode);
    w.PadTo(72);
    w.F64(r.levelReference);
    w.U8(r.whenToRead);
    w.PadTo(88);
    w.F64(r.referenceReading);
    w.F64(r.specificGravity);
    w.U16(r.pressureRange);
    w.U8(r.latitude);
    w.U8(r.locationByte);
    w.PadTo(112);
    w.F64(r.elevation);
    w.F64(r.density);
    w.Time(r.sensorDate);
    w.U8(r.calibrationMode);
    w.U8(r.calibrationPointCount);
    w.PadTo(140);
    WriteCalibration(w, r.segments, r.pairs, true);
    w.PadTo(kChannelDefinitionImageSize);
    std::array<uint8_t, kChannelDefinitionImageSize> image{};
    std::copy_n(w.Data(), image.size(), image.begin());
    return image;
}

bool ChannelDefinitionFromImage(std::span<const uint8_t> image, ChannelDefinitionRecord& record)
{
    if (image.size() < kChannelDefinitionImageSize) {
        return false;
    }
    TkBodyReader in(image, kImageOrder);
    ChannelDefinitionRecord r;
    r.channelNumber = in.U8();
    r.parameterType = in.U8();
    in.Text(r.name.data(), r.name.size(), kChannelNameSize);
    in.SeekTo(24);
    for (double& c : r.coefficients) {
        c = in.F64();
    }
    r.warmUp = in.U16();
    r.levelSetting = in.U8();
    r.levelMode = in.U8();
    in.SeekTo(72);
    r.levelReference = in.F64();
    r.whenToRead = in.U8();
    in.SeekTo(88);
    r.referenceReading = in.F64();
    r.specificGravity = in.F64();
    r.pressureRange = in.U16();
    r.latitude = in.U8();
    r.locationByte = in.U8();
    in.SeekTo(112);
    r.elevation = in.F64();
    r.density = in.F64();
    r.sensorDate = in.Time();
    r.calibrationMode = in.U8();
    r.calibrationPointCount = in.U8();
    in.SeekTo(140);
    ReadCalibration(in, r.segments, r.pairs, true);
    record = r;
    return true;
}

// ---- Factory pressure/temperature calibration --------------------------------------------

namespace {

// The calibration fields after the tag, in wire order.
void WritePtCalFields(TkBodyWriter& w, const PtCalInfoRecord& r)
{
    w.Time(r.calibrationDate);
    w.U16(r.PRange);
    w.U16(r.PAccuracy);
    w.U8(r.PShift);
    for (float c : r.PCoeff) {
        w.F32(c);
    }
    w.U16(r.TAccuracy);
    for (float c : r.TCoeff) {
        w.F32(c);
    }
}

PtCalInfoRecord ReadPtCalFields(TkBodyReader& in)
{
    PtCalInfoRecord r;
    r.calibrationDate = in.Time();
    r.PRange = in.U16();
    r.PAccuracy = in.U16();
    r.PShift = in.U8();
    for (float& c : r.PCoeff) {
        c = in.F32();
    }
    r.TAccuracy = in.U16();
    for (float& c : r.TCoeff) {
        c = in.F32();
    }
    return r;
}

void WritePtCalImage(TkBodyWriter& w, const PtCalInfoRecord& r)
{
    const size_t base = w.Size();
    w.Time(r.calibrationDate);
    w.U16(r.PRange);
    w.U16(r.PAccuracy);
    w.U8(r.PShift);
    w.PadTo(base + 16);
    for (float c : r.PCoeff) {
        w.F32(c);
    }
    w.U16(r.TAccuracy);
    w.PadTo(base + 84);
    for (float c : r.TCoeff) {
        w.F32(c);
    }
}

PtCalInfoRecord ReadPtCalImage(TkBodyReader& in, size_t base)
{
    PtCalInfoRecord r;
    in.SeekTo(base);
    r.calibrationDate = in.Time();
    r.PRange = in.U16();
    r.PAccuracy = in.U16();
    r.PShift = in.U8();
    in.SeekTo(base + 16);
    for (float& c : r.PCoeff) {
        c = in.F32();
    }
    r.TAccuracy = in.U16();
    in.SeekTo(base + 84);
    for (float& c : r.TCoeff) {
        c = in.F32();
    }
    return r;
}

template <size_t N>
std::array<uint8_t, N> ToArray(const std::vector<uint8_t>& bytes)
{
    std::array<uint8_t, N> image{};
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), image.begin());
    return image;
}

} // namespace

std::vector<uint8_t> EncodePtCalInfo(const PtCalInfoRecord& record, int order)
{
    TkBodyWriter w(order);
    w.U8(kPtCalInfoTag);
    WritePtCalFields(w, record);
    return w.Take();
}

int DecodePtCalInfo(std::span<const uint8_t> body, int order, PtCalInfoRecord& record)
{
    if (body.size() < kPtCalInfoSize || body[0] != kPtCalInfoTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    in.Skip(1);
    record = ReadPtCalFields(in);
    return 0;
}

std::array<uint8_t, kPtCalInfoImageSize> PtCalInfoToImage(const PtCalInfoRecord& record)
{
    TkBodyWriter w(kImageOrder);
    WritePtCalImage(w, record);
    return ToArray<kPtCalInfoImageSize>(w.Body());
}

bool PtCalInfoFromImage(std::span<const uint8_t> image, PtCalInfoRecord& record)
{
    if (image.size() < kPtCalInfoImageSize) {
        return false;
    }
    TkBodyReader in(image, kImageOrder);
    record = ReadPtCalImage(in, 0);
    return true;
}

// ---- Sensor-information records --------------------------------------------------------

std::vector<uint8_t> EncodeLevelSensor(const LevelSensorRecord& record, int order)
{
    TkBodyWriter w(order);
    w.U8(kLevelSensorTag);
    w.U8(kLevelSensorSubTag);
    w.U8(record.sensorType);
    w.U16(record.sensorRange);
    w.U8(record.vendor);
    w.U8(record.model);
    w.Text(record.serial.data(), record.serial.size(), kSensorSerialSize);
    w.U8(kPtCalInfoTag);
    WritePtCalFields(w, record.calibration);
    return w.Take();
}

int DecodeLevelSensor(std::span<const uint8_t> body, int order, LevelSensorRecord& record)
{
    if (body.size() < kLevelSensorSize || body[0] != kLevelSensorTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    in.Skip(2);  // 'I' and sub-tag 30
    LevelSensorRecord r;
    r.sensorType = in.U8();
    r.sensorRange = in.U16();
    r.vendor = in.U8();
    r.model = in.U8();
    in.Text(r.serial.data(), r.serial.size(), kSensorSerialSize);
    in.Skip(1);  // sub-tag 31
    r.calibration = ReadPtCalFields(in);
    record = r;
    return 0;
}

std::array<uint8_t, kLevelSensorImageSize> LevelSensorToImage(const LevelSensorRecord& record)
{
    TkBodyWriter w(kImageOrder);
    w.U8(record.sensorType);
    w.PadTo(2);
    w.U16(record.sensorRange);
    w.U8(record.vendor);
    w.U8(record.model);
    w.Text(record.serial.data(), record.serial.size(), kSensorSerialSize);
    w.PadTo(24);
    WritePtCalImage(w, record.calibration);
    return ToArray<kLevelSensorImageSize>(w.Body());
}

bool LevelSensorFromImage(std::span<const uint8_t> image, LevelSensorRecord& record)
{
    if (image.size() < kLevelSensorImageSize) {
        return false;
    }
    TkBodyReader in(image, kImageOrder);
    LevelSensorRecord r;
    r.sensorType = in.U8();
    in.SeekTo(2);
    r.sensorRange = in.U16();
    r.vendor = in.U8();
    r.model = in.U8();
    in.Text(r.serial.data(), r.serial.size(), kSensorSerialSize);
    r.calibration = ReadPtCalImage(in, 24);
    record = r;
    return true;
}

namespace {

void WriteSensorInfo(TkBodyWriter& w, const SensorInfoRecord& r)
{
    w.U8(r.tag);
    w.U8(r.byte);
    // Six characters travel; the record adds the zero.
    for (size_t i = 0; i < kSensorInfoTextSize - 1; ++i) {
        w.U8(static_cast<uint8_t>(r.text[i]));
    }
    w.U16(r.value);
    w.Time(r.date);
}

SensorInfoRecord ReadSensorInfo(TkBodyReader& in)
{
    SensorInfoRecord r;
    r.tag = in.U8();
    r.byte = in.U8();
    for (size_t i = 0; i < kSensorInfoTextSize - 1; ++i) {
        r.text[i] = static_cast<char>(in.U8());
    }
    r.text[kSensorInfoTextSize - 1] = '\0';
    r.value = in.U16();
    r.date = in.Time();
    return r;
}

// An 'R' sub-block "cci6(c)cc5(cfff)4(ff)" (109 bytes).
void WriteCalTable(TkBodyWriter& w, const SensorCalTable& t)
{
    w.U8(kCalTableTag);
    w.U8(t.parameterType);
    w.Time(t.date);
    w.U8(t.calibrationMode);
    w.U8(t.pointCount);
    WriteCalibration(w, t.points, t.pairs, false);
}

SensorCalTable ReadCalTable(TkBodyReader& in)
{
    SensorCalTable t;
    in.Skip(1);
    t.parameterType = in.U8();
    t.date = in.Time();
    t.calibrationMode = in.U8();
    t.pointCount = in.U8();
    ReadCalibration(in, t.points, t.pairs, false);
    return t;
}

void WriteCalTableImage(TkBodyWriter& w, const SensorCalTable& t)
{
    const size_t base = w.Size();
    w.U8(t.parameterType);
    w.PadTo(base + 2);
    w.Time(t.date);
    w.U8(t.calibrationMode);
    w.U8(t.pointCount);
    WriteCalibration(w, t.points, t.pairs, true);
}

SensorCalTable ReadCalTableImage(TkBodyReader& in, size_t base)
{
    SensorCalTable t;
    in.SeekTo(base);
    t.parameterType = in.U8();
    in.SeekTo(base + 2);
    t.date = in.Time();
    t.calibrationMode = in.U8();
    t.pointCount = in.U8();
    ReadCalibration(in, t.points, t.pairs, true);
    return t;
}

} // namespace

std::vector<uint8_t> EncodeSensorInfo(const SensorInfoRecord& record, int order)
{
    TkBodyWriter w(order);
    SensorInfoRecord r = record;
    r.tag = kSensorInfoTag;
    WriteSensorInfo(w, r);
    return w.Take();
}

int DecodeSensorInfo(std::span<const uint8_t> body, int order, SensorInfoRecord& record)
{
    if (body.size() < kSensorInfoSize || body[0] != kSensorInfoTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    record = ReadSensorInfo(in);
    return 0;
}

std::vector<uint8_t> EncodeSensorCalTable(const SensorCalTable& table, int order)
{
    TkBodyWriter w(order);
    WriteCalTable(w, table);
    return w.Take();
}

int DecodeSensorCalTable(std::span<const uint8_t> body, int order, SensorCalTable& table)
{
    if (body.size() < kCalTableSize || body[0] != kCalTableTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    table = ReadCalTable(in);
    return 0;
}

std::vector<uint8_t> EncodeConductivitySensor(const ConductivitySensorRecord& record, int order)
{
    TkBodyWriter w(order);
    SensorInfoRecord info = record.info;
    info.tag = kConductivitySensorTag;
    WriteSensorInfo(w, info);
    // The wire carries the record's second table first.
    WriteCalTable(w, record.tables[1]);
    WriteCalTable(w, record.tables[0]);
    for (const TempCoeffPair& p : record.temperatureCoefficients) {
        w.F32(p.alpha);
        w.F32(p.beta);
    }
    return w.Take();
}

int DecodeConductivitySensor(std::span<const uint8_t> body, int order, ConductivitySensorRecord& record)
{
    if (body.size() < kConductivitySensorSize || body[0] != kConductivitySensorTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    ConductivitySensorRecord r;
    r.info = ReadSensorInfo(in);
    r.tables[1] = ReadCalTable(in);
    r.tables[0] = ReadCalTable(in);
    for (TempCoeffPair& p : r.temperatureCoefficients) {
        p.alpha = in.F32();
        p.beta = in.F32();
    }
    record = r;
    return 0;
}

std::array<uint8_t, kConductivitySensorImageSize> ConductivitySensorToImage(const ConductivitySensorRecord& record)
{
    TkBodyWriter w(kImageOrder);
    const SensorInfoRecord& info = record.info;
    w.U8(info.tag);
    w.U8(info.byte);
    w.Text(info.text.data(), info.text.size(), kSensorInfoTextSize);
    w.PadTo(10);
    w.U16(info.value);
    w.Time(info.date);
    w.PadTo(20);
    WriteCalTableImage(w, record.tables[0]);
    WriteCalTableImage(w, record.tables[1]);
    for (const TempCoeffPair& p : record.temperatureCoefficients) {
        w.F32(p.alpha);
        w.F32(p.beta);
    }
    return ToArray<kConductivitySensorImageSize>(w.Body());
}

bool ConductivitySensorFromImage(std::span<const uint8_t> image, ConductivitySensorRecord& record)
{
    if (image.size() < kConductivitySensorImageSize) {
        return false;
    }
    TkBodyReader in(image, kImageOrder);
    ConductivitySensorRecord r;
    r.info.tag = in.U8();
    r.info.byte = in.U8();
    in.Text(r.info.text.data(), r.info.text.size(), kSensorInfoTextSize);
    in.SeekTo(10);
    r.info.value = in.U16();
    r.info.date = in.Time();
    r.tables[0] = ReadCalTableImage(in, 20);
    r.tables[1] = ReadCalTableImage(in, 144);
    in.SeekTo(268);
    for (TempCoeffPair& p : r.temperatureCoefficients) {
        p.alpha = in.F32();
        p.beta = in.F32();
    }
    record = r;
    return true;
}

// ---- Coefficient cache -----------------------------------------------------------------

int CoefficientSetOffset(uint8_t sensorCode)
{
    if (sensorCode == 3) {
        return static_cast<int>(kCoefSet3);
    }
    for (size_t i = 0; i < kCoefficientBlockCodes.size(); ++i) {
        if (kCoefficientBlockCodes[i] == sensorCode) {
            return static_cast<int>(kCoefBlocks + i * kCoefBlockSize);
        }
    }
    return -1;
}

void StoreCoefficientFloat(std::span<uint8_t> cache, size_t offset, float value)
{
    if (offset > cache.size() || cache.size() - offset < 4) {
        return;
    }
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) {
        cache[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

std::array<float, kCoefBlockFloats> CoefficientCacheView::Set(uint8_t sensorCode) const
{
    const int offset = CoefficientSetOffset(sensorCode);
    if (offset < 0) {
        return {};
    }
    return Floats<kCoefBlockFloats>(static_cast<size_t>(offset));
}

int DecodeCoefficientRecord(std::span<const uint8_t> body, int order, std::span<uint8_t> cache)
{
    if (body.empty() || cache.size() < kCoefficientCacheSize) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    if (body[0] == kCoefHeadTag) {
        if (body.size() < kCoefHeadRecordSize) {
            return kTkErrUnexpectedRecord;
        }
        in.Skip(1);
        const DeviceTime date = in.Time();
        const uint16_t word = in.U16();
        TkBodyWriter head(kImageOrder);
        head.Time(date).U16(word);
        std::copy_n(head.Data(), head.Size(), cache.begin() + kCoefHeadDate);
        for (size_t i = 0; i < 4; ++i) {
            StoreCoefficientFloat(cache, kCoefHeadFloats + 4 * i, in.F32());
        }
        StoreCoefficientFloat(cache, kCoefSensorOffset, in.F32());
        in.Skip(1);  // not kept
        for (size_t i = 0; i < kCoefHeadTailFloats; ++i) {
            StoreCoefficientFloat(cache, kCoefHeadTail + 4 * i, in.F32());
        }
        return 0;
    }
    if (body[0] == kCoefBlocksTag) {
        if (body.size() < kCoefBlocksRecordSize) {
            return kTkErrUnexpectedRecord;
        }
        std::array<int, 4> offsets{};
        for (size_t i = 0; i < 4; ++i) {
            const uint8_t code = body[1 + i];
            offsets[i] = code == 0 ? 0 : CoefficientSetOffset(code);
            // Only the seventeen blocks take a 'G' set (code 3 lives in the head).
            if (code != 0 && (offsets[i] < static_cast<int>(kCoefBlocks))) {
                return kTkErrUnknownSensorCode;
            }
        }
        in.Skip(5);
        for (size_t i = 0; i < 4; ++i) {
            for (size_t j = 0; j < kCoefBlockFloats; ++j) {
                const float value = in.F32();
                if (offsets[i] != 0) {
                    StoreCoefficientFloat(cache, static_cast<size_t>(offsets[i]) + 4 * j, value);
                }
            }
        }
        return 0;
    }
    return kTkErrUnexpectedRecord;
}

std::vector<uint8_t> EncodeCoefficientHead(std::span<const uint8_t> cache, int order)
{
    const CoefficientCacheView view(cache);
    TkBodyWriter w(order);
    w.U8(kCoefHeadTag);
    DeviceTime date;
    uint16_t word = 0;
    if (cache.size() >= kCoefHeadWord + 2) {
        TkBodyReader in(cache, kImageOrder);
        date = in.Time();
        word = in.U16();
    }
    w.Time(date);
    w.U16(word);
    for (size_t i = 0; i < 4; ++i) {
        w.F32(view.Float(kCoefHeadFloats + 4 * i));
    }
    w.F32(view.Float(kCoefSensorOffset));
    w.U8(0);
    for (size_t i = 0; i < kCoefHeadTailFloats; ++i) {
        w.F32(view.Float(kCoefHeadTail + 4 * i));
    }
    return w.Take();
}

std::vector<uint8_t> EncodeCoefficientBlocks(std::span<const uint8_t> cache,
                                             const std::array<uint8_t, 4>& codes, int order)
{
    const CoefficientCacheView view(cache);
    TkBodyWriter w(order);
    w.U8(kCoefBlocksTag);
    for (uint8_t code : codes) {
        w.U8(code);
    }
    for (uint8_t code : codes) {
        const int offset = CoefficientSetOffset(code);
        for (size_t j = 0; j < kCoefBlockFloats; ++j) {
            w.F32(code != 0 && offset >= static_cast<int>(kCoefBlocks)
                      ? view.Float(static_cast<size_t>(offset) + 4 * j)
                      : 0.0f);
        }
    }
    return w.Take();
}

// ---- Wiper record and sensor block ------------------------------------------------------

std::vector<uint8_t> EncodeWiperRecord(const WiperRecord& record, int order)
{
    TkBodyWriter w(order);
    w.U8(kWiperRecordTag);
    for (uint16_t value : record.values) {
        w.U16(value);
    }
    w.U8(record.state);
    w.U8(record.error);
    return w.Take();
}

int DecodeWiperRecord(std::span<const uint8_t> body, int order, WiperRecord& record)
{
    if (body.size() < kWiperRecordSize || body[0] != kWiperRecordTag) {
        return kTkErrUnexpectedRecord;
    }
    TkBodyReader in(body, order);
    in.Skip(1);
    WiperRecord r;
    for (uint16_t& value : r.values) {
        value = in.U16();
    }
    r.state = in.U8();
    r.error = in.U8();
    record = r;
    return 0;
}

SensorBlockRecord SensorBlockFromChannel(const ChannelDefinitionRecord& record)
{
    SensorBlockRecord block;
    block.parameterType = record.parameterType;
    block.sensorDate = record.sensorDate;
    block.calibrationMode = record.calibrationMode;
    block.calibrationPointCount = record.calibrationPointCount;
    block.segments = record.segments;
    block.pairs = record.pairs;
    return block;
}

// ---- Reply decoders --------------------------------------------------------------------

namespace {

// The bytes of a reply's body as they came off the line, in the frame's order.
std::span<const uint8_t> RawBody(CTkPacket& reply)
{
    return {reply.GetBodyData(), reply.GetBodyLength()};
}

// A sensor record reply whose first byte must be tag: only the record that was asked for
// is taken, another record in its place is a reply the command cannot use.
template <typename Record>
int DecodeTaggedReply(CTkPacket& reply, uint8_t tag,
                      int (*decode)(std::span<const uint8_t>, int, Record&), Record& record)
{
    const std::span<const uint8_t> body = RawBody(reply);
    if (body.empty() || body[0] != tag) {
        return kTkErrUnexpectedRecord;
    }
    return decode(body, reply.GetBodyOrder(), record);
}

} // namespace

int TkDecodeChannelConfigReply(CTkPacket& reply, uint8_t requestedChannel, ChannelDefinitionRecord& record)
{
    return DecodeChannelDefinition(RawBody(reply), reply.GetBodyOrder(), requestedChannel, record);
}

int TkDecodeChannelBlock265Reply(CTkPacket& reply, SensorBlockRecord& block)
{
    const std::span<const uint8_t> body = RawBody(reply);
    if (body.empty() || body[0] != kChannelFormTurbidity) {
        return kTkErrUnexpectedRecord;
    }
    ChannelDefinitionRecord channel;
    const int result = DecodeChannelDefinition(body, reply.GetBodyOrder(), kTkChannelBlockSelector, channel);
    if (result != 0) {
        return result;
    }
    block = SensorBlockFromChannel(channel);
    return 0;
}

int TkDecodePtCalInfoReply(CTkPacket& reply, PtCalInfoRecord& record)
{
    return DecodePtCalInfo(RawBody(reply), reply.GetBodyOrder(), record);
}

int TkDecodeCoefficientReply(CTkPacket& reply, std::span<uint8_t> cache)
{
    return DecodeCoefficientRecord(RawBody(reply), reply.GetBodyOrder(), cache);
}

int TkDecodeSensorInfo100Reply(CTkPacket& reply, LevelSensorRecord& record)
{
    return DecodeTaggedReply(reply, kLevelSensorTag, DecodeLevelSensor, record);
}

int TkDecodeSensorInfo8Reply(CTkPacket& reply, ConductivitySensorRecord& record)
{
    return DecodeTaggedReply(reply, kConductivitySensorTag, DecodeConductivitySensor, record);
}

int TkDecodeSensorInfoReply(CTkPacket& reply, SensorInfoRecord& record)
{
    return DecodeTaggedReply(reply, kSensorInfoTag, DecodeSensorInfo, record);
}

int TkDecodeWiperRecordReply(CTkPacket& reply, WiperRecord& record)
{
    return DecodeWiperRecord(RawBody(reply), reply.GetBodyOrder(), record);
}

int TkDecodeZeroPressureReply(CTkPacket& reply, float& offset)
{
    const uint8_t* body = TkReplyBody(reply, kTkZeroPressureLayout, nullptr);
    if (body == nullptr) {
        return kTkErrUnexpectedRecord;
    }
    std::memcpy(&offset, body, sizeof offset);
    return 0;
}
