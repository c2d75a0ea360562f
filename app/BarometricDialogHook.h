#pragma once
// The "Edit Barometric Channel" dialog as the views see it. The dialog lives with the
// data-file views, above this library, so the program installs it at start-up; until it
// does, the views keep the barometric channel's Edit disabled and the barometric prompt asks
// nothing.

#include <cstdint>
#include <functional>

class QWidget;
class CQorDevice;
struct SitePrefsRecord;

// Runs the dialog modally over parent for a device of deviceType whose stored site
// preferences are record; on OK the dialog has written the setting to the device and
// record holds what was written. Returns IDOK or IDCANCEL.
using BarometricDialogHook =
    std::function<int(QWidget* parent, uint8_t deviceType, SitePrefsRecord& record, CQorDevice& device)>;

// Installs hook (an empty one removes it); returns the hook replaced.
BarometricDialogHook SetBarometricDialogHook(BarometricDialogHook hook);
// The installed hook; empty when none is.
const BarometricDialogHook& GetBarometricDialogHook();
