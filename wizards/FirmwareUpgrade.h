#pragma once
// How the device view runs the firmware upgrade wizard on a device: one call, modal, with
// the wizard's result (12325 after Finish, 2 after Cancel).
//
// Tests of the device view may put a runner of their own in the wizard's place to follow
// the view's part after a finished upgrade.

#include <functional>

class CQorDevice;
class QWidget;

using FirmwareUpgradeRunner = std::function<int(CQorDevice& device, QWidget* parent)>;

// Runs the upgrade wizard for device over parent; its modal result.
int RunFirmwareUpgradeWizard(CQorDevice& device, QWidget* parent);

// Replaces the wizard (an empty runner restores it); returns the runner replaced.
FirmwareUpgradeRunner SetFirmwareUpgradeRunner(FirmwareUpgradeRunner runner);
