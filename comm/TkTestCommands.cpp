// The test commands of the current command set (read, write, delete, start and stop a
// test definition, download a test's data) and the live values: one converted value of a
// parameter, and one reading of several parameters in a single parameter read.
//
// The conversions of raw counts belong to the measurement-values library; the session
// reaches them through the CRawValueConverter it was given (SetRawValueConverter).

#include "comm/TkSession.h"

#include "comm/RawValueConverter.h"
#include "comm/TkLink.h"
#include "comm/protocol/ChannelRecords.h"
#include "comm/protocol/TestRecords.h"
#include "comm/protocol/TkDeviceModels.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kIndexLayout = "c";

// A device's status for a test it does not have.
bool IsNoSuchTest(int status) { return status == kTkTestStatusNoTest || status == kTkTestStatusNoTestAlt; }

bool RequestsCode(std::span<const uint8_t> codes, uint8_t code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// The list of one parameter read of several codes: 100 first, then temperature (1) and
// barometric pressure (3) unless they were asked for, then each code's entries (2: 101,
// 2; 45: 146, 147, 148; 4: 150, 151; any other: itself). start[i] is where code i's
// entries begin; temperature is where code 1 sits.
struct LiveList {
    std::vector<uint8_t> list;
    std::vector<size_t> start;
    size_t temperature = 0;
};

LiveList BuildLiveList(std::span<const uint8_t> codes)
{
    LiveList live;
    live.list.push_back(kTkCodeLevelTemperature);
    if (!RequestsCode(codes, kTkCodeTemperature)) {
        live.temperature = live.list.size();
        live.list.push_back(kTkCodeTemperature);
    }
    if (!RequestsCode(codes, kTkCodeBarometric)) {
        live.list.push_back(kTkCodeBarometric);
    }
    bool temperatureFound = false;
    for (uint8_t code : codes) {
        live.start.push_back(live.list.size());
        switch (code) {
        case kTkCodeLevel:
            live.list.insert(live.list.end(), {kTkCodeLevelPressure, kTkCodeLevel});
            break;
        case kTkCodeAutoRangeConductivity:
            live.list.insert(live.list.end(), {146, 147, 148});
            break;
        case kTkCodeConductivity:
            live.list.insert(live.list.end(), {kTkCodeConductivityHigh, kTkCodeConductivityLow});
            break;
        default:
            if (code == kTkCodeTemperature && !temperatureFound) {
                live.temperature = live.list.size();
                temperatureFound = true;
            }
            live.list.push_back(code);
            break;
        }
    }
    return live;
}

} // namespace

// ---- Test definitions ------------------------------------------------------------------

ProtocolResultCode CTkSession::GetTestDefinition(uint8_t testIndex, TestDefinitionRecord* record,
                                                 CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrNoTestOutput;
    }
    const ProtocolResultCode result = RunReadInto(CTkRequest(kTkCmdGetTestDefinition, &testIndex, 1, kIndexLayout),
                                                  record, TkDecodeTestDefinitionReply, callback);
    return IsNoSuchTest(result) ? kTkErrTestNotOnDevice : result;
}

ProtocolResultCode CTkSession::SetTestDefinition(const TestDefinitionRecord* record, CCallback* callback)
{
    if (record == nullptr) {
        return kTkErrMissingRecord;
    }
    std::vector<uint8_t> body;
    std::string layout;
    const int built = EncodeTestDefinition(*record, body, layout);
    if (built != 0) {
        return built;
    }
    return RunWrite(CTkRequest(kTkCmdSetTestDefinition, body.data(), body.size(), layout.c_str()), callback);
}

uint32_t CTkSession::DeleteTestTimeoutMs(uint32_t sampleCount)
{
    // sampleCount / 64 x 0.04 + 3 seconds, truncated: in whole numbers, sampleCount / 1600
    // + 3 (at most about 2.7 million seconds, whose milliseconds still fit 32 bits).
    const uint64_t seconds = uint64_t{sampleCount} / 1600 + 3;
    return static_cast<uint32_t>(seconds * 1000);
}

ProtocolResultCode CTkSession::DeleteTest(uint8_t testIndex, CCallback* callback)
{
    TestDefinitionRecord definition;
    const ProtocolResultCode read = GetTestDefinition(testIndex, &definition, nullptr);
    if (read != 0) {
        return read;
    }
    const uint32_t timeoutMs = DeleteTestTimeoutMs(definition.sampleCount);
    CTkRequest request(kTkCmdDeleteTest, &testIndex, 1, kIndexLayout);
    CTkReplyHandler reply(callback);
    // A long delete shows at every wait step how much of one attempt's time-out has passed
    // since the send, in percent (100 from the first resend on); a non-zero answer stops
    // the wait.
    wv::Clock& clock = wv::GetClock();
    const uint64_t start = clock.NowMs();
    auto reportShare = [&] {
        if (callback == nullptr) {
            return false;
        }
        const uint64_t elapsed = std::min<uint64_t>(clock.NowMs() - start, timeoutMs);
        return callback->Progress(static_cast<intptr_t>(elapsed * 100 / timeoutMs)) != 0;
    };
    return RunCommand(request, reply, callback, timeoutMs, kTkStandardResends, reportShare);
}

ProtocolResultCode CTkSession::StartTest(uint8_t testIndex, CCallback* callback)
{
    return RunWrite(CTkRequest(kTkCmdStartTest, &testIndex, 1, kIndexLayout), callback);
}

ProtocolResultCode CTkSession::StopTest(uint8_t testIndex, CCallback* callback)
{
    return RunWrite(CTkRequest(kTkCmdStopTest, &testIndex, 1, kIndexLayout), callback);
}

// ---- Test data -------------------------------------------------------------------------

ProtocolResultCode CTkSession::DownloadTestData(uint8_t testNumber, const std::string& localPath,
                                                CCallback* callback)
{
    // The device names the file by two decimal digits; a larger number names no file.
    if (testNumber > 99) {
        return kTkErrTestNotOnDevice;
    }
    if (localPath.empty()) {
        return kTkErrMissingRecord;
    }
    char name[4];
    std::snprintf(name, sizeof name, "%2.2d", static_cast<int>(testNumber));

    if (!TkDeviceModelOf(m_deviceType).truncatesBeforeDownload) {
        return DownloadFile(std::string_view(name, 2), localPath, callback);
    }

    // These devices download afresh, which an empty local file asks for. An earlier
    // download is set aside rather than emptied, and comes back when this one fails.
    std::error_code ec;
    const std::string previous = localPath + ".previous";
    const bool setAside = fs::is_regular_file(localPath, ec) && fs::file_size(localPath, ec) > 0 && !ec;
    if (setAside) {
        fs::rename(localPath, previous, ec);
        if (ec) {
            return kTkErrFileOpen;
        }
    }
    auto restore = [&] {
        if (setAside) {
            std::error_code ignored;
            fs::rename(previous, localPath, ignored);
        }
    };
    if (FILE* file = FileOpen(localPath, "wb")) {
        FileClose(file);
    } else {
        restore();
        return kTkErrFileOpen;
    }
    const ProtocolResultCode result = DownloadFile(std::string_view(name, 2), localPath, callback);
    std::error_code sizeError;
    const bool gotData = fs::file_size(localPath, sizeError) > 0 && !sizeError;
    if (result != 0 && !gotData) {
        restore();
    } else if (setAside) {
        fs::remove(previous, ec);
    }
    return result;
}

// ---- Live values -----------------------------------------------------------------------

ProtocolResultCode CTkSession::ReadValue(uint8_t parameterCode, double* value, CCallback* callback)
{
    if (TkDeviceModelOf(m_deviceType).IsParameterFamily()) {
        return ReadValueParam(parameterCode, value, callback);
    }
    return ReadValueRaw(parameterCode, value, callback);
}

ProtocolResultCode CTkSession::ReadValueRaw(uint8_t parameter, double* value, CCallback* callback)
{
    if (value == nullptr) {
        return kTkErrMissingRecord;
    }
    const CRawValueConverter* converter = m_rawConverter;
    if (converter == nullptr) {
        return kTkErrNoValueConverter;
    }
    uint16_t temperatureCounts = 0;
    uint16_t pressureCounts = 0;
    ProtocolResultCode result = TkRawRead(&temperatureCounts, &pressureCounts, callback);
    if (result != 0) {
        return result;
    }
    PtCalInfoRecord calibration;
    result = TkGetPTCalInfo(&calibration, callback);
    if (result != 0) {
        return result;
    }
    if (std::all_of(calibration.TCoeff.begin(), calibration.TCoeff.end(), [](float c) { return c == 0.0f; })) {
        return kTkErrPtCalEmpty;
    }
    if (parameter == kTkCodeTemperature) {
        *value = converter->EvalPoly1(3, temperatureCounts, calibration.TCoeff);
    } else {
        *value = converter->EvalPoly2(3, pressureCounts, temperatureCounts, calibration.PCoeff);
    }
    return 0;
}

namespace {

// The session's caches as the conversions take them.
struct LiveCaches {
    LevelSensorRecord level;
    ConductivitySensorRecord conductivity;
    SitePrefsRecord prefs;
};

} // namespace

// Fills the caches the parameter path needs, reads the site preferences and decides
// whether the level sensor is there (file-local helper on the session's public state).
static ProtocolResultCode PrepareLiveRead(CTkSession& session, LiveCaches& caches, bool needsLevelSensor)
{
    if (!session.IsCoefficientsValid()) {
        std::array<uint8_t, kCoefficientCacheSize> cache{};
        const ProtocolResultCode result = session.ReadCalibrationCoefficients(&cache, nullptr);
        if (result != 0) {
            return result;
        }
    }
    if (!session.IsLevelSensorValid()) {
        // A failure leaves the cache marking the level sensor as absent.
        LevelSensorRecord level;
        (void)session.GetSensorInfo100(&level, nullptr);
    }
    if (!session.IsSensor8Valid()) {
        ConductivitySensorRecord conductivity;
        const ProtocolResultCode result = session.GetSensorInfo8(&conductivity, nullptr);
        if (result != 0 && result != kTkStatusBusy) {
            return result;
        }
    }
    const ProtocolResultCode result = session.GetSitePreferences(&caches.prefs, nullptr);
    if (result != 0) {
        return result;
    }
    if (!LevelSensorFromImage(session.LevelSensorCache(), caches.level)) {
        caches.level = LevelSensorRecord{};
    }
    if (!ConductivitySensorFromImage(session.Sensor8Cache(), caches.conductivity)) {
        caches.conductivity = ConductivitySensorRecord{};
    }
    // The mark of a missing level sensor: the cached record's first byte (the sensor type)
    // is 99 and its second byte 0.
    const auto& levelImage = session.LevelSensorCache();
    if (needsLevelSensor && levelImage[0] == kNoLevelSensorType && levelImage[1] == 0) {
        return kTkErrNoLevelSensor;
    }
    return 0;
}

ProtocolResultCode CTkSession::ReadValueParam(uint8_t parameterCode, double* value, CCallback* callback)
{
    if (value == nullptr) {
        return kTkErrMissingRecord;
    }
    const CRawValueConverter* converter = m_rawConverter;
    if (converter == nullptr) {
        return kTkErrNoValueConverter;
    }
    LiveCaches caches;
    const bool needsLevel = parameterCode == kTkCodeLevel || parameterCode == kTkCodeLevelPressure;
    ProtocolResultCode result = PrepareLiveRead(*this, caches, needsLevel);
    if (result != 0) {
        return result;
    }

    std::vector<uint8_t> list;
    switch (parameterCode) {
    case kTkCodeLevel:
        list = {kTkCodeLevelTemperature, kTkCodeLevelPressure, kTkCodeLevel};
        break;
    case kTkCodeConductivity:
    case kTkCodeConductivityHigh:
    case kTkCodeConductivityLow:
        list = {kTkCodeLevelTemperature, kTkCodeTemperature, kTkCodeConductivityLow, kTkCodeConductivityHigh};
        break;
    case kTkCodeAutoRangeConductivity:
        list = {kTkCodeLevelTemperature, 146, 147, 148};
        break;
    default:
        list = {kTkCodeLevelTemperature, parameterCode};
        break;
    }
    std::vector<uint16_t> raw(list.size());
    result = RawParamRead(raw, list, 1, 0, 0, callback);
    if (result != 0) {
        return result;
    }

    RawReading reading{};
    if (parameterCode == kTkCodeLevel) {
        reading = {raw[0], raw[2], raw[1], 0};  // (100, 2, 101)
    } else {
        std::copy(raw.begin(), raw.end(), reading.begin());  // the list's order
    }
    const std::span<const uint8_t> coefficients(CoefficientCache());
    switch (parameterCode) {
    case kTkCodeConductivity:
    case kTkCodeConductivityHigh:
    case kTkCodeConductivityLow:
        *value = converter->ConvertConductivityCompensated(parameterCode, reading, coefficients, caches.conductivity);
        break;
    case kTkCodeBarometric:
        *value = converter->ConvertRawSensorValueFixed(reading, coefficients, caches.prefs.barometricPsi,
                                                       caches.prefs.barometricFlag);
        break;
    default:
        *value = converter->ConvertRawSensorValue(parameterCode, reading, coefficients, &caches.level);
        break;
    }
    return 0;
}

ProtocolResultCode CTkSession::ReadLiveValues(int mode, std::span<const uint8_t> codes, std::span<double> values,
                                              std::span<const ChannelDefinitionRecord> channels, CCallback* callback)
{
    if (codes.empty()) {
        return kTkErrBadCount;
    }
    if (values.size() < codes.size()) {
        return kTkErrNoMemory;
    }
    const bool corrected = mode == kTkLiveModeCorrected;
    if (corrected && channels.size() < codes.size()) {
        return kTkErrMissingRecord;
    }
    const LiveList live = BuildLiveList(codes);
    if (live.list.size() > kTkMaxParamReadCodes) {
        return kTkErrBadCount;
    }
    const CRawValueConverter* converter = m_rawConverter;
    if (converter == nullptr) {
        return kTkErrNoValueConverter;
    }
    LiveCaches caches;
    const bool needsLevel = RequestsCode(codes, kTkCodeLevel) || RequestsCode(codes, kTkCodeLevelPressure);
    ProtocolResultCode result = PrepareLiveRead(*this, caches, needsLevel);
    if (result != 0) {
        return result;
    }
    std::vector<uint16_t> raw(live.list.size());
    result = RawParamRead(raw, live.list, 1, 0, 0, callback);
    if (result != 0) {
        return result;
    }

    const std::span<const uint8_t> coefficients(CoefficientCache());
    const uint16_t levelTemperature = raw[0];
    const uint16_t temperatureCounts = raw[live.temperature];
    double temperature = 0;
    if (corrected) {
        RawReading reading{levelTemperature, temperatureCounts, 0, 0};
        temperature = converter->ConvertRawSensorValue(kTkCodeTemperature, reading, coefficients, &caches.level);
    }
    const double offset = CoefficientCacheView(coefficients).Float(kCoefSensorOffset);

    std::vector<double> results(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        const uint8_t code = codes[i];
        const size_t s = live.start[i];
        RawReading reading{levelTemperature, 0, 0, 0};
        double value = 0;
        switch (code) {
        case kTkCodeLevel:
            reading = {levelTemperature, raw[s + 1], raw[s], 0};  // (100, 2, 101)
            value = converter->ConvertRawSensorValue(code, reading, coefficients, &caches.level);
            break;
        case kTkCodeConductivity:
            // The compensated conversion takes the temperature counts in word 1 and the
            // ranges 151 and 150 in words 2 and 3, as the single read hands them over.
            reading = {levelTemperature, temperatureCounts, raw[s + 1], raw[s]};
            value = converter->ConvertConductivityCompensated(code, reading, coefficients, caches.conductivity);
            break;
        case kTkCodeAutoRangeConductivity:
            reading = {levelTemperature, raw[s], raw[s + 1], raw[s + 2]};
            value = converter->ConvertRawSensorValue(code, reading, coefficients, &caches.level);
            break;
        case kTkCodeBarometric:
            reading = {levelTemperature, raw[s], 0, 0};
            value = converter->ConvertRawSensorValueFixed(reading, coefficients, caches.prefs.barometricPsi,
                                                          caches.prefs.barometricFlag);
            break;
        default:
            reading = {levelTemperature, raw[s], 0, 0};
            value = converter->ConvertRawSensorValue(code, reading, coefficients, &caches.level);
            break;
        }
        if (corrected) {
            value = converter->ApplySensorCorrection(channels[i], value, temperature, offset);
        }
        results[i] = value;
    }
    std::copy(results.begin(), results.end(), values.begin());
    return 0;
}
