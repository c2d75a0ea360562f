#pragma once
// CWVChannelView: the right-hand view of one channel. It shows the channel's settings and
// last calibration as label and value rows and carries Edit (Wipe for the turbidity
// wiper), Read and Calibrate, whose states follow the channel.
//
// The view keeps no node: the channel is the document's selected node, read at every
// update. Its size handling is shared with the channels view.

#include "app/WVView.h"

#include <cstdint>
#include <string>
#include <string_view>

class CQorChannel;
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
