#pragma once
// CWVChannelsView: the right-hand view of a device's parameters. It lists the device's
// channels with their last readings and reads the selected ones on demand.
//
// The view keeps no node: the device is the document's selected node, read when a command
// starts. Each row remembers the slot of the channel it shows, so a command on a row acts
// on that row's own channel whatever other slots the device has.

#include "app/WVView.h"

#include <cstdint>
#include <string>
#include <vector>

class CAppPreferences;
class CQorChannel;
class CQorDevice;
class CWVFrame;

class CWVChannelsView : public CWVView {
    Q_OBJECT
public:
    // Template 101: list 1244 and three command buttons (shared with the channel view).
    static constexpr uint32_t kTemplateId = 101;
    static constexpr int kTemplateWidth = 400;
    static constexpr int kTemplateHeight = 260;
    // The smallest size for which the scroll sizes follow the view.
    static constexpr int kMinScrollWidth = 260;
    static constexpr int kMinScrollHeight = 80;
    // Button ids of slots 1 to 3.
    static constexpr uint32_t kReadButton = 1214;
    static constexpr uint32_t kQuickCalButton = 326;
    static constexpr uint32_t kProfilerButton = 1591;
    // The registry section and values of the list's column widths.
    static constexpr const char* kColumnSection = "ChanList";
    static constexpr const char* kColumnValue0 = "NonOstrelCol0";
    static constexpr const char* kColumnValue1 = "NonOstrelCol1";
    static constexpr int kDefaultWidth0 = 188;
    static constexpr int kDefaultWidth1 = 170;
    // The data role of column 0 that holds the row's channel slot.
    static constexpr int kSlotRole = Qt::UserRole + 1;

    explicit CWVChannelsView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    // The rows rebuilt from the selected device, then the buttons.
    void OnUpdate() override;
    void SaveColumnWidths() override;
    void UpdateScrollSizes(int width, int height) override;
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // Read, QuickCal and Profiler by the device and the selection. QuickCal and Profiler
    // stay disabled while no calibration tools are registered.
    void UpdateButtons(CQorDevice* device);
    // Quick calibration of the device's sensors: the chosen sensors' new coefficients go
    // to the device, then the run's report is written and offered.
    void OnQuickCal();
    // The device's channels that quick calibration offers, in slot order.
    static std::vector<CQorChannel*> QuickCalChannels(const CQorDevice& device);
    // After a calibration: asks "View Reports?" while the preferences say to ask, and opens
    // every report, in order, while they say to view them. Nothing for no report.
    static void OfferCalibrationReports(CWVFrame& frame, CAppPreferences& preferences,
                                        const std::vector<std::string>& reportPaths);
    // Reads the channels of the selected rows, in row order, with progress.
    void ReadChannels(bool busy);
    void OnRead() { ReadChannels(true); }
    void OnListClick();
    void OnListItemChanged();
    // Selects, in the tree, the channel of the first selected row (of the first row when
    // none is selected).
    void OnListDblClk();

    // A stored column width of section "ChanList": only its low 16 bits count.
    static int ReadColumnWidth(const char* value, int defaultWidth);
    // The channel slot a row shows, -1 for no such row.
    int RowSlot(int row) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CQorDevice* Device() const;
    // The selected rows in ascending order.
    std::vector<int> SelectedRows() const;

    CWVFrame* m_frame;
    bool m_quickCalRunning = false;
};
