#include "datafiles/TestFileReader.h"

#include "datafiles/DataFileChannel.h"
#include "datafiles/SampleBlockReader.h"

#include "comm/protocol/TkResultCodes.h"
#include "foundation/AppUtils.h"
#include "foundation/ElapsedTime.h"
#include "foundation/Text.h"
#include "values/RawConversion.h"
#include "values/UnitCatalog.h"
#include "values/UnitConversion.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// The text of a zero-ended field of Windows-1252 bytes as UTF-8.
std::string FieldText(const char* bytes, size_t size)
{
    return Cp1252ToUtf8(std::string_view(bytes, strnlen(bytes, size)));
}

constexpr size_t kVersionLimit = 20;
constexpr double kDefaultTemperature = 25.0;
constexpr double kStandardBarometricInHg = 29.92;
constexpr uint32_t kFilterMaxSeconds = 30;

bool IsSondeType(uint8_t deviceType) { return deviceType >= 30 && deviceType <= 40; }

} // namespace

// A range of zero width widened by 10 % of its value to each side, or -1 .. 1 at 0.
float ToStoredFloat(double value)
{
    if (!std::isfinite(value)) {
        return static_cast<float>(value);
    }
    return static_cast<float>(std::clamp(value, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

void WidenEmptyRange(double& low, double& high)
{
    if (low != high) {
        return;
    }
    const double margin = std::fabs(low) * 0.1;
    if (margin == 0.0 || !std::isfinite(margin)) {
        low = -1.0;
        high = 1.0;
        return;
    }
    low -= margin;
    high += margin;
}

std::string TestInfoName(const TestInfoRecord& info) { return FieldText(info.name.data(), info.name.size()); }

uint8_t ChannelKindClass(uint8_t kind)
{
    if ((kind >= 2 && kind <= 8) || kind == 13 || kind == 16 || kind == 17 || kind == 22 || kind == 28) {
        return 0;
    }
    return 255;
}

uint8_t ChannelKindFamily(uint8_t kind)
{
    if ((kind >= 2 && kind <= 8) || kind == 22 || kind == 28) {
        return 0;
    }
    if (kind == 13 || kind == 16 || kind == 17) {
        return 2;
    }
    return kind;
}

CTestFileReader::CTestFileReader(CUnitCatalog& unitCatalog, const std::string& version,
                                 const TestFileFilterSettings* filter)
    : m_units(unitCatalog), m_version(version.size() < kVersionLimit ? version : std::string())
{
    if (filter != nullptr) {
        m_filter = *filter;
    }
}

CTestFileReader::~CTestFileReader() { CTestFileReader::Close(); }

int CTestFileReader::Open(const std::string& path)
{
    Close();
    return OpenFile(path);
}

int CTestFileReader::OpenFile(const std::string& path)
{
    m_path = path;
    m_file = FileOpen(path, "rb");
    return m_file != nullptr ? 0 : kTkErrFileOpen;
}

int CTestFileReader::Close()
{
    const bool hadAny = m_file != nullptr || m_samples != nullptr || m_channels[0] != nullptr;
    for (auto& channel : m_channels) {
        channel.reset();
    }
    m_samples.reset();
    m_barometricIndex = kNoChannel;
    m_temperatureIndex = kNoChannel;
    m_conductivityIndex = kNoChannel;
    if (m_file != nullptr) {
        FileClose(m_file);
        m_file = nullptr;
    }
    if (hadAny) {
        ++m_generation;
    }
    return 0;
}

int CTestFileReader::ReadIdentity(const std::string&, uint8_t& deviceType, uint32_t& serial)
{
    deviceType = 0;
    serial = 0;
    return 0;
}

int CTestFileReader::GetDeviceInfo(DeviceInfoRecord& info)
{
    if (IsClosed()) {
        return kTkErrFileNotOpen;
    }
    DeviceTime latest;
    SetMaxDeviceTime(latest);
    info = DeviceInfoRecord{};
    info.deviceType = 21;
    info.address = 1;
    info.firmwareVersion = 0.1;
    std::strncpy(info.name, "miniVORNA PRO", sizeof(info.name) - 1);
    info.batteryType = 1;
    info.interfaceType = 1;
    info.batteryInstallDate = latest;
    info.hardwareVersion = 0.1;
    info.channelCount = 2;
    info.testCount = 2;
    info.manufactureYear = latest.year;
    info.manufactureMonth = latest.month;
    info.manufactureDay = latest.day;
    info.calibrationYear = latest.year;
    info.calibrationMonth = latest.month;
    info.calibrationDay = latest.day;
    info.deviceClock = latest;
    info.freeMemory = 100;
    info.totalMemory = 100;
    info.cpuRuntime = 100;
    info.batteryVoltage = 1.0f;
    info.supplyVoltage = 1.0f;
    return 0;
}

int CTestFileReader::GetTestInfo(TestInfoRecord& info)
{
    if (IsClosed()) {
        return kTkErrFileNotOpen;
    }
    info = m_test;
    return 0;
}

uint8_t CTestFileReader::GetDeviceType() { return m_device.deviceType; }

double CTestFileReader::GetFirmwareVersion() { return m_device.firmwareVersion; }

double CTestFileReader::GetReferencePressure(CDataFileChannel&) { return 0.0; }

CDataFileChannel* CTestFileReader::FindChannel(uint8_t key, bool byKind)
{
    if (IsClosed()) {
        return nullptr;
    }
    for (const auto& channel : m_channels) {
        if (!channel) {
            break;
        }
        if ((byKind ? channel->GetKind() : channel->GetCode()) == key) {
            return channel.get();
        }
    }
    return nullptr;
}

int CTestFileReader::UnnamedOperation() { return kTkErrFileNotOpen; }

// For each sample from first to last: its value in display units (the first failure ends
// the call with its code, the points stored so far stay), stored with its elapsed time and
// passed through the moving-average filter when it is on. The value range covers the finite
// unfiltered values only (-1 .. 1 when there is none); the time range runs from the first to
// the last point. A range of zero width is widened by 10 % of its value to each side, or
// set to -1 .. 1 at 0.
int CTestFileReader::ReadSeries(SeriesRequest& request)
{
    if (IsClosed() || m_samples == nullptr) {
        return kTkErrFileNotOpen;
    }
    CDataFileChannel* channel = request.channel;
    if (channel == nullptr || &channel->GetReader() != this) {
        return kTkErrFileNotOpen;
    }
    if (request.first == 0 || request.last < request.first || request.last > m_test.sampleCount) {
        return kTkErrSampleNumber;
    }
    const size_t count = static_cast<size_t>(request.last - request.first) + 1;
    const bool asPoints = !request.points.empty();
    if (asPoints ? request.points.size() < count
                 : request.values.size() < count || (!request.times.empty() && request.times.size() < count)) {
        return kTkErrSampleNumber;
    }
    double firstTime = 0.0;
    double lastTime = 0.0;
    CQikCalFilter filter;
    filter.SetFilterData(IsFilterOn() ? 1 : 0);
    filter.SetWeights(m_filter.weights);
    double low = DBL_MAX;
    double high = -DBL_MAX;
    CChannelSample sample;
    size_t stored = 0;
    int result = 0;
    // The samples are read for their values and elapsed times only: the per-sample date
    // and the unit lookup are left out for the pass (the values are the same).
    struct SeriesPass {
        bool& flag;
        explicit SeriesPass(bool& f) : flag(f) { flag = true; }
        ~SeriesPass() { flag = false; }
        SeriesPass(const SeriesPass&) = delete;
        SeriesPass& operator=(const SeriesPass&) = delete;
    };
    m_seriesElapsedUnit = CurrentElapsedUnit();
    const SeriesPass pass(m_seriesPass);
    for (uint32_t n = request.first;; ++n) {
        result = channel->ReadSample(n, sample);
        if (result != 0) {
            break;
        }
        const double value = sample.value;
        const double shown = filter.GetFilterData() ? filter.Apply(value) : value;
        if (asPoints) {
            request.points[stored] = SeriesPoint{sample.elapsed, shown};
        } else {
            request.values[stored] = ToStoredFloat(shown);
            if (!request.times.empty()) {
                request.times[stored] = sample.elapsed;
            }
        }
        if (stored == 0) {
            firstTime = sample.elapsed;
        }
        lastTime = sample.elapsed;
        ++stored;
        if (std::isfinite(value)) {
            low = std::min(low, value);
            high = std::max(high, value);
        }
        if (n == request.last) {
            break;
        }
    }
    if (stored > 0) {
        request.timeMin = firstTime;
        request.timeMax = lastTime;
        WidenEmptyRange(request.timeMin, request.timeMax);
    }
    if (low > high) {
        low = -1.0;
        high = 1.0;
    }
    WidenEmptyRange(low, high);
    request.valueMin = low;
    request.valueMax = high;
    return result;
}

uint8_t CTestFileReader::GetKindClass(size_t) { return 0; }

void CTestFileReader::ApplyLevelReference(CChannelSample& sample)
{
    const CDataFileChannel* channel = sample.GetChannel();
    if (channel == nullptr || channel->GetBarometricMode() == 0) {
        return;
    }
    const double v = sample.value;
    const double reference = channel->GetReferencePressure();
    const double level = channel->GetLevelReference();
    const double gravity = channel->GetSpecificGravity();
    // A specific gravity of 0 or not a number is never divided by.
    const bool divide = channel->GetLevelMode() != 2 && channel->GetDensity() == 0.0 && std::isfinite(gravity) &&
                        gravity != 0.0;
    const double sg = divide ? gravity : 1.0;
    switch (channel->GetLevelMode()) {
    case 0:
        sample.value = level - (v - reference) / sg;
        break;
    case 1:
        sample.value = level + (v - reference) / sg;
        break;
    default:
        sample.value = v / sg;
        break;
    }
}

float CTestFileReader::GetTemperatureAt(const CChannelSample& sample)
{
    if (m_temperatureIndex == kNoChannel) {
        return static_cast<float>(kDefaultTemperature);
    }
    const double t = ComputeChannelAt(m_temperatureIndex, sample.sampleNumber);
    return static_cast<float>(std::isnan(t) ? kDefaultTemperature : t);
}

float CTestFileReader::GetBarometricAt(const CChannelSample& sample)
{
    if (m_barometricIndex == kNoChannel) {
        return 0.0f;
    }
    const double psi = ComputeChannelAt(m_barometricIndex, sample.sampleNumber);
    return static_cast<float>(ConvertUnitsDefault(psi, kParamBarometric, 0, 1));
}

double CTestFileReader::GetConductivityAt(const CChannelSample& sample, double temperature)
{
    if (m_conductivityIndex == kNoChannel) {
        return 0.0;
    }
    const double c = ComputeChannelAt(m_conductivityIndex, sample.sampleNumber);
    return ApplySensorCorrection(m_channels[static_cast<size_t>(m_conductivityIndex)]->Definition(), c, temperature,
                                 0.0);
}

int CTestFileReader::ReadRawWords(CChannelSample& sample)
{
    if (IsClosed() || m_samples == nullptr) {
        return kTkErrFileNotOpen;
    }
    const CDataFileChannel* channel = sample.GetChannel();
    if (channel == nullptr || &channel->GetReader() != this) {
        return kTkErrFileNotOpen;
    }
    const uint32_t n = sample.sampleNumber;
    if (n == 0 || n > m_test.sampleCount) {
        return kTkErrSampleNumber;
    }
    if (!m_samples->Fetch(n - 1)) {
        return kTkErrFileRead;
    }
    const size_t p = channel->GetValuePosition();
    const CSampleBlockReader& r = *m_samples;
    if (m_test.testType == 3) {
        sample.eventSeconds = (static_cast<uint32_t>(r.Word(0)) << 16) | r.Word(1);
        sample.raw = {r.Word(2), r.Word(p + 2), r.Word(p + 3), r.Word(p + 4)};
    } else {
        sample.eventSeconds = 0;
        sample.raw = {r.Word(0), r.Word(p), r.Word(p + 1), r.Word(p + 2)};
    }
    sample.rawCount = 3;
    return 0;
}

int CTestFileReader::ReadRawSample(CChannelSample& sample)
{
    const int result = ReadRawWords(sample);
    if (result != 0) {
        return result;
    }
    SampleTimeRequest request;
    request.sampleNumber = sample.sampleNumber;
    request.unit = m_seriesPass ? m_seriesElapsedUnit : CurrentElapsedUnit();
    request.testType = m_test.testType;
    request.testStart = m_test.started;
    request.interval = m_test.interval;
    request.startInterval = m_startInterval;
    request.eventSeconds = sample.eventSeconds;
    if (m_seriesPass) {
        sample.elapsed = SampleElapsedValue(request);
        return 0;
    }
    FillSampleTime(request);
    sample.elapsed = request.elapsedValue;
    sample.time = request.sampleTime;
    return 0;
}

uint8_t CTestFileReader::CurrentElapsedUnit() const
{
    const CUnitCategory* elapsed = m_units.FindCategory(kUnitCategoryElapsedTime);
    return elapsed != nullptr && elapsed->GetCurrentUnit() != nullptr ? elapsed->GetCurrentUnit()->GetId()
                                                                       : kElapsedUnitSeconds;
}

int CTestFileReader::ComputeValue(CChannelSample&) { return IsClosed() ? kTkErrFileNotOpen : 0; }

double CTestFileReader::ComputeChannelAt(int16_t index, uint32_t sampleNumber)
{
    if (index < 0 || static_cast<size_t>(index) >= kMaxFileChannels || !m_channels[static_cast<size_t>(index)]) {
        return std::nan("");
    }
    CChannelSample sample;
    sample.SetChannel(m_channels[static_cast<size_t>(index)].get());
    sample.sampleNumber = sampleNumber;
    if (ReadRawWords(sample) != 0 || ConvertRawToBase(sample) != 0) {
        return std::nan("");
    }
    return sample.value;
}

int CTestFileReader::ConvertRawToBase(CChannelSample&) { return 0; }

// The value in display units:
//   1. the value in base units (ComputeValue of the kind); its error ends the call;
//   2. a pressure channel (kind 3) gets its level reference;
//   3. a level logger's value is converted to the channel's unit at 25 C, 29.92 inHg and
//      salinity 0;
//   4. a sonde's value gets the channel's user calibration at the temperature of the sample,
//      then its display conversion at that temperature; an oxygen channel (and its %
//      saturation twin) also at the sample's barometric pressure (29.92 inHg when the file
//      has no barometric channel) and the salinity of the sample's conductivity.
int CTestFileReader::GetValue(CChannelSample& sample)
{
    const int result = ComputeValue(sample);
    if (result != 0) {
        return result;
    }
    CDataFileChannel* channel = sample.GetChannel();
    if (channel == nullptr) {
        return kTkErrFileNotOpen;
    }
    if (channel->GetKind() == kParamLevel) {
        ApplyLevelReference(sample);
    }
    if (!IsSondeType(m_device.deviceType)) {
        sample.value = channel->ConvertToDisplay(sample.value, kDefaultTemperature, kStandardBarometricInHg, 0.0);
        return 0;
    }
    uint8_t kind = channel->GetKind();
    if (kind == 29) {
        kind = 7;
    } else if (kind == 30) {
        kind = 28;
    }
    const double t = GetTemperatureAt(sample);
    double b = kStandardBarometricInHg;
    double s = 0.0;
    if (kind == 7 || kind == 28) {
        if (m_barometricIndex != kNoChannel) {
            b = GetBarometricAt(sample);
        }
        const double c = GetConductivityAt(sample, t);
        if (c != -1.0) {
            s = ConvertUnitsEx(c, 5, 0, 3, static_cast<float>(t), static_cast<float>(b), 0.0f);
            if (!std::isfinite(s)) {
                s = 0.0;
            }
        }
    }
    const ChannelDefinitionRecord& definition = channel->Definition();
    const double corrected =
        ApplySensorCorrection(kind, sample.value, t, 0.0, definition.calibrationPointCount, definition.calibrationMode,
                              definition.segments, definition.pairs);
    sample.value = channel->ConvertToDisplay(corrected, t, b, s);
    return 0;
}

bool CTestFileReader::IsFilterOn() const
{
    if (m_filter.enable == 0 || m_test.testType != 1) {
        return false;
    }
    const Duration& d = m_test.interval;
    const uint32_t seconds = d.days * 86400u + d.hours * 3600u + d.minutes * 60u + d.seconds;
    return seconds <= kFilterMaxSeconds;
}

CDataFileChannel* CTestFileReader::GetChannel(size_t index) const
{
    return index < kMaxFileChannels ? m_channels[index].get() : nullptr;
}

size_t CTestFileReader::GetChannelCount() const
{
    size_t n = 0;
    while (n < kMaxFileChannels && m_channels[n]) {
        ++n;
    }
    return n;
}

int16_t CTestFileReader::IndexOf(const CDataFileChannel* channel) const
{
    for (size_t i = 0; i < kMaxFileChannels && m_channels[i]; ++i) {
        if (m_channels[i].get() == channel) {
            return static_cast<int16_t>(i);
        }
    }
    return kNoChannel;
}

std::string CTestFileReader::GetUnitName() const
{
    return FieldText(m_device.unitName.data(), m_device.unitName.size());
}

double CTestFileReader::GetFixedSalinity(uint8_t) const { return 0.0; }

uint8_t CTestFileReader::GetPortSensorType(int) const { return 0; }

bool CTestFileReader::ReadBytes(void* buffer, size_t size)
{
    return m_file != nullptr && FileRead(buffer, 1, size, m_file) == size;
}

bool CTestFileReader::Skip(int64_t bytes) { return m_file != nullptr && FileSeek(m_file, bytes, SEEK_CUR) == 0; }

int64_t CTestFileReader::Tell() const { return m_file != nullptr ? FileTell(m_file) : -1; }

bool CTestFileReader::Seek(int64_t offset) { return m_file != nullptr && FileSeek(m_file, offset, SEEK_SET) == 0; }

int64_t CTestFileReader::FileLength() const
{
    if (m_file == nullptr) {
        return -1;
    }
    const int64_t here = FileTell(m_file);
    if (FileSeek(m_file, 0, SEEK_END) != 0) {
        return -1;
    }
    const int64_t length = FileTell(m_file);
    FileSeek(m_file, here, SEEK_SET);
    return length;
}

bool CTestFileReader::AddChannel(const ChannelDefinitionRecord& definition, const ChannelAccessRecord& access)
{
    for (auto& slot : m_channels) {
        if (!slot) {
            slot = std::make_unique<CDataFileChannel>(m_units, *this, definition, access);
            return true;
        }
    }
    return false;
}

void CTestFileReader::StartSamples(size_t recordSize, int64_t dataStart, bool littleEndian)
{
    m_samples = std::make_unique<CSampleBlockReader>(m_file, recordSize, dataStart, littleEndian);
}

void CTestFileReader::ResetHeader()
{
    m_device = TestFileDeviceBlock{};
    m_test = TestInfoRecord{};
    m_scheduled = false;
    m_startInterval = 0;
    m_pressureMode = 0;
    m_barometricIndex = kNoChannel;
    m_temperatureIndex = kNoChannel;
    m_conductivityIndex = kNoChannel;
}
