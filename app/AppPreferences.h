#pragma once
// CAppPreferences: the program's preferences and at the same time the application's
// global display-unit catalogue. The thirteen values live in section "Preferences" of
// Wizards.ini; the unit choices travel in the site file instead.

#include "foundation/DataMap.h"
#include "values/UnitCatalog.h"

#include <cstdint>
#include <string>

class CAppPreferences : public CUnitCatalog {
public:
    CAppPreferences() = default;

    // Fills the record from Wizards.ini (path: GetWizardsIniPath); the file is not written.
    void Load() { LoadFrom(GetDefaultPath()); }
    // Writes the record into Wizards.ini, keeping the file's other sections; nothing
    // when the file cannot be read.
    void Save() const { SaveTo(GetDefaultPath()); }
    void LoadFrom(const std::string& path);
    bool SaveTo(const std::string& path) const;

    // The values as a map named "Preferences", and back (a missing or other-typed key
    // leaves its field).
    void ToMap(CDataMap& map) const;
    void FromMap(const CDataMap& map);

    int32_t autoProfile = 0;
    int32_t expandOnFind = 1;
    int32_t viewCalReportsQuery = 1;
    int32_t viewCalReports = 1;
    int32_t blockBaroReminder = 0;
    int32_t blockProfileLogName = 0;
    int32_t blockBaroEditPrompt = 0;
    int32_t skipBaroEdit = 0;
    int32_t dontShowVerifyUnitsDlg = 0;
    int32_t profileFilter = 0;
    int32_t dataFilter = 0;
    int32_t quickCalAutoStart = 0;
    uint32_t profileRateInSecs = 2;

private:
    static std::string GetDefaultPath();
};

// The reminder shown after a barometric correction, switched off for good by the user: the
// "BlockBaroReminder" preference of the application's preferences, saved with them. Not
// blocked, and nothing set, while there is no application.
bool IsBaroReminderBlocked();
void SetBaroReminderBlocked(bool blocked);
