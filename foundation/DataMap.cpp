#include "foundation/DataMap.h"

#include "foundation/StringUtils.h"

#include <array>
#include <cstdio>
#include <iterator>
#include <mutex>
#include <utility>

namespace {

// The type table: the names a settings file uses, by id.
constexpr std::array<std::string_view, kDataMapTypeCount> kTypeNames = {
    "UNKNOWN",       "CString",       "int",          "double",        "DWORD",
    "BOOL",          "UINT",          "long",         "float",         "short",
    "BYTE",          "COleDate",      "COleTime",     "COleDateTime",  "COleCurrency",
    "WORD",          "CStringArray",  "IntArray",     "DoubleArray",   "DWORDArray",
    "BOOLArray",     "UINTArray",     "LongArray",    "FloatArray",    "ShortArray",
    "BYTEArray",     "COleDateArray", "COleTimeArray", "COleDateTimeArray", "COleCurrencyArray",
    "WORDArray",     "RGB",           "CRect",        "CPoint",        "RGBArray",
    "CRectArray",    "CPointArray",
};

struct TypeNameMaps {
    std::map<std::string, std::string, std::less<>> idOfName; // name -> id text
    std::map<std::string, std::string, std::less<>> nameOfId; // id text -> name
};

std::once_flag g_typeNamesOnce;
TypeNameMaps* g_typeNames = nullptr;

const TypeNameMaps& TypeNames()
{
    InitTypeNameMaps();
    return *g_typeNames;
}

// Reads the value text of type into the variable at value; the reader's result
// as CDataMap::Get gives it.
int ReadValue(int type, const std::string& text, void* value, char separator)
{
    switch (type) {
    case kDataMapString:
        *static_cast<std::string*>(value) = text;
        return 1;
    case kDataMapInt:
        *static_cast<int32_t*>(value) = StrToInt(text);
        return 1;
    case kDataMapDouble:
        *static_cast<double*>(value) = StrToDouble(text);
        return 1;
    case kDataMapDword:
        *static_cast<uint32_t*>(value) = static_cast<uint32_t>(StrToLong(text));
        return 1;
    case kDataMapBool:
        *static_cast<int32_t*>(value) = StrToBool(text);
        return 1;
    case kDataMapUInt:
        *static_cast<uint32_t*>(value) = static_cast<uint32_t>(StrToInt(text));
        return 1;
    case kDataMapLong:
        *static_cast<int32_t*>(value) = StrToLong(text);
        return 1;
    case kDataMapFloat:
        *static_cast<float*>(value) = StrToFloat(text);
        return 1;
    case kDataMapShort:
        *static_cast<int16_t*>(value) = ParseShortValue(text);
        return 1;
    case kDataMapByte:
        *static_cast<uint8_t*>(value) = ParseByteValue(text);
        return 1;
    case kDataMapDate:
        return ParseDateValue(text, *static_cast<wv::OleDateTime*>(value));
    case kDataMapTime:
        return ParseTimeValue(text, *static_cast<wv::OleDateTime*>(value));
    case kDataMapDateTime:
        return ParseDateTimeValue(text, *static_cast<wv::OleDateTime*>(value));
    case kDataMapCurrency:
        return ParseCurrencyValue(text, *static_cast<wv::Currency*>(value));
    case kDataMapWord:
        *static_cast<uint16_t*>(value) = static_cast<uint16_t>(ParseShortValue(text));
        return 1;
    case kDataMapStringArray:
        return SplitList(text, *static_cast<std::vector<std::string>*>(value), separator);
    case kDataMapIntArray:
        return ParseIntArrayValue(text, *static_cast<std::vector<int32_t>*>(value), separator);
    case kDataMapDoubleArray:
        return ParseDoubleArrayValue(text, *static_cast<std::vector<double>*>(value), separator);
    case kDataMapDwordArray:
        return ParseDwordArrayValue(text, *static_cast<std::vector<uint32_t>*>(value), separator);
    case kDataMapBoolArray:
        return ParseBoolArrayValue(text, *static_cast<std::vector<int32_t>*>(value), separator);
    case kDataMapUIntArray:
        return ParseUIntArrayValue(text, *static_cast<std::vector<uint32_t>*>(value), separator);
    case kDataMapLongArray:
        return ParseLongArrayValue(text, *static_cast<std::vector<int32_t>*>(value), separator);
    case kDataMapFloatArray:
        return ParseFloatArrayValue(text, *static_cast<std::vector<float>*>(value), separator);
    case kDataMapShortArray:
        return ParseShortArrayValue(text, *static_cast<std::vector<int16_t>*>(value), separator);
    case kDataMapByteArray:
        return ParseByteArrayValue(text, *static_cast<std::vector<uint8_t>*>(value), separator);
    case kDataMapDateArray:
        return ParseDateArrayValue(text, *static_cast<std::vector<wv::OleDateTime>*>(value), separator);
    case kDataMapTimeArray:
        return ParseTimeArrayValue(text, *static_cast<std::vector<wv::OleDateTime>*>(value), separator);
    case kDataMapDateTimeArray:
        return ParseDateTimeArrayValue(text, *static_cast<std::vector<wv::OleDateTime>*>(value), separator);
    case kDataMapCurrencyArray:
        return ParseCurrencyArrayValue(text, *static_cast<std::vector<wv::Currency>*>(value), separator);
    case kDataMapWordArray:
        return ParseWordArrayValue(text, *static_cast<std::vector<uint16_t>*>(value), separator);
    case kDataMapColor:
        *static_cast<ColorRef*>(value) = ParseColorValue(text);
        return 1;
    case kDataMapRect:
        *static_cast<RectValue*>(value) = ParseRectValue(text);
        return 1;
    case kDataMapPoint:
        *static_cast<PointValue*>(value) = ParsePointValue(text);
        return 1;
    case kDataMapColorArray:
        return ParseColorArrayValue(text, *static_cast<std::vector<ColorRef>*>(value), separator);
    case kDataMapRectArray:
        return ParseRectArrayValue(text, *static_cast<std::vector<RectValue>*>(value), separator);
    case kDataMapPointArray:
        return ParsePointArrayValue(text, *static_cast<std::vector<PointValue>*>(value), separator);
    default:
        return 0;
    }
}

// Writes the variable at value as the text of type; false when a list element
// cannot be written.
bool WriteValue(int type, const void* value, std::string& text, char separator)
{
    switch (type) {
    case kDataMapString:
        text = *static_cast<const std::string*>(value);
        return true;
    case kDataMapInt:
        text = IntToStr(*static_cast<const int32_t*>(value));
        return true;
    case kDataMapDouble:
        text = DoubleToStr(*static_cast<const double*>(value));
        return true;
    case kDataMapDword:
        text = ULongToStr(*static_cast<const uint32_t*>(value));
        return true;
    case kDataMapBool:
        text = BoolToStr(*static_cast<const int32_t*>(value));
        return true;
    case kDataMapUInt:
        text = UIntToStr(*static_cast<const uint32_t*>(value));
        return true;
    case kDataMapLong:
        text = LongToStr(*static_cast<const int32_t*>(value));
        return true;
    case kDataMapFloat:
        text = FormatFloatValue(*static_cast<const float*>(value));
        return true;
    case kDataMapShort:
        text = FormatShortValue(*static_cast<const int16_t*>(value));
        return true;
    case kDataMapByte:
        text = FormatByteValue(*static_cast<const uint8_t*>(value));
        return true;
    case kDataMapDate:
        text = FormatDateValue(*static_cast<const wv::OleDateTime*>(value));
        return true;
    case kDataMapTime:
        text = FormatTimeValue(*static_cast<const wv::OleDateTime*>(value));
        return true;
    case kDataMapDateTime:
        text = FormatDateTimeValue(*static_cast<const wv::OleDateTime*>(value));
        return true;
    case kDataMapCurrency:
        text = FormatCurrencyValue(*static_cast<const wv::Currency*>(value));
        return true;
    case kDataMapWord:
        text = FormatWordValue(*static_cast<const uint16_t*>(value));
        return true;
    case kDataMapStringArray:
        return JoinList(*static_cast<const std::vector<std::string>*>(value), text, separator) >= 0;
    case kDataMapIntArray:
        return FormatIntArrayValue(*static_cast<const std::vector<int32_t>*>(value), text, separator) >= 0;
    case kDataMapDoubleArray:
        return FormatDoubleArrayValue(*static_cast<const std::vector<double>*>(value), text, separator) >= 0;
    case kDataMapDwordArray:
        return FormatDwordArrayValue(*static_cast<const std::vector<uint32_t>*>(value), text, separator) >= 0;
    case kDataMapBoolArray:
        return FormatBoolArrayValue(*static_cast<const std::vector<int32_t>*>(value), text, separator) >= 0;
    case kDataMapUIntArray:
        return FormatUIntArrayValue(*static_cast<const std::vector<uint32_t>*>(value), text, separator) >= 0;
    case kDataMapLongArray:
        return FormatLongArrayValue(*static_cast<const std::vector<int32_t>*>(value), text, separator) >= 0;
    case kDataMapFloatArray:
        return FormatFloatArrayValue(*static_cast<const std::vector<float>*>(value), text, separator) >= 0;
    case kDataMapShortArray:
        return FormatShortArrayValue(*static_cast<const std::vector<int16_t>*>(value), text, separator) >= 0;
    case kDataMapByteArray:
        return FormatByteArrayValue(*static_cast<const std::vector<uint8_t>*>(value), text, separator) >= 0;
    case kDataMapDateArray:
        return FormatDateArrayValue(*static_cast<const std::vector<wv::OleDateTime>*>(value), text, separator) >= 0;
    case kDataMapTimeArray:
        return FormatTimeArrayValue(*static_cast<const std::vector<wv::OleDateTime>*>(value), text, separator) >= 0;
    case kDataMapDateTimeArray:
        return FormatDateTimeArrayValue(*static_cast<const std::vector<wv::OleDateTime>*>(value), text,
                                        separator) >= 0;
    case kDataMapCurrencyArray:
        return FormatCurrencyArrayValue(*static_cast<const std::vector<wv::Currency>*>(value), text, separator) >=
               0;
    case kDataMapWordArray:
        return FormatWordArrayValue(*static_cast<const std::vector<uint16_t>*>(value), text, separator) >= 0;
    case kDataMapColor:
        text = FormatColorValue(*static_cast<const ColorRef*>(value));
        return true;
    case kDataMapRect: {
        const auto& r = *static_cast<const RectValue*>(value);
        text = FormatRectValue(r.left, r.top, r.right, r.bottom);
        return true;
    }
    case kDataMapPoint: {
        const auto& p = *static_cast<const PointValue*>(value);
        text = FormatPointValue(p.x, p.y);
        return true;
    }
    case kDataMapColorArray:
        return FormatColorArrayValue(*static_cast<const std::vector<ColorRef>*>(value), text, separator) >= 0;
    case kDataMapRectArray:
        return FormatRectArrayValue(*static_cast<const std::vector<RectValue>*>(value), text, separator) >= 0;
    case kDataMapPointArray:
        return FormatPointArrayValue(*static_cast<const std::vector<PointValue>*>(value), text, separator) >= 0;
    default:
        return false;
    }
}

std::unique_ptr<CDataMap> NewDataMap() { return std::make_unique<CDataMap>(); }

const DataMapClassInfo kDataMapClass{"CDataMap", 0xFFFF, &NewDataMap};

} // namespace

// ---------------------------------------------------------------------------
// Type names

void InitTypeNameMaps()
{
    std::call_once(g_typeNamesOnce, [] {
        // Lives for the whole process, as the maps of every thread read it.
        auto* maps = new TypeNameMaps;
        for (int id = 0; id < kDataMapTypeCount; ++id) {
            const std::string name(kTypeNames[static_cast<size_t>(id)]);
            maps->idOfName.emplace(name, std::to_string(id));
            maps->nameOfId.emplace(std::to_string(id), name);
        }
        g_typeNames = maps;
    });
}

std::string TypeNameOfId(int id)
{
    const auto& maps = TypeNames();
    auto it = maps.nameOfId.find(std::to_string(id));
    return it == maps.nameOfId.end() ? std::string() : it->second;
}

int TypeIdOfName(std::string_view name)
{
    const auto& maps = TypeNames();
    auto it = maps.idOfName.find(name);
    return it == maps.idOfName.end() ? 0 : StrToInt(it->second);
}

// ---------------------------------------------------------------------------
// CDataMap

CDataMap::CDataMap() = default;

CDataMap::~CDataMap() = default;

std::unique_ptr<CDataMap> CDataMap::CreateObject() { return NewDataMap(); }

const DataMapClassInfo& CDataMap::GetRuntimeClass() const { return kDataMapClass; }

void CDataMap::Store(std::string_view key, std::string text, int type)
{
    const std::string k(key);
    values_.insert_or_assign(k, std::move(text));
    types_.insert_or_assign(k, std::to_string(type));
    AddKeyOrdinal(k);
}

int CDataMap::Set(int type, std::string_view key, const void* value)
{
    if (type < 1 || type >= kDataMapTypeCount) {
        Store(key, std::string(), type);
        return 0;
    }
    if (!value) {
        return 0;
    }
    std::string text;
    if (!WriteValue(type, value, text, listSeparator_)) {
        return 0;
    }
    Store(key, std::move(text), type);
    return 1;
}

int CDataMap::Get(int type, std::string_view key, void* value) const
{
    auto it = values_.find(key);
    if (it == values_.end() || GetType(key) != type || !value) {
        return 0;
    }
    return ReadValue(type, it->second, value, listSeparator_);
}

int CDataMap::GetString(std::string_view key, std::string& value) const { return Get(kDataMapString, key, &value); }

int CDataMap::SetString(std::string_view key, std::string_view value)
{
    const std::string text(value);
    return Set(kDataMapString, key, &text);
}

int CDataMap::GetInt(std::string_view key, int32_t& value) const { return Get(kDataMapInt, key, &value); }

int CDataMap::SetInt(std::string_view key, int32_t value) { return Set(kDataMapInt, key, &value); }

int CDataMap::GetDouble(std::string_view key, double& value) const { return Get(kDataMapDouble, key, &value); }

int CDataMap::SetDouble(std::string_view key, double value) { return Set(kDataMapDouble, key, &value); }

int CDataMap::GetBool(std::string_view key, int32_t& value) const { return Get(kDataMapBool, key, &value); }

int CDataMap::SetBool(std::string_view key, int32_t value) { return Set(kDataMapBool, key, &value); }

int CDataMap::GetUInt(std::string_view key, uint32_t& value) const { return Get(kDataMapUInt, key, &value); }

int CDataMap::SetUInt(std::string_view key, uint32_t value) { return Set(kDataMapUInt, key, &value); }

int CDataMap::GetDateTime(std::string_view key, wv::OleDateTime& value) const
{
    return Get(kDataMapDateTime, key, &value);
}

int CDataMap::SetDateTime(std::string_view key, const wv::OleDateTime& value)
{
    return Set(kDataMapDateTime, key, &value);
}

int CDataMap::GetStringArray(std::string_view key, std::vector<std::string>& value) const
{
    value.clear();
    return Get(kDataMapStringArray, key, &value);
}

int CDataMap::SetStringArray(std::string_view key, const std::vector<std::string>& value)
{
    return Set(kDataMapStringArray, key, &value);
}

int CDataMap::GetDoubleArray(std::string_view key, std::vector<double>& value) const
{
    value.clear();
    return Get(kDataMapDoubleArray, key, &value);
}

int CDataMap::SetDoubleArray(std::string_view key, const std::vector<double>& value)
{
    return Set(kDataMapDoubleArray, key, &value);
}

int CDataMap::GetDateTimeArray(std::string_view key, std::vector<wv::OleDateTime>& value) const
{
    value.clear();
    return Get(kDataMapDateTimeArray, key, &value);
}

int CDataMap::SetDateTimeArray(std::string_view key, const std::vector<wv::OleDateTime>& value)
{
    return Set(kDataMapDateTimeArray, key, &value);
}

int CDataMap::GetColor(std::string_view key, ColorRef& value) const { return Get(kDataMapColor, key, &value); }

int CDataMap::SetColor(std::string_view key, ColorRef value) { return Set(kDataMapColor, key, &value); }

int CDataMap::HasKey(std::string_view key) const { return values_.find(key) != values_.end() ? 1 : 0; }

int CDataMap::GetType(std::string_view key) const
{
    auto it = types_.find(key);
    return it == types_.end() ? 0 : StrToInt(it->second);
}

void CDataMap::SetType(std::string_view key, int type)
{
    if (HasKey(key)) {
        types_.insert_or_assign(std::string(key), std::to_string(type));
    }
}

void CDataMap::GetText(std::string_view key, std::string& text) const
{
    auto it = values_.find(key);
    if (it != values_.end()) {
        text = it->second;
    }
}

const std::string* CDataMap::FindText(std::string_view key) const
{
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

void CDataMap::SetText(std::string_view key, std::string_view text) { Store(key, std::string(text), kDataMapUnknown); }

int CDataMap::GetKeys(std::vector<std::string>& keys) const
{
    std::vector<std::string> found;
    found.reserve(values_.size());
    std::vector<std::string> unordered;
    if (ordered_) {
        for (const auto& [ordinal, key] : ordinalKeys_) {
            if (values_.find(key) != values_.end()) {
                found.push_back(key);
            }
        }
        // Keys without an ordinal (none are made in ordered mode) follow, sorted.
        for (const auto& [key, text] : values_) {
            if (keyOrdinals_.find(key) == keyOrdinals_.end()) {
                unordered.push_back(key);
            }
        }
    } else {
        for (const auto& [key, text] : values_) {
            unordered.push_back(key);
        }
    }
    SortStringArray(0, {&unordered}, true);
    found.insert(found.end(), std::make_move_iterator(unordered.begin()), std::make_move_iterator(unordered.end()));
    keys.insert(keys.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return static_cast<int>(found.size());
}

void CDataMap::RemoveAll()
{
    name.clear();
    values_.clear();
    types_.clear();
    keyOrdinals_.clear();
    ordinalKeys_.clear();
}

void CDataMap::CopyFrom(const CDataMap& other)
{
    if (&other == this) {
        return;
    }
    RemoveAll();
    ordered_ = other.ordered_;
    name = other.name;
    MergeFrom(other);
}

void CDataMap::MergeFrom(const CDataMap& other)
{
    if (&other == this) {
        return;
    }
    std::vector<std::string> keys;
    other.GetKeys(keys);
    for (const std::string& key : keys) {
        Store(key, other.values_.find(key)->second, other.GetType(key));
    }
}

void CDataMap::UpdateFrom(const CDataMap& other)
{
    if (&other == this) {
        return;
    }
    for (const auto& [key, text] : other.values_) {
        auto it = values_.find(key);
        if (it != values_.end()) {
            it->second = text;
            types_.insert_or_assign(key, std::to_string(other.GetType(key)));
        }
    }
}

void CDataMap::AddKeyOrdinal(std::string_view key)
{
    if (!ordered_ || keyOrdinals_.find(key) != keyOrdinals_.end()) {
        return;
    }
    std::string ordinal = NextOrdinal();
    keyOrdinals_.emplace(std::string(key), ordinal);
    ordinalKeys_.emplace(std::move(ordinal), std::string(key));
}

std::string CDataMap::NextOrdinal()
{
    char text[16];
    std::snprintf(text, sizeof text, "%8.8d", ordinalCounter_);
    // The counter wraps like the 32-bit number it is, without signed overflow.
    ordinalCounter_ = static_cast<int32_t>(static_cast<uint32_t>(ordinalCounter_) + 1u);
    return text;
}

bool CDataMap::Serialize(wv::Archive& archive)
{
    if (archive.IsStoring()) {
        bool ok = archive.WriteString(name);
        for (const StringMap* map : {&values_, &types_}) {
            ok = ok && archive.WriteCount(map->size());
            for (const auto& [key, text] : *map) {
                ok = ok && archive.WriteString(key) && archive.WriteString(text);
            }
        }
        return ok;
    }

    // Everything is read before anything changes, so a damaged archive leaves
    // the map as it was. Each pair takes at least two bytes (two empty texts),
    // which bounds the counts by the bytes left.
    std::string loadedName;
    if (!archive.ReadString(loadedName)) {
        return false;
    }
    std::vector<std::pair<std::string, std::string>> pairs[2];
    for (auto& list : pairs) {
        uint32_t count = 0;
        if (!archive.ReadCount(count, 2)) {
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            std::string key;
            std::string text;
            if (!archive.ReadString(key) || !archive.ReadString(text)) {
                return false;
            }
            list.emplace_back(std::move(key), std::move(text));
        }
    }
    name = std::move(loadedName);
    for (auto& [key, text] : pairs[0]) {
        values_.insert_or_assign(key, std::move(text));
        AddKeyOrdinal(key);
    }
    for (auto& [key, text] : pairs[1]) {
        types_.insert_or_assign(key, std::move(text));
    }
    return true;
}
