#include "comm/ValueSet.h"

#include "comm/DeviceImage.h"

#include <span>

namespace {

struct CatalogueEntry {
    const char* name;
    int32_t id;
};

// The start-up tables, in slot order.
constexpr CatalogueEntry kRawCatalogue[kRawParameters] = {
    {"RAW_TPCB", 100},
    {"RAW_TPXD", 101},
    {"RAW_BARO", 3},
    {"RAW_RTD", 1},
    {"RAW_PXD", 2},
    {"RAW_ISEA1", 11},
    {"RAW_ISEA2", 12},
    {"RAW_DOISE", 21},
    {"RAW_DO", 25},
    {"RAW_ISEB1", 31},
    {"RAW_ISEB2", 32},
    {"RAW_GISE1", 41},
    {"RAW_GISE2", 42},
    {"RAW_CONDLO", 146},
    {"RAW_CONDME", 147},
    {"RAW_CONDHI", 148},
    {"RAW_TURBLO", 150},
    {"RAW_TURBHI", 151},
    {"RAW_BATT_V", 5},
    {"RAW_HDO_DO", 160},
    {"RAW_HDO_TEMP", 161},
    {"RAW_HDO_BPHASE", 162},
    {"RAW_HDO_BAMP", 163},
    {"RAW_HDO_DO", 170},
    {"RAW_HDO_TEMP ", 171},
    {"RAW_HDO_DPHASE ", 172},
    {"RAW_HDO_EXCEPTION", 173},
    {"RAW_HDO_PHASE_DIAG_HIWORD", 174},
    {"RAW_HDO_PHASE_DIAG_LOWORD", 175},
    {"RAW_HDO_O2PP", 176},
    {"RAW_HDO_TEMP_COUNTS", 177},
    {"RAW_HDO_BLUE_PHASE", 180},
    {"RAW_HDO_BLUE_REF", 181},
    {"RAW_HDO_BLUE_AC_AMP", 182},
    {"RAW_HDO_BLUE_REF_AC_AMP", 183},
    {"RAW_HDO_BLUE_MAX_ABS", 184},
    {"RAW_HDO_BLUE_EXCEPTION", 185},
    {"RAW_HDO_RED_PHASE", 190},
    {"RAW_HDO_RED_REF", 191},
    {"RAW_HDO_RED_AC_AMP", 192},
    {"RAW_HDO_RED_REF_AC_AMP", 193},
    {"RAW_HDO_RED_MAX_ABS", 194},
    {"RAW_HDO_RED_EXCEPTION", 195},
};

constexpr CatalogueEntry kCookedCatalogue[kCookedParameters] = {
    {"COOKED_TPCB", 100},
    {"COOKED_TPXD", 101},
    {"COOKED_BARO", 3},
    {"COOKED_RTD", 1},
    {"COOKED_PXD", 2},
    {"COOKED_ISEA1", 11},
    {"COOKED_ISEA2", 12},
    {"COOKED_DOISE", 21},
    {"COOKED_DO", 25},
    {"COOKED_ISEB1", 31},
    {"COOKED_ISEB2", 32},
    {"COOKED_GISE1", 41},
    {"COOKED_GISE2", 42},
    {"COOKED_CONDLO", 146},
    {"COOKED_CONDME", 147},
    {"COOKED_CONDHI", 148},
    {"COOKED_TURBLO", 150},
    {"COOKED_TURBHI", 151},
    {"COOKED_BATT_V", 5},
    {"COOKED_HDO_DO", 160},
    {"COOKED_HDO_TEMP", 161},
    {"COOKED_HDO_BPHASE", 162},
    {"COOKED_HDO_BAMP", 163},
    {"COOKED_HDO_DO", 170},
    {"COOKED_HDO_TEMP", 171},
    {"COOKED_HDO_DPHASE", 172},
    {"COOKED_HDO_EXCEPTION", 173},
    {"COOKED_HDO_PHASE_DIAG_HIWORD", 174},
    {"COOKED_HDO_PHASE_DIAG_LOWORD", 175},
    {"COOKED_HDO_O2PP", 176},
    {"COOKED_HDO_TEMP_COUNTS", 177},
    {"COOKED_HDO_BLUE_PHASE", 180},
    {"COOKED_HDO_BLUE_REF", 181},
    {"COOKED_HDO_BLUE_AC_AMP", 182},
    {"COOKED_HDO_BLUE_REF_AC_AMP", 183},
    {"COOKED_HDO_BLUE_MAX_ABS", 184},
    {"COOKED_HDO_BLUE_EXCEPTION", 185},
    {"COOKED_HDO_RED_PHASE", 190},
    {"COOKED_HDO_RED_REF\t", 191},
    {"COOKED_HDO_RED_AC_AMP", 192},
    {"COOKED_HDO_RED_REF_AC_AMP", 193},
    {"COOKED_HDO_RED_MAX_ABS", 194},
    {"COOKED_HDO_RED_EXCEPTION", 195},
};

constexpr CatalogueEntry kBaseCatalogue[kBaseParameters] = {
    {"BASE_TIMESTAMP", 99},
    {"BASE_RTD", 1},
    {"BASE_PXD", 2},
    {"BASE_BARO", 3},
    {"BASE_TURB", 4},
    {"BASE_ISEA1", 11},
    {"BASE_ISEA2", 12},
    {"BASE_DOISE", 21},
    {"BASE_DO", 25},
    {"BASE_ISEB1", 31},
    {"BASE_ISEB2", 32},
    {"BASE_GISE1", 41},
    {"BASE_GISE2", 42},
    {"BASE_COND", 45},
    {"BASE_BATT_V", 5},
    {"BASE_HDO_DO", 160},
    {"BASE_HDO_TEMP", 161},
    {"BASE_HDO_BPHASE", 162},
    {"BASE_HDO_BAMP", 163},
    {"BASE_HDO_DO", 170},
    {"BASE_HDO_TEMP", 171},
    {"BASE_HDO_DPHASE", 172},
    {"BASE_HDO_EXCEPTION", 173},
    {"BASE_HDO_PHASE_DIAG_HIWORD", 174},
    {"BASE_HDO_PHASE_DIAG_LOWORD", 175},
    {"BASE_HDO_O2PP", 176},
    {"BASE_HDO_TEMP_COUNTS", 177},
    {"BASE_HDO_BLUE_PHASE", 180},
    {"BASE_HDO_BLUE_REF", 181},
    {"BASE_HDO_BLUE_AC_AMP", 182},
    {"BASE_HDO_BLUE_REF_AC_AMP", 183},
    {"BASE_HDO_BLUE_MAX_ABS", 184},
    {"BASE_HDO_BLUE_EXCEPTION", 185},
    {"BASE_HDO_RED_PHASE", 190},
    {"BASE_HDO_RED_REF\t", 191},
    {"BASE_HDO_RED_AC_AMP", 192},
    {"BASE_HDO_RED_REF_AC_AMP", 193},
    {"BASE_HDO_RED_MAX_ABS", 194},
    {"BASE_HDO_RED_EXCEPTION", 195},
};

constexpr CatalogueEntry kUserCatalogue[kUserParameters] = {
    {"USER_TIMESTAMP", 99},
    {"USER_RTD", 1},
    {"USER_PXD", 2},
    {"USER_BARO", 3},
    {"USER_TURB", 4},
    {"USER_ISEA1", 11},
    {"USER_ISEA2", 12},
    {"USER_DOISE", 21},
    {"USER_DO", 25},
    {"USER_ISEB1", 31},
    {"USER_ISEB2", 32},
    {"USER_GISE1", 41},
    {"USER_GISE2", 42},
    {"USER_COND", 45},
    {"USER_BATT_V", 5},
    {"USER_HDO_DO", 160},
    {"USER_HDO2_DO", 170},
};

std::span<const CatalogueEntry> Catalogue(int kind)
{
    switch (kind) {
    case kValueSetRaw: return kRawCatalogue;
    case kValueSetCooked: return kCookedCatalogue;
    case kValueSetBase: return kBaseCatalogue;
    case kValueSetUser: return kUserCatalogue;
    default: return {};
    }
}

// Slots a set of a kind may have.
int SlotLimit(int kind) { return static_cast<int>(Catalogue(kind).size()); }

} // namespace

// ---- CValueSet ---------------------------------------------------------------------------

void CValueSet::Build(int kind)
{
    Clear();
    const std::span<const CatalogueEntry> table = Catalogue(kind);
    if (table.empty()) {
        return;
    }
    m_kind = kind;
    for (const CatalogueEntry& entry : table) {
        const int slot = static_cast<int>(m_names.size());
        m_names.emplace_back(entry.name);
        m_ids.push_back(entry.id);
        m_types.push_back(kParameterTypeUnset);
        m_used.push_back(0);
        m_slotById[entry.id] = slot;
        // A name that occurs twice maps to its later slot.
        m_slotByName[entry.name] = slot;
    }
}

void CValueSet::Clear()
{
    m_kind = kValueSetCleared;
    m_names.clear();
    m_ids.clear();
    m_types.clear();
    m_used.clear();
    m_slotById.clear();
    m_slotByType.clear();
    m_slotByName.clear();
}

bool CValueSet::IsValidSlot(int slot) const
{
    return slot >= 0 && slot < SlotLimit(m_kind) && slot < Size();
}

bool CValueSet::GetName(int slot, std::string& name) const
{
    if (!IsValidSlot(slot)) {
        return false;
    }
    name = m_names[static_cast<size_t>(slot)];
    return true;
}

bool CValueSet::GetNameById(int32_t id, std::string& name) const
{
    int slot = 0;
    return FindSlotById(id, slot) && GetName(slot, name);
}

bool CValueSet::FindSlot(const std::string& name, int& slot) const
{
    const auto it = m_slotByName.find(name);
    if (it == m_slotByName.end() || !IsValidSlot(it->second)) {
        return false;
    }
    slot = it->second;
    return true;
}

int32_t CValueSet::GetIdByName(const std::string& name) const
{
    int slot = 0;
    return FindSlot(name, slot) ? GetIdAt(slot) : -1;
}

int32_t CValueSet::GetTypeByName(const std::string& name) const
{
    int slot = 0;
    return FindSlot(name, slot) ? GetTypeAt(slot) : kParameterTypeUnset;
}

int32_t CValueSet::GetUsedByName(const std::string& name) const
{
    int slot = 0;
    return FindSlot(name, slot) ? GetUsedAt(slot) : 0;
}

bool CValueSet::SetType(const std::string& name, int32_t type)
{
    int slot = 0;
    return FindSlot(name, slot) && SetTypeAt(slot, type);
}

bool CValueSet::SetUsed(const std::string& name, int32_t used)
{
    int slot = 0;
    return FindSlot(name, slot) && SetUsedAt(slot, used);
}

bool CValueSet::FindSlotById(int32_t id, int& slot) const
{
    const auto it = m_slotById.find(id);
    if (it == m_slotById.end() || !IsValidSlot(it->second)) {
        return false;
    }
    slot = it->second;
    return true;
}

bool CValueSet::FindSlotByType(int32_t type, int& slot) const
{
    const auto it = m_slotByType.find(type);
    if (it == m_slotByType.end() || !IsValidSlot(it->second)) {
        return false;
    }
    slot = it->second;
    return true;
}

int32_t CValueSet::GetIdAt(int slot) const { return IsValidSlot(slot) ? m_ids[static_cast<size_t>(slot)] : -1; }

int32_t CValueSet::GetTypeAt(int slot) const
{
    return IsValidSlot(slot) ? m_types[static_cast<size_t>(slot)] : kParameterTypeUnset;
}

int32_t CValueSet::GetUsedAt(int slot) const { return IsValidSlot(slot) ? m_used[static_cast<size_t>(slot)] : 0; }

bool CValueSet::SetTypeAt(int slot, int32_t type)
{
    if (!IsValidSlot(slot)) {
        return false;
    }
    m_types[static_cast<size_t>(slot)] = type;
    m_slotByType[type] = slot;
    return true;
}

bool CValueSet::SetUsedAt(int slot, int32_t used)
{
    if (!IsValidSlot(slot)) {
        return false;
    }
    m_used[static_cast<size_t>(slot)] = used;
    return true;
}

// ---- CDeviceReading ----------------------------------------------------------------------

CDeviceReading::CDeviceReading(CDeviceImage* owner) : m_owner(owner) {}

bool CDeviceReading::SetTimestamp(double julianDay)
{
    m_timestamp = julianDay;
    return true;
}

bool CDeviceReading::GetTimestamp(double& julianDay) const
{
    julianDay = m_timestamp;
    return true;
}

uint16_t CDeviceReading::GetRawValueAt(int slot) const
{
    return slot >= 0 && slot < kRawParameters ? m_raw[static_cast<size_t>(slot)] : 0;
}

bool CDeviceReading::SetRawValueAt(int slot, uint16_t value)
{
    if (slot < 0 || slot >= kRawParameters) {
        return false;
    }
    m_raw[static_cast<size_t>(slot)] = value;
    if (m_owner != nullptr) {
        m_owner->GetValueSet(kValueSetRaw)->SetUsedAt(slot, 1);
    }
    return true;
}

bool CDeviceReading::SetRawValue(const std::string& name, uint16_t value)
{
    if (m_owner == nullptr) {
        return false;
    }
    int slot = 0;
    if (!m_owner->GetValueSet(kValueSetRaw)->FindSlot(name, slot)) {
        return false;
    }
    return SetRawValueAt(slot, value);
}

bool CDeviceReading::GetRawValue(const std::string& name, uint16_t& value) const
{
    value = 0;
    if (m_owner == nullptr) {
        return false;
    }
    const CValueSet* raw = m_owner->GetValueSet(kValueSetRaw);
    int slot = 0;
    if (!raw->FindSlot(name, slot) || raw->GetUsedAt(slot) == 0) {
        return false;
    }
    value = m_raw[static_cast<size_t>(slot)];
    return true;
}

bool CDeviceReading::GetComputed(int kind, const std::vector<double>& values, const std::string& name,
                                 double& value) const
{
    value = 0.0;
    if (m_owner == nullptr) {
        return false;
    }
    const CValueSet* set = m_owner->GetValueSet(kind);
    int slot = 0;
    if (!set->FindSlot(name, slot) || set->GetUsedAt(slot) == 0 || static_cast<size_t>(slot) >= values.size()) {
        return false;
    }
    value = values[static_cast<size_t>(slot)];
    return true;
}

bool CDeviceReading::GetCookedValue(const std::string& name, double& value) const
{
    return GetComputed(kValueSetCooked, m_cooked, name, value);
}

bool CDeviceReading::GetBaseValue(const std::string& name, double& value) const
{
    return GetComputed(kValueSetBase, m_base, name, value);
}

bool CDeviceReading::GetUserValue(const std::string& name, double& value) const
{
    return GetComputed(kValueSetUser, m_user, name, value);
}
