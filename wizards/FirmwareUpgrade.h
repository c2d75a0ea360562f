#pragma once
// How the device view runs the firmware upgrade wizard on a device: one call, modal, with
// the wizard's result (12325 after Finish, 2 after Cancel).
//
// The upgrade wizard itself is not built yet: until it is, the call answers 2 (Cancel) and
// the device view offers the upgrade without carrying it out. Tests put a runner of their
// own in its place to follow the view's part after a finished upgrade.

#include <functional>

class CQorDevice;
class QWidget;

using FirmwareUpgradeRunner = std::function<int(CQorDevice& device, QWidget* parent)>;

// Runs the upgrade wizard for device over parent; its modal result.
int RunFirmwareUpgradeWizard(CQorDevice& device, QWidget* parent);

// Replaces the wizard (an empty runner restores it); returns the runner replaced.
FirmwareUpgradeRunner SetFirmwareUpgradeRunner(FirmwareUpgradeRunner runner);
