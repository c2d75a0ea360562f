#include "app/AppPreferences.h"

#include "app/WellvoxApp.h"
#include "foundation/DataMapFile.h"

#include <array>
#include <utility>

namespace {

constexpr const char* kSection = "Preferences";

} // namespace

std::string CAppPreferences::GetDefaultPath() { return GetWizardsIniPath(); }

void CAppPreferences::ToMap(CDataMap& map) const
{
    map.SetBool("AutoProfile", autoProfile);
    map.SetBool("ExpandOnFind", expandOnFind);
    map.SetBool("ViewCalReportsQuery", viewCalReportsQuery);
    map.SetBool("ViewCalReports", viewCalReports);
    map.SetBool("BlockBaroReminder", blockBaroReminder);
    map.SetBool("BlockProfileLogName", blockProfileLogName);
    map.SetBool("BlockBaroEditPrompt", blockBaroEditPrompt);
    map.SetBool("SkipBaroEdit", skipBaroEdit);
    map.SetBool("DontShowVerifyUnitsDlg", dontShowVerifyUnitsDlg);
    map.SetBool("ProfileFilter", profileFilter);
    map.SetBool("DataFilter", dataFilter);
    map.SetBool("QuickCalAutoStart", quickCalAutoStart);
    map.SetUInt("ProfileRateInSecs", profileRateInSecs);
}

void CAppPreferences::FromMap(const CDataMap& map)
{
    // Each getter leaves its field alone when the key is missing or of another type.
    map.GetBool("AutoProfile", autoProfile);
    map.GetBool("ExpandOnFind", expandOnFind);
    map.GetBool("ViewCalReportsQuery", viewCalReportsQuery);
    map.GetBool("ViewCalReports", viewCalReports);
    map.GetBool("BlockBaroReminder", blockBaroReminder);
    map.GetBool("BlockProfileLogName", blockProfileLogName);
    map.GetBool("BlockBaroEditPrompt", blockBaroEditPrompt);
    map.GetBool("SkipBaroEdit", skipBaroEdit);
    map.GetBool("DontShowVerifyUnitsDlg", dontShowVerifyUnitsDlg);
    map.GetBool("ProfileFilter", profileFilter);
    map.GetBool("DataFilter", dataFilter);
    map.GetBool("QuickCalAutoStart", quickCalAutoStart);
    map.GetUInt("ProfileRateInSecs", profileRateInSecs);
}

void CAppPreferences::LoadFrom(const std::string& path)
{
    CDataMapFile file;
    if (file.SetPath(path) == 0) {
        return;
    }
    file.Load();
    CDataMap map;
    map.name = kSection;
    ToMap(map);
    file.Sync(map);
    FromMap(map);
}

bool CAppPreferences::SaveTo(const std::string& path) const
{
    CDataMapFile file;
    if (file.SetPath(path) == 0 || file.Load() == 0) {
        return false;
    }
    CDataMap map;
    map.name = kSection;
    ToMap(map);
    file.Put(map);
    return file.Save() != 0;
}

bool IsBaroReminderBlocked()
{
    CWellvoxApp* app = CWellvoxApp::Instance();
    return app != nullptr && app->GetPreferences().blockBaroReminder != 0;
}

void SetBaroReminderBlocked(bool blocked)
{
    if (CWellvoxApp* app = CWellvoxApp::Instance()) {
        app->GetPreferences().blockBaroReminder = blocked ? 1 : 0;
    }
}
