// The display-unit catalogue: its categories and units with their texts, the
// defaults by country, the bounded text getters, the unit walk and selection, and
// the unit choices the site file stores and restores.

#include "values/UnitCatalog.h"

#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Getter = size_t (CUnitEntry::*)(char*, size_t) const;

std::string Text(const CUnitEntry& entry, Getter getter)
{
    char buffer[255];
    std::memset(buffer, 'x', sizeof buffer);
    size_t n = (entry.*getter)(buffer, sizeof buffer);
    EXPECT_EQ(n, std::strlen(buffer) + 1);
    return buffer;
}

std::string Name(const CUnitNamedItem& item)
{
    char buffer[255];
    size_t n = item.GetName(buffer, sizeof buffer);
    EXPECT_EQ(n, std::strlen(buffer) + 1);
    return buffer;
}

std::string CurrentName(CUnitCatalog& catalog, UnitCategoryId id)
{
    CUnitCategory* category = catalog.FindCategory(id);
    if (!category || !category->GetCurrentUnit())
        return "(none)";
    return Name(*category->GetCurrentUnit());
}

// A unit as "id|name|abbreviation|column format|short format".
std::string Describe(const CUnitEntry& unit)
{
    return std::to_string(unit.GetId()) + "|" + Name(unit) + "|" + Text(unit, &CUnitEntry::GetAbbrev) + "|" +
           Text(unit, &CUnitEntry::GetFormat) + "|" + Text(unit, &CUnitEntry::GetShortFormat);
}

std::vector<UnitChoicePair> Pairs(std::initializer_list<std::pair<int, int>> list)
{
    std::vector<UnitChoicePair> pairs;
    for (auto [category, unit] : list)
        pairs.push_back({static_cast<UnitCategoryId>(category), static_cast<uint8_t>(unit)});
    return pairs;
}

// The choices of a new catalogue for country "1", and for any other country.
const std::vector<UnitChoicePair> kUsPairs =
    Pairs({{24, 0}, {0, 0},  {1, 0},  {2, 0},  {3, 1},  {4, 0},  {5, 1},  {6, 0},  {12, 1}, {8, 0}, {7, 0},
           {30, 1}, {9, 1},  {10, 0}, {36, 2}, {11, 1}, {21, 2}, {18, 2}, {20, 2}, {34, 1}, {35, 1}});
const std::vector<UnitChoicePair> kMetricPairs =
    Pairs({{24, 0}, {0, 0},  {1, 0},  {2, 0},  {3, 1},  {4, 0},  {5, 0},  {6, 3},  {12, 2}, {8, 0}, {7, 0},
           {30, 1}, {9, 2},  {10, 0}, {36, 2}, {11, 1}, {21, 2}, {18, 2}, {20, 2}, {34, 1}, {35, 1}});

std::string Show(const std::vector<UnitChoicePair>& pairs)
{
    std::string s;
    for (const UnitChoicePair& p : pairs)
        s += "(" + std::to_string(p.categoryId) + "," + std::to_string(p.unitId) + ")";
    return s;
}

} // namespace

// Every category in slot order with its name and its units in the order they were
// added, with every text as the catalogue must show it (UTF-8).
TEST(UnitCatalog, CategoriesAndUnitsInSlotOrder)
{
    struct Expected {
        int id;
        const char* name;
        std::vector<std::string> units;
    };
    const std::string cm3 = "%10.3f|%.3f";
    const std::string ppm = "2|ppm|ppm|%10.2f|%.2f";
    const std::vector<Expected> expected = {
        {24, "Data File View", {"0|Text|||", "1|Graph|||"}},
        {0, "Text Report Format", {"0|Original|||", "1|Extended Device Info|||", "2|AutoData Export|||"}},
        {1,
         "Calendar Date",
         {"0|mm/dd/yy (month/day/year)|m/d/y|%02d/%02d/%02d|%02d/%02d/%02d",
          "1|dd/mm/yy (day/month/year)|d/m/y|%02d/%02d/%02d|%02d/%02d/%02d",
          "2|yy/mm/dd (year/month/day)|y/m/d|%02d/%02d/%02d|%02d/%02d/%02d",
          "3|mm/dd/yyyy (month/day/year)|m/d/y|%02d/%02d/%04d|%02d/%02d/%04d",
          "4|dd/mm/yyyy (day/month/year)|d/m/y|%02d/%02d/%04d|%02d/%02d/%04d",
          "5|yyyy/mm/dd (year/month/day)|y/m/d|%04d/%02d/%02d|%04d/%02d/%02d"}},
        {2,
         "Time of Day",
         {"0|hh:mm:ss.hd|h/m/s.h|%02d:%02d:%02d.%02d|%02d:%02d:%02d.%02d",
          "1|hh:mm:ss|h/m/s|%02d:%02d:%02d|%02d:%02d:%02d"}},
        {3,
         "Elapsed Time",
         {"0|Seconds|sec|%12.1f|%.2f", "1|Minutes|min|%12.4f|%.4f", "2|Hours|hr|%12.4f|%.4f",
          "3|Days|day|%12.4f|%.4f"}},
        {4, "User-defined", {"0|Device Units||%10.3f|%.3f"}},
        {5, "Temperature", {"0|Celsius|C|%10.2f|%.2f", "1|Fahrenheit|F|%10.2f|%.2f"}},
        {6, "Pressure", {"3|kPa|kPa|" + cm3, "0|PSI|PSI|" + cm3}},
        {12,
         "Level/Depth",
         {"6|Centimeters|cm|" + cm3, "2|Meters|M|" + cm3, "7|Inches|in|" + cm3, "1|Feet|Ft|" + cm3}},
        {8,
         "Conductivity",
         {"0|microSiemens/cm Actual Conductivity|uS|%10.2f|%.0f",
          "1|milliSiemens/cm Actual Conductivity|mS|%10.5f|%.3f", "2|mg/L TDS|TDS|%10.2f|%.2f",
          "3|PSU Salinity|PSU|%10.2f|%.2f", "4|Kohms cm|Kohms|%10.3f|%.2f",
          "5|microSiemens/cm Specific Conductivity|uS|%10.2f|%.0f"}},
        {7, "pH", {"0|pH|pH|%10.2f|%.2f"}},
        {30, "Turbidity", {"1|FNU|FNU|%10.1f|%.1f", "0|NTU|NTU|%10.1f|%.1f"}},
        {9,
         "Barometric Pressure",
         {"3|milliBars|mbar|" + cm3, "2|Bars|Bar|" + cm3, "1|Inches Hg|\"Hg|" + cm3, "4|cm|cm|" + cm3,
          "5|mm Hg|mmHg|" + cm3, "0|PSI|PSI|" + cm3}},
        {10,
         "Dissolved Oxygen",
         {"1|micrograms/L|\xC2\xB5g/L|%5.0f|%.0f", "0|milligrams/L|mg/L|%10.2f|%.2f",
          "2|%Saturation|%|%10.4f|%.1f", "3|microMoles/L|\xC2\xB5M/L|%10.1f|%.1f"}},
        {36, "Dissolved Oxygen %Saturation", {"2|%Saturation|%|%10.4f|%.1f"}},
        {11, "ORP", {"0|millivolts|mV|%5.0f|%.0f", "1|Volts|V|%10.2f|%.2f"}},
        {21, "Nitrate", {ppm}},
        {18, "Ammonium", {ppm}},
        {20, "Chloride", {ppm}},
        {34, "Lowvane", {"0|Metric|metric||", "1|English|english||"}},
        {35, "Battery Voltage", {"1|Volts|V|%10.3f|%.3f"}},
    };

    CUnitCatalog catalog("1");
    ASSERT_EQ(catalog.GetCategoryCount(), 21);
    CUnitCategory* category = catalog.FirstCategory();
    for (const Expected& e : expected) {
        ASSERT_NE(category, nullptr) << e.name;
        EXPECT_EQ(category->GetId(), e.id);
        EXPECT_EQ(Name(*category), e.name);
        EXPECT_EQ(catalog.FindCategory(static_cast<UnitCategoryId>(e.id)), category);
        std::vector<std::string> units;
        for (CUnitEntry* unit = category->FirstUnit(); unit; unit = category->NextUnit())
            units.push_back(Describe(*unit));
        EXPECT_EQ(units, e.units) << e.name;
        category = catalog.NextCategory();
    }
    // Slot 21 is empty: the walk ends there and stays ended.
    EXPECT_EQ(category, nullptr);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(catalog.NextCategory(), nullptr);
    EXPECT_EQ(catalog.FirstCategory()->GetId(), 24);
}

TEST(UnitCatalog, FindCategoryKnowsOnlyTheCatalogueIds)
{
    const CUnitCatalog catalog("1");
    EXPECT_EQ(catalog.FindCategory(13), nullptr);
    EXPECT_EQ(catalog.FindCategory(99), nullptr);
    EXPECT_EQ(catalog.FindCategory(255), nullptr);
    ASSERT_NE(catalog.FindCategory(36), nullptr);
    EXPECT_EQ(Name(*catalog.FindCategory(36)), "Dissolved Oxygen %Saturation");
}

// The pairs: country "1" takes US units, every other text metric units.
TEST(UnitCatalog, CountryDecidesTheLocaleDefaults)
{
    EXPECT_EQ(Show(CUnitCatalog("1").GetUnitChoices()), Show(kUsPairs));
    for (const char* country : {"44", "49", "", "01", "1 ", "11", "7"})
        EXPECT_EQ(Show(CUnitCatalog(country).GetUnitChoices()), Show(kMetricPairs)) << '"' << country << '"';

    CUnitCatalog us("1");
    EXPECT_EQ(CurrentName(us, kUnitCategoryTemperature), "Fahrenheit");
    EXPECT_EQ(CurrentName(us, kUnitCategoryPressure), "PSI");
    EXPECT_EQ(CurrentName(us, kUnitCategoryBarometricPressure), "Inches Hg");
    EXPECT_EQ(CurrentName(us, kUnitCategoryLevelDepth), "Feet");
    CUnitCatalog metric("44");
    EXPECT_EQ(CurrentName(metric, kUnitCategoryTemperature), "Celsius");
    EXPECT_EQ(CurrentName(metric, kUnitCategoryPressure), "kPa");
    EXPECT_EQ(CurrentName(metric, kUnitCategoryBarometricPressure), "Bars");
    EXPECT_EQ(CurrentName(metric, kUnitCategoryLevelDepth), "Meters");
    for (CUnitCatalog* catalog : {&us, &metric}) {
        EXPECT_EQ(catalog->FindCategory(kUnitCategoryConductivity)->GetCurrentUnit()->GetId(), 0);
        EXPECT_EQ(CurrentName(*catalog, kUnitCategoryDissolvedOxygen), "milligrams/L");
        EXPECT_EQ(CurrentName(*catalog, kUnitCategoryORP), "Volts");
    }
}

// The default constructor reads the country of the user's locale (here from the
// territory of the locale names, installed or not).
TEST(UnitCatalog, DefaultConstructionFollowsTheUserLocale)
{
    wvtest::ScopedEnv telephone("LC_TELEPHONE", nullptr);
    wvtest::ScopedEnv lang("LANG", "C.UTF-8");
    {
        wvtest::ScopedEnv all("LC_ALL", "en_US.UTF-8");
        EXPECT_EQ(Show(CUnitCatalog().GetUnitChoices()), Show(kUsPairs));
    }
    {
        wvtest::ScopedEnv all("LC_ALL", "en_GB.UTF-8");
        EXPECT_EQ(Show(CUnitCatalog().GetUnitChoices()), Show(kMetricPairs));
    }
    {
        wvtest::ScopedEnv all("LC_ALL", nullptr);
        EXPECT_EQ(Show(CUnitCatalog().GetUnitChoices()), Show(kMetricPairs)); // C.UTF-8: no country
    }
}

// Base defaults, then the locale's, each only where its table has an entry.
TEST(UnitCatalog, DefaultsApplyPerCategory)
{
    CUnitCatalog catalog("1");
    for (CUnitCategory* c = catalog.FirstCategory(); c; c = catalog.NextCategory())
        c->SelectUnitByIndex(0);
    catalog.ApplyBaseDefaults();
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryElapsedTime), "Minutes");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryTurbidity), "FNU");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryORP), "Volts");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryLowFlow), "English");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryLevelDepth), "Meters");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryPressure), "PSI");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryBarometricPressure), "Inches Hg");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryTemperature), "Celsius");

    catalog.ApplyMetricDefaults();
    EXPECT_EQ(Show(catalog.GetUnitChoices()), Show(kMetricPairs));
    catalog.ApplyUsDefaults();
    EXPECT_EQ(Show(catalog.GetUnitChoices()), Show(kUsPairs));
}

TEST(UnitCatalog, DefaultUnitIdGetters)
{
    const std::vector<int> unit0 = {0, 1, 2, 4, 5, 6, 7, 8, 10, 24};
    const std::vector<int> unit1 = {3, 9, 11, 30, 34};
    const std::vector<int> unit2 = {12, 13};
    for (int id = 0; id < 256; ++id) {
        auto in = [id](const std::vector<int>& v) { return std::find(v.begin(), v.end(), id) != v.end(); };
        int base = in(unit0) ? 0 : in(unit1) ? 1 : in(unit2) ? 2 : id;
        EXPECT_EQ(GetBaseDefaultUnitId(static_cast<UnitCategoryId>(id)), base) << id;
        int us = id == 5 ? 1 : id == 6 ? 0 : id == 9 ? 1 : id == 12 ? 1 : 255;
        int metric = id == 5 ? 0 : id == 6 ? 3 : id == 9 ? 2 : id == 12 ? 2 : 255;
        EXPECT_EQ(GetUsDefaultUnitId(static_cast<UnitCategoryId>(id)), us) << id;
        EXPECT_EQ(GetMetricDefaultUnitId(static_cast<UnitCategoryId>(id)), metric) << id;
    }
}

TEST(UnitCatalog, SelectionOfUnknownUnitsChangesNothing)
{
    CUnitCatalog catalog("1");
    const std::vector<UnitChoicePair> before = catalog.GetUnitChoices();
    for (CUnitCategory* c = catalog.FirstCategory(); c; c = catalog.NextCategory()) {
        CUnitEntry* current = c->GetCurrentUnit();
        EXPECT_EQ(c->SelectUnit(42), nullptr);
        EXPECT_EQ(c->SelectUnitByIndex(6), nullptr);
        EXPECT_EQ(c->SelectUnitByIndex(-1), nullptr);
        EXPECT_EQ(c->FindUnit(42), nullptr);
        EXPECT_EQ(c->GetCurrentUnit(), current);
    }
    EXPECT_EQ(catalog.GetUnitChoices(), before);

    CUnitCategory* temperature = catalog.FindCategory(kUnitCategoryTemperature);
    EXPECT_EQ(temperature->SelectUnitByIndex(5), nullptr);
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryTemperature), "Fahrenheit");
    CUnitEntry* celsius = temperature->SelectUnitByIndex(0);
    ASSERT_NE(celsius, nullptr);
    EXPECT_EQ(temperature->GetCurrentUnit(), celsius);
    EXPECT_EQ(Name(*celsius), "Celsius");

    // By id, not by position: Level/Depth's unit 1 is its fourth.
    CUnitCategory* level = catalog.FindCategory(kUnitCategoryLevelDepth);
    EXPECT_EQ(Name(*level->SelectUnit(6)), "Centimeters");
    EXPECT_EQ(level->FindUnit(1), level->SelectUnitByIndex(3));
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryLevelDepth), "Feet");
}

// A category of its own: the first unit added is current whatever its id, the walk
// ends at the first empty slot, and a seventh unit is refused.
TEST(UnitCategory, AddUnitFillsSlotsInOrder)
{
    CUnitCategory pressure(kUnitCategoryPressure);
    pressure.SetName("Pressure");
    EXPECT_EQ(pressure.GetCurrentUnit(), nullptr);
    EXPECT_EQ(pressure.FirstUnit(), nullptr);
    EXPECT_EQ(pressure.SelectUnit(0), nullptr);

    CUnitEntry* kpa = pressure.AddUnit(3, "kPa", "kPa", "%10.3f", "%.3f");
    CUnitEntry* psi = pressure.AddUnit(0, "PSI", "PSI", "%10.3f", "%.3f");
    ASSERT_NE(kpa, nullptr);
    ASSERT_NE(psi, nullptr);
    EXPECT_EQ(pressure.GetCurrentUnit(), kpa);
    EXPECT_EQ(Name(*pressure.GetCurrentUnit()), "kPa");
    EXPECT_EQ(pressure.FirstUnit(), kpa);
    EXPECT_EQ(pressure.NextUnit(), psi);
    EXPECT_EQ(pressure.NextUnit(), nullptr); // slot 2 is empty
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pressure.NextUnit(), nullptr);

    CUnitCategory full(1);
    std::vector<CUnitEntry*> added;
    for (int id = 10; id < 16; ++id)
        added.push_back(full.AddUnit(static_cast<uint8_t>(id), "u", "", "", ""));
    EXPECT_EQ(full.AddUnit(16, "seventh", "", "", ""), nullptr);
    EXPECT_EQ(full.FindUnit(16), nullptr);
    std::vector<CUnitEntry*> walked;
    for (CUnitEntry* u = full.FirstUnit(); u; u = full.NextUnit())
        walked.push_back(u);
    EXPECT_EQ(walked, added);
    EXPECT_EQ(full.SelectUnitByIndex(5), added[5]);

    // Two units with one id: the first is found and selected.
    CUnitCategory twins(2);
    CUnitEntry* first = twins.AddUnit(4, "first", "", "", "");
    twins.AddUnit(5, "other", "", "", "");
    twins.AddUnit(4, "second", "", "", "");
    twins.SelectUnitByIndex(1);
    EXPECT_EQ(twins.SelectUnit(4), first);
    EXPECT_EQ(twins.FindUnit(4), first);
}

// Text getters copy at most size - 1 bytes and never split a UTF-8 character; an
// unset text reads as "".
TEST(UnitEntry, TextGettersAreBoundedCopies)
{
    CUnitCatalog catalog("1");
    const CUnitEntry& inchesHg = *catalog.FindCategory(kUnitCategoryBarometricPressure)->FindUnit(1);
    char buffer[256];
    EXPECT_EQ(inchesHg.GetAbbrev(buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "\"Hg");

    const CUnitEntry& micrograms = *catalog.FindCategory(kUnitCategoryDissolvedOxygen)->FindUnit(1);
    struct Case {
        size_t size;
        size_t result;
        const char* text;
    } cases[] = {
        {255, 6, "\xC2\xB5g/L"}, {6, 6, "\xC2\xB5g/L"}, {5, 5, "\xC2\xB5g/"}, {4, 4, "\xC2\xB5g"},
        {3, 3, "\xC2\xB5"},      {2, 1, ""},             {1, 1, ""},
    };
    for (const Case& c : cases) {
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(micrograms.GetAbbrev(buffer, c.size), c.result) << c.size;
        EXPECT_STREQ(buffer, c.text) << c.size;
        EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer of " << c.size;
    }
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(micrograms.GetName(buffer, 0), 0u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(micrograms.GetFormat(nullptr, 10), 0u);

    const CUnitEntry& mg = *catalog.FindCategory(kUnitCategoryDissolvedOxygen)->FindUnit(0);
    EXPECT_EQ(mg.GetShortFormat(buffer, 4), 4u);
    EXPECT_STREQ(buffer, "%.2");

    CUnitEntry bare(7);
    EXPECT_EQ(bare.GetId(), 7);
    for (Getter getter : std::initializer_list<Getter>{&CUnitEntry::GetName, &CUnitEntry::GetAbbrev,
                                                       &CUnitEntry::GetFormat, &CUnitEntry::GetShortFormat}) {
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ((bare.*getter)(buffer, sizeof buffer), 1u);
        EXPECT_STREQ(buffer, "");
    }
    CUnitCategory unnamed(9);
    EXPECT_EQ(Name(unnamed), "");
}

TEST(UnitEntry, SettersReplaceAndClear)
{
    CUnitEntry entry(3);
    EXPECT_EQ(entry.SetShortFormat("%.3f"), 5u);
    EXPECT_EQ(entry.SetShortFormat(""), 1u);
    EXPECT_EQ(Text(entry, &CUnitEntry::GetShortFormat), "");
    EXPECT_EQ(entry.SetShortFormat("%12.4f"), 7u);
    EXPECT_EQ(Text(entry, &CUnitEntry::GetShortFormat), "%12.4f");
    EXPECT_EQ(entry.SetShortFormat(nullptr), 0u);
    EXPECT_EQ(Text(entry, &CUnitEntry::GetShortFormat), "");

    entry.SetName("Meters");
    entry.SetName("Feet");
    EXPECT_EQ(Name(entry), "Feet");
    entry.SetAbbrev("Ft");
    entry.SetAbbrev(nullptr);
    EXPECT_EQ(Text(entry, &CUnitEntry::GetAbbrev), "");
    entry.SetFormat("%10.3f");
    EXPECT_EQ(Text(entry, &CUnitEntry::GetFormat), "%10.3f");

    // The entry keeps its own copy.
    char source[] = "Centimeters";
    entry.SetName(source);
    source[0] = 'X';
    EXPECT_EQ(Name(entry), "Centimeters");
}

// What the site file stores, in slot order, and restoring it into another catalogue.
TEST(UnitCatalog, UnitChoicesRoundTrip)
{
    CUnitCatalog saved("1");
    saved.FindCategory(kUnitCategoryLevelDepth)->SelectUnit(6);
    saved.FindCategory(kUnitCategoryConductivity)->SelectUnit(5);
    saved.FindCategory(kUnitCategoryDataFileView)->SelectUnit(1);
    saved.FindCategory(kUnitCategoryCalendarDate)->SelectUnit(4);
    std::vector<UnitChoicePair> pairs = saved.GetUnitChoices();
    ASSERT_EQ(pairs.size(), static_cast<size_t>(saved.GetCategoryCount()));

    // The same order as the walk the site file's writer knows.
    size_t i = 0;
    for (CUnitCategory* c = saved.FirstCategory(); c; c = saved.NextCategory(), ++i) {
        ASSERT_LT(i, pairs.size());
        EXPECT_EQ(pairs[i].categoryId, c->GetId());
        EXPECT_EQ(pairs[i].unitId, c->GetCurrentUnit()->GetId());
    }

    CUnitCatalog loaded("44");
    EXPECT_EQ(loaded.RestoreUnitChoices(pairs), 21u);
    EXPECT_EQ(loaded.GetUnitChoices(), pairs);
    EXPECT_EQ(CurrentName(loaded, kUnitCategoryLevelDepth), "Centimeters");
    EXPECT_EQ(CurrentName(loaded, kUnitCategoryConductivity), "microSiemens/cm Specific Conductivity");
    EXPECT_EQ(CurrentName(loaded, kUnitCategoryDataFileView), "Graph");
    EXPECT_EQ(CurrentName(loaded, kUnitCategoryTemperature), "Fahrenheit");
}

// Pairs from a file: unknown categories and units are skipped without touching
// anything else; the rest are applied in order, the last pair of a category winning.
TEST(UnitCatalog, RestoreSkipsUnknownIds)
{
    CUnitCatalog catalog("44");
    EXPECT_EQ(catalog.RestoreUnitChoices({}), 0u);
    EXPECT_EQ(catalog.GetUnitChoices(), kMetricPairs);

    EXPECT_EQ(catalog.RestoreUnitChoices(Pairs({{99, 1}, {13, 2}, {255, 255}, {5, 7}, {36, 0}, {9, 255}})), 0u);
    EXPECT_EQ(catalog.GetUnitChoices(), kMetricPairs);

    EXPECT_EQ(catalog.RestoreUnitChoices(Pairs({{12, 6}, {99, 1}, {5, 1}, {5, 9}, {6, 0}, {6, 3}})), 4u);
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryLevelDepth), "Centimeters");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryTemperature), "Fahrenheit");
    EXPECT_EQ(CurrentName(catalog, kUnitCategoryPressure), "kPa");
    std::vector<UnitChoicePair> expected = kMetricPairs;
    expected[6] = {5, 1};
    expected[8] = {12, 6};
    EXPECT_EQ(Show(catalog.GetUnitChoices()), Show(expected));
}

// The unit dialogs' copy: every category of the source, by id, into the target.
TEST(UnitCatalog, CopyUnitChoicesBetweenCatalogues)
{
    CUnitCatalog global("44");
    global.FindCategory(kUnitCategoryTurbidity)->SelectUnit(0);
    global.FindCategory(kUnitCategoryElapsedTime)->SelectUnit(3);
    CUnitCatalog working("1");
    CopyUnitChoices(global, working);
    EXPECT_EQ(working.GetUnitChoices(), global.GetUnitChoices());
    EXPECT_EQ(CurrentName(working, kUnitCategoryTurbidity), "NTU");
    EXPECT_EQ(CurrentName(working, kUnitCategoryElapsedTime), "Days");

    working.FindCategory(kUnitCategoryTemperature)->SelectUnit(1);
    const std::vector<UnitChoicePair> before = global.GetUnitChoices();
    CopyUnitChoices(working, global);
    EXPECT_EQ(CurrentName(global, kUnitCategoryTemperature), "Fahrenheit");
    EXPECT_NE(global.GetUnitChoices(), before);
    EXPECT_EQ(global.GetUnitChoices(), working.GetUnitChoices());

    CopyUnitChoices(global, global);
    EXPECT_EQ(global.GetUnitChoices(), working.GetUnitChoices());
}
