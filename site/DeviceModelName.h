#pragma once
// What the tree shows of a device type: its model name and its family code, the image
// index of a device's item. Kept below the application so the site model's labels need
// nothing above it.

#include <cstdint>
#include <string>

// The model name of a device type code from the string table; "Unknown" for a type of
// no model.
std::string GetDeviceModelName(int deviceType);

// The family code of a device type, the image index of its item: 1 for types 2 and 25,
// 24 for 3, 4 for 8, 2 for 10, 15 and 16, 3 for 30 to 40, 0 for every other type.
int GetDeviceFamilyCode(int deviceType);
