// The channel wizard driven page by page through the ids of its controls, on device nodes
// without a line: a channel logger (type 3, made here since the program makes no node
// for one) and level loggers. The routes, the type page's defaults, the calibration and
// conversion checks, the elevation in feet, and the level page's failed reading.

#include "wizards/ChanWiz.h"

#include "resources/StringTable.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "values/UnitCatalog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<CQorDevice> MakeDevice(uint8_t type)
{
    auto device = std::make_unique<CQorDevice>();
    FoundDeviceRecord found;
    found.address = 77;
    found.deviceType = type;
    std::strncpy(found.name, "Well 9", sizeof found.name - 1);
    device->SetLinks(nullptr, nullptr, nullptr, found);
    return device;
}

ChannelDefinitionRecord Record(uint8_t number, uint8_t kind, const char* name)
{
    ChannelDefinitionRecord record;
    record.channelNumber = number;
    record.parameterType = kind;
    std::strncpy(record.name.data(), name, record.name.size() - 1);
    record.coefficients = {1.5, 2.5, 4.0, 16.0, 0.0};
    record.warmUp = 50;
    record.levelSetting = 1;
    record.levelMode = 2;
    record.specificGravity = 1.0;
    record.latitude = 45;
    return record;
}

std::string NameOf(const ChannelDefinitionRecord& record) { return std::string(record.name.data()); }

struct Message {
    std::string caption;
    std::string text;
};

class ChanWizTest : public ::testing::Test {
public:
    void SetUp() override { CQorChannel::SetUnitCatalog(&us_); }
    void TearDown() override { CQorChannel::SetUnitCatalog(nullptr); }

    // A wizard on a channel of a new device of type with the given record.
    CChanWiz& Open(uint8_t type, const ChannelDefinitionRecord& record)
    {
        device_ = MakeDevice(type);
        channel_ = std::make_unique<CQorChannel>();
        EXPECT_EQ(channel_->Init(record, device_.get(), nullptr), kAppOk);
        wiz_ = std::make_unique<CChanWiz>(channel_.get(), device_.get(), nullptr, device_->IsChannelLogger() ? 0 : 1);
        wiz_->messageResponder = [this](const std::string& caption, const std::string& text) {
            messages.push_back({caption, text});
        };
        return *wiz_;
    }
    // Runs the wizard modally with script acting inside it; a watchdog cancels a script
    // that leaves it open.
    int Run(const std::function<void()>& script)
    {
        CChanWiz& wiz = *wiz_;
        QTimer::singleShot(0, &wiz, script);
        QTimer::singleShot(20000, &wiz, [&wiz] {
            ADD_FAILURE() << "the script left the wizard open";
            wiz.OnCancel();
        });
        return wiz.DoModal();
    }

    template <typename T = QWidget>
    T* W(int id) const
    {
        CWizardPage* page = wiz_->GetPage(wiz_->GetCurrentIndex());
        T* item = page != nullptr ? page->ItemAs<T>(id) : nullptr;
        EXPECT_NE(item, nullptr) << id;
        return item;
    }
    int PageId() const { return wiz_->GetPage(wiz_->GetCurrentIndex())->GetPageId(); }
    void Click(int id) { W<QAbstractButton>(id)->click(); }
    void Type(int id, const char* text) { W<QLineEdit>(id)->setText(QString::fromUtf8(text)); }
    void Leave(int id) { emit W<QLineEdit>(id)->editingFinished(); }
    std::string Text(int id) const { return W<QWidget>(id)->property("text").toString().toStdString(); }
    void Next() { QTest::mouseClick(wiz_->NextButton(), Qt::LeftButton); }
    void Back() { QTest::mouseClick(wiz_->BackButton(), Qt::LeftButton); }
    void Finish() { QTest::mouseClick(wiz_->FinishButton(), Qt::LeftButton); }
    bool CanBack() const { return wiz_->BackButton()->isEnabled(); }
    bool CanNext() const { return wiz_->NextButton()->isVisible() && wiz_->NextButton()->isEnabled(); }
    bool CanFinish() const { return wiz_->FinishButton()->isVisible() && wiz_->FinishButton()->isEnabled(); }
    ChannelDefinitionRecord Result() const
    {
        ChannelDefinitionRecord record;
        wiz_->GetChannelDef(record);
        return record;
    }

    CUnitCatalog us_{"1"};
    std::unique_ptr<CQorDevice> device_;
    std::unique_ptr<CQorChannel> channel_;
    std::unique_ptr<CChanWiz> wiz_;
    std::vector<Message> messages;
};

TEST_F(ChanWizTest, TypePageNamesTheProbeAndSetsItsWarmup)
{
    struct Case {
        int radio;
        uint8_t kind, gauge;
        uint16_t warmUp;
    };
    const Case cases[] = {
        {kIdChanWizPh, kChanKindPh, 1, 100},
        {kIdChanWizConductivity, kChanKindConductivity, 1, 750},
        {kIdChanWizTemperature, kChanKindTemperature, 1, 50},
        {kIdChanWizPressureAbsolute, kChanKindPressure, 0, 50},
        {kIdChanWizUserDefined, kChanKindUser, 1, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radio);
        ChannelDefinitionRecord record = Record(3, kChanKindBarometric, "Air");
        record.warmUp = 999;
        CChanWiz& wiz = Open(3, record);
        Run([&] {
            EXPECT_EQ(PageId(), kIdChanWizTypePage);
            EXPECT_EQ(wiz.windowTitle(), "Channel Wizard - Choose Channel Type");
            EXPECT_TRUE(W<QRadioButton>(kIdChanWizBarometric)->isChecked());
            EXPECT_FALSE(wiz.IsModified());
            Click(c.radio);
            EXPECT_TRUE(CanNext());
            EXPECT_FALSE(CanBack());
            wiz.OnCancel();
        });
        const ChannelDefinitionRecord out = Result();
        EXPECT_EQ(out.parameterType, c.kind);
        EXPECT_EQ(out.levelSetting, c.gauge);
        EXPECT_EQ(NameOf(out), "Probe #3");
        EXPECT_EQ(out.warmUp, c.warmUp);
        EXPECT_TRUE(wiz.IsModified());
    }
}

TEST_F(ChanWizTest, TheSameTypeAgainChangesNothingButTheGaugeFlagCounts)
{
    // Pressure (Gauge) on a gauge channel keeps name and warm-up; Absolute renames it.
    CChanWiz& wiz = Open(8, Record(2, kChanKindPressure, "Well level"));
    Run([&] {
        EXPECT_TRUE(W<QRadioButton>(kIdChanWizPressureGauge)->isChecked());
        Click(kIdChanWizPressureGauge);
        EXPECT_FALSE(wiz.IsModified());
        EXPECT_EQ(NameOf(wiz.Def()), "Well level");
        Click(kIdChanWizPressureAbsolute);
        EXPECT_TRUE(wiz.IsModified());
        EXPECT_EQ(NameOf(wiz.Def()), "Probe #2");
        EXPECT_EQ(wiz.Def().levelSetting, 0);
        wiz.OnCancel();
    });
}

TEST_F(ChanWizTest, FinishingUndefinedResetsTheDefinition)
{
    ChannelDefinitionRecord record = Record(4, kChanKindPh, "Acid");
    record.coefficients = {7, 8, 9, 10, 11};
    record.warmUp = 300;
    record.levelMode = 0;
    record.levelReference = 12.5;
    record.whenToRead = 1;
    record.referenceReading = 3.0;
    record.specificGravity = 1.4;
    record.pressureRange = 30;
    record.latitude = 12;
    record.locationByte = 5;
    record.elevation = 800;
    record.density = 1.1;
    CChanWiz& wiz = Open(3, record);
    const int result = Run([&] {
        Click(kIdChanWizUndefined);
        EXPECT_EQ(NameOf(wiz.Def()), "Unknown");
        EXPECT_FALSE(CanNext());
        EXPECT_TRUE(CanFinish());
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_TRUE(wiz.IsModified());
    ChannelDefinitionRecord expected = record;
    expected.parameterType = 0;
    std::memset(expected.name.data(), 0, expected.name.size());
    std::strcpy(expected.name.data(), "Unknown");
    expected.coefficients = {0.0, 0.0, 4.0, 16.0, 0.0};
    expected.warmUp = 50;
    expected.levelSetting = 1;
    expected.levelMode = 2;
    expected.levelReference = 0;
    expected.whenToRead = 0;
    expected.referenceReading = 0;
    expected.specificGravity = 1.0;
    expected.pressureRange = 0;
    expected.latitude = 45;
    expected.locationByte = 0;
    expected.elevation = 0;
    expected.density = 0;
    EXPECT_EQ(Result(), expected);
}

TEST_F(ChanWizTest, ChannelLoggerRoutesByKind)
{
    // Temperature finishes on the calibration page; user-defined goes on to the warm-up.
    CChanWiz& wiz = Open(3, Record(1, kChanKindTemperature, "Water"));
    const int result = Run([&] {
        Next();
        EXPECT_EQ(PageId(), kIdChanWizNamePage);
        EXPECT_EQ(wiz.windowTitle(), "Channel Wizard - Enter Channel Name");
        EXPECT_EQ(Text(kIdChanWizNamePrompt), "What name would you like for the channel (16 chars. max.)?");
        EXPECT_EQ(Text(kIdChanWizNameEdit), "Water");
        EXPECT_TRUE(CanBack() && CanNext());
        Next();
        EXPECT_EQ(PageId(), kIdChanWizCalPage);
        EXPECT_EQ(Text(kIdChanWizOffset), "4.0000");
        EXPECT_EQ(Text(kIdChanWizScale), "16.0000");
        EXPECT_TRUE(CanFinish());
        EXPECT_FALSE(CanNext());
        Back();
        Back();
        EXPECT_EQ(PageId(), kIdChanWizTypePage);
        Click(kIdChanWizUserDefined);
        Next();
        Next();
        EXPECT_TRUE(CanNext());
        Next();
        EXPECT_EQ(PageId(), kIdChanWizWarmupPage);
        EXPECT_EQ(Text(kIdChanWizWarmup), "50");
        Type(kIdChanWizWarmup, "30000");
        Back();
        EXPECT_EQ(PageId(), kIdChanWizCalPage);
        Next();
        EXPECT_EQ(Text(kIdChanWizWarmup), "30000");
        Type(kIdChanWizWarmup, "45000");  // no range check
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_EQ(Result().parameterType, kChanKindUser);
    EXPECT_EQ(Result().warmUp, 45000);
}

TEST_F(ChanWizTest, CalibrationEditsKeepTheUserOnThePageWhileSignOnly)
{
    CChanWiz& wiz = Open(3, Record(2, kChanKindPressure, "Level"));
    Run([&] {
        Next();
        Next();
        ASSERT_EQ(PageId(), kIdChanWizCalPage);
        EXPECT_FALSE(wiz.IsModified());
        for (const char* sign : {"-", "+.", "."}) {
            Type(kIdChanWizScale, sign);
            EXPECT_FALSE(CanNext()) << sign;
            EXPECT_FALSE(CanFinish()) << sign;
            EXPECT_TRUE(CanBack()) << sign;
        }
        Type(kIdChanWizScale, "-2.5");
        EXPECT_TRUE(CanNext());
        EXPECT_EQ(wiz.Def().coefficients[3], -2.5);
        Type(kIdChanWizLinearity, "abc");  // no number: the stored value is written back
        EXPECT_EQ(Text(kIdChanWizLinearity), "0.0000");
        Type(kIdChanWizOffset, "3.25");
        Leave(kIdChanWizOffset);
        EXPECT_EQ(Text(kIdChanWizOffset), "3.2500");
        EXPECT_TRUE(wiz.IsModified());
        Next();
        EXPECT_EQ(PageId(), kIdChanWizModePage);
        EXPECT_EQ(wiz.windowTitle(), "Channel Wizard - Choose Pressure Display Mode");
        Back();
        EXPECT_EQ(PageId(), kIdChanWizCalPage);
        wiz.OnCancel();
    });
    EXPECT_EQ(Result().coefficients[2], 3.25);
    EXPECT_EQ(Result().coefficients[4], 0.0);
}

TEST_F(ChanWizTest, ParameterDeviceStartsOnTheNameAndRoutesPressureOnly)
{
    struct Case {
        uint8_t kind;
        bool next;
    };
    for (const Case c : {Case{kChanKindTemperature, false}, Case{kChanKindPressure, true}}) {
        SCOPED_TRACE(c.kind);
        CChanWiz& wiz = Open(25, Record(2, c.kind, "Old"));
        const int result = Run([&] {
            EXPECT_EQ(PageId(), kIdChanWizNamePage);
            EXPECT_EQ(wiz.windowTitle(), "Parameter Wizard - Enter Parameter Name");
            EXPECT_EQ(Text(kIdChanWizNamePrompt), "What name would you like for the parameter (16 chars. max.)?");
            EXPECT_FALSE(CanBack());
            EXPECT_EQ(CanNext(), c.next);
            EXPECT_EQ(CanFinish(), !c.next);
            W<QLineEdit>(kIdChanWizNameEdit)->setText("A name of twenty chars");
            if (!c.next) {
                Finish();
                return;
            }
            Next();
            EXPECT_EQ(PageId(), kIdChanWizModePage);
            EXPECT_EQ(wiz.windowTitle(), "Parameter Wizard - Choose Pressure Display Mode");
            EXPECT_TRUE(W<QRadioButton>(kIdChanWizPressureHead)->isChecked());
            EXPECT_TRUE(CanFinish());
            Click(kIdChanWizDepth);
            EXPECT_TRUE(CanNext());
            Back();
            EXPECT_EQ(PageId(), kIdChanWizNamePage);
            wiz.OnCancel();
        });
        EXPECT_EQ(result, c.next ? kIdCancel : kIdWizFinish);
        EXPECT_EQ(NameOf(Result()), "A name of twenty");
        EXPECT_TRUE(wiz.IsModified());
        EXPECT_TRUE(messages.empty());
    }
}

TEST_F(ChanWizTest, ElevationInFeetIsStoredInMetres)
{
    ChannelDefinitionRecord record = Record(2, kChanKindPressure, "Level");
    record.levelMode = 3;  // depth: the conversion is the last page
    record.density = 1.0;
    record.latitude = 40;
    CChanWiz& wiz = Open(25, record);
    const int result = Run([&] {
        Next();
        Next();
        ASSERT_EQ(PageId(), kIdChanWizConversionPage);
        EXPECT_EQ(wiz.windowTitle(), "Parameter Wizard - Enter Depth/Level Conversion Information");
        EXPECT_TRUE(W<QRadioButton>(kIdChanWizDensityOption)->isChecked());
        EXPECT_FALSE(W(kIdChanWizGravity)->isEnabled());
        EXPECT_EQ(Text(kIdChanWizElevationLabel), "Elevation (0 - 30000):");
        EXPECT_EQ(Text(kIdChanWizElevationUnits), "feet");
        EXPECT_EQ(Text(kIdChanWizLatitude), "40");
        EXPECT_TRUE(CanFinish());
        Type(kIdChanWizElevation, "1000");
        EXPECT_DOUBLE_EQ(wiz.Def().elevation, 304.8);
        Leave(kIdChanWizElevation);
        EXPECT_EQ(Text(kIdChanWizElevation), "1000");
        Type(kIdChanWizElevation, "30500");
        EXPECT_GT(wiz.Def().elevation, 9150.0);
        EXPECT_FALSE(CanFinish());
        Type(kIdChanWizElevation, "20");
        Type(kIdChanWizLatitude, "91");
        EXPECT_FALSE(CanFinish());
        Type(kIdChanWizLatitude, "60");
        Type(kIdChanWizDensity, "2.5");
        EXPECT_FALSE(CanFinish());
        Type(kIdChanWizDensity, "1.025");
        EXPECT_TRUE(CanFinish());
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    const ChannelDefinitionRecord out = Result();
    EXPECT_DOUBLE_EQ(out.elevation, 20 * 0.3048);
    EXPECT_EQ(out.latitude, 60);
    EXPECT_DOUBLE_EQ(out.density, 1.025);
    EXPECT_DOUBLE_EQ(out.specificGravity, 1.0);  // the unused mode's field
}

TEST_F(ChanWizTest, LeavingTheConversionPageClearsTheUnusedMode)
{
    ChannelDefinitionRecord record = Record(2, kChanKindPressure, "Level");
    record.levelMode = 3;
    record.density = 1.2;
    record.latitude = 30;
    record.locationByte = 9;
    record.elevation = 500;
    record.specificGravity = 1.3;
    CChanWiz& wiz = Open(25, record);
    Run([&] {
        Next();
        Next();
        Click(kIdChanWizGravityOption);
        EXPECT_TRUE(W(kIdChanWizGravity)->isEnabled());
        EXPECT_FALSE(W(kIdChanWizDensity)->isEnabled());
        EXPECT_EQ(Text(kIdChanWizDensity), "");
        EXPECT_EQ(Text(kIdChanWizGravity), "1.300");
        Type(kIdChanWizGravity, "0.4");
        EXPECT_FALSE(CanFinish());
        Type(kIdChanWizGravity, "1.1");
        Back();
        wiz.OnCancel();
    });
    const ChannelDefinitionRecord out = Result();
    EXPECT_DOUBLE_EQ(out.specificGravity, 1.1);
    EXPECT_EQ(out.density, 0.0);
    EXPECT_EQ(out.latitude, 45);
    EXPECT_EQ(out.locationByte, 0);
    EXPECT_EQ(out.elevation, 0.0);
    EXPECT_EQ(wiz.GetConversionMode(), kChanWizSpecificGravityMode);
}

TEST_F(ChanWizTest, SomeLevelLoggersOfferOnlySpecificGravity)
{
    for (uint8_t type : {23, 24, 26, 27}) {
        SCOPED_TRACE(type);
        ChannelDefinitionRecord record = Record(2, kChanKindPressure, "Level");
        record.levelMode = 3;
        record.density = 1.1;
        Open(type, record);
        Run([&] {
            Next();
            Next();
            EXPECT_FALSE(W(kIdChanWizDensityOption)->isEnabled());
            EXPECT_TRUE(W<QRadioButton>(kIdChanWizGravityOption)->isChecked());
            EXPECT_EQ(Text(kIdChanWizGravity), "1.000");
            Finish();
        });
        EXPECT_EQ(Result().density, 0.0);
    }
}

TEST_F(ChanWizTest, AFailedReadingEndsTheWizardWithItsStatus)
{
    // No line to the device: the level page's reading fails.
    ChannelDefinitionRecord record = Record(2, kChanKindPressure, "Level");
    record.levelMode = 1;
    CChanWiz& wiz = Open(3, record);
    int shownOn = 0;
    const int result = Run([&] {
        Next();
        Next();
        Next();
        Next();
        ASSERT_EQ(PageId(), kIdChanWizConversionPage);
        Next();
        shownOn = PageId();
    });
    EXPECT_EQ(shownOn, kIdChanWizReferencePage);
    EXPECT_NE(result, kIdWizFinish);
    EXPECT_NE(result, kIdCancel);
    EXPECT_NE(result, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Error Reading Pressure Sensor");
    EXPECT_EQ(messages[0].text, "Error #" + std::to_string(result) +
                                    "-Could not read pressure sensor!\nThis wizard will be terminated.\n\nPossible "
                                    "remedies:\n(1) Check the hardware connections.\n(2) Detach and re-attach the "
                                    "cable.\n(3) Be sure the device has power.");
    EXPECT_FALSE(wiz.isVisible());
}

} // namespace
