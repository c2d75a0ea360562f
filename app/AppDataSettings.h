#pragma once
// The data-filter settings of the application: the filter switch and its five
// coefficients, kept in section APP_DATA of Wizards.ini.

#include <array>
#include <cstdint>
#include <string>

struct AppDataSettings {
    static constexpr const char* kSection = "APP_DATA";

    int32_t filterData = 0;                          // "FilterData"
    std::array<double, 5> filterCoef{1, 1, 1, 1, 1}; // "FilterCoef_A" to "FilterCoef_E"

    // Start-up: the stored values of the section win over the current ones, keys the file
    // lacks are added with the current values, and the file is saved (a missing file is
    // created with them). The values are then those of the section. False when the file
    // could not be read or saved; the current values then stay.
    bool LoadFrom(const std::string& path);
    // Exit: the current values overwrite the section and the whole file is saved, every
    // other section with it. False when the file could not be read or saved (an unreadable
    // file is never overwritten).
    bool SaveTo(const std::string& path) const;
};
