#include "datafiles/DataFileChannel.h"

#include "foundation/NumberText.h"
#include "values/UnitCatalog.h"
#include "values/UnitConversion.h"

#include <cmath>
#include <vector>

namespace {

constexpr const char* kSensorNames[] = {
    "Unknown",     "Generic",   "Temperature", "Pressure",   "pH",          "Conductivity", "Barometric",
    "Clark DO",    "ORP",       "TDS",         "Salinity",   "Resistivity", "Spec Cond",    "NH4",
    "NH3",         "ISE",       "CL",          "NO3",        "CA2",         "Fluoride",     "TDG",
    "Amb Light",   "Turbidity", "Transmissivity", "Chlorophyll", "Chlor Trans", "Wiper",    "Battery",
    "Korvant DO",  "Clark DO Sat", "Korvant DO Sat"};

constexpr size_t kNameBuffer = 128;
constexpr size_t kChannelNameLimit = 49;
constexpr double kFeetPerMetre = 3.280839895013123;
constexpr double kDefaultTemperature = 25.0;
constexpr double kStandardBarometricInHg = 29.92;

std::string CategoryName(const CUnitCategory* category)
{
    if (category == nullptr) {
        return {};
    }
    char buffer[kNameBuffer];
    category->GetName(buffer, sizeof(buffer));
    return buffer;
}

std::string CurrentUnitName(const CUnitCategory* category)
{
    if (category == nullptr || category->GetCurrentUnit() == nullptr) {
        return {};
    }
    char buffer[kNameBuffer];
    category->GetCurrentUnit()->GetName(buffer, sizeof(buffer));
    return buffer;
}

int CurrentUnitId(const CUnitCatalog& units, UnitCategoryId id)
{
    const CUnitCategory* category = units.FindCategory(id);
    if (category == nullptr || category->GetCurrentUnit() == nullptr) {
        return -1;
    }
    return category->GetCurrentUnit()->GetId();
}

bool IsSondeType(uint8_t deviceType) { return deviceType >= 30 && deviceType <= 40; }

} // namespace

const char* ChannelSensorName(uint8_t kind)
{
    return kind < std::size(kSensorNames) ? kSensorNames[kind] : kSensorNames[0];
}

uint8_t ChannelUnitCategoryId(uint8_t kind, uint8_t levelMode)
{
    switch (kind) {
    case 1:
        return kUnitCategoryUserDefined;
    case 2:
        return kUnitCategoryTemperature;
    case 3:
        return levelMode == 0 || levelMode == 1 || levelMode == 3 ? kUnitCategoryLevelDepth : kUnitCategoryPressure;
    case 4:
        return kUnitCategoryPH;
    case 5:
        return kUnitCategoryConductivity;
    case 6:
        return kUnitCategoryBarometricPressure;
    case 7:
    case 28:
        return kUnitCategoryDissolvedOxygen;
    case 8:
        return kUnitCategoryORP;
    case 13:
        return kUnitCategoryAmmonium;
    case 16:
        return kUnitCategoryChloride;
    case 17:
        return kUnitCategoryNitrate;
    case 22:
        return kUnitCategoryTurbidity;
    case 27:
        return kUnitCategoryBatteryVoltage;
    case 29:
    case 30:
        return kUnitCategoryDOPercentSat;
    default:
        return kUnitCategoryTextReportFormat;
    }
}

int ChannelPortNumber(uint8_t code)
{
    switch (code) {
    case 11:
    case 12:
    case 16:
    case 17:
        return 1;
    case 21:
    case 25:
        return 2;
    case 31:
    case 32:
    case 36:
    case 37:
        return 3;
    case 41:
    case 42:
    case 45:
        return 4;
    default:
        return 0;
    }
}

CDataFileChannel::CDataFileChannel(CUnitCatalog& units, CTestFileReader& reader,
                                   const ChannelDefinitionRecord& definition, const ChannelAccessRecord& access)
    : m_units(units), m_reader(reader), m_definition(definition), m_access(access)
{
    m_view.kind = definition.parameterType;
    m_view.levelMode = definition.levelMode;
    m_view.barometricMode = access.barometricMode;
    m_view.offset = definition.coefficients[0];
    m_view.scale = definition.coefficients[1];
    m_view.linearity = definition.coefficients[2];
    m_view.specificGravity = definition.specificGravity;
    m_view.levelReference = definition.levelReference;
    m_view.density = definition.density;
    m_view.elevation = definition.elevation;
    m_view.latitudeDegrees = definition.latitude;
    m_view.latitudeMinutes = definition.locationByte;
    RecomputeReferencePressure();
    m_shown = 1;
}

void CDataFileChannel::RecomputeReferencePressure() { m_referencePressure = m_reader.GetReferencePressure(*this); }

void CDataFileChannel::SetViewSettings(const ChannelViewSettings& settings)
{
    m_view = settings;
    RecomputeReferencePressure();
}

void CDataFileChannel::SetReferencePressure(double pressure)
{
    m_definition.referenceReading = pressure;
    RecomputeReferencePressure();
}

CUnitCategory* CDataFileChannel::GetUnitCategory() const { return m_units.FindCategory(GetUnitCategoryId()); }

uint8_t CDataFileChannel::GetUnitId() const
{
    const int id = CurrentUnitId(m_units, GetUnitCategoryId());
    return id < 0 ? 0 : static_cast<uint8_t>(id);
}

uint8_t CDataFileChannel::GetElapsedUnitId() const
{
    const int id = CurrentUnitId(m_units, kUnitCategoryElapsedTime);
    return id < 0 ? 0 : static_cast<uint8_t>(id);
}

std::string CDataFileChannel::GetCategoryName() const
{
    const UnitCategoryId id = m_view.kind == kParamLevel ? kUnitCategoryPressure : GetUnitCategoryId();
    return CategoryName(m_units.FindCategory(id));
}

std::string CDataFileChannel::GetUnitName() const
{
    const CUnitCategory* category = GetUnitCategory();
    std::string name = CurrentUnitName(category);
    if (category != nullptr && category->GetId() == kUnitCategoryLevelDepth &&
        CurrentUnitId(m_units, kUnitCategoryTextReportFormat) == 0) {
        const int unit = category->GetCurrentUnit() != nullptr ? category->GetCurrentUnit()->GetId() : -1;
        if (unit == 1 || unit == 2) {
            name += " H2O";
        }
    }
    return name;
}

double CDataFileChannel::ConvertToDisplay(double value, double temperature, double barometric,
                                          double salinity) const
{
    const CUnitCategory* category = GetUnitCategory();
    if (category == nullptr || category->GetCurrentUnit() == nullptr) {
        return value;
    }
    const auto to = static_cast<int16_t>(category->GetCurrentUnit()->GetId());
    if (m_view.kind == kParamLevel && m_view.density != 0.0) {
        double gravity = kStandardGravity;
        // A refused latitude or elevation (a damaged record) leaves standard gravity.
        if (ComputeLocalGravity(gravity, m_view.latitudeDegrees, m_view.elevation) != 0) {
            gravity = kStandardGravity;
        }
        double out = value;
        ConvertUnits(value, out, kParamLevel, 0, to, m_view.density, gravity);
        return out;
    }
    return ConvertUnitsEx(value, m_view.kind, m_access.kindFamily, to, static_cast<float>(temperature),
                          static_cast<float>(barometric), static_cast<float>(salinity));
}

std::string CDataFileChannel::FormatDisplay(double value) const
{
    return FormatCLocale("%8.3f", ConvertToDisplay(value, kDefaultTemperature, kStandardBarometricInHg, 0.0));
}

std::string CDataFileChannel::FormatLevelReference() const { return FormatDisplay(m_view.levelReference); }

std::string CDataFileChannel::FormatReferencePressure() const
{
    double value = m_referencePressure;
    const double sg = m_view.specificGravity;
    if (m_view.levelMode != 2 && m_view.density == 0.0 && std::isfinite(sg) && sg != 0.0) {
        value /= sg;
    }
    return FormatDisplay(value);
}

std::string CDataFileChannel::FormatBaroReference() const { return FormatDisplay(m_access.barometricReference); }

std::string CDataFileChannel::FormatName() const
{
    std::string label;
    if (IsCalibratedInput()) {
        label = FormatCLocale("%d : ", m_definition.channelNumber);
    } else if (GetPortNumber() != 0) {
        label = FormatCLocale("P%d : ", GetPortNumber());
    }
    const uint8_t code = m_definition.channelNumber;
    if (code == 16 || code == 36 || code == 17 || code == 37) {
        label += "Korvant ";
    }
    label += GetCategoryName();
    if (IsCalibratedInput()) {
        label += " - ";
        label += GetChannelName().substr(0, kChannelNameLimit);
    }
    return label;
}

bool CDataFileChannel::FormatInfo(int& lineCounter, int lineNumber, std::string& text) const
{
    std::vector<std::string> lines;
    const uint8_t deviceType = m_reader.GetDeviceType();
    const uint8_t kind = m_view.kind;
    lines.push_back(FormatCLocale("Channel number [%d]", m_definition.channelNumber));
    std::string measurement = GetCategoryName();
    if (IsSondeType(deviceType)) {
        if (kind == 5) {
            switch (m_reader.GetPortSensorType(4)) {
            case 8:
                measurement = "Conductivity";
                break;
            case 11:
                measurement = "Conductivity, High Range";
                break;
            case 12:
                measurement = "Conductivity, Low Range";
                break;
            default:
                measurement.clear();
                break;
            }
        } else if (kind == 28) {
            measurement = "Korvant Dissolved Oxygen";
        } else if (kind == 30) {
            measurement = "HDO %Saturation";
        }
    }
    lines.push_back("  Measurement type:\t" + measurement);
    lines.push_back("  Channel name:\t" + GetChannelName());
    if (deviceType == 3 || deviceType == 8) {
        lines.push_back(FormatCLocale("  Linearity:\t%10.7f", m_view.linearity));
        lines.push_back(FormatCLocale("  Scale:\t\t%10.7f", m_view.scale));
        lines.push_back(FormatCLocale("  Offset:\t\t%10.7f", m_view.offset));
        lines.push_back(FormatCLocale("  Warmup:\t\t%d", m_definition.warmUp));
    }
    if (kind == 28 || kind == 30) {
        lines.push_back(FormatCLocale("  Fixed Salinity(psu):\t%0.2f psu",
                                      m_reader.GetFixedSalinity(m_definition.channelNumber)));
    }
    if (kind == kParamLevel) {
        const uint8_t mode = m_view.levelMode;
        if (!IsCalibratedInput()) {
            lines.push_back(FormatCLocale("  Sensor Range:\t%3d PSI%s.", m_definition.pressureRange,
                                          m_definition.levelSetting != 0 ? "G" : "A"));
        }
        const double firmware = m_reader.GetFirmwareVersion();
        if (firmware > 1.52 || firmware < 0.01) {
            lines.push_back(FormatCLocale("  Sensor Offset:\t%0.3f psi", m_reader.GetPressureSensorOffset()));
        }
        if (mode == 0 || mode == 1 || mode == 3) {
            if (m_view.density != 0.0) {
                lines.push_back(FormatCLocale("  Density:\t\t%8.3f g/cm3", m_view.density));
                lines.push_back(FormatCLocale("  Latitude:\t%d degrees", m_view.latitudeDegrees));
                lines.push_back(FormatCLocale("  Elevation:\t%8.3f meters (%2.3f feet)", m_view.elevation,
                                              m_view.elevation * kFeetPerMetre));
            } else {
                lines.push_back(FormatCLocale("  Specific gravity:\t%8.3f", m_view.specificGravity));
            }
        }
        if (mode == 0 || mode == 1) {
            lines.push_back(mode == 0 ? "  Mode:\tTOC" : "  Mode:\tSurface");
            lines.push_back("  User-defined reference:\t" + FormatLevelReference() + "\t" + GetUnitName());
            lines.push_back(IsReferenceAtTestStart() ? "  Referenced on:\ttest start"
                                                     : "  Referenced on:\tchannel definition.");
            lines.push_back("  Pressure head at reference:\t" + FormatReferencePressure() + "\t" + GetUnitName());
        }
        if (m_view.barometricMode == 2) {
            if (CurrentUnitId(m_units, kUnitCategoryTextReportFormat) != 0) {
                lines.push_back("  Baro Reference:\t" + FormatBaroReference() + "\t" + GetUnitName());
            } else {
                lines.push_back(
                    FormatCLocale("  Baro Reference:\t%8.3f\tPSI", m_access.barometricReference));
            }
        }
    }
    lines.emplace_back();
    for (std::string& line : lines) {
        const int number = lineCounter++;
        if (number == lineNumber) {
            text = std::move(line);
            return true;
        }
    }
    return false;
}

int CDataFileChannel::ReadSample(uint32_t sampleNumber, CChannelSample& sample)
{
    sample.sampleNumber = sampleNumber;
    sample.SetChannel(this);
    return m_reader.GetValue(sample);
}
