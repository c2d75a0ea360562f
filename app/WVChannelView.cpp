#include "app/WVChannelView.h"

#include "app/CommandIds.h"
#include "app/WVChannelsView.h"
#include "app/WVFrame.h"
#include "comm/protocol/ChannelRecords.h"
#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "site/WVDoc.h"

#include <QResizeEvent>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr uint8_t kWiperKind = 26;
constexpr uint32_t kSecondsPerDay = 86400;
// Within this many days the cap's expiry is announced.
constexpr uint32_t kCapWarningDays = 30;
// The record's isopotential point of an ion-selective calibration.
constexpr int kIsopotentialPoint = 3;

std::string WithNumber(const char* format, int value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string_view Res(uint32_t id) { return GetResString(id); }

} // namespace

CWVChannelView::CWVChannelView(CWVFrame* frame, QWidget* parent)
    : CWVView(ViewTemplate{kTemplateId, true, 3, CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight},
              parent),
      m_frame(frame)
{
    // The view's commands come later: its buttons only show the channel's state.
    setObjectName(QString::number(static_cast<int>(ViewId::Channel)));
}

CQorChannel* CWVChannelView::Channel() const
{
    return dynamic_cast<CQorChannel*>(GetSelectedNodeOfType(NodeType::Channel));
}

void CWVChannelView::OnInitialUpdate()
{
    SetButton(1, kEditButton, kStrButtonEdit);
    SetButton(2, kReadButton, kStrButtonRead);
    SetButton(3, kCalibrateButton, kStrButtonCalibrate);
    CWVView::OnInitialUpdate();
    OnSize(*this, size(), QSize(CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight));
}

void CWVChannelView::SetupColumns()
{
    ResetList();
    InsertColumn(0, {}, Qt::AlignLeft, kDefaultWidth0, kColumnSection);
    InsertColumn(1, {}, Qt::AlignLeft, kDefaultWidth1, kColumnSection);
    m_rowCounter = 0;
}

void CWVChannelView::AddChannelRow(std::string_view label, std::string_view value)
{
    const int row = AddListItem(m_rowCounter, 0, label);
    AddListItem(row, 1, value);
    ++m_rowCounter;
}

void CWVChannelView::AddRowIfValue(std::string_view label, std::string_view value)
{
    if (!value.empty()) {
        AddChannelRow(label, value);
    }
}

void CWVChannelView::OnUpdate()
{
    CQorChannel* channel = Channel();
    SetupColumns();
    m_readingRow = -1;
    if (channel == nullptr) {
        SetCaption({});
        return;
    }
    SetCaption(channel->GetTypeName(false));
    UpdateEditButton(*channel);
    UpdateReadButton(*channel);
    UpdateCalibrateButton(*channel);
    AddSettingRows(*channel);
    const CQorDevice* device = channel->GetDevice();
    if (device != nullptr && device->IsFamily30to40()) {
        AddCalibrationRows(*channel);
    }
    if (channel->GetKind() == kWiperKind) {
        AddSerialRow(*channel);
        AddMfgRow(*channel);
    }
}

void CWVChannelView::UpdateEditButton(const CQorChannel& channel)
{
    if (channel.GetKind() == kWiperKind) {
        SetButton(1, kEditButton, kStrButtonWipe);
    } else {
        SetButton(1, kEditButton, kStrButtonEdit);
    }
    // The channel's commands come with a later step: the button shows the state it will
    // have but stays greyed until then.
    EnableControl(kEditButton, false);
}

void CWVChannelView::UpdateReadButton(const CQorChannel& /*channel*/) { EnableControl(kReadButton, false); }

void CWVChannelView::UpdateCalibrateButton(const CQorChannel& /*channel*/) { EnableControl(kCalibrateButton, false); }

void CWVChannelView::AddSettingRows(CQorChannel& channel)
{
    const uint8_t kind = channel.GetKind();
    if (kind != kWiperKind) {
        m_readingRow = m_rowCounter;
        AddChannelRow(Res(kStrChanRowReading), channel.GetReadingText(true));
    }
    AddRowIfValue("Port:", channel.GetPortText());
    // The list shows text as typed: an "&" needs no doubling.
    AddRowIfValue(Res(kStrChanRowName), channel.GetNameText());
    AddRowIfValue(Res(kStrChanRowDeltaT), channel.GetCoefficientText1());
    if (const std::string range = channel.GetRangeText(); !range.empty()) {
        AddChannelRow(Res(kStrChanRowCellConst), range);
    } else {
        AddRowIfValue(Res(kStrChanRowScale), channel.GetCoefficientText2());
    }
    AddRowIfValue(Res(kStrChanRowOffset), channel.GetOffsetText());
    if (kind != 5) {
        AddRowIfValue(Res(kStrChanRowRange), channel.GetPressureRangeText());
    }
    if (kind == 3) {
        AddRowIfValue(Res(kStrChanRowComp), channel.GetSensorModeText());
    }
    AddRowIfValue(Res(kStrChanRowMode), channel.GetLevelModeText());
    if (const std::string density = channel.GetDensityText(); !density.empty()) {
        AddChannelRow(Res(kStrChanRowDensity), density);
    } else {
        AddRowIfValue(Res(kStrChanRowSpecificGravity), channel.GetSpecificGravityText());
    }
    AddRowIfValue(Res(kStrChanRowLatElev), channel.GetLocationText());
    AddRowIfValue(Res(kStrChanRowWhenRef), channel.GetWhenToReadText());
    AddRowIfValue(Res(kStrChanRowRef), channel.GetLevelReferenceText());
}

void CWVChannelView::AddSerialRow(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    if (device != nullptr) {
        AddRowIfValue("Sensor SN:", device->GetDataWriter().FormatSensorSerial(channel.GetParameterId()));
    }
}

void CWVChannelView::AddMfgRow(const CQorChannel& channel)
{
    const CQorDevice* device = channel.GetDevice();
    AddChannelRow("Sensor Mfg Date:",
                  device != nullptr ? device->GetDataWriter().FormatSensorDate(channel.GetParameterId()) : std::string());
}

void CWVChannelView::AddPointRows(const CQorChannel& channel, int point, std::string_view label)
{
    AddChannelRow(label, channel.GetCalPointSolutionName(point));
    AddChannelRow({}, channel.FormatCalStimulus(point));
    AddChannelRow({}, channel.FormatCalResponse(point));
    AddChannelRow({}, channel.FormatCalTemperature(point));
}

void CWVChannelView::AddSegmentRows(const CQorChannel& channel, int segment, std::string_view label)
{
    AddRowIfValue(label, channel.FormatCalSlope(segment));
    AddRowIfValue({}, channel.FormatCalOffset(segment));
}

void CWVChannelView::AddCalibrationRows(const CQorChannel& channel)
{
    const uint8_t kind = channel.GetKind();
    // The record holds six points and three segments: a larger count stored on the
    // instrument shows no rows beyond them.
    const int points = std::clamp(channel.GetCalPointCount(), 0, static_cast<int>(kChannelSegments));
    const int segments = static_cast<int>(kChannelPairs);
    auto head = [&](bool withType) {
        AddSerialRow(channel);
        AddMfgRow(channel);
        AddRowIfValue(Res(kStrChanRowLastCal), channel.GetSensorDateText());
        AddRowIfValue(Res(kStrChanRowCalPoints), channel.GetSensorCountText());
        if (withType) {
            AddRowIfValue(Res(kStrChanRowCalType), channel.GetCalTypeName());
        }
    };
    auto allPoints = [&] {
        for (int i = 0; i < points; ++i) {
            AddPointRows(channel, i, WithNumber("Point %d:", i + 1));
        }
    };
    switch (kind) {
    case 4:
        head(true);
        allPoints();
        if (channel.GetCalPointCount() == 3) {
            AddSegmentRows(channel, 0, "Segment 1:");
            AddSegmentRows(channel, 1, "Segment 2:");
        } else {
            AddSegmentRows(channel, 0, {});
        }
        break;
    case 5:
        AddSerialRow(channel);
        AddRowIfValue("Sensor Type:", channel.GetSensorModeText());
        AddMfgRow(channel);
        AddRowIfValue(Res(kStrChanRowRange), channel.GetPressureRangeText());
        AddRowIfValue(Res(kStrChanRowLastCal), channel.GetSensorDateText());
        AddRowIfValue(Res(kStrChanRowCalPoints), channel.GetSensorCountText());
        AddRowIfValue(Res(kStrChanRowCalType), channel.GetCalTypeName());
        AddPointRows(channel, 1, {});
        AddSegmentRows(channel, 1, {});
        break;
    case 7:
        head(false);
        AddChannelRow({}, channel.FormatCalTemperature(0));
        AddChannelRow({}, channel.FormatCalBarometer());
        AddChannelRow({}, channel.FormatCalStimulus(0));
        AddChannelRow({}, channel.FormatCalResponse(0));
        AddSegmentRows(channel, 0, {});
        break;
    case 8:
        head(true);
        AddPointRows(channel, 0, "Point 1:");
        AddSegmentRows(channel, 0, {});
        break;
    case 13:
    case 16:
    case 17: {
        head(true);
        allPoints();
        AddSegmentRows(channel, 0, {});
        const CalSegment& iso = channel.GetDefinition().segments[kIsopotentialPoint];
        AddChannelRow("IsoPotential Point", IsopotentialText(static_cast<double>(iso.standard)));
        break;
    }
    case 22:
        head(true);
        allPoints();
        if (channel.GetCalPointCount() > 1) {
            for (int i = 0; i < std::min(points - 1, segments); ++i) {
                AddSegmentRows(channel, i, WithNumber("Segment %d:", i + 1));
            }
        } else {
            AddSegmentRows(channel, 0, {});
        }
        break;
    case 28: AddOpticalRows(channel); break;
    default: break;
    }
}

void CWVChannelView::AddOpticalRows(const CQorChannel& channel)
{
    const uint8_t id = channel.GetParameterId();
    if (id == 17 || id == 37) {
        const CQorDevice* device = channel.GetDevice();
        const std::string capState =
            device != nullptr ? CapStateText(device->GetDataWriter().GetSensorTime(),
                                             device->GetDataWriter().GetCapExpiryTime(),
                                             device->GetDataWriter().OpticalCapStatus())
                              : std::string();
        AddChannelRow({}, {});
        AddChannelRow("Sensor Information:", {});
        AddChannelRow("      Serial Number:", channel.GetHdoProbeSerialText());
        AddChannelRow("      Manufacturing Date:", channel.GetHdoProbeMfgDateText());
        AddChannelRow("      Last Calibration:", channel.GetSensorDateText());
        AddChannelRow("      Firmware Version:", channel.GetHdoProbeFirmwareText());
        AddChannelRow("      Fixed Salinity (psu):", channel.GetHdoProbeSalinityText());
        AddChannelRow({}, {});
        AddChannelRow("Cap Information:", capState);
        AddChannelRow("      Serial Number:", channel.GetHdoCapSerialText());
        AddChannelRow("      Manufacturing Date:", channel.GetHdoCapMfgDateText());
        AddChannelRow("      Expiration Date:", channel.GetHdoCapExpiryDateText());
        AddChannelRow({}, {});
        AddChannelRow("Calibration Information:", {});
        AddChannelRow("      Saturation Point:", channel.FormatHdoSaturationMgL());
        AddChannelRow({}, channel.FormatHdoSaturationTempC());
        AddChannelRow({}, channel.FormatHdoSaturationMbar());
        AddChannelRow("      Zero Point:", channel.FormatHdoZeroMgL());
        AddChannelRow({}, channel.FormatHdoZeroTempC());
        AddChannelRow("      Calibration slope:", channel.FormatHdoCalSlope());
        AddChannelRow("      Calibration offset:", channel.FormatHdoCalOffset());
        return;
    }
    AddChannelRow("Sensor Model #:", channel.GetHdoSensorModelText());
    AddChannelRow("Sensor Firmware Ver #:", channel.GetHdoSensorFirmwareText());
    AddMfgRow(channel);
    AddChannelRow("Adapter Firmware Ver #:", channel.GetHdoAdapterFirmwareText());
    AddRowIfValue(Res(kStrChanRowLastCal), channel.GetSensorDateText());
    AddChannelRow("Saturation Point:", channel.FormatHdoSaturationPhase());
    AddChannelRow({}, channel.FormatHdoSaturationTemperature());
    AddChannelRow({}, channel.FormatHdoSaturationBarometer());
    AddChannelRow("Zero Point:", channel.FormatHdoZeroPhase());
    AddChannelRow({}, channel.FormatHdoZeroTemperature());
    AddChannelRow("Fixed Salinity(PSU):", channel.FormatHdoFixedSalinity());
    AddChannelRow("Calibrated Phase Coefficients:", channel.FormatHdoPhaseCoefficients());
    AddChannelRow("Temperature Coefficients:", channel.FormatHdoTemperatureCoefficients());
    AddChannelRow("Foil Batch #:", channel.GetHdoFoilBatchText());
    AddChannelRow("Foil Change Date:", channel.GetHdoFoilChangeDateText());
    AddChannelRow("Foil Coefficients:", {});
    for (int g = 0; g <= 4; ++g) {
        AddChannelRow(WithNumber("Coeff%d", g), channel.FormatHdoFoilCoefficients(g));
    }
}

std::string CWVChannelView::CapStateText(uint32_t sensorTime, uint32_t capExpiry, int capStatus)
{
    switch (capStatus) {
    case kCapStatusSensorError: return "(Unknown error)";
    case kCapStatusNotDetected: return "(Cap not detected)";
    case kCapStatusExpired: return "(Cap EXPIRED)";
    case kCapStatusInvalid: return "(Incorrect cap type)";
    default: break;
    }
    const uint32_t days = capExpiry > sensorTime ? (capExpiry - sensorTime) / kSecondsPerDay : 0;
    if (days > 0 && days < kCapWarningDays) {
        return WithNumber("(Cap expires in %d day(s))", static_cast<int>(days));
    }
    return {};
}

std::string CWVChannelView::IsopotentialText(double value)
{
    if (!std::isfinite(value)) {
        return "Isopotential point[ppm] = Infinite , POSSIBLE ERROR";
    }
    if (value == 0.0) {
        return "Isopotential point[ppm] = null (requires 3 point calibration)";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%f.", value);
    return text;
}

void CWVChannelView::UpdateScrollSizes(int width, int height)
{
    if (width >= CWVChannelsView::kMinScrollWidth && height >= CWVChannelsView::kMinScrollHeight) {
        CWVView::UpdateScrollSizes(width, height);
    }
}

void CWVChannelView::OnSize(CWVView& view, const QSize& size, const QSize& minimum)
{
    if (view.IsLayoutPending()) {
        return;
    }
    // The list grows with the view and the buttons keep to its bottom; below the
    // template's size the form scrolls instead.
    view.GrowControl(wvcmd::kReportList, std::max(size.width(), minimum.width()),
                     std::max(size.height(), minimum.height()));
    for (int slot = 1; slot <= 3; ++slot) {
        if (const int id = view.GetButtonId(slot); id > 0 && view.FindControl(static_cast<uint32_t>(id)) != nullptr) {
            view.MoveControlDown(static_cast<uint32_t>(id));
        }
    }
}

void CWVChannelView::resizeEvent(QResizeEvent* event)
{
    CWVView::resizeEvent(event);
    OnSize(*this, event->size(), QSize(CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight));
}

void CWVChannelView::showEvent(QShowEvent* event)
{
    CWVView::showEvent(event);
    OnSize(*this, size(), QSize(CWVChannelsView::kTemplateWidth, CWVChannelsView::kTemplateHeight));
}
