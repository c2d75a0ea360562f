#include "values/QikNameValues.h"

#include "values/LevelSettingsRecord.h"
#include "values/QikValueFunctions.h"
#include "values/QikValueNames.h"
#include "values/RawConversion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

// The engine the value functions of this thread work on.
thread_local CQikNameValues* t_current = nullptr;

using FunctionRegistry = std::map<std::string, QikValueFunction, std::less<>>;
using BaseNameMap = std::map<std::string, ParameterTypeCode, std::less<>>;

const FunctionRegistry& Functions()
{
    static const FunctionRegistry registry = [] {
        FunctionRegistry map;
        for (const QikValueFunctionEntry& entry : QikValueFunctionTable()) {
            map.emplace(QikNameUpper(entry.name), entry.function);
        }
        return map;
    }();
    return registry;
}

const BaseNameMap& BaseNames()
{
    static const BaseNameMap table = [] {
        const std::array<std::pair<std::string_view, ParameterTypeCode>, 20> entries{{
            {kQvDegreesC, 2},     {kQvPsi, 3},          {kQvPhMv, 4},         {kQvCtxOhms, 5},
            {kQvBaroPsi, 6},      {kQvDoNa, 7},         {kQvOdoBase, 28},     {kQvOrpMv, 8},
            {kQvCtxTds, 9},       {kQvCtxSalinity, 10}, {kQvCtxResistance, 11}, {kQvCtxSpecCond, 12},
            {kQvNh4Mv, 13},       {kQvNh3Mv, 14},       {kQvClMv, 16},        {kQvNo3Mv, 17},
            {kQvCaMv, 18},        {kQvFMv, 19},         {kQvTurbidityVolts, 22}, {kQvBatteryVoltsInt, 27},
        }};
        BaseNameMap map;
        for (const auto& [name, kind] : entries) {
            map.emplace(QikNameUpper(name), kind);
        }
        return map;
    }();
    return table;
}

// The kinds of parameter bytes 1 to 5.
constexpr std::array<int, 5> kFixedParameterKinds{2, 3, 6, 22, 27};

// A single-precision float of a host-order record, widened.

// Copies value `name` of values into result when available says it is usable.
int CopyLoadedValue(const CDataMap& values, const CDataMap& available, std::string_view name, CDataMap& result,
                    int notFound, int notAvailable)
{
    int32_t usable = 0;
    if (!available.GetBool(name, usable)) {
        CQikNameValues::SetStatus(notFound, result);
        return 0;
    }
    if (usable == 0) {
        CQikNameValues::SetStatus(notAvailable, result);
        return 0;
    }
    std::string text;
    values.GetText(name, text);
    result.SetText(name, text);
    result.SetType(name, values.GetType(name));
    return 1;
}

} // namespace

std::string QikNameUpper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

CQikNameValues::CQikNameValues()
{
    t_current = this;
    RegisterFunctions();
    RegisterBaseNames();
}

CQikNameValues::~CQikNameValues()
{
    if (t_current == this) {
        t_current = nullptr;
    }
}

CQikNameValues* CQikNameValues::Current() { return t_current; }

void CQikNameValues::RegisterFunctions() { Functions(); }

void CQikNameValues::RegisterBaseNames() { BaseNames(); }

const std::map<std::string, ParameterTypeCode, std::less<>>& CQikNameValues::BaseNameTable() { return BaseNames(); }

int CQikNameValues::FindFunction(std::string_view name, QikValueFunction& function)
{
    const FunctionRegistry& registry = Functions();
    const auto it = registry.find(QikNameUpper(name));
    if (it == registry.end() || it->second == nullptr) {
        return 0;
    }
    function = it->second;
    return 1;
}

void CQikNameValues::Load(CQikSampleSource& source, int kind, int parameter)
{
    t_current = this;
    m_baseValues.RemoveAll();
    m_baseAvailable.RemoveAll();
    if ((kind < 0) != (parameter < 0) || source.IsReady() == 0) {
        return;
    }
    m_dataBlock = &source;
    std::vector<int> kinds;
    std::vector<int> parameters;
    MapParameters(kinds, parameters);
    RemoveDuplicateParams(kinds, parameters, kind, parameter);
    MapNamesToParameters(kinds, parameters);
    LoadRootValues();
    m_loaded = 1;
}

int CQikNameValues::ComputeRootValues()
{
    LoadBaseValues();
    return 1;
}

int CQikNameValues::GetValue(std::string_view name, CDataMap& result)
{
    t_current = this;
    if (m_loaded == 0) {
        SetStatus(kQikNotLoaded, result);
        return 0;
    }
    QikValueFunction function = nullptr;
    if (!FindFunction(name, function)) {
        SetStatus(kQikFunctionNotFound, result);
        return 0;
    }
    SetStatus(kQikSuccess, result);
    return function(name, result);
}

int CQikNameValues::ParameterKind(const CQikSampleSource& source, int parameter)
{
    if (parameter >= 1 && parameter <= static_cast<int>(kFixedParameterKinds.size())) {
        return kFixedParameterKinds[static_cast<size_t>(parameter - 1)];
    }
    if (parameter < 10 || parameter > 99) {
        return -1;
    }
    // Only records 1 to 4 exist; other record numbers name no parameter.
    const int record = parameter / 10;
    if (record > kQikChannelRecords) {
        return -1;
    }
    const size_t block = parameter % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
    return source.GetChannelCalRecord(record)[block + 1];
}

void CQikNameValues::MapParameters(std::vector<int>& kinds, std::vector<int>& parameters) const
{
    const std::span<const uint8_t> identity = m_dataBlock->GetIdentityRecord();
    const std::span<const uint8_t> list = m_dataBlock->GetParameterBytes();
    const size_t stated = identity.size() > kQikIdentityParameterCount ? identity[kQikIdentityParameterCount] : 0;
    const size_t count = std::min(stated, list.size());
    for (size_t i = 0; i < count; ++i) {
        const int kind = ParameterKind(*m_dataBlock, list[i]);
        if (kind < 0) {
            continue;
        }
        kinds.push_back(kind);
        parameters.push_back(list[i]);
    }
}

void CQikNameValues::RemoveDuplicateParams(std::vector<int>& kinds, std::vector<int>& parameters, int kind,
                                           int parameter)
{
    if (kind == -1 || parameter == -1) {
        return;
    }
    const size_t count = std::min(kinds.size(), parameters.size());
    bool present = false;
    for (size_t i = 0; i < count; ++i) {
        present = present || (kinds[i] == kind && parameters[i] == parameter);
    }
    if (!present) {
        return;
    }
    for (size_t i = count; i-- > 0;) {
        if (kinds[i] == kind && parameters[i] != parameter) {
            kinds.erase(kinds.begin() + static_cast<std::ptrdiff_t>(i));
            parameters.erase(parameters.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void CQikNameValues::MapNamesToParameters(const std::vector<int>& kinds, const std::vector<int>& parameters)
{
    m_parameterMap.clear();
    const size_t count = std::min(kinds.size(), parameters.size());
    for (size_t i = 0; i < count; ++i) {
        for (const auto& [name, kind] : BaseNames()) {
            if (kind == kinds[i]) {
                m_parameterMap[name] = parameters[i];
            }
        }
    }
}

void CQikNameValues::LoadRootValues()
{
    m_rootValues.RemoveAll();
    m_rootAvailable.RemoveAll();

    const wv::OleDateTime start = wv::OleDateTime::FromPosixTime(m_dataBlock->GetLogStartTime());
    m_rootValues.SetDateTime(kQvStartTime, start);
    m_rootAvailable.SetBool(kQvStartTime, start.IsValid() ? 1 : 0);

    // A value outside its range is kept but marked not usable; so is a float
    // of the record that is not a finite number.
    const std::span<const uint8_t> level = m_dataBlock->GetChannelRecord();
    const auto storeDouble = [this](std::string_view name, double value, bool usable) {
        m_rootValues.SetDouble(name, value);
        m_rootAvailable.SetBool(name, usable && std::isfinite(value) ? 1 : 0);
    };
    const auto storeInt = [this](std::string_view name, int32_t value, bool usable) {
        m_rootValues.SetInt(name, value);
        m_rootAvailable.SetBool(name, usable ? 1 : 0);
    };
    const double density = RecordFloatAt(level, kLevelDensity);
    const double specificGravity = RecordFloatAt(level, kLevelSpecificGravity);
    const double elevation = RecordFloatAt(level, kLevelElevation);
    const double latitude = level[kLevelLatitude];
    const int32_t displayMode = level[kLevelDisplayMode];
    storeDouble(kQvDensity, density, true);
    storeDouble(kQvSpecificGravity, specificGravity, specificGravity > 0.0);
    storeDouble(kQvElevation, elevation, elevation >= 0.0 && elevation <= 10000.0);
    storeDouble(kQvLatitude, latitude, latitude >= 0.0 && latitude <= 90.0);
    storeInt(kQvDisplayMode, displayMode, displayMode >= 0 && displayMode <= 3);
    storeDouble(kQvUserReference, RecordFloatAt(level, kLevelUserReference), true);
    storeDouble(kQvNowReference, RecordFloatAt(level, kLevelNowReference), true);
    storeInt(kQvWhenToReadRef, level[kLevelWhenToRead], true);
}

void CQikNameValues::LoadBaseValues()
{
    m_baseValues.RemoveAll();
    m_baseAvailable.RemoveAll();
    if (m_dataBlock == nullptr) {
        return;
    }
    // A reading that is not a finite number counts as no reading.
    for (const auto& [name, parameter] : m_parameterMap) {
        double value = 0.0;
        const int present = m_dataBlock->GetChannelValue(parameter, value);
        m_baseValues.SetDouble(name, value);
        m_baseAvailable.SetBool(name, present != 0 && std::isfinite(value) ? 1 : 0);
    }

    // The sample's time: the start (the zero date-time when it is missing or
    // not usable) plus the seconds since the start.
    CDataMap scratch;
    wv::OleDateTime start;
    if (GetStoredValue(kQvStartTime, scratch)) {
        scratch.GetDateTime(kQvStartTime, start);
    }
    wv::OleDateTime stamp = start;
    if (start.IsValid()) {
        const double days = static_cast<double>(m_dataBlock->GetSampleSeconds()) / 86400.0;
        stamp = wv::OleDateTime(wv::OleDateTime::ValueFromPosition(start.Position() + days));
    }
    m_baseValues.SetDateTime(kQvTimestamp, stamp);
    m_baseAvailable.SetBool(kQvTimestamp, stamp.IsValid() ? 1 : 0);
}

int CQikNameValues::GetStoredValue(std::string_view name, CDataMap& result) const
{
    return CopyLoadedValue(m_rootValues, m_rootAvailable, name, result, kQikRootNotFound, kQikRootNotAvailable);
}

int CQikNameValues::GetBaseValue(std::string_view name, CDataMap& result) const
{
    return CopyLoadedValue(m_baseValues, m_baseAvailable, name, result, kQikBaseNotFound, kQikBaseNotAvailable);
}

int CQikNameValues::GetParameterCode(std::string_view name, CDataMap& result, ParameterTypeCode& kind)
{
    const BaseNameMap& table = BaseNames();
    const auto it = table.find(name);
    if (it == table.end()) {
        SetStatus(kQikBaseNotFound, result);
        return 0;
    }
    kind = it->second;
    return 1;
}

int CQikNameValues::ApplyChannelCalibration(std::string_view baseName, double raw, double& out)
{
    CDataMap scratch;
    if (!GetValue(kQvDegreesC, scratch)) {
        return 0;
    }
    double temperature = 0.0;
    scratch.GetDouble(kQvDegreesC, temperature);

    const auto mapped = m_parameterMap.find(baseName);
    const auto kind = BaseNames().find(baseName);
    if (mapped == m_parameterMap.end() || kind == BaseNames().end() || m_dataBlock == nullptr) {
        return 0;
    }
    // The calibration block the parameter byte names; all zero for a parameter
    // without a per-channel record.
    std::array<uint8_t, kSensorBlockSize> bytes{};
    const int record = mapped->second / 10;
    if (record >= 1 && record <= kQikChannelRecords) {
        const size_t first = mapped->second % 10 == 2 ? kChannelCalSecondBlock : kChannelCalFirstBlock;
        const std::span<const uint8_t, kChannelCalSize> cal = m_dataBlock->GetChannelCalRecord(record);
        std::copy_n(cal.begin() + static_cast<std::ptrdiff_t>(first), bytes.size(), bytes.begin());
    }
    SensorBlockRecord block;
    ConvertRecord75(bytes, block, kToStructure);

    const double offset = RecordFloatAt(m_dataBlock->GetCoefficientRecord(), kCoefRecordSensorOffset);
    const float value = ApplySensorCorrection(static_cast<uint8_t>(kind->second), static_cast<float>(raw),
                                              static_cast<float>(temperature), offset, block.calibrationPointCount,
                                              block.calibrationMode, block.segments, block.pairs);
    if (!std::isfinite(value)) {
        return 0;
    }
    out = value;
    return 1;
}

const char* CQikNameValues::StatusText(int status)
{
    switch (status) {
    case kQikSuccess: return "Success";
    case kQikFailed: return "Failed";
    case kQikFunctionNotFound: return "Function not found";
    case kQikNotLoaded: return "Level-0 function err";
    case kQikRootNotFound: return "Root Value not found";
    case kQikRootNotAvailable: return "Root Value not available";
    case kQikBaseNotFound: return "Base Value not found";
    case kQikBaseNotAvailable: return "Base Value not available";
    case kQikValueNotAvailable: return "Value not available";
    default: return "Unknown error";
    }
}

void CQikNameValues::SetStatus(int status, CDataMap& result)
{
    result.SetInt(kQvErrCode, status);
    result.SetString(kQvErrStr, StatusText(status));
}
