#include "site/QorChannel.h"

#include "comm/TkSession.h"
#include "foundation/DataMap.h"
#include "platform/OleDateTime.h"
#include "resources/StringTable.h"
#include "site/ChannelTypeName.h"
#include "site/DefaultCallback.h"
#include "site/QikProfDataWriter.h"
#include "site/QorDevice.h"
#include "site/QorTest.h"
#include "site/SiteFrame.h"
#include "values/CalCoeffsISE.h"
#include "values/CalCoeffsORP.h"
#include "values/CalCoeffsPH.h"
#include "values/QikNameValues.h"
#include "values/QikProfDataUnits.h"
#include "values/RawConversion.h"
#include "values/UnitCatalog.h"
#include "values/UnitConversion.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr uint8_t kHighestKind = 28;
// A sonde's level reading of this code answers "no temperature sensor".
constexpr int kNoTemperatureSensor = 213;
constexpr uint8_t kTestStatePendingManual = 1;
constexpr uint8_t kTestStatePendingScheduled = 2;
// The barometric point of a dissolved-oxygen calibration (the sixth point).
constexpr uint8_t kBarometricPointCode = 70;
// A channel of a node without a session: nothing can be asked (no answer).
constexpr int kTkErrNoSession = -1;
// The sensor mode byte of the data writer's level-channel record (after the form, the
// number and the name).
constexpr size_t kLevelRecordSensorModeByte = 19;

const CUnitCatalog* g_unitCatalog = nullptr;
bool g_allow2SecondTest = false;

bool IsPending(const CQorTest* test)
{
    return test != nullptr && (test->GetState() == kTestStatePendingManual ||
                               test->GetState() == kTestStatePendingScheduled);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// A printf format of a unit applied to one double; a format that does not take exactly
// one floating conversion is replaced by "%g".
std::string FormatNumber(const std::string& format, double value)
{
    int conversions = 0;
    bool floating = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        ++conversions;
        size_t j = i + 1;
        while (j < format.size() && std::string_view("-+ #0123456789.").find(format[j]) != std::string_view::npos) {
            ++j;
        }
        floating = j < format.size() && std::string_view("fFeEgG").find(format[j]) != std::string_view::npos;
    }
    char buffer[128];
    if (conversions == 1 && floating) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::snprintf(buffer, sizeof buffer, format.c_str(), value);
#pragma GCC diagnostic pop
    } else {
        std::snprintf(buffer, sizeof buffer, "%g", value);
    }
    return buffer;
}

// A device date-time in the user's date form (date only).
std::string DeviceDateText(const DeviceTime& time)
{
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    char buffer[64];
    const std::string format = wv::LocaleDateFormat();
    if (std::strftime(buffer, sizeof buffer, format.c_str(), &tm) == 0) {
        return {};
    }
    return buffer;
}

bool IsSondeType(uint8_t type) { return type >= 30 && type <= 40; }

// The channel's name field as program text.
std::string RecordName(const ChannelDefinitionRecord& record)
{
    return ChannelName(record);
}

} // namespace

AppErrorCode CQorChannel::Init(const ChannelDefinitionRecord& record, CQorView* parent, CTkSession* session)
{
    if (parent == nullptr || record.parameterType > kHighestKind) {
        return kAppErrNodeInit;
    }
    CQorView* deviceNode = parent->GetNodeType() == NodeType::Device ? parent : parent->GetParent();
    auto* device = dynamic_cast<CQorDevice*>(deviceNode);
    if (device == nullptr) {
        return kAppErrNodeInit;
    }
    SetParent(parent);
    m_device = device;
    m_address = device->GetAddress();
    m_deviceType = device->GetDeviceType();
    m_session = session;
    m_record = record;
    return kAppOk;
}

void CQorChannel::AddToTree(CSiteTree* tree, TreeItem parentItem, TreeItem insertAfter)
{
    InsertTreeItem(tree, parentItem, insertAfter, GetIconIndex(), GetLabel(), false);
}

ViewId CQorChannel::GetViewId(TreeItem item) const
{
    return item != kNoTreeItem && item == GetTreeItem() ? ViewId::Channel : ViewId::None;
}

void CQorChannel::RefreshTreeItem()
{
    if (GetTreeItem() == kNoTreeItem || GetTree() == nullptr) {
        return;
    }
    GetTree()->SetItemText(GetTreeItem(), GetLabel());
    GetTree()->Repaint();
}

NodeType CQorChannel::GetNodeType() const { return NodeType::Channel; }

int CQorChannel::GetPortGroup() const
{
    switch (GetParameterId()) {
    case 11: case 12: case 16: case 17: return 1;
    case 21: case 25: return 2;
    case 31: case 32: case 36: case 37: return 3;
    case 41: case 42: case 45: return 4;
    default: return 0;
    }
}

std::string CQorChannel::GetLabel() const { return GetDisplayName(false); }

int CQorChannel::GetIconIndex() const
{
    switch (GetKind()) {
    case 2: return 13;
    case 3: return 12;
    case 4: return 14;
    case 5: return 17;
    case 6: return 18;
    case 7: return 19;
    case 8: return 15;
    case 13: return 21;
    case 16: return 22;
    case 17: return 20;
    case 22: case 26: return 23;
    case 27: return 28;
    case 28: return 29;
    default: return 16;
    }
}

// ---- Program-wide settings ----

void CQorChannel::SetUnitCatalog(const CUnitCatalog* catalog) { g_unitCatalog = catalog; }
const CUnitCatalog* CQorChannel::GetUnitCatalog() { return g_unitCatalog; }
void CQorChannel::SetAllow2SecondTest(bool allow) { g_allow2SecondTest = allow; }

// ---- Helpers ----

bool CQorChannel::IsSonde() const { return IsSondeType(m_deviceType); }

bool CQorChannel::IsUnderTest() const
{
    return GetParent() != nullptr && GetParent()->GetNodeType() == NodeType::Test;
}

int CQorChannel::GetOpticalCapStatus() const
{
    return m_device != nullptr ? m_device->GetDataWriter().OpticalCapStatus() : kCapStatusUnknown;
}

bool CQorChannel::IsTestOfDeviceRunning() const
{
    return m_device != nullptr && m_device->GetRunningTestId() != 0;
}

AppErrorCode CQorChannel::MapErrorCode(int protocolCode)
{
    switch (protocolCode) {
    case 0: return kAppOk;
    case -1: return kAppErrNoAnswer;
    case 5024: case 5037: case 5038: case 5039: case 5040: return kAppErrChannelUpdate;
    case 5025: return kAppErrTestRunning;
    case 5030: return kAppErrValueUnavailable;
    case 5061: return kAppErrChannelInTest;
    case 5076: return kAppErrNoProbe;
    case 5080: return kAppErrNotCalibrated;
    case 5109: return kAppErrLineLost;
    default: return protocolCode;
    }
}

// ---- Definition ----

AppErrorCode CQorChannel::ReadDefinition()
{
    CSiteFrame* frame = GetMainFrame();
    if (frame != nullptr) {
        frame->SetStatusText("Refreshing Channel Information...");
        frame->ActivateTreeView();
    }
    int status = kTkErrNoSession;
    {
        CBusyGuard busy(frame);
        if (m_session != nullptr) {
            ChannelDefinitionRecord record = m_record;
            status = m_session->GetChannelConfig(GetParameterId(), &record, nullptr);
            if (status == 0) {
                WriteDefinition(record, false);
            }
        }
    }
    if (frame != nullptr) {
        frame->SetStatusText("");
    }
    return MapErrorCode(status);
}

AppErrorCode CQorChannel::WriteDefinition(ChannelDefinitionRecord record, bool toDevice)
{
    if (!toDevice || m_device == nullptr) {
        m_record = record;
        RefreshTreeItem();
        return kAppOk;
    }
    int status = kTkErrNoSession;
    if (m_session != nullptr) {
        status = m_session->TalkTo(m_address, m_deviceType);
        if (status == 0) {
            CDefaultCallback progress;
            ChannelDefinitionRecord written = record;
            status = m_session->SetChannelConfig(&written, &progress);
        }
        // The device fills the reference reading of a level record set to read "now".
        if (status == 0 && record.parameterType == 3 && record.whenToRead == 0 && record.levelMode != 2) {
            ChannelDefinitionRecord readBack = record;
            status = m_session->GetChannelConfig(GetParameterId(), &readBack, nullptr);
            if (status == 0) {
                record = readBack;
            }
        }
    }
    if (status == 0) {
        m_record = record;
        m_device->GetDataWriter().FindChannelBlock(record);
        CQorChannel* own = m_device->GetChannel(GetParameterId(), true);
        if (own != nullptr && own != this) {
            own->WriteDefinition(record, false);
        }
        for (int number = 1; number <= static_cast<int>(CQorDevice::kMaxTests); ++number) {
            const CQorTest* test = m_device->GetTest(number);
            if (!IsPending(test)) {
                continue;
            }
            CQorChannel* copy = test->GetChannel(GetParameterId());
            if (copy != nullptr && copy != this) {
                copy->WriteDefinition(record, false);
            }
        }
    }
    RefreshTreeItem();
    return MapErrorCode(status);
}

// ---- Readings ----

void CQorChannel::SetReading(double value, bool isDisplay)
{
    m_lastValue = value;
    m_hasReading = true;
    m_valueIsDisplay = isDisplay;
    m_readingText = FormatReading(value, isDisplay);
}

bool CQorChannel::ComputeWriterValue(double& value) const
{
    if (m_device == nullptr || g_unitCatalog == nullptr) {
        return false;
    }
    CQikProfDataWriter& writer = m_device->GetDataWriter();
    if (writer.IsReady() == 0) {
        return false;
    }
    CQikNameValues engine;
    engine.Load(writer, GetKind(), GetParameterId());
    engine.ComputeRootValues();
    const CQikProfDataUnits units(*g_unitCatalog);
    const std::string name = units.GetFunction(GetKind(), GetDisplayMode(), -1);
    // "ZERO" stands for a value the engine does not make (a level in length units): no
    // reading here, so the caller reads the sensor itself.
    if (name.empty() || name == "ZERO") {
        return false;
    }
    CDataMap result;
    double computed = 0.0;
    if (engine.GetValue(name, result) != 1 || result.GetDouble(name, computed) == 0 || !std::isfinite(computed)) {
        return false;
    }
    value = computed;
    return true;
}

void CQorChannel::ShareReading()
{
    if (m_device == nullptr) {
        return;
    }
    const auto* ownTest = dynamic_cast<const CQorTest*>(GetParent());
    if (ownTest != nullptr) {
        CQorChannel* own = m_device->GetChannel(GetParameterId(), true);
        if (own != nullptr && own != this) {
            own->SetReading(m_lastValue, m_valueIsDisplay);
        }
    }
    for (int number = 1; number <= static_cast<int>(CQorDevice::kMaxTests); ++number) {
        const CQorTest* test = m_device->GetTest(number);
        if (!IsPending(test) || test == ownTest) {
            continue;
        }
        CQorChannel* copy = test->GetChannel(GetParameterId());
        if (copy != nullptr && copy != this) {
            copy->SetReading(m_lastValue, m_valueIsDisplay);
        }
    }
}

AppErrorCode CQorChannel::ReadCurrentValue(double& value, bool raw)
{
    if (!raw && m_device != nullptr && m_device->GetDataWriter().IsReady() != 0) {
        m_hasReading = false;
        std::vector<uint8_t> excluded;
        if (GetParameterId() != 4) {
            excluded.push_back(4);
        }
        const uint8_t id = GetParameterId();
        if (id != 16 && id != 36 && id != 17 && id != 37) {
            excluded.insert(excluded.end(), {16, 36, 17, 37});
        }
        double computed = 0.0;
        if (m_device->GetDataWriter().ReadSample(false, excluded) == kSampleOk && ComputeWriterValue(computed)) {
            value = computed;
            m_lastValue = computed;
            m_hasReading = true;
            m_valueIsDisplay = true;
            m_readingText = FormatReading(computed, true);
            return kAppOk;
        }
    }
    if (IsSonde()) {
        if (!raw && GetKind() != 3) {
            value = 0.0;
            return kAppErrValueUnavailable;
        }
        return ReadValue(value, raw);
    }
    int status = kTkErrNoSession;
    if (m_session != nullptr) {
        status = m_session->TalkTo(m_address, m_deviceType);
        double read = 0.0;
        if (status == 0) {
            status = m_session->ReadValue(GetParameterId(), &read, nullptr);
        }
        if (status == 0) {
            value = read;
            if (!raw) {
                SetReading(read, false);
                ShareReading();
                value = ToDisplayUnits(DivideBySpecificGravity(read));
            }
        }
    }
    return MapErrorCode(status);
}

AppErrorCode CQorChannel::ReadValue(double& value, bool raw)
{
    value = 0.0;
    if (m_session == nullptr) {
        return MapErrorCode(kTkErrNoSession);
    }
    int status = m_session->TalkTo(m_address, m_deviceType);
    double read = 0.0;
    if (status == 0) {
        status = m_session->ReadValue(GetParameterId(), &read, nullptr);
    }
    if (status != 0) {
        return MapErrorCode(status);
    }
    if (GetKind() == 3 && m_device != nullptr) {
        read -= m_device->GetPressureZeroOffset();
    }
    value = read;
    if (raw) {
        return kAppOk;
    }
    double temperature = 25.0;
    const int temperatureStatus = m_session->ReadValue(1, &temperature, nullptr);
    if (temperatureStatus == kNoTemperatureSensor) {
        temperature = 25.0;
    } else if (temperatureStatus != 0) {
        return MapErrorCode(temperatureStatus);
    }
    const float corrected = ApplySensorCorrection(
        GetKind(), static_cast<float>(read), static_cast<float>(temperature), 0.0, m_record.calibrationPointCount,
        m_record.calibrationMode, m_record.segments, m_record.pairs);
    SetReading(corrected, false);
    value = ToDisplayUnits(DivideBySpecificGravity(corrected));
    return kAppOk;
}

AppErrorCode CQorChannel::ReadAndFormat()
{
    double value = 0.0;
    const AppErrorCode result = ReadCurrentValue(value, false);
    GetReadingText(true);
    return result;
}

bool CQorChannel::GetLatestReading(double& value, bool& isDisplay)
{
    double computed = 0.0;
    if (m_device != nullptr && m_device->GetDataWriter().IsReady() != 0 && ComputeWriterValue(computed)) {
        value = computed;
        isDisplay = true;
    } else if (m_readingReset) {
        m_readingReset = false;
        value = 0.0;
        isDisplay = m_valueIsDisplay;
    } else {
        value = m_lastValue;
        isDisplay = m_valueIsDisplay;
    }
    return m_hasReading;
}

std::string CQorChannel::GetReadingText(bool refresh)
{
    bool isDisplay = m_valueIsDisplay;
    double value = m_lastValue;
    if (!GetLatestReading(value, isDisplay)) {
        m_readingText.clear();
        return m_readingText;
    }
    m_lastValue = value;
    m_valueIsDisplay = isDisplay;
    if (refresh) {
        m_readingText = FormatReading(value, isDisplay);
    }
    return m_readingText;
}

double CQorChannel::DivideBySpecificGravity(double value) const
{
    const double gravity = m_record.specificGravity;
    if (GetKind() != 3 || m_record.levelMode == 2 || gravity == 0.0 || !std::isfinite(gravity)) {
        return value;
    }
    return value / gravity;
}

double CQorChannel::ToDisplayUnits(double value) const
{
    const int native = GetNativeUnit(false);
    const int display = GetDefaultUnits();
    if (native < 0 || display < 0) {
        return value;
    }
    const double density = GetDensity();
    if (density != 0.0) {
        double out = value;
        if (ConvertUnits(value, out, GetKind(), static_cast<int16_t>(native), static_cast<int16_t>(display), density,
                         GetGravity()) != 0) {
            return value;
        }
        return out;
    }
    const double out =
        ConvertUnitsDefault(value, GetKind(), static_cast<int16_t>(native), static_cast<int16_t>(display));
    return std::isfinite(out) ? out : value;
}

std::string CQorChannel::GetUnitsText() const
{
    if (g_unitCatalog == nullptr) {
        return {};
    }
    const CQikProfDataUnits units(*g_unitCatalog);
    return units.GetUnitLabel(GetKind(), GetKind() == 3 ? m_record.levelMode : -1);
}

std::string CQorChannel::FormatReading(double value, bool isDisplay) const
{
    std::string format;
    if (g_unitCatalog != nullptr) {
        const CQikProfDataUnits units(*g_unitCatalog);
        format = units.GetUnitFormat(GetKind(), GetKind() == 3 ? m_record.levelMode : -1, false);
    }
    const std::string unit = GetUnitsText();
    if (isDisplay) {
        return FormatNumber(format, value) + " " + unit;
    }
    const double converted = ToDisplayUnits(DivideBySpecificGravity(value));
    if (GetKind() == 3 && (m_record.levelMode == 0 || m_record.levelMode == 1) && m_record.whenToRead == 0) {
        const double reference = DivideBySpecificGravity(m_record.referenceReading);
        const double level = m_record.levelMode == 0
                                 ? m_record.levelReference + (reference - DivideBySpecificGravity(value))
                                 : m_record.levelReference + (DivideBySpecificGravity(value) - reference);
        return Format("%s: %2.3f %s (%s: %2.3f %s)", "Level", ToDisplayUnits(level), unit.c_str(), "Actual Depth",
                      converted, unit.c_str());
    }
    return FormatNumber(format, converted) + " " + unit;
}

// ---- Units ----

int CQorChannel::GetDefaultUnits() const
{
    switch (GetKind()) {
    case 2: case 3: case 4: case 5: case 6: case 7: case 28: case 8: case 13: case 16: case 17: case 22:
        break;
    default:
        return -1;
    }
    if (g_unitCatalog == nullptr) {
        return -1;
    }
    const CQikProfDataUnits units(*g_unitCatalog);
    return units.GetCurrentUnit(GetKind(), GetKind() == 3 ? m_record.levelMode : -1);
}

int CQorChannel::GetNativeUnit(bool sondeFlag) const
{
    switch (GetKind()) {
    case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 13: case 16: case 17: case 28:
        return 0;
    case 22:
        return sondeFlag && IsSonde() ? 1 : 0;
    default:
        return -1;
    }
}

double CQorChannel::GetDensity() const
{
    const double density = m_record.density;
    return GetKind() == 3 && density >= 0.5 && density <= 2.0 ? density : 0.0;
}

double CQorChannel::GetGravity() const
{
    if (GetKind() != 3 || m_record.latitude > 90) {
        return kStandardGravity;
    }
    const double s1 = std::sin(m_record.latitude * 0.01745329);
    const double s2 = std::sin(m_record.latitude * 0.03490658);
    const double g =
        9.780356 * (1.0 + 0.0052885 * s1 * s1 - 5.9e-6 * s2 * s2) - 0.003086 * (m_record.elevation * 0.001);
    return g >= 9.74 && g <= 9.84 ? g : kStandardGravity;
}

int CQorChannel::GetReadTimeout(uint8_t deviceType) const
{
    if (!IsSondeType(deviceType)) {
        return 50;
    }
    if (g_allow2SecondTest) {
        return 200;
    }
    return GetKind() == 28 ? 1000 : 500;
}

int CQorChannel::GetSensorMode() const
{
    if (GetKind() == 3) {
        return m_record.levelSetting;
    }
    if (GetKind() == 5) {
        return m_device != nullptr ? m_device->GetConductivityRange() : -1;
    }
    return -1;
}

int CQorChannel::GetDisplayMode() const
{
    if (GetKind() == 3) {
        return m_record.levelMode;
    }
    if (GetKind() == 5 && m_device != nullptr) {
        const int range = m_device->GetConductivityRange();
        return range == 11 || range == 12 ? range : -1;
    }
    return -1;
}

int CQorChannel::GetLevelMode() const
{
    if (GetKind() == 5) {
        return m_device != nullptr ? m_device->GetConductivityRange() : -1;
    }
    return GetKind() == 3 ? m_record.levelMode : -1;
}

// ---- Permissions ----

namespace {
bool IsRestrictedType(uint8_t type) { return type == 23 || type == 24 || (type >= 26 && type <= 28); }
bool IsOpticalCapId(uint8_t id) { return id == 17 || id == 37; }
} // namespace

bool CQorChannel::HasLevelSettings() const
{
    const uint8_t type = m_deviceType;
    return (GetKind() == 2 || GetKind() == 3) && !(type == 22 || IsRestrictedType(type));
}

bool CQorChannel::CanEditLevelSettings() const
{
    if (IsRestrictedType(m_deviceType)) {
        return false;
    }
    return IsSonde() || GetKind() == 2 || GetKind() == 3;
}

bool CQorChannel::CanEdit() const
{
    if (IsRestrictedType(m_deviceType)) {
        return false;
    }
    if (m_deviceType >= 21 && m_deviceType <= 28 && m_device != nullptr && m_device->IsInfoValid()) {
        return m_device->GetFirmwareVersion() >= 2.0;
    }
    return true;
}

bool CQorChannel::IsNotUnderFinishedTest() const
{
    const auto* test = dynamic_cast<const CQorTest*>(GetParent());
    return test == nullptr || (test->GetState() != kTestStateComplete && test->GetState() != kTestStateAbended);
}

bool CQorChannel::CanCalibrate() const
{
    if (IsOpticalCapId(GetParameterId())) {
        return GetOpticalCapStatus() == kCapStatusOk;
    }
    switch (GetKind()) {
    case 4: case 5: case 7: case 8: case 13: case 16: case 17: case 22: case 26: case 28:
        return IsSonde() && m_deviceType != 35;
    case 3: {
        if (m_device == nullptr) {
            return false;
        }
        if (IsSonde()) {
            const double firmware = m_device->GetFirmwareVersion();
            return m_deviceType != 35 && (firmware > 1.52 || firmware < 0.01 ||
                                          m_device->GetDataWriter().GetChannelRecord()[kLevelRecordSensorModeByte] == 1);
        }
        return m_device->GetDataWriter().GetPressureMfg().SensorType == 1;
    }
    default:
        return false;
    }
}

bool CQorChannel::CanCalibrateNow() const
{
    return CanCalibrate() && !IsTestOfDeviceRunning() && IsNotUnderFinishedTest();
}

bool CQorChannel::CanEditNow() const
{
    if (!IsNotUnderFinishedTest() || IsTestOfDeviceRunning()) {
        return false;
    }
    if (IsSonde() && GetKind() != 3 && GetKind() != 6 && GetKind() != 26 && GetKind() != 28) {
        return false;
    }
    if (IsOpticalCapId(GetParameterId())) {
        return GetOpticalCapStatus() == kCapStatusOk;
    }
    return true;
}

bool CQorChannel::CanRead() const
{
    if (IsUnderTest()) {
        return false;
    }
    if (IsOpticalCapId(GetParameterId())) {
        return GetOpticalCapStatus() == kCapStatusOk;
    }
    return GetKind() != 26;
}

// ---- Texts ----

std::string CQorChannel::GetIdText() const { return Format("%d", GetParameterId()); }

std::string CQorChannel::GetNameText() const { return GetKind() == 0 ? std::string() : RecordName(m_record); }

std::string CQorChannel::GetTypeName(bool shortForm) const
{
    return GetChannelTypeName(GetKind(), GetDisplayMode(), shortForm);
}

std::string CQorChannel::GetDisplayName(bool shortForm) const
{
    std::string label;
    if (IsSonde()) {
        if (const int port = GetPortGroup(); port != 0) {
            label = Format("P%d : ", port);
        }
    }
    if (const auto* test = dynamic_cast<const CQorTest*>(GetParent());
        test != nullptr && test->GetScheduleType() == 3 && test->GetEventChannel() == GetParameterId()) {
        label += "EVENT : ";
    }
    label += GetTypeName(shortForm);
    if (!IsSonde()) {
        label += " - " + GetNameText();
    }
    return label;
}

namespace {
bool IsFamily21to28(uint8_t type) { return type >= 21 && type <= 28; }
} // namespace

std::string CQorChannel::GetRangeText() const
{
    return IsFamily21to28(m_deviceType) && GetKind() == 5 ? Format("%2.4f", m_record.coefficients[0]) : std::string();
}

std::string CQorChannel::GetCoefficientText1() const
{
    return IsFamily21to28(m_deviceType) && GetKind() == 7 ? Format("%2.4f", m_record.coefficients[1]) : std::string();
}

std::string CQorChannel::GetOffsetText() const
{
    if (IsSonde()) {
        const double firmware = m_device != nullptr ? m_device->GetFirmwareVersion() : 0.0;
        if (GetKind() == 3 && m_device != nullptr && (firmware > 1.52 || firmware < 0.01)) {
            return Format("%0.2f psi", static_cast<double>(m_device->GetPressureZeroOffset()));
        }
        return {};
    }
    switch (IsFamily21to28(m_deviceType) ? GetKind() : 0) {
    case 4: case 7: case 8: case 13: case 16: case 17:
        return Format("%2.4f", m_record.coefficients[2]);
    default:
        return {};
    }
}

std::string CQorChannel::GetCoefficientText2() const
{
    switch (IsFamily21to28(m_deviceType) ? GetKind() : 0) {
    case 4: case 7: case 13: case 16: case 17:
        return Format("%2.4f", m_record.coefficients[3]);
    default:
        return {};
    }
}

std::string CQorChannel::GetSensorModeText() const
{
    if (GetKind() == 5) {
        const int range = m_device != nullptr ? m_device->GetConductivityRange() : 0;
        return range == 11 ? "Conductivity, High Range" : range == 12 ? "Conductivity, Low Range" : "Conductivity";
    }
    if (GetKind() != 3) {
        return {};
    }
    return m_record.levelSetting == 0 ? "Absolute" : "Gauge";
}

std::string CQorChannel::GetLevelModeText() const
{
    if (GetKind() != 3) {
        return {};
    }
    static constexpr const char* kModes[] = {"Top-of-Casing", "Surface", "Pressure Head", "Depth"};
    return m_record.levelMode < 4 ? kModes[m_record.levelMode] : "";
}

std::string CQorChannel::GetLevelReferenceText() const
{
    if (GetKind() != 3 || m_record.levelMode == 2 || m_record.levelMode == 3) {
        return {};
    }
    return Format("%2.3f %s", ToDisplayUnits(m_record.levelReference), GetUnitsText().c_str());
}

std::string CQorChannel::GetWhenToReadText() const
{
    if (GetKind() != 3 || m_record.levelMode == 2 || m_record.levelMode == 3) {
        return {};
    }
    return m_record.whenToRead == 0 ? "Now" : "At Test Start";
}

std::string CQorChannel::GetSpecificGravityText() const
{
    if (GetKind() != 3 || m_record.levelMode == 2 || GetDensity() != 0.0) {
        return {};
    }
    return Format("%2.3f", m_record.specificGravity);
}

std::string CQorChannel::GetLocationText() const
{
    if (GetKind() != 3 || m_record.levelMode == 2 || GetDensity() == 0.0) {
        return {};
    }
    const int unit = GetDefaultUnits();
    if (unit == 1 || unit == 7) {
        return Format("%d %s / %2.3f ft", m_record.latitude, "degrees", m_record.elevation * 3.280839895013123);
    }
    return Format("%d %s / %2.3f m", m_record.latitude, "degrees", m_record.elevation);
}

std::string CQorChannel::GetDensityText() const
{
    if (GetKind() != 3 || m_record.levelMode == 2 || GetDensity() == 0.0) {
        return {};
    }
    return Format("%2.3f g/cm3", GetDensity());
}

std::string CQorChannel::GetPressureRangeText() const
{
    return GetKind() == 3 ? Format("%d psi", m_record.pressureRange) : std::string();
}

std::string CQorChannel::GetPortText() const
{
    const int port = GetPortGroup();
    return IsSonde() && port != 0 ? Format("%d", port) : std::string();
}

// ---- Calibration texts ----

std::string CQorChannel::GetCalSolutionName(int code)
{
    switch (code) {
    case 1: return "Custom Cal Solution";
    case 7: return "Continuous";
    case 8: return "Digital DO";
    case 9: return "Digital DO 2";
    case 10: return "Zobells";
    case 11: return "Quinhydrone pH-4";
    case 12: return "Quinhydrone pH-7";
    case 13: return "Quick Cal Solution pH7";
    case 20: return "3550 ppm CL";
    case 21: return "355 ppm CL";
    case 22: return "35.4 ppm CL";
    case 30: return "1400 ppm N";
    case 31: return "140 ppm N";
    case 32: return "14 ppm N";
    case 40: return "147 microSiemens/cm";
    case 41: return "1413 microSiemens/cm";
    case 42: return "12890 microSiemens/cm";
    case 43: return "58670 microSiemens/cm";
    default: return {};
    }
}

const CalSegment* CQorChannel::CalPoint(int point) const
{
    if (!IsSonde() || point < 0 || point >= static_cast<int>(m_record.segments.size())) {
        return nullptr;
    }
    return &m_record.segments[static_cast<size_t>(point)];
}

const CoeffPair* CQorChannel::CalPair(int segment) const
{
    if (!IsSonde() || segment < 0 || segment >= static_cast<int>(m_record.pairs.size())) {
        return nullptr;
    }
    return &m_record.pairs[static_cast<size_t>(segment)];
}

std::string CQorChannel::GetSensorDateText() const
{
    return IsSonde() ? DeviceDateText(m_record.sensorDate) : std::string();
}

std::string CQorChannel::GetSensorCountText() const
{
    return IsSonde() ? Format("%d", m_record.calibrationPointCount) : std::string();
}

std::string CQorChannel::GetCalTypeName() const
{
    return IsSonde() ? GetCalSolutionName(m_record.calibrationMode) : std::string();
}

std::string CQorChannel::GetCalPointSolutionName(int point) const
{
    const CalSegment* p = CalPoint(point);
    return p != nullptr ? GetCalSolutionName(p->code) : std::string();
}

std::string CQorChannel::TurbidityUnit() const
{
    if (g_unitCatalog == nullptr) {
        return "NTU";
    }
    const CQikProfDataUnits units(*g_unitCatalog);
    return units.GetCurrentUnit(22, -1) > 0 ? "FNU" : "NTU";
}

std::string CQorChannel::FormatCalStimulus(int point) const
{
    const CalSegment* p = CalPoint(point);
    if (p == nullptr) {
        return {};
    }
    const double v = p->standard;
    switch (GetKind()) {
    case 4: return Format("Stimulus = %0.2f pH", v);
    case 5: return Format("Stimulus = %g \xC2\xB5S/cm", v);
    case 7: return Format("Stimulus = %g mg/L", v);
    case 8: return Format("Stimulus = %g mV", v);
    case 13: case 16: case 17: return Format("Stimulus = %g ppm", v);
    case 22: return Format("Stimulus = %g %s", v, TurbidityUnit().c_str());
    default: return {};
    }
}

std::string CQorChannel::FormatCalResponse(int point) const
{
    const CalSegment* p = CalPoint(point);
    if (p == nullptr) {
        return {};
    }
    const double v = p->reading;
    switch (GetKind()) {
    case 4: case 8: case 13: case 16: case 17: return Format("Response = %g mV", v);
    case 5: return Format("Response = %g ohms", v);
    case 7: return Format("Response = %g nA", v);
    case 22: return Format("Response = %g %s", v, TurbidityUnit().c_str());
    default: return {};
    }
}

std::string CQorChannel::FormatCalTemperature(int point) const
{
    const CalSegment* p = CalPoint(point);
    return p != nullptr ? Format("Temperature = %g C", static_cast<double>(p->temperature)) : std::string();
}

std::string CQorChannel::FormatCalSlope(int segment) const
{
    const CoeffPair* pair = CalPair(segment);
    if (pair == nullptr) {
        return {};
    }
    const double v = pair->slope;
    switch (GetKind()) {
    case 4: return Format("Slope = %g mV/pH", 1.0 / v);
    case 5: return Format("Kcell = %g", v);
    case 7: return Format("Slope = %g nA/(mg/L)", 1.0 / v);
    case 13: case 16: case 17: return Format("Slope = %g mV/decade(ppm)", 1.0 / v);
    case 22: return Format("Slope = %g", v);
    default: return {};
    }
}

std::string CQorChannel::FormatCalOffset(int segment) const
{
    const CoeffPair* pair = CalPair(segment);
    if (pair == nullptr) {
        return {};
    }
    switch (GetKind()) {
    case 4: {
        CCalCoeffsPH model;
        model.ReadCalRecord(m_record);
        return Format("Offset = %g mV", segment == 0 ? model.GetOffset1(1) : model.GetOffset2(1));
    }
    case 7:
        return Format("Offset = %g nA", -static_cast<double>(pair->offset) / static_cast<double>(pair->slope));
    case 8: {
        CCalCoeffsORP model;
        model.ReadCalRecord(m_record);
        return Format("Offset = %g mV", model.GetOffset(1));
    }
    case 13: return Format("Offset = %g mV", CCalCoeffsNH4(m_record).GetOffset(1));
    case 16: return Format("Offset = %g mV", CCalCoeffsCl(m_record).GetOffset(1));
    case 17: return Format("Offset = %g mV", CCalCoeffsNO3(m_record).GetOffset(1));
    case 22: return Format("Offset = %g", static_cast<double>(pair->offset));
    default: return {};
    }
}

std::string CQorChannel::FormatCalBarometer() const
{
    if (!IsSonde() || GetKind() != 7) {
        return {};
    }
    const CalSegment& point = m_record.segments[5];
    if (point.code != kBarometricPointCode) {
        return "Barometric Pressure = (unavailable)";
    }
    const double psi = point.reading;
    if (g_unitCatalog != nullptr) {
        const CQikProfDataUnits units(*g_unitCatalog);
        const int unit = units.GetCurrentUnit(6, -1);
        double out = psi;
        if (unit >= 0 && ConvertUnits(psi, out, 6, 0, static_cast<int16_t>(unit), 0.0, 0.0) == 0) {
            return Format("Barometric Pressure = %g %s", out, CQikProfDataUnits::UnitLabelOf(6, unit).c_str());
        }
    }
    return Format("Barometric Pressure = %g %s", psi * 68.94757, "mBar");
}

// ---- Optical oxygen sensor texts ----

namespace {

// The optical sensor's float array: the floats the texts show.
constexpr size_t kHdoPhaseCoefficients = 0;
constexpr size_t kHdoTemperatureCoefficients = 4;
constexpr size_t kHdoFoilCoefficients = 8;
constexpr int kHdoFoilGroups = 5;
constexpr size_t kHdoFixedSalinity = 28;
constexpr size_t kHdoSaturationPhase = 29;
constexpr size_t kHdoSaturationTemperature = 30;
constexpr size_t kHdoSaturationBarometer = 31;
constexpr size_t kHdoZeroPhase = 32;
constexpr size_t kHdoZeroTemperature = 33;
// The third coefficient set's floats.
constexpr size_t kHdoSaturationMgL = 0;
constexpr size_t kHdoSaturationTempC = 1;
constexpr size_t kHdoSaturationMbar = 2;
constexpr size_t kHdoZeroMgL = 3;
constexpr size_t kHdoZeroTempC = 4;
constexpr size_t kHdoCalSlope = 5;
constexpr size_t kHdoCalOffset = 6;
// The foil change date sits in the stored record image where the sixth point's code and
// stimulus are; a date read from a device record starts four bytes into that record.
constexpr size_t kFoilChangeDateImageOffset = 220;
// Barometric unit of the stored saturation point (millibar).
constexpr int16_t kBarometricMillibar = 3;
// 1970-01-01 00:00:00 as a day count, the base of the sensor's dates in seconds.
const wv::OleDateTime kSecondsEpoch(1970, 1, 1, 0, 0, 0);

std::string DateText(const wv::OleDateTime& date)
{
    return date.IsValid() ? date.Format(wv::LocaleDateFormat()) : std::string();
}

// Seconds since 1970-01-01 as a date in the user's date form.
std::string SecondsDateText(uint32_t seconds)
{
    return DateText(wv::OleDateTime(kSecondsEpoch.GetValue() + static_cast<double>(seconds) / 86400.0));
}

std::string FourCoefficients(const std::array<float, 34>& values, size_t first)
{
    return Format("( %0.5e , %0.5e , %0.5e , %0.5e )", static_cast<double>(values[first]),
                  static_cast<double>(values[first + 1]), static_cast<double>(values[first + 2]),
                  static_cast<double>(values[first + 3]));
}

} // namespace

std::string CQorChannel::GetHdoSensorModelText() const
{
    return m_device != nullptr ? Format("%d", m_device->GetDataWriter().GetSensorConfig().word1) : std::string();
}

std::string CQorChannel::GetHdoSensorFirmwareText() const
{
    return m_device != nullptr
               ? Format("%0.2f", static_cast<double>(m_device->GetDataWriter().GetSensorConfig().values3[0]))
               : std::string();
}

std::string CQorChannel::GetHdoAdapterFirmwareText() const
{
    return m_device != nullptr ? Format("%0.2f", GetHdoAdapterFirmwareVersion()) : std::string();
}

double CQorChannel::GetHdoAdapterFirmwareVersion() const
{
    return m_device != nullptr ? static_cast<double>(m_device->GetDataWriter().GetSensorConfig().value0) : 0.0;
}

namespace {
std::string ConfigFloat(const CQorDevice* device, const char* format, size_t index)
    __attribute__((format(printf, 2, 0)));
std::string ConfigFloat(const CQorDevice* device, const char* format, size_t index)
{
    if (device == nullptr) {
        return {};
    }
    const double value = device->GetDataWriter().GetSensorConfig().values34[index];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return Format(format, value);
#pragma GCC diagnostic pop
}
} // namespace

std::string CQorChannel::FormatHdoSaturationPhase() const
{
    return ConfigFloat(m_device, "Optical Phase = %0.2f degrees", kHdoSaturationPhase);
}

std::string CQorChannel::FormatHdoSaturationTemperature() const
{
    return ConfigFloat(m_device, "Temperature = %0.2f C", kHdoSaturationTemperature);
}

std::string CQorChannel::FormatHdoSaturationBarometer() const
{
    if (m_device == nullptr) {
        return {};
    }
    const double mbar = m_device->GetDataWriter().GetSensorConfig().values34[kHdoSaturationBarometer];
    if (g_unitCatalog != nullptr) {
        const CQikProfDataUnits units(*g_unitCatalog);
        const int unit = units.GetCurrentUnit(6, -1);
        double out = mbar;
        if (unit >= 0 &&
            ConvertUnits(mbar, out, 6, kBarometricMillibar, static_cast<int16_t>(unit), 0.0, 0.0) == 0) {
            return Format("Barometric Pressure = %0.2f %s", out, CQikProfDataUnits::UnitLabelOf(6, unit).c_str());
        }
    }
    return Format("Barometric Pressure = %0.2f %s", mbar, "mBar");
}

std::string CQorChannel::FormatHdoZeroPhase() const
{
    return ConfigFloat(m_device, "Optical Phase = %0.2f degrees", kHdoZeroPhase);
}

std::string CQorChannel::FormatHdoZeroTemperature() const
{
    return ConfigFloat(m_device, "Temperature = %0.2f C", kHdoZeroTemperature);
}

std::string CQorChannel::FormatHdoFixedSalinity() const
{
    return ConfigFloat(m_device, "%0.2f PSU", kHdoFixedSalinity);
}

std::string CQorChannel::FormatHdoPhaseCoefficients() const
{
    return m_device != nullptr
               ? FourCoefficients(m_device->GetDataWriter().GetSensorConfig().values34, kHdoPhaseCoefficients)
               : std::string();
}

std::string CQorChannel::FormatHdoTemperatureCoefficients() const
{
    return m_device != nullptr
               ? FourCoefficients(m_device->GetDataWriter().GetSensorConfig().values34, kHdoTemperatureCoefficients)
               : std::string();
}

std::string CQorChannel::FormatHdoFoilCoefficients(int group) const
{
    if (m_device == nullptr || group < 0 || group >= kHdoFoilGroups) {
        return {};
    }
    return FourCoefficients(m_device->GetDataWriter().GetSensorConfig().values34,
                            kHdoFoilCoefficients + 4 * static_cast<size_t>(group));
}

std::string CQorChannel::GetHdoFoilBatchText() const
{
    return m_device != nullptr ? Format("%d", m_device->GetDataWriter().GetSensorConfig().word2) : std::string();
}

std::string CQorChannel::GetHdoFoilChangeDateText() const
{
    if (!IsSonde()) {
        return {};
    }
    const auto image = ChannelDefinitionToImage(m_record);
    DeviceTime date;
    BuildDeviceTimeRecord(
        date, std::span<const uint8_t>(image).subspan(kFoilChangeDateImageOffset - kDeviceTimeRecordOffset));
    const wv::OleDateTime when(date.year, date.month, date.day, date.hour, date.minute, date.second);
    return when.IsValid() ? DateText(when) : "Unknown";
}

std::string CQorChannel::GetHdoProbeSerialText() const
{
    return m_device != nullptr ? Format("%u", m_device->GetDataWriter().GetCalCoefficients1().value1)
                               : std::string();
}

std::string CQorChannel::GetHdoProbeMfgDateText() const
{
    return m_device != nullptr ? SecondsDateText(m_device->GetDataWriter().GetCalCoefficients1().value2)
                               : std::string();
}

std::string CQorChannel::GetHdoProbeFirmwareText() const
{
    return m_device != nullptr ? Format("%d", m_device->GetDataWriter().GetCalCoefficients1().value3)
                               : std::string();
}

std::string CQorChannel::GetHdoProbeSalinityText() const
{
    return m_device != nullptr
               ? Format("%0.2f psu", static_cast<double>(m_device->GetDataWriter().GetCalCoefficients1().value5))
               : std::string();
}

std::string CQorChannel::GetHdoCapSerialText() const
{
    return m_device != nullptr ? Format("%u", m_device->GetDataWriter().GetCalCoefficients2().values[0])
                               : std::string();
}

std::string CQorChannel::GetHdoCapMfgDateText() const
{
    return m_device != nullptr ? SecondsDateText(m_device->GetDataWriter().GetCalCoefficients2().values[1])
                               : std::string();
}

std::string CQorChannel::GetHdoCapExpiryDateText() const
{
    return m_device != nullptr ? SecondsDateText(m_device->GetDataWriter().GetCalCoefficients2().values[3])
                               : std::string();
}

namespace {
std::string CalSet3Float(const CQorDevice* device, const char* format, size_t index)
    __attribute__((format(printf, 2, 0)));
std::string CalSet3Float(const CQorDevice* device, const char* format, size_t index)
{
    if (device == nullptr) {
        return {};
    }
    const double value = device->GetDataWriter().GetCalCoefficients3().values[index];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return Format(format, value);
#pragma GCC diagnostic pop
}
} // namespace

std::string CQorChannel::FormatHdoSaturationMgL() const
{
    return CalSet3Float(m_device, "%0.2f mg/l", kHdoSaturationMgL);
}

std::string CQorChannel::FormatHdoSaturationTempC() const
{
    return CalSet3Float(m_device, "%0.2f \xC2\xB0" "C", kHdoSaturationTempC);
}

std::string CQorChannel::FormatHdoSaturationMbar() const
{
    return CalSet3Float(m_device, "%0.2f mbar", kHdoSaturationMbar);
}

std::string CQorChannel::FormatHdoZeroMgL() const
{
    return CalSet3Float(m_device, "%0.2f mg/l", kHdoZeroMgL);
}

std::string CQorChannel::FormatHdoZeroTempC() const
{
    return CalSet3Float(m_device, "%0.2f \xC2\xB0" "C", kHdoZeroTempC);
}

std::string CQorChannel::FormatHdoCalSlope() const
{
    return CalSet3Float(m_device, "%0.2f (mg/l) / (mg/l)", kHdoCalSlope);
}

std::string CQorChannel::FormatHdoCalOffset() const
{
    return CalSet3Float(m_device, "%0.2f mg/l", kHdoCalOffset);
}
