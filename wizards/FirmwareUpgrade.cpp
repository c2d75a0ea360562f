#include "wizards/FirmwareUpgrade.h"

#include "wizards/UpgradeWizFirm.h"

#include <utility>

namespace {

FirmwareUpgradeRunner& Runner()
{
    static FirmwareUpgradeRunner runner;
    return runner;
}

} // namespace

int RunFirmwareUpgradeWizard(CQorDevice& device, QWidget* parent)
{
    if (Runner()) {
        return Runner()(device, parent);
    }
    CUpgradeWizFirmSheet wizard(&device, parent);
    return wizard.DoModal();
}

FirmwareUpgradeRunner SetFirmwareUpgradeRunner(FirmwareUpgradeRunner runner)
{
    return std::exchange(Runner(), std::move(runner));
}
