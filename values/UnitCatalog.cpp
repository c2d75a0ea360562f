#include "values/UnitCatalog.h"

#include "platform/LocaleCountry.h"

#include <cstring>
#include <new>

// ---------------------------------------------------------------------------
// Texts

size_t CUnitNamedItem::StoreText(std::optional<std::string>& field, const char* text)
{
    field.reset();
    if (!text)
        return 0;
    try {
        field.emplace(text);
    } catch (const std::bad_alloc&) {
        field.reset();
        return 0;
    }
    return field->size() + 1;
}

size_t CUnitNamedItem::CopyText(const std::optional<std::string>& field, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    std::string_view text = field ? std::string_view(*field) : std::string_view();
    size_t n = text.size();
    if (n > size - 1) {
        n = size - 1;
        // Never end inside a UTF-8 sequence: step back over continuation bytes to the
        // lead byte of the character that does not fit.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    if (n > 0)
        std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n + 1;
}

void CUnitNamedItem::SetName(const char* text)
{
    StoreText(m_name, text);
}

size_t CUnitNamedItem::GetName(char* buffer, size_t size) const
{
    return CopyText(m_name, buffer, size);
}

void CUnitEntry::SetAbbrev(const char* text)
{
    StoreText(m_abbrev, text);
}

void CUnitEntry::SetFormat(const char* text)
{
    StoreText(m_format, text);
}

size_t CUnitEntry::SetShortFormat(const char* text)
{
    return StoreText(m_shortFormat, text);
}

size_t CUnitEntry::GetAbbrev(char* buffer, size_t size) const
{
    return CopyText(m_abbrev, buffer, size);
}

size_t CUnitEntry::GetFormat(char* buffer, size_t size) const
{
    return CopyText(m_format, buffer, size);
}

size_t CUnitEntry::GetShortFormat(char* buffer, size_t size) const
{
    return CopyText(m_shortFormat, buffer, size);
}

// ---------------------------------------------------------------------------
// Categories

CUnitEntry* CUnitCategory::AddUnit(uint8_t id, const char* name, const char* abbrev, const char* format,
                                   const char* shortFormat)
{
    for (int slot = 0; slot < kUnitSlots; ++slot) {
        if (m_units[slot])
            continue;
        auto entry = std::make_unique<CUnitEntry>(id);
        entry->SetName(name);
        entry->SetAbbrev(abbrev);
        entry->SetFormat(format);
        entry->SetShortFormat(shortFormat);
        m_units[slot] = std::move(entry);
        if (slot == 0)
            m_current = m_units[0].get();
        return m_units[slot].get();
    }
    return nullptr;
}

CUnitEntry* CUnitCategory::SelectUnit(uint8_t id)
{
    CUnitEntry* unit = FindUnit(id);
    if (unit)
        m_current = unit;
    return unit;
}

CUnitEntry* CUnitCategory::SelectUnitByIndex(int index)
{
    if (index < 0 || index >= kUnitSlots || !m_units[index])
        return nullptr;
    m_current = m_units[index].get();
    return m_current;
}

CUnitEntry* CUnitCategory::FindUnit(uint8_t id)
{
    return const_cast<CUnitEntry*>(static_cast<const CUnitCategory*>(this)->FindUnit(id));
}

const CUnitEntry* CUnitCategory::FindUnit(uint8_t id) const
{
    for (const auto& unit : m_units) {
        if (!unit)
            break;
        if (unit->GetId() == id)
            return unit.get();
    }
    return nullptr;
}

CUnitEntry* CUnitCategory::FirstUnit()
{
    m_iterator = 0;
    return m_units[0].get();
}

CUnitEntry* CUnitCategory::NextUnit()
{
    if (m_iterator < kUnitSlots)
        ++m_iterator;
    return m_iterator < kUnitSlots ? m_units[m_iterator].get() : nullptr;
}

// ---------------------------------------------------------------------------
// Default units

uint8_t GetBaseDefaultUnitId(UnitCategoryId categoryId)
{
    switch (categoryId) {
    case kUnitCategoryTextReportFormat:
    case kUnitCategoryCalendarDate:
    case kUnitCategoryTimeOfDay:
    case kUnitCategoryUserDefined:
    case kUnitCategoryTemperature:
    case kUnitCategoryPressure:
    case kUnitCategoryPH:
    case kUnitCategoryConductivity:
    case kUnitCategoryDissolvedOxygen:
    case kUnitCategoryDataFileView:
        return 0;
    case kUnitCategoryElapsedTime:
    case kUnitCategoryBarometricPressure:
    case kUnitCategoryORP:
    case kUnitCategoryTurbidity:
    case kUnitCategoryLowFlow:
        return 1;
    case kUnitCategoryLevelDepth:
    case 13: // not a category of the catalogue, yet it has a base default
        return 2;
    default:
        return categoryId;
    }
}

uint8_t GetUsDefaultUnitId(UnitCategoryId categoryId)
{
    switch (categoryId) {
    case kUnitCategoryTemperature:
        return 1; // Fahrenheit
    case kUnitCategoryPressure:
        return 0; // PSI
    case kUnitCategoryBarometricPressure:
        return 1; // Inches Hg
    case kUnitCategoryLevelDepth:
        return 1; // Feet
    default:
        return kNoDefaultUnit;
    }
}

uint8_t GetMetricDefaultUnitId(UnitCategoryId categoryId)
{
    switch (categoryId) {
    case kUnitCategoryTemperature:
        return 0; // Celsius
    case kUnitCategoryPressure:
        return 3; // kPa
    case kUnitCategoryBarometricPressure:
        return 2; // Bars
    case kUnitCategoryLevelDepth:
        return 2; // Meters
    default:
        return kNoDefaultUnit;
    }
}

// ---------------------------------------------------------------------------
// The catalogue

namespace {

struct UnitRow {
    uint8_t id;
    const char* name;
    const char* abbrev;
    const char* format;
    const char* shortFormat;
};

struct CategoryRow {
    UnitCategoryId id;
    const char* name;
    std::span<const UnitRow> units;
};

// The units of each category in the order they are added; the first is current
// until a default selects another.
constexpr UnitRow kDataFileView[] = {
    {0, "Text", "", "", ""},
    {1, "Graph", "", "", ""},
};
constexpr UnitRow kTextReportFormat[] = {
    {0, "Original", "", "", ""},
    {1, "Extended Device Info", "", "", ""},
    {2, "AutoData Export", "", "", ""},
};
constexpr UnitRow kCalendarDate[] = {
    {0, "mm/dd/yy (month/day/year)", "m/d/y", "%02d/%02d/%02d", "%02d/%02d/%02d"},
    {1, "dd/mm/yy (day/month/year)", "d/m/y", "%02d/%02d/%02d", "%02d/%02d/%02d"},
    {2, "yy/mm/dd (year/month/day)", "y/m/d", "%02d/%02d/%02d", "%02d/%02d/%02d"},
    {3, "mm/dd/yyyy (month/day/year)", "m/d/y", "%02d/%02d/%04d", "%02d/%02d/%04d"},
    {4, "dd/mm/yyyy (day/month/year)", "d/m/y", "%02d/%02d/%04d", "%02d/%02d/%04d"},
    {5, "yyyy/mm/dd (year/month/day)", "y/m/d", "%04d/%02d/%02d", "%04d/%02d/%02d"},
};
constexpr UnitRow kTimeOfDay[] = {
    {0, "hh:mm:ss.hd", "h/m/s.h", "%02d:%02d:%02d.%02d", "%02d:%02d:%02d.%02d"},
    {1, "hh:mm:ss", "h/m/s", "%02d:%02d:%02d", "%02d:%02d:%02d"},
};
constexpr UnitRow kElapsedTime[] = {
    {0, "Seconds", "sec", "%12.1f", "%.2f"},
    {1, "Minutes", "min", "%12.4f", "%.4f"},
    {2, "Hours", "hr", "%12.4f", "%.4f"},
    {3, "Days", "day", "%12.4f", "%.4f"},
};
constexpr UnitRow kUserDefined[] = {
    {0, "Device Units", "", "%10.3f", "%.3f"},
};
constexpr UnitRow kTemperature[] = {
    {0, "Celsius", "C", "%10.2f", "%.2f"},
    {1, "Fahrenheit", "F", "%10.2f", "%.2f"},
};
constexpr UnitRow kPressure[] = {
    {3, "kPa", "kPa", "%10.3f", "%.3f"},
    {0, "PSI", "PSI", "%10.3f", "%.3f"},
};
constexpr UnitRow kLevelDepth[] = {
    {6, "Centimeters", "cm", "%10.3f", "%.3f"},
    {2, "Meters", "M", "%10.3f", "%.3f"},
    {7, "Inches", "in", "%10.3f", "%.3f"},
    {1, "Feet", "Ft", "%10.3f", "%.3f"},
};
constexpr UnitRow kConductivity[] = {
    {0, "microSiemens/cm Actual Conductivity", "uS", "%10.2f", "%.0f"},
    {1, "milliSiemens/cm Actual Conductivity", "mS", "%10.5f", "%.3f"},
    {2, "mg/L TDS", "TDS", "%10.2f", "%.2f"},
    {3, "PSU Salinity", "PSU", "%10.2f", "%.2f"},
    {4, "Kohms cm", "Kohms", "%10.3f", "%.2f"},
    {5, "microSiemens/cm Specific Conductivity", "uS", "%10.2f", "%.0f"},
};
constexpr UnitRow kPH[] = {
    {0, "pH", "pH", "%10.2f", "%.2f"},
};
constexpr UnitRow kTurbidity[] = {
    {1, "FNU", "FNU", "%10.1f", "%.1f"},
    {0, "NTU", "NTU", "%10.1f", "%.1f"},
};
constexpr UnitRow kBarometricPressure[] = {
    {3, "milliBars", "mbar", "%10.3f", "%.3f"},
    {2, "Bars", "Bar", "%10.3f", "%.3f"},
    {1, "Inches Hg", "\"Hg", "%10.3f", "%.3f"},
    {4, "cm", "cm", "%10.3f", "%.3f"},
    {5, "mm Hg", "mmHg", "%10.3f", "%.3f"},
    {0, "PSI", "PSI", "%10.3f", "%.3f"},
};
// The micro sign is U+00B5, two bytes in UTF-8.
constexpr UnitRow kDissolvedOxygen[] = {
    {1, "micrograms/L", "\u00b5g/L", "%5.0f", "%.0f"},
    {0, "milligrams/L", "mg/L", "%10.2f", "%.2f"},
    {2, "%Saturation", "%", "%10.4f", "%.1f"},
    {3, "microMoles/L", "\u00b5M/L", "%10.1f", "%.1f"},
};
constexpr UnitRow kDOPercentSat[] = {
    {2, "%Saturation", "%", "%10.4f", "%.1f"},
};
constexpr UnitRow kORP[] = {
    {0, "millivolts", "mV", "%5.0f", "%.0f"},
    {1, "Volts", "V", "%10.2f", "%.2f"},
};
constexpr UnitRow kPartsPerMillion[] = {
    {2, "ppm", "ppm", "%10.2f", "%.2f"},
};
constexpr UnitRow kLowFlow[] = {
    {0, "Metric", "metric", "", ""},
    {1, "English", "english", "", ""},
};
constexpr UnitRow kBatteryVoltage[] = {
    {1, "Volts", "V", "%10.3f", "%.3f"},
};

// The categories in slot order.
constexpr CategoryRow kCategories[] = {
    {kUnitCategoryDataFileView, "Data File View", kDataFileView},
    {kUnitCategoryTextReportFormat, "Text Report Format", kTextReportFormat},
    {kUnitCategoryCalendarDate, "Calendar Date", kCalendarDate},
    {kUnitCategoryTimeOfDay, "Time of Day", kTimeOfDay},
    {kUnitCategoryElapsedTime, "Elapsed Time", kElapsedTime},
    {kUnitCategoryUserDefined, "User-defined", kUserDefined},
    {kUnitCategoryTemperature, "Temperature", kTemperature},
    {kUnitCategoryPressure, "Pressure", kPressure},
    {kUnitCategoryLevelDepth, "Level/Depth", kLevelDepth},
    {kUnitCategoryConductivity, "Conductivity", kConductivity},
    {kUnitCategoryPH, "pH", kPH},
    {kUnitCategoryTurbidity, "Turbidity", kTurbidity},
    {kUnitCategoryBarometricPressure, "Barometric Pressure", kBarometricPressure},
    {kUnitCategoryDissolvedOxygen, "Dissolved Oxygen", kDissolvedOxygen},
    {kUnitCategoryDOPercentSat, "Dissolved Oxygen %Saturation", kDOPercentSat},
    {kUnitCategoryORP, "ORP", kORP},
    {kUnitCategoryNitrate, "Nitrate", kPartsPerMillion},
    {kUnitCategoryAmmonium, "Ammonium", kPartsPerMillion},
    {kUnitCategoryChloride, "Chloride", kPartsPerMillion},
    {kUnitCategoryLowFlow, "Lowvane", kLowFlow},
    {kUnitCategoryBatteryVoltage, "Battery Voltage", kBatteryVoltage},
};

static_assert(std::size(kCategories) <= kCategorySlots);

// The longest country code the catalogue reads.
constexpr size_t kCountryCodeChars = 6;

} // namespace

CUnitCatalog::CUnitCatalog() : CUnitCatalog(std::string_view(wv::LocaleCountryCode()).substr(0, kCountryCodeChars))
{
}

CUnitCatalog::CUnitCatalog(std::string_view countryCode)
{
    AddCategories();
    ApplyBaseDefaults();
    if (countryCode == "1")
        ApplyUsDefaults();
    else
        ApplyMetricDefaults();
}

CUnitCatalog::~CUnitCatalog() = default;

void CUnitCatalog::AddCategories()
{
    size_t slot = 0;
    for (const CategoryRow& row : kCategories) {
        auto category = std::make_unique<CUnitCategory>(row.id);
        category->SetName(row.name);
        for (const UnitRow& unit : row.units)
            category->AddUnit(unit.id, unit.name, unit.abbrev, unit.format, unit.shortFormat);
        m_categories[slot++] = std::move(category);
    }
}

CUnitCategory* CUnitCatalog::FindCategory(UnitCategoryId id)
{
    return const_cast<CUnitCategory*>(static_cast<const CUnitCatalog*>(this)->FindCategory(id));
}

const CUnitCategory* CUnitCatalog::FindCategory(UnitCategoryId id) const
{
    for (const auto& category : m_categories) {
        if (!category)
            break;
        if (category->GetId() == id)
            return category.get();
    }
    return nullptr;
}

int CUnitCatalog::GetCategoryCount() const
{
    int count = 0;
    while (count < kCategorySlots && m_categories[count])
        ++count;
    return count;
}

CUnitCategory* CUnitCatalog::FirstCategory()
{
    m_iterator = 0;
    return m_categories[0].get();
}

CUnitCategory* CUnitCatalog::NextCategory()
{
    if (m_iterator < kCategorySlots)
        ++m_iterator;
    return m_iterator < kCategorySlots ? m_categories[m_iterator].get() : nullptr;
}

void CUnitCatalog::ApplyBaseDefaults()
{
    for (const auto& category : m_categories) {
        if (!category)
            break;
        category->SelectUnit(GetBaseDefaultUnitId(category->GetId()));
    }
}

void CUnitCatalog::ApplyUsDefaults()
{
    for (const auto& category : m_categories) {
        if (!category)
            break;
        uint8_t unit = GetUsDefaultUnitId(category->GetId());
        if (unit != kNoDefaultUnit)
            category->SelectUnit(unit);
    }
}

void CUnitCatalog::ApplyMetricDefaults()
{
    for (const auto& category : m_categories) {
        if (!category)
            break;
        uint8_t unit = GetMetricDefaultUnitId(category->GetId());
        if (unit != kNoDefaultUnit)
            category->SelectUnit(unit);
    }
}

std::vector<UnitChoicePair> CUnitCatalog::GetUnitChoices() const
{
    std::vector<UnitChoicePair> pairs;
    for (const auto& category : m_categories) {
        if (!category)
            break;
        const CUnitEntry* current = category->GetCurrentUnit();
        pairs.push_back({category->GetId(), current ? current->GetId() : kNoDefaultUnit});
    }
    return pairs;
}

size_t CUnitCatalog::RestoreUnitChoices(std::span<const UnitChoicePair> pairs)
{
    size_t selected = 0;
    for (const UnitChoicePair& pair : pairs) {
        CUnitCategory* category = FindCategory(pair.categoryId);
        if (category && category->SelectUnit(pair.unitId))
            ++selected;
    }
    return selected;
}

void CopyUnitChoices(const CUnitCatalog& source, CUnitCatalog& destination)
{
    destination.RestoreUnitChoices(source.GetUnitChoices());
}
