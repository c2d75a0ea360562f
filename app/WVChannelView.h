#pragma once
// CWVChannelView: the right-hand view of one channel. It shows the channel's settings and
// last calibration as label and value rows and carries Edit (Wipe for the turbidity
// wiper), Read and Calibrate, whose states follow the channel, and carries their commands
// out (the tree's channel menu forwards its items here).
//
// The view keeps no node: the channel is the document's selected node, read at every
// update and again after every wait, since a wait runs events that may select another
// node, retire this view or take the device away; a command then stops without touching
// the channel or the device again. Its size handling is shared with the channels view.

#include "app/WVView.h"

#include <cstdint>
#include <string>
#include <string_view>

class CQorChannel;
class CQorDevice;
class CWVFrame;
class QSize;

class CWVChannelView : public CWVView {
    Q_OBJECT
public:
    static constexpr uint32_t kTemplateId = 101;
    static constexpr uint32_t kEditButton = 1188;
    static constexpr uint32_t kReadButton = 1190;
    static constexpr uint32_t kCalibrateButton = 1189;
    static constexpr const char* kColumnSection = "ChanView";
    static constexpr int kDefaultWidth0 = 60;
    static constexpr int kDefaultWidth1 = 155;

    explicit CWVChannelView(CWVFrame* frame, QWidget* parent = nullptr);

    void OnInitialUpdate() override;
    void OnUpdate() override;
    void UpdateScrollSizes(int width, int height) override;
    // The buttons and the tree's channel items (Edit, Read, Calibrate). An Edit or Calibrate
    // whose dialog is not registered is not taken, so the tree greys it.
    bool HandlesCommand(uint32_t command) const override;
    void OnViewCommand(uint32_t command) override;

    // Takes a live reading into the "Reading:" row.
    void OnRead();
    // Edits the channel: the optical sensor's foil coefficients or fixed salinity, a wipe,
    // the barometric setting or the channel wizard, by the sensor.
    void OnEdit();
    // Calibrates the channel: the sensor's calibration wizard, whose coefficients are then
    // written to the device, or the pressure zero of a level channel.
    void OnCalibrate();
    // Zeroes the level channel's pressure reading, in the instrument or by correcting the
    // sensor's offset record.
    void ZeroPressure(CQorDevice& device, CQorChannel& channel);

    // The barometric channel's setting of a sonde: the firmware check, the device's site
    // preferences read anew, then the "Edit Barometric Channel" dialog over parent. The
    // dialog's result, or 0 when it was not shown (no dialog registered, a refusal shown).
    static int EditBarometricChannel(CWVFrame& frame, QWidget* parent, CQorDevice& device);
    // True while a wipe command is on its way to a wiper (any view's).
    static bool IsWipeInProgress();

    // The row index of the "Reading:" row, -1 when the channel has none.
    int GetReadingRow() const { return m_readingRow; }

    // Grows list 1244 of a view with template size minimum to size and keeps its command
    // buttons below it; nothing while the view's layout is pending.
    static void OnSize(CWVView& view, const QSize& size, const QSize& minimum);
    // The cap-state text of the optical sensor: an expiry within 30 days, or the cap's
    // fault, which replaces it.
    static std::string CapStateText(uint32_t sensorTime, uint32_t capExpiry, int capStatus);
    // The isopotential text of an ion-selective channel's stored point.
    static std::string IsopotentialText(double value);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CQorChannel* Channel() const;
    // This view is the frame's form view and shows channel.
    bool Shows(const CQorChannel* channel) const;
    // Whether the Edit and Calibrate of channel have what they run (a registered dialog).
    static bool CanRunEdit(const CQorChannel& channel);
    static bool CanRunCalibrate(const CQorChannel& channel);
    void EditFoilCoefficients(CQorChannel& channel, CQorDevice& device);
    void EditSalinity(CQorChannel& channel, CQorDevice& device);
    void Wipe(CQorDevice& device);
    void EditBarometric(CQorChannel& channel, CQorDevice& device);
    void RunChannelWizard(CQorChannel& channel, CQorDevice& device);
    // Zeroing inside the instrument, and by the sensor's offset record.
    void ZeroInInstrument(CQorDevice& device, CQorChannel& channel);
    void ZeroOffsetRecord(CQorDevice& device, CQorChannel& channel);
    // One device failure of the pressure calibration, in the device-error box.
    void ReportZeroError(int protocolCode);
    void SetupColumns();
    void AddChannelRow(std::string_view label, std::string_view value);
    void AddRowIfValue(std::string_view label, std::string_view value);
    void UpdateEditButton(const CQorChannel& channel);
    void UpdateReadButton(const CQorChannel& channel);
    void UpdateCalibrateButton(const CQorChannel& channel);
    void AddSettingRows(CQorChannel& channel);
    void AddCalibrationRows(const CQorChannel& channel);
    void AddOpticalRows(const CQorChannel& channel);
    void AddPointRows(const CQorChannel& channel, int point, std::string_view label);
    void AddSegmentRows(const CQorChannel& channel, int segment, std::string_view label);
    void AddSerialRow(const CQorChannel& channel);
    void AddMfgRow(const CQorChannel& channel);

    CWVFrame* m_frame;
    int m_rowCounter = 0;
    int m_readingRow = -1;
};
