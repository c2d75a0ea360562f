#include "lowflow/LFData.h"

#include "comm/DeviceImage.h"
#include "foundation/Archive.h"
#include "lowflow/ProfileNotify.h"
#include "lowflow/ProfilerSession.h"
#include "platform/SafeFile.h"
#include "resources/StringTable.h"
#include "values/UnitCatalog.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

// A .flo file is read whole; a run of this size holds millions of readings.
constexpr uint64_t kMaxFloBytes = uint64_t{1} << 30;
constexpr uint32_t kFloVersion = 1;
constexpr size_t kVersionBytes = 4;

// The 'L' record's two parameter entries and the 'J' record's sensor-kind byte.
constexpr size_t kFirstEntryOffset = 2;
constexpr size_t kSecondEntryOffset = 116;
constexpr uint16_t kUnusedEntry = 1999;
constexpr size_t kSensorKindOffset = 1;
constexpr uint8_t kKindOpticalDongle = 15;
constexpr uint8_t kKindOpticalDirect = 16;

// Port-list codes of the sonde's built-in channels.
constexpr uint8_t kPortPressure = 2;
constexpr uint8_t kPortTurbidity = 4;

const char* const kTextKeys[] = {"Project_Name", "Company_Name", "Site_Name", "Well_Name", "Operator_Name",
                                 "Pump_Model",   "Tubing_Type",  "LowFlowNotes", "Volume_Formula",
                                 "Unit_Used_pH", "Unit_Used_ORP", "Unit_Used_DO", "Unit_Used_HDO",
                                 "Unit_Used_Cond", "Unit_Used_Turb", "Unit_Used_Temp"};
const char* const kHasKeys[] = {"Has_pH_Sensor",   "Has_ORP_Sensor",  "Has_DO_Sensor",
                                "Has_HDO_Sensor",  "Has_Cond_Sensor", "Has_Turb_Sensor"};
const char* const kUseKeys[] = {"Use_pH_Sensor",   "Use_ORP_Sensor",  "Use_DO_Sensor",
                                "Use_HDO_Sensor",  "Use_Cond_Sensor", "Use_Turb_Sensor"};
const char* const kNumKeys[] = {"Num_pH_Sensor",   "Num_ORP_Sensor",         "Num_pHORP_Sensor",
                                "Num_DO_Sensor",   "Num_HDO_Sensor",         "Num_HDO2_Dongle_Sensor",
                                "Num_HDO2_Direct_Sensor", "Num_Cond_Sensor", "Num_Turb_Sensor",
                                "Num_PXD_Sensor",  "Num_CL_Sensor",          "Num_NO3_Sensor",
                                "Num_NH4_Sensor",  "Num_Wip_Sensor"};
const char* const kTargetValKeys[] = {"pH_Target_Val",  "ORP_Target_Val",  "DO_Target_Val",
                                      "HDO_Target_Val", "Cond_Target_Val", "Turb_Target_Val"};
const char* const kTargetPctKeys[] = {"pH_Target_Pct",  "ORP_Target_Pct",  "DO_Target_Pct",
                                      "HDO_Target_Pct", "Cond_Target_Pct", "Turb_Target_Pct"};
const char* const kDoubleKeys[] = {"Pumping_Rate", "Cell_Volume", "Calc_Cell_Volume", "Sampling_Rate",
                                   "Calc_Sampling_Rate", "Total_Time"};
const char* const kListKeys[] = {"LastReadings_pH",   "LastReadings_ORP",  "LastReadings_DO",
                                 "LastReadings_HDO",  "LastReadings_Cond", "LastReadings_Turb",
                                 "LastReadings_Temp", "LastVariance_pH",   "LastVariance_ORP",
                                 "LastVariance_DO",   "LastVariance_HDO",  "LastVariance_Cond",
                                 "LastVariance_Turb", "LastVariance_Temp"};

// ---- Checking a section read from a file -------------------------------------------------

bool IsWholeInt(std::string_view text)
{
    int32_t value = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
    }
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && begin != end;
}

bool IsWholeDouble(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    const std::string copy(text);
    char* end = nullptr;
    (void)std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size();
}

// True when text is a value of the type as the section's writer stores it.
bool IsValueOfType(int type, std::string_view text)
{
    switch (type) {
    case kDataMapString:
    case kDataMapStringArray: return true;
    case kDataMapInt: return IsWholeInt(text);
    case kDataMapDouble: return IsWholeDouble(text);
    case kDataMapBool: return text == "0" || text == "1" || text == "2147483647";
    case kDataMapDateTime: {
        if (text.empty()) {
            return true;
        }
        wv::OleDateTime value;
        return ParseDateTimeValue(text, value) != 0;
    }
    case kDataMapDateTimeArray: {
        std::vector<std::string> parts;
        SplitList(text, parts, ';');
        std::vector<wv::OleDateTime> times;
        return ParseDateTimeArrayValue(text, times, ';') == static_cast<int>(parts.size());
    }
    default: return false;
    }
}

bool IsRunType(int type)
{
    return type == kDataMapString || type == kDataMapInt || type == kDataMapDouble || type == kDataMapBool ||
           type == kDataMapDateTime || type == kDataMapStringArray || type == kDataMapDateTimeArray;
}

// Every key of the loaded section has a type of a run's values, a value of that type, and
// the type the run already gives the key.
bool IsSoundSection(const CDataMap& loaded, const CDataMap& current)
{
    std::vector<std::string> keys;
    loaded.GetKeys(keys);
    for (const std::string& key : keys) {
        const int type = loaded.GetType(key);
        if (!IsRunType(type)) {
            return false;
        }
        const std::string* text = loaded.FindText(key);
        if (text == nullptr || !IsValueOfType(type, *text)) {
            return false;
        }
        if (current.HasKey(key) != 0 && current.GetType(key) != type) {
            return false;
        }
    }
    return true;
}

bool NumberOf(const LFValue& value, double& number)
{
    if (const auto* d = std::get_if<double>(&value)) {
        number = *d;
    } else if (const auto* i = std::get_if<int32_t>(&value)) {
        number = *i;
    } else if (const auto* b = std::get_if<LFBool>(&value)) {
        number = b->value;
    } else {
        return false;
    }
    return true;
}

int32_t IntOfDouble(double value)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

} // namespace

int LFValueType(const LFValue& value)
{
    constexpr int kTypes[] = {0,
                              kDataMapString,
                              kDataMapInt,
                              kDataMapDouble,
                              kDataMapBool,
                              kDataMapDateTime,
                              kDataMapStringArray,
                              kDataMapDateTimeArray};
    return kTypes[value.index()];
}

// ---- Life cycle ----------------------------------------------------------------------------

CLFData::CLFData() : m_notify(GetDefaultProfileNotifyTarget())
{
    for (size_t i = 0; i < kLowFlowVolumeCount; ++i) {
        m_volumes[i] = LowFlowVolumeTable[i].defaultMl;
    }
}

CLFData::~CLFData() { Reset(); }

void CLFData::Reset()
{
    m_initialised = 0;
    m_metric = 0;
    m_settings.RemoveAll();
    m_latest.RemoveAll();
    m_session.reset();
    m_unitClasses.clear();
    m_rowNames.clear();
    m_targetNames.clear();
    for (CDataMap* texts : {&m_unitTypesFull, &m_unitTypesAbbrev, &m_unitsFull, &m_unitsAbbrev}) {
        texts->RemoveAll();
    }
    m_unitTextsBuilt = 0;
}

void CLFData::InitForDevice(const CUnitCatalog& catalog)
{
    const auto currentUnitId = [&catalog](UnitCategoryId id) {
        const CUnitCategory* category = catalog.FindCategory(id);
        const CUnitEntry* unit = category != nullptr ? category->GetCurrentUnit() : nullptr;
        return unit != nullptr ? static_cast<int>(unit->GetId()) : -1;
    };
    m_metric = currentUnitId(kUnitCategoryLowFlow) == 0 ? 1 : 0;

    m_rowNames.clear();
    m_targetNames.clear();
    for (const LowFlowRowEntry& row : LowFlowRowTable) {
        const std::string name(LowFlowValueName(row.rowKey, row.category, currentUnitId(row.category)));
        m_rowNames[std::string(row.rowKey)] = name;
        if (!row.targetKey.empty()) {
            m_targetNames[std::string(row.targetKey)] = name;
        }
    }
    m_rowNames["Row_Time"] = "TIMESTAMP";
    m_rowNames["Row_Elapsed"] = "ELAPSED_SECONDS";

    m_unitClasses.clear();
    for (const LowFlowParamRow& row : LowFlowParamTable) {
        m_unitClasses[std::string(row.key)] = row.unitClass;
    }

    m_session.reset();
    m_session = std::make_unique<CProfilerSession>();
    m_loggingStarted = 0;

    for (const char* key : kTextKeys) {
        m_settings.SetString(key, "");
    }
    for (const auto* keys : {&kHasKeys, &kUseKeys}) {
        for (const char* key : *keys) {
            m_settings.SetBool(key, 1);
        }
    }
    for (const char* key : kNumKeys) {
        m_settings.SetInt(key, 0);
    }
    for (const char* key : kTargetValKeys) {
        m_settings.SetDouble(key, 0.0);
    }
    for (const char* key : kTargetPctKeys) {
        m_settings.SetInt(key, 0);
    }
    for (const LowFlowParamRow& row : LowFlowParamTable) {
        m_settings.SetDouble(row.key, 0.0);
    }
    for (const char* key : kDoubleKeys) {
        m_settings.SetDouble(key, 0.0);
    }
    for (const char* key : kListKeys) {
        m_settings.SetStringArray(key, {});
    }
    m_settings.SetDateTimeArray("LastReadings_Time", {});
    const wv::OleDateTime now = wv::OleDateTime::GetCurrentTime();
    m_settings.SetDateTime("Start_Time", now);
    m_settings.SetDateTime("End_Time", now);
    for (std::string_view key : LowFlowRowKeys) {
        m_latest.SetDouble(key, 0.0);
    }
    m_initialised = 1;
}

void CLFData::ExchangeVolumes(CDataMap& section, bool save)
{
    for (size_t i = 0; i < kLowFlowVolumeCount; ++i) {
        const std::string_view key = LowFlowVolumeTable[i].key;
        if (save) {
            section.SetDouble(key, m_volumes[i]);
        } else {
            section.GetDouble(key, m_volumes[i]);
        }
    }
}

// ---- The .flo file ---------------------------------------------------------------------------

int CLFData::ReadSettings(std::string_view bytes, size_t* end)
{
    if (bytes.size() < kVersionBytes) {
        return 0;
    }
    wv::Archive archive(bytes.substr(kVersionBytes));
    CDataMap loaded;
    if (!loaded.Serialize(archive) || !IsSoundSection(loaded, m_settings)) {
        return 0;
    }
    m_settings.name = loaded.name;
    m_settings.MergeFrom(loaded);
    if (end != nullptr) {
        *end = kVersionBytes + archive.Position();
    }
    return 1;
}

int CLFData::WriteFile(std::string& out)
{
    wv::Archive archive;
    if (!m_settings.Serialize(archive)) {
        return 0;
    }
    std::string file;
    for (int shift = 0; shift < 32; shift += 8) {
        file.push_back(static_cast<char>((kFloVersion >> shift) & 0xFF));
    }
    file += archive.Bytes();
    if (m_session != nullptr) {
        m_session->WriteImage(file);
    }
    out += file;
    return 1;
}

int CLFData::LoadFile(const std::string& path)
{
    std::string bytes;
    if (wv::ReadRegularFile(path, bytes, kMaxFloBytes) != 0) {
        return 0;
    }
    return ReadSettings(bytes);
}

int CLFData::SaveFile(const std::string& path)
{
    std::string bytes;
    if (WriteFile(bytes) == 0) {
        return 0;
    }
    return wv::WriteFileAtomically(path, bytes) == 0 ? 1 : 0;
}

int CLFData::LoadFileWithData(const std::string& floPath, const std::string& imagePath)
{
    std::string bytes;
    if (wv::ReadRegularFile(floPath, bytes, kMaxFloBytes) != 0) {
        return 0;
    }
    size_t end = 0;
    if (ReadSettings(bytes, &end) == 0) {
        return 0;
    }
    return wv::WriteFileAtomically(imagePath, std::string_view(bytes).substr(end)) == 0 ? 1 : 0;
}

// ---- Values --------------------------------------------------------------------------------

const CDataMap* CLFData::SectionOf(std::string_view key) const
{
    return m_latest.HasKey(key) != 0 ? &m_latest : &m_settings;
}

CDataMap* CLFData::SectionOf(std::string_view key)
{
    return m_latest.HasKey(key) != 0 ? &m_latest : &m_settings;
}

int CLFData::GetValueType(std::string_view key) const
{
    const int type = m_settings.GetType(key);
    return type != 0 ? type : m_latest.GetType(key);
}

int CLFData::GetValue(std::string_view key, LFValue& value) const
{
    const CDataMap& section = *SectionOf(key);
    int ok = 0;
    switch (section.GetType(key)) {
    case kDataMapString: {
        std::string text;
        ok = section.GetString(key, text);
        if (ok != 0) {
            value = std::move(text);
        }
        break;
    }
    case kDataMapInt: {
        int32_t number = 0;
        ok = section.GetInt(key, number);
        if (ok != 0) {
            value = number;
        }
        break;
    }
    case kDataMapDouble: {
        double number = 0.0;
        ok = section.GetDouble(key, number);
        if (ok != 0) {
            value = m_metric != 0 ? ImperialToMetric(key, number) : number;
        }
        break;
    }
    case kDataMapBool: {
        int32_t flag = 0;
        ok = section.GetBool(key, flag);
        if (ok != 0) {
            value = LFBool{flag};
        }
        break;
    }
    case kDataMapDateTime: {
        wv::OleDateTime time;
        ok = section.GetDateTime(key, time);
        if (ok != 0) {
            value = time;
        }
        break;
    }
    case kDataMapStringArray: {
        std::vector<std::string> list;
        section.GetStringArray(key, list);
        value = std::move(list);
        ok = 1;
        break;
    }
    case kDataMapDateTimeArray: {
        std::vector<wv::OleDateTime> list;
        section.GetDateTimeArray(key, list);
        value = std::move(list);
        ok = 1;
        break;
    }
    default: break;
    }
    return ok != 0 ? 1 : 0;
}

int CLFData::SetValue(std::string_view key, const LFValue& value)
{
    CDataMap& section = *SectionOf(key);
    double number = 0.0;
    switch (section.GetType(key)) {
    case kDataMapString:
        if (const auto* text = std::get_if<std::string>(&value)) {
            return section.SetString(key, *text);
        }
        return 0;
    case kDataMapInt:
        return NumberOf(value, number) ? section.SetInt(key, IntOfDouble(number)) : 0;
    case kDataMapDouble:
        if (!NumberOf(value, number)) {
            return 0;
        }
        return section.SetDouble(key, m_metric != 0 ? MetricToImperial(key, number) : number);
    case kDataMapBool:
        return NumberOf(value, number) ? section.SetBool(key, IntOfDouble(number)) : 0;
    case kDataMapDateTime:
        if (const auto* time = std::get_if<wv::OleDateTime>(&value)) {
            return section.SetDateTime(key, *time);
        }
        return 0;
    case kDataMapStringArray:
        if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
            return section.SetStringArray(key, *list);
        }
        return 0;
    case kDataMapDateTimeArray:
        if (const auto* list = std::get_if<std::vector<wv::OleDateTime>>(&value)) {
            return section.SetDateTimeArray(key, *list);
        }
        return 0;
    default: return 0;
    }
}

double CLFData::GetDouble(std::string_view key, double fallback) const
{
    LFValue value;
    double number = fallback;
    if (GetValue(key, value) != 0 && !NumberOf(value, number)) {
        number = fallback;
    }
    return number;
}

int32_t CLFData::GetInt(std::string_view key, int32_t fallback) const
{
    LFValue value;
    double number = 0.0;
    if (GetValue(key, value) != 0 && NumberOf(value, number)) {
        return IntOfDouble(number);
    }
    return fallback;
}

std::string CLFData::GetString(std::string_view key) const
{
    LFValue value;
    if (GetValue(key, value) != 0) {
        if (auto* text = std::get_if<std::string>(&value)) {
            return *text;
        }
    }
    return {};
}

int CLFData::GetUnitClass(std::string_view key) const
{
    const auto it = m_unitClasses.find(key);
    return it != m_unitClasses.end() ? it->second : -1;
}

double CLFData::MetricToImperial(std::string_view key, double value) const
{
    switch (GetUnitClass(key)) {
    case 0: return value * kCmToInches;
    case 1: return value * kMetresToFeet;
    default: return value;
    }
}

double CLFData::ImperialToMetric(std::string_view key, double value) const
{
    switch (GetUnitClass(key)) {
    case 0: return value * kInchesToCm;
    case 1: return value * kFeetToMetres;
    default: return value;
    }
}

void CLFData::IncrementInt(std::string_view key)
{
    int32_t value = 0;
    m_settings.GetInt(key, value);
    m_settings.SetInt(key, value == INT32_MAX ? value : value + 1);
}

void CLFData::SetNow(std::string_view key) { SetValue(key, wv::OleDateTime::GetCurrentTime()); }

std::string CLFData::GetRowValueName(std::string_view rowKey) const
{
    const auto it = m_rowNames.find(rowKey);
    return it != m_rowNames.end() ? it->second : std::string();
}

std::string CLFData::GetTargetValueName(std::string_view targetKey) const
{
    const auto it = m_targetNames.find(targetKey);
    return it != m_targetNames.end() ? it->second : std::string();
}

// ---- The sonde -------------------------------------------------------------------------------

int CLFData::Connect(std::string_view portText, std::string_view baudText)
{
    if (m_session == nullptr) {
        return 0;
    }
    m_session->GetDeviceFinder().Select(portText, baudText, false);
    const int result = m_session->Open(m_notify);
    if (result != 0) {
        DetectSensors();
    }
    return result;
}

void CLFData::DetectSensors()
{
    if (m_session != nullptr && !m_session->IsRunning()) {
        DetectSensors(m_session->GetImage());
    }
}

void CLFData::DetectSensors(CDeviceImage& image)
{
    for (const char* key : kHasKeys) {
        m_settings.SetBool(key, 0);
    }
    for (const char* key : kNumKeys) {
        m_settings.SetInt(key, 0);
    }

    const std::span<const uint8_t> codes = image.ChannelCodeList();
    const size_t count = std::min<size_t>(image.GetChannelCount(), codes.size());
    const auto listed = [&](uint8_t code) {
        return std::find(codes.begin(), codes.begin() + static_cast<std::ptrdiff_t>(count), code) !=
               codes.begin() + static_cast<std::ptrdiff_t>(count);
    };
    if (listed(kPortTurbidity)) {
        m_settings.SetInt("Num_Turb_Sensor", 1);
        m_settings.SetBool("Has_Turb_Sensor", 1);
    } else if (listed(kPortPressure)) {
        m_settings.SetInt("Num_PXD_Sensor", 1);
    }
    // The wiper's port (35) is taken out of the port list by the loader, which remembers it.
    if (image.HasChannelRecordPort()) {
        IncrementInt("Num_Wip_Sensor");
    }

    for (uint8_t channel = 1; channel <= kImageChannels; ++channel) {
        const std::span<const uint8_t> cal = std::as_const(image).Record(ChannelCalRecordId(channel));
        const auto entry = [&cal](size_t offset) -> int {
            if (cal.size() < offset + 3) {
                return 0;
            }
            const uint16_t field = static_cast<uint16_t>(cal[offset + 1] | (cal[offset + 2] << 8));
            return field == kUnusedEntry ? 0 : cal[offset];
        };
        const int a = cal.empty() || cal[0] == 0 ? 0 : entry(kFirstEntryOffset);
        const int b = cal.empty() || cal[0] == 0 ? 0 : entry(kSecondEntryOffset);
        const std::span<const uint8_t> info = std::as_const(image).Record(SensorInfoRecordId(channel));
        const int kind = info.size() > kSensorKindOffset && info[0] != 0 ? info[kSensorKindOffset] : 0;

        const auto count = [this](const char* key, std::initializer_list<const char*> flags) {
            IncrementInt(key);
            for (const char* flag : flags) {
                m_settings.SetBool(flag, 1);
            }
        };
        const auto either = [a, b](int code) { return a == code || b == code; };
        if (a == 8 && b == 4) {
            count("Num_pHORP_Sensor", {"Has_pH_Sensor", "Has_ORP_Sensor"});
        } else if (a == 8) {
            count("Num_ORP_Sensor", {"Has_ORP_Sensor"});
        } else if (either(4)) {
            count("Num_pH_Sensor", {"Has_pH_Sensor"});
        } else if (b == 8) {
            count("Num_ORP_Sensor", {"Has_ORP_Sensor"});
        } else if (either(7)) {
            count("Num_DO_Sensor", {"Has_DO_Sensor"});
        } else if (either(28)) {
            const char* key = kind == kKindOpticalDongle   ? "Num_HDO2_Dongle_Sensor"
                              : kind == kKindOpticalDirect ? "Num_HDO2_Direct_Sensor"
                                                           : "Num_HDO_Sensor";
            count(key, {"Has_HDO_Sensor"});
        } else if (either(5)) {
            count("Num_Cond_Sensor", {"Has_Cond_Sensor"});
        } else if (either(16)) {
            count("Num_CL_Sensor", {});
        } else if (either(17)) {
            count("Num_NO3_Sensor", {});
        } else if (either(13)) {
            count("Num_NH4_Sensor", {});
        }
    }
}

// ---- Unit texts -------------------------------------------------------------------------------

void CLFData::BuildUnitTexts()
{
    for (const bool abbreviated : {true, false}) {
        CDataMap& types = abbreviated ? m_unitTypesAbbrev : m_unitTypesFull;
        CDataMap& units = abbreviated ? m_unitsAbbrev : m_unitsFull;
        const auto walk = [this](CDataMap& texts, const char* attribute) {
            for (const auto* names : {&m_rowNames, &m_targetNames}) {
                for (const auto& [key, valueName] : *names) {
                    CDataMap scratch;
                    std::string text;
                    if (m_session != nullptr && m_session->GetAttribute(valueName, scratch, attribute) != 0) {
                        scratch.GetString(attribute, text);
                    }
                    texts.SetString(key, text);
                }
            }
        };
        walk(types, abbreviated ? "AttribUnitTypeAbv" : "AttribUnitType");
        for (const LowFlowParamRow& row : LowFlowParamTable) {
            types.SetString(row.key, GetResString(abbreviated ? row.labelId : row.fullLabelId));
        }
        walk(units, abbreviated ? "AttribUnitsAbv" : "AttribUnits");
        for (const LowFlowParamRow& row : LowFlowParamTable) {
            const uint32_t id = m_metric != 0 ? (abbreviated ? row.metricAbbrevId : row.metricUnitId)
                                              : (abbreviated ? row.englishAbbrevId : row.englishUnitId);
            units.SetString(row.key, GetResString(id));
        }
    }
    m_unitTextsBuilt = 1;
}

std::string CLFData::GetUnitTypeText(std::string_view key, bool abbreviated)
{
    if (m_unitTextsBuilt == 0) {
        BuildUnitTexts();
    }
    std::string text;
    (abbreviated ? m_unitTypesAbbrev : m_unitTypesFull).GetString(key, text);
    return text;
}

std::string CLFData::GetUnitText(std::string_view key, bool abbreviated)
{
    if (m_unitTextsBuilt == 0) {
        BuildUnitTexts();
    }
    std::string text;
    (abbreviated ? m_unitsAbbrev : m_unitsFull).GetString(key, text);
    return text;
}

// ---- Readings and logging -------------------------------------------------------------------

int CLFData::GetLatestSample(CDataMap* texts, CDataMap* values)
{
    if (m_session == nullptr) {
        return -1;
    }
    const int n = m_session->GetLatestReadingIndex();
    if (n < 0) {
        return -1;
    }
    for (const auto& [rowKey, valueName] : m_rowNames) {
        CDataMap scratch;
        double value = 0.0;
        if (m_session->GetValue(valueName, scratch) != 0) {
            scratch.GetDouble(valueName, value);
        }
        if (m_latest.HasKey(rowKey) != 0) {
            SetValue(rowKey, value);
        }
        std::string text;
        if (m_session->GetAttribute(valueName, scratch, "AttribValueStr") != 0) {
            scratch.GetString("AttribValueStr", text);
        }
        if (values != nullptr) {
            values->SetDouble(rowKey, value);
        }
        if (texts != nullptr) {
            texts->SetString(rowKey, text);
        }
    }
    return n;
}

bool CLFData::StartLogging()
{
    if (m_session == nullptr) {
        return false;
    }
    if (m_loggingStarted == 0) {
        m_session->BeginRecording("LowFlow");
        m_loggingStarted = 1;
        SetNow("Start_Time");
    }
    double period = CProfilerSession::kDefaultPeriodSeconds;
    LFValue value;
    if (GetValue("Sampling_Rate", value) == 0 || !NumberOf(value, period)) {
        period = CProfilerSession::kDefaultPeriodSeconds;
    }
    return m_session->StartThread(period, m_notify);
}

void CLFData::StopLogging()
{
    SetNow("End_Time");
    if (m_session != nullptr) {
        m_session->Stop(0);
    }
}

bool CLFData::IsLogging() { return m_session != nullptr && m_session->IsRunning(); }
