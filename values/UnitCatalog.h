#pragma once
// The display-unit catalogue: for every quantity the program shows, the units the
// user may choose from (name, abbreviation, a wide column format for tabular
// reports and a short format for single values) and which one is chosen now.
//
// One catalogue is the application's global one (its preferences record); the unit
// dialogs build their own as an editable copy and copy the choices back; the site
// file keeps the current choice of every category as (category id, unit id) pairs.
// For the quantities the unit converter knows (values/UnitConversion.h), a unit's id
// is the converter's unit index: temperature with parameter type 2, pressure and
// level/depth with type 3, conductivity 5, barometric pressure 6, dissolved oxygen 7
// and ORP 8.
//
// A new catalogue holds 21 categories in a fixed order, each with its first unit
// current, then takes the base defaults and the defaults of the locale's country
// (country code "1" US units, any other metric units). Afterwards only the current
// units change.
//
// Texts are UTF-8 ("µg/L" holds the two bytes of the micro sign). The text getters
// copy into the caller's buffer of a given size, cut at a whole character when the
// buffer is too small, and give "" for a text that was never set.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A category's id: one byte, the same in every catalogue and in the site file.
using UnitCategoryId = uint8_t;

inline constexpr UnitCategoryId kUnitCategoryTextReportFormat = 0;
inline constexpr UnitCategoryId kUnitCategoryCalendarDate = 1;
inline constexpr UnitCategoryId kUnitCategoryTimeOfDay = 2;
inline constexpr UnitCategoryId kUnitCategoryElapsedTime = 3;
inline constexpr UnitCategoryId kUnitCategoryUserDefined = 4;
inline constexpr UnitCategoryId kUnitCategoryTemperature = 5;
inline constexpr UnitCategoryId kUnitCategoryPressure = 6;
inline constexpr UnitCategoryId kUnitCategoryPH = 7;
inline constexpr UnitCategoryId kUnitCategoryConductivity = 8;
inline constexpr UnitCategoryId kUnitCategoryBarometricPressure = 9;
inline constexpr UnitCategoryId kUnitCategoryDissolvedOxygen = 10;
inline constexpr UnitCategoryId kUnitCategoryORP = 11;
inline constexpr UnitCategoryId kUnitCategoryLevelDepth = 12;
inline constexpr UnitCategoryId kUnitCategoryAmmonium = 18;
inline constexpr UnitCategoryId kUnitCategoryChloride = 20;
inline constexpr UnitCategoryId kUnitCategoryNitrate = 21;
inline constexpr UnitCategoryId kUnitCategoryDataFileView = 24;
inline constexpr UnitCategoryId kUnitCategoryTurbidity = 30;
inline constexpr UnitCategoryId kUnitCategoryLowFlow = 34;
inline constexpr UnitCategoryId kUnitCategoryBatteryVoltage = 35;
inline constexpr UnitCategoryId kUnitCategoryDOPercentSat = 36;

// The unit id the locale getters give for a category without a locale default.
inline constexpr uint8_t kNoDefaultUnit = 255;

// Unit slots of a category and category slots of a catalogue.
inline constexpr int kUnitSlots = 6;
inline constexpr int kCategorySlots = 37;

// The id and name that units and categories share. The getters copy the name into
// buffer (at most size - 1 bytes, cut at a whole UTF-8 character, then a zero) and
// return the bytes placed + 1; an unset name gives "" and 1; a null buffer or a size
// of 0 gives 0 and writes nothing.
class CUnitNamedItem {
public:
    explicit CUnitNamedItem(uint8_t id) : m_id(id) {}

    uint8_t GetId() const { return m_id; }

    // Replaces the name by a copy of text; a null text (or a copy that cannot be
    // allocated) leaves it unset.
    void SetName(const char* text);
    size_t GetName(char* buffer, size_t size) const;

protected:
    // Replaces field by a copy of text (unset for a null text or a failed copy);
    // returns the copied length + 1, or 0 when the field is left unset.
    static size_t StoreText(std::optional<std::string>& field, const char* text);
    // The bounded copy of the getters.
    static size_t CopyText(const std::optional<std::string>& field, char* buffer, size_t size);

private:
    uint8_t m_id;
    std::optional<std::string> m_name;
};

// One unit: its id (unique within its category), name, abbreviation, column format
// (the wide printf format of tabular reports, such as "%10.3f") and short format
// (the printf format of single values, such as "%.3f"). Every text is unset until
// set. The getters follow CUnitNamedItem's.
class CUnitEntry : public CUnitNamedItem {
public:
    explicit CUnitEntry(uint8_t id) : CUnitNamedItem(id) {}

    void SetAbbrev(const char* text);
    void SetFormat(const char* text);
    // Returns the copied length + 1, or 0 when the format is left unset.
    size_t SetShortFormat(const char* text);

    size_t GetAbbrev(char* buffer, size_t size) const;
    size_t GetFormat(char* buffer, size_t size) const;
    size_t GetShortFormat(char* buffer, size_t size) const;

private:
    std::optional<std::string> m_abbrev;
    std::optional<std::string> m_format;
    std::optional<std::string> m_shortFormat;
};

// One quantity: its id (a UnitCategoryId), name, up to 6 units filled from slot 0
// upwards (never removed, so the occupied slots are contiguous) and the current unit
// (null only while the category has no unit).
class CUnitCategory : public CUnitNamedItem {
public:
    explicit CUnitCategory(UnitCategoryId id) : CUnitNamedItem(id) {}
    CUnitCategory(const CUnitCategory&) = delete;
    CUnitCategory& operator=(const CUnitCategory&) = delete;

    // Adds a unit with its four texts in the first free slot and returns it; the
    // first unit becomes current. With all 6 slots occupied nothing is added (null).
    CUnitEntry* AddUnit(uint8_t id, const char* name, const char* abbrev, const char* format,
                        const char* shortFormat);

    // Makes the first unit with that id current and returns it; without one the
    // current unit stays and the result is null.
    CUnitEntry* SelectUnit(uint8_t id);
    // Makes the unit of slot index (0..5) current and returns it; an empty or
    // nonexistent slot changes nothing (null).
    CUnitEntry* SelectUnitByIndex(int index);

    // The first unit with that id, or null.
    CUnitEntry* FindUnit(uint8_t id);
    const CUnitEntry* FindUnit(uint8_t id) const;

    CUnitEntry* GetCurrentUnit() { return m_current; }
    const CUnitEntry* GetCurrentUnit() const { return m_current; }

    // The walk over the unit slots: FirstUnit gives slot 0, each NextUnit the next
    // slot, null after slot 5. A null slot ends the units.
    CUnitEntry* FirstUnit();
    CUnitEntry* NextUnit();

private:
    std::array<std::unique_ptr<CUnitEntry>, kUnitSlots> m_units;
    CUnitEntry* m_current = nullptr;
    int m_iterator = 0;
};

// One entry of the site file's unit choices: a category and the id of its current
// unit.
struct UnitChoicePair {
    UnitCategoryId categoryId = 0;
    uint8_t unitId = 0;
    friend bool operator==(const UnitChoicePair&, const UnitChoicePair&) = default;
};

// The catalogue: 37 category slots, of which a new catalogue fills the first 21;
// the first empty slot ends every walk and count.
class CUnitCatalog {
public:
    // The 21 categories with the base defaults, then the defaults of the country of
    // the user's locale (platform/LocaleCountry.h).
    CUnitCatalog();
    // The same with the country code given ("1" US units, any other metric units).
    explicit CUnitCatalog(std::string_view countryCode);
    virtual ~CUnitCatalog();
    CUnitCatalog(const CUnitCatalog&) = delete;
    CUnitCatalog& operator=(const CUnitCatalog&) = delete;

    // The first category with that id, or null.
    CUnitCategory* FindCategory(UnitCategoryId id);
    const CUnitCategory* FindCategory(UnitCategoryId id) const;

    // The occupied slots before the first empty one (21 for a new catalogue).
    int GetCategoryCount() const;

    // The walk over the category slots: FirstCategory gives slot 0, each
    // NextCategory the next slot, null after slot 36 and at the first empty slot.
    CUnitCategory* FirstCategory();
    CUnitCategory* NextCategory();

    // Select the default unit in every category (see the getters below); the US and
    // metric defaults touch only the categories that have one.
    void ApplyBaseDefaults();
    void ApplyUsDefaults();
    void ApplyMetricDefaults();

    // The current choice of every category, in slot order: what the site file
    // stores, GetCategoryCount() pairs. A category without a unit (which a built
    // catalogue never has) gives the unit id kNoDefaultUnit, which selects nothing.
    std::vector<UnitChoicePair> GetUnitChoices() const;

    // Restores stored choices: each pair selects its unit in its category. A pair
    // whose category is not in the catalogue, or whose unit the category lacks, is
    // skipped and changes nothing. Returns the number of pairs that selected a unit.
    size_t RestoreUnitChoices(std::span<const UnitChoicePair> pairs);

private:
    void AddCategories();

    std::array<std::unique_ptr<CUnitCategory>, kCategorySlots> m_categories;
    int m_iterator = 0;
};

// The default unit ids of a category. Base: 0 for categories 0, 1, 2, 4, 5, 6, 7, 8,
// 10 and 24; 1 for 3, 9, 11, 30 and 34; 2 for 12 and 13; the category's own id for
// any other (a unit id that the categories 18, 20, 21, 35 and 36 lack, so their first
// unit stays). US and metric: temperature, pressure, barometric pressure and
// level/depth only, kNoDefaultUnit for every other category.
uint8_t GetBaseDefaultUnitId(UnitCategoryId categoryId);
uint8_t GetUsDefaultUnitId(UnitCategoryId categoryId);
uint8_t GetMetricDefaultUnitId(UnitCategoryId categoryId);

// Copies the current choices of source into destination: every category of source
// selects, in destination's category of the same id, the unit of the same id
// (unchanged where destination lacks the category or the unit).
void CopyUnitChoices(const CUnitCatalog& source, CUnitCatalog& destination);
