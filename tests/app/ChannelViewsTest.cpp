// The channels list and the channel information view of a found sonde, against the
// instrument simulator: the rows, the Read command with its progress, the wiper rule,
// double-clicking a row into its channel's view and the rows of that view.

#include "tests/app/AppFixture.h"

#include "app/AppPreferences.h"
#include "app/CalibrationTools.h"
#include "app/CommandIds.h"
#include "app/controls/AskDlg.h"
#include "resources/StringTable.h"
#include "app/WVChannelView.h"
#include "app/WVChannelsView.h"
#include "foundation/Registry.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/Process.h"
#include "values/CalCoeffsCond.h"
#include "values/CalCoeffsDO.h"
#include "values/CalCoeffsORP.h"
#include "values/CalCoeffsPH.h"
#include "tests/support/Files.h"
#include "site/QikProfDataWriter.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/ChannelCommands.h"
#include "tools/instrument-sim/DeviceCommands.h"
#include "tools/instrument-sim/ProfilingDevices.h"
#include "tools/instrument-sim/TestCommands.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kSonde = 2002;

struct Row {
    std::string label;
    std::string value;
};

class ChannelViewsTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kSonde, 30, "Sonde", 9600);
        sim.WithDevice(kSonde, [this](wv::sim::SimDevice& d) {
            wv::sim::SetUpFullSonde(d);
            Configure(d);
        });
        ASSERT_TRUE(sim.Start()) << sim.LastError();
        port = wv::AddComPort(sim.SlavePath());
        ASSERT_GE(port, 1);
        Start();
        app_->GetPreferences().expandOnFind = 0;
        UseSimulatorPump(sim);
        CQorConnection& connection = wvtest::AddDirectConnection(*Doc().GetSite(), &Tree(), "Bench", port, true);
        Tree().FindDevices(connection);
        ASSERT_EQ(connection.GetDeviceCount(), 1);
        sonde = connection.GetDevice(0);
        Tree().SelectItem(sonde->GetTreeItem());
        Pump();
        std::unique_ptr<QMenu> menu(Tree().BuildContextMenu());
        ASSERT_NE(menu, nullptr);
        QAction* refresh = menu->findChild<QAction*>(QString::number(wvcmd::kTreeRefresh));
        ASSERT_NE(refresh, nullptr);
        refresh->trigger();
        ASSERT_NE(sonde->GetChannelsItem(), kNoTreeItem);
        messages.clear();
    }

    // Changes the simulated sonde before it is found.
    virtual void Configure(wv::sim::SimDevice& /*device*/) {}

    CWVChannelsView* ShowChannels()
    {
        Tree().SelectItem(sonde->GetChannelsItem());
        Pump();
        return dynamic_cast<CWVChannelsView*>(Frame().GetFormView());
    }
    CWVChannelView* ShowChannel(const CQorChannel& channel)
    {
        Tree().SelectItem(channel.GetTreeItem());
        Pump();
        return dynamic_cast<CWVChannelView*>(Frame().GetFormView());
    }
    // The first channel of a kind (and, when given, parameter id) in slot order.
    CQorChannel* ChannelOf(int kind, int id = -1)
    {
        for (int slot = 0; slot < sonde->GetChannelCount(); ++slot) {
            CQorChannel* channel = sonde->GetChannel(slot, false);
            if (channel != nullptr && channel->GetKind() == kind && (id < 0 || channel->GetParameterId() == id)) {
                return channel;
            }
        }
        return nullptr;
    }
    static std::vector<Row> Rows(const CWVView& view)
    {
        std::vector<Row> rows;
        const QTreeWidget* list = view.GetList();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            rows.push_back({list->topLevelItem(i)->text(0).toStdString(), list->topLevelItem(i)->text(1).toStdString()});
        }
        return rows;
    }
    static int RowOf(const std::vector<Row>& rows, const std::string& label)
    {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].label == label) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    static int RowShowing(const CWVChannelsView& view, const CQorChannel& channel)
    {
        for (int row = 0; row < view.GetList()->topLevelItemCount(); ++row) {
            if (view.GetList()->topLevelItem(row)->text(0).toStdString() == channel.GetDisplayName(false)) {
                return row;
            }
        }
        return -1;
    }
    static void Select(CWVChannelsView& view, const std::vector<int>& rows)
    {
        view.GetList()->clearSelection();
        for (const int row : rows) {
            view.GetList()->topLevelItem(row)->setSelected(true);
        }
    }
    static bool Enabled(const CWVView& view, uint32_t id)
    {
        const QWidget* control = view.FindControl(id);
        return control != nullptr && control->isEnabled();
    }

    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }
    static wv::sim::SimOptions OnClock(wv::Clock& clock)
    {
        wv::sim::SimOptions options;
        options.clock = &clock;
        return options;
    }
    wv::ManualClock clock{1000000};
    wv::sim::InstrumentSim sim{OnClock(clock)};
    commtest::SimulatorEventClock pacedClock{clock, sim, [this] { return OpenLink(); }, 1000};
    wv::ScopedClock useClock{pacedClock};
    int port = 0;
    CQorDevice* sonde = nullptr;
};

TEST_F(ChannelViewsTest, TheListShowsEveryParameterOfTheSondeWithItsRowSlot)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetCaption(), "Parameter Information");
    EXPECT_EQ(view->GetList()->headerItem()->text(0).toStdString(), "Parameter Type and Name");
    EXPECT_EQ(view->GetList()->headerItem()->text(1).toStdString(), "Reading");
    for (const auto& [id, caption] : {std::pair{CWVChannelsView::kReadButton, "Read"},
                                      std::pair{CWVChannelsView::kQuickCalButton, "QuickCal"},
                                      std::pair{CWVChannelsView::kProfilerButton, "Profiler"}}) {
        auto* button = qobject_cast<QPushButton*>(view->FindControl(id));
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->text().toStdString(), caption);
        EXPECT_FALSE(button->isEnabled()) << id;
    }
    // Every shown channel in slot order, each row naming the slot of the channel it shows.
    std::vector<std::string> expected;
    for (int slot = 0; slot < sonde->GetChannelCount(); ++slot) {
        const CQorChannel* channel = sonde->GetChannel(slot, false);
        if (channel != nullptr && channel->GetKind() != 0) {
            expected.push_back(channel->GetDisplayName(false));
        }
    }
    const std::vector<Row> rows = Rows(*view);
    ASSERT_EQ(rows.size(), expected.size());
    ASSERT_GE(rows.size(), 10u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].label, expected[i]);
        EXPECT_EQ(sonde->GetChannel(view->RowSlot(static_cast<int>(i)), false)->GetDisplayName(false), expected[i]);
    }
}

TEST_F(ChannelViewsTest, ReadFollowsTheSelectionAndTheWiperAloneCountsAsNone)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    const CQorChannel* wiper = ChannelOf(26);
    const CQorChannel* ph = ChannelOf(4);
    ASSERT_NE(wiper, nullptr);
    ASSERT_NE(ph, nullptr);
    const int wiperRow = RowShowing(*view, *wiper);
    const int phRow = RowShowing(*view, *ph);
    ASSERT_GE(wiperRow, 0);
    ASSERT_GE(phRow, 0);
    ASSERT_LT(phRow, wiperRow);
    struct Case {
        std::vector<int> rows;
        bool readEnabled;
    };
    const Case cases[] = {{{}, false}, {{wiperRow}, false}, {{phRow}, true}, {{phRow, wiperRow}, true}};
    for (const Case& c : cases) {
        Select(*view, c.rows);
        EXPECT_EQ(Enabled(*view, CWVChannelsView::kReadButton), c.readEnabled) << c.rows.size();
        EXPECT_FALSE(Enabled(*view, CWVChannelsView::kQuickCalButton));
        EXPECT_FALSE(Enabled(*view, CWVChannelsView::kProfilerButton));
    }
}

TEST_F(ChannelViewsTest, ReadingTwoRowsCountsThemAndFillsTheirReadings)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    const int first = 0;
    const int second = 1;
    // Readings are blank until read.
    Select(*view, {second, first});
    for (const int row : {first, second}) {
        view->GetList()->topLevelItem(row)->setText(1, QString());
    }
    std::vector<std::string> statuses;
    auto* pane = Frame().findChild<QLabel*>(QStringLiteral("pane0"));
    ASSERT_NE(pane, nullptr);
    duringSearch = [&] {
        const std::string text = pane->text().toStdString();
        if (statuses.empty() || statuses.back() != text) {
            statuses.push_back(text);
        }
        return false;
    };
    QPushButton* read = qobject_cast<QPushButton*>(view->FindControl(CWVChannelsView::kReadButton));
    ASSERT_NE(read, nullptr);
    ASSERT_TRUE(read->isEnabled());
    read->click();
    duringSearch = nullptr;
    const auto seen = [&](const std::string& text) {
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    };
    EXPECT_TRUE(seen("Reading Parameter 1 of 2...")) << statuses.size();
    EXPECT_TRUE(seen("Reading Parameter 2 of 2..."));
    EXPECT_FALSE(seen("Reading Parameter 1 of 1..."));
    for (const int row : {first, second}) {
        const CQorChannel* channel = sonde->GetChannel(view->RowSlot(row), false);
        EXPECT_FALSE(view->GetList()->topLevelItem(row)->text(1).isEmpty()) << row;
        EXPECT_EQ(view->GetList()->topLevelItem(row)->text(1).toStdString(),
                  const_cast<CQorChannel*>(channel)->GetReadingText(false));
    }
    // With nothing selected, Read reads nothing.
    statuses.clear();
    view->GetList()->clearSelection();
    view->OnViewCommand(CWVChannelsView::kReadButton);
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(Frame().findChild<QWidget*>(QString::number(wvcmd::kProgressBar)), nullptr);
}

TEST_F(ChannelViewsTest, DoubleClickingARowOpensThatRowsOwnChannel)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    const CQorChannel* orp = ChannelOf(8);
    ASSERT_NE(orp, nullptr);
    const int row = RowShowing(*view, *orp);
    ASSERT_GE(row, 0);
    Select(*view, {row});
    view->OnListDblClk();
    Pump();
    EXPECT_EQ(Doc().GetSelectedNode(), orp);
    auto* channelView = dynamic_cast<CWVChannelView*>(Frame().GetFormView());
    ASSERT_NE(channelView, nullptr);
    EXPECT_EQ(channelView->GetCaption(), orp->GetTypeName(false));
}

// A sonde whose second slot holds a channel of no kind: it has no row, and the rows after
// it still act on their own channels.
class ChannelViewsEmptySlotTest : public ChannelViewsTest {
protected:
    void Configure(wv::sim::SimDevice& device) override
    {
        wv::sim::SimDeviceRecords& ports = wv::sim::DeviceRecordsOf(device);
        wv::sim::SimChannelRecords& channels = wv::sim::ChannelRecordsOf(device);
        // A sensor record (its form carries the kind) with no kind.
        wv::sim::SimChannel none = channels.channels.at(11);
        none.record.channelNumber = kNoKindChannel;
        none.record.parameterType = 0;
        channels.channels[kNoKindChannel] = none;
        ports.ports.insert(ports.ports.begin() + 1, kNoKindChannel);
        wv::sim::SyncChannelStoredRecords(device);
    }
    static constexpr uint8_t kNoKindChannel = 50;
};

TEST_F(ChannelViewsEmptySlotTest, RowsAfterAChannelOfNoKindOpenTheirOwnChannels)
{
    const CQorChannel* noKind = sonde->GetChannel(1, false);
    ASSERT_NE(noKind, nullptr);
    ASSERT_EQ(noKind->GetKind(), 0);
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(RowShowing(*view, *noKind), -1);
    const CQorChannel* orp = ChannelOf(8);
    ASSERT_NE(orp, nullptr);
    const int row = RowShowing(*view, *orp);
    ASSERT_GE(row, 1);
    EXPECT_EQ(sonde->GetChannel(view->RowSlot(row), false), orp);
    Select(*view, {row});
    view->OnListDblClk();
    Pump();
    EXPECT_EQ(Doc().GetSelectedNode(), orp);
}

TEST_F(ChannelViewsTest, ColumnWidthsAreSavedAndOnlyTheirLow16BitsRead)
{
    EXPECT_EQ(CWVChannelsView::ReadColumnWidth(CWVChannelsView::kColumnValue1, CWVChannelsView::kDefaultWidth1),
              CWVChannelsView::kDefaultWidth1);
    WriteRegDword(CWVChannelsView::kColumnSection, CWVChannelsView::kColumnValue1, 0x10000u + 400u);
    EXPECT_EQ(CWVChannelsView::ReadColumnWidth(CWVChannelsView::kColumnValue1, CWVChannelsView::kDefaultWidth1), 400);

    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    view->GetList()->setColumnWidth(0, 321);
    view->SaveColumnWidths();
    EXPECT_EQ(ReadRegDword(CWVChannelsView::kColumnSection, CWVChannelsView::kColumnValue0, 0), 321u);
    // The last column fills the list: its width is whatever the list shows.
    EXPECT_EQ(ReadRegDword(CWVChannelsView::kColumnSection, CWVChannelsView::kColumnValue1, 0),
              static_cast<uint32_t>(view->GetList()->columnWidth(1)));
}

TEST_F(ChannelViewsTest, APhChannelShowsItsSettingsAndCalibration)
{
    CQorChannel* ph = ChannelOf(4);
    ASSERT_NE(ph, nullptr);
    CWVChannelView* view = ShowChannel(*ph);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->GetCaption(), ph->GetTypeName(false));
    const std::vector<Row> rows = Rows(*view);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].label, "Reading:");
    EXPECT_EQ(view->GetReadingRow(), 0);
    for (const char* label : {"Sensor Mfg Date:", "Last Cal:", "Cal Type:", "Point 1:"}) {
        EXPECT_GE(RowOf(rows, label), 0) << label;
    }
    // One point row group per stored point, up to the record's six.
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(RowOf(rows, "Point " + std::to_string(i) + ":") >= 0, i <= std::min(ph->GetCalPointCount(), 6)) << i;
    }
    const std::string serial = ph->GetDevice()->GetDataWriter().FormatSensorSerial(ph->GetParameterId());
    EXPECT_EQ(RowOf(rows, "Sensor SN:") >= 0, !serial.empty());
    // A sonde's pH channel is not edited; it reads while tests can start, and without a
    // registered calibration wizard Calibrate stays greyed.
    EXPECT_FALSE(Enabled(*view, CWVChannelView::kEditButton));
    EXPECT_EQ(Enabled(*view, CWVChannelView::kReadButton), sonde->CanStartTests() && ph->CanRead());
    EXPECT_FALSE(Enabled(*view, CWVChannelView::kCalibrateButton));
}

TEST_F(ChannelViewsTest, ConductivityShowsRangeOnlyInItsCalibrationBlock)
{
    CQorChannel* cond = ChannelOf(5);
    ASSERT_NE(cond, nullptr);
    CWVChannelView* view = ShowChannel(*cond);
    ASSERT_NE(view, nullptr);
    const std::vector<Row> rows = Rows(*view);
    const int range = RowOf(rows, "Range:");
    const int mfg = RowOf(rows, "Sensor Mfg Date:");
    ASSERT_GE(mfg, 0);
    if (!cond->GetPressureRangeText().empty()) {
        EXPECT_EQ(range, mfg + 1);
    } else {
        EXPECT_EQ(range, -1);
    }
}

TEST_F(ChannelViewsTest, TheWiperHasNoReadingRowAndItsEditButtonWipes)
{
    CQorChannel* wiper = ChannelOf(26);
    ASSERT_NE(wiper, nullptr);
    CWVChannelView* view = ShowChannel(*wiper);
    ASSERT_NE(view, nullptr);
    const std::vector<Row> rows = Rows(*view);
    EXPECT_EQ(RowOf(rows, "Reading:"), -1);
    EXPECT_EQ(view->GetReadingRow(), -1);
    EXPECT_GE(RowOf(rows, "Sensor Mfg Date:"), 0);
    auto* edit = qobject_cast<QPushButton*>(view->FindControl(CWVChannelView::kEditButton));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text().toStdString(), "Wipe");
    EXPECT_EQ(edit->isEnabled(), wiper->CanCalibrateNow());

    // Back on another channel the button is Edit again.
    CWVChannelView* other = ShowChannel(*ChannelOf(4));
    ASSERT_NE(other, nullptr);
    auto* again = qobject_cast<QPushButton*>(other->FindControl(CWVChannelView::kEditButton));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->text().toStdString(), "Edit...");
}

TEST_F(ChannelViewsTest, TheCappedOpticalSensorShowsItsSensorCapAndCalibrationBlocks)
{
    CQorChannel* capped = nullptr;
    for (const int id : {17, 37}) {
        if (capped == nullptr) {
            capped = ChannelOf(28, id);
        }
    }
    ASSERT_NE(capped, nullptr);
    CWVChannelView* view = ShowChannel(*capped);
    ASSERT_NE(view, nullptr);
    const std::vector<Row> rows = Rows(*view);
    const int sensor = RowOf(rows, "Sensor Information:");
    const int cap = RowOf(rows, "Cap Information:");
    const int cal = RowOf(rows, "Calibration Information:");
    ASSERT_GE(sensor, 0);
    EXPECT_EQ(cap, sensor + 7);
    EXPECT_EQ(cal, cap + 5);
    EXPECT_EQ(rows[static_cast<size_t>(sensor + 1)].label, "      Serial Number:");
    EXPECT_EQ(rows[static_cast<size_t>(sensor + 1)].value, capped->GetHdoProbeSerialText());
    EXPECT_EQ(rows[static_cast<size_t>(cap + 3)].value, capped->GetHdoCapExpiryDateText());
    // The simulated cap expires in 45 days: no warning yet.
    EXPECT_EQ(rows[static_cast<size_t>(cap)].value, "");
    EXPECT_EQ(rows.back().label, "      Calibration offset:");

    // The adapter-attached sensor shows its own block, foil coefficients last.
    CQorChannel* adapter = nullptr;
    for (int slot = 0; slot < sonde->GetChannelCount(); ++slot) {
        CQorChannel* channel = sonde->GetChannel(slot, false);
        if (channel != nullptr && channel->GetKind() == 28 && channel != capped) {
            adapter = channel;
        }
    }
    ASSERT_NE(adapter, nullptr);
    CWVChannelView* other = ShowChannel(*adapter);
    ASSERT_NE(other, nullptr);
    const std::vector<Row> adapterRows = Rows(*other);
    EXPECT_GE(RowOf(adapterRows, "Sensor Model #:"), 0);
    EXPECT_EQ(RowOf(adapterRows, "Cap Information:"), -1);
    EXPECT_EQ(adapterRows.back().label, "Coeff4");
}

// A sonde whose pH sensor reports more points than the record holds, whose turbidity
// sensor has six points and whose barometer carries an ampersand in its name.
class ChannelViewsCountsTest : public ChannelViewsTest {
protected:
    void Configure(wv::sim::SimDevice& device) override
    {
        wv::sim::SimChannelRecords& channels = wv::sim::ChannelRecordsOf(device);
        channels.channels.at(11).record.calibrationPointCount = 9;
        ChannelDefinitionRecord& turbidity = channels.channels.at(22).record;
        turbidity.calibrationPointCount = 6;
        for (size_t i = 4; i < 6; ++i) {
            turbidity.segments[i] = CalSegment{1, 900.0f + static_cast<float>(i), 890.0f, 20.0f};
        }
        SetChannelName(channels.channels.at(kBarometricChannelNumber).record, "Baro & Co");
        wv::sim::SyncChannelStoredRecords(device);
    }
    std::vector<std::string> Labels(const CQorChannel& channel)
    {
        std::vector<std::string> labels;
        CWVChannelView* view = ShowChannel(channel);
        if (view != nullptr) {
            for (const Row& row : Rows(*view)) {
                if (!row.label.empty()) {
                    labels.push_back(row.label);
                }
            }
        }
        return labels;
    }
};

TEST_F(ChannelViewsCountsTest, PointRowsStopAtSixSegmentRowsAtThreeAndNamesShowAsTyped)
{
    const auto has = [](const std::vector<std::string>& labels, const std::string& label) {
        return std::find(labels.begin(), labels.end(), label) != labels.end();
    };
    CQorChannel* ph = ChannelOf(4);
    ASSERT_NE(ph, nullptr);
    ASSERT_EQ(ph->GetCalPointCount(), 9);
    const std::vector<std::string> phLabels = Labels(*ph);
    EXPECT_TRUE(has(phLabels, "Point 6:"));
    EXPECT_FALSE(has(phLabels, "Point 7:"));

    CQorChannel* turbidity = ChannelOf(22);
    ASSERT_NE(turbidity, nullptr);
    ASSERT_EQ(turbidity->GetCalPointCount(), 6);
    const std::vector<std::string> turbidityLabels = Labels(*turbidity);
    EXPECT_TRUE(has(turbidityLabels, "Point 6:"));
    EXPECT_TRUE(has(turbidityLabels, "Segment 3:"));
    EXPECT_FALSE(has(turbidityLabels, "Segment 4:"));

    CQorChannel* baro = ChannelOf(kParamBarometric);
    ASSERT_NE(baro, nullptr);
    CWVChannelView* view = ShowChannel(*baro);
    ASSERT_NE(view, nullptr);
    const std::vector<Row> rows = Rows(*view);
    const int name = RowOf(rows, "Name:");
    ASSERT_GE(name, 0);
    EXPECT_EQ(rows[static_cast<size_t>(name)].value, "Baro & Co");
}

TEST(ChannelViewTexts, CapStateText)
{
    constexpr uint32_t kNow = 1700000000;
    constexpr uint32_t kDay = 86400;
    struct Case {
        uint32_t expiry;
        int status;
        const char* text;
    };
    const Case cases[] = {
        {kNow + 10 * kDay, kCapStatusOk, "(Cap expires in 10 day(s))"},
        {kNow + 10 * kDay + 5, kCapStatusOk, "(Cap expires in 10 day(s))"},
        {kNow + 29 * kDay, kCapStatusOk, "(Cap expires in 29 day(s))"},
        {kNow + 30 * kDay, kCapStatusOk, ""},
        {kNow + kDay - 1, kCapStatusOk, ""},
        {kNow - 5 * kDay, kCapStatusOk, ""},
        {kNow + 10 * kDay, kCapStatusExpired, "(Cap EXPIRED)"},
        {kNow + 90 * kDay, kCapStatusExpired, "(Cap EXPIRED)"},
        {kNow + 10 * kDay, kCapStatusNotDetected, "(Cap not detected)"},
        {kNow + 10 * kDay, kCapStatusInvalid, "(Incorrect cap type)"},
        {kNow + 10 * kDay, kCapStatusSensorError, "(Unknown error)"},
        {kNow + 10 * kDay, kCapStatusUnknown, "(Cap expires in 10 day(s))"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CWVChannelView::CapStateText(kNow, c.expiry, c.status), c.text) << c.expiry - kNow << " " << c.status;
    }
}

TEST(ChannelViewTexts, IsopotentialText)
{
    EXPECT_EQ(CWVChannelView::IsopotentialText(0.0), "Isopotential point[ppm] = null (requires 3 point calibration)");
    EXPECT_EQ(CWVChannelView::IsopotentialText(std::numeric_limits<double>::infinity()),
              "Isopotential point[ppm] = Infinite , POSSIBLE ERROR");
    EXPECT_EQ(CWVChannelView::IsopotentialText(std::nan("")), "Isopotential point[ppm] = Infinite , POSSIBLE ERROR");
    EXPECT_EQ(CWVChannelView::IsopotentialText(12.5), "12.500000.");
}

// ---- Quick calibration through the registered calibration tools ----

namespace fs = std::filesystem;

// A quick calibration that answers as scripted: its result, the sensors chosen and their
// models; it records what it was offered and the report it was asked for.
class ScriptedCalTools : public CCalibrationTools {
public:
    class Run : public CQuickCalRun {
    public:
        explicit Run(ScriptedCalTools& tools) : tools_(tools) {}
        int GetResult() const override { return tools_.result; }
        bool IsSensorSelected(std::string_view sensor) const override
        {
            std::string upper(sensor);
            for (char& c : upper) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            return tools_.selected.count(upper) != 0;
        }
        const CCalCoeffsPH* GetPHCalculator() const override { return &tools_.ph; }
        const CCalCoeffsCond* GetConductivityCalculator() const override { return &tools_.cond; }
        const CCalCoeffsDO* GetDOCalculator() const override { return &tools_.oxygen; }
        const CCalCoeffsORP* GetORPCalculator() const override { return &tools_.orp; }
        void WriteCalReport(int result, std::vector<std::string>& reportPaths) override
        {
            tools_.reportResults.push_back(result);
            reportPaths.insert(reportPaths.end(), tools_.reports.begin(), tools_.reports.end());
        }

    private:
        ScriptedCalTools& tools_;
    };

    std::unique_ptr<CQuickCalRun> RunQuickCal(const std::vector<CQorChannel*>& channels, CQorDevice&) override
    {
        std::vector<int> kinds;
        for (const CQorChannel* channel : channels) {
            kinds.push_back(channel->GetParameterId());
        }
        offered.push_back(kinds);
        return std::make_unique<Run>(*this);
    }
    void RunQuickProfiler(const std::vector<CQorChannel*>&) override { ++profilerRuns; }

    int result = 12325;
    std::set<std::string> selected;
    CCalCoeffsPH ph;
    CCalCoeffsCond cond{0};
    CCalCoeffsDO oxygen;
    CCalCoeffsORP orp;
    std::vector<std::string> reports;
    std::vector<std::vector<int>> offered;
    std::vector<int> reportResults;
    int profilerRuns = 0;
};

class QuickCalTest : public ChannelViewsTest {
protected:
    void SetUp() override
    {
        ChannelViewsTest::SetUp();
        RegisterCalibrationTools(&tools);
        const fs::path opener = home_.Root() / "opener";
        wvtest::WriteAll(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened_.string() + "'\n");
        fs::permissions(opener, fs::perms::owner_all);
        wv::SetDesktopOpener(opener.string());
        askWatch_ = std::make_unique<QTimer>();
        QObject::connect(askWatch_.get(), &QTimer::timeout, [this] { AnswerAsk(); });
        askWatch_->start(10);
    }
    void TearDown() override
    {
        askWatch_.reset();
        RegisterCalibrationTools(nullptr);
        wv::SetDesktopOpener({});
        ChannelViewsTest::TearDown();
    }
    // Answers "View Reports?" with the next queued answer (button id, and the box ticked).
    void AnswerAsk()
    {
        auto* ask = qobject_cast<CAskDlg*>(QApplication::activeModalWidget());
        if (ask == nullptr || ask->property("wvtestSeen").toBool()) {
            return;
        }
        ask->setProperty("wvtestSeen", true);
        asked.push_back({ask->windowTitle().toStdString(),
                         ask->findChild<QLabel*>(QString::number(CAskDlg::kIdMessage))->text().toStdString()});
        const auto [button, tick] = askAnswers.empty() ? std::pair{CAskDlg::kIdNo, false} : askAnswers.front();
        if (!askAnswers.empty()) {
            askAnswers.pop_front();
        }
        if (tick) {
            ask->findChild<QCheckBox*>(QString::number(CAskDlg::kIdDontAsk))->click();
        }
        // Yes is the dialog's OK button; No answers with its own id.
        const int id = button == CAskDlg::kIdYes ? CAskDlg::kIdOk : button;
        ask->findChild<QPushButton*>(QString::number(id))->click();
    }
    void PressQuickCal(CWVChannelsView& view)
    {
        auto* button = qobject_cast<QPushButton*>(view.FindControl(CWVChannelsView::kQuickCalButton));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled());
        button->click();
        Pump();
    }
    std::vector<ChannelDefinitionRecord> ChannelWrites()
    {
        std::vector<ChannelDefinitionRecord> writes;
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { writes = wv::sim::ChannelRecordsOf(d).channelWrites; });
        return writes;
    }
    std::vector<std::string> Opened() const
    {
        std::vector<std::string> lines;
        const std::optional<std::string> text = wvtest::ReadText(opened_);
        std::string line;
        for (char c : text.value_or("")) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        return lines;
    }
    CAppPreferences& Preferences() { return app_->GetPreferences(); }

    ScriptedCalTools tools;
    std::deque<std::pair<int, bool>> askAnswers;
    std::vector<std::pair<std::string, std::string>> asked;
    fs::path opened_ = home_.Root() / "opened.txt";
    std::unique_ptr<QTimer> askWatch_;
};

TEST_F(ChannelViewsTest, WithoutCalibrationToolsQuickCalAndProfilerStayDisabledAndDoNothing)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(Enabled(*view, CWVChannelsView::kQuickCalButton));
    EXPECT_FALSE(Enabled(*view, CWVChannelsView::kProfilerButton));
    const size_t writes = [&] {
        size_t n = 0;
        sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { n = wv::sim::ChannelRecordsOf(d).channelWrites.size(); });
        return n;
    }();
    view->OnQuickCal();
    view->OnViewCommand(CWVChannelsView::kProfilerButton);
    Pump();
    EXPECT_TRUE(messages.empty());
    sim.WithDevice(kSonde, [&](wv::sim::SimDevice& d) { EXPECT_EQ(wv::sim::ChannelRecordsOf(d).channelWrites.size(), writes); });
}

TEST_F(QuickCalTest, ButtonsFollowTheRulesOnceToolsAreRegistered)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    // No selection: a sonde with pH, conductivity, oxygen and ORP sensors offers both.
    EXPECT_TRUE(Enabled(*view, CWVChannelsView::kQuickCalButton));
    EXPECT_TRUE(Enabled(*view, CWVChannelsView::kProfilerButton));
    EXPECT_FALSE(Enabled(*view, CWVChannelsView::kReadButton));
    // A selection: Profiler follows the device's permission to start tests, QuickCal stays.
    Select(*view, {0});
    EXPECT_EQ(Enabled(*view, CWVChannelsView::kProfilerButton), sonde->CanStartTests());
    EXPECT_TRUE(Enabled(*view, CWVChannelsView::kQuickCalButton));
}

TEST_F(QuickCalTest, FinishWritesTheChosenSensorsAndOffersTheReports)
{
    ASSERT_TRUE(tools.ph.SetCoefficients(-58.5, 412.25, 1));
    ASSERT_TRUE(tools.orp.SetOffset(12.5));
    tools.selected = {"PH", "ORP"};  // conductivity and oxygen left out
    tools.reports = {"/reports/a PH.html", "/reports/b ORP.html"};
    CQorChannel* ph = ChannelOf(4);
    CQorChannel* orp = ChannelOf(8);
    ASSERT_NE(ph, nullptr);
    ASSERT_NE(orp, nullptr);
    ChannelDefinitionRecord expectedPh = ph->GetDefinition();
    tools.ph.WriteCalRecord(expectedPh);
    ChannelDefinitionRecord expectedOrp = orp->GetDefinition();
    tools.orp.WriteCalRecord(expectedOrp);
    const size_t before = ChannelWrites().size();
    askAnswers = {{CAskDlg::kIdYes, false}};

    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    PressQuickCal(*view);

    // Offered: every channel but the ion-selective sensors, turbidity and the wiper.
    ASSERT_EQ(tools.offered.size(), 1u);
    for (const int id : tools.offered[0]) {
        const CQorChannel* channel = sonde->GetChannel(id, true);
        ASSERT_NE(channel, nullptr) << id;
        EXPECT_EQ(std::set<int>({13, 16, 17, 22, 26}).count(channel->GetKind()), 0u) << id;
    }
    for (const int kind : {4, 5, 7, 8}) {
        const int id = ChannelOf(kind)->GetParameterId();
        EXPECT_NE(std::find(tools.offered[0].begin(), tools.offered[0].end(), id), tools.offered[0].end()) << kind;
    }
    // The device received the two chosen sensors' new calibration, nothing else.
    const std::vector<ChannelDefinitionRecord> writes = ChannelWrites();
    ASSERT_EQ(writes.size(), before + 2);
    for (size_t i = before; i < writes.size(); ++i) {
        const ChannelDefinitionRecord& expected = writes[i].channelNumber == ph->GetParameterId() ? expectedPh : expectedOrp;
        SCOPED_TRACE(int(writes[i].channelNumber));
        EXPECT_EQ(writes[i].channelNumber, expected.channelNumber);
        EXPECT_EQ(writes[i].calibrationPointCount, expected.calibrationPointCount);
        EXPECT_EQ(writes[i].calibrationMode, expected.calibrationMode);
        EXPECT_EQ(writes[i].segments, expected.segments);
        EXPECT_EQ(writes[i].pairs, expected.pairs);
    }
    EXPECT_NE(writes[before].channelNumber, writes[before + 1].channelNumber);
    EXPECT_EQ(ph->GetDefinition().pairs, expectedPh.pairs);
    // The report for Finish, offered and opened in order.
    EXPECT_EQ(tools.reportResults, std::vector<int>{12325});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, "View Reports?");
    EXPECT_EQ(asked[0].second, "Would you like to see the Calibration Reports?");
    EXPECT_EQ(Opened(), tools.reports);
    EXPECT_EQ(Preferences().viewCalReports, 1);
    EXPECT_EQ(Preferences().viewCalReportsQuery, 1);
    EXPECT_FALSE(Frame().IsBusy());
}

TEST_F(QuickCalTest, CancelWritesNothingButStillReportsAndTheAnswerCanBeKept)
{
    tools.result = kIdCancel;
    tools.selected = {"PH", "COND", "DO", "ORP"};
    tools.reports = {"/reports/cancelled.html"};
    const size_t before = ChannelWrites().size();
    // "No" with the box ticked: later runs neither ask nor open.
    askAnswers = {{CAskDlg::kIdNo, true}};
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    PressQuickCal(*view);
    EXPECT_EQ(ChannelWrites().size(), before);
    EXPECT_EQ(tools.reportResults, std::vector<int>{kIdCancel});
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Preferences().viewCalReports, 0);
    EXPECT_EQ(Preferences().viewCalReportsQuery, 0);
    view = ShowChannels();
    PressQuickCal(*view);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(Opened().empty());
    // Kept as "view them": opened without asking.
    Preferences().viewCalReports = 1;
    view = ShowChannels();
    PressQuickCal(*view);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Opened(), tools.reports);
}

TEST_F(QuickCalTest, NoReportNoQuestion)
{
    tools.result = kIdCancel;
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    PressQuickCal(*view);
    EXPECT_EQ(tools.reportResults.size(), 1u);
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(Opened().empty());
}

class QuickCalRunningTestTest : public QuickCalTest {
protected:
    void Configure(wv::sim::SimDevice& device) override
    {
        ASSERT_TRUE(wv::sim::PlaceTest(device, 1, 3, 5, "Running"));
    }
};

TEST_F(QuickCalRunningTestTest, ARunningTestRefusesCalibration)
{
    CWVChannelsView* view = ShowChannels();
    ASSERT_NE(view, nullptr);
    ASSERT_NE(sonde->GetRunningTestId(), 0);
    PressQuickCal(*view);
    EXPECT_TRUE(tools.offered.empty());
    EXPECT_TRUE(tools.reportResults.empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].textId, kStrCalTestRunning);
    EXPECT_EQ(messages[0].captionId, kStrCalNotAvailable);
    EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(GetResString(messages[0].textId), "Unable to calibrate while a test is running.");
    EXPECT_EQ(GetResString(messages[0].captionId), "Calibration Not Available");
}

} // namespace
