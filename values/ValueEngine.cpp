#include "values/ValueEngine.h"

#include "comm/DeviceImage.h"
#include "comm/ValueSet.h"
#include "resources/StringTable.h"
#include "values/LevelSettingsRecord.h"
#include "values/QikNameValues.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace {

// The device type names: the level loggers 20 to 28 from 23001, the sondes 30 to 40 from
// 23010, every other code 23000.
constexpr uint32_t kStrUnknownEntity = 23000;
constexpr uint32_t kStrFirstLevelEntity = 23001;
constexpr uint32_t kStrFirstSondeEntity = 23010;

constexpr const char* kErrCode = "ErrCode";
constexpr const char* kErrStr = "ErrStr";
constexpr const char* kSuccess = "Success";
// The inputs a derived value may do without: the salinity (then fresh water), and the
// "ZERO" row that only holds a value's own default.
constexpr std::string_view kOptionalInputs[] = {"CTX_SALINITY", "ZERO"};

struct Registry {
    std::shared_mutex mutex;
    std::unordered_map<std::string, ValueCalculation> calculations;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

thread_local CValueEngine* t_current = nullptr;

} // namespace

// Makes an engine current for the length of one operation, then puts back the engine
// that was current before (an operation of another engine that called this one).
class CValueEngine::Scope {
public:
    explicit Scope(CValueEngine* engine) : m_previous(t_current) { t_current = engine; }
    ~Scope() { t_current = m_previous; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    CValueEngine* m_previous;
};

std::string GetValueResultText(int code)
{
    switch (code) {
    case kValueResultSuccess: return "Success";
    case kValueResultFailed: return "Failed";
    case kValueResultFunctionErr: return "Function Err";
    case kValueResultNameNotFound: return "Value Name not found";
    case kValueResultNotAvailable: return "Value not avaliable";
    case kValueResultRootNotFound: return "Root Value not found";
    case kValueResultRootNotAvailable: return "Root Value not available";
    case kValueResultRowNotFound: return "Row Value not found";
    case kValueResultRowNotAvailable: return "Row Value not available";
    case kValueResultAppliedNotFound: return "Applied Value not found";
    case kValueResultAppliedNotAvailable: return "Applied Value not available";
    case kValueResultDerivedNotFound: return "Derived Value not found";
    case kValueResultDerivedNotAvailable: return "Derived Value not available";
    case kValueResultAttributeNotFound: return "Value Name Attribute not found";
    default: return "Unknown error";
    }
}

std::string ValueNameUpper(std::string_view name) { return QikNameUpper(name); }

std::string GetDeviceTypeName(int deviceType)
{
    uint32_t id = kStrUnknownEntity;
    if (deviceType >= 20 && deviceType <= 28) {
        id = kStrFirstLevelEntity + static_cast<uint32_t>(deviceType - 20);
    } else if (deviceType >= 30 && deviceType <= 40) {
        id = kStrFirstSondeEntity + static_cast<uint32_t>(deviceType - 30);
    }
    return std::string(GetResString(id));
}

void AddValueCalculation(std::string_view name, ValueCalculation calculation)
{
    Registry& registry = TheRegistry();
    const std::unique_lock lock(registry.mutex);
    registry.calculations.emplace(std::string(name), calculation);
}

bool FindValueCalculation(std::string_view name, ValueCalculation& calculation)
{
    Registry& registry = TheRegistry();
    const std::shared_lock lock(registry.mutex);
    const auto it = registry.calculations.find(std::string(name));
    if (it == registry.calculations.end() || it->second == nullptr) {
        return false;
    }
    calculation = it->second;
    return true;
}

bool HasValueCalculations()
{
    Registry& registry = TheRegistry();
    const std::shared_lock lock(registry.mutex);
    return !registry.calculations.empty();
}

// ---- The engine ----------------------------------------------------------------------

CValueEngine::CValueEngine()
{
    const Scope scope(this);
    RegisterValueCalculations();
    m_definitions.BuildRows();
}

CValueEngine::~CValueEngine()
{
    if (t_current == this) {
        t_current = nullptr;
    }
}

CValueEngine* CValueEngine::Current() { return t_current; }

void CValueEngine::Compute(CDeviceImage& image, int parameterType, int parameterId)
{
    const Scope scope(this);
    Reset();
    if (static_cast<int64_t>(parameterType) * static_cast<int64_t>(parameterId) < 0) {
        return;
    }
    m_image = &image;
    LoadDeviceConstants();
    FillReadingValues(nullptr);
    m_functions.Bind(image);
    m_origins.Bind(m_rootValidity, m_rowValidity, m_functions.GetFunctionValidity());
    m_definitions.Load(m_functions.GetAliasMap());
    m_computed = 1;
}

void CValueEngine::Reset()
{
    const Scope scope(this);
    m_computed = 0;
    m_image = nullptr;
    m_rootValues.RemoveAll();
    m_rootValidity.RemoveAll();
    ClearReading();
    m_rowValidity.RemoveAll();
    m_functions.BuildRows(nullptr);
    m_origins.BuildRows();
    m_definitions.BuildRows();
}

void CValueEngine::LoadDeviceConstants()
{
    const CDeviceImage& image = *m_image;
    const std::span<const uint8_t> record = image.Record(kRecordChannel);
    const bool hasRecord = record.size() >= kLevelRecordSize;
    const auto floatAt = [&](size_t offset) { return hasRecord ? RecordFloatAt(record, offset) : 0.0; };
    const auto byteAt = [&](size_t offset) { return hasRecord ? int32_t{record[offset]} : 0; };

    const auto setDouble = [this](const char* name, double value, bool valid) {
        m_rootValues.SetDouble(name, value);
        m_rootValidity.SetBool(name, valid ? 1 : 0);
    };
    const auto setInt = [this](const char* name, int32_t value, bool valid) {
        m_rootValues.SetInt(name, value);
        m_rootValidity.SetBool(name, valid ? 1 : 0);
    };

    const double start = image.GetStartJulian();
    setDouble("STARTTIME", start, start > 0.0);
    setDouble("DENSITY", floatAt(kLevelDensity), true);
    const double specificGravity = floatAt(kLevelSpecificGravity);
    setDouble("SPECIFIC_GRAVITY", specificGravity, specificGravity > 0.0);
    const double elevation = floatAt(kLevelElevation);
    setDouble("ELEVATION", elevation, elevation >= 0.0 && elevation <= 10000.0);
    const int32_t latitude = byteAt(kLevelLatitude);
    setDouble("LATITUDE", latitude, latitude >= 0 && latitude <= 90);
    const int32_t displayMode = byteAt(kLevelDisplayMode);
    setInt("DISPLAY_MODE", displayMode, displayMode >= 0 && displayMode <= 3);
    setDouble("USER_REFERENCE", floatAt(kLevelUserReference), true);
    setDouble("NOW_REFERENCE", floatAt(kLevelNowReference), true);
    setInt("WHENTOREAD_REF", byteAt(kLevelWhenToRead), true);
    setInt("DEVICE_SERIAL_NO", image.GetSerialNumber(), true);
    m_rootValues.SetString("ENTITY_CODE_STR", GetDeviceTypeName(image.GetDeviceType()));
    m_rootValidity.SetBool("ENTITY_CODE_STR", 1);
    setInt("ENTITY_IS_9K", image.IsSondeFamily() ? 1 : 0, true);
    setInt("ENTITY_IS_MINIVORNA", image.IsLevelFamily() ? 1 : 0, true);
}

void CValueEngine::FillReadingValues(const CDeviceReading* reading)
{
    for (int kind = kValueSetRaw; kind <= kValueSetUser; ++kind) {
        const CValueSet* set = m_image->GetValueSet(kind);
        if (set == nullptr) {
            break;
        }
        std::string name;
        for (int slot = 0; set->GetName(slot, name); ++slot) {
            if (kind == kValueSetRaw) {
                uint16_t raw = 0;
                if (reading != nullptr) {
                    reading->GetRawValue(name, raw);
                }
                m_rowValues.SetInt(name, raw);
            } else {
                double value = 0.0;
                if (reading != nullptr) {
                    if (kind == kValueSetCooked) {
                        reading->GetCookedValue(name, value);
                    } else if (kind == kValueSetBase) {
                        reading->GetBaseValue(name, value);
                    } else {
                        reading->GetUserValue(name, value);
                    }
                }
                m_rowValues.SetDouble(name, value);
            }
            m_rowValidity.SetBool(name, set->GetUsedByName(name) != 0 ? 1 : 0);
        }
    }

    double reference = 0.0;
    const bool referenceValid = m_image->GetBasePxdReference(reference);
    m_rootValues.SetDouble("START_OF_TEST_REF", reference);
    m_rootValidity.SetBool("START_OF_TEST_REF", referenceValid ? 1 : 0);

    double timestamp = 0.0;
    if (reading != nullptr) {
        reading->GetTimestamp(timestamp);
    }
    int32_t timestampValid = referenceValid ? 1 : 0;
    if (m_rowValidity.HasKey("USER_TIMESTAMP") != 0) {
        m_rowValidity.GetBool("USER_TIMESTAMP", timestampValid);
    }
    m_rowValues.SetDouble("TIMESTAMP", timestamp);
    m_rowValidity.SetBool("TIMESTAMP", timestampValid);
}

int CValueEngine::LoadReading(int n)
{
    ClearReading();
    if (m_image == nullptr) {
        return 0;
    }
    const size_t count = m_image->ReadingCount();
    if (n == -1) {
        if (count == 0) {
            return 0;
        }
        n = static_cast<int>(count - 1);
    }
    if (n < 0 || static_cast<size_t>(n) >= count) {
        return 0;
    }
    CDeviceReading* reading = m_image->GetReading(static_cast<size_t>(n));
    if (reading == nullptr) {
        return 0;
    }
    FillReadingValues(reading);
    m_image->ReleaseReading(reading);
    m_readingLoaded = 1;
    return 1;
}

void CValueEngine::ClearReading()
{
    m_readingLoaded = 0;
    m_rowValues.RemoveAll();
}

int CValueEngine::GetValue(std::string_view name, CDataMap& result)
{
    const Scope scope(this);
    // Every query starts from success, so a map reused for many queries holds the
    // status of the last one only.
    SetError(kValueResultSuccess, result);
    int answer = 0;
    ValueCalculation calculation = nullptr;
    if (m_computed == 0) {
        SetError(kValueResultFailed, result);
    } else if (!FindCalculation(name, calculation)) {
        SetError(kValueResultNameNotFound, result);
    } else {
        answer = calculation(name, result);
    }
    if (answer == 0 && m_failedInputs != nullptr) {
        m_failedInputs->emplace_back(name);
    }
    return answer;
}

int CValueEngine::GetAttribute(std::string_view name, CDataMap& result, std::string_view attribute)
{
    const Scope scope(this);
    if (m_computed == 0) {
        SetError(kValueResultFailed, result);
        return 0;
    }
    return m_definitions.GetAttribute(name, result, attribute);
}

bool CValueEngine::FindCalculation(std::string_view name, ValueCalculation& calculation) const
{
    const std::string upper = ValueNameUpper(name);
    {
        Registry& registry = TheRegistry();
        const std::shared_lock lock(registry.mutex);
        const auto it = registry.calculations.find(upper);
        if (it != registry.calculations.end()) {
            if (it->second == nullptr) {
                return false;
            }
            calculation = it->second;
            return true;
        }
    }
    std::string parameter;
    return m_functions.Lookup(name, parameter) && FindValueCalculation(parameter, calculation);
}

void CValueEngine::SetError(int code, CDataMap& result)
{
    if (code == kValueResultSuccess) {
        result.SetInt(kErrCode, 0);
        result.SetString(kErrStr, kSuccess);
        return;
    }
    int32_t bits = 0;
    result.GetInt(kErrCode, bits);
    result.SetInt(kErrCode, bits | code);

    std::string text = kSuccess;
    result.GetString(kErrStr, text);
    for (size_t at = text.find(kSuccess); at != std::string::npos; at = text.find(kSuccess, at)) {
        text.erase(at, std::strlen(kSuccess));
    }
    text += "\n";
    text += GetValueResultText(code);
    if (!text.empty() && text.front() == '\n') {
        text.erase(0, 1);
    }
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    result.SetString(kErrStr, text);
}

int CValueEngine::GetRootValue(std::string_view name, CDataMap& result)
{
    if (m_rootValidity.HasKey(name) == 0) {
        SetError(kValueResultRootNotFound, result);
        return 0;
    }
    int32_t valid = 0;
    m_rootValidity.GetBool(name, valid);
    if (valid == 0) {
        SetError(kValueResultRootNotAvailable, result);
        return 0;
    }
    switch (m_rootValues.GetType(name)) {
    case kDataMapString: {
        std::string text;
        return m_rootValues.GetString(name, text) != 0 && result.SetString(name, text) != 0 ? 1 : 0;
    }
    case kDataMapInt: {
        int32_t value = 0;
        return m_rootValues.GetInt(name, value) != 0 && result.SetInt(name, value) != 0 ? 1 : 0;
    }
    case kDataMapDouble: {
        double value = 0.0;
        return m_rootValues.GetDouble(name, value) != 0 && result.SetDouble(name, value) != 0 ? 1 : 0;
    }
    case kDataMapDateTime: {
        wv::OleDateTime value;
        return m_rootValues.GetDateTime(name, value) != 0 && result.SetDateTime(name, value) != 0 ? 1 : 0;
    }
    default: return 1;
    }
}

int CValueEngine::GetRowValue(std::string_view name, CDataMap& result)
{
    if (m_readingLoaded == 0) {
        SetError(kValueResultRowNotAvailable, result);
        return 0;
    }
    std::string key(name);
    bool byAlias = false;
    if (m_rowValidity.HasKey(key) == 0) {
        std::string parameter;
        if (m_functions.Lookup(name, parameter)) {
            key = parameter;
            byAlias = true;
        }
        if (m_rowValidity.HasKey(key) == 0) {
            SetError(kValueResultRowNotFound, result);
            SetError(kValueResultAppliedNotFound, result);
            return 0;
        }
    }
    int32_t valid = 0;
    m_rowValidity.GetBool(key, valid);
    if (valid == 0) {
        SetError(byAlias ? kValueResultAppliedNotAvailable : kValueResultRowNotAvailable, result);
        return 0;
    }
    SetError(kValueResultSuccess, result);
    switch (m_rowValues.GetType(key)) {
    case kDataMapInt: {
        int32_t value = 0;
        m_rowValues.GetInt(key, value);
        result.SetInt(name, value);
        return 1;
    }
    case kDataMapDouble: {
        double value = 0.0;
        m_rowValues.GetDouble(key, value);
        result.SetDouble(name, value);
        return 1;
    }
    case kDataMapDateTime: {
        wv::OleDateTime value;
        m_rowValues.GetDateTime(key, value);
        result.SetDateTime(name, value);
        return 1;
    }
    default: return 1;
    }
}

bool CValueEngine::GetAppliedValue(std::string_view name, CDataMap& result, int32_t& channelType)
{
    if (m_functions.Evaluate(name, channelType)) {
        return true;
    }
    SetError(kValueResultAppliedNotFound, result);
    return false;
}

int CValueEngine::SetValueFromText(CDataMap& result, std::string_view name, std::string_view text, int typeId)
{
    switch (typeId) {
    case kDataMapInt: result.SetInt(name, StrToInt(text)); break;
    case kDataMapDouble: result.SetDouble(name, StrToDouble(text)); break;
    case kDataMapDateTime: {
        wv::OleDateTime value;
        ParseDateTimeValue(text, value);
        result.SetDateTime(name, value);
        break;
    }
    default: break;
    }
    return 1;
}

bool CValueEngine::FetchInputs(std::string_view name, CDataMap& result)
{
    std::vector<std::string> failed;
    std::vector<std::string>* outer = m_failedInputs;
    m_failedInputs = &failed;
    const bool fetched = m_origins.GetOriginValue(*this, name, result);
    m_failedInputs = outer;
    if (!fetched) {
        return false;
    }
    for (const std::string& input : failed) {
        if (std::find(std::begin(kOptionalInputs), std::end(kOptionalInputs), input) == std::end(kOptionalInputs)) {
            SetError(kValueResultDerivedNotAvailable, result);
            return false;
        }
    }
    return true;
}

int CValueEngine::DefaultValue(std::string_view name, CDataMap& result)
{
    return m_origins.GetDefaultValue(*this, name, result);
}
