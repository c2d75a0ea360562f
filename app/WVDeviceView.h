#pragma once
// CWVDeviceView: the right-hand view of a device's own tree item. Showing it reads and
// expands the device; it lists the device's identity, versions, memory and battery, warns
// of nearly empty batteries, offers a firmware upgrade when a newer firmware is in the
// program's Firmware folder, and applies the device wizard's changes (name, clock,
// battery, ASCII output, SDI-12 settings) to the instrument.
//
// The view always works on the document's selected node, read when a command starts;
// every wait on the line runs events, so after each the view checks that it still shows
// the same device before it goes on. The firmware upgrade is posted with its device and
// runs at the top level only while the view still shows that device; at most one waits.

#include "app/WVView.h"

#include <cstdint>

class CDevWiz;
class CQorDevice;
class CWVFrame;

class CWVDeviceView : public CWVView {
    Q_OBJECT
public:
    // Template 116: a group box with thirteen rows of a label and a value, three buttons.
    static constexpr uint32_t kTemplateId = 116;
    static constexpr int kTemplateWidth = 384;
    static constexpr int kTemplateHeight = 310;
    // The scroll sizes follow the view only above this size.
    static constexpr int kMinScrollWidth = 384;
    static constexpr int kMinScrollHeight = 304;

    // Buttons.
    static constexpr uint32_t kEditButton = 1447;
    static constexpr uint32_t kRefreshButton = 1145;
    // The firmware upgrade message the view posts to itself (the first user message + 100).
    static constexpr uint32_t kFirmwareUpgradeMessage = 0x0400 + 100;

    // Group box and rows: label id, value id.
    static constexpr uint32_t kGroupBox = 1140;
    static constexpr uint32_t kInterfaceLabel = 1417, kInterfaceValue = 1143;
    static constexpr uint32_t kSerialLabel = 1418, kSerialValue = 1009;
    static constexpr uint32_t kNameLabel = 1419, kNameValue = 1222;
    static constexpr uint32_t kMfgDateLabel = 1420, kMfgDateValue = 1014;
    static constexpr uint32_t kCalDateLabel = 1421, kCalDateValue = 1016;
    static constexpr uint32_t kHardwareLabel = 1422, kHardwareValue = 1023;
    static constexpr uint32_t kFirmwareLabel = 1423, kFirmwareValue = 1019;
    static constexpr uint32_t kStorageLabel = 1424, kStorageValue = 1017;
    static constexpr uint32_t kBatteryDateLabel = 1426, kBatteryDateValue = 1013;
    static constexpr uint32_t kBatteryTypeLabel = 1425, kBatteryTypeValue = 1011;
    static constexpr uint32_t kBatteryLabel = 1427, kBatteryValue = 1144;
    static constexpr uint32_t kPowerLabel = 1430, kPowerValue = 1147;
    static constexpr uint32_t kRuntimeLabel = 1428, kRuntimeValue = 1024;

    explicit CWVDeviceView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // Expands the device, fills the rows, enables Edit, warns of a nearly empty battery
    // and offers a firmware upgrade.
    void OnUpdate() override;
    void UpdateScrollSizes(int width, int height) override;
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    void OnEditDevice();
    void OnRefresh();
    void OnFirmwareUpgrade();

    // True when Edit may run on device: no test runs and the power suffices.
    static bool CanEdit(const CQorDevice& device);
    // External power, or a battery above 5 %.
    static bool HasSufficientPower(const CQorDevice& device);
    // The device whose upgrade is posted and not yet run; null when none waits.
    const CQorDevice* GetPostedUpgradeDevice() const { return m_upgradeDevice; }

    // The wizard's reads and writes: each true on success (showing its own boxes).
    // lineLost is set when the modem line went while the name or clock was written.
    bool SendClock(CQorDevice& device, CDevWiz& wizard, bool read, bool* lineLost = nullptr);
    bool ReadWriteAscii(CQorDevice& device, CDevWiz& wizard, bool read);
    bool ReadWriteSdi12(CQorDevice& device, CDevWiz& wizard, bool read);
    // Writes the component the wizard's menu names.
    void ApplyDeviceEdit(CQorDevice& device, CDevWiz& wizard);

private:
    CQorDevice* Device() const;
    // True while this view is the frame's and shows device.
    bool IsShowing(const CQorDevice* device) const;
    void SetText(uint32_t id, const std::string& text);
    void ShowError(uint32_t textId, uint32_t captionId = 0);
    bool SendName(CQorDevice& device, CDevWiz& wizard, bool& lineLost);
    bool SendBattery(CQorDevice& device, CDevWiz& wizard);
    // Shows the SDI-12 read or write error box for status.
    void ShowSdi12Error(bool write, int status);
    // The firmware offer of step 6 of an update.
    void OfferFirmware(CQorDevice& device);

    CWVFrame* m_frame;
    CQorDevice* m_upgradeDevice = nullptr;
};
