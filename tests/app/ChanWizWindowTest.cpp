// The channel wizard on a found level logger, against the instrument simulator: the
// level-reference page's reading corrected and shown in the display unit, and a pressure
// channel bound to a pending event test, whose display mode and conversion stay locked.

#include "tests/app/AppFixture.h"

#include "app/CommandIds.h"
#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "site/QorChannel.h"
#include "site/QorConnection.h"
#include "site/QorDevice.h"
#include "site/QorSite.h"
#include "site/QorTest.h"
#include "tests/comm/CommTestSupport.h"
#include "tests/site/SiteSimSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tools/instrument-sim/InstrumentSim.h"
#include "values/UnitConversion.h"
#include "wizards/ChanWiz.h"
#pragma push_macro("slots")
#undef slots
#include "tools/instrument-sim/ProfilingDevices.h"
#pragma pop_macro("slots")

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include <memory>
#include <string>
#include <vector>

namespace {

using wvtest::AppFixture;

constexpr uint16_t kLogger = 1001;

struct Message {
    std::string caption;
    std::string text;
};

class ChanWizWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        sim.AddDevice(kLogger, 25, "Level", 9600);
        // A steady pressure: every read answers the same counts.
        sim.WithDevice(kLogger, [](wv::sim::SimDevice& d) { wv::sim::SetUpLevelLogger(d, {0x2000, 0x1800, 0}); });
        ASSERT_NO_FATAL_FAILURE(StartOnLevelLogger(sim, port, logger, level));
    }

    // Runs the wizard on the level channel with script inside it.
    int RunWizard(CChanWiz& wiz, const std::function<void()>& script)
    {
        wiz_ = &wiz;
        wiz.messageResponder = [this](const std::string& caption, const std::string& text) {
            wizardMessages.push_back({caption, text});
        };
        wizardScripts.push_back([script](CWizardSheet&) { script(); });
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
    std::string Text(int id) const { return W<QWidget>(id)->property("text").toString().toStdString(); }
    void Next() { wiz_->NextButton()->click(); }

    CTkLink* OpenLink() { return wvtest::OpenLinkOf(app_ != nullptr ? Doc().GetSite() : nullptr); }
    wvtest::ScopedEnv devDir{"WELLVOX_DEV_DIR", wvtest::MadeFolder(home_.Root() / "dev").string()};
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
    CQorDevice* logger = nullptr;
    CQorChannel* level = nullptr;
    CChanWiz* wiz_ = nullptr;
    std::vector<Message> wizardMessages;
};

TEST_F(ChanWizWindowTest, TheReadingIsDividedByTheSpecificGravityAndShownInTheDisplayUnit)
{
    double raw = 0.0;
    ASSERT_EQ(level->ReadCurrentValue(raw, true), kAppOk);
    ASSERT_NE(raw, 0.0);
    ChannelDefinitionRecord record = level->GetDefinition();
    record.levelMode = 1;  // level from the surface: the reference page follows
    record.specificGravity = 1.25;
    record.density = 0.0;
    CQorChannel scratch;
    ASSERT_EQ(scratch.Init(record, logger, logger->GetTkSession()), kAppOk);
    const int unit = scratch.GetDefaultUnits();
    ASSERT_GE(unit, 0);
    const double expected = ConvertUnitsDefault(raw / 1.25, 3, 0, static_cast<int16_t>(unit));
    char shown[64];
    std::snprintf(shown, sizeof shown, "%2.3f", expected);

    ASSERT_EQ(level->WriteDefinition(record, false), kAppOk);
    CChanWiz wiz(level, logger, nullptr, 1);
    const int result = RunWizard(wiz, [&] {
        Next();
        ASSERT_EQ(PageId(), kIdChanWizModePage);
        EXPECT_TRUE(W<QRadioButton>(kIdChanWizLevelSurface)->isChecked());
        Next();
        ASSERT_EQ(PageId(), kIdChanWizConversionPage);
        EXPECT_EQ(Text(kIdChanWizGravity), "1.250");
        Next();
        ASSERT_EQ(PageId(), kIdChanWizReferencePage);
        EXPECT_EQ(wiz.windowTitle(), "Parameter Wizard - Enter Level Reference and Reference Time");
        EXPECT_EQ(Text(kIdChanWizReading), shown);
        EXPECT_EQ(Text(kIdChanWizReadingUnits), scratch.GetUnitsText());
        EXPECT_EQ(Text(kIdChanWizReferenceUnits), scratch.GetUnitsText());
        W<QPushButton>(kIdChanWizUpdateReading)->click();
        EXPECT_EQ(Text(kIdChanWizReading), shown);
        // The reference typed in the display unit is stored in the device unit.
        W<QLineEdit>(kIdChanWizReference)->setText("10");
        W<QRadioButton>(kIdChanWizRefStartOfTest)->click();
        wiz.FinishButton()->click();
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_TRUE(wiz.IsModified());
    ChannelDefinitionRecord out;
    wiz.GetChannelDef(out);
    EXPECT_NEAR(ConvertUnitsDefault(out.levelReference, 3, 0, static_cast<int16_t>(unit)), 10.0, 1e-9);
    EXPECT_EQ(out.whenToRead, 1);
    EXPECT_TRUE(wizardMessages.empty());
}

TEST_F(ChanWizWindowTest, APendingEventTestOnTheChannelLocksItsDisplayModeAndConversion)
{
    TestDefinitionRecord test;
    test.testId = 1;
    test.scheduleType = 3;
    std::snprintf(test.name, sizeof test.name, "Event");
    test.state = 1;
    test.eventThreshold = 0.5;
    test.eventSetting = 10;
    test.eventChannel = level->GetParameterId();
    test.interval = Duration{0, 0, 1, 0, 0};
    test.channelCount = 2;
    test.channels[0] = logger->GetChannel(0, false)->GetParameterId();
    test.channels[1] = logger->GetChannel(1, false)->GetParameterId();
    ASSERT_EQ(logger->AddTest(&Tree(), test, RelayDefinitionRecord{}), kAppOk);
    ASSERT_NE(logger->GetTest(1), nullptr);
    ASSERT_EQ(logger->GetTest(1)->GetEventChannel(), level->GetParameterId());

    ChannelDefinitionRecord record = level->GetDefinition();
    record.levelMode = 1;
    ASSERT_EQ(level->WriteDefinition(record, false), kAppOk);
    CChanWiz wiz(level, logger, nullptr, 1);
    EXPECT_TRUE(wiz.HasEventDependency());
    RunWizard(wiz, [&] {
        Next();
        ASSERT_EQ(PageId(), kIdChanWizModePage);
        for (int id : {kIdChanWizPressureHead, kIdChanWizDepth, kIdChanWizLevelSurface, kIdChanWizLevelTopOfCasing}) {
            EXPECT_FALSE(W(id)->isEnabled()) << id;
        }
        Next();
        ASSERT_EQ(PageId(), kIdChanWizConversionPage);
        for (int id : {kIdChanWizGravityOption, kIdChanWizGravity, kIdChanWizDensityOption, kIdChanWizDensity,
                       kIdChanWizLatitude, kIdChanWizElevation}) {
            EXPECT_FALSE(W(id)->isEnabled()) << id;
        }
        wiz.OnCancel();
    });
    ASSERT_EQ(wizardMessages.size(), 2u);
    for (const Message& m : wizardMessages) {
        EXPECT_EQ(m.caption, "Detected Pressure-Parameter Dependency");
        EXPECT_EQ(m.text, "The settings on this page cannot be modified,\nbecause the pressure parameter you are "
                          "editing is\nbound to an event delta in an event test.\n\nIn order to modify these "
                          "settings, cancel this\nwizard and perform one of the following actions:\n\n(1) Choose a "
                          "different event-delta parameter.\n(2) Change the test type.\n(3) Delete the event test.");
    }
}

} // namespace
