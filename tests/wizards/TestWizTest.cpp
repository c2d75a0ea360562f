// The test wizard driven by the ids of its controls on device nodes with a clock the test
// sets (the wizard itself talks to no device): the channel page and its companion rule,
// the type minima, the interval caps, the linear-average rule, the channel list, the
// event channel, the relays, the start preset and validity, navigation and the modified
// flag that decides whether an edited test is written.

#include "wizards/TestWiz.h"

#include "app/controls/StatusText.h"
#include "comm/protocol/ChannelRecords.h"
#include "site/QorChannel.h"
#include "site/QorDevice.h"
#include "values/UnitConversion.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFocusEvent>
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

// A device node whose clock reads what the test says.
class ClockDevice : public CQorDevice {
public:
    wv::OleDateTime now{2026, 6, 15, 14, 49, 0};
    wv::OleDateTime GetCurrentDeviceTime() const override { return now; }
};

std::unique_ptr<ClockDevice> MakeDevice(uint8_t type)
{
    auto device = std::make_unique<ClockDevice>();
    FoundDeviceRecord found;
    found.address = 77;
    found.deviceType = type;
    std::strncpy(found.name, "Well 9", sizeof found.name - 1);
    device->SetLinks(nullptr, nullptr, nullptr, found);
    return device;
}

// A usable channel row that every test type may log.
TestWizChannel Row(const char* name, int id, int kind, int minInterval = 50, bool included = false)
{
    TestWizChannel row;
    row.displayName = name;
    row.parameterId = id;
    row.present = 1;
    row.included = included ? 1 : 0;
    row.logAllowed = row.averageAllowed = row.eventAllowed = 1;
    row.minInterval = minInterval;
    row.kind = kind;
    row.deviceUnit = 0;
    row.displayUnit = 0;
    row.unitsText = "u";
    row.specificGravity = kind == 3 ? 1.0 : 0.0;
    return row;
}

Duration Interval(int d, int h, int m, int s, int hu = 0)
{
    return Duration{static_cast<uint8_t>(d), static_cast<uint8_t>(h), static_cast<uint8_t>(m),
                    static_cast<uint8_t>(s), static_cast<uint8_t>(hu)};
}

std::vector<uint8_t> ListOf(const TestDefinitionRecord& def)
{
    return std::vector<uint8_t>(def.channels.begin(), def.channels.begin() + def.channelCount);
}

class TestWizTest : public ::testing::Test {
public:
    // Runs the wizard modally with script acting inside it; a watchdog cancels a script
    // that leaves it open.
    int Run(CTestWiz& wiz, const std::function<void()>& script)
    {
        wiz_ = &wiz;
        QTimer::singleShot(0, &wiz, script);
        QTimer::singleShot(20000, &wiz, [&wiz] {
            ADD_FAILURE() << "the script left the wizard open";
            wiz.OnCancel();
        });
        return wiz.DoModal();
    }

    // A wizard on device with the flags the tests views give it and the rows given.
    std::unique_ptr<CTestWiz> Make(ClockDevice& device, const std::vector<TestWizChannel>& rows)
    {
        auto wiz = std::make_unique<CTestWiz>(&device);
        wiz->SetTestId(3);
        wiz->TakeDeviceInputs();
        for (size_t i = 0; i < rows.size(); ++i) {
            wiz->Channel(static_cast<int>(i)) = rows[i];
        }
        return wiz;
    }

    // An item of the page shown (ids repeat from page to page).
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
    // The whole text at once, as a paste would put it.
    void Enter(int id, const QString& text) { W<QLineEdit>(id)->setText(text); }
    QString Text(int id) const { return W<QLineEdit>(id)->text(); }
    void Next() { QTest::mouseClick(wiz_->NextButton(), Qt::LeftButton); }
    void Back() { QTest::mouseClick(wiz_->BackButton(), Qt::LeftButton); }
    void Finish() { QTest::mouseClick(wiz_->FinishButton(), Qt::LeftButton); }
    bool NextEnabled() const { return wiz_->NextButton()->isVisible() && wiz_->NextButton()->isEnabled(); }
    bool FinishEnabled() const { return wiz_->FinishButton()->isVisible() && wiz_->FinishButton()->isEnabled(); }
    void LeaveEdit(int id)
    {
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(W(id), &out);
    }
    // From page 124 to the interval page of type (its radio on page 125).
    void ToType(int radio)
    {
        Next();
        Click(radio);
        Next();
    }

    CTestWiz* wiz_ = nullptr;
};

// ---- Page 124 ----------------------------------------------------------------------------

TEST_F(TestWizTest, ChannelPageOpensWithNameBoxesPromptAndCapNote)
{
    struct Case {
        uint8_t type;
        const char* name;
        int capDays;
        const char* shownName;
        const char* caption;
        const char* prompt;
        const char* note;
    };
    const Case cases[] = {
        {33, "Undefined", 0, "Test #3", "Test Wizard - Enter Test Name and Choose Parameters",
         "Which of the following device parameters would you like to include in the test?", ""},
        {25, "Pump run", 1, "Pump run", "Test Wizard - Enter Test Name and Choose Parameters",
         "Which of the following device parameters would you like to include in the test?", "HDO cap expires in 1 day."},
        {3, "Undefined", 2, "Test #3", "Test Wizard - Enter Test Name and Choose Channels",
         "Which of the following device channels would you like to include in the test?", "HDO cap expires in 2 days."},
        {33, "Undefined", 29, "Test #3", "Test Wizard - Enter Test Name and Choose Parameters",
         "Which of the following device parameters would you like to include in the test?", "HDO cap expires in 29 days."},
        {33, "Undefined", 30, "Test #3", "Test Wizard - Enter Test Name and Choose Parameters",
         "Which of the following device parameters would you like to include in the test?", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + std::to_string(c.capDays));
        auto device = MakeDevice(c.type);
        // Rows 1 and 3 are absent: the boxes close up, the rest stay hidden.
        TestWizChannel absent;
        auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true), absent, Row("Level", 2, 3), absent,
                                  Row("Baro", 3, 6, 50, true)});
        if (std::string(c.name) != "Undefined") {
            SetTestName(wiz->Definition(), c.name);
        }
        wiz->capDays = c.capDays;
        Run(*wiz, [&] {
            EXPECT_EQ(PageId(), kIdTestWizNamePage);
            EXPECT_EQ(wiz->windowTitle(), c.caption);
            EXPECT_EQ(Text(kIdTestWizNameEdit), c.shownName);
            EXPECT_EQ(W<QLineEdit>(kIdTestWizNameEdit)->maxLength(), 16);
            EXPECT_EQ(W<QLabel>(kIdTestWizChannelPrompt)->text(), c.prompt);
            const char* labels[] = {"Temp", "Level", "Baro"};
            const bool checked[] = {true, false, true};
            const int rows[] = {0, 2, 4};
            for (int i = 0; i < 3; ++i) {
                auto* box = W<QCheckBox>(kIdTestWizFirstChannelBox + i);
                EXPECT_TRUE(box->isVisible());
                EXPECT_EQ(box->text(), labels[i]);
                EXPECT_EQ(box->isChecked(), checked[i]);
                EXPECT_EQ(wiz->NamePage().RowOfBox(kIdTestWizFirstChannelBox + i), rows[i]);
            }
            for (int i = 3; i < kTestWizRows; ++i) {
                EXPECT_FALSE(W(kIdTestWizFirstChannelBox + i)->isVisible());
            }
            auto* note = W<CStatusText>(kIdTestWizCapNote);
            EXPECT_EQ(note->GetText(), c.note);
            EXPECT_EQ(note->GetTextColor(), QColor(170, 0, 0));
            EXPECT_FALSE(wiz->BackButton()->isEnabled());
            EXPECT_TRUE(NextEnabled());
            wiz->OnCancel();
        });
    }
}

TEST_F(TestWizTest, NextNeedsAnIncludedChannelAndStoresTheTypedName)
{
    auto device = MakeDevice(25);
    auto wiz = Make(*device, {Row("Temp", 1, 2), Row("Level", 2, 3)});
    Run(*wiz, [&] {
        EXPECT_FALSE(NextEnabled());
        Click(kIdTestWizFirstChannelBox + 1);
        EXPECT_TRUE(NextEnabled());
        EXPECT_TRUE(wiz->Channel(1).included);
        EXPECT_FALSE(wiz->Channel(0).included);
        Click(kIdTestWizFirstChannelBox + 1);
        EXPECT_FALSE(NextEnabled());
        Click(kIdTestWizFirstChannelBox);
        auto* name = W<QLineEdit>(kIdTestWizNameEdit);
        name->clear();
        QTest::keyClicks(name, "North bore 12 spring");
        EXPECT_EQ(name->text(), "North bore 12 sp");
        Next();
        EXPECT_EQ(PageId(), kIdTestWizTypePage);
        wiz->OnCancel();
    });
    EXPECT_EQ(TestName(wiz->GetDefinition()), "North bore 12 sp");
    EXPECT_EQ(ListOf(wiz->GetDefinition()), (std::vector<uint8_t>{1}));
}

TEST_F(TestWizTest, WaterQualityChannelsOnASondeTakeTemperatureAndBarometerAlong)
{
    // pH on a sonde ticks and greys temperature and barometer; without it they are free
    // again (and stay ticked). Other families have no such rule.
    for (uint8_t type : {33, 25}) {
        SCOPED_TRACE(type);
        const bool sonde = type == 33;
        auto device = MakeDevice(type);
        auto wiz = Make(*device, {Row("Temp", 1, 2), Row("Baro", 3, 6), Row("pH", 11, 4), Row("Level", 2, 3)});
        Run(*wiz, [&] {
            const int temp = kIdTestWizFirstChannelBox, baro = temp + 1, ph = temp + 2, level = temp + 3;
            Click(ph);
            for (int id : {temp, baro}) {
                EXPECT_EQ(W<QCheckBox>(id)->isChecked(), sonde) << id;
                EXPECT_EQ(W(id)->isEnabled(), !sonde) << id;
            }
            EXPECT_EQ(wiz->Channel(0).included != 0, sonde);
            EXPECT_EQ(wiz->Channel(1).included != 0, sonde);
            EXPECT_TRUE(W(level)->isEnabled());
            Click(ph);
            for (int id : {temp, baro}) {
                EXPECT_EQ(W<QCheckBox>(id)->isChecked(), sonde) << id;
                EXPECT_TRUE(W(id)->isEnabled()) << id;
            }
            wiz->OnCancel();
        });
    }
}

TEST_F(TestWizTest, ChannelListAddsTheOpticalStatusValuesAndMustFitTheDefinition)
{
    struct Case {
        std::vector<int> ids;
        bool fits;
        std::vector<uint8_t> list;
    };
    const std::vector<uint8_t> with17 = {1, 17, 171, 172, 173, 174, 175, 176, 2};
    const Case cases[] = {
        {{1, 17, 2}, true, with17},
        {{37}, true, {37, 171, 172, 173, 174, 175, 176}},
        {{17, 17, 17, 17, 17, 17, 17}, true, {}},        // 49 numbers
        {{17, 17, 17, 17, 17, 17, 17, 1}, true, {}},     // 50
        {{17, 17, 17, 17, 17, 17, 17, 37}, false, {}},   // 56: more than the definition holds
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ids.size());
        auto device = MakeDevice(33);
        std::vector<TestWizChannel> rows;
        for (int id : c.ids) {
            rows.push_back(Row("Ch", id, 28, 1000, true));
        }
        auto wiz = Make(*device, rows);
        Run(*wiz, [&] {
            EXPECT_EQ(NextEnabled(), c.fits);
            if (!c.fits) {
                // Enter follows only an enabled Next.
                wiz->OnOK();
                EXPECT_EQ(PageId(), kIdTestWizNamePage);
            }
            Next();
            EXPECT_EQ(PageId(), c.fits ? kIdTestWizTypePage : kIdTestWizNamePage);
            wiz->OnCancel();
        });
        const TestDefinitionRecord& def = wiz->GetDefinition();
        if (!c.fits) {
            EXPECT_EQ(def.channelCount, 0);
        } else if (!c.list.empty()) {
            EXPECT_EQ(ListOf(def), c.list);
        } else {
            EXPECT_LE(def.channelCount, kTestMaxChannels);
            EXPECT_EQ(def.channelCount, c.ids.size() == 7 ? 49 : 50);
        }
    }
}

// ---- Type page and interval minima ---------------------------------------------------------

TEST_F(TestWizTest, ChoosingATypeResetsTheIntervalToItsMinimum)
{
    struct Case {
        uint8_t deviceType;
        int channelMinimum;
        int radio;
        Duration interval;
    };
    const Case cases[] = {
        {25, 50, kIdTestWizLinear, Interval(0, 0, 0, 3)},
        {25, 50, kIdTestWizEvent, Interval(0, 0, 0, 10)},
        {25, 50, kIdTestWizLog, Interval(0, 0, 10, 0)},
        {25, 50, kIdTestWizLinearAverage, Interval(0, 0, 0, 4)},
        {33, 500, kIdTestWizLinear, Interval(0, 0, 0, 5)},
        {33, 500, kIdTestWizEvent, Interval(0, 0, 0, 10)},
        {33, 500, kIdTestWizLinearAverage, Interval(0, 0, 0, 20)},
        {33, 1000, kIdTestWizLinear, Interval(0, 0, 0, 10)},   // the channel's minimum is larger
        {33, 200, kIdTestWizLinear, Interval(0, 0, 0, 5)},     // a shorter channel minimum does not lower it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.deviceType) + " " + std::to_string(c.radio));
        auto device = MakeDevice(c.deviceType);
        // The logarithmic test takes level channels only (and no sonde).
        auto wiz = Make(*device, {Row("Level", 2, 3, c.channelMinimum, true)});
        Run(*wiz, [&] {
            Next();
            Click(c.radio);
            EXPECT_EQ(wiz->GetDefinition().interval, c.interval);
            wiz->OnCancel();
        });
        EXPECT_TRUE(wiz->IsModified());
    }
}

TEST_F(TestWizTest, TypePageOffersTheTypesTheChannelsAllow)
{
    struct Case {
        uint8_t deviceType;
        uint8_t log, average, event;
        bool logOn, averageOn, eventOn;
    };
    const Case cases[] = {
        {25, 1, 1, 1, true, true, true},
        {33, 1, 1, 1, false, true, true},   // no logarithmic test on a sonde
        {25, 0, 1, 1, false, true, true},
        {25, 1, 0, 0, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deviceType);
        auto device = MakeDevice(c.deviceType);
        TestWizChannel limited = Row("Cond", 4, 5, 50, true);
        limited.logAllowed = c.log;
        limited.averageAllowed = c.average;
        limited.eventAllowed = c.event;
        auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true), limited});
        // A definition of a type no longer allowed falls back to linear.
        wiz->Definition().scheduleType = kTestScheduleLinearAverage;
        Run(*wiz, [&] {
            Next();
            EXPECT_EQ(wiz->windowTitle(), "Test Wizard - Choose Test Type");
            EXPECT_TRUE(W(kIdTestWizLinear)->isEnabled());
            EXPECT_EQ(W(kIdTestWizLog)->isEnabled(), c.logOn);
            EXPECT_EQ(W(kIdTestWizLinearAverage)->isEnabled(), c.averageOn);
            EXPECT_EQ(W(kIdTestWizEvent)->isEnabled(), c.eventOn);
            EXPECT_EQ(W<QRadioButton>(c.averageOn ? kIdTestWizLinearAverage : kIdTestWizLinear)->isChecked(), true);
            EXPECT_EQ(wiz->GetDefinition().scheduleType,
                      c.averageOn ? kTestScheduleLinearAverage : kTestScheduleLinear);
            EXPECT_TRUE(wiz->BackButton()->isEnabled());
            EXPECT_TRUE(NextEnabled());
            wiz->OnCancel();
        });
    }
}

TEST_F(TestWizTest, ShortestValidLinearIntervalFollowsTheChannelsReadTimeOut)
{
    // The channel's read time-out (2 s with "/Allow2SecondTest" on a sonde) is what the
    // linear page accepts; the type's minimum is only where it starts.
    struct Case {
        uint8_t deviceType;
        int kind;
        bool allow2Second;
        int seconds;
        int hundredths;
        bool valid;
    };
    const Case cases[] = {
        {33, 4, false, 5, 0, true},  {33, 4, false, 4, 0, false}, {33, 28, false, 9, 0, false},
        {33, 28, false, 10, 0, true}, {33, 4, true, 2, 0, true},   {33, 28, true, 1, 0, false},
        {25, 3, false, 0, 50, true}, {25, 3, false, 0, 49, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.deviceType) + " kind " + std::to_string(c.kind) + " " +
                     std::to_string(c.allow2Second) + " " + std::to_string(c.seconds));
        CQorChannel::SetAllow2SecondTest(c.allow2Second);
        auto device = MakeDevice(c.deviceType);
        ChannelDefinitionRecord record;
        record.channelNumber = 11;
        record.parameterType = static_cast<uint8_t>(c.kind);
        CQorChannel channel;
        ASSERT_EQ(channel.Init(record, device.get(), nullptr), 0);
        auto wiz = Make(*device, {});
        wiz->SetChannel(0, &channel, true);
        Run(*wiz, [&] {
            ToType(kIdTestWizLinear);
            EXPECT_EQ(PageId(), kIdTestWizLinearPage);
            EXPECT_TRUE(NextEnabled());   // at the reset value
            EXPECT_EQ(W(kIdTestWizHundredths)->isVisible(), c.deviceType == 25);
            Enter(kIdTestWizSeconds, QString::number(c.seconds));
            if (c.deviceType == 25) {
                Enter(kIdTestWizHundredths, QString::number(c.hundredths));
            }
            EXPECT_EQ(NextEnabled(), c.valid);
            wiz->OnCancel();
        });
        CQorChannel::SetAllow2SecondTest(false);
    }
}

// ---- Interval pages ------------------------------------------------------------------------

TEST_F(TestWizTest, IntervalEditsAreCappedNeverWrapped)
{
    struct Case {
        int radio;
        int edit;
        const char* typed;
        Duration stored;
        const char* shown;  // the edited field afterwards
    };
    const Case cases[] = {
        {kIdTestWizLinear, kIdTestWizDays, "8", Interval(7, 23, 59, 59), "7"},
        {kIdTestWizLinear, kIdTestWizHours, "300", Interval(7, 23, 59, 59), "23"},   // not 44 hours
        {kIdTestWizLog, kIdTestWizHours, "30", Interval(0, 23, 59, 59), "23"},
        {kIdTestWizLinear, kIdTestWizMinutes, "75", Interval(0, 1, 15, 3), "15"},
        {kIdTestWizLinear, kIdTestWizSeconds, "-5", Interval(0, 0, 0, 0), "0"},
        {kIdTestWizLinear, kIdTestWizSeconds, "x", Interval(0, 0, 0, 3), "3"},   // no number: the stored value
        {kIdTestWizLinear, kIdTestWizSeconds, "", Interval(0, 0, 0, 3), "3"},
        {kIdTestWizEvent, kIdTestWizDays, "999", Interval(7, 23, 59, 59), "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " in " + std::to_string(c.edit));
        auto device = MakeDevice(25);
        auto wiz = Make(*device, {Row("Level", 2, 3, 50, true)});
        Run(*wiz, [&] {
            ToType(c.radio);
            EXPECT_EQ(W<QLineEdit>(c.edit)->maxLength(), 3);
            Enter(c.edit, c.typed);
            EXPECT_EQ(wiz->GetDefinition().interval, c.stored);
            EXPECT_EQ(Text(c.edit), c.shown);
            EXPECT_EQ(Text(kIdTestWizHours), QString::number(c.stored.hours));
            wiz->OnCancel();
        });
    }
}

TEST_F(TestWizTest, LinearAveragePageNeedsAnIntervalOfTwiceBTimesC)
{
    struct Case {
        uint8_t deviceType;
        int seconds;
        const char* b;
        const char* c;
        bool valid;
        uint8_t storedB;
    };
    const Case cases[] = {
        {25, 60, "5", "6", true, 5},
        {25, 59, "5", "6", false, 5},
        {25, 60, "1", "1", false, 1},     // C = 1 is never valid
        {25, 60, "1", "99", false, 1},    // 198 s needed
        {25, 200, "1", "99", true, 1},
        {33, 60, "5", "6", true, 5},
        {33, 60, "4", "2", false, 4},     // below the sonde's 5 s
        {25, 59, "300", "2", false, 1},   // beyond a byte: not stored as 44
        {25, 60, "-1", "2", false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.seconds) + " " + c.b + " x " + c.c);
        auto device = MakeDevice(c.deviceType);
        auto wiz = Make(*device, {Row("Temp", 1, 2, c.deviceType == 33 ? 500 : 50, true)});
        Run(*wiz, [&] {
            ToType(kIdTestWizLinearAverage);
            EXPECT_EQ(PageId(), kIdTestWizAveragePage);
            EXPECT_EQ(W<QLabel>(kIdTestWizAveragePeriodLabel)->text(),
                      QString("Seconds between averaging samples (%1 - 255):").arg(c.deviceType == 33 ? 5 : 1));
            EXPECT_EQ(Text(kIdTestWizAveragePeriod), c.deviceType == 33 ? "5" : "1");
            EXPECT_EQ(Text(kIdTestWizAverageCount), "2");
            EXPECT_TRUE(NextEnabled());
            Enter(kIdTestWizMinutes, QString::number(c.seconds / 60));
            Enter(kIdTestWizSeconds, QString::number(c.seconds % 60));
            Enter(kIdTestWizAveragePeriod, c.b);
            Enter(kIdTestWizAverageCount, c.c);
            EXPECT_EQ(NextEnabled(), c.valid);
            EXPECT_EQ(wiz->GetDefinition().logPoints, c.storedB);
            if (c.valid) {
                Next();
                EXPECT_EQ(PageId(), kIdTestWizStartPage);
            }
            wiz->OnCancel();
        });
    }
}

// ---- Event page ----------------------------------------------------------------------------

TEST_F(TestWizTest, EventChannelIsAParameterIdOfAnIncludedRow)
{
    struct Case {
        uint8_t deviceType;
        std::vector<int> ids;   // rows, all included
        int eventChannel;       // stored before the walk; 0: the initial value
        int expected;
        bool thresholdCleared;
    };
    const Case cases[] = {
        {25, {5, 9}, 0, 5, true},     // the initial 1 names no row: the first row's id, not its position
        {25, {5, 1}, 0, 1, false},    // id 1 is included: kept
        {22, {7, 2}, 0, 2, false},    // the initial 2 on type 22
        {25, {5, 9}, 9, 9, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        auto device = MakeDevice(c.deviceType);
        std::vector<TestWizChannel> rows;
        for (int id : c.ids) {
            rows.push_back(Row("Ch", id, 2, 50, true));
        }
        auto wiz = Make(*device, rows);
        if (c.eventChannel != 0) {
            wiz->Definition().eventChannel = static_cast<uint8_t>(c.eventChannel);
        }
        wiz->Definition().eventThreshold = 0.25;
        Run(*wiz, [&] {
            Next();
            wiz->OnCancel();
        });
        EXPECT_EQ(wiz->GetDefinition().eventChannel, c.expected);
        EXPECT_EQ(wiz->GetDefinition().eventThreshold, c.thresholdCleared ? 0.0 : 0.25);
    }
}

TEST_F(TestWizTest, EventChannelMovesToTheFrontOfTheChannelList)
{
    auto device = MakeDevice(25);
    auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true), Row("Level", 2, 3, 50, true),
                              Row("Cond", 4, 5, 50, true)});
    wiz->Definition().eventChannel = 2;
    Run(*wiz, [&] {
        Next();
        EXPECT_EQ(ListOf(wiz->GetDefinition()), (std::vector<uint8_t>{1, 2, 4}));
        // Choosing the event type moves the event channel at once.
        Click(kIdTestWizEvent);
        EXPECT_EQ(ListOf(wiz->GetDefinition()), (std::vector<uint8_t>{2, 1, 4}));
        Next();
        auto* combo = W<QComboBox>(kIdTestWizEventChannel);
        ASSERT_EQ(combo->count(), 3);
        EXPECT_EQ(combo->itemText(0), "Cond");   // sorted
        EXPECT_EQ(combo->currentText(), "Level");
        // The third channel as event channel: it leads, the first takes its place.
        combo->setCurrentIndex(combo->findText("Cond"));
        EXPECT_EQ(wiz->GetDefinition().eventChannel, 4);
        EXPECT_EQ(ListOf(wiz->GetDefinition()), (std::vector<uint8_t>{4, 1, 2}));
        // Back to the channels and forward again: rebuilt and moved the same way.
        Back();
        Back();
        Next();
        EXPECT_EQ(ListOf(wiz->GetDefinition()), (std::vector<uint8_t>{4, 2, 1}));
        Next();
        Next();
        EXPECT_EQ(PageId(), kIdTestWizEventPage);
        EXPECT_EQ(W<QComboBox>(kIdTestWizEventChannel)->currentText(), "Cond");
        wiz->OnCancel();
    });
}

TEST_F(TestWizTest, EventPageValidatesThresholdAndDefaultStoreCount)
{
    struct Case {
        const char* delta;
        const char* store;
        bool valid;
        double stored;
    };
    const Case cases[] = {
        {"0.5", "2", true, 0.5},
        {"0", "2", false, 0.0},
        {"-", "2", false, 0.0},
        {"-0.5", "2", false, -0.5},
        {"0.5", "1", false, 0.5},
        {"0.5", "99", true, 0.5},
        {"0.5", "-1", false, 0.5},
        {"1e39", "2", false, 0.0},   // more than the device's float: refused, stored value kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.delta) + " / " + c.store);
        auto device = MakeDevice(25);
        auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true)});
        Run(*wiz, [&] {
            ToType(kIdTestWizEvent);
            EXPECT_EQ(PageId(), kIdTestWizEventPage);
            EXPECT_EQ(Text(kIdTestWizEventDelta), "0.0000");
            EXPECT_EQ(Text(kIdTestWizDefaultStore), "2");
            EXPECT_EQ(W<QLabel>(kIdTestWizEventUnits)->text(), "u");
            EXPECT_FALSE(NextEnabled());   // a threshold of 0
            Enter(kIdTestWizEventDelta, c.delta);
            Enter(kIdTestWizDefaultStore, c.store);
            EXPECT_EQ(NextEnabled(), c.valid);
            EXPECT_EQ(wiz->GetDefinition().eventThreshold, c.stored);
            // Leaving the edit shows the stored threshold again.
            LeaveEdit(kIdTestWizEventDelta);
            EXPECT_EQ(Text(kIdTestWizEventDelta).toDouble(), c.stored);
            wiz->OnCancel();
        });
    }
}

TEST_F(TestWizTest, ThresholdIsStoredInTheDeviceUnitAsADifference)
{
    // Level shown in feet, kept in psi. Specific-gravity mode scales by the gravity; with a
    // gravity of 0 nothing converts. Temperature in Fahrenheit: a difference, offsets cancel.
    TestWizChannel level = Row("Level", 2, 3, 50, true);
    level.displayUnit = 1;
    level.unitsText = "ft";
    TestWizChannel levelNoGravity = level;
    levelNoGravity.specificGravity = 0.0;
    level.specificGravity = 1.2;
    TestWizChannel temp = Row("Temp", 1, 2, 50, true);
    temp.displayUnit = 1;
    struct Case {
        TestWizChannel row;
        double expected;   // the device value of a typed 2
        bool valid;
    };
    const Case cases[] = {
        {level, ConvertUnitsDefault(2.0, 3, 1, 0) * 1.2, true},
        {levelNoGravity, 0.0, false},
        {temp, 2.0 / 1.8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.displayName + std::to_string(c.row.specificGravity));
        auto device = MakeDevice(25);
        auto wiz = Make(*device, {c.row});
        Run(*wiz, [&] {
            ToType(kIdTestWizEvent);
            Enter(kIdTestWizEventDelta, "2");
            EXPECT_NEAR(wiz->GetDefinition().eventThreshold, c.expected, 1e-9);
            EXPECT_EQ(NextEnabled(), c.valid);
            if (c.valid) {
                EXPECT_EQ(Text(kIdTestWizEventDelta), "2");   // the same value, left as typed
            }
            wiz->OnCancel();
        });
    }
}

TEST_F(TestWizTest, SaturationAndSalinityDisplaysAreNotOfferedAsEventChannel)
{
    TestWizChannel oxygen = Row("HDO", 16, 28, 50, true);
    oxygen.displayUnit = 2;   // % saturation
    TestWizChannel salinity = Row("Cond", 45, 5, 50, true);
    salinity.displayUnit = 3;   // PSU
    auto device = MakeDevice(25);
    auto wiz = Make(*device, {oxygen, salinity, Row("Temp", 1, 2, 50, true)});
    wiz->Definition().eventChannel = 16;
    Run(*wiz, [&] {
        ToType(kIdTestWizEvent);
        auto* combo = W<QComboBox>(kIdTestWizEventChannel);
        ASSERT_EQ(combo->count(), 1);
        EXPECT_EQ(combo->itemText(0), "Temp");
        EXPECT_EQ(combo->currentIndex(), -1);
        EXPECT_TRUE(Text(kIdTestWizEventDelta).isEmpty());
        Enter(kIdTestWizEventDelta, "1");
        EXPECT_FALSE(NextEnabled());
        combo->setCurrentIndex(0);
        EXPECT_EQ(wiz->GetDefinition().eventChannel, 1);
        EXPECT_EQ(ListOf(wiz->GetDefinition()), (std::vector<uint8_t>{1, 45, 16}));
        Enter(kIdTestWizEventDelta, "1");
        EXPECT_TRUE(NextEnabled());
        wiz->OnCancel();
    });
}

// ---- Relays ------------------------------------------------------------------------------------

// The sheet of a logger with relays: its flags as the caller sets them for one.
std::unique_ptr<CTestWiz> MakeRelayWizard(ClockDevice& device, const std::vector<TestWizChannel>& rows)
{
    auto wiz = std::make_unique<CTestWiz>(&device);
    wiz->SetTestId(2);
    wiz->TakeDeviceInputs();
    wiz->relaysPossible = true;
    wiz->channelWording = true;
    for (size_t i = 0; i < rows.size(); ++i) {
        wiz->Channel(static_cast<int>(i)) = rows[i];
    }
    return wiz;
}

TEST_F(TestWizTest, RelayChannelsGetDefaultsUnlessKeptAndStillIncluded)
{
    struct Case {
        bool kept;
        uint8_t channel;
        uint8_t expected;
    };
    const Case cases[] = {
        {true, 3, 3},    // kept and included
        {false, 3, 2},   // not kept: the first included row
        {true, 1, 2},    // row 1 not included
        {true, 0, 2},    // names no row
        {true, 11, 2},   // beyond the table
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kept) + " " + std::to_string(c.channel));
        auto device = MakeDevice(25);
        TestWizChannel ft = Row("3 Level", 3, 3, 50, true);
        ft.displayUnit = 1;
        auto wiz = MakeRelayWizard(*device, {Row("1 Temp", 1, 2), Row("2 Temp", 2, 2, 50, true), ft});
        wiz->relaysKept = c.kept;
        for (auto& relay : wiz->Relays().relays) {
            relay.channel = c.channel;
            relay.highPoint = relay.lowPoint = 7.0;
        }
        Run(*wiz, [&] {
            Next();
            wiz->OnCancel();
        });
        for (const auto& relay : wiz->GetRelayDefinition().relays) {
            EXPECT_EQ(relay.channel, c.expected);
            // A new channel starts at the device value of a displayed 0.
            EXPECT_EQ(relay.highPoint, c.expected == c.channel ? 7.0 : 0.0);
        }
    }
}

TEST_F(TestWizTest, RelayPageEditsModeChannelAndPoints)
{
    auto device = MakeDevice(25);
    TestWizChannel level = Row("2 Level", 2, 3, 50, true);
    level.displayUnit = 1;   // feet over psi
    level.unitsText = "ft";
    auto wiz = MakeRelayWizard(*device, {Row("1 Temp", 1, 2, 50, true), level});
    Run(*wiz, [&] {
        ToType(kIdTestWizLinear);
        Next();
        EXPECT_EQ(PageId(), kIdTestWizRelayAskPage);
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizRelaysNo)->isChecked());
        EXPECT_FALSE(W(kIdTestWizRelayNote1)->isVisible());
        Click(kIdTestWizRelaysYes);
        EXPECT_TRUE(W(kIdTestWizRelayNote3)->isVisible());
        EXPECT_TRUE(wiz->relaysOn);
        Next();
        EXPECT_EQ(PageId(), kIdTestWizRelayPage);
        auto* relayChoice = W<QComboBox>(kIdTestWizRelayChoice);
        ASSERT_EQ(relayChoice->count(), 2);
        EXPECT_EQ(relayChoice->itemText(0), "Relay 1");
        EXPECT_EQ(relayChoice->itemText(1), "Relay 2");
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizRelayDisabled)->isChecked());
        EXPECT_FALSE(W(kIdTestWizRelayChannel)->isVisible());
        EXPECT_TRUE(NextEnabled());

        Click(kIdTestWizRelayEnabled);
        EXPECT_EQ(wiz->GetRelayDefinition().relays[0].mode, kRelaySwitchHigh);
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizSwitchHigh)->isChecked());
        EXPECT_TRUE(W(kIdTestWizRelayChannel)->isVisible());
        EXPECT_EQ(W<QComboBox>(kIdTestWizRelayChannel)->currentText(), "1 Temp");
        EXPECT_EQ(Text(kIdTestWizHighPoint), "0.0000");

        auto* channel = W<QComboBox>(kIdTestWizRelayChannel);
        channel->setCurrentIndex(channel->findText("2 Level"));
        EXPECT_EQ(wiz->GetRelayDefinition().relays[0].channel, 2);
        EXPECT_EQ(W<QLabel>(kIdTestWizHighUnits)->text(), "ft");
        Enter(kIdTestWizHighPoint, "10");
        EXPECT_NEAR(wiz->GetRelayDefinition().relays[0].highPoint, ConvertUnitsDefault(10.0, 3, 1, 0), 1e-9);
        Click(kIdTestWizSwitchLow);
        EXPECT_EQ(wiz->GetRelayDefinition().relays[0].mode, kRelaySwitchLow);
        Enter(kIdTestWizLowPoint, "-");
        EXPECT_FALSE(NextEnabled());
        Enter(kIdTestWizLowPoint, "-2");
        EXPECT_TRUE(NextEnabled());
        Enter(kIdTestWizLowPoint, "1e300");   // beyond the device's float: refused
        EXPECT_FALSE(NextEnabled());
        LeaveEdit(kIdTestWizLowPoint);
        EXPECT_EQ(Text(kIdTestWizLowPoint), "-2.0000");
        EXPECT_TRUE(NextEnabled());

        // Relay 2 is shown on its own.
        relayChoice->setCurrentIndex(1);
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizRelayDisabled)->isChecked());
        EXPECT_FALSE(W(kIdTestWizHighPoint)->isVisible());
        relayChoice->setCurrentIndex(0);
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizSwitchLow)->isChecked());
        EXPECT_EQ(W<QComboBox>(kIdTestWizRelayChannel)->currentText(), "2 Level");
        Next();
        EXPECT_EQ(PageId(), kIdTestWizStartPage);
        Back();
        EXPECT_EQ(PageId(), kIdTestWizRelayPage);
        wiz->OnCancel();
    });
    EXPECT_NEAR(wiz->GetRelayDefinition().relays[0].lowPoint, ConvertUnitsDefault(-2.0, 3, 1, 0), 1e-9);
}

// ---- Navigation ----------------------------------------------------------------------------

TEST_F(TestWizTest, NavigationFollowsTypeAndRelays)
{
    struct Case {
        int radio;
        bool relaysPossible;
        bool relaysWanted;
        std::vector<int> forward;   // pages after the type page
        std::vector<int> backward;  // pages Back visits from the start page
    };
    const Case cases[] = {
        {kIdTestWizLinear, false, false, {kIdTestWizLinearPage, kIdTestWizStartPage},
         {kIdTestWizLinearPage, kIdTestWizTypePage}},
        {kIdTestWizLog, false, false, {kIdTestWizLogPage, kIdTestWizStartPage}, {kIdTestWizLogPage, kIdTestWizTypePage}},
        {kIdTestWizLinearAverage, false, false, {kIdTestWizAveragePage, kIdTestWizStartPage},
         {kIdTestWizAveragePage, kIdTestWizTypePage}},
        {kIdTestWizLinear, true, false, {kIdTestWizLinearPage, kIdTestWizRelayAskPage, kIdTestWizStartPage},
         {kIdTestWizRelayAskPage, kIdTestWizLinearPage, kIdTestWizTypePage}},
        {kIdTestWizLog, true, true,
         {kIdTestWizLogPage, kIdTestWizRelayAskPage, kIdTestWizRelayPage, kIdTestWizStartPage},
         {kIdTestWizRelayPage, kIdTestWizRelayAskPage, kIdTestWizLogPage, kIdTestWizTypePage}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.radio) + " relays " + std::to_string(c.relaysPossible));
        auto device = MakeDevice(25);
        auto wiz = c.relaysPossible ? MakeRelayWizard(*device, {Row("1 Level", 2, 3, 50, true)})
                                    : Make(*device, {Row("Level", 2, 3, 50, true)});
        Run(*wiz, [&] {
            Next();
            Click(c.radio);
            for (int page : c.forward) {
                if (PageId() == kIdTestWizRelayAskPage) {
                    Click(c.relaysWanted ? kIdTestWizRelaysYes : kIdTestWizRelaysNo);
                }
                Next();
                EXPECT_EQ(PageId(), page);
            }
            EXPECT_TRUE(FinishEnabled());
            for (int page : c.backward) {
                Back();
                EXPECT_EQ(PageId(), page);
            }
            wiz->OnCancel();
        });
        EXPECT_TRUE(wiz->relaysKept);
    }
}

TEST_F(TestWizTest, NoOnTheRelayPageDisablesBothRelays)
{
    auto device = MakeDevice(25);
    auto wiz = MakeRelayWizard(*device, {Row("1 Level", 2, 3, 50, true)});
    RelayDefinitionRecord relays;
    relays.relays[0] = {1, kRelaySwitchHigh, 4.0, 1.0};
    relays.relays[1] = {1, kRelaySwitchLow, 9.0, 2.0};
    wiz->SetRelayDefinition(relays);
    EXPECT_TRUE(wiz->relaysOn);
    Run(*wiz, [&] {
        ToType(kIdTestWizLinear);
        Next();
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizRelaysYes)->isChecked());
        EXPECT_TRUE(W(kIdTestWizRelayNote2)->isVisible());
        Click(kIdTestWizRelaysNo);
        EXPECT_FALSE(W(kIdTestWizRelayNote2)->isVisible());
        Next();
        EXPECT_EQ(PageId(), kIdTestWizStartPage);
        Finish();
    });
    EXPECT_EQ(wiz->GetRelayDefinition().relays[0].mode, kRelayDisabled);
    EXPECT_EQ(wiz->GetRelayDefinition().relays[1].mode, kRelayDisabled);
    EXPECT_FALSE(wiz->relaysOn);
}

// ---- Start page ----------------------------------------------------------------------------

TEST_F(TestWizTest, ManualStartPresetsTheWholeHourAfterTenMinutes)
{
    struct Case {
        wv::OleDateTime deviceTime;
        DeviceTime preset;
    };
    const Case cases[] = {
        {wv::OleDateTime(2026, 6, 15, 14, 49, 0), DeviceTime{2026, 6, 15, 15, 0, 0, 0}},
        {wv::OleDateTime(2026, 6, 15, 14, 50, 0), DeviceTime{2026, 6, 15, 16, 0, 0, 0}},
        {wv::OleDateTime(2026, 12, 31, 23, 55, 0), DeviceTime{2027, 1, 1, 1, 0, 0, 0}},
        {wv::OleDateTime(2028, 2, 28, 23, 49, 30), DeviceTime{2028, 2, 29, 0, 0, 0, 0}},
        {wv::OleDateTime(2027, 2, 28, 23, 50, 0), DeviceTime{2027, 3, 1, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deviceTime.Format("%Y-%m-%d %H:%M:%S"));
        EXPECT_EQ(CTestWiz9::PresetStart(c.deviceTime), c.preset);
        auto device = MakeDevice(25);
        device->now = c.deviceTime;
        auto wiz = Make(*device, {Row("Level", 2, 3, 50, true)});
        Run(*wiz, [&] {
            ToType(kIdTestWizLinear);
            Next();
            EXPECT_EQ(PageId(), kIdTestWizStartPage);
            EXPECT_TRUE(W<QRadioButton>(kIdTestWizManualStart)->isChecked());
            EXPECT_FALSE(W(kIdTestWizDatePicker)->isEnabled());
            EXPECT_FALSE(W(kIdTestWizStartPrompt)->isEnabled());
            const QDate date = W<QDateTimeEdit>(kIdTestWizDatePicker)->date();
            const QTime time = W<QDateTimeEdit>(kIdTestWizTimePicker)->time();
            EXPECT_EQ(date, QDate(c.preset.year, c.preset.month, c.preset.day));
            EXPECT_EQ(time, QTime(c.preset.hour, 0, 0));
            EXPECT_EQ(W<QDateTimeEdit>(kIdTestWizDatePicker)->displayFormat(), "dd-MMM-yy");
            EXPECT_TRUE(FinishEnabled());
            Finish();
        });
        // A manual start keeps no scheduled start.
        EXPECT_EQ(wiz->GetDefinition().scheduledStart, (DeviceTime{0, 255, 0, 0, 0, 0, 0}));
        EXPECT_TRUE(wiz->IsStartTimeValid());
    }
}

TEST_F(TestWizTest, ScheduledStartMustBeFiveMinutesAheadOfTheDeviceClockNow)
{
    auto device = MakeDevice(25);
    device->now = wv::OleDateTime(2026, 6, 15, 14, 0, 0);
    auto wiz = Make(*device, {Row("Level", 2, 3, 50, true)});
    const int result = Run(*wiz, [&] {
        ToType(kIdTestWizLinear);
        Next();
        Click(kIdTestWizScheduledStart);
        EXPECT_TRUE(W(kIdTestWizTimePicker)->isEnabled());
        EXPECT_TRUE(FinishEnabled());   // the preset, 15:00
        struct Step {
            QTime time;
            bool valid;
        };
        const Step steps[] = {{QTime(14, 4, 59), false}, {QTime(14, 5, 0), true}, {QTime(13, 0, 0), false}};
        for (const Step& s : steps) {
            W<QDateTimeEdit>(kIdTestWizTimePicker)->setTime(s.time);
            EXPECT_EQ(FinishEnabled(), s.valid) << s.time.toString().toStdString();
            EXPECT_EQ(wiz->IsStartTimeValid(), s.valid);
        }
        // A manual start is valid whatever the pickers say.
        Click(kIdTestWizManualStart);
        EXPECT_TRUE(FinishEnabled());
        Click(kIdTestWizScheduledStart);
        W<QDateTimeEdit>(kIdTestWizTimePicker)->setTime(QTime(14, 10, 0));
        EXPECT_TRUE(FinishEnabled());
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    EXPECT_EQ(wiz->GetDefinition().state, kTestStartScheduled);
    EXPECT_EQ(wiz->GetDefinition().scheduledStart, (DeviceTime{2026, 6, 15, 14, 10, 0, 0}));
    // The clock runs on after the wizard opened: the check uses the clock now.
    device->now = wv::OleDateTime(2026, 6, 15, 14, 5, 1);
    EXPECT_FALSE(wiz->IsStartTimeValid());
    device->now = wv::OleDateTime(2026, 6, 15, 14, 5, 0);
    EXPECT_TRUE(wiz->IsStartTimeValid());
}

// ---- Modified flag and the callers' inputs --------------------------------------------------

TEST_F(TestWizTest, EditIsModifiedOnlyByAChange)
{
    // An edited linear test walked through unchanged reports no change; each edit does.
    // The definition is as the device gives a linear test back: the fields of the other
    // types and the scheduled start of a manual start are empty.
    TestDefinitionRecord existing;
    existing.testId = 4;
    existing.scheduleType = kTestScheduleLinear;
    SetTestName(existing, "Weekly");
    existing.state = kTestStartManual;
    existing.interval = Interval(0, 1, 0, 0);
    existing.channelCount = 2;
    existing.channels[0] = 1;
    existing.channels[1] = 2;

    struct Case {
        const char* what;
        std::function<void(TestWizTest&)> onChannels;
        std::function<void(TestWizTest&)> onInterval;
        bool modified;
    };
    const Case cases[] = {
        {"nothing", {}, {}, false},
        {"name", [](TestWizTest& t) { t.Enter(kIdTestWizNameEdit, "Daily"); }, {}, true},
        {"channel", [](TestWizTest& t) { t.Click(kIdTestWizFirstChannelBox + 2); }, {}, true},
        {"interval", {}, [](TestWizTest& t) { t.Enter(kIdTestWizMinutes, "30"); }, true},
        {"same interval", {}, [](TestWizTest& t) { t.Enter(kIdTestWizHours, "1"); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto device = MakeDevice(25);
        auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true), Row("Level", 2, 3, 50, true), Row("Cond", 4, 5)});
        wiz->SetExistingDefinition(existing, false);
        EXPECT_TRUE(wiz->relaysKept);
        const int result = Run(*wiz, [&] {
            EXPECT_EQ(Text(kIdTestWizNameEdit), "Weekly");
            if (c.onChannels) {
                c.onChannels(*this);
            }
            Next();
            EXPECT_TRUE(W<QRadioButton>(kIdTestWizLinear)->isChecked());
            Next();
            // A channel change starts the interval again from the minimum.
            EXPECT_EQ(Text(kIdTestWizHours), c.onChannels && std::string(c.what) == "channel" ? "0" : "1");
            if (c.onInterval) {
                c.onInterval(*this);
            }
            Next();
            Finish();
        });
        EXPECT_EQ(result, kIdWizFinish);
        EXPECT_EQ(wiz->IsModified(), c.modified);
        EXPECT_EQ(wiz->GetDefinition().testId, 4);
    }

    // Cancel ends with IDCANCEL, whatever was changed.
    auto device = MakeDevice(25);
    auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true)});
    EXPECT_EQ(Run(*wiz, [&] {
                  Click(kIdTestWizFirstChannelBox);
                  wiz->OnCancel();
              }),
              kIdCancel);
}

TEST_F(TestWizTest, CloneStartsManualWithTheSourceChannels)
{
    TestDefinitionRecord source;
    source.testId = 1;
    source.scheduleType = kTestScheduleEvent;
    SetTestName(source, "Flood");
    source.state = kTestStartScheduled;
    source.scheduledStart = DeviceTime{2026, 7, 1, 0, 0, 0, 0};
    source.eventChannel = 2;
    source.eventThreshold = 0.5;
    source.eventSetting = 10;
    source.interval = Interval(0, 0, 1, 0);
    source.channelCount = 2;
    source.channels[0] = 2;
    source.channels[1] = 1;
    auto device = MakeDevice(25);
    auto wiz = Make(*device, {Row("Temp", 1, 2, 50, true), Row("Level", 2, 3, 50, true)});
    wiz->SetExistingDefinition(source, true);
    wiz->SetTestId(6);
    const int result = Run(*wiz, [&] {
        EXPECT_EQ(Text(kIdTestWizNameEdit), "Flood");
        ToType(kIdTestWizEvent);   // already the type: nothing is reset
        EXPECT_EQ(W<QComboBox>(kIdTestWizEventChannel)->currentText(), "Level");
        EXPECT_EQ(Text(kIdTestWizEventDelta), "0.5000");
        EXPECT_EQ(Text(kIdTestWizDefaultStore), "10");
        EXPECT_EQ(Text(kIdTestWizMinutes), "1");
        EXPECT_TRUE(NextEnabled());
        Next();
        EXPECT_TRUE(W<QRadioButton>(kIdTestWizManualStart)->isChecked());
        Finish();
    });
    EXPECT_EQ(result, kIdWizFinish);
    const TestDefinitionRecord& def = wiz->GetDefinition();
    EXPECT_EQ(def.testId, 6);
    EXPECT_EQ(wiz->GetRelayDefinition().testId, 6);
    EXPECT_EQ(def.state, kTestStartManual);
    EXPECT_EQ(ListOf(def), (std::vector<uint8_t>{2, 1}));
    EXPECT_EQ(def.eventThreshold, 0.5);
}

TEST_F(TestWizTest, CallersInputsComeFromTheDeviceAndItsChannels)
{
    struct Case {
        uint8_t type;
        bool hundredths, family30to40;
    };
    const Case cases[] = {{25, true, false}, {21, true, false}, {33, false, true}, {40, false, true}, {29, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto device = MakeDevice(c.type);
        device->now = wv::OleDateTime(2027, 3, 4, 5, 6, 7);
        CTestWiz wiz(device.get());
        EXPECT_EQ(wiz.GetDefinition().eventChannel, c.type == 22 ? 2 : 1);
        EXPECT_EQ(TestName(wiz.GetDefinition()), "Undefined");
        EXPECT_EQ(wiz.GetDefinition().interval, Duration{});
        wiz.TakeDeviceInputs();
        EXPECT_TRUE(wiz.linearAverageSupported);
        EXPECT_EQ(wiz.hundredthsSupported, c.hundredths);
        EXPECT_EQ(wiz.family30to40, c.family30to40);
        EXPECT_FALSE(wiz.relaysPossible);
        EXPECT_FALSE(wiz.channelWording);
        EXPECT_EQ(wiz.GetDeviceTime(), device->now);
    }

    // A channel node's row: kinds 0 and 26 are no usable channel.
    auto device = MakeDevice(33);
    CTestWiz wiz(device.get());
    EXPECT_FALSE(wiz.HasPresentChannel());
    for (uint8_t kind : {0, 26, 3}) {
        SCOPED_TRACE(kind);
        ChannelDefinitionRecord record;
        record.channelNumber = 2;
        record.parameterType = kind;
        record.specificGravity = 1.1;
        record.density = 1.5;
        CQorChannel channel;
        ASSERT_EQ(channel.Init(record, device.get(), nullptr), 0);
        wiz.SetChannel(0, &channel, true);
        EXPECT_EQ(wiz.Channel(0).present, kind == 3 ? 1 : 0);
        EXPECT_EQ(wiz.Channel(0).included, 1);
    }
    const TestWizChannel& level = wiz.Channel(0);
    EXPECT_EQ(level.parameterId, 2);
    EXPECT_EQ(level.kind, 3);
    EXPECT_EQ(level.minInterval, 500);
    EXPECT_EQ(level.specificGravity, 1.1);
    EXPECT_EQ(level.density, 1.5);
    EXPECT_EQ(level.deviceUnit, 0);
    EXPECT_TRUE(wiz.HasPresentChannel());
    wiz.SetChannel(0, nullptr, true);
    EXPECT_FALSE(wiz.HasPresentChannel());
}

TEST_F(TestWizTest, ConstructorRaisesTheBarometricPromptForItsDevice)
{
    std::vector<std::pair<CQorDevice*, bool>> asked;
    const BarometricPromptHook previous = SetBarometricPromptHook(
        [&asked](CQorDevice& device, bool askFirst) { asked.emplace_back(&device, askFirst); });
    auto device = MakeDevice(33);
    {
        CTestWiz wiz(device.get());
    }
    SetBarometricPromptHook(previous);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, device.get());
    EXPECT_TRUE(asked[0].second);
    // Without a hook nothing is asked.
    CTestWiz quiet(device.get());
    EXPECT_EQ(asked.size(), 1u);
}

} // namespace
